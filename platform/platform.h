// The platform layer: small stand-ins for the Windows services the program uses.
// Each service is a plain function here that asks the service table. A front end
// installs its system's services at start (qt/services.h, win32/native.h) and tests
// install fakes over them, so nothing above this layer talks to X11 directly. The
// screen-saver password and the data folder belong to the operating system, one
// implementation per build (posix.cpp, win32/native.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quipix::platform {

// A native window id: an X11 window here, an HWND on Windows. 0 means none.
using WindowId = std::uint64_t;

struct WindowRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

struct ScreenInfo {
    int Width = 1024;
    int Height = 768;
    int ColorDepth = 24;  // bits per pixel x planes
};

// --- windows (Windows: GetForegroundWindow, GetWindowRect, SetForegroundWindow) ---
WindowId ForegroundWindow();                            // _NET_ACTIVE_WINDOW on X11
bool GetWindowRect(WindowId window, WindowRect& rect);  // false when it does not exist
void ActivateWindow(WindowId window);                   // brings it to the foreground
// --- screen (GetSystemMetrics, GetDeviceCaps BITSPIXEL x PLANES) ---
ScreenInfo PrimaryScreen();
// --- system colours (GetSysColor): index is the low byte of a system-colour constant ---
std::uint32_t SysColor(int index);         // 0x00BBGGRR
std::uint32_t ClassicSysColor(int index);  // the Windows classic scheme's, without a GUI palette
// --- help (WinHelp with a context number) and shell (ShellExecute "open") ---
void ShowHelp(int context);
void OpenAddress(const std::string& address);
// --- starting by itself (Linux): the idle watcher's autostart entry ---
// The idle seconds it starts the watcher with; 0 when it is off.
int IdleAutostartSeconds();
// Turns it on for seconds (and starts the watcher), or off with 0 (and ends it).
void ChangeIdleAutostart(int seconds);
// --- screen-saver password (MPR.DLL / PASSWORD.CPL on Windows 95/98) ---
// False when the system has no password change; true when it ran it.
bool ChangeScreenSaverPasswordCall(WindowId parent);
// The check before the saver closes: true to close. Systems without a password
// scheme (Linux, Windows NT) always answer true without asking.
bool VerifyScreenSavePassword(WindowId saverWindow);

// The service table. An empty member answers as a system without windows: no
// foreground window, no foreign window, a standard screen, the classic colours, no
// help and no browser (a build without a front end, a fuzz target), and never starts
// by itself.
struct Services {
    std::function<WindowId()> foregroundWindow{};
    std::function<bool(WindowId, WindowRect&)> getWindowRect{};
    std::function<void(WindowId)> activateWindow{};
    std::function<ScreenInfo()> primaryScreen{};
    std::function<std::uint32_t(int)> sysColor{};
    std::function<void(int)> showHelp{};
    std::function<void(const std::string&)> openAddress{};
    std::function<int()> idleAutostart{};
    std::function<void(int)> setIdleAutostart{};
};
// Installs services; empty members keep the current ones. Returns the previous set.
Services InstallServices(const Services& services);
const Services& CurrentServices();
// Replaces the whole set, empty members included.
void ReplaceServices(const Services& services);

// Installs services for one scope and restores the previous set exactly after it.
class ScopedServices {
public:
    explicit ScopedServices(const Services& services) : previous_(InstallServices(services)) {}
    ~ScopedServices() { ReplaceServices(previous_); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    Services previous_;
};

}  // namespace quipix::platform

namespace quipix::platform {
// Folder with the bundled jokes/ and help/: <exe dir>/../share/quipix once installed,
// else the source tree the program was built from.
std::string DataDirectory();
std::string BundledJokesDirectory();  // DataDirectory() + "/jokes"
std::string HelpDirectory();          // DataDirectory() + "/help"
// Makes Tr() answer in the first of UserLanguages() that has a catalogue: libintl's
// on Linux (the installed locale folder, or the build tree's), the catalogues
// compiled into the program on Windows.
void InstallTranslations();
}  // namespace quipix::platform
