// The automatic threshold: on the synthetic camera, on four markers of
// different brightness over a gradient, the count it sees at every threshold
// against a plain count, and what it tells the operator.

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

// 8-connected groups of pixels at or above t, by flood fill.
int32_t groups_at(const Frame& raw, int32_t t) {
    std::vector<uint8_t> seen(kFrameBytes, 0);
    std::vector<int32_t> stack;
    int32_t groups = 0;
    for (int32_t start = 0; start < static_cast<int32_t>(kFrameBytes); ++start) {
        if (seen[static_cast<size_t>(start)] || raw[static_cast<size_t>(start)] < t) continue;
        ++groups;
        seen[static_cast<size_t>(start)] = 1;
        stack.assign(1, start);
        while (!stack.empty()) {
            const int32_t i = stack.back();
            stack.pop_back();
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t x = i % kFrameWidth + dx, y = i / kFrameWidth + dy;
                    if (x < 0 || y < 0 || x >= kFrameWidth || y >= kFrameHeight) continue;
                    const int32_t j = y * kFrameWidth + x;
                    if (seen[static_cast<size_t>(j)] || raw[static_cast<size_t>(j)] < t) continue;
                    seen[static_cast<size_t>(j)] = 1;
                    stack.push_back(j);
                }
        }
    }
    return groups;
}

const char* kMethodNames[] = {"region grow", "k-means", "merge"};

class AutoThresholdByMethod : public ::testing::TestWithParam<int32_t> {};

// Noise 0 to 50, squares 180 to 220: from 51 to 180 only the squares pass,
// whole, wherever the phase has moved them and whether or not the frame is
// flipped.
TEST_P(AutoThresholdByMethod, SyntheticCameraWithThreeNodesPicksAThresholdThatIsolatesTheSquares) {
    const Options options = with_method(GetParam());
    AutoThresholdWork work;
    for (const float phase : {0.0f, 0.3f, 1.6f, 4.0f}) {
        for (const bool flipped : {false, true}) {
            const Frame raw = camera_frame(phase, flipped);
            const AutoThreshold r = choose_threshold(work, raw, options, 3);
            EXPECT_EQ(r.outcome, AutoThresholdOutcome::exact);
            EXPECT_GE(r.threshold, 51) << phase;
            EXPECT_LE(r.threshold, 180) << phase;
            EXPECT_LE(r.low, 51);
            EXPECT_GE(r.high, 180);
        }
    }
}

// The dimmest marker's full pixels are 130 exactly; the background reaches
// its maximum at the right edge, far from every marker. With four nodes the
// chosen threshold lies above the background and at most 130; with three the
// dimmest marker must be gone (above 130) and the second dimmest (160) kept;
// with two, 161 to 200. At each choice the method itself gives that many
// clusters, each on a marker.
TEST_P(AutoThresholdByMethod, FourMarkersOverAGradient) {
    const int32_t method = GetParam();
    Options options = with_method(method);
    const auto markers = scene_frames::four_markers();
    const Frame raw = scene_frames::draw(scene_frames::Background{}, markers);
    const Frame background = scene_frames::draw(scene_frames::Background{}, {});
    const int32_t brightest_background = *std::max_element(background.begin(), background.end());

    struct Expectation {
        int32_t wanted, low, high;
    };
    AutoThresholdWork work;
    for (const Expectation e : {Expectation{4, brightest_background + 1, 130}, Expectation{3, 131, 160},
                                Expectation{2, 161, 200}}) {
        const AutoThreshold r = choose_threshold(work, raw, options, e.wanted);
        ASSERT_EQ(r.outcome, AutoThresholdOutcome::exact) << kMethodNames[method] << " " << e.wanted;
        EXPECT_GE(r.threshold, e.low) << kMethodNames[method] << " " << e.wanted;
        EXPECT_LE(r.threshold, e.high) << kMethodNames[method] << " " << e.wanted;
        EXPECT_TRUE(auto_threshold_message(r, e.wanted, 0).empty());

        if (method == 1) {
            // Separate groups are what k-means is counted by: the range is
            // exactly the thresholds between the background and the marker.
            EXPECT_EQ(r.low, e.low);
            EXPECT_EQ(r.high, e.high);
            EXPECT_EQ(groups_at(raw, r.threshold), e.wanted);
            continue;
        }
        const ClusterList clusters = clusters_at(raw, options, r.threshold);
        ASSERT_EQ(static_cast<int32_t>(clusters.size()), e.wanted);
        for (const Cluster& c : clusters) {
            const bool on_marker = std::any_of(markers.begin(), markers.end(), [&](const auto& m) {
                return std::hypot(c.x - m.x, c.y - m.y) < 2.0 && m.peak >= r.threshold;
            });
            EXPECT_TRUE(on_marker) << c.x << "," << c.y;
        }
    }

    // Five: no threshold isolates five things without the background; the
    // nearest count above is taken and the operator told so.
    const AutoThreshold more = choose_threshold(work, raw, options, 5);
    EXPECT_EQ(more.outcome, AutoThresholdOutcome::more);
    EXPECT_GT(more.clusters, 5);
    EXPECT_LE(more.threshold, brightest_background);
    EXPECT_NE(auto_threshold_message(more, 5, 0).find("nearest count above"), std::string::npos);
}

// Two markers joined by a dim bridge: the count goes 1, 2 and, once the
// bridge passes, 1 again over a range wider than the first.
Frame bridged_markers() {
    std::vector<scene_frames::Marker> m;
    for (double x = 100; x <= 190; x += 3) m.push_back({x, 100.0, 2.0, 120});
    m.push_back({100.2, 100.4, 5.0, 240});
    m.push_back({190.6, 100.3, 5.0, 200});
    return scene_frames::draw(scene_frames::Background{10.0, 20.0, 3, 9}, m);
}

// Every count the choice saw is what the method, or the flood fill for
// k-means, gives at that threshold; with a count no threshold reaches, every
// threshold down to the brightness bound is seen. Stopping early, once
// nothing below could be wider, picks the range the plain counts give: the
// widest with the count, the brighter on a tie.
TEST_P(AutoThresholdByMethod, CountsAndChoicesEqualThoseOfPlainCounts) {
    const int32_t method = GetParam();
    const Options options = with_method(method);
    const scene_frames::Background noisy{30.0, 70.0, 12, 3};
    for (const Frame& raw : {scene_frames::draw(noisy, scene_frames::four_markers()), bridged_markers()}) {
        AutoThresholdWork work;
        (void)choose_threshold(work, raw, options, 1000);
        uint32_t bright = 0;
        for (int32_t t = 255; t >= work.lowest; --t) bright += work.histogram[static_cast<size_t>(t)];
        EXPECT_LE(bright, kAutoThresholdMaxBright);
        EXPECT_GT(bright + work.histogram[static_cast<size_t>(work.lowest - 1)], kAutoThresholdMaxBright);
        std::vector<int32_t> plain(256, 0);
        for (int32_t t = work.lowest; t < 256; ++t) {
            plain[static_cast<size_t>(t)] =
                method == 1 ? groups_at(raw, t) : static_cast<int32_t>(clusters_at(raw, options, t).size());
            ASSERT_EQ(work.counts[static_cast<size_t>(t)], plain[static_cast<size_t>(t)]) << "threshold " << t;
        }

        const int32_t lowest = work.lowest;
        for (const int32_t wanted : {1, 2, 3, 4}) {
            int32_t best_low = 0, best_high = -1;
            for (int32_t high = 255; high >= lowest;) {
                int32_t low = high;
                while (low > lowest && plain[static_cast<size_t>(low - 1)] == plain[static_cast<size_t>(high)]) --low;
                if (plain[static_cast<size_t>(high)] == wanted && high - low > best_high - best_low)
                    best_low = low, best_high = high;
                high = low - 1;
            }
            if (best_high < best_low) continue;
            const AutoThreshold r = choose_threshold(work, raw, options, wanted);
            EXPECT_EQ(r.low, best_low) << wanted;
            EXPECT_EQ(r.high, best_high) << wanted;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, AutoThresholdByMethod, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return std::string(info.param == 0 ? "RegionGrow" : info.param == 1 ? "KMeans" : "Merge");
                         });

TEST(AutoThreshold, RefusesWithoutAFrameOrAMethodAndKeepsTheThreshold) {
    AutoThresholdWork work;
    const Frame raw = camera_frame(0.3f, false);
    const AutoThreshold no_method = choose_threshold(work, raw, with_method(3), 3);
    EXPECT_EQ(no_method.outcome, AutoThresholdOutcome::no_method);
    EXPECT_FALSE(no_method.chosen());
    EXPECT_EQ(auto_threshold_message(no_method, 3, 42),
              "No clustering method is selected; the threshold stays at 42.");
    EXPECT_EQ(choose_threshold(work, Frame(100, 255), with_method(0), 3).outcome, AutoThresholdOutcome::no_frame);

    const AutoThreshold dark = choose_threshold(work, Frame(kFrameBytes, 0), with_method(0), 3);
    EXPECT_EQ(dark.outcome, AutoThresholdOutcome::nothing);
    EXPECT_EQ(auto_threshold_message(dark, 3, 7), "No threshold gives any cluster; the threshold stays at 7.");
}

// Two markers and three nodes on a clean background: no threshold gives three
// or more, so the widest range of the largest count is taken.
TEST(AutoThreshold, FewerThanWantedTakesTheLargestCount) {
    const Frame raw = scene_frames::draw(scene_frames::Background{0.0, 0.0, 0, 1},
                                         {{100.5, 100.5, 5.0, 200}, {300.5, 200.5, 5.0, 120}});
    AutoThresholdWork work;
    for (const int32_t method : {0, 1, 2}) {
        const AutoThreshold r = choose_threshold(work, raw, with_method(method), 3);
        EXPECT_EQ(r.outcome, AutoThresholdOutcome::fewer) << method;
        EXPECT_EQ(r.clusters, 2);
        EXPECT_LE(r.threshold, 120);
        EXPECT_EQ(auto_threshold_message(r, 3, 0).rfind("No threshold gives 3 clusters or more. ", 0), 0u);
    }
}

}  // namespace
