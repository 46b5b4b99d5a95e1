// Help topics and addresses on Windows: the installed service when there is one,
// else the shell's "open" verb, which hands a topic page or an address to the
// user's browser. The result is ignored: a system without a browser shows nothing.
// windows.h (through native_win32.h) must come before shellapi.h.
#include "win32/native.h"

#include <shellapi.h>

namespace quipix::platform {

namespace {

void ShellOpen(const std::string& target) {
    ShellExecuteW(nullptr, L"open", win32::Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void ShowHelp(int context) {
    if (const auto& service = CurrentServices().showHelp) {
        service(context);
        return;
    }
    ShellOpen(HelpDirectory() + "\\" + std::to_string(context) + ".html");
}

void OpenAddress(const std::string& address) {
    if (const auto& service = CurrentServices().openAddress) {
        service(address);
        return;
    }
    ShellOpen(address);
}

}  // namespace quipix::platform
