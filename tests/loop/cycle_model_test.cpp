// The model steps of the main-loop cycle, run headless: tracking on the
// synthetic camera's squares, recording, playback, timelines and selection.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "loop/main_loop.h"
#include "model/animation.h"
#include "platform/rand.h"
#include "tests/support/test_support.h"

using testing_support::FakeClockGuard;
using testing_support::FakeClocks;

namespace {

struct TimelineCall {
    Timeline which;
    int32_t position;
    std::string label;
};

class ModelView final : public CycleView {
public:
    void show_timeline(Timeline which, int32_t position, const std::string& label) override {
        timelines.push_back({which, position, label});
    }
    void refresh_model_widgets() override { ++refreshes; }

    std::vector<TimelineCall> timelines;
    int refreshes = 0;
};

// Where the camera draws its three squares for a phase, in model coordinates:
// the frame is flipped (y_invert), so camera row r is model row 359 - r.
ClusterList square_centres(float phase) {
    return ClusterList{{square3_column(phase), 359 - 250, 255},
                       {10, 359 - square1_row(phase), 255},
                       {kSquare2Column, 359 - kSquare2Row, 255}};
}

class CycleModel : public ::testing::Test {
protected:
    CycleModel() : clocks(true) {
        platform::set_rand_state(1);
        app.options.threshold = 0;  // no clustering: the cluster list is the test's
        app.options.y_invert = 1;
        loop.camera.start();
        loop.scene = Scene{&model, &record, &playback, &preview_clusters};
        prepare_main_loop(app, loop);
        loop.clusters_found = true;  // as if a method had found the lists the tests put there
    }
    ~CycleModel() override { platform::time_end_period(1); }

    // One cycle at `ms` on the stopwatch.
    void cycle_at(double ms) {
        FakeClocks::counter = static_cast<int64_t>(ms * 1e6);
        run_cycle(app, loop, view);
    }

    FakeClockGuard clocks;
    AppState app;
    MainLoop loop{app};
    ModelView view;
    NodeModel model;
    Animation record;
    Animation playback;
    ClusterList preview_clusters;
};

}  // namespace

TEST_F(CycleModel, PreparingTheLoopPublishesTheRecordAnimation) {
    EXPECT_EQ(app.record_animation, &record);
}

TEST_F(CycleModel, NodesFollowTheMovingSquaresCycleByCycle) {
    app.time_phase = 1.0f;  // the moving squares run fastest near phase 0 and pi
    const ClusterList start = square_centres(app.time_phase);
    // Node i a few pixels off square i, in the order square 1, 2, 3.
    model.nodes = {{start[1].x + 4, start[1].y - 3, 255},
                   {start[2].x - 2, start[2].y + 5, 255},
                   {start[0].x + 6, start[0].y, 255}};
    for (int i = 0; i < 300; ++i) {
        const ClusterList centres = square_centres(app.time_phase);
        loop.clusters = centres;
        cycle_at(i);
        ASSERT_EQ(model.nodes[0].x, centres[1].x) << i;
        ASSERT_EQ(model.nodes[0].y, centres[1].y) << i;
        ASSERT_EQ(model.nodes[1].x, centres[2].x) << i;
        ASSERT_EQ(model.nodes[1].y, centres[2].y) << i;
        ASSERT_EQ(model.nodes[2].x, centres[0].x) << i;
        ASSERT_EQ(model.nodes[2].y, centres[0].y) << i;
        ASSERT_EQ(model.cluster_claims, (std::vector<int32_t>{1, 1, 1}));
    }
    EXPECT_EQ(preview_clusters.size(), 3u) << "the preview gets this cycle's cluster list";
    EXPECT_EQ(preview_clusters[0].x, loop.clusters[0].x);
}

TEST_F(CycleModel, TrackingUsesTheReachAndCrowdingOptions) {
    // One k-means centre, so the cycle's seeding keeps this one-entry list.
    app.options.kmeans_clusters = 1;
    loop.clusters = ClusterList{{100, 100, 255}};
    model.nodes = {{115, 100, 255}, {300, 300, 255}, {400, 300, 255}};
    app.options.max_track_distance = 15;
    cycle_at(0);
    EXPECT_EQ(model.nodes[0].x, 115) << "15 pixels is not within a reach of 15";
    app.options.max_track_distance = 16;
    app.options.min_node_distance = 300;  // node 1 is 282 from the cluster
    cycle_at(1);
    EXPECT_EQ(model.nodes[0].x, 115);
    app.options.min_node_distance = 10;
    cycle_at(2);
    EXPECT_EQ(model.nodes[0].x, 100);
}

TEST_F(CycleModel, RecordingTakesOneFrameOfTheTrackedModelPerCycle) {
    app.time_phase = 0.5f;
    const ClusterList start = square_centres(app.time_phase);
    model.nodes = {{start[1].x, start[1].y, 255}, {start[2].x, start[2].y, 255}, {start[0].x, start[0].y, 255}};
    start_recording(record);
    std::vector<ClusterList> seen;
    for (int i = 0; i < 10; ++i) {
        seen.push_back(square_centres(app.time_phase));
        loop.clusters = seen.back();
        cycle_at(1000.0 + 50.0 * i);
    }
    EXPECT_EQ(record.frame_count, 10);
    EXPECT_EQ(record.position, 10);
    for (int f = 0; f < 10; ++f) {
        EXPECT_NEAR(record.timestamps[f], 1000.0 + 50.0 * f, 1e-3) << f;
        EXPECT_EQ(record.frames[f * 3 + 0].y, seen[f][1].y) << f;
        EXPECT_EQ(record.frames[f * 3 + 2].x, seen[f][0].x) << f;
    }
    // The record timeline shows the newest frame's time since the first.
    ASSERT_GE(view.timelines.size(), 2u);
    const TimelineCall& last_record = view.timelines[view.timelines.size() - 2];
    EXPECT_EQ(last_record.which, Timeline::record);
    EXPECT_EQ(last_record.position, 10);
    EXPECT_EQ(last_record.label, "0:450");
    EXPECT_EQ(view.timelines.back().which, Timeline::playback);
    EXPECT_EQ(view.timelines.back().label, "0:0");
}

TEST_F(CycleModel, BothAnimationsPlayAtTheRecordedPace) {
    // Record 20 frames 50 ms apart, then play both animations in a loop running at 100 Hz.
    start_recording(record);
    for (int i = 0; i < 20; ++i) {
        model.nodes[0] = ModelNode{i, 0, 255};
        cycle_at(50.0 * i);
    }
    stop_recording(record);
    playback = record;
    start_playing(record, false, 5000.0f);
    start_playing(playback, false, 5000.0f);
    model.nodes[0] = ModelNode{0, 0, 255};
    for (int i = 0; i <= 100; ++i) {
        // 3 ms past a multiple of 10, so no playback time equals a frame time.
        cycle_at(5000.0 + 10.0 * i + 3.0);
        const int32_t expected = std::min(19, static_cast<int32_t>(std::ceil((10.0 * i + 3.0) / 50.0)));
        ASSERT_EQ(record.position, expected) << i;
        ASSERT_EQ(playback.position, expected) << i;
        ASSERT_EQ(playback.model.nodes[0].x, expected) << i;
    }
    EXPECT_EQ(view.timelines.back().position, 19);
    EXPECT_EQ(view.timelines.back().label, "0:950");
}

namespace {
// A counter that moves on by one millisecond at every reading.
int64_t g_reads = 0;
int64_t ticking_counter() { return ++g_reads * 1000000; }
uint32_t no_ms() { return 0; }
int64_t no_wall() { return 0; }
}  // namespace

TEST_F(CycleModel, RecordAndBothPlayStepsEachReadTheStopwatchAnew) {
    static const platform::TimerSource ticking{true, &ticking_counter, &no_ms, &no_wall};
    platform::set_timer_source(&ticking);
    g_reads = 0;
    loop.stopwatch.start();  // reading 1
    start_recording(record);
    run_cycle(app, loop, view);
    EXPECT_EQ(g_reads, 4) << "one reading each for record, record play and playback play";
    EXPECT_NEAR(record.timestamps[0], 1.0, 1e-3) << "the record step uses the first of them";
}

TEST_F(CycleModel, AChangedSelectionRefreshesTheModelWidgetsOnce) {
    cycle_at(0);
    EXPECT_EQ(view.refreshes, 0);
    model.handle_mouse(MouseEvent::move, 360, 100, 360 - 200);  // over node 1
    model.handle_mouse(MouseEvent::press, 360, 100, 360 - 200);
    cycle_at(1);
    EXPECT_EQ(app.selected_node, 1);
    EXPECT_EQ(view.refreshes, 1);
    cycle_at(2);
    EXPECT_EQ(view.refreshes, 1) << "an unchanged selection refreshes nothing";
    model.handle_mouse(MouseEvent::move, 360, 400, 10);
    model.handle_mouse(MouseEvent::press, 360, 400, 10);
    cycle_at(3);
    EXPECT_EQ(app.selected_node, -1);
    EXPECT_EQ(view.refreshes, 2);
}

TEST(CycleWithoutScene, RunsWithoutAPreviewAndShowsNoTimelines) {
    AppState app;
    MainLoop loop(app);
    ModelView view;
    loop.camera.start();
    prepare_main_loop(app, loop);
    loop.clusters = ClusterList{{1, 2, 3}};
    for (int i = 0; i < 5; ++i) run_cycle(app, loop, view);
    EXPECT_TRUE(view.timelines.empty());
    EXPECT_EQ(view.refreshes, 0);
    EXPECT_EQ(app.record_animation, nullptr);
    platform::time_end_period(1);
}

namespace {

// What a stream was handed, as "frame@ms" and "start frame" or "stop frame",
// and the last frame's measurements.
class ListSink final : public FrameSink {
public:
    bool take(const FrameMeasure& f) override {
        seen.push_back(std::to_string(f.frame) + "@" + std::to_string(static_cast<int>(f.time_ms)));
        last = f;
        return true;
    }
    void take_edge(TakeEdge edge, int64_t frame) override {
        seen.push_back((edge == TakeEdge::start ? "start " : "stop ") + std::to_string(frame));
    }
    std::vector<std::string> seen;
    FrameMeasure last;
};

}  // namespace

TEST_F(CycleModel, TheStreamGetsEveryNewFrameNumberedFromTheSourcesFirstWithTheTakeBetween) {
    // The cycle's seeding keeps this list of three, and the nodes stay on it.
    app.options.kmeans_clusters = 3;
    loop.clusters = square_centres(app.time_phase);
    model.nodes = {{loop.clusters[1].x, loop.clusters[1].y, 255}, {loop.clusters[2].x, loop.clusters[2].y, 255}};
    ListSink sink;
    cycle_at(100);  // frame 0, before the stream listens: its time is the origin
    cycle_at(150);
    loop.stream = &sink;
    cycle_at(200);  // frame 2
    start_recording(record);
    cycle_at(250);  // frame 3, the take's first
    app.frame_frozen = true;
    cycle_at(300);  // no new frame: nothing streamed
    app.frame_frozen = false;
    cycle_at(350);  // frame 4
    stop_recording(record);
    cycle_at(400);  // frame 5
    EXPECT_EQ(sink.seen, (std::vector<std::string>{"2@100", "start 3", "3@150", "4@250", "stop 4", "5@300"}));
    ASSERT_EQ(record.frame_count, 2);
    EXPECT_FLOAT_EQ(record.timestamps[0], 250.0f) << "the take and the stream time a frame by one reading";

    // The synthetic camera's picture is the frame: x as it is, y counted
    // from the picture's top, where the flipped frame has row 0.
    ASSERT_EQ(sink.last.nodes.size(), 2u);
    EXPECT_DOUBLE_EQ(sink.last.nodes[1].u, model.nodes[1].x);
    EXPECT_DOUBLE_EQ(sink.last.nodes[1].v, 359.0 - model.nodes[1].y);
    EXPECT_EQ(sink.last.nodes[0].state, NodeState::tracked);
}
