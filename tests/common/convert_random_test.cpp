// The strict integer syntax and the random source.
#include <gtest/gtest.h>

#include <set>

#include "common/convert.h"
#include "common/random.h"

namespace quipix {
namespace {

TEST(StrToInt, AcceptsDecimalAndDollarHex) {
    EXPECT_EQ(TryStrToInt("1234"), 1234);
    EXPECT_EQ(TryStrToInt("   42"), 42);
    EXPECT_EQ(TryStrToInt("+7"), 7);
    EXPECT_EQ(TryStrToInt("-15"), -15);
    EXPECT_EQ(TryStrToInt("007"), 7);
    EXPECT_EQ(TryStrToInt("$10"), 16);
    EXPECT_EQ(TryStrToInt("$fF"), 255);
    EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
    EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
}

TEST(StrToInt, HexAboveInt32MaxWrapsToNegative) {
    EXPECT_EQ(TryStrToInt("$7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(TryStrToInt("$80000000"), INT32_MIN);
    EXPECT_EQ(TryStrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(TryStrToInt("$00000001"), 1);
}

TEST(StrToInt, RejectsEverythingElse) {
    for (const char* bad :
         {"",     " ",    "16 ",        "1 6",         "abc",        "12a",         "+",
          "-",    "$",    "$123456789", "$0000000001", "2147483648", "-2147483649", "99999999999999999999",
          "0x10", "-$10", "+$10",       "\t5",         "5\n",        "$ 1",         "１"})
        EXPECT_FALSE(TryStrToInt(bad).has_value()) << '"' << bad << '"';
}

TEST(RandomSource, FollowsTheLinearCongruentialSequence) {
    SetRandSeed(0);
    const std::uint32_t expected[] = {0, 31, 861, 202, 272};
    const std::uint32_t seeds[] = {1, 134775814u, 3698175007u, 870078620u, 1172187917u};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Random(1000), expected[i]);
        EXPECT_EQ(RandSeed(), seeds[i]);
    }
    SetRandSeed(12345);
    EXPECT_EQ(Random(52), 20u);
    EXPECT_EQ(Random(52), 15u);
    EXPECT_EQ(Random(52), 4u);
}

TEST(RandomSource, ZeroRangeGivesZeroAndStillAdvances) {
    SetRandSeed(5);
    EXPECT_EQ(Random(0), 0u);
    EXPECT_NE(RandSeed(), 5u);
}

TEST(RandomSource, CoversTheWholeRange) {
    SetRandSeed(99);
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        auto r = Random(7);
        ASSERT_LT(r, 7u);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 7u);
    for (int i = 0; i < 1000; ++i) ASSERT_LT(Random(0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(RandomSource, RandomizeReadsTheClock) {
    SetRandomizeClock([] { return 4321u; });
    Randomize();
    EXPECT_EQ(RandSeed(), 4321u);
    SetRandomizeClock(nullptr);
    Randomize();
    EXPECT_LT(RandSeed(), 24u * 60 * 60 * 1000);
    EXPECT_LT(UtcMillisecondsOfDay(), 24u * 60 * 60 * 1000);
}

}  // namespace
}  // namespace quipix
