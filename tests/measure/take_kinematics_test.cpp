// Gaps, the zero-phase filter over a take and the rates worked out from it,
// against motions whose every number is known in closed form.

#include "measure/take_kinematics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "measure/butterworth.h"

namespace {

// Frame times 10 ms apart with a jitter of up to 1.5 ms, as a camera's are.
std::vector<double> jittered_times(size_t frames) {
    std::vector<double> t;
    for (size_t f = 0; f < frames; ++f) t.push_back(10.0 * f + 1.5 * std::sin(1.7 * f));
    return t;
}

// A take of `nodes` nodes whose positions `at(node, time_ms)` gives, measured
// as sub-pixel centres, every sample tracked.
template <class At>
FrameTable take(const std::vector<double>& times, int32_t nodes, At at) {
    FrameTable t;
    t.nodes_per_frame = nodes;
    t.times_ms = times;
    for (const double time : times) {
        for (int32_t n = 0; n < nodes; ++n) {
            const PlanePoint p = at(n, time);
            t.nodes.push_back(ModelNode{static_cast<int32_t>(std::lround(p.x)), static_cast<int32_t>(std::lround(p.y)), 255});
            t.states.push_back(NodeState::tracked);
            t.sub_pixel_centres.push_back(SubPixelCentre{static_cast<float>(p.x), static_cast<float>(p.y)});
        }
    }
    return t;
}

// Holds node n over frames [first, last): tracking kept it where it was.
void hold(FrameTable& t, size_t n, size_t first, size_t last) {
    const size_t k = static_cast<size_t>(t.nodes_per_frame);
    for (size_t f = first; f < last; ++f) {
        t.states[f * k + n] = NodeState::held;
        t.nodes[f * k + n] = t.nodes[(first - 1) * k + n];
        t.sub_pixel_centres[f * k + n] = SubPixelCentre{};
    }
}

// x and y cubic in time, as a marker moving smoothly.
PlanePoint cubic(double ms) {
    const double s = ms / 1000.0;
    return PlanePoint{100 + 80 * s - 30 * s * s + 12 * s * s * s, 200 - 50 * s + 40 * s * s - 9 * s * s * s};
}

}  // namespace

struct GapCase {
    const char* name;
    size_t first;      // the gap's frames, [first, last)
    size_t last;
    int32_t max_frames;
    bool filled;
};

class GapFilling : public ::testing::TestWithParam<GapCase> {};

TEST_P(GapFilling, FillsShortGapsBetweenMeasurementsOnTheirCubic) {
    const GapCase c = GetParam();
    FrameTable t = take(jittered_times(30), 1, [](int32_t, double ms) { return cubic(ms); });
    hold(t, 0, c.first, c.last);
    const FrameTable before = t;
    EXPECT_EQ(fill_gaps(t, c.max_frames), c.filled ? static_cast<int64_t>(c.last - c.first) : 0);
    EXPECT_EQ(t.frame_count(), 30u) << "every frame keeps its row";
    for (size_t f = c.first; f < c.last; ++f) {
        if (!c.filled) {
            EXPECT_EQ(t.states[f], NodeState::held);
            EXPECT_EQ(t.nodes[f].x, before.nodes[f].x);
            continue;
        }
        const PlanePoint truth = cubic(t.times_ms[f]);
        EXPECT_EQ(t.states[f], NodeState::filled);
        EXPECT_NEAR(t.sub_pixel_centres[f].x, truth.x, 1e-3) << f;
        EXPECT_NEAR(t.sub_pixel_centres[f].y, truth.y, 1e-3) << f;
        EXPECT_EQ(t.nodes[f].x, std::lround(t.sub_pixel_centres[f].x));
    }
}

INSTANTIATE_TEST_SUITE_P(Gaps, GapFilling,
                         ::testing::Values(GapCase{"one_frame", 10, 11, 1, true},
                                           GapCase{"as_long_as_allowed", 10, 15, 5, true},
                                           GapCase{"one_frame_too_long", 10, 16, 5, false},
                                           GapCase{"at_the_end", 26, 30, 5, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GapFilling, LeavesGapsAtEitherEndAndUsesFewerNeighboursWhereThereAreNone) {
    // A straight motion, so a line through one neighbour each side is exact.
    const auto line = [](int32_t, double ms) { return PlanePoint{10 + 0.3 * ms, 50 - 0.1 * ms}; };
    FrameTable t = take(jittered_times(20), 1, line);
    t.states[0] = NodeState::held;
    hold(t, 0, 3, 4);  // frame 2 stands alone between two gaps
    hold(t, 0, 5, 7);
    EXPECT_EQ(fill_gaps(t, 3), 3);
    EXPECT_EQ(t.states[0], NodeState::held) << "nothing before it";
    for (const size_t f : {3, 5, 6}) {
        EXPECT_EQ(t.states[f], NodeState::filled);
        EXPECT_NEAR(t.sub_pixel_centres[f].x, line(0, t.times_ms[f]).x, 1e-3);
    }
}

// A chain whose last link turns at 120 degrees per second through +-180:
// the filtered angle follows it and its rate stays 120 without a jump.
TEST(TakeKinematics, AngleRatesComeFromTheUnwrappedAngle) {
    const double rate_dps = 120.0;
    std::vector<double> times;
    for (int f = 0; f < 200; ++f) times.push_back(10.0 * f);
    FrameTable t = take(times, 3, [&](int32_t n, double ms) {
        const double turn = (100.0 + rate_dps * ms / 1000.0) * std::numbers::pi / 180.0;
        if (n == 0) return PlanePoint{100, 100};
        if (n == 1) return PlanePoint{200, 100};
        return PlanePoint{200 + 60 * std::cos(turn), 100 + 60 * std::sin(turn)};
    });
    TakeKinematics k;
    std::string error;
    ASSERT_TRUE(take_kinematics(t, MeasureContext{}, 8.0, k, error)) << error;
    EXPECT_DOUBLE_EQ(k.rate_hz, 100.0);
    for (size_t f = 5; f + 5 < 200; ++f) {
        const double truth = std::remainder(100.0 + rate_dps * t.times_ms[f] / 1000.0, 360.0);
        EXPECT_NEAR(std::remainder(k.angle_f_deg[f * 3 + 1] - truth, 360.0), 0.0, 1e-3) << f;
        EXPECT_GT(k.angle_f_deg[f * 3 + 1], -180.0);
        EXPECT_LE(k.angle_f_deg[f * 3 + 1], 180.0);
        EXPECT_NEAR(k.omega_dps[f * 3 + 1], rate_dps, 1e-3) << f;
    }
    EXPECT_TRUE(std::isnan(k.omega_dps[0 * 3 + 1])) << "no neighbour before the first frame";
    EXPECT_TRUE(std::isnan(k.speed[50 * 3 + 2])) << "no source pixels without a geometry";
}

// A node moving at a constant 500 px/s across a picture calibrated at 2 mm a
// pixel runs at 1000 mm/s; its marker lost for three frames leaves a hole in
// the filtered numbers and splits the stretch.
TEST(TakeKinematics, SpeedIsInTheWorldUnitAndGapsSplitTheStretches) {
    // The source slows to half its rate at frame 60: rates come from the
    // file's own times, not from the filter's one interval (the samples
    // around the change, which the filter takes as evenly spaced, are left
    // out of the check).
    std::vector<double> times;
    for (int f = 0; f < 100; ++f) times.push_back(f < 60 ? 10.0 * f : 600.0 + 20.0 * (f - 60));
    FrameTable t = take(times, 1, [](int32_t, double ms) { return PlanePoint{50 + 0.3 * ms, 80 + 0.4 * ms}; });
    hold(t, 0, 40, 43);
    Calibration c;
    c.scale = ScaleLevel{{0, 0}, {10, 0}, 20.0, "mm"};
    CalibrationMap map;
    std::string error;
    ASSERT_TRUE(compile_calibration(c, 480, 360, map, error)) << error;
    const SourceGeometry frame = source_geometry(480, 360);
    TakeKinematics k;
    ASSERT_TRUE(take_kinematics(t, MeasureContext{&frame, false, &map}, 10.0, k, error)) << error;
    for (int f = 1; f < 99; ++f) {
        if (f >= 39 && f <= 43) {
            EXPECT_TRUE(std::isnan(k.speed[f])) << f;
            continue;
        }
        if (f > 43 && f < 85) continue;
        EXPECT_NEAR(k.speed[f], 1000.0, 1e-3) << f;  // centres are floats
    }
    EXPECT_TRUE(std::isnan(k.speed[0]));
    EXPECT_EQ(k.x_cutoff_hz[0], 10.0);
    EXPECT_NE(describe_cutoffs(k).find("n0: angle "), std::string::npos);
}

// Residual analysis on a motion up to 1.6 Hz with noise: the cutoff it picks lies
// above the motion and below the noise, and filtering there brings the
// signal closer to the truth.
TEST(TakeKinematics, AutomaticCutoffTakesNoiseAwayAndKeepsTheMotion) {
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 1.5);
    const double rate = 200.0;
    std::vector<double> truth, noisy;
    for (int i = 0; i < 1000; ++i) {
        const double s = i / rate;
        truth.push_back(30 * std::sin(2 * std::numbers::pi * 1.0 * s) + 10 * std::sin(2 * std::numbers::pi * 1.6 * s));
        noisy.push_back(truth.back() + noise(random));
    }
    const std::span<const double> whole(noisy);
    const double cutoff = residual_cutoff_hz(std::span(&whole, 1), rate);
    EXPECT_GT(cutoff, 2.0);
    EXPECT_LT(cutoff, 15.0);
    std::vector<double> filtered(noisy.size());
    zero_phase_low_pass(noisy, cutoff, rate, filtered);
    double before = 0, after = 0;
    for (size_t i = 0; i < truth.size(); ++i) {
        before += (noisy[i] - truth[i]) * (noisy[i] - truth[i]);
        after += (filtered[i] - truth[i]) * (filtered[i] - truth[i]);
    }
    EXPECT_LT(after, before / 4);
}

TEST(TakeKinematics, RefusesACutoffTheFrameRateCannotCarryAndTimesThatDoNotRise) {
    FrameTable t = take(jittered_times(50), 1, [](int32_t, double ms) { return cubic(ms); });
    TakeKinematics k;
    std::string error;
    EXPECT_FALSE(take_kinematics(t, MeasureContext{}, 40.0, k, error));
    EXPECT_NE(error.find("too high"), std::string::npos) << error;
    t.times_ms.assign(50, 5.0);
    EXPECT_FALSE(take_kinematics(t, MeasureContext{}, 5.0, k, error));
    EXPECT_NE(error.find("do not rise"), std::string::npos) << error;
}
