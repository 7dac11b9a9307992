// The automatic set-up's threshold: on the synthetic camera, and against the
// plain rule (flood fill at every threshold) on noisy scenes; what it tells
// the operator. The set-up scenes themselves are in setup_scenes_test.cpp.

#include "cluster/auto_threshold.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "camera/frame_ops.h"
#include "cluster/clustering.h"
#include "tests/cluster/scene_frames.h"

namespace {

using scene_frames::camera_frame;

Options with_method(int32_t method) {
    Options o = default_options();
    o.cluster_method = method;
    return o;
}

// The method's own clusters at threshold t, as a cycle makes them.
ClusterList clusters_at(const Frame& raw, const Options& options, int32_t t) {
    Frame thresholded;
    threshold_frame(raw, thresholded, t);
    BrightPixelList pixels;
    list_bright_pixels(thresholded, pixels);
    KMeansSums sums;
    RegionGrowWork grow;
    MergeWork merge;
    ClusterList clusters;
    run_clustering(options, sums, grow, merge, pixels, clusters);
    return clusters;
}

// Two markers joined by a dim bridge.
Frame bridged_markers() {
    std::vector<scene_frames::Marker> m;
    for (double x = 100; x <= 190; x += 3) m.push_back({x, 100.0, 2.0, 120});
    m.push_back({100.2, 100.4, 5.0, 240});
    m.push_back({190.6, 100.3, 5.0, 200});
    return scene_frames::draw(scene_frames::Background{10.0, 20.0, 3, 9}, m);
}

// The markers at threshold t by flood fill: groups of at least `min_pixels`,
// each as the mean of its pixels, with the index of its first pixel.
struct PlainMarker {
    double x, y;
    int32_t first;
};
std::vector<PlainMarker> markers_at(const Frame& raw, int32_t t, int32_t min_pixels, std::vector<int32_t>& label) {
    label.assign(kFrameBytes, -1);
    std::vector<PlainMarker> out;
    std::vector<int32_t> stack, members;
    for (int32_t start = 0; start < static_cast<int32_t>(kFrameBytes); ++start) {
        if (label[static_cast<size_t>(start)] != -1 || raw[static_cast<size_t>(start)] < t) continue;
        members.assign(1, start);
        label[static_cast<size_t>(start)] = -2;
        stack.assign(1, start);
        while (!stack.empty()) {
            const int32_t i = stack.back();
            stack.pop_back();
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t x = i % kFrameWidth + dx, y = i / kFrameWidth + dy;
                    if (x < 0 || y < 0 || x >= kFrameWidth || y >= kFrameHeight) continue;
                    const int32_t j = y * kFrameWidth + x;
                    if (label[static_cast<size_t>(j)] != -1 || raw[static_cast<size_t>(j)] < t) continue;
                    label[static_cast<size_t>(j)] = -2;
                    members.push_back(j);
                    stack.push_back(j);
                }
        }
        const bool big = static_cast<int32_t>(members.size()) >= min_pixels;
        double sx = 0, sy = 0;
        for (const int32_t j : members) {
            label[static_cast<size_t>(j)] = big ? static_cast<int32_t>(out.size()) : -3;
            sx += j % kFrameWidth;
            sy += j / kFrameWidth;
        }
        if (big) out.push_back({sx / members.size(), sy / members.size(), start});
    }
    return out;
}

struct PlainRange {
    int32_t low, high, markers;
};

// The ranges as the rule says them, threshold by threshold from the
// brightest down: a range goes on while every marker of its top lies in its
// own marker, as many as there were, and within half a pixel of where it was.
std::vector<PlainRange> plain_ranges(const Frame& raw, int32_t lowest, int32_t min_pixels) {
    std::vector<PlainRange> ranges;
    std::vector<PlainMarker> top;
    std::vector<int32_t> label;
    int32_t high = 256;
    for (int32_t t = 255; t >= lowest; --t) {
        const std::vector<PlainMarker> now = markers_at(raw, t, min_pixels, label);
        bool same = now.size() == top.size();
        std::vector<char> taken(now.size(), 0);
        for (size_t k = 0; k < top.size() && same; ++k) {
            const int32_t m = label[static_cast<size_t>(top[k].first)];
            same = m >= 0 && !taken[static_cast<size_t>(m)] &&
                   std::hypot(now[static_cast<size_t>(m)].x - top[k].x, now[static_cast<size_t>(m)].y - top[k].y) <= 0.5;
            if (same) taken[static_cast<size_t>(m)] = 1;
        }
        if (!same) {
            if (high <= 255) ranges.push_back({t + 1, high, static_cast<int32_t>(top.size())});
            high = t;
            top = now;
        }
    }
    ranges.push_back({lowest, high, static_cast<int32_t>(top.size())});
    return ranges;
}

class AutoThresholdByMethod : public ::testing::TestWithParam<int32_t> {};

// Noise 0 to 50, squares 180 to 220: from 51 to 180 only the squares pass,
// whole, wherever the phase has moved them and whether or not the frame is
// flipped; at the chosen distance region grow and merge make them three
// clusters (k-means keeps its own count of centres).
TEST_P(AutoThresholdByMethod, SyntheticCameraFindsTheThreeSquares) {
    Options options = with_method(GetParam());
    AutoThresholdWork work;
    for (const float phase : {0.0f, 1.6f, 4.0f}) {
        for (const bool flipped : {false, true}) {
            const Frame raw = camera_frame(phase, flipped);
            const AutoThreshold r = choose_threshold(work, raw, options);
            ASSERT_TRUE(r.found());
            EXPECT_EQ(r.markers, 3);
            EXPECT_LE(r.low, 51);
            EXPECT_GE(r.high, 180);
            EXPECT_EQ(r.threshold, (r.low + r.high) / 2);
            EXPECT_EQ(r.max_distance > 0, GetParam() != 1);
            Options applied = options;
            apply_choice(r, applied);
            if (GetParam() != 1) {
                EXPECT_EQ(clusters_at(raw, applied, r.threshold).size(), 3u) << phase;
            }
        }
    }
}

// The counts the pass saw at every threshold and the range it chose are
// those of the plain rule, on noisy scenes, a glow and two markers joined by
// a dim bridge.
TEST_P(AutoThresholdByMethod, CountsAndRangeEqualThoseOfThePlainRule) {
    const Options options = with_method(GetParam());
    const int32_t min_pixels = GetParam() == 0   ? options.regiongrow_min_cluster_size
                               : GetParam() == 2 ? options.cure_min_cluster_size
                                                 : 1;
    const auto scenes = scene_frames::setup_scenes();
    for (const Frame& raw : {scenes[1].frame(), scenes[2].frame(), bridged_markers()}) {
        AutoThresholdWork work;
        const AutoThreshold r = choose_threshold(work, raw, options);
        uint32_t bright = 0;
        for (int32_t t = 255; t >= work.lowest; --t) bright += work.histogram[static_cast<size_t>(t)];
        EXPECT_LE(bright, kAutoThresholdMaxBright);
        EXPECT_GT(bright + work.histogram[static_cast<size_t>(work.lowest - 1)], kAutoThresholdMaxBright);

        std::vector<int32_t> label;
        for (int32_t t = work.lowest; t < 256; t += 7)
            ASSERT_EQ(work.counts[static_cast<size_t>(t)],
                      static_cast<int32_t>(markers_at(raw, t, min_pixels, label).size()))
                << "threshold " << t;
        PlainRange best{0, -1, 0};
        for (const PlainRange& range : plain_ranges(raw, work.lowest, min_pixels))
            if (range.markers > 0 && range.high - range.low > best.high - best.low) best = range;
        EXPECT_EQ(r.low, best.low);
        EXPECT_EQ(r.high, best.high);
        EXPECT_EQ(r.markers, best.markers);
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, AutoThresholdByMethod, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return std::string(info.param == 0 ? "RegionGrow" : info.param == 1 ? "KMeans" : "Merge");
                         });

TEST(AutoThreshold, FindsNothingWithoutAFrameOrAnyMarkerAndSaysSo) {
    AutoThresholdWork work;
    const AutoThreshold none = choose_threshold(work, Frame(100, 255), with_method(0));
    EXPECT_EQ(none.outcome, AutoThresholdOutcome::no_frame);
    EXPECT_EQ(auto_threshold_text(none), "auto: there is no camera frame yet");
    const AutoThreshold dark = choose_threshold(work, Frame(kFrameBytes, 0), with_method(0));
    EXPECT_EQ(dark.outcome, AutoThresholdOutcome::nothing);
    Options o = with_method(0);
    o.threshold = 7;
    apply_choice(dark, o);
    EXPECT_EQ(o.threshold, 7);
    EXPECT_EQ(auto_threshold_text(dark), "auto: no threshold leaves any marker; nothing changed");
}

TEST(AutoThreshold, SaysWhatItChose) {
    AutoThreshold r;
    r.outcome = AutoThresholdOutcome::found;
    r.threshold = 122;
    r.markers = 4;
    EXPECT_EQ(auto_threshold_text(r), "threshold 122: 4 markers");
    r.max_distance = 14;
    EXPECT_EQ(auto_threshold_text(r), "threshold 122, max distance 14: 4 markers");
    Options o = with_method(2);
    apply_choice(r, o);
    EXPECT_EQ(o.threshold, 122);
    EXPECT_EQ(o.cure_max_distance, 14);
    EXPECT_EQ(o.regiongrow_max_distance, default_options().regiongrow_max_distance);
}

}  // namespace
