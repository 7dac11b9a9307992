#include "platform/timer.h"

#include <atomic>
#include <ctime>

namespace platform {
namespace {

int64_t monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

uint32_t monotonic_ms32() { return static_cast<uint32_t>(monotonic_ns() / 1000000); }

// Taken during static initialisation, before main runs.
const int64_t g_process_start_ns = monotonic_ns();

int64_t ms_since_start() { return (monotonic_ns() - g_process_start_ns) / 1000000; }

const TimerSource kRealSource{true, &monotonic_ns, &monotonic_ms32, &ms_since_start};
std::atomic<const TimerSource*> g_source{&kRealSource};
std::atomic<int> g_open_periods{0};

}  // namespace

bool query_performance_frequency(int64_t* frequency) {
    if (!g_source.load()->has_performance_counter) return false;
    *frequency = 1000000000;
    return true;
}

int64_t query_performance_counter() { return g_source.load()->counter(); }

uint32_t time_get_time() { return g_source.load()->milliseconds(); }

void time_begin_period(uint32_t) { ++g_open_periods; }
void time_end_period(uint32_t) { --g_open_periods; }
int open_timer_periods() { return g_open_periods.load(); }

int64_t clock_ms() { return g_source.load()->wall_ms(); }

void set_timer_source(const TimerSource* source) {
    g_source.store(source != nullptr ? source : &kRealSource);
}

}  // namespace platform
