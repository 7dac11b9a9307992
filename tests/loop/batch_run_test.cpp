// The batch run: the same analysis as the main loop's cycle, times from the
// source or the stopwatch, and the four ways a run ends.

#include "loop/batch_run.h"

#include <gtest/gtest.h>

#include <vector>

#include "loop/main_loop.h"
#include "model/animation.h"
#include "platform/rand.h"
#include "platform/timer.h"

namespace {

// Nodes near the three squares of the flipped synthetic frame at phase 0.
NodeModel chain_on_squares() {
    NodeModel m;
    m.nodes = {{12, 359 - square1_row(0.0f) + 2, 255},
               {kSquare2Column - 3, 359 - kSquare2Row, 255},
               {square3_column(0.0f), 359 - 250 - 4, 255}};
    return m;
}

// A file-like source: `count` copies of one frame with a bright square,
// shown at 1000 + 40 f ms; or a camera that stops giving frames.
class FakeSource final : public BatchSource {
public:
    FakeSource(int count, bool file) : count_(count), file_(file) {}
    bool next(Frame& frame) override {
        if (given_ == count_) return false;
        frame.assign(kFrameBytes, 0);
        for (int y = 100; y < 110; ++y)
            for (int x = 200; x < 210; ++x) frame[static_cast<size_t>(y) * kFrameWidth + x] = 250;
        ++given_;
        return true;
    }
    std::optional<double> presentation_ms() const override {
        if (!file_) return std::nullopt;
        return 1000.0 + 40.0 * (given_ - 1);
    }
    bool ends() const override { return file_; }

private:
    int count_;
    bool file_;
    int given_ = 0;
};

BatchSettings settings_at(int32_t threshold, int64_t max_frames = -1) {
    BatchSettings s;
    s.options.threshold = threshold;
    s.max_frames = max_frames;
    return s;
}

}  // namespace

TEST(BatchRun, RowsHoldWhatTheMainLoopsCycleTracksFrameByFrame) {
    constexpr int kFrames = 300;
    // The cycle, headless, as the program's first cycles run it, recording:
    // the recording keeps the same sub-pixel centres as the rows.
    platform::set_rand_state(1);
    AppState app;
    app.options.threshold = 180;
    MainLoop loop(app);
    class NoView final : public CycleView {} view;
    NodeModel cycled = chain_on_squares();
    Animation recording;
    ASSERT_TRUE(recording.reset(kFrames, 3));
    start_recording(recording);
    loop.scene.model = &cycled;
    loop.scene.record_animation = &recording;
    loop.camera.start();
    prepare_main_loop(app, loop);
    std::vector<ModelNode> expected;
    for (int f = 0; f < kFrames; ++f) {
        run_cycle(app, loop, view);
        expected.insert(expected.end(), cycled.nodes.begin(), cycled.nodes.end());
    }
    platform::time_end_period(1);

    platform::set_rand_state(1);
    std::string reason;
    const auto source = open_batch_source("synthetic", reason);
    ASSERT_NE(source, nullptr);
    NodeModel model = chain_on_squares();
    FrameTable table;
    const std::atomic<bool> stop{false};
    EXPECT_EQ(run_batch(*source, settings_at(180, kFrames), model, table, stop, nullptr), BatchEnd::frames_done);
    ASSERT_EQ(table.frame_count(), static_cast<size_t>(kFrames));
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(table.nodes[i].x, expected[i].x) << "frame " << i / 3;
        ASSERT_EQ(table.nodes[i].y, expected[i].y) << "frame " << i / 3;
    }
    EXPECT_EQ(table.states.back(), NodeState::tracked);
    const FrameTable recorded = frame_table_of(recording);
    ASSERT_EQ(recorded.sub_pixel_centres.size(), table.sub_pixel_centres.size());
    for (size_t i = 0; i < table.sub_pixel_centres.size(); ++i) {
        const SubPixelCentre &rows = table.sub_pixel_centres[i], &cycle = recorded.sub_pixel_centres[i];
        ASSERT_TRUE(rows.known()) << "frame " << i / 3;
        ASSERT_TRUE(cycle.known() && rows.x == cycle.x && rows.y == cycle.y) << "frame " << i / 3;
    }
    EXPECT_NE(table.nodes[0].y, table.nodes[(kFrames - 1) * 3].y) << "square 1 moved, and its node with it";
    EXPECT_DOUBLE_EQ(table.times_ms[0], 0.0);
    for (int f = 1; f < kFrames; ++f) ASSERT_GE(table.times_ms[f], table.times_ms[f - 1]);
}

TEST(BatchRun, AFileEndsByItselfAndItsRowsCarryItsPresentationTimes) {
    FakeSource file(5, true);
    NodeModel model;
    model.nodes = {{203, 356 - 104, 255}};  // by the square, in the flipped frame
    FrameTable table;
    const std::atomic<bool> stop{false};
    EXPECT_EQ(run_batch(file, settings_at(100), model, table, stop, nullptr), BatchEnd::source_ended);
    EXPECT_EQ(table.times_ms, (std::vector<double>{1000, 1040, 1080, 1120, 1160}));
    EXPECT_EQ(table.states[0], NodeState::tracked);
    EXPECT_EQ(model.nodes[0].x, 204);
}

TEST(BatchRun, ARunStopsAtItsFrameCountAtAStopRequestOrWhenACameraFails) {
    const std::atomic<bool> never{false};
    NodeModel model;
    FrameTable table;
    FakeSource file(50, true);
    EXPECT_EQ(run_batch(file, settings_at(0, 7), model, table, never, nullptr), BatchEnd::frames_done);
    EXPECT_EQ(table.frame_count(), 7u);

    std::atomic<bool> stop{false};
    FrameTable stopped;
    FakeSource file2(50, true);
    std::vector<int64_t> heard;
    EXPECT_EQ(run_batch(file2, settings_at(0), model, stopped, stop,
                        [&](int64_t done) {
                            heard.push_back(done);
                            if (done == 5) stop.store(true);
                        }),
              BatchEnd::stopped);
    EXPECT_EQ(stopped.frame_count(), 5u);
    EXPECT_EQ(heard, (std::vector<int64_t>{1, 2, 3, 4, 5}));

    FakeSource camera(3, false);
    FrameTable failed;
    EXPECT_EQ(run_batch(camera, settings_at(0, 10), model, failed, never, nullptr), BatchEnd::source_failed);
    EXPECT_EQ(failed.frame_count(), 3u);
}

TEST(BatchRun, OnlyTheSyntheticCameraOpensAndAnyOtherTextSaysWhy) {
    std::string reason;
    const auto synthetic = open_batch_source("synthetic", reason);
    ASSERT_NE(synthetic, nullptr);
    EXPECT_FALSE(synthetic->ends());
    for (const char* text : {"walk.mp4", "/dev/video0", "Synthetic", ""}) {
        reason.clear();
        EXPECT_EQ(open_batch_source(text, reason), nullptr) << text;
        EXPECT_NE(reason.find(std::string("\"") + text + "\""), std::string::npos) << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos);
    }
}
