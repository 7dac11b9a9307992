// The scene aids on a built panel: "auto" and what it tells the operator,
// "keep auto" and the counts check kept in the extra settings, the histogram
// setting the threshold as the slider does, and the statistics table.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include "gui/histogram_view.h"
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

TEST_F(SceneAidsTest, AutoSetsTheSliderAndTheOptionAndSaysNothingWhenExact) {
    p->auto_threshold_button->do_callback();
    EXPECT_GE(app_state.options.threshold, 51);
    EXPECT_LE(app_state.options.threshold, 180);
    EXPECT_EQ(p->threshold_slider->value(), app_state.options.threshold);
    EXPECT_EQ(p->histogram_view->threshold(), app_state.options.threshold);
    EXPECT_TRUE(messages().empty());
}

TEST_F(SceneAidsTest, AutoCountsTheModelsNodesAndTellsWhenNoThresholdGivesThatMany) {
    model().set_node_count(5);
    p->auto_threshold_button->do_callback();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].caption, "auto threshold");
    EXPECT_NE(messages()[0].text.find("exactly 5 clusters"), std::string::npos) << messages()[0].text;
    EXPECT_NE(messages()[0].text.find("nearest count above"), std::string::npos);
    EXPECT_EQ(p->threshold_slider->value(), app_state.options.threshold);

    // Without a frame the threshold stays and the operator hears why.
    app_state.camera_frame.clear();
    app_state.options.threshold = 77;
    p->auto_threshold_button->do_callback();
    EXPECT_EQ(app_state.options.threshold, 77);
    EXPECT_EQ(messages().back().text, "There is no camera frame yet; the threshold stays at 77.");
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
