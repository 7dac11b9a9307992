// The stopwatch on both of its clocks, and the timer period it opens.

#include "loop/stopwatch.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

using testing_support::FakeClockGuard;
using testing_support::FakeClocks;

TEST(StopwatchCounter, MeasuresFromTheCounterInMilliseconds) {
    FakeClockGuard clocks(true);
    FakeClocks::counter = 5'000'000'000;  // an arbitrary start reading
    const int periods = platform::open_timer_periods();
    Stopwatch sw;
    sw.start();
    EXPECT_TRUE(sw.use_performance_counter);
    EXPECT_EQ(sw.frequency, 1'000'000'000);
    EXPECT_FLOAT_EQ(sw.seconds_per_tick, 1e-9f);
    EXPECT_EQ(sw.start_ticks, 5'000'000'000);
    EXPECT_EQ(platform::open_timer_periods(), periods + 1) << "start opens the 1 ms period";

    FakeClocks::counter += 1'500'000;  // 1.5 ms later
    EXPECT_NEAR(sw.elapsed_ms(), 1.5f, 1e-4f);
    FakeClocks::counter += 60'000'000'000;  // a minute more
    EXPECT_NEAR(sw.elapsed_ms(), 60001.5f, 0.01f);
    platform::time_end_period(1);
}

TEST(StopwatchTimer, FallsBackToTheMillisecondTimer) {
    FakeClockGuard clocks(false);
    FakeClocks::milliseconds = 123456;
    Stopwatch sw;
    sw.start();
    EXPECT_FALSE(sw.use_performance_counter);
    EXPECT_EQ(sw.frequency, 1000);
    EXPECT_FLOAT_EQ(sw.seconds_per_tick, 0.001f);
    EXPECT_EQ(sw.start_ms, 123456u);
    FakeClocks::milliseconds += 250;
    EXPECT_NEAR(sw.elapsed_ms(), 250.0f, 1e-3f);
    platform::time_end_period(1);
}

TEST(StopwatchTimer, SurvivesTheWrapOfTheMillisecondTimer) {
    FakeClockGuard clocks(false);
    FakeClocks::milliseconds = 0xFFFFFF00u;  // 256 ms before the wrap
    Stopwatch sw;
    sw.start();
    FakeClocks::milliseconds = 0x00000100u;  // 256 ms after it
    EXPECT_NEAR(sw.elapsed_ms(), 512.0f, 1e-3f);
    platform::time_end_period(1);
}

TEST(StopwatchReal, RunsForwardOnTheRealClock) {
    Stopwatch sw;
    sw.start();
    const float a = sw.elapsed_ms();
    const float b = sw.elapsed_ms();
    EXPECT_GE(a, 0.0f);
    EXPECT_GE(b, a);
    platform::time_end_period(1);
}
