// The warnings' rules on hand-made frames: a node lost for over a second
// since it was last tracked, a cluster over three times the median, each
// warning said once in a run, and the per-node tally.

#include "measure/scene_warnings.h"

#include <gtest/gtest.h>

namespace {

using S = NodeState;

TEST(SceneWatch, WarnsOfANodeHeldOverASecondSinceItWasLastTrackedOnly) {
    SceneWatch watch;
    const ClusterList two = {{10, 10, 1}, {50, 50, 1}};
    struct Step {
        double ms;
        std::vector<S> states;
        std::vector<int32_t> held;
    };
    // Node 0 tracked, then lost: predicted, then held; node 1 never tracked.
    for (const Step& s : {Step{0, {S::tracked, S::held}, {}}, Step{400, {S::predicted, S::held}, {}},
                          Step{1000, {S::held, S::held}, {}}, Step{1001, {S::held, S::held}, {0}},
                          Step{1500, {S::placed, S::held}, {}}, Step{3000, {S::held, S::held}, {}},
                          Step{3100, {S::tracked, S::held}, {}}}) {
        const SceneWarnings& w = watch.observe(s.ms, two, nullptr, s.states);
        EXPECT_EQ(w.held_nodes, s.held) << s.ms;
        EXPECT_FALSE(w.counts_differ());
    }
    ASSERT_EQ(watch.tallies().size(), 2u);
    EXPECT_EQ(watch.tallies()[0].tracked, 2);
    EXPECT_EQ(watch.tallies()[0].held, 3);
    EXPECT_EQ(watch.tallies()[0].predicted, 1);
    EXPECT_EQ(watch.tallies()[1].held, 7);
    EXPECT_EQ(tally_lines(watch.tallies())[0], "node 0: 2 tracked, 3 held, 1 predicted");
}

TEST(SceneWatch, WarnsOfAClusterOverThreeTimesTheMedianPixelCount) {
    ClusterStatistics stats;
    stats.computed = true;
    stats.described = {{10, 10, 1}, {50, 50, 1}, {90, 90, 1}, {130, 130, 1}};
    stats.clusters.resize(4);
    const int32_t counts[] = {50, 60, 166, 55};
    for (size_t k = 0; k < 4; ++k) stats.clusters[k].pixel_count = counts[k];
    SceneWatch watch;
    const std::vector<S> states(4, S::tracked);
    const SceneWarnings& w = watch.observe(0, stats.described, &stats, states);
    EXPECT_EQ(w.merged_cluster, 2);
    EXPECT_EQ(w.median_pixels, 55);
    EXPECT_EQ(warning_text(w), "cluster 2 has 166 pixels, over three times the median 55: markers merged?");
    stats.clusters[2].pixel_count = 165;  // three times, not over
    EXPECT_EQ(watch.observe(1, stats.described, &stats, states).merged_cluster, -1);
}

TEST(WarningsOnce, SaysEachWarningOnceWithItsFrame) {
    WarningsOnce once;
    SceneWarnings w;
    w.clusters = 3;
    w.nodes = 4;
    EXPECT_EQ(once.new_lines(12, 400, w), std::vector<std::string>{"frame 12 (0.40 s): 3 clusters for 4 nodes"});
    w.held_nodes = {1, 3};
    EXPECT_EQ(once.new_lines(40, 1600, w),
              std::vector<std::string>{"frame 40 (1.60 s): nodes 1 and 3 have held no marker for over a second"});
    EXPECT_TRUE(once.new_lines(41, 1640, w).empty());
}

}  // namespace
