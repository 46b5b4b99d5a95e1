// The main program block: after the command line is read, starts what the run
// mode asks for. The windows are reached through callbacks so that the dispatch
// can be tested without any window.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace quipix {

struct RunCallbacks {
    // Runs the saver until it closes: parent 0 full screen, else a preview in parent.
    std::function<void(platform::WindowId parent)> runSaver;
    // Runs the configuration dialog until it closes; owner 0 for none.
    std::function<void(platform::WindowId owner)> runConfig;
    // The system's password change with its parent window.
    std::function<bool(platform::WindowId parent)> changePassword;
};

// Applies the preview-equals-screen rule to RunMode.
void ApplyPreviewEqualsScreen();

// Whether the run mode (after ApplyPreviewEqualsScreen) opens a window, and so
// needs the application object.
bool RunModeNeedsApplication();

// The main program block. Reads RunMode, ParentWindow and CallerWindow; returns
// the exit code, always 0.
int RunProgram(const RunCallbacks& callbacks);

// Hands the password change to the system with ParentWindow as its parent.
void ChangeScreenSaverPassword();

}  // namespace quipix
