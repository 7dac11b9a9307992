// The batch run: the same analysis as the main loop's cycle, times from the
// source or the stopwatch, the four ways a run ends, and files and image
// sequences made in the test, whole and cut short.

#include "loop/batch_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>

#include "loop/main_loop.h"
#include "measure/animation_sink.h"
#include "measure/csv_file.h"
#include "measure/frame_table.h"
#include "model/animation_file.h"
#include "model/animation.h"
#include "platform/rand.h"
#include "platform/timer.h"
#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"

using testing_support::TempDir;

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
    FakeSource(int count, bool file, std::string fault = "") : count_(count), file_(file), fault_(std::move(fault)) {}
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
    std::string fault() const override { return given_ == count_ ? fault_ : ""; }

private:
    int count_;
    bool file_;
    std::string fault_;
    int given_ = 0;
};

// Runs the batch into a table of every frame.
BatchEnd run_into(BatchSource& source, const BatchSettings& settings, NodeModel& model, FrameTable& table,
                  const std::atomic<bool>& stop, const std::function<void(int64_t)>& progress = nullptr) {
    TableSink sink(table);
    FrameSink* const sinks[] = {&sink};
    return run_batch(source, settings, model, sinks, stop, progress);
}

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
    EXPECT_EQ(run_into(*source, settings_at(180, kFrames), model, table, stop), BatchEnd::frames_done);
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
    EXPECT_EQ(run_into(file, settings_at(100), model, table, stop), BatchEnd::source_ended);
    EXPECT_EQ(table.times_ms, (std::vector<double>{1000, 1040, 1080, 1120, 1160}));
    EXPECT_EQ(table.states[0], NodeState::tracked);
    EXPECT_EQ(model.nodes[0].x, 204);
}

TEST(BatchRun, RealtimeAnalysesNoFrameOfAFileBeforeItsOwnTime) {
    FakeSource file(6, true);  // 40 ms apart
    NodeModel model;
    FrameTable table;
    const std::atomic<bool> stop{false};
    BatchSettings settings = settings_at(100);
    settings.realtime = true;
    const auto start = std::chrono::steady_clock::now();
    std::vector<double> done_ms;
    run_into(file, settings, model, table, stop, [&](int64_t) {
        done_ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    });
    ASSERT_EQ(done_ms.size(), 6u);
    for (size_t f = 1; f < done_ms.size(); ++f) EXPECT_GE(done_ms[f], 40.0 * f - 1.0) << f;
}

TEST(BatchRun, ARunStopsAtItsFrameCountAtAStopRequestOrWhenACameraFails) {
    const std::atomic<bool> never{false};
    NodeModel model;
    FrameTable table;
    FakeSource file(50, true);
    EXPECT_EQ(run_into(file, settings_at(0, 7), model, table, never), BatchEnd::frames_done);
    EXPECT_EQ(table.frame_count(), 7u);

    std::atomic<bool> stop{false};
    FrameTable stopped;
    FakeSource file2(50, true);
    std::vector<int64_t> heard;
    EXPECT_EQ(run_into(file2, settings_at(0), model, stopped, stop,
                        [&](int64_t done) {
                            heard.push_back(done);
                            if (done == 5) stop.store(true);
                        }),
              BatchEnd::stopped);
    EXPECT_EQ(stopped.frame_count(), 5u);
    EXPECT_EQ(heard, (std::vector<int64_t>{1, 2, 3, 4, 5}));

    FakeSource camera(3, false);
    FrameTable failed;
    EXPECT_EQ(run_into(camera, settings_at(0, 10), model, failed, never), BatchEnd::source_failed);
    EXPECT_EQ(failed.frame_count(), 3u);

    FakeSource broken(4, true, "take.mkv: a picture of 0 x 0 pixels cannot be shown");
    FrameTable kept;
    EXPECT_EQ(run_into(broken, settings_at(0), model, kept, never), BatchEnd::source_failed)
        << "a file that fails has not ended";
    EXPECT_EQ(kept.frame_count(), 4u);
}

TEST(BatchRun, TextsThatNameNoSourceSayWhyInOneLine) {
    std::string reason;
    for (const char* text : {"synthetic", " Synthetic "}) {
        const auto synthetic = open_batch_source(text, reason);
        ASSERT_NE(synthetic, nullptr) << text;
        EXPECT_FALSE(synthetic->ends()) << "the synthetic camera runs for as many frames as asked";
    }
    TempDir dir;
    testing_support::write_whole_file(dir.file("notes.mp4"), "not a video\n");
    for (const std::string& text : {std::string("walk.mp4"), dir.file("notes.mp4"), std::string("")}) {
        reason.clear();
        EXPECT_EQ(open_batch_source(text, reason), nullptr) << text;
        EXPECT_EQ(reason.rfind("cannot open source \"" + text + "\": ", 0), 0u) << reason;
        if (!text.empty()) {
            EXPECT_EQ(reason.find(text, reason.find(text) + 1), std::string::npos) << "said once: " << reason;
        }
        EXPECT_EQ(reason.find('\n'), std::string::npos);
    }
}

// Frames with one bright 11 x 11 square whose centre moves 3 pixels right a
// frame from column 100, row 100: a node on it shows which frame a row holds.
constexpr int kMovingFrames = 30;
int square_column(int frame) { return 100 + 3 * frame; }

std::vector<Frame> moving_square_frames() {
    std::vector<Frame> frames;
    for (int f = 0; f < kMovingFrames; ++f) {
        Frame frame(kFrameBytes, 10);
        for (int y = 95; y <= 105; ++y)
            for (int x = square_column(f) - 5; x <= square_column(f) + 5; ++x)
                frame[static_cast<size_t>(y) * kFrameWidth + x] = 240;
        frames.push_back(std::move(frame));
    }
    return frames;
}

// The frames as an FFV1 file at 25 frames a second, or as a folder of PGM
// images (which an image sequence shows at 25 a second too). Returns the
// text to open; empty when the ffmpeg program failed.
using MakeInput = std::string (*)(const TempDir& dir);

std::string ffv1_file(const TempDir& dir) {
    video_inputs::write_y4m(dir.file("in.y4m"), moving_square_frames(), kFrameWidth, kFrameHeight);
    const std::string path = dir.file("take.mkv");
    return video_inputs::ffmpeg("-i " + dir.file("in.y4m") + " -c:v ffv1 -g 1 " + path) ? path : "";
}

std::string pgm_folder(const TempDir& dir) {
    const std::string folder = dir.file("shots");
    std::filesystem::create_directory(folder);
    const std::vector<Frame> frames = moving_square_frames();
    for (size_t f = 0; f < frames.size(); ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%03zu.pgm", f);
        testing_support::write_whole_file(folder + name, "P5 480 360 255\n" + std::string(frames[f].begin(), frames[f].end()));
    }
    return folder;
}

class BatchOverRecordedFrames : public ::testing::TestWithParam<MakeInput> {};

TEST_P(BatchOverRecordedFrames, GivesOneRowPerFrameAtItsTimesAndEndsByItself) {
    TempDir dir;
    const std::string text = GetParam()(dir);
    ASSERT_FALSE(text.empty()) << "the ffmpeg program could not make the input";
    std::string reason;
    const auto source = open_batch_source(text, reason);
    ASSERT_NE(source, nullptr) << reason;
    EXPECT_TRUE(source->ends());
    EXPECT_EQ(source->length(), kMovingFrames);

    NodeModel model;
    model.nodes = {{square_column(0) - 2, 359 - 100 + 1, 255}};  // by the square, in the flipped frame
    FrameTable table;
    const std::atomic<bool> stop{false};
    EXPECT_EQ(run_into(*source, settings_at(100), model, table, stop), BatchEnd::source_ended);
    ASSERT_EQ(table.frame_count(), static_cast<size_t>(kMovingFrames));
    for (int f = 0; f < kMovingFrames; ++f) {
        EXPECT_DOUBLE_EQ(table.times_ms[f], 40.0 * f) << "frame " << f;
        EXPECT_EQ(table.nodes[f].x, square_column(f)) << "frame " << f;
        EXPECT_EQ(table.nodes[f].y, 359 - 100) << "frame " << f;
    }
    EXPECT_TRUE(source->fault().empty()) << source->fault();
}

INSTANTIATE_TEST_SUITE_P(Inputs, BatchOverRecordedFrames, ::testing::Values(&ffv1_file, &pgm_folder),
                         [](const auto& info) { return info.param == &ffv1_file ? "ffv1" : "pgm_folder"; });

TEST(BatchRun, AFileCutShortKeepsTheRowsOfTheFramesItHolds) {
    TempDir dir;
    const std::string path = ffv1_file(dir);
    ASSERT_FALSE(path.empty()) << "the ffmpeg program could not make the input";
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    std::string reason;
    const auto source = open_batch_source(path, reason);
    ASSERT_NE(source, nullptr) << reason;
    NodeModel model;
    model.nodes = {{square_column(0), 359 - 100, 255}};
    FrameTable table;
    const std::atomic<bool> stop{false};
    EXPECT_EQ(run_into(*source, settings_at(100), model, table, stop), BatchEnd::source_ended);
    EXPECT_GE(table.frame_count(), 5u);
    EXPECT_LT(table.frame_count(), static_cast<size_t>(kMovingFrames));
    for (size_t f = 0; f + 1 < table.frame_count(); ++f)
        EXPECT_EQ(table.nodes[f].x, square_column(static_cast<int>(f))) << "frame " << f;
}

// A variable-rate file (each frame longer than the last) whose header gives
// no frame count: its length is counted, not guessed from its duration and
// nominal rate, which would promise 917 frames for its 40.
TEST(BatchRun, AVariableRateFileIsCountedForItsProgressTotal) {
    TempDir dir;
    std::vector<Frame> frames(40, Frame(kFrameBytes, 10));
    video_inputs::write_y4m(dir.file("in.y4m"), frames, 0, 0, "W480 H360 F100:1");
    const std::string path = dir.file("vfr.mkv");
    ASSERT_TRUE(video_inputs::ffmpeg("-i " + dir.file("in.y4m") + " -vf \"setpts='(N+N*N/8)/25/TB'\" " +
                                     "-fps_mode passthrough -c:v ffv1 " + path));
    std::string reason;
    const auto source = open_batch_source(path, reason);
    ASSERT_NE(source, nullptr) << reason;
    EXPECT_EQ(source->length(), 40);
}

// --- outputs -----------------------------------------------------------------------

namespace {

// A sink that takes frames up to `fails_at` and fails from then on.
class FailingSink final : public FrameSink {
public:
    explicit FailingSink(int64_t fails_at) : fails_at_(fails_at) {}
    bool take(const FrameMeasure& frame) override {
        if (frame.frame >= fails_at_) return false;
        ++taken;
        return true;
    }
    int64_t taken = 0;

private:
    int64_t fails_at_;
};

// One frame with a bright square, handed over again and again without a copy.
class StillSource final : public BatchSource {
public:
    bool next(Frame& frame) override {
        if (frame.size() != kFrameBytes) FakeSource(1, false).next(frame);
        return true;
    }
    bool ends() const override { return false; }
};

// A stream whose pictures grow from 480 x 360 to 640 x 480 after two frames.
class GrowingSource final : public BatchSource {
public:
    bool next(Frame& frame) override {
        frame.assign(kFrameBytes, 0);
        geometry_ = given_ < 2 ? source_geometry(480, 360) : source_geometry(640, 480);
        ++given_;
        return true;
    }
    bool ends() const override { return false; }
    const SourceGeometry* geometry() const override { return &geometry_; }

private:
    SourceGeometry geometry_;
    int given_ = 0;
};

}  // namespace

// A calibration holds for the pictures it was made for: a stream that
// changes its size mid-run is not measured with the old size's map.
TEST(BatchRun, ACalibrationIsCheckedAgainWhenTheStreamChangesItsPictureSize) {
    const std::atomic<bool> never{false};
    Calibration c;
    c.width = 480;
    c.height = 360;
    c.scale = ScaleLevel{{0, 0}, {100, 0}, 10.0, "mm"};
    BatchCalibration calibration{c, {}, false, {}};
    BatchSettings s = settings_at(0, 5);
    s.calibration = &calibration;
    NodeModel model;
    GrowingSource stream;
    FrameTable table;
    EXPECT_EQ(run_into(stream, s, model, table, never), BatchEnd::calibration_failed);
    EXPECT_EQ(table.frame_count(), 2u);
    EXPECT_FALSE(calibration.error.empty());
}

TEST(BatchRun, AFailedOutputIsFedNoMoreWhileTheOthersGoOnAndTheRunEndsWithTheLast) {
    const std::atomic<bool> never{false};
    NodeModel model;
    FakeSource file(50, true);
    FrameTable table;
    TableSink kept(table);
    FailingSink early(3);
    FrameSink* const both[] = {&early, &kept};
    EXPECT_EQ(run_batch(file, settings_at(0, 20), model, both, never, nullptr), BatchEnd::frames_done);
    EXPECT_EQ(early.taken, 3);
    EXPECT_EQ(table.frame_count(), 20u);

    FakeSource file2(50, true);
    FailingSink first(3), second(5);
    FrameSink* const failing[] = {&first, &second};
    int64_t done = 0;
    EXPECT_EQ(run_batch(file2, settings_at(0), model, failing, never, [&](int64_t frames) { done = frames; }),
              BatchEnd::outputs_failed);
    EXPECT_EQ(second.taken, 5);
    EXPECT_EQ(done, 6) << "no frame is analysed once no output is left";
}

// The animation holds what an animation may; the frame past its bound ends
// it, and the other outputs get every frame.
TEST(BatchRun, AnAnimationStopsAtItsBoundAndTheRunGoesOn) {
    TempDir dir;
    const std::atomic<bool> never{false};
    NodeModel model;
    model.nodes = {{203, 356 - 104, 255}};
    FakeSource file(10, true);
    FrameTable table;
    TableSink kept(table);
    testing_support::CapturedLog quiet;
    AnimationSink animation(dir.file("anim.txt"), model, 1, -1, quiet.log(), 4);
    FrameSink* const sinks[] = {&animation, &kept};
    EXPECT_EQ(run_batch(file, settings_at(100), model, sinks, never, nullptr), BatchEnd::source_ended);
    EXPECT_TRUE(animation.full());
    EXPECT_EQ(table.frame_count(), 10u);
    ASSERT_TRUE(animation.finish());
    Animation loaded;
    ASSERT_TRUE(load_animation(loaded, dir.file("anim.txt"), quiet.log()));
    EXPECT_EQ(loaded.frame_count, 4);
    EXPECT_EQ(loaded.frames[3].x, table.nodes[3].x);
    EXPECT_FLOAT_EQ(loaded.timestamps[3], 1120.0f);
    EXPECT_EQ(loaded.model.nodes[0].x, model.nodes[0].x) << "the chain beside it";
}

// The run's resident memory does not grow with its length: what it keeps of
// a frame is on disk once the frame is done.
TEST(BatchRun, MemoryStaysFlatOverALongRunWithItsCsvOnDisk) {
    constexpr int64_t kFrames = 300'000, kWarm = 50'000;
    TempDir dir;
    BatchSettings settings = settings_at(0, kFrames);
    settings.options.y_invert = 0;
    NodeModel model;
    StillSource source;
    platform::OutputFile file;
    ASSERT_TRUE(file.open(dir.file("out.csv"), platform::OutputFile::Temp::partial));
    CsvSink csv(file, 3);
    FrameSink* const sinks[] = {&csv};
    uint64_t warm = 0, end = 0;
    const std::atomic<bool> never{false};
    run_batch(source, settings, model, sinks, never, [&](int64_t frames) {
        if (frames == kWarm) warm = testing_support::resident_bytes();
        if (frames == kFrames) end = testing_support::resident_bytes();
    });
    ASSERT_TRUE(csv.finish());
    ASSERT_GT(warm, 0u);
    // A table of these frames would grow by about 20 MB.
    EXPECT_LT(static_cast<double>(end) - static_cast<double>(warm), 2e6) << warm << " -> " << end;
    const std::string text = testing_support::read_whole_file(dir.file("out.csv"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kFrames + 1);
    EXPECT_EQ(text.substr(text.rfind("\r\n", text.size() - 3) + 2, 7), "299999,");
}
