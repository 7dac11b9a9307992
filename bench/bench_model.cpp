// Per-cycle costs of tracking and of one record-and-play step, and the cost of
// saving and loading a recording of 1000 frames of 10 nodes.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "base/log.h"
#include "model/animation.h"
#include "model/animation_file.h"
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

}  // namespace
