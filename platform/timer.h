#pragma once
// Timers of the platform: a monotonic high-resolution counter, a millisecond
// timer that wraps like a 32-bit tick count, the counted 1 ms timer period, and
// the wall clock in milliseconds since the process started.

#include <cstdint>

namespace platform {

// Counter ticks per second. Returns false when the platform has no
// high-resolution counter; `frequency` is then left untouched.
bool query_performance_frequency(int64_t* frequency);

// Current reading of the high-resolution counter (nanoseconds on Linux).
int64_t query_performance_counter();

// Milliseconds of the monotonic clock truncated to 32 bits: wraps after ~49.7 days.
uint32_t time_get_time();

// Requests and releases the 1 ms timer resolution. Linux needs no request, so
// these only count, which keeps the open-once / close-once pairing checkable.
void time_begin_period(uint32_t period_ms);
void time_end_period(uint32_t period_ms);
int open_timer_periods();

// Wall milliseconds since the process started, from the monotonic clock.
// (glibc's clock() is CPU time and must not drive the frame-rate counters.)
int64_t clock_ms();

// Lets tests stand in for the hardware: a missing counter, a millisecond
// timer near its wrap, a wall clock they advance themselves. Pass nullptr to
// return to the real clocks.
struct TimerSource {
    bool has_performance_counter;
    int64_t (*counter)();        // query_performance_counter
    uint32_t (*milliseconds)();  // time_get_time
    int64_t (*wall_ms)();        // clock_ms
};
void set_timer_source(const TimerSource* source);

}  // namespace platform
