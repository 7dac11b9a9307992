// The scene aids on a built panel: "auto" and what it tells the operator,
// "place nodes", the warnings,
// "keep auto" and the counts check kept in the extra settings, the histogram
// setting the threshold as the slider does, and the statistics table.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <FL/Fl_Box.H>

#include "gui/histogram_view.h"
#include "measure/scene_warnings.h"
#include "gui/scene_aids.h"
#include "tests/cluster/scene_frames.h"

namespace {

using panel_testing::messages;
using panel_testing::PanelTest;

class SceneAidsTest : public PanelTest {
protected:
    void SetUp() override {
        app_state.extras = ExtraSettings{};
        PanelTest::SetUp();
        app_state.camera_frame = scene_frames::camera_frame(0.3f);
        attach_scene_aids(*p, statistics);
    }
    void TearDown() override {
        detach_scene_aids(*p);
        app_state.camera_frame.clear();
        PanelTest::TearDown();
    }

    ClusterStatistics statistics;
};

TEST_F(SceneAidsTest, AutoSetsTheThresholdAndTheDistanceThroughTheirSlidersAndSaysWhatItChose) {
    p->auto_threshold_button->do_callback();
    const Options& o = app_state.options;
    EXPECT_GE(o.threshold, 51);
    EXPECT_LE(o.threshold, 180);
    EXPECT_EQ(p->threshold_slider->value(), o.threshold);
    EXPECT_EQ(p->histogram_view->threshold(), o.threshold);
    EXPECT_NE(o.regiongrow_max_distance, default_options().regiongrow_max_distance);
    EXPECT_EQ(p->rg_max_distance_slider->value(), o.regiongrow_max_distance);
    EXPECT_EQ(std::string(p->status_line->label()), "threshold " + std::to_string(o.threshold) + ", max distance " +
                                                        std::to_string(o.regiongrow_max_distance) + ": 3 markers");
    EXPECT_TRUE(messages().empty());

    // Without a frame nothing changes, and the status line says why.
    app_state.camera_frame.clear();
    app_state.options.threshold = 77;
    p->auto_threshold_button->do_callback();
    EXPECT_EQ(app_state.options.threshold, 77);
    EXPECT_STREQ(p->status_line->label(), "auto: there is no camera frame yet");
}

TEST_F(SceneAidsTest, PlaceNodesLaysTheChainOnTheClustersOrSaysWhyNot) {
    model().set_node_count(3);
    model().nodes[0] = ModelNode{400, 300, 255};  // nearer the chain's right end
    p->preview->clusters = {{100, 100, 200}, {300, 110, 200}, {200, 105, 200}};
    p->place_nodes_button->do_callback();
    EXPECT_STREQ(p->status_line->label(), "placed 3 nodes on 3 clusters");
    EXPECT_EQ(model().nodes[0].x, 300);
    EXPECT_EQ(model().nodes[1].x, 200);
    EXPECT_EQ(model().nodes[2].x, 100);

    model().set_node_count(4);
    const std::vector<ModelNode> before = model().nodes;
    p->place_nodes_button->do_callback();
    EXPECT_STREQ(p->status_line->label(), "3 clusters for 4 nodes: no node moved");
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(model().nodes[i].x, before[i].x);
}

TEST_F(SceneAidsTest, WarningsShowInThePreviewAndOnTheStatusLineUntilTheyClear) {
    SceneWatch watch;
    p->scene_watch = &watch;
    const std::vector<NodeState> states(3, NodeState::tracked);
    watch.observe(0.0, ClusterList{{1, 1, 1}, {5, 5, 1}}, nullptr, states);
    scene_aids_after_cycle(*p);
    EXPECT_EQ(p->preview->warning, "2 clusters for 3 nodes");
    EXPECT_STREQ(p->status_line->label(), "check: 2 clusters for 3 nodes");
    watch.observe(10.0, ClusterList{{1, 1, 1}, {5, 5, 1}, {9, 9, 1}}, nullptr, states);
    scene_aids_after_cycle(*p);
    EXPECT_EQ(p->preview->warning, "");
    EXPECT_STREQ(p->status_line->label(), "");
    p->scene_watch = nullptr;
}

TEST_F(SceneAidsTest, ChecksAreKeptInTheExtraSettingsAndTheCountsMakeTheStatisticsWanted) {
    EXPECT_FALSE(app_state.extras.changed());
    p->keep_auto_check->value(1);
    p->keep_auto_check->do_callback();
    p->cluster_counts_check->value(1);
    p->cluster_counts_check->do_callback();
    EXPECT_TRUE(app_state.extras.get_bool("scene.keep_auto", false));
    EXPECT_TRUE(app_state.extras.get_bool("scene.cluster_counts", false));
    EXPECT_TRUE(p->preview->show_cluster_counts);
    // The panel is not shown, so the table is not either: only the counts want them.
    EXPECT_TRUE(statistics.wanted_by_panel);
    p->cluster_counts_check->value(0);
    p->cluster_counts_check->do_callback();
    EXPECT_FALSE(statistics.wanted_by_panel);
    EXPECT_FALSE(app_state.extras.get_bool("scene.cluster_counts", true));
}

TEST_F(SceneAidsTest, TheHistogramSetsTheThresholdAsTheSliderWould) {
    HistogramView& h = *p->histogram_view;
    for (const int32_t grey : {0, 1, 127, 200, 255}) EXPECT_EQ(h.grey_at(h.column_of(grey)), grey);
    EXPECT_EQ(h.grey_at(h.x() - 50), 0);
    EXPECT_EQ(h.grey_at(h.x() + h.w() + 50), 255);

    h.set_threshold(200);
    h.do_callback();
    EXPECT_EQ(app_state.options.threshold, 200);
    EXPECT_EQ(p->threshold_slider->value(), 200);
}

TEST_F(SceneAidsTest, TableListsEveryMeasuredClusterAndNothingStale) {
    ClusterList clusters{{10, 20, 255}, {30, 40, 0}};
    ClusterStatistics s;
    s.computed = true;
    s.described = clusters;
    s.clusters.resize(2);
    s.clusters[0] = ClusterStats{3, 120.5, 9, 19, 11, 21, 10.25, 20.5, 361};

    const std::vector<std::string> lines = cluster_table_lines(&s, clusters, 100);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "0\t3\t120.5\t9-11\t19-21\t10.25\t20.50");
    EXPECT_EQ(lines[2], "1\t0\t-\t-\t-\t-\t-");

    clusters[1].x = 31;  // a list the statistics did not measure
    EXPECT_EQ(cluster_table_lines(&s, clusters, 100).size(), 1u);
    EXPECT_EQ(cluster_table_lines(&s, s.described, 0).back(), "@iThe threshold is 0: nothing is clustered.");

    s.described.assign(250, Cluster{1, 1, 255});
    s.clusters.assign(250, ClusterStats{});
    const std::vector<std::string> many = cluster_table_lines(&s, s.described, 100);
    ASSERT_EQ(many.size(), 202u);
    EXPECT_EQ(many.back(), "@i... and 50 more");
}

}  // namespace
