// The Qt form against the dialog's control table (config/dialog_layout), which the
// Win32 dialog is built from: every control of the table is in the stored layout
// with the same parent, place, caption, font and range, the pages carry their
// captions and help topics, and Tab runs through the controls in the table's order.
// So the two layouts cannot drift apart.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <string>

#include "config/dialog_layout.h"
#include "form_test_support.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/file_list_box.h"
#include "qt/widgets/radio_group_box.h"
#include "qt/widgets/up_down.h"

namespace quipix {
namespace {

using test::Control;

QString FromView(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
QRect ToQRect(const LayoutRect& r) { return QRect(r.X, r.Y, r.Width, r.Height); }
QWidget* Find(const QObject& dialog, std::string_view name) {
    return Control<QWidget>(dialog, std::string(name).c_str());
}

class FormLayout : public test::DialogTest {};

TEST_F(FormLayout, EveryControlOfTheTableHasItsParentPlaceCaptionAndFont) {
    TfrmConfig dialog;
    EXPECT_EQ(dialog.windowTitle(), FromView(kDialogCaption));
    EXPECT_EQ(dialog.size(), QSize(kDialogClientWidth, kDialogClientHeight));
    auto* pages = Control<QTabWidget>(dialog, "Pages");
    ASSERT_EQ(pages->count(), int(kDialogPages.size()));
    for (int i = 0; i < pages->count(); ++i) {
        const PageLayout& page = kDialogPages[std::size_t(i)];
        EXPECT_EQ(pages->widget(i)->objectName(), FromView(page.Name));
        EXPECT_EQ(pages->tabText(i), FromView(page.Caption));
        EXPECT_EQ(pages->widget(i)->property("Tag").toInt(), page.HelpContext);
    }

    for (const ControlLayout& c : DialogControls()) {
        SCOPED_TRACE(std::string(c.Name));
        QWidget* widget = Find(dialog, c.Name);
        EXPECT_EQ(widget->parentWidget()->objectName(),
                  c.Parent.empty() ? dialog.objectName() : FromView(c.Parent));
        EXPECT_EQ(widget->geometry(), ToQRect(c.Place));
        const FontLook& font = DialogFont(c.Font);
        EXPECT_EQ(widget->font().pixelSize(), font.Pixels);
        EXPECT_EQ(widget->font().bold(), font.Bold);
        // laVer shows the version from the dialog's creation on.
        const QString caption = c.Name == "laVer" ? QString(kVersionText) : FromView(c.Caption);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), caption);
            EXPECT_EQ(bool(label->alignment() & Qt::AlignHCenter), c.Centred);
        } else if (auto* colors = qobject_cast<TColorButton*>(widget)) {
            EXPECT_EQ(colors->ButtonCaption(), FromView(kOtherColorCaption));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), caption);
        } else {
            EXPECT_TRUE(c.Caption.empty());
        }
        if (auto* spin = qobject_cast<TUpDown*>(widget)) {
            ASSERT_NE(spin->Associate(), nullptr);
            EXPECT_EQ(spin->Associate()->objectName(), FromView(c.Associate));
            ASSERT_TRUE(ValueRange(c.Name));
            EXPECT_EQ(spin->Min(), ValueRange(c.Name)->Min);
            EXPECT_EQ(spin->Max(), ValueRange(c.Name)->Max);
        }
        if (auto* track = qobject_cast<QSlider*>(widget)) {
            ASSERT_TRUE(ValueRange(c.Name));
            EXPECT_EQ(track->minimum(), ValueRange(c.Name)->Min);
            EXPECT_EQ(track->maximum(), ValueRange(c.Name)->Max);
        }
        if (auto* list = qobject_cast<TFileListBox*>(widget)) {
            EXPECT_EQ(list->ItemHeight(), kFileListItemHeight);
        }
        if (auto* group = qobject_cast<TRadioGroupBox*>(widget)) {
            ASSERT_NE(c.Radio, nullptr);
            ASSERT_EQ(group->Items().size(), qsizetype(c.Radio->Items.size()));
            for (int i = 0; i < group->Items().size(); ++i) {
                EXPECT_EQ(group->Items()[i], FromView(c.Radio->Items[std::size_t(i)]));
                EXPECT_EQ(group->Button(i)->pos(), ToQRect(RadioItemPlace(c, i)).topLeft()) << "item " << i;
            }
        }
    }
}

TEST_F(FormLayout, TabVisitsTheFormsButtonsAndThePagesControlsInTheTablesOrder) {
    TfrmConfig dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* pages = Control<QTabWidget>(dialog, "Pages");
    // The control a focused widget belongs to: a radio item its group, the tab bar
    // the page control.
    const auto controlOf = [&](const QWidget* w) -> QString {
        if (w == pages->tabBar()) return "Pages";
        if (qobject_cast<const QRadioButton*>(w)) return w->parentWidget()->objectName();
        return w->objectName();
    };
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        const std::string_view shown = kDialogPages[std::size_t(page)].Name;
        // The stops a user can reach now, in the table's order.
        QStringList expected;
        const auto expect = [&](const ControlLayout& c) {
            if (c.Tab < 0 || c.Kind == ControlKind::Panel || c.Kind == ControlKind::UpDown) return;
            const QWidget* w = Find(dialog, c.Name);
            if (c.Kind == ControlKind::PageControl || (w->isVisible() && w->isEnabled()))
                expected << FromView(c.Name);
        };
        for (const ControlLayout& c : DialogControls()) {
            if (!c.Parent.empty()) continue;
            expect(c);
            if (c.Kind == ControlKind::PageControl)
                for (const ControlLayout& d : DialogControls())
                    if (d.Parent == shown) expect(d);
        }
        Control<QPushButton>(dialog, "btOk")->setFocus();
        QStringList visited{"btOk"};
        for (int i = 0; i < 40; ++i) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(QApplication::focusWidget(), &tab);
            if (QApplication::focusWidget() == Find(dialog, "btOk")) break;
            visited << controlOf(QApplication::focusWidget());
        }
        EXPECT_EQ(visited.join(' ').toStdString(), expected.join(' ').toStdString()) << shown;
    }
    dialog.reject();
}

}  // namespace
}  // namespace quipix
