// platform/: the services the program asks of its system (see platform.h), with
// their toolkit-free parts; each front end installs the rest at start (qt/services.h,
// win32/native.h). This file holds the service table.
#include "platform/platform.h"

#include <mutex>

namespace quipix::platform {

namespace {

std::mutex gServicesMutex;

Services& Table() {
    static Services table;
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
    Merge(t.idleAutostart, services.idleAutostart);
    Merge(t.setIdleAutostart, services.setIdleAutostart);
    return previous;
}

void ReplaceServices(const Services& services) {
    std::lock_guard lock(gServicesMutex);
    Table() = services;
}

const Services& CurrentServices() { return Table(); }

WindowId ForegroundWindow() {
    const auto& f = CurrentServices().foregroundWindow;
    return f ? f() : 0;
}

bool GetWindowRect(WindowId window, WindowRect& rect) {
    const auto& f = CurrentServices().getWindowRect;
    return f && f(window, rect);
}

void ActivateWindow(WindowId window) {
    if (const auto& f = CurrentServices().activateWindow) f(window);
}

ScreenInfo PrimaryScreen() {
    const auto& f = CurrentServices().primaryScreen;
    return f ? f() : ScreenInfo{};
}

std::uint32_t SysColor(int index) {
    const auto& f = CurrentServices().sysColor;
    return f ? f(index) : ClassicSysColor(index);
}

void ShowHelp(int context) {
    if (const auto& f = CurrentServices().showHelp) f(context);
}

void OpenAddress(const std::string& address) {
    if (const auto& f = CurrentServices().openAddress) f(address);
}

int IdleAutostartSeconds() {
    const auto& f = CurrentServices().idleAutostart;
    return f ? f() : 0;
}

void ChangeIdleAutostart(int seconds) {
    if (const auto& f = CurrentServices().setIdleAutostart) f(seconds);
}

std::string HelpDirectory() { return DataDirectory() + "/help"; }

std::uint32_t ClassicSysColor(int index) {
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
