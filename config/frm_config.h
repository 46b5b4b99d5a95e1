// TfrmConfig: the configuration dialog. Six pages show every persisted setting;
// OK saves them all, Cancel, Esc and the close button save nothing. Three pages
// carry live previews drawn with the saver's own background drawing.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "imaging/pixel_graphic.h"
#include "platform/platform.h"

class QWindow;

namespace Ui {
class TfrmConfig;
}

namespace quipix {

class TColorButton;
class TFontComboBox;
class TPGImage;
class TPGOpenDialog;
class TSysFolderDialog;
class TUpDown;

inline constexpr const char* kVersionText = "Version 2.1";
inline constexpr const char* kHomePageAddress = "https://www.kelvara.example/";

class TfrmConfig : public QDialog {
    Q_OBJECT

public:
    // owner 0: no owner; otherwise the dialog stays above that window while open
    // and gives it the foreground back when it closes.
    explicit TfrmConfig(platform::WindowId owner = 0, QWidget* parent = nullptr);
    ~TfrmConfig() override;

    // Closing in any way goes through here; only btOkClick saves before it.
    void done(int result) override;

signals:
    // A preview was given a fresh picture: "BImg", "QImg" or "AImg".
    void PreviewDrawn(const QString& preview);

private:
    void FormCreate();
    void FormClose();
    void SetOwner();
    void btOkClick();
    void btCancelClick();
    void btHelpClick();
    void btBrowseClick();
    void cbRandomClick();
    void btBitmapClick();
    void btURLClick();
    void BackChange();
    void QChange();
    void AChange();

    void SetFonts();
    void Connect();
    void ReportError(const QString& message);
    void DrawTextPreview(TPGImage* image, const TFontComboBox* font, const TUpDown* size,
                         const TColorButton* color, bool threeD, bool bold, bool italic,
                         const QString& text);

    std::unique_ptr<Ui::TfrmConfig> ui_;
    platform::WindowId owner_;
    std::unique_ptr<QWindow> ownerWindow_;
    bool closed_ = false;

    // Dialog state.
    bool loading_ = false;
    QString picturePath_;  // the working picture path
    TPixelGraphic CleanBackground;
    TPixelGraphic BackgroundPicture;
    TSysFolderDialog* Folder;
    TPGOpenDialog* dlgOpen;
};

// The folder the settings store for the list's folder: the bundled jokes folder
// is stored as the empty text, which means that folder wherever the program is
// installed; any other folder as it is.
std::string StoredJokeDirectory(const QString& listFolder);

}  // namespace quipix
