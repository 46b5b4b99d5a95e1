// Built-in services for a build without the GUI: there is no window system, so
// there is no foreground window, no foreign window and a standard screen, and
// nothing shows help or opens an address unless a service is installed.
#include "platform/native.h"

namespace quipix::platform {

namespace native {

WindowId ForegroundWindow() { return 0; }
bool GetWindowRect(WindowId, WindowRect&) { return false; }
void ActivateWindow(WindowId) {}
ScreenInfo PrimaryScreen() { return {}; }
std::uint32_t SysColor(int index) { return ClassicSysColor(index); }

}  // namespace native

void ShowHelp(int context) {
    if (const auto& service = CurrentServices().showHelp) service(context);
}

void OpenAddress(const std::string& address) {
    if (const auto& service = CurrentServices().openAddress) service(address);
}

}  // namespace quipix::platform
