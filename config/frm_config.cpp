// TfrmConfig: filling the controls from the Settings, saving them on OK, the
// buttons' actions and the three live previews.
#include "config/frm_config.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProxyStyle>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>
#include <QWindow>
#include <exception>

#include "common/background.h"
#include "common/settings.h"
#include "config/ui_frm_config.h"
#include "imaging/canvas.h"
#include "imaging/qt/pg_image.h"
#include "imaging/qt/pg_open_dialog.h"
#include "imaging/qt/qt_text_engine.h"
#include "imaging/text_engine.h"
#include "widgets/color_button.h"
#include "widgets/font_combo_box.h"
#include "widgets/sys_colors.h"
#include "widgets/sys_folder_dialog.h"
#include "widgets/up_down.h"

// The logo lives in a static library; naming its resource keeps it linked in.
static void InitConfigResources() { Q_INIT_RESOURCE(logo); }

namespace quipix {

namespace {

constexpr int kFormHelpContext = 100;

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
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 14;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QString CleanFolder(const QString& folder) {
    QString clean = QDir::cleanPath(folder);
    while (clean.size() > 1 && clean.endsWith(u'/')) clean.chop(1);
    return clean;
}

}  // namespace

std::string StoredJokeDirectory(const QString& listFolder) {
    const QString bundled = FromStd(platform::BundledJokesDirectory());
    if (!listFolder.isEmpty() && QFileInfo(listFolder) == QFileInfo(CleanFolder(bundled)))
        return {};
    return listFolder.toStdString();
}

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
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(534, 288);
    SetFonts();
    SetOwner();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Connect();
    FormCreate();
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
    connect(next, &QShortcut::activated, this, [this] {
        ui_->Pages->setCurrentIndex((ui_->Pages->currentIndex() + 1) % ui_->Pages->count());
    });
    connect(previous, &QShortcut::activated, this, [this] {
        const int count = ui_->Pages->count();
        ui_->Pages->setCurrentIndex((ui_->Pages->currentIndex() + count - 1) % count);
    });
    // F1 opens the dialog's own topic, the contents; the Help button the page's.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [] { platform::ShowHelp(kFormHelpContext); });
    connect(ui_->btOk, &QPushButton::clicked, this, &TfrmConfig::btOkClick);
    connect(ui_->btCancel, &QPushButton::clicked, this, &TfrmConfig::btCancelClick);
    connect(ui_->btHelp, &QPushButton::clicked, this, &TfrmConfig::btHelpClick);
    connect(ui_->btBrowse, &QPushButton::clicked, this, &TfrmConfig::btBrowseClick);
    connect(ui_->cbRandom, &QCheckBox::clicked, this, &TfrmConfig::cbRandomClick);
    connect(ui_->btBitmap, &QPushButton::clicked, this, &TfrmConfig::btBitmapClick);
    connect(ui_->btURL, &QPushButton::clicked, this, &TfrmConfig::btURLClick);

    connect(ui_->rgBackType, &TRadioGroupBox::Click, this, &TfrmConfig::BackChange);
    for (TColorButton* b : {ui_->SolidC, ui_->FromC, ui_->ToC})
        connect(b, &TColorButton::OnChange, this, &TfrmConfig::BackChange);
    connect(ui_->cbTiled, &QCheckBox::clicked, this, &TfrmConfig::BackChange);

    connect(ui_->QFont, &TFontComboBox::OnChange, this, &TfrmConfig::QChange);
    connect(ui_->Qed, &QLineEdit::textChanged, this, &TfrmConfig::QChange);
    connect(ui_->QColor, &TColorButton::OnChange, this, &TfrmConfig::QChange);
    for (QCheckBox* c : {ui_->Q3D, ui_->QBold, ui_->QItalic})
        connect(c, &QCheckBox::clicked, this, &TfrmConfig::QChange);

    connect(ui_->AFont, &TFontComboBox::OnChange, this, &TfrmConfig::AChange);
    connect(ui_->Aed, &QLineEdit::textChanged, this, &TfrmConfig::AChange);
    connect(ui_->AColor, &TColorButton::OnChange, this, &TfrmConfig::AChange);
    for (QCheckBox* c : {ui_->A3D, ui_->ABold, ui_->AItalic})
        connect(c, &QCheckBox::clicked, this, &TfrmConfig::AChange);
}

void TfrmConfig::FormCreate() {
    // 1. The help topics come from the platform's help folder; nothing to set here.
    // 2.
    ui_->laVer->setText(QString::fromLatin1(kVersionText));
    // 3.
    CleanBackground.SetSize(ui_->BImg->width(), ui_->BImg->height(), pgpf24Bit);
    // 4.
    ui_->Pages->setCurrentWidget(ui_->tsJokes);
    // 5. A store that cannot be read is reported; the dialog goes on with what was read.
    loading_ = true;
    try {
        LoadSettings();
    } catch (const std::exception& e) {
        const QString message = FromStd(e.what());
        QTimer::singleShot(0, this, [this, message] { ReportError(message); });
    }
    const TSettings& s = Settings;
    // 6. An empty folder means the bundled jokes; a folder that is gone is ignored.
    try {
        const std::string folder =
            s.Directory.empty() ? platform::BundledJokesDirectory() : s.Directory;
        ui_->Files->SetFileName(FromStd(folder));
    } catch (const std::exception&) {
    }
    // 7.
    ui_->Files->SetItemIndex(s.JokeFile.empty() ? -1 : ui_->Files->IndexOf(FromStd(s.JokeFile)));
    // 8.
    ui_->QEdit->setText(FromStd(s.DefaultQuestion));
    ui_->AEdit->setText(FromStd(s.DefaultAnswer));
    // Long texts show from their start.
    ui_->QEdit->setCursorPosition(0);
    ui_->AEdit->setCursorPosition(0);
    ui_->tbF->setValue(s.Speed);
    ui_->rgFadeMode->SetItemIndex(s.FadeMode);
    ui_->cbRandom->setChecked(s.Change);
    ui_->udRand->SetPosition(std::int16_t(s.ChangeAfter));
    cbRandomClick();
    ui_->udPause->SetPosition(s.Pause);
    // 9.
    picturePath_ = FromStd(s.Bitmap);
    LoadBackgroundPicture(BackgroundPicture, s.Bitmap);
    // 10.
    ui_->rgBackType->SetItemIndex(s.BackgroundType);
    ui_->SolidC->SetValue(s.SolidColor);
    ui_->FromC->SetValue(s.FromColor);
    ui_->ToC->SetValue(s.ToColor);
    if (!picturePath_.isEmpty()) {
        ui_->btBitmap->setText(picturePath_);
        ui_->btBitmap->setToolTip(picturePath_);
    }
    ui_->cbTiled->setChecked(s.Tiled);
    // 11.
    ui_->QFont->SetFontName(FromStd(s.QuestionFace));
    ui_->QSize->SetPosition(std::int16_t(s.QuestionSize));
    ui_->QColor->SetValue(s.QuestionColor);
    ui_->Q3D->setChecked(s.Question3D);
    ui_->QBold->setChecked(s.QuestionBold);
    ui_->QItalic->setChecked(s.QuestionItalic);
    ui_->tbQ->setValue(s.QuestionSpeed);
    ui_->AFont->SetFontName(FromStd(s.AnswerFace));
    ui_->ASize->SetPosition(std::int16_t(s.AnswerSize));
    ui_->AColor->SetValue(s.AnswerColor);
    ui_->A3D->setChecked(s.Answer3D);
    ui_->ABold->setChecked(s.AnswerBold);
    ui_->AItalic->setChecked(s.AnswerItalic);
    ui_->tbA->setValue(s.AnswerSpeed);
    // 12. Limited mode on palette screens: the texts do not slide there.
    const bool limited = platform::PrimaryScreen().ColorDepth <= 8;
    ui_->tbQ->setVisible(!limited);
    ui_->tbA->setVisible(!limited);
    ui_->laColors->setVisible(limited);
    // 13.
    loading_ = false;
    BackChange();
}

void TfrmConfig::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TfrmConfig::FormClose() {
    if (closed_) return;
    closed_ = true;
    if (owner_ != 0) platform::ActivateWindow(owner_);
}

void TfrmConfig::ReportError(const QString& message) {
    QMessageBox::critical(this, QStringLiteral("Quipix"), message);
}

void TfrmConfig::btOkClick() {
    TSettings& s = Settings;
    s.Directory = StoredJokeDirectory(ui_->Files->Directory());
    if (ui_->Files->ItemIndex() >= 0)
        s.JokeFile = QFileInfo(ui_->Files->FileName()).fileName().toStdString();
    s.DefaultQuestion = ui_->QEdit->text().toStdString();
    s.DefaultAnswer = ui_->AEdit->text().toStdString();
    s.Speed = ui_->tbF->value();
    s.FadeMode = ui_->rgFadeMode->ItemIndex();
    s.Change = ui_->cbRandom->isChecked();
    s.ChangeAfter = std::int16_t(ui_->udRand->Position());
    s.BackgroundType = ui_->rgBackType->ItemIndex();
    s.Bitmap = picturePath_.toStdString();
    s.SolidColor = ui_->SolidC->Value();
    s.FromColor = ui_->FromC->Value();
    s.ToColor = ui_->ToC->Value();
    s.Tiled = ui_->cbTiled->isChecked();
    s.QuestionFace = ui_->QFont->FontName().toStdString();
    s.QuestionSize = std::int16_t(ui_->QSize->Position());
    s.QuestionColor = ui_->QColor->Value();
    s.Question3D = ui_->Q3D->isChecked();
    s.QuestionBold = ui_->QBold->isChecked();
    s.QuestionItalic = ui_->QItalic->isChecked();
    s.QuestionSpeed = ui_->tbQ->value();
    s.AnswerFace = ui_->AFont->FontName().toStdString();
    s.AnswerSize = std::int16_t(ui_->ASize->Position());
    s.AnswerColor = ui_->AColor->Value();
    s.Answer3D = ui_->A3D->isChecked();
    s.AnswerBold = ui_->ABold->isChecked();
    s.AnswerItalic = ui_->AItalic->isChecked();
    s.AnswerSpeed = ui_->tbA->value();
    s.Pause = ui_->udPause->Position();
    try {
        SaveSettings();
    } catch (const std::exception& e) {
        // The dialog stays open so nothing chosen is lost.
        ReportError(FromStd(e.what()));
        return;
    }
    accept();
}

void TfrmConfig::btCancelClick() { reject(); }

void TfrmConfig::btHelpClick() {
    platform::ShowHelp(ui_->Pages->currentWidget()->property("Tag").toInt());
}

void TfrmConfig::btBrowseClick() {
    Folder->InitialDir = ui_->Files->Directory();
    if (!Folder->Execute(this)) return;
    const QString folder = Folder->Directory();
    if (folder.isEmpty()) return;  // the chosen item has no file-system path
    try {
        ui_->Files->SetFileName(folder);
    } catch (const std::exception&) {
    }
}

void TfrmConfig::cbRandomClick() {
    const bool on = ui_->cbRandom->isChecked();
    ui_->edRand->setEnabled(on);
    // Enabled it takes the window colour, disabled the page's colour.
    QPalette colors = ui_->edRand->palette();
    const QColor back = on ? palette().color(QPalette::Active, QPalette::Base)
                           : ui_->tsJokes->palette().color(QPalette::Window);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        colors.setColor(group, QPalette::Base, back);
    ui_->edRand->setPalette(colors);
}

void TfrmConfig::btBitmapClick() {
    if (!picturePath_.isEmpty()) dlgOpen->InitialDir = QFileInfo(picturePath_).absolutePath();
    if (!dlgOpen->Execute(this) || dlgOpen->FileName.isEmpty()) return;
    picturePath_ = dlgOpen->FileName;
    ui_->btBitmap->setText(picturePath_);
    ui_->btBitmap->setToolTip(picturePath_);
    LoadBackgroundPicture(BackgroundPicture, picturePath_.toStdString());
    BackChange();
}

void TfrmConfig::btURLClick() { platform::OpenAddress(kHomePageAddress); }

void TfrmConfig::BackChange() {
    const int type = ui_->rgBackType->ItemIndex();
    ui_->SolidC->setVisible(type == 0);
    ui_->FromC->setVisible(type == 1);
    ui_->ToC->setVisible(type == 1);
    ui_->btBitmap->setVisible(type == 2);
    ui_->cbTiled->setVisible(type == 2);
    DrawBackground(CleanBackground, type, ui_->SolidC->Value(), ui_->FromC->Value(),
                   ui_->ToC->Value(), ui_->cbTiled->isChecked(), BackgroundPicture);
    ui_->BImg->SetPixelGraphic(&CleanBackground);
    emit PreviewDrawn(QStringLiteral("BImg"));
    QChange();
    AChange();
}

void TfrmConfig::QChange() {
    if (loading_) return;
    DrawTextPreview(ui_->QImg, ui_->QFont, ui_->QSize, ui_->QColor, ui_->Q3D->isChecked(),
                    ui_->QBold->isChecked(), ui_->QItalic->isChecked(), ui_->QEdit->text());
}

void TfrmConfig::AChange() {
    if (loading_) return;
    DrawTextPreview(ui_->AImg, ui_->AFont, ui_->ASize, ui_->AColor, ui_->A3D->isChecked(),
                    ui_->ABold->isChecked(), ui_->AItalic->isChecked(), ui_->AEdit->text());
}

void TfrmConfig::DrawTextPreview(TPGImage* image, const TFontComboBox* font, const TUpDown* size,
                                 const TColorButton* color, bool threeD, bool bold, bool italic,
                                 const QString& text) {
    image->SetPixelGraphic(&CleanBackground);
    TPixelGraphic* picture = image->PixelGraphic();
    if (!picture) return;
    TPGCanvas& canvas = picture->Canvas();
    canvas.Brush.Style = TBrushStyle::Clear;
    const QString family = font->FontName();
    if (!family.isEmpty()) canvas.Font.Name = family.toStdString();
    canvas.Font.Size = size->Position();
    canvas.Font.Bold = bold;
    canvas.Font.Italic = italic;

    const std::string bytes = text.toStdString();
    const int w = image->width(), h = image->height();
    const unsigned flags = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    // The preview's 3-D look: a light copy up-left and a dark copy down-right,
    // both under the text itself.
    if (threeD) {
        TRect light{4, 4, w - 6, h - 6};
        canvas.Font.Color = AdjustColor(color->Value(), 30);
        canvas.DrawText(bytes, light, flags);
        TRect dark{6, 6, w - 4, h - 4};
        canvas.Font.Color = AdjustColor(color->Value(), -50);
        canvas.DrawText(bytes, dark, flags);
    }
    TRect face{5, 5, w - 5, h - 5};
    canvas.Font.Color = ResolveColor(color->Value());
    canvas.DrawText(bytes, face, flags);
    emit PreviewDrawn(image->objectName());
}

}  // namespace quipix
