// The dialog controller's transfer of the Settings into the control values and
// back on OK, the joke-file list, the enabling rules, and the buttons' services.
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/joke_library.h"
#include "support/dialog_contract.h"

namespace quipix {
namespace {

namespace fs = std::filesystem;
using test::DialogControllerTest;

bool SameFolder(const std::string& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

void Touch(const fs::path& file) { std::ofstream(file) << ""; }

class DialogTransfer : public DialogControllerTest {};

TEST_F(DialogTransfer, FreshStoreFillsTheDefaults) {
    auto dialog = Open();
    const DialogValues& v = dialog->Values();
    EXPECT_EQ(v.Pages, 0);
    EXPECT_EQ(v.QEdit, "These are the default question and answer");
    EXPECT_EQ(v.AEdit,
              "Please ensure that you select a valid joke file to get the most from this screen saver");
    const TStoredSettings& c = v.Chosen;
    EXPECT_FALSE(c.Change);
    EXPECT_EQ(c.ChangeAfter, 25);
    EXPECT_FALSE(dialog->States().edRand);
    // The bundled jokes, none selected.
    EXPECT_TRUE(SameFolder(c.Directory, BundledJokeDirectory()));
    EXPECT_FALSE(v.JokeFiles.empty());
    EXPECT_EQ(v.FilesIndex, -1);
    EXPECT_EQ(c.BackgroundType, background_type::Solid);
    EXPECT_EQ(c.FadeMode, fade_mode::FadeToBlack);
    EXPECT_EQ(c.FromColor, 0x800000);
    EXPECT_EQ(c.Question.Color, 0x0000FF);
    EXPECT_EQ(c.Answer.Color, 0xFF0000);
    EXPECT_EQ(c.Question.Size, 24);
    EXPECT_EQ(c.Question.Face, "Arial");
    EXPECT_EQ(c.Speed, 5);
    EXPECT_EQ(c.Pause, 4);
    EXPECT_EQ(v.laVer, "Version 2.1");
    EXPECT_EQ(dialog->BitmapCaption(), "Select bitmap ...");
    const ControlStates s = dialog->States();
    EXPECT_TRUE(s.SolidC && !s.FromC && !s.ToC && !s.btBitmap && !s.cbTiled);
    EXPECT_TRUE(s.tbQ && s.tbA && !s.laColors);
    // Filling draws each preview once, after the last control is filled.
    EXPECT_EQ(view_.previews, (std::vector<Preview>{Preview::BImg, Preview::QImg, Preview::AImg}));
    EXPECT_TRUE(view_.errors.empty());
    // Creating the dialog writes nothing, so that Cancel leaves no trace.
    EXPECT_FALSE(fs::exists(store_->path()));
    // The bundled folder is stored as empty.
    ASSERT_TRUE(dialog->btOkClick());
    EXPECT_EQ(Stored("General", "Directory"), "");
    EXPECT_EQ(StoredJokeDirectory(dir_.str()), dir_.str());
    EXPECT_EQ(StoredJokeDirectory(""), "");
}

// The controller with a view of plain values: the dialog contract's reference, and
// every control name the controller uses is one of the layout table's.
class RecordingDriver {
public:
    static bool Possible() { return true; }
    platform::WindowId Owner() const { return 0x2a00007; }
    bool Run(const std::function<void()>& body) {
        view_ = test::RecordingView{};
        DialogController dialog(view_, Owner(), test::kPreviewWidth, test::kPreviewHeight);
        dialog.FormCreate();
        dialog_ = &dialog;
        accepted_ = false;
        body();
        if (dialog_) dialog.FormClose();
        dialog_ = nullptr;
        for (const std::string& name : view_.used) EXPECT_NE(FindControl(name), nullptr) << name;
        return accepted_;
    }
    DialogView& View() { return view_; }
    std::string Face(int i) const { return i == 0 ? "Some Family" : "Other Family"; }
    void Press(std::string_view button) {
        if (button == "btOk" && !dialog_->ControlEvent(button)) return;
        accepted_ = button == "btOk";
        std::exchange(dialog_, nullptr)->FormClose();
    }
    void CloseWindow() { Press("btCancel"); }

private:
    test::RecordingView view_;
    DialogController* dialog_ = nullptr;
    bool accepted_ = false;
};
using namespace test;  // the dialog contract
INSTANTIATE_TYPED_TEST_SUITE_P(Recording, DialogContract, RecordingDriver);

TEST_F(DialogTransfer, StoredValuesOutsideTheControlsArePulledToTheirEnds) {
    const struct {
        const char* subkey;
        const char* name;
        const char* stored;
        const char* control;
        int shown;
    } cases[] = {
        {"General", "ChangeAfter", "0", "udRand", 1},
        {"General", "ChangeAfter", "500", "udRand", 100},
        {"General", "ChangeAfter", "65566", "udRand", 30},  // a 16-bit position
        {"Question", "Size", "8", "QSize", 12},
        {"Question", "Size", "200", "QSize", 96},
        {"Answer", "Size", "8", "ASize", 12},
        {"Answer", "Size", "200", "ASize", 96},
        {"General", "Speed", "0", "tbF", 1},
        {"Question", "Speed", "11", "tbQ", 10},
        {"General", "Fade Mode", "5", "rgFadeMode", 1},
        {"Background", "Type", "-3", "rgBackType", -1},
        {"General", "Pause", "-1", "udPause", 0},
        {"General", "Pause", "99", "udPause", 30},
        {"General", "Pause", "65537", "udPause", 30},  // no 16-bit position
    };
    for (const auto& c : cases) {
        Store(c.subkey, c.name, c.stored);
        auto dialog = Open();
        EXPECT_EQ(view_.numbers[c.control], c.shown) << c.name << " " << c.stored;
        ASSERT_TRUE(dialog->btOkClick());
        EXPECT_EQ(Stored(c.subkey, c.name), std::to_string(c.shown)) << c.name << " " << c.stored;
    }
}

TEST_F(DialogTransfer, FilesListsTheJokeFilesAndSelectsTheStoredOneInAnyCase) {
    for (const char* name : {"b.txt", "Puns.txt", "a.TXT", "notes.doc", ".hidden.txt"})
        Touch(dir_.path() / name);
    fs::create_directory(dir_.path() / "folder.txt");
    Store("General", "Directory", dir_.str() + "/");
    Store("General", "JokeFile", "PUNS.TXT");
    auto dialog = Open();
    const DialogValues& v = dialog->Values();
    EXPECT_TRUE(SameFolder(v.Chosen.Directory, dir_.path()));
    EXPECT_NE(v.Chosen.Directory.back(), '/');
    EXPECT_EQ(v.JokeFiles, (std::vector<std::string>{"a.TXT", "b.txt", "Puns.txt"}));
    EXPECT_EQ(v.FilesIndex, 2);
    ASSERT_TRUE(dialog->btOkClick());
    EXPECT_EQ(Stored("General", "JokeFile"), "Puns.txt");
}

TEST_F(DialogTransfer, MissingFolderShowsTheCurrentFolderAndKeepsTheJokeFile) {
    Store("General", "Directory", dir_.str() + "/gone");
    Store("General", "JokeFile", "old.txt");
    auto dialog = Open();
    EXPECT_TRUE(SameFolder(dialog->Values().Chosen.Directory, fs::current_path()));
    EXPECT_EQ(dialog->Values().FilesIndex, -1);
    EXPECT_TRUE(view_.errors.empty());
    ASSERT_TRUE(dialog->btOkClick());
    EXPECT_EQ(Stored("General", "JokeFile"), "old.txt");
    EXPECT_EQ(Stored("General", "Directory"), StoredJokeDirectory(dialog->Values().Chosen.Directory));
}

TEST_F(DialogTransfer, ChosenFolderReplacesTheListButNotTheJokeFile) {
    Touch(dir_.path() / "a.txt");
    const fs::path other = dir_.path() / "more";
    fs::create_directory(other);
    Touch(other / "b.txt");
    Touch(other / "c.txt");
    Store("General", "Directory", dir_.str());
    Store("General", "JokeFile", "a.txt");
    auto dialog = Open();
    DialogValues& v = dialog->Values();
    ASSERT_EQ(v.FilesIndex, 0);
    const std::string start = v.Chosen.Directory;
    // Nothing happens for an item without a path, a folder that is gone, or the
    // folder already shown, whose selection stays.
    for (const std::string& folder : {std::string(), dir_.str() + "/gone", dir_.str() + "/"}) {
        dialog->FolderChosen(folder);
        EXPECT_EQ(v.Chosen.Directory, start) << folder;
        EXPECT_EQ(v.FilesIndex, 0) << folder;
    }
    dialog->FolderChosen(other.string());
    EXPECT_TRUE(SameFolder(v.Chosen.Directory, other));
    EXPECT_EQ(v.JokeFiles, (std::vector<std::string>{"b.txt", "c.txt"}));
    EXPECT_EQ(v.FilesIndex, -1);
    ASSERT_TRUE(dialog->btOkClick());
    EXPECT_EQ(Stored("General", "Directory"), v.Chosen.Directory);
    EXPECT_EQ(Stored("General", "JokeFile"), "a.txt");
}

TEST_F(DialogTransfer, TheCountIsEnabledByItsBoxAndSavedEitherWay) {
    Store("General", "ChangeAfter", "30");
    auto dialog = Open();
    DialogValues& v = dialog->Values();
    for (bool on : {true, false}) {
        v.Chosen.Change = on;
        EXPECT_EQ(dialog->States().edRand, on);
    }
    v.Chosen.ChangeAfter = 32;
    ASSERT_TRUE(dialog->btOkClick());
    EXPECT_EQ(Stored("General", "ChangeAfter"), "32");
    EXPECT_EQ(Stored("General", "Change"), "0");
}

TEST_F(DialogTransfer, StartingByItselfIsReadFromTheAutostartEntryAndChangedOnlyByOk) {
    if (!FindControl("cbIdle")) GTEST_SKIP() << "the system starts screen savers itself here";
    const struct {
        int entry;         // the entry's seconds when the dialog opens, 0 none
        bool on;           // what cbIdle shows
        int minutes;       // and udIdle
        bool leaveOn;      // what the user leaves
        int leaveMinutes;
        int after;         // the entry after OK
    } cases[] = {
        {0, false, 5, false, 5, 0},      // off stays off
        {0, false, 5, true, 10, 600},    // turned on
        {300, true, 5, false, 5, 0},     // turned off
        {90, true, 2, true, 2, 120},     // whole minutes from then on
        {600, true, 10, true, 10, 600},  // unchanged
        {999999, true, 1440, true, 1440, 86400},
    };
    for (const auto& c : cases) {
        idleSeconds_ = c.entry;
        auto dialog = Open();
        EXPECT_EQ(view_.Checked("cbIdle"), c.on) << c.entry;
        EXPECT_EQ(view_.Number("udIdle"), c.minutes) << c.entry;
        EXPECT_EQ(view_.enabled["edIdle"], c.on) << c.entry;
        view_.checks["cbIdle"] = c.leaveOn;
        view_.numbers["udIdle"] = c.leaveMinutes;
        dialog->ControlEvent("cbIdle");
        EXPECT_EQ(view_.enabled["edIdle"], c.leaveOn) << c.entry;
        EXPECT_EQ(idleSeconds_, c.entry) << "nothing changes before OK";
        ASSERT_TRUE(dialog->btOkClick());
        EXPECT_EQ(idleSeconds_, c.after) << c.entry;
    }
}

TEST_F(DialogTransfer, PaletteScreensHideTheTextSpeedsAndKeepTheirValues) {
    Store("Question", "Speed", "3");
    Store("Answer", "Speed", "8");
    for (int depth : {1, 4, 8, 15, 16, 32}) {
        depth_ = depth;
        auto dialog = Open();
        const ControlStates s = dialog->States();
        const bool limited = depth <= 8;
        EXPECT_EQ(s.laColors, limited) << depth;
        EXPECT_EQ(s.tbQ, !limited) << depth;
        EXPECT_EQ(s.tbA, !limited) << depth;
        ASSERT_TRUE(dialog->btOkClick());
        EXPECT_EQ(Stored("Question", "Speed"), "3") << depth;
        EXPECT_EQ(Stored("Answer", "Speed"), "8") << depth;
    }
}

TEST_F(DialogTransfer, HelpAndWebButtonsCallTheirServices) {
    auto dialog = Open();
    for (int page = 0; page < 6; ++page) {
        dialog->Values().Pages = page;
        dialog->btHelpClick();
    }
    dialog->FormHelp();
    EXPECT_EQ(help_, (std::vector<int>{1000, 6000, 2000, 3000, 4000, 5000, 100}));
    dialog->btURLClick();
    ASSERT_EQ(addresses_.size(), 1u);
    EXPECT_EQ(addresses_[0], kHomePageAddress);
    EXPECT_EQ(addresses_[0].rfind("https://", 0), 0u);
}

TEST_F(DialogTransfer, SaveFailureIsReportedAndTheDialogStaysOpen) {
    platform::InstallRegistry(std::make_shared<test::FailingRegistry>(store_));
    auto dialog = Open();
    dialog->Values().Chosen.Speed = 2;
    dialog->Values().Chosen.Answer.Size = 50;
    EXPECT_FALSE(dialog->btOkClick());
    EXPECT_EQ(view_.errors, std::vector<std::string>{"Failed to set data for 'Tiled'"});
    EXPECT_EQ(dialog->Values().Chosen.Speed, 2);
    EXPECT_EQ(Stored("General", "Speed"), "2");  // written before the failure
    EXPECT_EQ(Stored("Background", "Type"), std::nullopt);
    // The running program already holds every control value.
    EXPECT_EQ(Settings.Answer.Size, 50);
}

TEST_F(DialogTransfer, AStoreThatCannotBeReadIsToldOnceAndNeverSavedOver) {
    // A file over the size the store takes (the user's own, grown by hand, say).
    std::ofstream(store_->path(), std::ios::binary)
        << "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\n\"Speed\"=\"7\"\n";
    fs::resize_file(store_->path(), platform::kMaxRegFileSize + 1);
    const auto written = fs::last_write_time(store_->path());
    const std::string unreadable = "The settings file at " + store_->path() +
                                   " cannot be read (larger than 4 MiB) and will not be changed.";
    auto dialog = Open();
    EXPECT_EQ(view_.errors, std::vector<std::string>{unreadable});
    EXPECT_EQ(dialog->Values().Chosen.Speed, 5);  // the defaults
    dialog->Values().Chosen.Speed = 2;
    EXPECT_FALSE(dialog->btOkClick());
    EXPECT_EQ(view_.errors, (std::vector<std::string>{unreadable, unreadable}));
    EXPECT_EQ(fs::file_size(store_->path()), platform::kMaxRegFileSize + 1);
    EXPECT_EQ(fs::last_write_time(store_->path()), written);
}

TEST_F(DialogTransfer, UnreadableStoreIsReportedAndThePreviewsStillWork) {
    ASSERT_TRUE(store_->CreateKey(std::string(kSettingsKey) + "\\General"));
    ASSERT_TRUE(store_->WriteValue(std::string(kSettingsKey) + "\\General", "Fade Mode",
                                   platform::RegValue::DWord(1)));
    // A text control's event while the controls are still being filled draws nothing.
    DialogController* filling = nullptr;
    view_.onError = [&] {
        ASSERT_NE(filling, nullptr);
        filling->QChange();
        filling->AChange();
    };
    DialogController dialog(view_, 0, test::kPreviewWidth, test::kPreviewHeight);
    filling = &dialog;
    dialog.FormCreate();
    EXPECT_EQ(view_.errors, std::vector<std::string>{"Invalid data type for 'Fade Mode'"});
    EXPECT_EQ(view_.previews, (std::vector<Preview>{Preview::BImg, Preview::QImg, Preview::AImg}));
    view_.previews.clear();
    dialog.QChange();  // no longer held back once filled
    EXPECT_EQ(view_.previews, std::vector<Preview>{Preview::QImg});
}

TEST_F(DialogTransfer, EachControlRunsItsHandlerOnWhatTheWidgetsHold) {
    const std::vector<Preview> back{Preview::BImg, Preview::QImg, Preview::AImg}, question{Preview::QImg},
        answer{Preview::AImg}, none;
    const struct {
        const char* control;
        std::function<void(test::RecordingView&)> change;
        std::vector<Preview> drawn;
    } cases[] = {
        {"rgBackType", [](auto& v) { v.numbers["rgBackType"] = 1; }, back},
        {"SolidC", [](auto& v) { v.numbers["SolidC"] = 0x203040; }, back},
        {"FromC", [](auto& v) { v.numbers["FromC"] = 0x203040; }, back},
        {"ToC", [](auto& v) { v.numbers["ToC"] = 0x203040; }, back},
        {"cbTiled", [](auto& v) { v.checks["cbTiled"] = true; }, back},
        {"QFont", [](auto& v) { v.texts["QFont"] = "Other"; }, question},
        {"Qed", [](auto& v) { v.numbers["QSize"] = 30; }, question},
        {"QColor", [](auto& v) { v.numbers["QColor"] = 0x00FF00; }, question},
        {"Q3D", [](auto& v) { v.checks["Q3D"] = true; }, question},
        {"QBold", [](auto& v) { v.checks["QBold"] = true; }, question},
        {"QItalic", [](auto& v) { v.checks["QItalic"] = true; }, question},
        {"AFont", [](auto& v) { v.texts["AFont"] = "Other"; }, answer},
        {"Aed", [](auto& v) { v.numbers["ASize"] = 30; }, answer},
        {"AColor", [](auto& v) { v.numbers["AColor"] = 0x00FF00; }, answer},
        {"A3D", [](auto& v) { v.checks["A3D"] = false; }, answer},
        {"ABold", [](auto& v) { v.checks["ABold"] = true; }, answer},
        {"AItalic", [](auto& v) { v.checks["AItalic"] = true; }, answer},
        {"QEdit", [](auto& v) { v.texts["QEdit"] = "A new question"; }, none},
        {"tbQ", [](auto& v) { v.numbers["tbQ"] = 9; }, none},
        {"rgFadeMode", [](auto& v) { v.numbers["rgFadeMode"] = 1; }, none},
        {"Files", [](auto& v) { v.numbers["Files"] = 0; }, none},
        {"cbRandom", [](auto& v) { v.checks["cbRandom"] = true; }, none},
    };
    for (const auto& c : cases) {
        auto dialog = Open();
        view_.previews.clear();
        c.change(view_);
        EXPECT_FALSE(dialog->ControlEvent(c.control));
        EXPECT_EQ(view_.previews, c.drawn) << c.control;
    }
    // The handlers draw what the widgets hold, and the states follow them.
    auto dialog = Open();
    view_.numbers["SolidC"] = 0x203040;
    dialog->ControlEvent("SolidC");
    EXPECT_EQ(dialog->PreviewPicture(Preview::BImg).Pixels(1, 1), PGColor(0x203040));
    view_.numbers["rgBackType"] = 2;
    view_.checks["cbRandom"] = true;
    dialog->ControlEvent("cbRandom");
    EXPECT_TRUE(view_.visible["btBitmap"] && view_.visible["cbTiled"] && !view_.visible["SolidC"]);
    EXPECT_TRUE(view_.enabled["edRand"]);
    view_.numbers["Pages"] = 1;
    dialog->ControlEvent("btHelp");
    dialog->ControlEvent("btURL");
    EXPECT_EQ(help_, std::vector<int>{6000});
    EXPECT_EQ(addresses_, std::vector<std::string>{kHomePageAddress});
}

TEST_F(DialogTransfer, WhatTheWidgetsReportWhileTheyAreFilledRunsNothing) {
    Store("Background", "Solid Color", std::to_string(0x123456));
    Store("Question", "Size", "40");
    // A toolkit reports each widget the controller fills as changed.
    DialogController dialog(view_, 0, test::kPreviewWidth, test::kPreviewHeight);
    view_.onSet = [&](std::string_view control) {
        dialog.ControlEvent(control);
        dialog.ControlEvent("Qed");
    };
    dialog.FormCreate();
    EXPECT_EQ(view_.previews, (std::vector<Preview>{Preview::BImg, Preview::QImg, Preview::AImg}));
    EXPECT_EQ(dialog.Values().Chosen.SolidColor, 0x123456);
    EXPECT_EQ(dialog.Values().Chosen.Question.Size, 40);
}

TEST_F(DialogTransfer, BrowseAndPictureButtonsRunTheViewsChoosers) {
    Touch(dir_.path() / "a.txt");
    const fs::path other = dir_.path() / "more";
    fs::create_directory(other);
    Touch(other / "b.txt");
    Store("General", "Directory", dir_.str());
    Store("General", "JokeFile", "a.txt");
    const std::string picture = WriteBluePicture();
    auto dialog = Open();
    const std::string start = dialog->Values().Chosen.Directory;

    dialog->ControlEvent("btBrowse");  // cancelled
    view_.chosen = other.string();
    dialog->ControlEvent("btBrowse");
    EXPECT_EQ(view_.chooserStarts, (std::vector<std::string>{start, start}));
    EXPECT_EQ(view_.items["Files"], std::vector<std::string>{"b.txt"});
    EXPECT_EQ(view_.numbers["Files"], -1);

    view_.chooserStarts.clear();
    view_.previews.clear();
    view_.chosen = picture;
    dialog->ControlEvent("btBitmap");
    dialog->ControlEvent("btBitmap");
    EXPECT_EQ(view_.chooserStarts, (std::vector<std::string>{"", dir_.str()}));
    EXPECT_EQ(view_.texts["btBitmap"], picture);
    EXPECT_EQ(view_.previews.size(), 6u);
}

TEST_F(DialogTransfer, OwnerGetsTheForegroundBackOnceWhenTheDialogCloses) {
    auto owned = Open(0x2a00007);
    EXPECT_TRUE(activated_.empty());
    owned->FormClose();
    owned->FormClose();
    EXPECT_EQ(activated_, std::vector<platform::WindowId>{0x2a00007});
    activated_.clear();
    Open()->FormClose();
    EXPECT_TRUE(activated_.empty());
}

}  // namespace
}  // namespace quipix
