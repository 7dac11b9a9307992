// The main loop's control and the steps of one cycle, run headless.

#include "loop/main_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "camera/frame_ops.h"
#include "model/animation.h"
#include "model/node_model.h"
#include "platform/rand.h"
#include "tests/support/test_support.h"

using testing_support::FakeClockGuard;
using testing_support::FakeClocks;

namespace {

// Records what the cycle asked of the window side, in order.
class RecordingView final : public CycleView {
public:
    explicit RecordingView(const AppState& app) : app_(app) {}
    void hand_over(const Frame& frame) override {
        calls.push_back(&frame == &app_.camera_frame ? "hand_over(camera)" : "hand_over(?)");
    }
    void upload_frame(const Frame& frame) override {
        calls.push_back(&frame == &app_.camera_frame      ? "upload(camera)"
                        : &frame == &app_.threshold_frame ? "upload(threshold)"
                                                          : "upload(?)");
    }
    void request_redraw() override { calls.push_back("redraw"); }
    void show_rate(int32_t n) override { rates.push_back(n); }

    std::vector<std::string> calls;
    std::vector<int32_t> rates;

private:
    const AppState& app_;
};

class MainLoopTest : public ::testing::Test {
protected:
    MainLoopTest() {
        platform::set_rand_state(1);
        loop.camera.start();
        prepare_main_loop(app, loop);
    }
    ~MainLoopTest() override { platform::time_end_period(1); }

    AppState app;
    MainLoop loop{app};
    RecordingView view{app};
};

}  // namespace

TEST_F(MainLoopTest, QuitRequestedBeforeTheFirstCycleRunsNoCycle) {
    app.quit_requested = true;
    int passes = 0;
    run_main_loop(app, loop, view, [&] { return ++passes, true; });
    EXPECT_EQ(passes, 1) << "events are processed once before the loop";
    EXPECT_TRUE(app.camera_frame.empty()) << "no grab may happen";
}

TEST_F(MainLoopTest, NoWindowShownBeforeTheLoopRunsNoCycle) {
    run_main_loop(app, loop, view, [] { return false; });
    EXPECT_TRUE(app.camera_frame.empty());
}

TEST_F(MainLoopTest, QuitDuringEventsEndsTheLoopBeforeTheNextGrab) {
    int passes = 0;
    run_main_loop(app, loop, view, [&] {
        if (++passes == 4) app.quit_requested = true;  // after the third cycle
        return true;
    });
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "redraw"), 3);
}

TEST_F(MainLoopTest, LastWindowClosedEndsTheLoopAtTheEndOfTheCycle) {
    int passes = 0;
    run_main_loop(app, loop, view, [&] { return ++passes < 6; });
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "redraw"), 5);
}

TEST_F(MainLoopTest, PhaseIsTheFloatSumOfItsSteps) {
    float expected = 0.0f;
    for (int i = 0; i < 500; ++i) {
        run_cycle(app, loop, view);
        expected = static_cast<float>(static_cast<double>(expected) + 0.01);
    }
    EXPECT_EQ(app.time_phase, expected);
    EXPECT_NE(app.time_phase, 500 * 0.01f) << "n steps of 0.01 differ from n x 0.01";
}

TEST_F(MainLoopTest, ThresholdZeroCopiesTheRawFrameAndKeepsThePixelList) {
    app.options.threshold = 0;
    app.options.show_thresholding = 1;
    loop.bright_pixels.push_back(BrightPixel{1, 2, 3});
    run_cycle(app, loop, view);
    EXPECT_EQ(app.threshold_frame, app.camera_frame);
    ASSERT_EQ(loop.bright_pixels.size(), 1u) << "the pixel list keeps the last cycle's content";
    EXPECT_EQ(loop.bright_pixels[0].value, 3);
}

TEST_F(MainLoopTest, ThresholdListsTheThreeSquaresOfTheFlippedFrame) {
    app.options.threshold = 180;
    app.options.y_invert = 1;
    run_cycle(app, loop, view);
    ASSERT_EQ(loop.bright_pixels.size(), 363u);
    // The fixed square at row 340 of the camera lies centred at row 19 after the flip.
    int fixed = 0;
    for (const BrightPixel& p : loop.bright_pixels) {
        EXPECT_EQ(p.value, 255);
        if (p.x >= 445 && p.x <= 455) {
            EXPECT_GE(p.y, 14);
            EXPECT_LE(p.y, 24);
            ++fixed;
        }
    }
    EXPECT_EQ(fixed, 121);
}

TEST_F(MainLoopTest, CycleHandsOverUploadsTheChosenFrameAndRedrawsInOrder) {
    app.options.threshold = 100;
    app.options.show_thresholding = 1;
    run_cycle(app, loop, view);
    app.options.show_thresholding = 0;
    run_cycle(app, loop, view);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"hand_over(camera)", "upload(threshold)", "redraw",
                                                    "hand_over(camera)", "upload(camera)", "redraw"}));
}

TEST_F(MainLoopTest, SteadyStateReusesEveryBuffer) {
    app.options.threshold = 1;  // nearly the whole frame is listed
    run_cycle(app, loop, view);
    const uint8_t* camera = app.camera_frame.data();
    const uint8_t* thresholded = app.threshold_frame.data();
    const BrightPixel* pixels = loop.bright_pixels.data();
    for (int i = 0; i < 20; ++i) {
        app.options.threshold = i % 2 == 0 ? 180 : 1;
        run_cycle(app, loop, view);
        EXPECT_EQ(app.camera_frame.data(), camera);
        EXPECT_EQ(app.threshold_frame.data(), thresholded);
        EXPECT_EQ(loop.bright_pixels.data(), pixels);
        EXPECT_EQ(app.camera_frame.size(), kFrameBytes);
    }
}

TEST(MainLoopRate, ShowsTheCyclesOfEachIntervalOfAtLeastOneSecond) {
    FakeClockGuard clocks(true);
    AppState app;
    MainLoop loop(app);
    RecordingView view(app);
    FakeClocks::wall = 5000;
    prepare_main_loop(app, loop);  // rate mark = 5000

    for (int i = 0; i < 7; ++i) run_cycle(app, loop, view);
    FakeClocks::wall = 5999;
    run_cycle(app, loop, view);
    EXPECT_TRUE(view.rates.empty()) << "999 ms is not yet a second";
    FakeClocks::wall = 6000;
    run_cycle(app, loop, view);
    EXPECT_EQ(view.rates, std::vector<int32_t>{9});

    FakeClocks::wall = 6500;
    run_cycle(app, loop, view);
    run_cycle(app, loop, view);
    FakeClocks::wall = 7000;
    run_cycle(app, loop, view);
    EXPECT_EQ(view.rates, (std::vector<int32_t>{9, 3})) << "the counter restarts after each display";
    platform::time_end_period(1);
}

// A real source: frames only when the test hands one over.
class MailboxSource final : public CameraSource {
public:
    bool start() override { return true; }
    bool stop() override { return true; }
    double frame_time_ms() const override { return time; }
    bool ended() const override { return false; }
    std::string fault() const override { return {}; }
    SourceInfo info() const override { return {}; }
    bool stream_times() const override { return own_times; }
    bool grab(Frame& frame) override {
        if (pending.empty()) return false;
        frame.swap(pending);
        pending.clear();
        return true;
    }
    Frame pending;
    double time = -1;        // the frame's time in its stream
    bool own_times = false;  // a file's times rather than a camera's
};

TEST_F(MainLoopTest, ACycleWithoutANewFrameKeepsTheFrameAndSkipsTheAnalysisAndRecording) {
    MailboxSource source;
    loop.source = &source;
    NodeModel model;
    model.nodes = {{440, 25, 255}, {300, 300, 255}, {400, 300, 255}};
    Animation record;
    record.recording = true;
    loop.scene = Scene{&model, &record, nullptr, nullptr};
    app.options.threshold = 180;
    app.options.y_invert = 1;

    // Until the first frame comes the frames are black and nothing is found.
    run_cycle(app, loop, view);
    EXPECT_EQ(app.camera_frame, Frame(kFrameBytes, 0));
    EXPECT_EQ(record.frame_count, 0);

    // One frame: a bright square at (450, 340), found at row 19 after the flip.
    source.pending.assign(kFrameBytes, 10);
    for (int y = 335; y <= 345; ++y)
        for (int x = 445; x <= 455; ++x) source.pending[size_t(y) * kFrameWidth + x] = 200;
    run_cycle(app, loop, view);
    const Frame flipped = app.camera_frame;
    ASSERT_EQ(loop.bright_pixels.size(), 121u);
    EXPECT_EQ(model.nodes[0].x, 450) << "tracked onto the square";
    EXPECT_EQ(model.nodes[0].y, 19);
    EXPECT_EQ(record.frame_count, 1);

    // Cycles without a frame: the same (flipped once) frame, no new analysis,
    // no recorded frame, but the redraw as ever. A node dragged meanwhile is
    // tracked again onto the kept clusters: dropped onto a marker of a paused
    // file, it shows as tracked.
    model.nodes[0] = ModelNode{445, 25, 255};
    loop.bright_pixels.clear();
    const size_t redraws = std::count(view.calls.begin(), view.calls.end(), "redraw");
    for (int i = 0; i < 5; ++i) run_cycle(app, loop, view);
    EXPECT_EQ(app.camera_frame, flipped);
    EXPECT_TRUE(loop.bright_pixels.empty()) << "no thresholding without a new frame";
    EXPECT_EQ(model.nodes[0].x, 450) << "tracked again onto the kept square";
    EXPECT_EQ(model.node_states[0], NodeState::tracked);
    EXPECT_EQ(record.frame_count, 1) << "one frame in, one frame recorded";
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "redraw"), static_cast<long>(redraws + 5));

    source.pending = flipped;  // any new frame
    run_cycle(app, loop, view);
    EXPECT_EQ(record.frame_count, 2);
}

// A paused file: while no new frame comes, a changed setting of the analysis
// shows on the kept frame at once. The frame, as the analysis sees it after
// the flip, holds square A (220) at (100, 100), square B (150) at (300, 200)
// and a 3 x 3 spot C (220) at (400, 300); threshold 180 and region grow with
// at least 20 pixels find A alone. Each node waits near one of them: node 0
// 20 pixels from B, node 1 25 from C, node 2 40 from A (beyond the tracking
// distance of 30).
struct SettingChange {
    const char* name;
    void (*change)(Options&);
    std::vector<std::pair<int, int>> clusters;  // found on the kept frame after the change
    std::vector<std::pair<int, int>> nodes;
    bool unflipped;  // the kept frame turned back as the source delivered it
};

class ChangeWithoutANewFrame : public MainLoopTest, public ::testing::WithParamInterface<SettingChange> {};

TEST_P(ChangeWithoutANewFrame, AnalysesTheKeptFrameAgainAndRecordsNothing) {
    const SettingChange& c = GetParam();
    const auto paint = [](Frame& f, int cx, int cy, int half, uint8_t v) {
        for (int y = cy - half; y <= cy + half; ++y)
            for (int x = cx - half; x <= cx + half; ++x) f[size_t(y) * kFrameWidth + x] = v;
    };
    Frame analysed(kFrameBytes, 10);
    paint(analysed, 100, 100, 5, 220);
    paint(analysed, 300, 200, 5, 150);
    paint(analysed, 400, 300, 1, 220);
    Frame delivered = analysed;
    flip_frame(delivered);

    MailboxSource source;
    source.pending = delivered;
    loop.source = &source;
    NodeModel model;
    model.nodes = {{320, 200, 255}, {400, 325, 255}, {100, 140, 255}};
    Animation record;
    record.recording = true;
    ClusterList drawn;
    loop.scene = Scene{&model, &record, nullptr, &drawn};
    app.options.threshold = 180;
    app.options.y_invert = 1;
    app.options.cluster_method = 0;
    app.options.cure_min_cluster_size = 5;  // unused until the merge is chosen

    run_cycle(app, loop, view);
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(record.frame_count, 1);
    run_cycle(app, loop, view);  // nothing new, nothing changed

    c.change(app.options);
    run_cycle(app, loop, view);
    std::vector<std::pair<int, int>> found;
    for (const Cluster& k : drawn) found.emplace_back(k.x, k.y);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, c.clusters) << "the drawing shows the clusters of the kept frame";
    std::vector<std::pair<int, int>> nodes;
    for (const ModelNode& n : model.nodes) nodes.emplace_back(n.x, n.y);
    EXPECT_EQ(nodes, c.nodes);
    EXPECT_EQ(app.camera_frame, c.unflipped ? delivered : analysed) << "flipped once, as y_invert says";
    EXPECT_EQ(record.frame_count, 1) << "one frame in, one frame recorded";

    // Analysed once per change: the next cycle leaves the (cleared) list alone.
    loop.bright_pixels.clear();
    run_cycle(app, loop, view);
    EXPECT_TRUE(loop.bright_pixels.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ChangeWithoutANewFrame,
    ::testing::Values(
        SettingChange{"threshold", [](Options& o) { o.threshold = 120; },
                      {{100, 100}, {300, 200}}, {{300, 200}, {400, 325}, {100, 140}}, false},
        SettingChange{"region_grow_minimum", [](Options& o) { o.regiongrow_min_cluster_size = 5; },
                      {{100, 100}, {400, 300}}, {{320, 200}, {400, 300}, {100, 140}}, false},
        SettingChange{"method", [](Options& o) { o.cluster_method = 2; },
                      {{100, 100}, {400, 300}}, {{320, 200}, {400, 300}, {100, 140}}, false},
        SettingChange{"tracking_distance", [](Options& o) { o.max_track_distance = 50; },
                      {{100, 100}}, {{320, 200}, {400, 325}, {100, 100}}, false},
        SettingChange{"y_invert", [](Options& o) { o.y_invert = 0; },
                      {{100, 259}}, {{320, 200}, {400, 325}, {100, 140}}, true}),
    [](const auto& info) { return std::string(info.param.name); });
// A frozen frame stays as it was grabbed and flipped, the camera's phase and
// generator stand still, and on release the cycles go on with the frames an
// unfrozen run would have had next.
TEST(MainLoopFreeze, HoldsFramePhaseAndCameraThenContinuesWhereItStopped) {
    auto run = [](int before, int frozen, int after, std::vector<Frame>& frames) {
        platform::set_rand_state(1);
        AppState app;
        app.options.y_invert = 1;
        MainLoop loop{app};
        loop.camera.start();
        prepare_main_loop(app, loop);
        RecordingView view{app};
        for (int i = 0; i < before; ++i) run_cycle(app, loop, view);
        const Frame held = app.camera_frame;
        const float phase = app.time_phase;
        app.frame_frozen = frozen > 0;
        for (int i = 0; i < frozen; ++i) {
            run_cycle(app, loop, view);
            EXPECT_EQ(app.camera_frame, held);
            EXPECT_EQ(app.time_phase, phase);
        }
        app.frame_frozen = false;
        for (int i = 0; i < after; ++i) {
            run_cycle(app, loop, view);
            frames.push_back(app.camera_frame);
        }
        platform::time_end_period(1);
        return app.time_phase;
    };
    std::vector<Frame> unfrozen, released;
    const float phase_unfrozen = run(3, 0, 2, unfrozen);
    const float phase_released = run(3, 4, 2, released);
    EXPECT_EQ(released, unfrozen);
    EXPECT_EQ(phase_released, phase_unfrozen);
}

// While frozen nothing new comes in, so a recording takes no frames; the held
// frame is still analysed, so a node dropped near a marker takes it.
TEST_F(MainLoopTest, AFrozenFrameIsTrackedButNotRecorded) {
    NodeModel model;
    model.nodes = {{300, 300, 255}};
    Animation record;
    record.recording = true;
    loop.scene = Scene{&model, &record, nullptr, nullptr};
    app.options.threshold = 180;
    run_cycle(app, loop, view);
    ASSERT_EQ(record.frame_count, 1);

    app.frame_frozen = true;
    run_cycle(app, loop, view);
    ASSERT_FALSE(loop.clusters.empty());
    const Cluster target = loop.clusters.front();
    model.nodes[0] = ModelNode{target.x + 3, target.y - 2, 255};  // dropped beside a marker
    run_cycle(app, loop, view);
    EXPECT_EQ(model.nodes[0].x, target.x);
    EXPECT_EQ(model.nodes[0].y, target.y);
    EXPECT_EQ(record.frame_count, 1);
    app.frame_frozen = false;
    run_cycle(app, loop, view);
    EXPECT_EQ(record.frame_count, 2);
}

// A file's frames are recorded at the file's own times, however many cycles
// the loop ran between them, and a loop back to the file's start keeps the
// stamps rising by one frame interval.
TEST_F(MainLoopTest, ARecordingOfAFileTakesTheFilesOwnTimes) {
    MailboxSource source;
    source.own_times = true;
    loop.source = &source;
    NodeModel model;
    Animation record;
    record.recording = true;
    loop.scene = Scene{&model, &record, nullptr, nullptr};
    for (double t : {0.0, 40.0, 80.0, 0.0, 40.0}) {  // the file loops after its third frame
        source.pending.assign(kFrameBytes, 10);
        source.time = t;
        for (int i = 0; i < 3; ++i) run_cycle(app, loop, view);
    }
    ASSERT_EQ(record.frame_count, 5);
    for (int f = 0; f < 5; ++f)
        EXPECT_FLOAT_EQ(record.timestamps[static_cast<size_t>(f)] - record.timestamps[0], 40.0f * f) << f;
}

// Seeds no clustering ran on are not markers: with threshold 0, or a method
// outside 0 to 2, nodes sitting on the k-means seeds are not tracked onto
// them and the preview gets no crosses.
struct NoMethodRuns {
    const char* name;
    int32_t threshold;
    int32_t method;
};

class SeedsAreNoClusters : public MainLoopTest, public ::testing::WithParamInterface<NoMethodRuns> {};

TEST_P(SeedsAreNoClusters, NodesOnThemAreHeldAndNoCrossIsDrawn) {
    app.options.threshold = GetParam().threshold;
    app.options.cluster_method = GetParam().method;
    NodeModel model;
    ClusterList drawn;
    loop.scene = Scene{&model, nullptr, nullptr, &drawn};
    run_cycle(app, loop, view);  // the seeding rule fills the list
    ASSERT_EQ(loop.clusters.size(), 3u);
    model.nodes.clear();
    for (const Cluster& seed : loop.clusters) model.nodes.push_back(ModelNode{seed.x + 2, seed.y - 1, 255});
    const std::vector<ModelNode> placed = model.nodes;
    run_cycle(app, loop, view);
    EXPECT_TRUE(drawn.empty()) << "no cross where nothing was found";
    for (size_t n = 0; n < placed.size(); ++n) {
        EXPECT_EQ(model.nodes[n].x, placed[n].x) << n;
        EXPECT_EQ(model.nodes[n].y, placed[n].y) << n;
        EXPECT_EQ(model.node_states[n], NodeState::held) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, SeedsAreNoClusters,
                         ::testing::Values(NoMethodRuns{"threshold_0", 0, 0}, NoMethodRuns{"method_3", 180, 3}),
                         [](const auto& info) { return std::string(info.param.name); });
