// Fuzzes the joke file parser: header reading, line splitting, the three layouts
// and the field splitter, on any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/joke_file.h"
#include "common/random.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    quipix::SetRandSeed(size > 0 ? data[0] * 2654435761u : 1);
    std::vector<std::string> lines;
    quipix::ParseJokeText(text, size % 2 ? "description" : "", lines);
    size_t total = 0;
    for (const auto& l : lines) total += l.size();
    // A joke is made of lines of the file (a header line may also be the joke
    // line) plus at most the given description.
    if (total > 2 * size + 16) std::abort();

    if (quipix::ReadIniValue(text, "Header", "Description").size() > 1023) std::abort();
    const int fields = quipix::CountFields(text, "|");
    if (fields > 0 && quipix::GetField(fields, text, "|").empty()) std::abort();
    if (!quipix::GetField(fields + 1, text, "|").empty()) std::abort();
    return 0;
}
