// Help topics and addresses on Windows: the installed service when there is one,
// else the shell's "open" verb, which hands a topic page (a file of the data folder,
// see HelpTopicFile) or an address to the user's browser. The result is ignored: a
// system without a browser shows nothing. windows.h (through win32/native.h) must
// come before shellapi.h.
#include "win32/native.h"

#include <shellapi.h>

namespace quipix::platform {

namespace {

void ShellOpen(const std::wstring& target) {
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void ShowHelp(int context) {
    if (const auto& service = CurrentServices().showHelp) {
        service(context);
        return;
    }
    ShellOpen(win32::HelpTopicFile(context));
}

void OpenAddress(const std::string& address) {
    if (const auto& service = CurrentServices().openAddress) {
        service(address);
        return;
    }
    ShellOpen(win32::Widen(address));
}

}  // namespace quipix::platform
