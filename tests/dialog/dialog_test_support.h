// Shared set-up of the dialog tests (the controller's here, the Qt form's in
// tests/qt): a settings store of their own, recorded platform services, and a view
// whose widgets are plain values.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.h"
#include "config/dialog_controller.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace quipix::test {

// The size of the dialog's preview controls.
inline constexpr int kPreviewWidth = 229, kPreviewHeight = 173;

// A view whose widgets are plain values by control name, recording what it was asked
// to show and which names the controller used.
class RecordingView : public DialogView {
public:
    void SetText(std::string_view c, const std::string& text) override { texts[Use(c)] = text; }
    std::string Text(std::string_view c) const override { return Get(texts, c, std::string()); }
    void SetChecked(std::string_view c, bool checked) override {
        checks[Use(c)] = checked;
        if (onSet) onSet(c);
    }
    bool Checked(std::string_view c) const override { return Get(checks, c, false); }
    void SetNumber(std::string_view c, int number) override {
        numbers[Use(c)] = number;
        if (onSet) onSet(c);
    }
    int Number(std::string_view c) const override { return Get(numbers, c, 0); }
    void SetItems(std::string_view c, const std::vector<std::string>& list) override { items[Use(c)] = list; }
    void SetVisible(std::string_view c, bool on) override { visible[Use(c)] = on; }
    void SetEnabled(std::string_view c, bool on) override { enabled[Use(c)] = on; }
    void ShowPreview(Preview which, const TPixelGraphic&) override { previews.push_back(which); }

    void ShowError(const std::string& message) override {
        errors.push_back(message);
        if (onError) onError();
    }
    std::optional<std::string> ChooseFolder(const std::string& initial) override {
        chooserStarts.push_back(initial);
        return chosen;
    }
    std::optional<std::string> ChoosePicture(const std::string& folder) override {
        chooserStarts.push_back(folder);
        return chosen;
    }

    template <class T>
    using Widgets = std::map<std::string, T, std::less<>>;
    Widgets<std::string> texts;
    Widgets<bool> checks, visible, enabled;
    Widgets<int> numbers;
    Widgets<std::vector<std::string>> items;
    std::set<std::string, std::less<>> used;  // every control name the controller named
    std::vector<Preview> previews;
    std::vector<std::string> errors;
    std::vector<std::string> chooserStarts;  // where each chooser was started
    std::optional<std::string> chosen;       // what the user confirms in a chooser
    // Runs inside ShowError, as the events a modal message box lets through would.
    std::function<void()> onError;
    // Runs after a check box or number is set, as a toolkit's change signal would.
    std::function<void(std::string_view)> onSet;

private:
    std::string Use(std::string_view c) { return *used.emplace(c).first; }
    template <class T>
    T Get(const Widgets<T>& widgets, std::string_view c, T none) const {
        auto it = widgets.find(c);
        return it == widgets.end() ? none : it->second;
    }
};

struct StoredValue {
    const char* subkey;
    const char* name;
};
// Every value the dialog saves.
inline const StoredValue kAllValues[27] = {
    {"General", "Speed"},         {"General", "Fade Mode"},
    {"General", "JokeFile"},      {"General", "Directory"},
    {"General", "Change"},        {"General", "ChangeAfter"},
    {"Background", "Bitmap"},     {"Background", "Solid Color"},
    {"Background", "From Color"}, {"Background", "To Color"},
    {"Background", "Tiled"},      {"Background", "Type"},
    {"Question", "Face"},         {"Question", "Color"},
    {"Question", "Size"},         {"Question", "Speed"},
    {"Question", "Bold"},         {"Question", "Italic"},
    {"Question", "3D"},           {"Answer", "Face"},
    {"Answer", "Color"},          {"Answer", "Size"},
    {"Answer", "Speed"},          {"Answer", "Bold"},
    {"Answer", "Italic"},         {"Answer", "3D"},
    {"General", "Pause"},
};

// True when some pixel of picture has exactly color.
inline bool HasColor(const TPixelGraphic& picture, PGColor color) {
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixels(x, y) == color) return true;
    return false;
}

// A store that cannot write the value "Tiled", which is saved halfway through.
class FailingRegistry : public platform::Registry {
public:
    explicit FailingRegistry(std::shared_ptr<platform::Registry> inner) : inner_(std::move(inner)) {}
    bool KeyExists(const std::string& key) override { return inner_->KeyExists(key); }
    bool CreateKey(const std::string& key) override { return inner_->CreateKey(key); }
    std::optional<platform::RegValue> ReadValue(const std::string& key, const std::string& name) override {
        return inner_->ReadValue(key, name);
    }
    bool WriteValue(const std::string& key, const std::string& name,
                    const platform::RegValue& value) override {
        if (name == "Tiled") return false;
        return inner_->WriteValue(key, name, value);
    }

private:
    std::shared_ptr<platform::Registry> inner_;
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
        // The user's own autostart entry and watcher stay out of every test.
        s.idleAutostart = [this] { return idleSeconds_; };
        s.setIdleAutostart = [this](int seconds) { idleSeconds_ = seconds; };
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
    // How many of the dialog's values the store holds.
    int StoredCount() {
        int n = 0;
        for (const auto& v : kAllValues) n += Stored(v.subkey, v.name).has_value();
        return n;
    }
    // A 1 x 1 24-bit BMP of colour (R 0x40, G 0x80, B 0xC0), written into the test's
    // folder; returns its path.
    std::string WriteBluePicture() {
        return dir_.write("back.bmp", std::string("BM") + std::string("\x3a\0\0\0\0\0\0\0\x36\0\0\0", 12) +
                                          std::string("\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0", 16) +
                                          std::string(24, '\0') + std::string("\xc0\x80\x40\0", 4));
    }

    TempDir dir_;
    std::shared_ptr<platform::FileRegistry> store_;
    std::unique_ptr<platform::ScopedServices> services_;
    RecordingView view_;
    int depth_ = 24;
    std::vector<int> help_;
    std::vector<std::string> addresses_;
    std::vector<platform::WindowId> activated_;
    int idleSeconds_ = 0;  // what the idle watcher's autostart entry says
};

}  // namespace quipix::test
