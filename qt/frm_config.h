// TfrmConfig: the configuration dialog's Qt form. Six pages show every persisted
// setting; OK saves them all, Cancel, Esc and the close button save nothing. What
// the dialog does lives in DialogController; the form answers its questions about
// the widgets of the stored layout, found by their names, and reports each click
// or change to it.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/dialog_controller.h"
#include "platform/platform.h"

class QWindow;

namespace Ui {
class TfrmConfig;
}

namespace quipix {

class TPGOpenDialog;
class TSysFolderDialog;

class TfrmConfig : public QDialog, public DialogView {
    Q_OBJECT

public:
    // owner 0: no owner; otherwise the dialog stays above that window while open
    // and gives it the foreground back when it closes.
    explicit TfrmConfig(platform::WindowId owner = 0, QWidget* parent = nullptr);
    ~TfrmConfig() override;

    // Closing in any way goes through here; only OK saves before it.
    void done(int result) override;

signals:
    // A preview was given a fresh picture: "BImg", "QImg" or "AImg".
    void PreviewDrawn(const QString& preview);

private:
    void ShowCaptions();
    void SetLook();
    void SetTabOrder();
    void SetOwner();
    void Connect();
    void Event(std::string_view control);
    QWidget* Widget(std::string_view control) const;

    void SetText(std::string_view control, const std::string& text) override;
    std::string Text(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    bool Checked(std::string_view control) const override;
    void SetNumber(std::string_view control, int number) override;
    int Number(std::string_view control) const override;
    void SetItems(std::string_view control, const std::vector<std::string>& items) override;
    void SetVisible(std::string_view control, bool visible) override;
    void SetEnabled(std::string_view control, bool enabled) override;
    void ShowPreview(Preview which, const TPixelGraphic& picture) override;
    void ShowError(const std::string& message) override;
    std::optional<std::string> ChooseFolder(const std::string& initial) override;
    std::optional<std::string> ChoosePicture(const std::string& folder) override;
    void ReportError(const QString& message);

    std::unique_ptr<Ui::TfrmConfig> ui_;
    platform::WindowId owner_;
    std::unique_ptr<QWindow> ownerWindow_;
    std::unique_ptr<DialogController> controller_;
    bool creating_ = true;  // errors wait until the dialog can show them
    TSysFolderDialog* Folder;
    TPGOpenDialog* dlgOpen;
};

}  // namespace quipix
