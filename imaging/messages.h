// The library's numbered message table (English) and its look-up.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quipix {

constexpr int kPGLangStrCount = 85;  // entries 0..84

struct TPGLangStrEntry {
    int Number;
    const char* Text;
};

// The table itself; entry n must carry Number n.
extern const TPGLangStrEntry PGLangStrEntries[kPGLangStrCount];

// Text of entry n with the first "%S1", "%S2", "%S3" replaced by the arguments.
// An n outside the table gives an empty text.
std::string GetPGLangStr(int n, std::string_view s1 = {}, std::string_view s2 = {}, std::string_view s3 = {});
// Raises EPixelGraphic when an entry does not stand at its own number.
void CheckPGLangStrEntries();
void CheckPGLangStrEntries(std::span<const TPGLangStrEntry> entries);

}  // namespace quipix
