#pragma once
// Frames for the statistics and the automatic threshold: the synthetic
// camera's, and real-looking scenes of a background with a gradient and a
// little noise and round markers with anti-aliased edges at fractional
// positions. Each pixel's
// marker part is the share of the pixel the disc covers (counted on a grid of
// 8 x 8 points), so a marker's true centre is known to the last bit.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "camera/frame.h"
#include "camera/frame_ops.h"
#include "camera/videocam.h"
#include "platform/rand.h"

namespace scene_frames {

// The raw frame the synthetic camera grabs at `phase` with the generator at
// its initial state, flipped when asked.
inline Frame camera_frame(float phase, bool flipped = false) {
    platform::set_rand_state(1);
    Videocam_dummy cam(&phase);
    cam.start();
    Frame raw;
    cam.grab(raw);
    if (flipped) flip_frame(raw);
    return raw;
}

struct Marker {
    double x, y;     // centre, in pixel coordinates (a pixel's centre is at its integer position)
    double radius;
    int32_t peak;    // grey value of a fully covered pixel
};

struct Background {
    double left = 10.0;    // grey at column 0
    double right = 90.0;   // grey at column 479
    int32_t noise = 3;     // uniform noise of +- this much
    uint32_t seed = 7;
};

// Share of pixel (px, py) inside the disc.
inline double coverage(const Marker& m, int32_t px, int32_t py) {
    constexpr int kSteps = 8;
    int inside = 0;
    for (int j = 0; j < kSteps; ++j) {
        const double y = py - 0.5 + (j + 0.5) / kSteps;
        for (int i = 0; i < kSteps; ++i) {
            const double x = px - 0.5 + (i + 0.5) / kSteps;
            inside += (x - m.x) * (x - m.x) + (y - m.y) * (y - m.y) <= m.radius * m.radius;
        }
    }
    return static_cast<double>(inside) / (kSteps * kSteps);
}

// Something bright that is no marker: a lamp's glow or a reflection, a
// rectangle whose grey rises from left to right.
struct Glow {
    int32_t x0, y0, x1, y1;  // inclusive
    int32_t left, right;     // grey at x0 and at x1
};

inline Frame draw(const Background& bg, const std::vector<Marker>& markers, const std::vector<Glow>& glows = {}) {
    Frame f(kFrameBytes);
    std::mt19937 rng(bg.seed);
    std::uniform_int_distribution<int32_t> noise(-bg.noise, bg.noise);
    std::vector<double> grey(kFrameBytes);
    for (int32_t y = 0; y < kFrameHeight; ++y)
        for (int32_t x = 0; x < kFrameWidth; ++x)
            grey[static_cast<size_t>(y) * kFrameWidth + x] =
                bg.left + (bg.right - bg.left) * x / (kFrameWidth - 1) + noise(rng);
    for (const Glow& g : glows)
        for (int32_t y = g.y0; y <= g.y1; ++y)
            for (int32_t x = g.x0; x <= g.x1; ++x)
                grey[static_cast<size_t>(y) * kFrameWidth + x] =
                    g.left + static_cast<double>(g.right - g.left) * (x - g.x0) / std::max(g.x1 - g.x0, 1);
    for (const Marker& m : markers) {
        const int32_t r = static_cast<int32_t>(std::ceil(m.radius)) + 1;
        for (int32_t y = static_cast<int32_t>(m.y) - r; y <= static_cast<int32_t>(m.y) + r + 1; ++y) {
            for (int32_t x = static_cast<int32_t>(m.x) - r; x <= static_cast<int32_t>(m.x) + r + 1; ++x) {
                if (x < 0 || y < 0 || x >= kFrameWidth || y >= kFrameHeight) continue;
                const double c = coverage(m, x, y);
                double& g = grey[static_cast<size_t>(y) * kFrameWidth + x];
                g += c * (m.peak - g);
            }
        }
    }
    for (size_t i = 0; i < kFrameBytes; ++i) f[i] = static_cast<uint8_t>(std::clamp(std::lround(grey[i]), 0L, 255L));
    return f;
}

// Four markers of different brightness over the default gradient: the
// dimmest (130) sits on the bright side, where the background reaches
// about 80 (plus 3 of noise at most).
inline std::vector<Marker> four_markers() {
    return {{80.3, 90.6, 6.0, 240}, {360.7, 80.2, 6.0, 200}, {120.5, 270.4, 6.0, 160}, {400.1, 280.8, 6.0, 130}};
}

// The scenes a marker user sets up with: four discs of varied brightness
// and size forming a chain, alone, beside a glow brighter than the
// background, over heavy noise, and with two of them touching (1.5 pixels
// apart at the edges).
struct SetupScene {
    const char* name;
    Background background;
    std::vector<Marker> markers;
    std::vector<Glow> glows;
    Frame frame() const { return draw(background, markers, glows); }
};

inline std::vector<SetupScene> setup_scenes() {
    const std::vector<Marker> chain = {
        {90.3, 120.6, 5.0, 255}, {170.7, 150.2, 7.0, 220}, {250.5, 110.4, 4.0, 200}, {330.1, 160.8, 6.0, 240}};
    std::vector<Marker> touching = chain;
    touching[2] = {170.7 + 7.0 + 1.5 + 4.0, 150.2, 4.0, 200};
    return {
        {"Discs", Background{20.0, 60.0, 3, 11}, chain, {}},
        {"DiscsBesideAGlow", Background{20.0, 60.0, 3, 12}, chain, {{360, 230, 440, 300, 70, 150}}},
        {"DiscsInNoise", Background{30.0, 70.0, 15, 13}, chain, {}},
        {"TouchingDiscs", Background{20.0, 60.0, 3, 14}, touching, {}},
    };
}

}  // namespace scene_frames
