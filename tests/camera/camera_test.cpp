// The synthetic camera: its exact frame, the order of its draws from the shared
// generator, the square positions and the stopped camera.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "camera/noise.h"
#include "camera/videocam.h"
#include "platform/rand.h"

namespace {

// The camera written out the plain way, one serial draw at a time.
Frame reference_grab(float phase) {
    Frame f(kFrameBytes);
    for (size_t i = 0; i < kFrameBytes; ++i) f[i] = static_cast<uint8_t>(platform::rand() * 50 / 32767);
    auto square = [&](int cx, int cy) {
        for (int y = cy - 5; y <= cy + 5; ++y)
            for (int x = cx - 5; x <= cx + 5; ++x)
                f[static_cast<size_t>(y) * 480 + x] = static_cast<uint8_t>(180 + platform::rand() * 40 / 32767);
    };
    const double s = static_cast<float>(std::sin(static_cast<double>(phase)));
    square(10, static_cast<int>((s + 1.0) * 120.0 + 10.0));
    square(450, 340);
    square(static_cast<int>((s + 1.0) * 100.0 + 10.0), 250);
    return f;
}

struct Box {
    int x0 = 480, y0 = 360, x1 = -1, y1 = -1, count = 0;
};

// Bounding box of the pixels of at least 180 within a window of columns and rows.
Box bright_box(const Frame& f, int cx0, int cx1, int cy0, int cy1) {
    Box b;
    for (int y = cy0; y <= cy1; ++y)
        for (int x = cx0; x <= cx1; ++x)
            if (f[static_cast<size_t>(y) * 480 + x] >= 180) {
                b.x0 = std::min(b.x0, x);
                b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y);
                b.y1 = std::max(b.y1, y);
                ++b.count;
            }
    return b;
}

}  // namespace

class CameraFrame : public ::testing::TestWithParam<float> {};

TEST_P(CameraFrame, MatchesTheSerialGeneratorByteForByteAndLeavesTheSameState) {
    const float phase = GetParam();
    for (uint32_t seed : {1u, 0x9E3779B9u}) {
        platform::set_rand_state(seed);
        const Frame expected = reference_grab(phase);
        const uint32_t state_after = platform::rand_state();

        platform::set_rand_state(seed);
        Videocam_dummy cam(&phase);
        ASSERT_TRUE(cam.start());
        Frame frame;
        ASSERT_TRUE(cam.grab(frame));
        ASSERT_EQ(frame.size(), kFrameBytes);
        EXPECT_TRUE(frame == expected) << "phase " << phase << " seed " << seed;
        EXPECT_EQ(platform::rand_state(), state_after) << "the next draw must continue the sequence";
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, CameraFrame,
                         ::testing::Values(0.0f, 0.01f, 1.0f, static_cast<float>(std::numbers::pi / 2),
                                           static_cast<float>(-std::numbers::pi / 2), 12.34f, 1000.0f));

struct SquareCase {
    float phase;
    int square1_row;
    int square3_column;
    friend std::ostream& operator<<(std::ostream& os, const SquareCase& c) { return os << "phase " << c.phase; }
};

class CameraSquares : public ::testing::TestWithParam<SquareCase> {};

TEST_P(CameraSquares, StandWhereThePhasePutsThem) {
    const SquareCase c = GetParam();
    EXPECT_EQ(square1_row(c.phase), c.square1_row);
    EXPECT_EQ(square3_column(c.phase), c.square3_column);

    platform::set_rand_state(1);
    Videocam_dummy cam(&c.phase);
    cam.start();
    Frame f;
    cam.grab(f);
    // Every pixel is noise (0 to 50) or square (180 to 220).
    for (uint8_t v : f) ASSERT_TRUE(v <= 50 || (v >= 180 && v <= 220)) << int(v);

    // Squares 1 and 3 share columns when the sine is near -1 and rows when it is
    // near 1; search each where the other cannot be.
    const bool square3_left = c.square3_column <= 25;
    const Box s1 = bright_box(f, 0, 20, 0, square3_left ? 239 : 359);
    EXPECT_EQ(s1.count, 121);
    EXPECT_EQ((s1.x0 + s1.x1) / 2, 10);
    EXPECT_EQ((s1.y0 + s1.y1) / 2, c.square1_row);
    const Box s2 = bright_box(f, 400, 479, 300, 359);
    EXPECT_EQ(s2.count, 121);
    EXPECT_EQ(s2.x0, 445);
    EXPECT_EQ(s2.y1, 345);
    const Box s3 = bright_box(f, square3_left ? 0 : 21, 479, 240, 260);
    EXPECT_EQ(s3.count, 121);
    EXPECT_EQ((s3.x0 + s3.x1) / 2, c.square3_column);
    EXPECT_EQ((s3.y0 + s3.y1) / 2, 250);
}

INSTANTIATE_TEST_SUITE_P(Extremes, CameraSquares,
                         ::testing::Values(SquareCase{0.0f, 130, 110},
                                           SquareCase{static_cast<float>(std::numbers::pi / 2), 250, 210},
                                           SquareCase{static_cast<float>(-std::numbers::pi / 2), 10, 10},
                                           SquareCase{0.5f, 187, 157}));

TEST(CameraStopped, GrabDoesNothingBeforeStartAndAfterStop) {
    const float phase = 0.0f;
    Videocam_dummy cam(&phase);
    EXPECT_FALSE(cam.started) << "a new camera is stopped";
    Frame empty;
    const uint32_t state = platform::rand_state();
    EXPECT_FALSE(cam.grab(empty));
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(platform::rand_state(), state) << "a refused grab draws nothing";

    ASSERT_TRUE(cam.start());
    Frame f;
    ASSERT_TRUE(cam.grab(f));
    const Frame before = f;
    ASSERT_TRUE(cam.stop());
    EXPECT_FALSE(cam.grab(f));
    EXPECT_TRUE(f == before);
}

class CameraBufferLength : public ::testing::TestWithParam<size_t> {};

TEST_P(CameraBufferLength, IsMadeExactlyOneFrameLong) {
    const float phase = 0.0f;
    Videocam_dummy cam(&phase);
    cam.start();
    Frame f(GetParam(), 7);
    ASSERT_TRUE(cam.grab(f));
    EXPECT_EQ(f.size(), kFrameBytes);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CameraBufferLength, ::testing::Values(0u, 1u, 172799u, 172801u, 400000u));

// Both noise kernels give the serial generator's bytes, whichever the CPU picks.
TEST(CameraNoise, SerialAndVectorKernelsAgree) {
    for (uint32_t state : {1u, 0u, 0xFFFFFFFFu, 0x2545F491u}) {
        platform::set_rand_state(state);
        Frame expected(kFrameBytes);
        for (uint8_t& v : expected) v = static_cast<uint8_t>(platform::rand() * 50 / 32767);

        Frame serial(kFrameBytes);
        camera_noise::fill_noise_serial(serial.data(), state);
        EXPECT_TRUE(serial == expected) << state;
        if (camera_noise::cpu_has_avx2()) {
            Frame vector(kFrameBytes);
            camera_noise::fill_noise_avx2(vector.data(), state);
            EXPECT_TRUE(vector == expected) << state;
        }
    }
}
