// The engine's process-wide services: the settings store, the joke library and the
// shared random source.
#include "common/joke_library.h"
#include "common/random.h"
#include "common/settings.h"
#include "saver/engine.h"

namespace quipix {

EngineServices DefaultEngineServices() {
    EngineServices s;
    s.loadSettings = [] { LoadSettings(); };
    s.nextJoke = [] { NextJoke(); };
    s.random = [](std::uint32_t n) { return Random(n); };
    return s;
}

}  // namespace quipix
