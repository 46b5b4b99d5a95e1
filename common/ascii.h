// Case rules of the program's own names (switches, joke-file markers, registry keys
// and values, file names): ASCII letters only, whatever the locale, so a name matches
// alike on every system and no byte of another alphabet changes.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace quipix::ascii {

constexpr char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
constexpr char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = Upper(c);
    return r;
}
inline std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = Lower(c);
    return r;
}

constexpr bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return Upper(x) == Upper(y); });
}
constexpr bool StartsWithText(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}
constexpr bool LessText(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Upper(x) < Upper(y); });
}

}  // namespace quipix::ascii
