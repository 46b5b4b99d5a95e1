// The --idle watcher: starts `program /s` each time the session has been idle for
// seconds (once per idle period) unless an inhibition holds, until it is ended or
// the session goes. Returns the exit code: 1 when nothing here tells idleness.
#pragma once

#include <string>

namespace quipix {

int RunIdleWatcher(int seconds, const std::string& program);

}  // namespace quipix
