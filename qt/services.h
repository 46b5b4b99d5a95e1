// The platform services on X11, which the program and the Qt test and benchmark
// programs install at start: the foreground window, foreign window rectangles and
// activation through xcb, the screen and the system colours through Qt, the help
// window and the desktop's handler for addresses.
#pragma once

#include "platform/platform.h"

namespace quipix::platform {

Services QtServices();

// The help viewer standing in for WinHelp (qt/help_window.cpp); nothing without a
// QApplication.
void ShowHelpWindow(int context);

}  // namespace quipix::platform
