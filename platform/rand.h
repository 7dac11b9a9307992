#pragma once
// The program's own pseudo-random generator: a linear congruential generator
// with one 32-bit state per thread, initially 1, never reseeded by the program.
// Each draw sets state = state * 214013 + 2531011 (mod 2^32) and returns
// (state >> 16) & 0x7FFF. The synthetic camera and the k-means seeding draw
// from the same sequence, so the order of their draws is part of the output.

#include <cstdint>

namespace platform {

inline constexpr uint32_t kRandMultiplier = 214013u;
inline constexpr uint32_t kRandIncrement = 2531011u;
inline constexpr int kRandMax = 32767;

constexpr uint32_t rand_advance(uint32_t state) { return state * kRandMultiplier + kRandIncrement; }
constexpr int rand_output(uint32_t state) { return static_cast<int>((state >> 16) & 0x7FFFu); }

// Coefficients that advance the state by `steps` draws at once:
// state_after = multiplier * state + increment (mod 2^32).
struct RandJump {
    uint32_t multiplier;
    uint32_t increment;
};
constexpr RandJump rand_jump(uint64_t steps) {
    // Composes the one-step map with itself by repeated squaring:
    // (m2, c2) after (m1, c1) is (m1 * m2, c1 * m2 + c2).
    RandJump result{1u, 0u};
    RandJump power{kRandMultiplier, kRandIncrement};
    while (steps > 0) {
        if (steps & 1u) result = {result.multiplier * power.multiplier, result.increment * power.multiplier + power.increment};
        power = {power.multiplier * power.multiplier, power.increment * power.multiplier + power.increment};
        steps >>= 1;
    }
    return result;
}

// One draw from this thread's generator: 0 to 32767.
int rand();

// The calling thread's generator state. Bulk users (the camera's noise) read
// it, draw in lanes, and store the state that the serial draws would have left.
uint32_t rand_state();
void set_rand_state(uint32_t state);

}  // namespace platform
