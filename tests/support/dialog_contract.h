// The contract every front end's configuration dialog keeps, whatever its toolkit:
// each control shows the value the controller gives it and hands back what it holds,
// OK stores every value and closes, and each way of leaving without OK stores nothing
// and gives the owner the foreground back. What the values mean is the controller's,
// tested on it alone. A front end's suite writes a driver (DialogDriver below) and runs
// the contract with INSTANTIATE_TYPED_TEST_SUITE_P(Front, DialogContract, Driver).
#pragma once

#include <concepts>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

#include "dialog/dialog_test_support.h"

namespace quipix::test {

template <class D>
concept DialogDriver = requires(D d, const std::function<void()>& body, std::string_view name, int i) {
    { D::Possible() } -> std::convertible_to<bool>;  // windows can be made here (a display)
    { d.Owner() } -> std::same_as<platform::WindowId>;  // a window that can own the dialog
    // Opens the dialog owned by Owner() as the run mode does, runs body while it is
    // shown, cancels it if body left it open; true when it closed with OK.
    { d.Run(body) } -> std::convertible_to<bool>;
    { d.View() } -> std::convertible_to<DialogView&>;  // inside body: the shown controls
    { d.Face(i) } -> std::convertible_to<std::string>;  // inside body: a font box's item i
    d.Press(name);    // inside body: the button named name is clicked
    d.CloseWindow();  // inside body: the window's close button
};

// A control's value of any kind: what it shows, of the kind of `kind`.
using ControlValue = std::variant<std::string, bool, int>;
inline ControlValue Shown(const DialogView& view, std::string_view c, const ControlValue& kind) {
    if (std::holds_alternative<std::string>(kind)) return view.Text(c);
    if (std::holds_alternative<bool>(kind)) return view.Checked(c);
    return view.Number(c);
}
// Leaves value in the control, as the user's change would.
inline void Leave(DialogView& view, std::string_view c, const ControlValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) view.SetText(c, *text);
    if (const auto* on = std::get_if<bool>(&value)) view.SetChecked(c, *on);
    if (const auto* number = std::get_if<int>(&value)) view.SetNumber(c, *number);
}

template <class Driver>
class DialogContract : public DialogControllerTest {
    static_assert(DialogDriver<Driver>);

protected:
    void SetUp() override {
        if (!Driver::Possible()) GTEST_SKIP() << "no display: windows cannot be made";
        DialogControllerTest::SetUp();
    }
    Driver driver;
};

TYPED_TEST_SUITE_P(DialogContract);

TYPED_TEST_P(DialogContract, EachControlShowsItsStoredValueAndOkStoresWhatItHolds) {
    auto& d = this->driver;
    const struct {
        const char* subkey;
        const char* name;
        const char* stored;   // before the dialog opens
        const char* control;  // the widget that shows it
        ControlValue shown;
        ControlValue changed;  // what the user leaves in the widget
        const char* saved;     // what OK stores
    } cases[] = {
        {"General", "Speed", "9", "tbF", 9, 3, "3"},
        {"General", "Fade Mode", "1", "rgFadeMode", 1, 0, "0"},
        {"General", "Change", "1", "cbRandom", true, false, "0"},
        {"General", "ChangeAfter", "40", "udRand", 40, 41, "41"},
        {"Background", "Solid Color", "1193046", "SolidC", 0x123456, 0x445566, "4478310"},
        // A system colour stays one, both ways.
        {"Background", "From Color", "-2147483633", "FromC", TColor(0x8000000F), TColor(0x80000005),
         "-2147483643"},
        {"Background", "To Color", "65280", "ToC", 0x00FF00, 0x0000FF, "255"},
        {"Background", "Tiled", "1", "cbTiled", true, false, "0"},
        {"Background", "Type", "2", "rgBackType", 2, 1, "1"},
        {"Question", "Color", "65535", "QColor", 0x00FFFF, 0x00FF00, "65280"},
        {"Question", "Size", "30", "QSize", 30, 31, "31"},
        {"Question", "Speed", "2", "tbQ", 2, 10, "10"},
        {"Question", "Bold", "0", "QBold", false, true, "1"},
        {"Question", "Italic", "1", "QItalic", true, false, "0"},
        {"Question", "3D", "1", "Q3D", true, false, "0"},
        {"Answer", "Color", "255", "AColor", 0x0000FF, 0xFF0000, "16711680"},
        {"Answer", "Size", "96", "ASize", 96, 12, "12"},
        {"Answer", "Speed", "10", "tbA", 10, 1, "1"},
        {"Answer", "Bold", "1", "ABold", true, false, "0"},
        {"Answer", "Italic", "0", "AItalic", false, true, "1"},
        {"Answer", "3D", "0", "A3D", false, true, "1"},
        {"General", "Pause", "7", "udPause", 7, 12, "12"},
    };
    // The faces the font boxes list here.
    std::string faces[2];
    d.Run([&] { faces[0] = d.Face(0), faces[1] = d.Face(1); });
    ASSERT_FALSE(faces[0].empty() || faces[1].empty()) << "no fonts";

    for (const auto& c : cases) this->Store(c.subkey, c.name, c.stored);
    this->Store("Question", "Face", faces[0]);
    this->Store("Answer", "Face", faces[1]);
    const std::filesystem::path jokes = this->dir_.path() / "jokes";
    std::filesystem::create_directory(jokes);
    std::ofstream(jokes / "animals.txt") << "";
    std::ofstream(jokes / "puns.txt") << "";
    this->Store("General", "Directory", jokes.string());
    const bool accepted = d.Run([&] {
        DialogView& view = d.View();
        for (const auto& c : cases) {
            EXPECT_EQ(Shown(view, c.control, c.shown), c.shown) << c.control;
            Leave(view, c.control, c.changed);
        }
        EXPECT_EQ(view.Text("QFont"), faces[0]);
        EXPECT_EQ(view.Text("AFont"), faces[1]);
        view.SetText("QFont", faces[1]);
        view.SetText("AFont", faces[0]);
        view.SetNumber("Files", 1);
        view.SetText("QEdit", "Why?");
        d.Press("btOk");
    });
    EXPECT_TRUE(accepted);
    for (const auto& c : cases) EXPECT_EQ(this->Stored(c.subkey, c.name), c.saved) << c.subkey << "\\" << c.name;
    EXPECT_EQ(this->Stored("Question", "Face"), faces[1]);
    EXPECT_EQ(this->Stored("Answer", "Face"), faces[0]);
    EXPECT_EQ(this->Stored("General", "JokeFile"), "puns.txt");
    EXPECT_EQ(this->StoredCount(), 27);
    // The default texts reach the running program but are never stored.
    EXPECT_EQ(Settings.DefaultQuestion, "Why?");
}

TYPED_TEST_P(DialogContract, CancelAndCloseStoreNothingAndGiveTheOwnerTheForeground) {
    auto& d = this->driver;
    const std::function<void()> ways[] = {[&] { d.Press("btCancel"); }, [&] { d.CloseWindow(); }};
    for (const auto& leave : ways) {
        this->activated_.clear();
        const bool accepted = d.Run([&] {
            DialogView& view = d.View();
            view.SetNumber("tbF", 1);
            view.SetNumber("SolidC", 0x445566);
            view.SetNumber("udPause", 20);
            leave();
        });
        EXPECT_FALSE(accepted);
        EXPECT_EQ(this->StoredCount(), 0);
        EXPECT_EQ(this->activated_, std::vector<platform::WindowId>{d.Owner()});
    }
}

REGISTER_TYPED_TEST_SUITE_P(DialogContract, EachControlShowsItsStoredValueAndOkStoresWhatItHolds,
                            CancelAndCloseStoreNothingAndGiveTheOwnerTheForeground);

}  // namespace quipix::test
