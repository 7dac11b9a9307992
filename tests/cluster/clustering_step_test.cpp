// The clustering step and its place in the main-loop cycle, on the synthetic
// camera: which settings reach which method, the three squares found by every
// method at every threshold that isolates them, the seeding rule in every
// cycle, and settings outside the control panel's ranges.

#include "cluster/clustering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "camera/videocam.h"
#include "loop/main_loop.h"
#include "platform/rand.h"
#include "platform/timer.h"
#include "tests/cluster/cluster_inputs.h"
#include "tests/cluster/literal_clustering.h"

using cluster_inputs::rect_mean;
using cluster_inputs::same_clusters;

namespace {

// One square of the synthetic camera in buffer coordinates.
struct Square {
    int32_t cx, cy;
    // Raster position of its first and last pixel.
    int64_t first() const { return int64_t{cy - kSquareHalf} * kFrameWidth + (cx - kSquareHalf); }
    int64_t last() const { return int64_t{cy + kSquareHalf} * kFrameWidth + (cx + kSquareHalf); }
    cluster_inputs::Mean mean() const {
        return rect_mean(cx - kSquareHalf, cy - kSquareHalf, 2 * kSquareHalf + 1, 2 * kSquareHalf + 1);
    }
};

// The camera's squares 1, 2, 3 for a phase, after the flip when it is on.
std::vector<Square> camera_squares(float phase, bool flipped) {
    std::vector<Square> s{{10, square1_row(phase)}, {kSquare2Column, kSquare2Row}, {square3_column(phase), 250}};
    if (flipped)
        for (Square& q : s) q.cy = kFrameHeight - 1 - q.cy;
    return s;
}

void expect_at(const Cluster& c, const Square& s, int32_t value, const std::string& what) {
    const auto mean = s.mean();
    EXPECT_EQ(c.x, mean.x) << what;
    EXPECT_EQ(c.y, mean.y) << what;
    EXPECT_EQ(c.value, value) << what;
}

Options test_options() {
    Options o = default_options();
    o.regiongrow_max_distance = 80;
    o.regiongrow_max_cluster_size = 5000;
    o.regiongrow_min_cluster_size = 20;
    o.cure_max_distance = 80;
    o.cure_min_cluster_size = 20;
    o.kmeans_iterations = 5;
    return o;
}

class ClusteringStep : public ::testing::Test {
protected:
    void run(const BrightPixelList& pixels) {
        run_clustering(options, kmeans_sums, region_grow_work, merge_work, pixels, clusters);
    }

    Options options = test_options();
    KMeansSums kmeans_sums;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
    ClusterList clusters;
};

// A row of pixels 1 apart: region grow and merge give different results for
// every order of their settings.
const BrightPixelList kRow = cluster_inputs::rect(100, 100, 9, 1);

}  // namespace

TEST_F(ClusteringStep, RegionGrowTakesItsOwnSettingsInOrder) {
    options.cluster_method = 0;
    options.regiongrow_max_distance = 3;
    options.regiongrow_max_cluster_size = 2;
    options.regiongrow_min_cluster_size = 1;
    options.cure_max_distance = 0;
    run(kRow);
    literal::Work plain;
    ClusterList expected, swapped;
    literal::region_grow(plain, kRow, expected, 3, 2, 1);
    literal::region_grow(plain, kRow, swapped, 2, 3, 1);
    ASSERT_FALSE(same_clusters(expected, swapped)) << "the input must tell the two settings apart";
    EXPECT_TRUE(same_clusters(clusters, expected));
}

TEST_F(ClusteringStep, MergeTakesTheCureSettingsAndIgnoresItsMaximumSize) {
    options.cluster_method = 2;
    options.cure_max_distance = 1;
    options.cure_min_cluster_size = 3;
    options.cure_max_cluster_size = 1;
    options.regiongrow_max_distance = 0;
    run(kRow);
    literal::Work plain;
    ClusterList expected;
    literal::hierarchical_merge(plain, kRow, expected, 1, 3);
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_TRUE(same_clusters(clusters, expected));
}

TEST_F(ClusteringStep, KMeansTakesTheIterationCountWhateverTheThreadCount) {
    options.cluster_method = 1;
    const ClusterList start{{0, 0, 255}, {300, 300, 255}};
    ClusterList one = start;
    literal::kmeans<int64_t>(kRow, one, 1);
    for (const int32_t threads : {1, 2, 8, 0, 100}) {
        options.kmeans_threads = threads;
        options.kmeans_iterations = 1;
        clusters = start;
        run(kRow);
        EXPECT_TRUE(same_clusters(clusters, one)) << threads << " threads";
        options.kmeans_iterations = 0;
        clusters = start;
        run(kRow);
        EXPECT_TRUE(same_clusters(clusters, start));
    }
}

TEST_F(ClusteringStep, OtherMethodNumbersLeaveTheClusterListAlone) {
    for (const int32_t method : {3, -1, 99, INT_MIN}) {
        options.cluster_method = method;
        clusters = {{1, 2, 3}, {4, 5, 6}};
        run(kRow);
        EXPECT_TRUE(same_clusters(clusters, ClusterList{{1, 2, 3}, {4, 5, 6}})) << "method " << method;
    }
}

// Every threshold from 51 (above the noise, 0 to 50) to 180 (the darkest
// square pixel) keeps exactly the three squares, flipped or not. Each method
// must give three clusters at the squares' truncated means.
class ThreeSquares : public ::testing::TestWithParam<bool> {
protected:
    BrightPixelList pixels_at(int32_t threshold) {
        return cluster_inputs::camera_pixels(0.0f, threshold, GetParam());
    }

    std::vector<Square> squares = camera_squares(0.0f, GetParam());
    KMeansSums kmeans_sums;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
    ClusterList clusters;
};

TEST_P(ThreeSquares, RegionGrowFindsThemFromTheLastPixelUp) {
    // Each square is absorbed whole from the end of the list, so the squares
    // come out by their last pixel, latest first.
    std::vector<Square> order = squares;
    std::sort(order.begin(), order.end(), [](const Square& a, const Square& b) { return a.last() > b.last(); });
    for (int32_t t = 51; t <= 180; ++t) {
        const BrightPixelList pixels = pixels_at(t);
        ASSERT_EQ(pixels.size(), 363u) << "threshold " << t;
        region_grow(region_grow_work, pixels, clusters, 80, 5000, 20);
        ASSERT_EQ(clusters.size(), 3u) << "threshold " << t;
        for (size_t k = 0; k < 3; ++k) expect_at(clusters[k], order[k], 255, "threshold " + std::to_string(t));
    }
}

TEST_P(ThreeSquares, MergeFindsThemFirstPixelFirst) {
    // The square holding the first pixel grows first; the slots it frees take
    // pixels from the end of the list, so the square holding the last pixel
    // grows second, the remaining one third.
    std::vector<Square> order = squares;
    std::sort(order.begin(), order.end(), [](const Square& a, const Square& b) { return a.first() < b.first(); });
    std::swap(order[1], order[2]);
    ASSERT_GT(order[1].last(), order[2].last());
    for (int32_t t = 51; t <= 180; ++t) {
        hierarchical_merge(merge_work, pixels_at(t), clusters, 80, 20);
        ASSERT_EQ(clusters.size(), 3u) << "threshold " << t;
        for (size_t k = 0; k < 3; ++k) expect_at(clusters[k], order[k], 255, "threshold " + std::to_string(t));
    }
}

TEST_P(ThreeSquares, KMeansPullsNearbyCentresOntoThem) {
    for (int32_t t = 51; t <= 180; ++t) {
        clusters.clear();
        const int32_t offsets[][2] = {{7, -4}, {-9, 3}, {2, 11}};
        for (size_t k = 0; k < 3; ++k)
            clusters.push_back(Cluster{squares[k].cx + offsets[k][0], squares[k].cy + offsets[k][1], 255});
        kmeans(kmeans_sums, pixels_at(t), clusters, 5);
        ASSERT_EQ(clusters.size(), 3u);
        for (size_t k = 0; k < 3; ++k) expect_at(clusters[k], squares[k], 1, "threshold " + std::to_string(t));
    }
}

INSTANTIATE_TEST_SUITE_P(Flip, ThreeSquares, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Flipped") : std::string("Upright");
                         });

namespace {

class NoWindows final : public CycleView {};

// Cycles of the real main loop, headless.
class ClusteringInTheLoop : public ::testing::Test {
protected:
    ClusteringInTheLoop() {
        platform::set_rand_state(1);
        app.options = test_options();
        app.options.threshold = 180;
        app.options.y_invert = 0;
        loop.camera.start();
        prepare_main_loop(app, loop);
    }
    ~ClusteringInTheLoop() override { platform::time_end_period(1); }

    // Generator state after `draws` draws from the initial state 1.
    static uint32_t state_after(uint64_t draws) {
        const platform::RandJump j = platform::rand_jump(draws);
        return 1u * j.multiplier + j.increment;
    }

    AppState app;
    MainLoop loop{app};
    NoWindows view;
    static constexpr uint64_t kCameraDraws = kFrameBytes + 3 * 121;
};

}  // namespace

TEST_F(ClusteringInTheLoop, RegionGrowAndMergeFollowTheMovingSquares) {
    for (const int32_t method : {0, 2}) {
        app.options.cluster_method = method;
        for (int cycle = 0; cycle < 40; ++cycle) {
            const float phase = app.time_phase;
            run_cycle(app, loop, view);
            ASSERT_EQ(loop.clusters.size(), 3u) << "method " << method << ", cycle " << cycle;
            // Whatever the order, the clusters sit on the three squares.
            for (const Square& s : camera_squares(phase, false)) {
                const auto mean = s.mean();
                EXPECT_TRUE(std::any_of(loop.clusters.begin(), loop.clusters.end(), [&](const Cluster& c) {
                    return c.x == mean.x && c.y == mean.y && c.value == 255;
                })) << "method " << method << ", cycle " << cycle << ", square at " << s.cx << ", " << s.cy;
            }
        }
    }
}

TEST_F(ClusteringInTheLoop, KMeansStartsFromSeedsDrawnAfterTheFirstFrame) {
    app.options.cluster_method = 1;
    app.options.kmeans_clusters = 3;
    // The seeds come from the draws that follow the first frame's.
    uint32_t s = state_after(kCameraDraws);
    ClusterList expected;
    for (int k = 0; k < 3; ++k) {
        s = platform::rand_advance(s);
        const int r1 = platform::rand_output(s);
        s = platform::rand_advance(s);
        const int r2 = platform::rand_output(s);
        expected.push_back(cluster_inputs::seed_from_draws(r1, r2));
    }
    for (int cycle = 0; cycle < 10; ++cycle) {
        run_cycle(app, loop, view);
        literal::kmeans<int64_t>(loop.bright_pixels, expected, 5);
        ASSERT_TRUE(same_clusters(loop.clusters, expected)) << "cycle " << cycle;
    }
}

TEST_F(ClusteringInTheLoop, SeedingRunsEveryCycleWhateverTheMethod) {
    // Region grow makes 3 clusters. With kmeans_clusters 4 the list is
    // reseeded in every cycle (8 draws); with 3 only in the first.
    app.options.cluster_method = 0;
    app.options.kmeans_clusters = 4;
    for (int cycle = 0; cycle < 5; ++cycle) run_cycle(app, loop, view);
    EXPECT_EQ(platform::rand_state(), state_after(5 * (kCameraDraws + 8)));
    EXPECT_EQ(loop.clusters.size(), 3u) << "only the method's result reaches the list";

    platform::set_rand_state(1);
    loop.clusters.clear();
    app.options.kmeans_clusters = 3;
    for (int cycle = 0; cycle < 5; ++cycle) run_cycle(app, loop, view);
    EXPECT_EQ(platform::rand_state(), state_after(5 * kCameraDraws + 6));
}

TEST_F(ClusteringInTheLoop, WithoutAMethodOrThresholdTheSeedsStay) {
    app.options.kmeans_clusters = 5;
    for (const auto& [method, threshold] : {std::pair{3, 180}, std::pair{0, 0}, std::pair{1, -5}}) {
        app.options.cluster_method = method;
        app.options.threshold = threshold;
        loop.clusters.clear();
        run_cycle(app, loop, view);
        const ClusterList seeds = loop.clusters;
        ASSERT_EQ(seeds.size(), 5u);
        EXPECT_TRUE(std::all_of(seeds.begin(), seeds.end(), [](const Cluster& c) { return c.value == 255; }));
        run_cycle(app, loop, view);
        EXPECT_TRUE(same_clusters(loop.clusters, seeds)) << "method " << method << ", threshold " << threshold;
    }
}

TEST_F(ClusteringInTheLoop, SettingsOutsideThePanelRangesNeitherCrashNorGrow) {
    // Every clustering setting at values the control panel never offers, on a
    // dense frame, for every method.
    app.options.threshold = 40;
    for (const int32_t bad : {-1, 0, INT_MIN, -80}) {
        app.options.regiongrow_max_distance = bad;
        app.options.regiongrow_max_cluster_size = bad;
        app.options.regiongrow_min_cluster_size = bad;
        app.options.cure_max_distance = bad;
        app.options.cure_min_cluster_size = bad;
        app.options.kmeans_clusters = bad;
        app.options.kmeans_iterations = bad;
        app.options.kmeans_threads = bad;
        for (const int32_t method : {0, 1, 2}) {
            app.options.cluster_method = method;
            run_cycle(app, loop, view);
            if (method == 1) {
                EXPECT_TRUE(loop.clusters.empty()) << "no centres for a count of " << bad;
            }
            EXPECT_LE(loop.clusters.size(), loop.bright_pixels.size());
        }
    }
}
