// The desktop options read before the screen-saver protocol: --help, --version,
// --record, --idle, and the xscreensaver module's -root / -window-id. Qt-free.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quipix {

inline constexpr const char* kVersionLabel = "Version 2.1";
// The longest idle time --idle takes: a day.
inline constexpr int kMaxIdleSeconds = 86400;

struct DesktopOptions {
    enum class Action {
        Protocol,  // none of ours: the Windows-style protocol decides
        Help,
        Version,
        Record,  // recordArgs holds what follows --record
        Module,  // draw into `window` (0: the root window) as an xscreensaver module
        Idle,    // start the saver whenever the session is idle `idleSeconds`
        Error,   // `error` says what is wrong; exit code 2
    };
    Action action = Action::Protocol;
    platform::WindowId window = 0;
    std::vector<std::string> recordArgs;
    int idleSeconds = 0;  // 1 .. kMaxIdleSeconds
    std::string error;
    // A note for stderr that does not stop the run (an unreadable $XSCREENSAVER_WINDOW).
    std::string warning;
};

// An X11 window id: decimal or 0x hexadecimal, surrounding blanks allowed, at most 32
// bits, never 0. Anything else is nullopt.
std::optional<platform::WindowId> ParseWindowId(std::string_view text);

// params are the parameters without the program name; xscreensaverWindow is the
// value of $XSCREENSAVER_WINDOW or null when it is not set. Only the first
// parameter decides whether the line is ours; anything else is Protocol.
DesktopOptions ParseDesktopOptions(const std::vector<std::string>& params, const char* xscreensaverWindow);

// The text of --help, in the words of the system it runs on.
enum class UsageSystem { Posix, Windows };
std::string UsageText(UsageSystem system = UsageSystem::Posix);

// What the desktop options ask of the front end they run in.
struct DesktopFrontEnd {
    UsageSystem system = UsageSystem::Posix;
    // Before anything is written: a Windows program without a console of its own
    // writes to its caller's.
    std::function<void()> openConsole;
    // Installs the text engine of a recording, which needs no display; what it
    // returns is held until the recording is over.
    std::function<std::shared_ptr<void>()> startText;
};

// Carries out --help, --version, --record and a wrong option on out and err, and
// returns the exit code. nullopt for what the front end goes on with: the protocol,
// the xscreensaver module and --idle (where the front end has them).
std::optional<int> RunDesktopOption(const DesktopOptions& options, const DesktopFrontEnd& frontEnd,
                                    std::ostream& out, std::ostream& err);

}  // namespace quipix
