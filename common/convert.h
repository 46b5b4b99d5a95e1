// The runtime's strict integer syntax, shared by the settings store and the
// window handle of the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quipix {

// Optional leading blanks, then either an optional sign and decimal digits or "$"
// and one to eight hexadecimal digits, and nothing after. A decimal outside the
// signed 32-bit range does not convert; a "$" value above $7FFFFFFF wraps to a
// negative number, as the original runtime does.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

}  // namespace quipix
