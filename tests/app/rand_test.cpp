// The program's own generator: its sequence, its per-thread state and the
// jump-ahead that lets bulk users draw in lanes.

#include "platform/rand.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(Rand, FirstValuesFromAFreshThread) {
    std::vector<int> values;
    // A new thread starts from state 1 whatever other tests drew on this one.
    std::thread([&] {
        for (int i = 0; i < 5; ++i) values.push_back(platform::rand());
    }).join();
    EXPECT_EQ(values, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
}

TEST(Rand, StaysWithinZeroTo32767) {
    platform::set_rand_state(0xDEADBEEFu);
    int lo = 32767, hi = 0;
    for (int i = 0; i < 200000; ++i) {
        const int r = platform::rand();
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 32767);
}

class RandJump : public ::testing::TestWithParam<unsigned> {};

TEST_P(RandJump, EqualsThatManySerialDraws) {
    const unsigned steps = GetParam();
    for (uint32_t start : {1u, 0u, 0xFFFFFFFFu, 0x12345678u}) {
        uint32_t serial = start;
        for (unsigned i = 0; i < steps; ++i) serial = platform::rand_advance(serial);
        const platform::RandJump jump = platform::rand_jump(steps);
        EXPECT_EQ(start * jump.multiplier + jump.increment, serial) << "from " << start;
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, RandJump, ::testing::Values(0u, 1u, 2u, 15u, 16u, 17u, 1000u, 172800u));
