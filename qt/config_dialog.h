// The configuration dialog.
#pragma once

#include "platform/platform.h"

namespace quipix {

// Creates the configuration dialog and runs the event loop until it closes. A
// QApplication must exist. owner 0: no owner window; otherwise the dialog is
// transient for owner, which is activated again when the dialog closes.
void RunConfigDialog(platform::WindowId owner);

}  // namespace quipix
