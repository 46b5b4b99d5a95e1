// TfrmConfig: the widgets of the stored layout bound to the dialog controller.
#include "qt/frm_config.h"

#include <QApplication>
#include <QMessageBox>
#include <QProxyStyle>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>
#include <QWindow>

#include "config/ui_frm_config.h"
#include "qt/pg_image.h"
#include "qt/pg_open_dialog.h"
#include "qt/qt_text_engine.h"
#include "imaging/text_engine.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/font_combo_box.h"
#include "config/sys_colors.h"
#include "qt/widgets/sys_folder_dialog.h"
#include "qt/widgets/up_down.h"

// The logo lives in a static library; naming its resource keeps it linked in.
static void InitConfigResources() { Q_INIT_RESOURCE(logo); }

namespace quipix {

namespace {

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

::QFont PixelFont(const QStringList& families, int pixels, bool bold = false) {
    ::QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setBold(bold);
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
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(this);
    ui_->Pages->tabBar()->setStyle(tabStyle);
    Folder = new TSysFolderDialog(this);
    Folder->Title = QStringLiteral("Select the folder where the Joke files are located");
    dlgOpen = new TPGOpenDialog(this);
    dlgOpen->Title = QStringLiteral("Select a background bitmap");
    ui_->udRand->SetAssociate(ui_->edRand);
    ui_->QSize->SetAssociate(ui_->Qed);
    ui_->ASize->SetAssociate(ui_->Aed);
    ui_->udPause->SetAssociate(ui_->edPause);

    // A fixed dialog border: no resizing, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(534, 288);
    SetFonts();
    SetOwner();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Connect();
    DialogView& view = *this;
    controller_ = std::make_unique<DialogController>(view, owner_, ui_->BImg->width(), ui_->BImg->height());
    controller_->FormCreate();
    ShowValues();
    ApplyStates();
    creating_ = false;
}

TfrmConfig::~TfrmConfig() = default;

void TfrmConfig::SetFonts() {
    const QStringList arial{QStringLiteral("Arial")};
    setFont(PixelFont(arial, 12));
    ui_->btBitmap->setFont(PixelFont(arial, 11));
    ui_->rgBackType->setFont(PixelFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial")}, 11));
    ui_->laColors->setFont(PixelFont(arial, 19, true));
    ui_->laColors->SetFontColor(Qt::red);
    const QColor navy(0, 0, 128);
    for (TLabel3d* label : {ui_->Label3d1, ui_->laVer}) {
        label->SetFontColor(navy);
        label->SetHighlightColor(syscolor::BtnShadow);
        label->SetShadowColor(syscolor::BtnHighlight);
    }
    ui_->Label3d1->setFont(PixelFont(arial, 24, true));
    ui_->laVer->setFont(PixelFont(arial, 19, true));
    ui_->Label16->setFont(PixelFont(arial, 11));
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
    connect(ui_->btOk, &QPushButton::clicked, this, &TfrmConfig::btOkClick);
    connect(ui_->btCancel, &QPushButton::clicked, this, &TfrmConfig::reject);
    connect(ui_->btHelp, &QPushButton::clicked, this, &TfrmConfig::btHelpClick);
    connect(ui_->btBrowse, &QPushButton::clicked, this, &TfrmConfig::btBrowseClick);
    connect(ui_->cbRandom, &QCheckBox::clicked, this, [this] { Run(nullptr); });
    connect(ui_->btBitmap, &QPushButton::clicked, this, &TfrmConfig::btBitmapClick);
    connect(ui_->btURL, &QPushButton::clicked, this, [this] { controller_->btURLClick(); });

    const auto back = [this] { Run(&DialogController::BackChange); };
    const auto question = [this] { Run(&DialogController::QChange); };
    const auto answer = [this] { Run(&DialogController::AChange); };
    connect(ui_->rgBackType, &TRadioGroupBox::Click, this, back);
    for (TColorButton* b : {ui_->SolidC, ui_->FromC, ui_->ToC})
        connect(b, &TColorButton::OnChange, this, back);
    connect(ui_->cbTiled, &QCheckBox::clicked, this, back);

    connect(ui_->QFont, &TFontComboBox::OnChange, this, question);
    connect(ui_->Qed, &QLineEdit::textChanged, this, question);
    connect(ui_->QColor, &TColorButton::OnChange, this, question);
    for (QCheckBox* c : {ui_->Q3D, ui_->QBold, ui_->QItalic}) connect(c, &QCheckBox::clicked, this, question);

    connect(ui_->AFont, &TFontComboBox::OnChange, this, answer);
    connect(ui_->Aed, &QLineEdit::textChanged, this, answer);
    connect(ui_->AColor, &TColorButton::OnChange, this, answer);
    for (QCheckBox* c : {ui_->A3D, ui_->ABold, ui_->AItalic}) connect(c, &QCheckBox::clicked, this, answer);
}

void TfrmConfig::ShowValues() {
    const DialogValues& v = controller_->Values();
    showing_ = true;
    ui_->Pages->setCurrentIndex(v.Pages);
    ShowFiles();
    ui_->QEdit->setText(FromStd(v.QEdit));
    ui_->AEdit->setText(FromStd(v.AEdit));
    // Long texts show from their start.
    ui_->QEdit->setCursorPosition(0);
    ui_->AEdit->setCursorPosition(0);
    ui_->cbRandom->setChecked(v.cbRandom);
    ui_->udRand->SetPosition(v.udRand);
    ui_->rgBackType->SetItemIndex(v.rgBackType);
    ui_->SolidC->SetValue(v.SolidC);
    ui_->FromC->SetValue(v.FromC);
    ui_->ToC->SetValue(v.ToC);
    ShowBitmapCaption();
    ui_->cbTiled->setChecked(v.cbTiled);
    ui_->QFont->SetFontName(FromStd(v.QFont));
    ui_->QSize->SetPosition(v.QSize);
    ui_->QColor->SetValue(v.QColor);
    ui_->Q3D->setChecked(v.Q3D);
    ui_->QBold->setChecked(v.QBold);
    ui_->QItalic->setChecked(v.QItalic);
    ui_->AFont->SetFontName(FromStd(v.AFont));
    ui_->ASize->SetPosition(v.ASize);
    ui_->AColor->SetValue(v.AColor);
    ui_->A3D->setChecked(v.A3D);
    ui_->ABold->setChecked(v.ABold);
    ui_->AItalic->setChecked(v.AItalic);
    ui_->tbQ->setValue(v.tbQ);
    ui_->tbA->setValue(v.tbA);
    ui_->tbF->setValue(v.tbF);
    ui_->rgFadeMode->SetItemIndex(v.rgFadeMode);
    ui_->udPause->SetPosition(v.udPause);
    ui_->laVer->setText(FromStd(v.laVer));
    showing_ = false;
}

void TfrmConfig::ShowFiles() {
    const DialogValues& v = controller_->Values();
    // The controller lists the folder; the list box only shows what it found.
    TFileListBox* files = ui_->Files;
    files->clear();
    for (const std::string& name : v.JokeFiles) {
        auto* entry = new QListWidgetItem(FromStd(name), files);
        entry->setSizeHint(QSize(0, files->ItemHeight()));
    }
    files->SetItemIndex(v.FilesIndex);
}

void TfrmConfig::ShowBitmapCaption() {
    ui_->btBitmap->setText(FromStd(controller_->BitmapCaption()));
    ui_->btBitmap->setToolTip(FromStd(controller_->Values().Bitmap));
}

void TfrmConfig::ReadValues() {
    DialogValues& v = controller_->Values();
    v.Pages = ui_->Pages->currentIndex();
    v.FilesIndex = ui_->Files->ItemIndex();
    v.QEdit = ui_->QEdit->text().toStdString();
    v.AEdit = ui_->AEdit->text().toStdString();
    v.cbRandom = ui_->cbRandom->isChecked();
    v.udRand = ui_->udRand->Position();
    v.rgBackType = ui_->rgBackType->ItemIndex();
    v.SolidC = ui_->SolidC->Value();
    v.FromC = ui_->FromC->Value();
    v.ToC = ui_->ToC->Value();
    v.cbTiled = ui_->cbTiled->isChecked();
    v.QFont = ui_->QFont->FontName().toStdString();
    v.QSize = ui_->QSize->Position();
    v.QColor = ui_->QColor->Value();
    v.Q3D = ui_->Q3D->isChecked();
    v.QBold = ui_->QBold->isChecked();
    v.QItalic = ui_->QItalic->isChecked();
    v.AFont = ui_->AFont->FontName().toStdString();
    v.ASize = ui_->ASize->Position();
    v.AColor = ui_->AColor->Value();
    v.A3D = ui_->A3D->isChecked();
    v.ABold = ui_->ABold->isChecked();
    v.AItalic = ui_->AItalic->isChecked();
    v.tbQ = ui_->tbQ->value();
    v.tbA = ui_->tbA->value();
    v.tbF = ui_->tbF->value();
    v.rgFadeMode = ui_->rgFadeMode->ItemIndex();
    v.udPause = ui_->udPause->Position();
}

void TfrmConfig::ApplyStates() {
    const ControlStates s = controller_->States();
    ui_->SolidC->setVisible(s.SolidC);
    ui_->FromC->setVisible(s.FromC);
    ui_->ToC->setVisible(s.ToC);
    ui_->btBitmap->setVisible(s.btBitmap);
    ui_->cbTiled->setVisible(s.cbTiled);
    ui_->tbQ->setVisible(s.tbQ);
    ui_->tbA->setVisible(s.tbA);
    ui_->laColors->setVisible(s.laColors);
    ui_->edRand->setEnabled(s.edRand);
    // Enabled the count takes the window colour, disabled the page's colour.
    QPalette colors = ui_->edRand->palette();
    const QColor back = s.edRand ? palette().color(QPalette::Active, QPalette::Base)
                                 : ui_->tsJokes->palette().color(QPalette::Window);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        colors.setColor(group, QPalette::Base, back);
    ui_->edRand->setPalette(colors);
}

void TfrmConfig::Run(void (DialogController::*handler)()) {
    if (showing_) return;
    ReadValues();
    if (handler) (controller_.get()->*handler)();
    ApplyStates();
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

void TfrmConfig::btOkClick() {
    ReadValues();
    if (controller_->btOkClick()) accept();
}

void TfrmConfig::btHelpClick() {
    ReadValues();
    controller_->btHelpClick();
}

void TfrmConfig::btBrowseClick() {
    ReadValues();
    Folder->InitialDir = FromStd(controller_->Values().Directory);
    if (!Folder->Execute(this)) return;
    controller_->FolderChosen(Folder->Directory().toStdString());
    showing_ = true;
    ShowFiles();
    showing_ = false;
}

void TfrmConfig::btBitmapClick() {
    ReadValues();
    const std::string folder = controller_->PictureFolder();
    if (!folder.empty()) dlgOpen->InitialDir = FromStd(folder);
    if (!dlgOpen->Execute(this) || dlgOpen->FileName.isEmpty()) return;
    controller_->PictureChosen(dlgOpen->FileName.toStdString());
    ShowBitmapCaption();
    ApplyStates();
}

}  // namespace quipix
