// Built-in services for a build without the GUI: there is no window system, so
// there is no foreground window, no foreign window and a standard screen.
#include "platform/native.h"

namespace quipix::platform::native {

WindowId ForegroundWindow() { return 0; }
bool GetWindowRect(WindowId, WindowRect&) { return false; }
void ActivateWindow(WindowId) {}
ScreenInfo PrimaryScreen() { return {}; }
std::uint32_t SysColor(int index) { return ClassicSysColor(index); }

}  // namespace quipix::platform::native
