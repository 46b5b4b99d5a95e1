// Shared set-up of the dialog controller tests: a settings store of their own,
// recorded platform services, and a view that records what it was asked to show.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "config/dialog_controller.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace quipix::test {

// The size of the dialog's preview controls.
inline constexpr int kPreviewWidth = 229, kPreviewHeight = 173;

class RecordingView : public DialogView {
public:
    void ShowPreview(Preview which, const TPixelGraphic&) override { previews.push_back(which); }
    void ShowError(const std::string& message) override { errors.push_back(message); }
    std::vector<Preview> previews;
    std::vector<std::string> errors;
};

class DialogControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings = TSettings{};
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

    // A dialog as the run modes create it, its previews and errors recorded in view_.
    std::unique_ptr<DialogController> Open(platform::WindowId owner = 0) {
        view_ = RecordingView{};
        auto dialog = std::make_unique<DialogController>(view_, owner, kPreviewWidth, kPreviewHeight);
        dialog->FormCreate();
        return dialog;
    }

    // Stores a value as the dialog would find it from an earlier run.
    void Store(const std::string& subkey, const std::string& name, const std::string& text) {
        const std::string key = std::string(kSettingsKey) + "\\" + subkey;
        ASSERT_TRUE(store_->CreateKey(key));
        ASSERT_TRUE(store_->WriteValue(key, name, platform::RegValue::String(text)));
    }
    std::optional<std::string> Stored(const std::string& subkey, const std::string& name) {
        auto value = store_->ReadValue(std::string(kSettingsKey) + "\\" + subkey, name);
        if (!value) return std::nullopt;
        return value->data;
    }

    TempDir dir_;
    std::shared_ptr<platform::FileRegistry> store_;
    std::unique_ptr<platform::ScopedServices> services_;
    RecordingView view_;
    int depth_ = 24;
    std::vector<int> help_;
    std::vector<std::string> addresses_;
    std::vector<platform::WindowId> activated_;
};

}  // namespace quipix::test
