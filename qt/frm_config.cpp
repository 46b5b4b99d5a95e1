// TfrmConfig: the widgets of the stored layout bound to the dialog controller.
#include "qt/frm_config.h"

#include <QApplication>
#include <QMessageBox>
#include <QProxyStyle>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>
#include <QTimer>
#include <QWindow>

#include "config/dialog_layout.h"
#include "ui_frm_config.h"
#include "imaging/text_engine.h"
#include "qt/pg_image.h"
#include "qt/pg_open_dialog.h"
#include "qt/qt_text_engine.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/file_list_box.h"
#include "qt/widgets/font_combo_box.h"
#include "qt/widgets/label_3d.h"
#include "qt/widgets/radio_group_box.h"
#include "qt/widgets/shadow_label.h"
#include "qt/widgets/sys_folder_dialog.h"
#include "qt/widgets/up_down.h"

// The logo lives in a static library; naming its resource keeps it linked in.
static void InitConfigResources() { Q_INIT_RESOURCE(logo); }

namespace quipix {

namespace {

QString FromStd(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
QString Shown(std::string_view english) { return FromStd(Tr(english)); }

::QFont PixelFont(const FontLook& look) {
    QStringList families{FromStd(look.Family)};
    if (!look.Fallback.empty()) families << FromStd(look.Fallback);
    ::QFont font;
    font.setFamilies(families);
    font.setPixelSize(look.Pixels);
    font.setBold(look.Bold);
    return font;
}

// Tabs as wide as their captions plus a small margin, so the six page captions fit
// side by side in the dialog's width as they were laid out.
class CompactTabStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 14;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

TfrmConfig::TfrmConfig(platform::WindowId owner, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmConfig>()), owner_(owner) {
    InitConfigResources();
    // The previews draw text through the picture library's canvas.
    if (!CurrentTextEngine()) InstallQtTextEngine();
    ui_->setupUi(this);
    ShowCaptions();
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(this);
    ui_->Pages->tabBar()->setStyle(tabStyle);
    Folder = new TSysFolderDialog(this);
    Folder->Title = Shown(kFolderDialogTitle);
    dlgOpen = new TPGOpenDialog(this);
    dlgOpen->Title = Shown(kPictureDialogTitle);
    for (const ControlLayout& c : DialogControls())
        if (c.Kind == ControlKind::UpDown)
            static_cast<TUpDown*>(Widget(c.Name))->SetAssociate(static_cast<QLineEdit*>(Widget(c.Associate)));

    // A fixed dialog border: no resizing, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kDialogClientWidth, kDialogClientHeight);
    SetLook();
    SetTabOrder();
    SetOwner();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Connect();
    DialogView& view = *this;
    controller_ = std::make_unique<DialogController>(view, owner_, ui_->BImg->width(), ui_->BImg->height());
    controller_->FormCreate();
    creating_ = false;
}

TfrmConfig::~TfrmConfig() = default;

void TfrmConfig::ShowCaptions() {
    // The stored layout holds the English captions; the user's language replaces them.
    setWindowTitle(Shown(kDialogCaption));
    for (std::size_t i = 0; i < kDialogPages.size(); ++i) ui_->Pages->setTabText(int(i), Shown(kDialogPages[i].Caption));
    for (const ControlLayout& c : DialogControls()) {
        QWidget* widget = Widget(c.Name);
        if (auto* group = qobject_cast<TRadioGroupBox*>(widget)) {
            QStringList items;
            for (std::string_view item : c.Radio->Items) items << Shown(item);
            group->SetItems(items);
        } else if (auto* colors = qobject_cast<TColorButton*>(widget)) {
            colors->SetButtonCaption(Shown(kOtherColorCaption));
        } else if (auto* label = qobject_cast<QLabel*>(widget); label && !c.Caption.empty()) {
            label->setText(Shown(c.Caption));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget); button && !c.Caption.empty()) {
            button->setText(Shown(c.Caption));
        }
    }
}

void TfrmConfig::SetLook() {
    setFont(PixelFont(DialogFont(FontRole::Dialog)));
    for (const ControlLayout& c : DialogControls()) {
        QWidget* widget = Widget(c.Name);
        if (c.Font != FontRole::Dialog) widget->setFont(PixelFont(DialogFont(c.Font)));
        if (auto* label = qobject_cast<TLabel3d*>(widget)) {
            label->SetFontColor(ToQColor(kLabel3dColors.Face));
            label->SetHighlightColor(kLabel3dColors.Highlight);
            label->SetShadowColor(kLabel3dColors.Shadow);
        } else if (auto* warning = qobject_cast<TShadowLabel*>(widget)) {
            warning->SetFontColor(ToQColor(kWarningColors.Face));
            warning->SetShadowColor(kWarningColors.Shadow);
            warning->SetShadowDepth(kWarningColors.ShadowDepth);
        }
    }
}

void TfrmConfig::SetTabOrder() {
    // The table's order: the form's buttons, and in the place of the page control its
    // tab bar followed by every page's controls. (A tab order stored with the layout
    // would put the pages' controls after the Help button, as Qt moves a compound
    // widget with all its children, and would not reach the radio items.)
    std::vector<QWidget*> stops;
    const auto add = [&](const ControlLayout& c) {
        if (c.Tab < 0 || c.Kind == ControlKind::Panel || c.Kind == ControlKind::UpDown) return;
        if (auto* group = qobject_cast<TRadioGroupBox*>(Widget(c.Name))) {
            for (int i = 0; i < group->Items().size(); ++i) stops.push_back(group->Button(i));
        } else {
            stops.push_back(Widget(c.Name));
        }
    };
    for (const ControlLayout& c : DialogControls()) {
        if (!c.Parent.empty()) continue;
        if (c.Kind != ControlKind::PageControl) {
            add(c);
            continue;
        }
        stops.push_back(ui_->Pages->tabBar());
        for (const PageLayout& page : kDialogPages)
            for (const ControlLayout& d : DialogControls())
                if (d.Parent == page.Name) add(d);
    }
    for (std::size_t i = 1; i < stops.size(); ++i) QWidget::setTabOrder(stops[i - 1], stops[i]);
    // Through its focus proxy the page control itself would be a second stop,
    // leading from the Help button to its tab bar again instead of to OK.
    ui_->Pages->setFocusProxy(nullptr);
    ui_->Pages->setFocusPolicy(Qt::NoFocus);
}

void TfrmConfig::SetOwner() {
    if (owner_ == 0) return;
    // X11 cannot disable another program's window; being transient for it keeps the
    // dialog above it and tells the window manager whose dialog this is.
    winId();
    ownerWindow_.reset(QWindow::fromWinId(WId(owner_)));
    if (ownerWindow_ && windowHandle()) windowHandle()->setTransientParent(ownerWindow_.get());
}

void TfrmConfig::Connect() {
    // Ctrl+Tab turns the pages wherever the focus is, not only inside the pages.
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    auto* previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this);
    connect(next, &QShortcut::activated, this,
            [this] { ui_->Pages->setCurrentIndex((ui_->Pages->currentIndex() + 1) % ui_->Pages->count()); });
    connect(previous, &QShortcut::activated, this, [this] {
        const int count = ui_->Pages->count();
        ui_->Pages->setCurrentIndex((ui_->Pages->currentIndex() + count - 1) % count);
    });
    // F1 opens the dialog's own topic, the contents; the Help button the page's.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { controller_->FormHelp(); });
    connect(ui_->btCancel, &QPushButton::clicked, this, &TfrmConfig::reject);

    // Every click and change goes to the controller, which knows what it runs.
    for (const ControlLayout& c : DialogControls()) {
        if (c.Name == "btCancel") continue;
        QWidget* widget = Widget(c.Name);
        const auto report = [this, name = c.Name] { Event(name); };
        switch (c.Kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
            connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, this, report);
            break;
        case ControlKind::ColorButton:
            connect(static_cast<TColorButton*>(widget), &TColorButton::OnChange, this, report);
            break;
        case ControlKind::FontBox:
            connect(static_cast<TFontComboBox*>(widget), &TFontComboBox::OnChange, this, report);
            break;
        case ControlKind::RadioGroup:
            connect(static_cast<TRadioGroupBox*>(widget), &TRadioGroupBox::Click, this, report);
            break;
        case ControlKind::Edit:
            connect(static_cast<QLineEdit*>(widget), &QLineEdit::textChanged, this, report);
            break;
        default:
            break;
        }
    }
}

void TfrmConfig::Event(std::string_view control) {
    if (controller_ && controller_->ControlEvent(control)) accept();
}

QWidget* TfrmConfig::Widget(std::string_view control) const {
    QWidget* widget = findChild<QWidget*>(FromStd(control));
    // The layout test holds the stored layout and the control table together.
    Q_ASSERT_X(widget, "TfrmConfig", "a control of the layout is missing from the form");
    return widget;
}

void TfrmConfig::SetText(std::string_view control, const std::string& text) {
    QWidget* widget = Widget(control);
    const QString shown = FromStd(text);
    if (auto* font = qobject_cast<TFontComboBox*>(widget)) {
        font->SetFontName(shown);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(shown);
        edit->setCursorPosition(0);  // long texts show from their start
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
        // A caption wider than its button (a long picture path) shows whole on hover.
        const bool cut = button->fontMetrics().horizontalAdvance(shown) > button->contentsRect().width();
        button->setToolTip(cut ? shown : QString());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(shown);
    }
}

std::string TfrmConfig::Text(std::string_view control) const {
    QWidget* widget = Widget(control);
    if (auto* font = qobject_cast<TFontComboBox*>(widget)) return font->FontName().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
    return {};
}

void TfrmConfig::SetChecked(std::string_view control, bool checked) {
    if (auto* box = qobject_cast<QAbstractButton*>(Widget(control))) box->setChecked(checked);
}

bool TfrmConfig::Checked(std::string_view control) const {
    auto* box = qobject_cast<QAbstractButton*>(Widget(control));
    return box && box->isChecked();
}

void TfrmConfig::SetNumber(std::string_view control, int number) {
    QWidget* widget = Widget(control);
    if (auto* color = qobject_cast<TColorButton*>(widget))
        color->SetValue(TColor(number));
    else if (auto* spin = qobject_cast<TUpDown*>(widget))
        spin->SetPosition(number);
    else if (auto* track = qobject_cast<QSlider*>(widget))
        track->setValue(number);
    else if (auto* group = qobject_cast<TRadioGroupBox*>(widget))
        group->SetItemIndex(number);
    else if (auto* list = qobject_cast<TFileListBox*>(widget))
        list->SetItemIndex(number);
    else if (auto* pages = qobject_cast<QTabWidget*>(widget))
        pages->setCurrentIndex(number);
}

int TfrmConfig::Number(std::string_view control) const {
    QWidget* widget = Widget(control);
    if (auto* color = qobject_cast<TColorButton*>(widget)) return color->Value();
    if (auto* spin = qobject_cast<TUpDown*>(widget)) return spin->Position();
    if (auto* track = qobject_cast<QSlider*>(widget)) return track->value();
    if (auto* group = qobject_cast<TRadioGroupBox*>(widget)) return group->ItemIndex();
    if (auto* list = qobject_cast<TFileListBox*>(widget)) return list->ItemIndex();
    if (auto* pages = qobject_cast<QTabWidget*>(widget)) return pages->currentIndex();
    return 0;
}

void TfrmConfig::SetItems(std::string_view control, const std::vector<std::string>& items) {
    // The controller lists the folder; the list box only shows what it found.
    auto* files = qobject_cast<TFileListBox*>(Widget(control));
    if (!files) return;
    files->clear();
    for (const std::string& name : items) {
        auto* entry = new QListWidgetItem(FromStd(name), files);
        entry->setSizeHint(QSize(0, files->ItemHeight()));
    }
}

void TfrmConfig::SetVisible(std::string_view control, bool visible) { Widget(control)->setVisible(visible); }

void TfrmConfig::SetEnabled(std::string_view control, bool enabled) {
    QWidget* widget = Widget(control);
    widget->setEnabled(enabled);
    // An edit takes the window colour when enabled, its page's colour when not.
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QPalette colors = edit->palette();
        const QColor back = enabled ? palette().color(QPalette::Active, QPalette::Base)
                                    : edit->parentWidget()->palette().color(QPalette::Window);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            colors.setColor(group, QPalette::Base, back);
        edit->setPalette(colors);
    }
}

void TfrmConfig::done(int result) {
    controller_->FormClose();
    QDialog::done(result);
}

void TfrmConfig::ShowError(const std::string& message) {
    const QString text = FromStd(message);
    // A message box before the dialog itself would stand alone on the screen.
    if (creating_) {
        QTimer::singleShot(0, this, [this, text] { ReportError(text); });
        return;
    }
    ReportError(text);
}

void TfrmConfig::ReportError(const QString& message) {
    QMessageBox::critical(this, QStringLiteral("Quipix"), message);
}

void TfrmConfig::ShowPreview(Preview which, const TPixelGraphic& picture) {
    TPGImage* image = which == Preview::BImg ? ui_->BImg : which == Preview::QImg ? ui_->QImg : ui_->AImg;
    image->SetPixelGraphic(&picture);
    emit PreviewDrawn(image->objectName());
}

std::optional<std::string> TfrmConfig::ChooseFolder(const std::string& initial) {
    Folder->InitialDir = FromStd(initial);
    if (!Folder->Execute(this)) return std::nullopt;
    return Folder->Directory().toStdString();
}

std::optional<std::string> TfrmConfig::ChoosePicture(const std::string& folder) {
    if (!folder.empty()) dlgOpen->InitialDir = FromStd(folder);
    if (!dlgOpen->Execute(this) || dlgOpen->FileName.isEmpty()) return std::nullopt;
    return dlgOpen->FileName.toStdString();
}

}  // namespace quipix
