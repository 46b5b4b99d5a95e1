#include "config/config_dialog.h"

namespace quipix {

// FIXME: placeholder until the dialog lands.
void RunConfigDialog(platform::WindowId) {}

}  // namespace quipix
