// Per-cycle costs of tracking and of one record-and-play step, the cost of
// saving and loading a recording of 1000 frames of 10 nodes, and what a loaded
// model of 10^3 to 10^6 nodes costs each step that walks its nodes: tracking,
// the whole headless cycle, hover picking, the hand-over to the output window
// and the preview's drawing (the last needs a display).

#include <FL/Fl.H>
#include <FL/x.H>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "base/log.h"
#include "display/preview_window.h"
#include "display/render_hand_over.h"
#include "loop/app_state.h"
#include "loop/main_loop.h"
#include "model/animation.h"
#include "model/animation_file.h"
#include "model/model_file.h"
#include "model/tracking.h"

namespace {

// Clusters spread over the frame and a chain whose nodes sit near some of
// them, as after the operator placed the model on the markers.
void BM_Track(benchmark::State& state) {
    const int nodes = static_cast<int>(state.range(0));
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> x(0, 479), y(0, 359), jitter(-5, 5);
    ClusterList clusters;
    for (int k = 0; k < 2 * nodes; ++k) clusters.push_back(Cluster{x(rng), y(rng), 255});
    NodeModel model;
    model.set_node_count(nodes);
    for (int i = 0; i < nodes; ++i)
        model.nodes[i] = ModelNode{clusters[2 * i].x + jitter(rng), clusters[2 * i].y + jitter(rng), 255};
    for (auto _ : state) {
        track_nodes(model, clusters, 30, 10);
        benchmark::DoNotOptimize(model.nodes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Track)->Arg(10);

Animation recording(int32_t frames, int32_t nodes) {
    Animation a;
    a.reset(frames, nodes);
    NodeModel live;
    live.set_node_count(nodes);
    start_recording(a);
    for (int32_t f = 0; f < frames; ++f) {
        for (int32_t n = 0; n < nodes; ++n) live.nodes[n] = ModelNode{f % 480, (f * 7 + n) % 360, 255};
        a.record_step(live, 1000.0f + 16.7f * f);
    }
    stop_recording(a);
    return a;
}

// What the cycle does after tracking: a record step, then a play step of the
// recording animation and of the playback animation (10 nodes, looping).
void BM_RecordPlayStep(benchmark::State& state) {
    Animation record;
    record.reset(1000, 10);
    NodeModel live;
    live.set_node_count(10);
    start_recording(record);
    Animation playback = recording(1000, 10);
    start_playing(playback, true, 0.0f);
    float now = 0.0f;
    for (auto _ : state) {
        now += 1.0f;
        if (record.frame_count >= record.capacity_frames) start_recording(record);
        record.record_step(live, now);
        record.play_step(now);
        playback.play_step(now);
        benchmark::DoNotOptimize(playback.model.nodes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RecordPlayStep);

std::string bench_file(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("velmora-bench-") + std::to_string(::getpid()) + name))
        .string();
}

void remove_files(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    std::filesystem::remove(path + ".model", ec);
}

// Saving writes the text through a temporary file, flushed to disk, renamed
// over the target, plus the companion model file.
void BM_SaveAnimation(benchmark::State& state) {
    const Animation a = recording(static_cast<int32_t>(state.range(0)), 10);
    const std::string path = bench_file("-save.txt");
    std::ostream quiet(nullptr);
    for (auto _ : state) benchmark::DoNotOptimize(save_animation(a, path, Log{quiet, quiet}));
    remove_files(path);
}
BENCHMARK(BM_SaveAnimation)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadAnimation(benchmark::State& state) {
    const std::string path = bench_file("-load.txt");
    std::ostream quiet(nullptr);
    save_animation(recording(static_cast<int32_t>(state.range(0)), 10), path, Log{quiet, quiet});
    Animation a;
    for (auto _ : state) benchmark::DoNotOptimize(load_animation(a, path, Log{quiet, quiet}));
    remove_files(path);
}
BENCHMARK(BM_LoadAnimation)->Arg(1000)->Unit(benchmark::kMillisecond);

// --- large models ----------------------------------------------------------------

// The clusters of a busy frame: a lattice 12 pixels apart over the whole
// frame (40 x 30), farther apart than the default minimum node distance.
ClusterList lattice_clusters() {
    ClusterList clusters;
    for (int32_t y = 6; y < 360; y += 12)
        for (int32_t x = 6; x < 480; x += 12) clusters.push_back(Cluster{x, y, 255});
    return clusters;
}

// A loaded model of n nodes. Layout 0: the first nodes sit on the clusters,
// as once tracking caught them, and the rest keep the default row, which runs
// far right of the frame. Layout 1: every node somewhere in the frame.
NodeModel large_model(int32_t n, int32_t layout, const ClusterList& clusters) {
    NodeModel m;
    m.set_node_count(n);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> x(0, 479), y(0, 359);
    for (int32_t i = 0; i < n; ++i) {
        ModelNode& node = m.nodes[static_cast<size_t>(i)];
        if (layout == 1) {
            node = ModelNode{x(rng), y(rng), 255};
        } else if (static_cast<size_t>(i) < clusters.size()) {
            node = ModelNode{clusters[static_cast<size_t>(i)].x, clusters[static_cast<size_t>(i)].y, 255};
        }
    }
    m.visible = true;
    return m;
}

constexpr int64_t kLargeModelSizes[] = {1000, 100000, 1000000};

void large_model_args(benchmark::internal::Benchmark* b) {
    for (const int64_t n : kLargeModelSizes) b->Args({n, 0});
    for (const int64_t n : kLargeModelSizes) b->Args({n, 1});
    b->ArgNames({"nodes", "layout"})->Unit(benchmark::kMillisecond)->MinTime(0.5);
}

// Tracking alone, default reach and minimum distance; the model is tracked
// once before timing, so every timed call sees the same, settled scene.
void BM_TrackLargeModel(benchmark::State& state) {
    const ClusterList clusters = lattice_clusters();
    NodeModel model = large_model(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), clusters);
    track_nodes(model, clusters, 30, 10);
    for (auto _ : state) {
        track_nodes(model, clusters, 30, 10);
        benchmark::DoNotOptimize(model.nodes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TrackLargeModel)->Apply(large_model_args);

// Loading a model file of that many nodes, from its text in memory.
void BM_ParseLargeModel(benchmark::State& state) {
    const std::string text = format_model(large_model(static_cast<int32_t>(state.range(0)), 0, lattice_clusters()));
    NodeModel model;
    for (auto _ : state) benchmark::DoNotOptimize(parse_model(model, text));
    state.SetBytesProcessed(static_cast<int64_t>(text.size()) * state.iterations());
}
BENCHMARK(BM_ParseLargeModel)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("nodes")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

// The headless main-loop cycle (grab, threshold 41, region grow, tracking,
// recording and playback) with the large model as the live model.
void BM_CycleLargeModel(benchmark::State& state) {
    AppState app;
    app.options.threshold = 41;
    app.options.cluster_method = 0;
    MainLoop loop(app);
    loop.camera.start();
    NodeModel model = large_model(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                                  lattice_clusters());
    Animation record, playback = recording(1000, 10);
    start_recording(record);
    start_playing(playback, true, 0.0f);
    ClusterList shown;
    loop.scene = Scene{&model, &record, &playback, &shown};
    prepare_main_loop(app, loop);
    struct NoWindows final : CycleView {
    } view;
    for (auto _ : state) run_cycle(app, loop, view);
    state.counters["clusters"] = static_cast<double>(loop.clusters.size());
}
BENCHMARK(BM_CycleLargeModel)->Apply(large_model_args);

// The pointer moving over the preview: one hover pick.
void BM_HoverLargeModel(benchmark::State& state) {
    NodeModel model = large_model(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                                  lattice_clusters());
    int32_t x = 0;
    for (auto _ : state) {
        model.pick_hovered(x++ % 480, 100);
        benchmark::DoNotOptimize(model.hovered);
    }
}
BENCHMARK(BM_HoverLargeModel)->Apply(large_model_args);

// The hand-over of one cycle while the output window is open: the main loop
// stores the live and playback models, the render thread copies them out.
void BM_HandOverLargeModel(benchmark::State& state) {
    const NodeModel model = large_model(static_cast<int32_t>(state.range(0)), 0, lattice_clusters());
    const NodeModel playback;
    std::atomic<bool> stop{false};
    RenderHandOver hand_over(platform::WindowPlacement{}, stop);
    hand_over.register_window();
    const Frame frame(kFrameBytes);
    NodeModel live_copy, playback_copy;
    ModelDrawSettings settings;
    for (auto _ : state) {
        hand_over.publish(&model, &playback, settings, frame);
        hand_over.take_models(live_copy, playback_copy, settings);
        benchmark::DoNotOptimize(live_copy.nodes.data());
    }
}
BENCHMARK(BM_HandOverLargeModel)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("nodes")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

// One preview draw with the large model as the live model (Mesa's software
// renderer under Xvfb). Skips itself without a display.
void BM_DrawLargeModel(benchmark::State& state) {
    Display* probe = std::getenv("DISPLAY") != nullptr ? XOpenDisplay(nullptr) : nullptr;
    if (probe == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    XCloseDisplay(probe);
    Options options = default_options();
    MYWINDOW preview(options);
    preview.model = large_model(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                                lattice_clusters());
    preview.show();
    for (int i = 0; i < 10; ++i) Fl::wait(0.01);
    for (auto _ : state) {
        preview.redraw();
        Fl::flush();
    }
    preview.hide();
}
BENCHMARK(BM_DrawLargeModel)->Apply(large_model_args);

}  // namespace
