// Shared set-up of the dialog tests: a settings store of their own, recorded
// platform services, and access to the dialog's controls by their names.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/frm_config.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/modal.h"
#include "support/test_support.h"

namespace quipix::test {

inline const std::string kKey = "Software\\Kelvara\\Quipix";

// The control named name, or an exception that fails the test.
template <class T>
T* Control(const QObject& dialog, const char* name) {
    T* control = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!control) throw std::runtime_error(std::string("no control ") + name);
    return control;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_ = std::make_shared<platform::FileRegistry>(dir_.str() + "/Quipix.reg");
        platform::InstallRegistry(store_);
        platform::Services s;
        s.primaryScreen = [this] {
            platform::ScreenInfo info;
            info.ColorDepth = depth_;
            return info;
        };
        s.showHelp = [this](int context) { help_.push_back(context); };
        s.openAddress = [this](const std::string& address) { addresses_.push_back(address); };
        s.activateWindow = [this](platform::WindowId window) { activated_.push_back(window); };
        services_ = std::make_unique<platform::ScopedServices>(s);
    }
    void TearDown() override {
        services_.reset();
        platform::InstallRegistry(nullptr);
    }

    // Stores a value as the dialog would find it from an earlier run.
    void Store(const std::string& subkey, const std::string& name, const std::string& text) {
        ASSERT_TRUE(store_->CreateKey(kKey + "\\" + subkey));
        ASSERT_TRUE(store_->WriteValue(kKey + "\\" + subkey, name, platform::RegValue::String(text)));
    }
    std::optional<std::string> Stored(const std::string& subkey, const std::string& name) {
        auto value = store_->ReadValue(kKey + "\\" + subkey, name);
        if (!value) return std::nullopt;
        return value->data;
    }

    TempDir dir_;
    std::shared_ptr<platform::FileRegistry> store_;
    std::unique_ptr<platform::ScopedServices> services_;
    int depth_ = 24;
    std::vector<int> help_;
    std::vector<std::string> addresses_;
    std::vector<platform::WindowId> activated_;
};

}  // namespace quipix::test
