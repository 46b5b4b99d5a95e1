// What the processor offers beyond the build's baseline, asked once per program.
#pragma once

namespace quipix {

#if defined(__x86_64__) || defined(__i386__)
// SSSE3's byte shuffle, which the row copies and conversions take where it exists.
// Every x86-64 processor of the last fifteen years has it; the baseline does not.
inline bool HaveByteShuffle() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return have;
}
#endif

}  // namespace quipix
