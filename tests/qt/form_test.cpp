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
#include "support/dialog_contract.h"
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

// The form as the run mode shows it, its buttons clicked as the user would.
class QtDialogDriver {
public:
    static bool Possible() { return true; }
    platform::WindowId Owner() const { return 0x2a00007; }
    bool Run(const std::function<void()>& body) {
        TfrmConfig dialog(Owner());
        dialog.show();
        dialog_ = &dialog;
        body();
        dialog_ = nullptr;
        if (dialog.isVisible()) dialog.reject();
        return dialog.result() == QDialog::Accepted;
    }
    DialogView& View() { return *dialog_; }
    std::string Face(int i) const { return Control<TFontComboBox>(*dialog_, "QFont")->itemText(i).toStdString(); }
    void Press(std::string_view button) { Control<QPushButton>(*dialog_, std::string(button).c_str())->click(); }
    void CloseWindow() { dialog_->close(); }

private:
    TfrmConfig* dialog_ = nullptr;
};
using namespace test;  // the dialog contract
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, DialogContract, QtDialogDriver);

TEST_F(ConfigDialog, TheFormOpensOnItsFirstPageAndEscapeLeavesWithoutSaving) {
    TfrmConfig dialog;
    dialog.show();
    EXPECT_EQ(Control<QTabWidget>(dialog, "Pages")->currentWidget()->objectName(), "tsJokes");
    Control<QSlider>(dialog, "tbF")->setValue(1);
    Press(dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(StoredCount(), 0);
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
