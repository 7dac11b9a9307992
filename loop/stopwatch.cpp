#include "loop/stopwatch.h"

#include "platform/timer.h"

void Stopwatch::start() {
    platform::time_begin_period(1);
    frequency = 0;
    seconds_per_tick = 0.0f;
    start_ms = 0;
    use_performance_counter = false;
    start_ticks = 0;
    if (platform::query_performance_frequency(&frequency)) {
        use_performance_counter = true;
        start_ticks = platform::query_performance_counter();
        seconds_per_tick = static_cast<float>(1.0 / static_cast<double>(frequency));
    } else {
        use_performance_counter = false;
        start_ms = platform::time_get_time();
        seconds_per_tick = 0.001f;
        frequency = 1000;
    }
}

float Stopwatch::elapsed_ms() const {
    if (use_performance_counter) {
        const int64_t ticks = platform::query_performance_counter() - start_ticks;
        return static_cast<float>(static_cast<double>(ticks) * seconds_per_tick * 1000.0);
    }
    const uint32_t ms = platform::time_get_time() - start_ms;  // unsigned: a wrap stays positive
    return static_cast<float>(static_cast<double>(ms) * seconds_per_tick * 1000.0);
}
