// The entry of Quipix.scr: --help, --version and --record when they come first; else
// the screen-saver protocol as Windows uses it (/s, /p <HWND>, /a <HWND>, /c or
// nothing). A GUI program: text goes to the console it was started from, if any.
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/desktop_options.h"
#include "app/run_program.h"
#include "win32/native.h"
#include "win32/config_dialog.h"
#include "win32/gdi_text_engine.h"
#include "win32/saver_window.h"
#include "win32/wic_decoder.h"

#include <shellapi.h>

namespace {

using quipix::platform::win32::Narrow;
using quipix::platform::win32::Widen;

void InstallTextEngine() { quipix::InstallGdiTextEngine(); }

// A GUI program starts without standard streams unless its caller redirected them;
// from a console they are reopened on that console.
void UseParentConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
    std::ios::sync_with_stdio(true);
}

std::vector<std::string> Parameters() {
    std::vector<std::string> params;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return params;
    for (int i = 1; i < count; ++i) params.push_back(Narrow(args[i]));
    LocalFree(args);
    return params;
}

int Run() {
    quipix::platform::InstallServices(quipix::platform::Win32Services());
    quipix::platform::InstallTranslations();
    quipix::SetSystemHeifDecoder(quipix::win32::DecodeWithWic);
    const std::vector<std::string> params = Parameters();
    quipix::DesktopFrontEnd frontEnd;
    frontEnd.system = quipix::UsageSystem::Windows;
    frontEnd.openConsole = UseParentConsole;
    frontEnd.startText = [] {
        InstallTextEngine();
        return std::shared_ptr<void>();
    };
    // xscreensaver's options and the Wayland idle watcher mean nothing here: the
    // protocol decides.
    if (const auto code = quipix::RunDesktopOption(quipix::ParseDesktopOptions(params, nullptr), frontEnd,
                                                   std::cout, std::cerr))
        return *code;

    quipix::ParseCommandLine(params);
    quipix::RunCallbacks callbacks;
    callbacks.runSaver = [](quipix::platform::WindowId parent) {
        InstallTextEngine();
        quipix::win32::RunSaverWindows(parent);
    };
    callbacks.runConfig = [](quipix::platform::WindowId owner) {
        // The previews draw their text as the saver does.
        InstallTextEngine();
        quipix::win32::RunConfigDialog(owner);
    };
    callbacks.changePassword = quipix::platform::ChangeScreenSaverPasswordCall;
    return quipix::RunProgram(callbacks);
}

void ErrorBox(const std::string& message) {
    MessageBoxW(nullptr, Widen(message).c_str(), Widen(quipix::kSaverName).c_str(),
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // One screen pixel is one scene pixel on scaled displays too: the manifest makes the
    // process aware of each monitor's DPI before any window exists.
    // Whatever escapes is reported in a box of ours, never the system's crash dialog.
    try {
        return Run();
    } catch (const std::exception& e) {
        ErrorBox(e.what());
    } catch (...) {
        ErrorBox("Unknown error");
    }
    return 0;
}
