// Fuzzes the settings store's file format: any bytes parse without harm, and what
// is written back parses to the same keys and values.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto first = quipix::platform::ParseRegFile(bytes);
    const std::string text = quipix::platform::FormatRegFile(first);
    auto second = quipix::platform::ParseRegFile(text);
    if (second.damaged || second.keys.size() != first.keys.size()) std::abort();
    for (size_t i = 0; i < first.keys.size(); ++i) {
        if (first.keys[i].path != second.keys[i].path) std::abort();
        if (first.keys[i].values != second.keys[i].values) std::abort();
    }
    if (quipix::platform::FormatRegFile(second) != text) std::abort();
    return 0;
}
