// The screen-saver command line: /s, /c, /p <window>, /a <window>, or nothing.
// Read once at start into the run mode and the window ids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quipix {

enum TRunMode : std::int32_t {
    Configure = 1,       // no parameters: the dialog without an owner
    ConfigureOwned = 2,  // /c: the dialog owned by the window active at start
    FullScreen = 3,      // /s and every unknown switch: the saver full screen
    Preview = 4,         // /p <window>: the saver inside that window
    ChangePassword = 5,  // /a <window>: the system's password change
};

extern std::int32_t RunMode;             // 0 before parsing
extern platform::WindowId ParentWindow;  // from /p and /a; 0 when unreadable
extern platform::WindowId CallerWindow;  // foreground window at start (/c, /s)
extern std::string CommandArgument;      // e.g. "/P:1234"

// params are the command-line parameters without the program name.
void ParseCommandLine(const std::vector<std::string>& params);
// Sets ParentWindow from CommandArgument's fourth character on.
void ParseWindowHandle();

}  // namespace quipix
