#include <cmath>

#include "camera/noise.h"
#include "camera/videocam.h"
#include "platform/rand.h"


namespace {

void draw_square(Frame& frame, int cx, int cy) {
    for (int y = cy - kSquareHalf; y <= cy + kSquareHalf; ++y) {
        for (int x = cx - kSquareHalf; x <= cx + kSquareHalf; ++x) {
            const int r = platform::rand();
            frame[static_cast<size_t>(y) * kFrameWidth + x] = static_cast<uint8_t>(180 + r * 40 / 32767);
        }
    }
}

// sin of the phase in double precision, rounded to float32 as the camera stores it.
float phase_sine(float phase) { return static_cast<float>(std::sin(static_cast<double>(phase))); }

}  // namespace

int square1_row(float phase) {
    return static_cast<int>((static_cast<double>(phase_sine(phase)) + 1.0) * 120.0 + 10.0);
}

int square3_column(float phase) {
    return static_cast<int>((static_cast<double>(phase_sine(phase)) + 1.0) * 100.0 + 10.0);
}

Videocam_dummy::Videocam_dummy(const float* phase) : phase_(phase) {}

bool Videocam_dummy::start() {
    started = true;
    return true;
}

bool Videocam_dummy::stop() {
    started = false;
    return true;
}

bool Videocam_dummy::grab(Frame& frame) {
    if (!started) return false;
    if (frame.size() != kFrameBytes) frame.resize(kFrameBytes);

    const uint32_t state = platform::rand_state();
    camera_noise::fill_noise(frame.data(), state);
    constexpr platform::RandJump noise_draws = platform::rand_jump(kFrameBytes);
    platform::set_rand_state(state * noise_draws.multiplier + noise_draws.increment);

    const float phase = *phase_;
    draw_square(frame, 10, square1_row(phase));
    draw_square(frame, kSquare2Column, kSquare2Row);
    draw_square(frame, square3_column(phase), 250);
    return true;
}
