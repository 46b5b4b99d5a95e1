// The saver window: full screen over every other window, or a preview inside a
// foreign parent window.
#pragma once

#include "platform/platform.h"

namespace quipix {

// Creates the saver window and runs the event loop until it closes. A
// QApplication must exist. parent 0 runs full screen; otherwise the window is a
// preview inside parent.
void RunSaverWindow(platform::WindowId parent);

}  // namespace quipix
