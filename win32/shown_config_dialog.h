// The configuration dialog as tests drive it: run modally as the run mode runs it,
// with its controls reached by their names. Kept apart from config_dialog.h, whose
// callers need not know the controller's types.
#pragma once

#include <functional>
#include <string_view>

#include "config/dialog_controller.h"
#include "platform/platform.h"

namespace quipix::win32 {

// The dialog as it runs: its controls as the controller sees them, and each
// control's window by its name in the layout table.
class ShownConfigDialog : public DialogView {
public:
    virtual platform::WindowId ControlWindow(std::string_view control) const = 0;

protected:
    ~ShownConfigDialog() = default;
};
// For tests: runs whenShown inside the dialog's modal loop once it is shown; a dialog
// that whenShown leaves open is cancelled. True when it closed with OK.
bool RunConfigDialog(platform::WindowId owner, const std::function<void(ShownConfigDialog&)>& whenShown);

}  // namespace quipix::win32
