// The main program block.
#include "app/run_program.h"

#include "app/command_line.h"

namespace quipix {

void ApplyPreviewEqualsScreen() {
    if (RunMode != Preview || ParentWindow == 0) return;
    platform::WindowRect rect;
    if (!platform::GetWindowRect(ParentWindow, rect)) return;
    const platform::ScreenInfo screen = platform::PrimaryScreen();
    // A "preview" as large as the screen is the saver itself; CallerWindow stays 0.
    if (rect.Width() == screen.Width && rect.Height() == screen.Height) RunMode = FullScreen;
}

bool RunModeNeedsApplication() {
    switch (RunMode) {
    case FullScreen:
    case Configure:
    case ConfigureOwned:
        return true;
    case Preview:
        return ParentWindow != 0;
    default:
        return false;
    }
}

void ChangeScreenSaverPassword() { platform::ChangeScreenSaverPasswordCall(ParentWindow); }

int RunProgram(const RunCallbacks& callbacks) {
    ApplyPreviewEqualsScreen();
    if (RunMode == FullScreen || (RunMode == Preview && ParentWindow != 0)) {
        if (callbacks.runSaver) callbacks.runSaver(RunMode == Preview ? ParentWindow : 0);
        if (RunMode == FullScreen && CallerWindow != 0) platform::ActivateWindow(CallerWindow);
    } else if (RunMode == ConfigureOwned || RunMode == Configure) {
        if (callbacks.runConfig) callbacks.runConfig(CallerWindow);
    } else if (RunMode == ChangePassword && ParentWindow != 0) {
        if (callbacks.changePassword)
            callbacks.changePassword(ParentWindow);
        else
            ChangeScreenSaverPassword();
    }
    return 0;
}

}  // namespace quipix
