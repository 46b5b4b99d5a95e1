// platform/: stand-ins for the Windows services (see platform.h). This file holds
// the replaceable service table, the password hooks and the data folders; the
// X11 work is in native_qt.cpp.
#include "platform/platform.h"

#include <filesystem>
#include <mutex>

#include "platform/native.h"

namespace quipix::platform {

namespace {

std::mutex gServicesMutex;

Services Builtins() {
    Services s;
    s.foregroundWindow = native::ForegroundWindow;
    s.getWindowRect = native::GetWindowRect;
    s.activateWindow = native::ActivateWindow;
    s.primaryScreen = native::PrimaryScreen;
    s.sysColor = native::SysColor;
    return s;
}

Services& Table() {
    static Services table = Builtins();
    return table;
}

template <class F>
void Merge(F& into, const F& from) {
    if (from) into = from;
}

}  // namespace

Services InstallServices(const Services& services) {
    std::lock_guard lock(gServicesMutex);
    Services& t = Table();
    Services previous = t;
    Merge(t.foregroundWindow, services.foregroundWindow);
    Merge(t.getWindowRect, services.getWindowRect);
    Merge(t.activateWindow, services.activateWindow);
    Merge(t.primaryScreen, services.primaryScreen);
    Merge(t.sysColor, services.sysColor);
    Merge(t.showHelp, services.showHelp);
    Merge(t.openAddress, services.openAddress);
    return previous;
}

void ReplaceServices(const Services& services) {
    std::lock_guard lock(gServicesMutex);
    Services& t = Table();
    t = Builtins();
    Merge(t.foregroundWindow, services.foregroundWindow);
    Merge(t.getWindowRect, services.getWindowRect);
    Merge(t.activateWindow, services.activateWindow);
    Merge(t.primaryScreen, services.primaryScreen);
    Merge(t.sysColor, services.sysColor);
    t.showHelp = services.showHelp;
    t.openAddress = services.openAddress;
}

const Services& CurrentServices() { return Table(); }

WindowId ForegroundWindow() { return CurrentServices().foregroundWindow(); }
bool GetWindowRect(WindowId window, WindowRect& rect) { return CurrentServices().getWindowRect(window, rect); }
void ActivateWindow(WindowId window) { CurrentServices().activateWindow(window); }
ScreenInfo PrimaryScreen() { return CurrentServices().primaryScreen(); }
std::uint32_t SysColor(int index) { return CurrentServices().sysColor(index); }

#ifndef _WIN32
// Linux has no screen-saver password of its own: the change request does nothing
// and closing never asks. Windows has its own in native_win32.cpp.
bool ChangeScreenSaverPasswordCall(WindowId) { return false; }
bool VerifyScreenSavePassword(WindowId) { return true; }

std::string DataDirectory() {
    namespace fs = std::filesystem;
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto installed = exe.parent_path() / ".." / "share" / "quipix";
        if (fs::is_directory(installed / "jokes", ec)) return fs::weakly_canonical(installed, ec).string();
    }
    return QUIPIX_SOURCE_DATA_DIR;
}

std::string BundledJokesDirectory() { return DataDirectory() + "/jokes"; }
#endif
std::string HelpDirectory() { return DataDirectory() + "/help"; }

std::uint32_t native::ClassicSysColor(int index) {
    // COLOR_SCROLLBAR (0) .. COLOR_MENUBAR (30) of the Windows classic scheme, 0x00BBGGRR.
    static constexpr std::uint32_t kClassic[] = {
        0xC0C0C0, 0x808000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
        0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0,
        0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xDFDFDF, 0x000000,
        0xE1FFFF, 0xB5B5B5, 0x800000, 0xD08410, 0xB5B5B5, 0x800000, 0xC0C0C0,
    };
    if (index < 0 || index >= int(std::size(kClassic))) return 0;
    return kClassic[index];
}

}  // namespace quipix::platform
