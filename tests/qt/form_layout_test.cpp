// The Qt form against the dialog's control table (config/dialog_layout), which the
// Win32 dialog is built from: every control of the table is in the stored layout
// with the same parent, place, caption, font and range, the pages carry their
// captions and help topics, and Tab runs through the controls in the table's order.
// So the two layouts cannot drift apart. And every language's captions fit their
// controls as the dialog's fonts draw them.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <string>

#include "config/dialog_layout.h"
#include "form_test_support.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/file_list_box.h"
#include "qt/widgets/radio_group_box.h"
#include "qt/widgets/shadow_label.h"
#include "qt/widgets/up_down.h"
#include "support/test_support.h"

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

// What would be cut of the caption of widget, at 96 dpi; empty when it all shows.
// Labels keep to their rectangle (a centred one wraps within it, less the drop shadow
// of the warning), buttons to their frame's margins, check boxes and radio items to
// the room beside their indicator.
QString CutCaption(QWidget* widget, bool centred) {
    const QFontMetrics metrics(widget->font());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QRect room = label->contentsRect();
        if (auto* warning = qobject_cast<TShadowLabel*>(widget))
            room.adjust(0, 0, -warning->ShadowDepth(), -warning->ShadowDepth());
        const QRect used = centred ? metrics.boundingRect(QRect(0, 0, room.width(), 10000),
                                                          Qt::TextWordWrap | Qt::AlignHCenter, label->text())
                                   : QRect(0, 0, metrics.horizontalAdvance(label->text()), metrics.height());
        return used.width() <= room.width() && used.height() <= room.height() ? QString() : label->text();
    }
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (!button) return {};
    const QString text = QString(button->text()).remove('&');
    int room = button->width() - 2 * widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.rect = button->rect();
        option.text = button->text();
        const bool radio = qobject_cast<QRadioButton*>(widget);
        room = widget->style()
                   ->subElementRect(radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option,
                                    button)
                   .width();
    }
    return metrics.horizontalAdvance(text) <= room ? QString() : button->text();
}

TEST_F(FormLayout, EveryLanguagesCaptionsFitTheirControls) {
    std::vector<std::string> languages{"en"};
    for (const std::string& language : test::CatalogueLanguages()) languages.push_back(language);
    for (const std::string& language : languages) {
        SCOPED_TRACE(language);
        const auto catalogue = language == "en" ? nullptr
                                                : std::make_unique<test::ScopedCatalogue>(test::CompiledCatalogue(language));
        TfrmConfig dialog;
        dialog.show();
        auto* pages = Control<QTabWidget>(dialog, "Pages");
        const QRect lastTab = pages->tabBar()->tabRect(pages->count() - 1);
        EXPECT_LE(lastTab.right(), pages->width()) << "the page tabs";
        for (const ControlLayout& c : DialogControls()) {
            QWidget* widget = Find(dialog, c.Name);
            QList<QWidget*> shown{widget};
            if (auto* group = qobject_cast<TRadioGroupBox*>(widget)) {
                shown.clear();
                for (int i = 0; i < group->Items().size(); ++i) shown << group->Button(i);
            }
            for (QWidget* w : shown)
                EXPECT_EQ(CutCaption(w, c.Centred).toStdString(), "") << c.Name << " at " << w->width() << "x" << w->height();
        }
        dialog.reject();
    }
}

TEST_F(FormLayout, TabVisitsTheFormsButtonsAndThePagesControlsInTheTablesOrder) {
    TfrmConfig dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* pages = Control<QTabWidget>(dialog, "Pages");
    // The control a focused widget belongs to: a radio item its group (Tab enters a
    // group at its checked item), the tab bar the page control.
    const auto controlOf = [&](const QWidget* w) -> QString {
        if (w == pages->tabBar()) return "Pages";
        if (auto* radio = qobject_cast<const QRadioButton*>(w))
            return w->parentWidget()->objectName() + (radio->isChecked() ? "" : "(unchecked item)");
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
