// Strict integer conversion.
#include "common/convert.h"

namespace quipix {

std::optional<std::int32_t> TryStrToInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i == s.size()) return std::nullopt;
    if (s[i] == '$') {
        ++i;
        size_t digits = s.size() - i;
        if (digits == 0 || digits > 8) return std::nullopt;
        std::uint32_t value = 0;
        for (; i < s.size(); ++i) {
            char c = s[i];
            std::uint32_t d;
            if (c >= '0' && c <= '9')
                d = std::uint32_t(c - '0');
            else if (c >= 'a' && c <= 'f')
                d = std::uint32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                d = std::uint32_t(c - 'A' + 10);
            else
                return std::nullopt;
            value = value << 4 | d;
        }
        return std::int32_t(value);
    }
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') {
        negative = s[i] == '-';
        ++i;
    }
    if (i == s.size()) return std::nullopt;
    // Accumulate as a negative number so that -2147483648 fits.
    std::int64_t value = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t(INT32_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return std::int32_t(value);
}

}  // namespace quipix
