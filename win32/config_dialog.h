// The configuration dialog of Quipix.scr: native Windows controls bound to the
// shared dialog controller, which decides everything the dialog does.
#pragma once

#include "platform/platform.h"

namespace quipix::win32 {

// Runs the dialog until it closes, owned by owner (0: none). Windows disables the
// owner while the dialog runs; the controller gives it the foreground back.
void RunConfigDialog(platform::WindowId owner);

}  // namespace quipix::win32
