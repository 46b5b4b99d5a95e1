// --record: runs the animation engine offscreen and writes the frames to an
// animated GIF or to a folder of PNG files. Needs no display.
#pragma once

#include <string>
#include <vector>

namespace quipix {

// args are the arguments after "--record": PATH [--size WxH] [--ticks N] [--every K].
// Returns the process exit code; prints errors on stderr. The caller installs the
// text engine first (the front end knows which one the platform has).
int RunRecorder(const std::vector<std::string>& args);

}  // namespace quipix
