// app/: the program entry, the command line and the run modes. This file reads
// the command line; it runs before any window or application object exists.
#include "app/command_line.h"

#include "common/ascii.h"
#include "common/convert.h"

namespace quipix {

std::int32_t RunMode = 0;
platform::WindowId ParentWindow = 0;
platform::WindowId CallerWindow = 0;
std::string CommandArgument;

void ParseCommandLine(const std::vector<std::string>& params) {
    CallerWindow = 0;
    if (params.empty()) {
        RunMode = Configure;
        return;
    }
    CommandArgument = ascii::Upper(params[0]);
    if (params.size() >= 2) CommandArgument += ":" + params[1];
    // The switch character itself ("/", "-" or anything) is never looked at.
    const char decisive = CommandArgument.size() >= 2 ? CommandArgument[1] : '\0';
    switch (decisive) {
    case 'C':
        RunMode = ConfigureOwned;
        CallerWindow = platform::ForegroundWindow();
        break;
    case 'A':
        RunMode = ChangePassword;
        ParseWindowHandle();
        break;
    case 'P':
        RunMode = Preview;
        ParseWindowHandle();
        break;
    default:
        RunMode = FullScreen;
        CallerWindow = platform::ForegroundWindow();
        break;
    }
}

void ParseWindowHandle() {
    const std::string text = CommandArgument.size() > 3 ? CommandArgument.substr(3) : std::string();
    auto value = TryStrToInt(text);
    // A handle is 32 bits wide; a negative number stands for the same bits.
    ParentWindow = value ? platform::WindowId(std::uint32_t(*value)) : 0;
}

}  // namespace quipix
