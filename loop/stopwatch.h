#pragma once
// Elapsed milliseconds as float32, from the high-resolution counter or, where
// there is none, from the 1 ms timer. Recording and playback run on its time.

#include <cstdint>

struct Stopwatch {
    int64_t frequency;             // counter ticks per second; 1000 with the ms timer
    float seconds_per_tick;        // 1 / frequency as float32; 0.001 with the ms timer
    uint32_t start_ms;             // ms-timer reading at start (without a counter only)
    bool use_performance_counter;  // true when the platform has a high-resolution counter
    int64_t start_ticks;           // counter reading at start

    // Opens the 1 ms timer period (closed once at shut-down) and starts timing.
    void start();
    // Milliseconds since start(); survives a wrap of the 32-bit ms timer.
    float elapsed_ms() const;
};
