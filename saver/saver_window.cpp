#include "saver/saver_window.h"

namespace quipix {

// FIXME: placeholder until the saver window lands.
void RunSaverWindow(platform::WindowId) {}

}  // namespace quipix
