// The process-wide random source: the original runtime's 32-bit linear
// congruential generator, so that picks are as uniform (and as predictable from
// a seed) as they always were.
#pragma once

#include <cstdint>
#include <functional>

namespace quipix {

// A number from 0 to range - 1 (0 when range is 0). Advances the seed first.
std::uint32_t Random(std::uint32_t range);
// Seeds from the UTC time of day in milliseconds.
void Randomize();

std::uint32_t RandSeed();
void SetRandSeed(std::uint32_t seed);

// The clock Randomize reads: milliseconds since UTC midnight. Tests install a
// fixed one; an empty function restores the real clock.
void SetRandomizeClock(std::function<std::uint32_t()> clock);
std::uint32_t UtcMillisecondsOfDay();

}  // namespace quipix
