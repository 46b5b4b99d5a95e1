// The dialog's special controls: file list, up-down arrows, font box, colour
// button, radio group, folder browser and the two drawn labels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <stdexcept>

#include "platform/platform.h"
#include "modal.h"
#include "support/test_support.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/file_list_box.h"
#include "qt/widgets/font_combo_box.h"
#include "qt/widgets/label_3d.h"
#include "qt/widgets/radio_group_box.h"
#include "qt/widgets/shadow_label.h"
#include "config/sys_colors.h"
#include "qt/widgets/sys_folder_dialog.h"
#include "qt/widgets/up_down.h"

namespace quipix {
namespace {

using test::TempDir;
using test::WhenModal;

QStringList Items(const TFileListBox& list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i) names << list.item(i)->text();
    return names;
}

TEST(FileListBox, ListsMatchingPlainFilesSortedWithoutRegardToCase) {
    TempDir dir;
    dir.write("b.txt", "");
    dir.write("A.TXT", "");
    dir.write("c.dat", "");
    std::filesystem::create_directory(dir.path() / "folder.txt");
    TFileListBox list;
    list.SetMask("*.txt");
    list.SetFileName(QString::fromStdString(dir.str() + "/"));
    EXPECT_EQ(Items(list), (QStringList{"A.TXT", "b.txt"}));
    EXPECT_EQ(list.Directory(), QString::fromStdString(dir.str()));  // no trailing separator
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.FileName(), QString());

    list.SetMask("*.dat; *.TXT");
    EXPECT_EQ(Items(list), (QStringList{"A.TXT", "b.txt", "c.dat"}));
    list.SetFileName("*.dat");  // a wildcard name sets the mask
    EXPECT_EQ(list.Mask(), "*.dat");
    EXPECT_EQ(Items(list), QStringList{"c.dat"});
}

TEST(FileListBox, FileNameSelectsAndFailsOnWhatDoesNotExist) {
    TempDir dir, other;
    dir.write("Puns.txt", "");
    dir.write("riddles.txt", "");
    TFileListBox list;
    list.SetMask("*.txt");
    list.SetDirectory(QString::fromStdString(dir.str()));
    EXPECT_EQ(list.IndexOf("PUNS.TXT"), 0);
    EXPECT_EQ(list.IndexOf("Puns"), -1);
    list.SetFileName("RIDDLES.TXT");
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(list.FileName(), QString::fromStdString(dir.str() + "/riddles.txt"));

    EXPECT_THROW(list.SetFileName("gone.txt"), std::runtime_error);
    EXPECT_THROW(list.SetFileName(QString::fromStdString(dir.str() + "/missing/")), std::runtime_error);
    EXPECT_THROW(list.SetDirectory(""), std::runtime_error);
    EXPECT_EQ(list.Directory(), QString::fromStdString(dir.str()));

    // Switching to the folder already shown keeps the selection; another clears it.
    list.SetFileName(QString::fromStdString(dir.str()));
    EXPECT_EQ(list.ItemIndex(), 1);
    list.SetFileName(QString::fromStdString(other.str()));
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.count(), 0);
}

TEST(UpDown, StopsAtBothEndsAndReadsItsEdit) {
    QLineEdit edit;
    TUpDown spin;
    spin.SetMin(12);
    spin.SetMax(96);
    spin.SetAssociate(&edit);
    spin.SetPosition(95);
    EXPECT_EQ(edit.text(), "95");
    auto* up = spin.findChild<QToolButton*>("up");
    auto* down = spin.findChild<QToolButton*>("down");
    up->click();
    up->click();
    EXPECT_EQ(spin.Position(), 96);  // no wrap-around
    spin.SetPosition(13);
    down->click();
    down->click();
    EXPECT_EQ(spin.Position(), 12);
    EXPECT_EQ(edit.text(), "12");

    // Typed text counts when it is a number in range, else the last position stays.
    edit.setText("40");
    EXPECT_EQ(spin.Position(), 40);
    edit.setText("400");
    EXPECT_EQ(spin.Position(), 40);
    edit.setText("forty");
    EXPECT_EQ(spin.Position(), 40);
    spin.SetPosition(-5);
    EXPECT_EQ(spin.Position(), 12);

    spin.SetWrap(true);
    spin.SetPosition(96);
    spin.StepBy(1);
    EXPECT_EQ(spin.Position(), 12);

    // The arrows work while the edit is disabled.
    edit.setEnabled(false);
    spin.SetPosition(25);
    int clicks = 0;
    QObject::connect(&spin, &TUpDown::Click, [&] { ++clicks; });
    up->click();
    EXPECT_EQ(edit.text(), "26");
    EXPECT_EQ(clicks, 1);
}

TEST(FontComboBox, ScalableFamiliesSelectedWithoutRegardToCase) {
    TFontComboBox box;
    ASSERT_GT(box.count(), 0);
    for (int i = 0; i < box.count(); ++i) EXPECT_TRUE(QFontDatabase::isScalable(box.itemText(i)));
    for (int i = 1; i < box.count(); ++i)
        EXPECT_LE(box.itemText(i - 1).compare(box.itemText(i), Qt::CaseInsensitive), 0);

    const QString family = box.itemText(0);
    box.SetFontName(family.toUpper());
    EXPECT_EQ(box.FontName(), family);
    box.SetFontName("No Such Family Anywhere");
    EXPECT_EQ(box.FontName(), QString());
    EXPECT_EQ(box.currentIndex(), -1);
    box.SetFontName("");
    EXPECT_EQ(box.FontName(), QString());
}

TEST(FontComboBox, AFamilyServedThroughAnAliasKeepsItsName) {
    TFontComboBox box;
    if (box.findText("Liberation Sans") < 0) GTEST_SKIP() << "needs fonts-liberation2";
    box.SetFontName("arial");
    EXPECT_EQ(box.FontName().toLower(), "arial");
    const int count = box.count();
    box.SetFontName("Arial");  // found now, not added twice
    EXPECT_EQ(box.count(), count);
}

TEST(ColorButton, SystemColoursShowTheirCurrentColourAndStayConstants) {
    platform::Services services;
    services.sysColor = [](int index) -> std::uint32_t { return index == 15 ? 0x00336699 : 0; };
    platform::Services previous = platform::InstallServices(services);
    TColorButton button;
    button.SetValue(syscolor::BtnFace);
    EXPECT_EQ(button.Value(), TColor(0x8000000F));
    EXPECT_EQ(button.ShownColor(), QColor(0x99, 0x66, 0x33));
    platform::InstallServices(previous);
}

TEST(ColorButton, FiresOnlyWhenTheValueChangesAndPickingFromTheDropDownSetsIt) {
    TColorButton button;
    int changes = 0;
    QObject::connect(&button, &TColorButton::OnChange, [&] { ++changes; });
    button.SetValue(0x0000FF);
    button.SetValue(0x0000FF);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(button.ShownColor(), QColor(255, 0, 0));

    button.SetValue(0);
    changes = 0;
    button.click();
    QMenu* menu = button.DropDown();
    const auto& colors = TColorButton::PaletteColors();
    std::size_t navy = 0;
    while (colors[navy].Color != 0x800000) ++navy;
    auto* swatch = menu->findChild<QToolButton*>(QStringLiteral("swatch%1").arg(navy));
    ASSERT_NE(swatch, nullptr);
    swatch->click();
    EXPECT_EQ(button.Value(), 0x800000);
    EXPECT_EQ(changes, 1);

    bool hasOther = false;
    for (QAction* action : menu->actions()) hasOther |= action->text() == "&Other...";
    EXPECT_TRUE(hasOther);
}

TEST(RadioGroupBox, IndexClampsAndClicksComeFromTheUserOnly) {
    TRadioGroupBox group;
    group.resize(481, 41);
    group.SetItems({"Fade to black", "Fade in place"});
    group.SetColumns(2);
    group.SetItemOrigin(QPoint(80, 6));
    EXPECT_EQ(group.ItemIndex(), -1);
    int clicks = 0;
    QObject::connect(&group, &TRadioGroupBox::Click, [&] { ++clicks; });
    group.SetItemIndex(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(clicks, 0);
    group.Button(0)->click();
    EXPECT_EQ(group.ItemIndex(), 0);
    EXPECT_EQ(clicks, 1);
    group.SetItemIndex(7);
    EXPECT_EQ(group.ItemIndex(), 1);
    group.SetItemIndex(-4);
    EXPECT_EQ(group.ItemIndex(), -1);

    EXPECT_EQ(group.Button(0)->pos(), QPoint(80, 6));
    EXPECT_EQ(group.Button(1)->x(), 80 + (481 - 80) / 2);
    EXPECT_EQ(group.Button(1)->y(), 6);
}

TEST(SysFolderDialog, PathsGetATrailingSeparatorAndNonFoldersNone) {
    TempDir dir;
    EXPECT_EQ(TSysFolderDialog::FolderPath(QString::fromStdString(dir.str())),
              QString::fromStdString(dir.str() + "/"));
    EXPECT_EQ(TSysFolderDialog::FolderPath("/"), "/");
    EXPECT_EQ(TSysFolderDialog::FolderPath(""), "");
    EXPECT_EQ(TSysFolderDialog::FolderPath(QString::fromStdString(dir.str() + "/none")), "");
    EXPECT_EQ(TSysFolderDialog::FolderPath("smb://server/share"), "");
    EXPECT_EQ(TSysFolderDialog::FolderPath(QString::fromStdString(dir.write("f.txt", ""))), "");
}

TEST(SysFolderDialog, ConfirmingGivesTheChosenFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "jokes");
    const QString chosen = QString::fromStdString((dir.path() / "jokes").string());
    TSysFolderDialog folder;
    folder.Title = "Select the folder where the Joke files are located";
    folder.InitialDir = QString::fromStdString(dir.str());
    QString title;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        test::ChooseInFileDialog(dialog, chosen);
    });
    ASSERT_TRUE(folder.Execute(nullptr));
    EXPECT_EQ(folder.Directory(), chosen + "/");
    EXPECT_EQ(title, folder.Title);

    WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(folder.Execute(nullptr));
}

// Counts the pixels of exactly one colour in a rendered widget.
int CountColor(QWidget& widget, const QColor& color) {
    QImage image = widget.grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == color;
    return n;
}

TEST(Labels, ShadowAndRaisedCopiesAreDrawnInTheirColours) {
    platform::Services services;
    services.sysColor = [](int index) -> std::uint32_t {
        return index == 16 ? 0x00808080 : index == 20 ? 0x00FFFFFF : 0x00C0C0C0;
    };
    platform::Services previous = platform::InstallServices(services);
    ::QFont bold("Arial");
    bold.setPixelSize(19);
    bold.setBold(true);

    TShadowLabel shadow;
    shadow.setFont(bold);
    shadow.resize(273, 73);
    shadow.setWordWrap(true);
    shadow.setText("Warning: limited mode");
    shadow.SetFontColor(Qt::red);
    shadow.SetShadowDepth(4);
    EXPECT_GT(CountColor(shadow, QColor(128, 128, 128)), 20);
    EXPECT_GT(CountColor(shadow, Qt::red), 20);

    TLabel3d raised;
    raised.setFont(bold);
    raised.resize(201, 65);
    raised.setText("Kelvara");
    raised.SetFontColor(QColor(0, 0, 128));
    raised.SetHighlightColor(syscolor::BtnShadow);
    raised.SetShadowColor(syscolor::BtnHighlight);
    EXPECT_GT(CountColor(raised, QColor(128, 128, 128)), 5);
    EXPECT_GT(CountColor(raised, QColor(255, 255, 255)), 5);
    EXPECT_GT(CountColor(raised, QColor(0, 0, 128)), 20);
    platform::InstallServices(previous);
}

}  // namespace
}  // namespace quipix
