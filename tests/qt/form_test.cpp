// The Qt form of the configuration dialog: each widget shows its control value
// and gives the user's changes back, keys and buttons reach their handlers, and the
// form applies the controller's states. What the dialog does with the values is
// tested on the controller (tests/dialog).
#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "common/settings.h"
#include "form_test_support.h"
#include "qt/pg_image.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/file_list_box.h"
#include "qt/widgets/font_combo_box.h"
#include "qt/widgets/radio_group_box.h"
#include "qt/widgets/shadow_label.h"
#include "qt/widgets/up_down.h"

namespace quipix {
namespace {

using test::Control;
using test::WhenModal;

class ConfigDialog : public test::DialogTest {
protected:
    static void Press(QWidget& target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&target, &press);
    }
    static void ClickTimes(TUpDown* spin, const char* which, int times) {
        auto* button = spin->findChild<QToolButton*>(which);
        for (int i = 0; i < times; ++i) button->click();
    }
};

TEST_F(ConfigDialog, StoredValuesReachTheirWidgets) {
    const std::string jokes = dir_.str() + "/jokes";
    std::filesystem::create_directory(jokes);
    std::ofstream(jokes + "/animals.txt") << "";
    std::ofstream(jokes + "/puns.txt") << "";
    const std::string picture = dir_.str() + "/back.bmp";
    const struct {
        const char* subkey;
        const char* name;
        std::string text;
    } stored[] = {
        {"General", "Directory", jokes},
        {"General", "JokeFile", "puns.txt"},
        {"General", "Speed", "9"},
        {"General", "Fade Mode", "1"},
        {"General", "Change", "1"},
        {"General", "ChangeAfter", "40"},
        {"General", "Pause", "7"},
        {"Background", "Type", "2"},
        {"Background", "Bitmap", picture},
        {"Background", "Solid Color", "1193046"},
        {"Background", "From Color", "-2147483633"},
        {"Background", "To Color", "65280"},
        {"Background", "Tiled", "1"},
        {"Question", "Size", "30"},
        {"Question", "Color", "65535"},
        {"Question", "3D", "1"},
        {"Question", "Bold", "0"},
        {"Question", "Italic", "1"},
        {"Question", "Speed", "2"},
        {"Answer", "Size", "96"},
        {"Answer", "Color", "255"},
        {"Answer", "3D", "0"},
        {"Answer", "Bold", "1"},
        {"Answer", "Italic", "0"},
        {"Answer", "Speed", "10"},
    };
    for (const auto& v : stored) Store(v.subkey, v.name, v.text);
    TfrmConfig dialog;
    EXPECT_EQ(dialog.windowTitle(), "Kelvara Jokes Screen Saver Configuration");
    EXPECT_EQ(dialog.size(), QSize(534, 288));
    EXPECT_EQ(Control<QTabWidget>(dialog, "Pages")->currentWidget()->objectName(), "tsJokes");
    auto* files = Control<TFileListBox>(dialog, "Files");
    ASSERT_EQ(files->count(), 2);
    EXPECT_EQ(files->item(0)->text(), "animals.txt");
    EXPECT_EQ(files->ItemIndex(), 1);
    EXPECT_EQ(Control<QLineEdit>(dialog, "QEdit")->text(), "These are the default question and answer");
    EXPECT_EQ(Control<QLineEdit>(dialog, "AEdit")->text(),
              "Please ensure that you select a valid joke file to get the most from this screen saver");
    EXPECT_EQ(Control<QSlider>(dialog, "tbF")->value(), 9);
    EXPECT_EQ(Control<TRadioGroupBox>(dialog, "rgFadeMode")->ItemIndex(), 1);
    EXPECT_TRUE(Control<QCheckBox>(dialog, "cbRandom")->isChecked());
    EXPECT_EQ(Control<QLineEdit>(dialog, "edRand")->text(), "40");
    EXPECT_TRUE(Control<QLineEdit>(dialog, "edRand")->isEnabled());
    EXPECT_EQ(Control<QLineEdit>(dialog, "edPause")->text(), "7");
    EXPECT_EQ(Control<TRadioGroupBox>(dialog, "rgBackType")->ItemIndex(), 2);
    EXPECT_EQ(Control<QPushButton>(dialog, "btBitmap")->text(), QString::fromStdString(picture));
    EXPECT_EQ(Control<TColorButton>(dialog, "SolidC")->Value(), 0x123456);
    EXPECT_EQ(Control<TColorButton>(dialog, "FromC")->Value(), TColor(0x8000000F));
    EXPECT_EQ(Control<TColorButton>(dialog, "ToC")->Value(), 0x00FF00);
    EXPECT_TRUE(Control<QCheckBox>(dialog, "cbTiled")->isChecked());
    EXPECT_FALSE(Control<TFontComboBox>(dialog, "QFont")->FontName().isEmpty());
    EXPECT_EQ(Control<QLineEdit>(dialog, "Qed")->text(), "30");
    EXPECT_EQ(Control<TColorButton>(dialog, "QColor")->Value(), 0x00FFFF);
    EXPECT_TRUE(Control<QCheckBox>(dialog, "Q3D")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(dialog, "QBold")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(dialog, "QItalic")->isChecked());
    EXPECT_EQ(Control<QSlider>(dialog, "tbQ")->value(), 2);
    EXPECT_EQ(Control<QLineEdit>(dialog, "Aed")->text(), "96");
    EXPECT_EQ(Control<TColorButton>(dialog, "AColor")->Value(), 0x0000FF);
    EXPECT_FALSE(Control<QCheckBox>(dialog, "A3D")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(dialog, "ABold")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(dialog, "AItalic")->isChecked());
    EXPECT_EQ(Control<QSlider>(dialog, "tbA")->value(), 10);
    EXPECT_FALSE(Control<QSlider>(dialog, "tbQ")->isHidden());
    EXPECT_TRUE(Control<TShadowLabel>(dialog, "laColors")->isHidden());
    EXPECT_EQ(Control<QLabel>(dialog, "laVer")->text(), "Version 2.1");
}

TEST_F(ConfigDialog, OkWritesEveryValueFromTheControls) {
    const std::string jokes = dir_.str() + "/jokes";
    std::filesystem::create_directory(jokes);
    std::ofstream(jokes + "/animals.txt") << "";
    std::ofstream(jokes + "/puns.txt") << "";
    Store("General", "Directory", jokes);
    {
        TfrmConfig dialog;
        Control<TFileListBox>(dialog, "Files")->SetItemIndex(1);
        Control<QLineEdit>(dialog, "QEdit")->setText("Why?");
        Control<QSlider>(dialog, "tbF")->setValue(9);
        Control<TRadioGroupBox>(dialog, "rgFadeMode")->Button(1)->click();
        Control<QCheckBox>(dialog, "cbRandom")->click();
        Control<TUpDown>(dialog, "udRand")->SetPosition(40);
        Control<TRadioGroupBox>(dialog, "rgBackType")->Button(1)->click();
        Control<TColorButton>(dialog, "SolidC")->SetValue(0x123456);
        Control<TColorButton>(dialog, "FromC")->SetValue(TColor(0x8000000F));
        Control<TColorButton>(dialog, "ToC")->SetValue(0x00FF00);
        Control<QCheckBox>(dialog, "cbTiled")->click();
        auto* qfont = Control<TFontComboBox>(dialog, "QFont");
        qfont->setCurrentIndex(0);
        const QString family = qfont->itemText(0);
        Control<TUpDown>(dialog, "QSize")->SetPosition(30);
        Control<TColorButton>(dialog, "QColor")->SetValue(0x00FFFF);
        Control<QCheckBox>(dialog, "Q3D")->click();
        Control<QCheckBox>(dialog, "QItalic")->click();
        Control<QSlider>(dialog, "tbQ")->setValue(2);
        Control<TUpDown>(dialog, "ASize")->SetPosition(96);
        Control<QCheckBox>(dialog, "ABold")->click();
        Control<QSlider>(dialog, "tbA")->setValue(10);
        ClickTimes(Control<TUpDown>(dialog, "udPause"), "up", 3);
        Control<QPushButton>(dialog, "btOk")->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);

        EXPECT_EQ(Stored("Question", "Face"), family.toStdString());
    }
    EXPECT_EQ(StoredCount(), 27);
    EXPECT_EQ(Stored("General", "Speed"), "9");
    EXPECT_EQ(Stored("General", "Fade Mode"), "1");
    EXPECT_EQ(Stored("General", "JokeFile"), "puns.txt");
    EXPECT_EQ(Stored("General", "Directory"), jokes);
    EXPECT_EQ(Stored("General", "Change"), "1");
    EXPECT_EQ(Stored("General", "ChangeAfter"), "40");
    EXPECT_EQ(Stored("Background", "Bitmap"), "");
    EXPECT_EQ(Stored("Background", "Solid Color"), std::to_string(0x123456));
    EXPECT_EQ(Stored("Background", "From Color"), "-2147483633");  // a system colour stays one
    EXPECT_EQ(Stored("Background", "To Color"), std::to_string(0x00FF00));
    EXPECT_EQ(Stored("Background", "Tiled"), "1");
    EXPECT_EQ(Stored("Background", "Type"), "1");
    EXPECT_EQ(Stored("Question", "Color"), std::to_string(0x00FFFF));
    EXPECT_EQ(Stored("Question", "Size"), "30");
    EXPECT_EQ(Stored("Question", "Speed"), "2");
    EXPECT_EQ(Stored("Question", "Bold"), "1");
    EXPECT_EQ(Stored("Question", "Italic"), "1");
    EXPECT_EQ(Stored("Question", "3D"), "0");
    EXPECT_EQ(Stored("Answer", "Face"), "Arial");
    EXPECT_EQ(Stored("Answer", "Color"), std::to_string(0xFF0000));
    EXPECT_EQ(Stored("Answer", "Size"), "96");
    EXPECT_EQ(Stored("Answer", "Speed"), "10");
    EXPECT_EQ(Stored("Answer", "Bold"), "0");
    EXPECT_EQ(Stored("Answer", "Italic"), "0");
    EXPECT_EQ(Stored("Answer", "3D"), "1");
    EXPECT_EQ(Stored("General", "Pause"), "7");
    // The default texts reach the running program but are never stored.
    EXPECT_EQ(Settings.DefaultQuestion, "Why?");
}

TEST_F(ConfigDialog, CancelEscAndCloseWriteNothingAndGiveTheOwnerTheForeground) {
    const std::function<void(TfrmConfig&)> ways[] = {
        [](TfrmConfig& d) { Control<QPushButton>(d, "btCancel")->click(); },
        [](TfrmConfig& d) { Press(d, Qt::Key_Escape); },
        [](TfrmConfig& d) { d.close(); },
    };
    for (const auto& closeIt : ways) {
        activated_.clear();
        TfrmConfig dialog(0x2a00007);
        dialog.show();
        Control<QSlider>(dialog, "tbF")->setValue(1);
        Control<TColorButton>(dialog, "SolidC")->SetValue(0x445566);
        Control<TUpDown>(dialog, "udPause")->SetPosition(20);
        closeIt(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(StoredCount(), 0);
        EXPECT_EQ(activated_, std::vector<platform::WindowId>{0x2a00007});
    }
}

TEST_F(ConfigDialog, ChangeAfterBoxEnablesAndGreysTheCount) {
    Store("General", "ChangeAfter", "30");
    TfrmConfig dialog;
    auto* box = Control<QCheckBox>(dialog, "cbRandom");
    auto* count = Control<QLineEdit>(dialog, "edRand");
    auto* spin = Control<TUpDown>(dialog, "udRand");
    const QColor page = Control<QWidget>(dialog, "tsJokes")->palette().color(QPalette::Window);
    EXPECT_EQ(count->palette().color(QPalette::Base), page);
    box->click();
    EXPECT_TRUE(count->isEnabled());
    EXPECT_NE(count->palette().color(QPalette::Base), page);
    ClickTimes(spin, "up", 1);
    box->click();
    EXPECT_FALSE(count->isEnabled());
    EXPECT_EQ(count->palette().color(QPalette::Base), page);
    ClickTimes(spin, "up", 1);  // the spinner works in both states
    EXPECT_EQ(count->text(), "32");
}

TEST_F(ConfigDialog, SpinnersStopAtTheirEnds) {
    TfrmConfig dialog;
    const struct {
        const char* name;
        int min, max;
    } spinners[] = {{"udRand", 1, 100}, {"QSize", 12, 96}, {"ASize", 12, 96}, {"udPause", 0, 30}};
    for (const auto& s : spinners) {
        auto* spin = Control<TUpDown>(dialog, s.name);
        ClickTimes(spin, "down", 120);
        EXPECT_EQ(spin->Position(), s.min) << s.name;
        ClickTimes(spin, "up", 120);
        EXPECT_EQ(spin->Position(), s.max) << s.name;
    }
    EXPECT_EQ(Control<QLineEdit>(dialog, "Qed")->text(), "96");
    EXPECT_EQ(Control<QLineEdit>(dialog, "edPause")->text(), "30");
}

TEST_F(ConfigDialog, TabRunsFromTheEffectsSpeedThroughTheFadeModeToThePause) {
    TfrmConfig dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    Control<QTabWidget>(dialog, "Pages")->setCurrentWidget(Control<QWidget>(dialog, "tsSpeed"));
    QWidget* const order[] = {Control<QSlider>(dialog, "tbF"),
                              Control<TRadioGroupBox>(dialog, "rgFadeMode")->Button(0),
                              Control<QLineEdit>(dialog, "edPause")};
    order[0]->setFocus();
    for (int i = 1; i < 3; ++i) {
        Press(*QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << "step " << i;
    }
}

TEST_F(ConfigDialog, UnknownFaceSavesAnEmptyName) {
    Store("Question", "Face", "No Such Family Anywhere");
    TfrmConfig dialog;
    EXPECT_EQ(Control<TFontComboBox>(dialog, "QFont")->currentIndex(), -1);
    Control<QPushButton>(dialog, "btOk")->click();
    EXPECT_EQ(Stored("Question", "Face"), "");
    EXPECT_EQ(Stored("Answer", "Face"), "Arial");
}

TEST_F(ConfigDialog, HelpKeysAndButtonsReachTheirServices) {
    TfrmConfig dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    Control<QTabWidget>(dialog, "Pages")->setCurrentIndex(1);
    Control<QPushButton>(dialog, "btHelp")->click();
    Press(*Control<QPushButton>(dialog, "btOk"), Qt::Key_F1);
    EXPECT_EQ(help_, (std::vector<int>{6000, 100}));
    Control<QPushButton>(dialog, "btURL")->click();
    EXPECT_EQ(addresses_, std::vector<std::string>{kHomePageAddress});
    dialog.reject();
}

TEST_F(ConfigDialog, PaletteScreenShowsTheWarningInsteadOfTheTextSpeeds) {
    depth_ = 8;
    TfrmConfig dialog;
    EXPECT_TRUE(Control<QSlider>(dialog, "tbQ")->isHidden());
    EXPECT_TRUE(Control<QSlider>(dialog, "tbA")->isHidden());
    EXPECT_FALSE(Control<QSlider>(dialog, "tbF")->isHidden());
    EXPECT_FALSE(Control<TShadowLabel>(dialog, "laColors")->isHidden());
}

TEST_F(ConfigDialog, SaveFailureIsShownAndTheDialogStaysOpen) {
    platform::InstallRegistry(std::make_shared<test::FailingRegistry>(store_));
    TfrmConfig dialog;
    dialog.show();
    Control<QSlider>(dialog, "tbF")->setValue(2);
    QString shown;
    WhenModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) shown = box->text();
        qobject_cast<QDialog*>(modal)->reject();
    });
    Control<QPushButton>(dialog, "btOk")->click();
    EXPECT_EQ(shown, "Failed to set data for 'Tiled'");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Control<QSlider>(dialog, "tbF")->value(), 2);
    dialog.reject();
}

TEST_F(ConfigDialog, UnreadableStoreIsReportedAndTheDialogStillWorks) {
    ASSERT_TRUE(store_->CreateKey(std::string(kSettingsKey) + "\\General"));
    ASSERT_TRUE(store_->WriteValue(std::string(kSettingsKey) + "\\General", "Fade Mode",
                                   platform::RegValue::DWord(1)));
    QString shown;
    WhenModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) shown = box->text();
        qobject_cast<QDialog*>(modal)->reject();
    });
    TfrmConfig dialog;
    dialog.show();
    for (int i = 0; i < 200 && shown.isEmpty(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(shown, "Invalid data type for 'Fade Mode'");
    QStringList drawn;
    QObject::connect(&dialog, &TfrmConfig::PreviewDrawn, [&](const QString& p) { drawn << p; });
    Control<QCheckBox>(dialog, "QBold")->click();  // previews are no longer held back
    EXPECT_EQ(drawn, QStringList{"QImg"});
    dialog.reject();
}

TEST_F(ConfigDialog, BrowseStartsInTheListsFolderAndShowsTheChosenOne) {
    std::ofstream(dir_.str() + "/a.txt") << "";
    const std::string other = dir_.str() + "/more";
    std::filesystem::create_directory(other);
    std::ofstream(other + "/b.txt") << "";
    Store("General", "Directory", dir_.str());
    Store("General", "JokeFile", "a.txt");
    TfrmConfig dialog;
    auto* files = Control<TFileListBox>(dialog, "Files");
    ASSERT_EQ(files->ItemIndex(), 0);
    QString startedIn;
    WhenModal([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        startedIn = chooser->directory().absolutePath();
        test::ChooseInFileDialog(chooser, QString::fromStdString(other));
    });
    Control<QPushButton>(dialog, "btBrowse")->click();
    EXPECT_EQ(startedIn, QString::fromStdString(dir_.str()));
    ASSERT_EQ(files->count(), 1);
    EXPECT_EQ(files->item(0)->text(), "b.txt");
    EXPECT_EQ(files->ItemIndex(), -1);
}

}  // namespace
}  // namespace quipix
