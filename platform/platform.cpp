// platform/: the services the program asks of its system (see platform.h), with
// their toolkit-free parts; each front end implements the rest (qt/native.cpp,
// win32/native.cpp). This file holds the replaceable service table.
#include "platform/platform.h"

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
bool GetWindowRect(WindowId window, WindowRect& rect) {
    return CurrentServices().getWindowRect(window, rect);
}
void ActivateWindow(WindowId window) { CurrentServices().activateWindow(window); }
ScreenInfo PrimaryScreen() { return CurrentServices().primaryScreen(); }
std::uint32_t SysColor(int index) { return CurrentServices().sysColor(index); }

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
