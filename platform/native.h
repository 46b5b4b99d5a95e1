// The built-in implementations of the platform services, before any test or
// front end replaces them: X11 through Qt in native_qt.cpp, plain fallbacks in
// native_plain.cpp when the program is built without its GUI.
#pragma once

#include "platform/platform.h"

namespace quipix::platform::native {

WindowId ForegroundWindow();
bool GetWindowRect(WindowId window, WindowRect& rect);
void ActivateWindow(WindowId window);
ScreenInfo PrimaryScreen();
std::uint32_t SysColor(int index);

// The classic Windows colours, used where no GUI palette is at hand.
std::uint32_t ClassicSysColor(int index);

}  // namespace quipix::platform::native
