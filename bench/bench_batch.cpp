// The batch run over 10,000 synthetic frames at threshold 180 with a chain of
// three nodes on the camera's squares, CSV streamed to a file included,
// beside the main loop's headless cycle over as many frames: items_per_second
// is frames per second, and the ratio of the two is what the batch adds.
//
// The batch run's resident memory over 2 million frames of a source that
// costs next to nothing, the CSV streamed to a file: the counters give the
// resident set after the first 100,000 frames and at the end, in MB.
//
// The batch run over a 640 x 480 MJPEG file of the synthetic camera's frames
// (scaled up, 300 frames, made with the ffmpeg program at the first run),
// beside the same source decoding the file alone: the ratio is what the
// analysis adds to the decode.
//
// The batch run over a 1920 x 1080 H.264 file (the synthetic camera's frames
// scaled up, made with the ffmpeg program at the first run), a file run alone
// with FFmpeg's own decoding threads, beside the ffmpeg program decoding it to
// nothing (`ffmpeg -i FILE -f null -`, its default threads): the ratio of the
// two is what velmora costs over the decode itself.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "loop/batch_run.h"
#include "loop/main_loop.h"
#include "measure/csv_file.h"
#include "platform/file_io.h"
#include "platform/rand.h"
#include "platform/timer.h"
#include "tests/support/test_support.h"
#include "video/camera_source.h"

namespace {

// Runs the batch with its CSV streamed to `csv`; the frames done.
int64_t run_to_csv(BatchSource& source, const BatchSettings& settings, NodeModel& model, const std::string& csv,
                   const std::function<void(int64_t)>& progress = nullptr) {
    platform::OutputFile file;
    if (!file.open(csv, platform::OutputFile::Temp::partial)) return 0;
    CsvSink sink(file, static_cast<int32_t>(model.nodes.size()));
    FrameSink* const sinks[] = {&sink};
    int64_t done = 0;
    const std::atomic<bool> stop{false};
    run_batch(source, settings, model, sinks, stop, [&](int64_t frames) {
        done = frames;
        if (progress) progress(frames);
    });
    benchmark::DoNotOptimize(sink.finish());
    return done;
}

constexpr int64_t kFrames = 10000;

// Nodes on the three squares as the flipped frame shows them at phase 0.
NodeModel chain_on_squares() {
    NodeModel m;
    m.nodes = {{10, 359 - square1_row(0.0f), 255}, {kSquare2Column, 359 - kSquare2Row, 255},
               {square3_column(0.0f), 359 - 250, 255}};
    return m;
}

void BM_BatchSynthetic(benchmark::State& state) {
    const std::string csv =
        (std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()) + ".csv")).string();
    BatchSettings settings;
    settings.options.threshold = 180;
    settings.max_frames = kFrames;
    for (auto _ : state) {
        platform::set_rand_state(1);
        std::string reason;
        const auto source = open_batch_source("synthetic", reason);
        NodeModel model = chain_on_squares();
        run_to_csv(*source, settings, model, csv);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    std::filesystem::remove(csv);
}
BENCHMARK(BM_BatchSynthetic)->Unit(benchmark::kMillisecond);

// The reference: the main loop's cycle with no window, same frames, same chain.
void BM_CycleSynthetic(benchmark::State& state) {
    class NoView final : public CycleView {} view;
    for (auto _ : state) {
        platform::set_rand_state(1);
        AppState app;
        app.options.threshold = 180;
        MainLoop loop(app);
        NodeModel model = chain_on_squares();
        loop.scene.model = &model;
        loop.camera.start();
        prepare_main_loop(app, loop);
        for (int64_t f = 0; f < kFrames; ++f) run_cycle(app, loop, view);
        benchmark::DoNotOptimize(model.nodes.data());
        platform::time_end_period(1);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_CycleSynthetic)->Unit(benchmark::kMillisecond);

constexpr int kVideoFrames = 300;

// A file of the synthetic camera's first frames, encoded by the ffmpeg program
// with `encoding` (its output options) into `name` in a folder of the
// benchmarks, made once and kept; empty when ffmpeg failed.
std::string synthetic_video(const std::string& name, const std::string& encoding) {
    const std::string dir = (std::filesystem::temp_directory_path() / "velmora-bench-batch").string();
    std::filesystem::create_directories(dir);
    const std::string out = dir + "/" + name;
    if (std::filesystem::exists(out)) return out;
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt gray -s 480x360 "
                                "-r 30 -i - " + encoding + " '" + out + ".part' && mv '" + out + ".part' '" +
                                out + "'";
    FILE* ffmpeg = ::popen(command.c_str(), "w");
    if (ffmpeg == nullptr) return std::string();
    platform::set_rand_state(1);
    float phase = 0.0f;
    Videocam_dummy camera(&phase);
    camera.start();
    Frame frame;
    bool written = true;
    for (int f = 0; f < kVideoFrames && written; ++f) {
        camera.grab(frame);
        written = std::fwrite(frame.data(), 1, frame.size(), ffmpeg) == frame.size();
        phase = static_cast<float>(static_cast<double>(phase) + 0.01);
    }
    return ::pclose(ffmpeg) == 0 && written ? out : std::string();
}

// The MJPEG file; empty when ffmpeg failed.
const std::string& marker_video() {
    static const std::string path = synthetic_video("markers.avi", "-vf scale=640:480 -c:v mjpeg -q:v 3 -f avi");
    return path;
}

// The full-HD H.264 file; empty when ffmpeg failed.
const std::string& hd_video() {
    static const std::string path = synthetic_video(
        "markers-1080.mp4", "-vf scale=1920:1080 -c:v libx264 -preset fast -pix_fmt yuv420p -f mp4");
    return path;
}

// `decoder_threads` as BatchSourceOptions says: 0 is FFmpeg's own choice.
void batch_video(benchmark::State& state, const std::string& video, int decoder_threads) {
    if (video.empty()) return state.SkipWithError("the ffmpeg program could not make the input");
    const std::string csv =
        (std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()) + ".csv")).string();
    BatchSettings settings;
    settings.options.threshold = 180;
    int64_t frames = 0;
    for (auto _ : state) {
        std::string reason;
        BatchSourceOptions options;
        options.decoder_threads = decoder_threads;
        const auto source = open_batch_source(video, reason, options);
        if (source == nullptr) return state.SkipWithError(reason.c_str());
        NodeModel model = chain_on_squares();
        frames += run_to_csv(*source, settings, model, csv);
    }
    state.SetItemsProcessed(frames);
    std::filesystem::remove(csv);
}
void BM_BatchVideo(benchmark::State& state) { batch_video(state, marker_video(), 1); }
BENCHMARK(BM_BatchVideo)->Unit(benchmark::kMillisecond)->UseRealTime();

// A file run alone, as velmora track runs it: with FFmpeg's own threads.
void BM_BatchVideo1080(benchmark::State& state) { batch_video(state, hd_video(), 0); }
BENCHMARK(BM_BatchVideo1080)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference for the full-HD run: the ffmpeg program decoding the file to
// nothing with its default threads, as a user would time it.
void BM_FfmpegNull1080(benchmark::State& state) {
    const std::string& video = hd_video();
    if (video.empty()) return state.SkipWithError("the ffmpeg program could not make the input");
    const std::string command = "ffmpeg -nostdin -loglevel error -i '" + video + "' -f null -";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) return state.SkipWithError("the ffmpeg program failed");
    }
    state.SetItemsProcessed(state.iterations() * kVideoFrames);
}
BENCHMARK(BM_FfmpegNull1080)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: the same source over the same file, decoding only.
void BM_BatchVideoDecode(benchmark::State& state) {
    const std::string& video = marker_video();
    if (video.empty()) return state.SkipWithError("the ffmpeg program could not make the input");
    int64_t frames = 0;
    for (auto _ : state) {
        std::string error;
        const auto source = open_camera_source(video, SourceOptions{Pacing::sequential}, nullptr, error);
        if (source == nullptr) return state.SkipWithError(error.c_str());
        source->start();
        Frame frame;
        while (source->grab(frame)) ++frames;
        source->stop();
    }
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_BatchVideoDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame with a bright square, handed over again and again without a copy.
class StillSource final : public BatchSource {
public:
    bool next(Frame& frame) override {
        if (frame.size() != kFrameBytes) {
            frame.assign(kFrameBytes, 10);
            for (int y = 100; y < 110; ++y)
                for (int x = 200; x < 210; ++x) frame[static_cast<size_t>(y) * kFrameWidth + x] = 250;
        }
        return true;
    }
    bool ends() const override { return false; }
};

void BM_BatchMemory(benchmark::State& state) {
    constexpr int64_t kLongRun = 2'000'000;
    const std::string csv =
        (std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()) + ".csv")).string();
    BatchSettings settings;
    settings.options.y_invert = 0;
    settings.max_frames = kLongRun;
    double early = 0, late = 0;
    for (auto _ : state) {
        StillSource source;
        NodeModel model = chain_on_squares();
        run_to_csv(source, settings, model, csv, [&](int64_t frames) {
            if (frames == 100'000) early = static_cast<double>(testing_support::resident_bytes());
            if (frames == kLongRun) late = static_cast<double>(testing_support::resident_bytes());
        });
    }
    state.SetItemsProcessed(state.iterations() * kLongRun);
    state.counters["rss_100k_MB"] = early / 1e6;
    state.counters["rss_2M_MB"] = late / 1e6;
    std::filesystem::remove(csv);
}
BENCHMARK(BM_BatchMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
