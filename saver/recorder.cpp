#include "saver/recorder.h"

namespace quipix {

// FIXME: placeholder until recording lands.
int RunRecorder(const std::vector<std::string>&) { return 1; }

}  // namespace quipix
