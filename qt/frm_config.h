// TfrmConfig: the configuration dialog's Qt form. Six pages show every persisted
// setting; OK saves them all, Cancel, Esc and the close button save nothing. What
// the dialog does lives in DialogController; the form shows its values and states
// in the widgets, writes the user's changes back and calls the bound handler.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "config/dialog_controller.h"
#include "platform/platform.h"

class QWindow;

namespace Ui {
class TfrmConfig;
}

namespace quipix {

class TPGOpenDialog;
class TSysFolderDialog;

class TfrmConfig : public QDialog, private DialogView {
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
    void SetFonts();
    void SetOwner();
    void Connect();
    // The controller's values into the widgets, and the widgets into its values.
    void ShowValues();
    void ShowFiles();
    void ShowBitmapCaption();
    void ReadValues();
    void ApplyStates();
    // Runs handler (none: only the states) on the values the widgets hold now.
    void Run(void (DialogController::*handler)());

    void btOkClick();
    void btHelpClick();
    void btBrowseClick();
    void btBitmapClick();

    void ShowPreview(Preview which, const TPixelGraphic& picture) override;
    void ShowError(const std::string& message) override;
    void ReportError(const QString& message);

    std::unique_ptr<Ui::TfrmConfig> ui_;
    platform::WindowId owner_;
    std::unique_ptr<QWindow> ownerWindow_;
    std::unique_ptr<DialogController> controller_;
    bool creating_ = true;  // errors wait until the dialog can show them
    bool showing_ = false;  // widgets set from the values fire no handlers
    TSysFolderDialog* Folder;
    TPGOpenDialog* dlgOpen;
};

}  // namespace quipix
