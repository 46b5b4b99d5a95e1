// The random source.
#include "common/random.h"

#include <chrono>

namespace quipix {

namespace {
std::uint32_t gSeed = 0;
std::function<std::uint32_t()> gClock;
}  // namespace

std::uint32_t Random(std::uint32_t range) {
    gSeed = gSeed * 134775813u + 1u;
    return std::uint32_t((std::uint64_t(range) * gSeed) >> 32);
}

void Randomize() { gSeed = gClock ? gClock() : UtcMillisecondsOfDay(); }

std::uint32_t RandSeed() { return gSeed; }
void SetRandSeed(std::uint32_t seed) { gSeed = seed; }
void SetRandomizeClock(std::function<std::uint32_t()> clock) { gClock = std::move(clock); }

std::uint32_t UtcMillisecondsOfDay() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    constexpr long long kDay = 24LL * 60 * 60 * 1000;
    return std::uint32_t(((ms % kDay) + kDay) % kDay);
}

}  // namespace quipix
