// The cycle with the cluster statistics wanted: the cycle's own results stay
// exactly what they are without them, and the statistics describe the
// clusters tracking and drawing get.

#include <gtest/gtest.h>

#include <vector>

#include "loop/main_loop.h"
#include "model/node_model.h"
#include "platform/rand.h"
#include "platform/timer.h"

namespace {

struct Outcome {
    std::vector<ClusterList> clusters;  // after each cycle
    std::vector<std::vector<ModelNode>> nodes;
    uint32_t rand_state = 0;
    ClusterStatistics statistics;
};

// `cycles` cycles of `method` on the synthetic camera, threshold 100, with the
// model's three nodes dragged near the squares first.
Outcome run_cycles(int32_t method, bool wanted, int cycles) {
    platform::set_rand_state(1);
    AppState app;
    app.options.threshold = 100;
    app.options.cluster_method = method;
    app.options.max_track_distance = 60;
    MainLoop loop(app);
    NodeModel model;
    ClusterList preview_clusters;
    loop.scene = Scene{&model, nullptr, nullptr, &preview_clusters};
    loop.camera.start();
    prepare_main_loop(app, loop);
    model.nodes = {{450, 19, 255}, {10, 100, 255}, {100, 109, 255}};
    struct : CycleView {} view;
    Outcome run;
    for (int k = 0; k < cycles; ++k) {
        // Wanted in every other cycle: measuring must not leave anything behind either.
        loop.statistics.wanted_by_panel = wanted && k % 2 == 0;
        run_cycle(app, loop, view);
        run.clusters.push_back(loop.clusters);
        run.nodes.push_back(model.nodes);
        if (loop.statistics.wanted()) {
            EXPECT_TRUE(describes(loop.statistics, loop.clusters));
        } else {
            // Nothing measured, so no node has a sub-pixel centre.
            EXPECT_FALSE(describes(loop.statistics, loop.clusters));
            EXPECT_FALSE(model.sub_pixel_centres.at(0).known());
        }
    }
    run.rand_state = platform::rand_state();
    run.statistics = loop.statistics;
    platform::time_end_period(1);
    return run;
}

bool same(const ClusterList& a, const ClusterList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Cluster& p, const Cluster& q) {
               return p.x == q.x && p.y == q.y && p.value == q.value;
           });
}

class CycleWithStatistics : public ::testing::TestWithParam<int32_t> {};

TEST_P(CycleWithStatistics, ChangesNothingTheCycleProduces) {
    const Outcome plain = run_cycles(GetParam(), false, 41);
    const Outcome measured = run_cycles(GetParam(), true, 41);
    ASSERT_EQ(plain.clusters.size(), measured.clusters.size());
    for (size_t k = 0; k < plain.clusters.size(); ++k) {
        ASSERT_TRUE(same(plain.clusters[k], measured.clusters[k])) << "cycle " << k;
        ASSERT_EQ(plain.nodes[k].size(), measured.nodes[k].size());
        for (size_t n = 0; n < plain.nodes[k].size(); ++n)
            ASSERT_TRUE(plain.nodes[k][n].x == measured.nodes[k][n].x && plain.nodes[k][n].y == measured.nodes[k][n].y)
                << "cycle " << k << " node " << n;
    }
    EXPECT_EQ(plain.rand_state, measured.rand_state);

    // The last cycle was measured: the three squares' 363 pixels of 180 to
    // 220, one square per cluster where the method finds them whole.
    const ClusterStatistics& s = measured.statistics;
    ASSERT_TRUE(describes(s, measured.clusters.back()));
    int32_t total = 0;
    for (const ClusterStats& c : s.clusters) {
        total += c.pixel_count;
        if (GetParam() != 1) {
            EXPECT_EQ(c.pixel_count, 121);
        }
        if (c.pixel_count > 0) {
            EXPECT_GE(c.mean_grey, 180.0);
        }
        EXPECT_LE(c.mean_grey, 220.0);
    }
    EXPECT_EQ(total, 363);
}

INSTANTIATE_TEST_SUITE_P(Methods, CycleWithStatistics, ::testing::Values(0, 1, 2));

}  // namespace
