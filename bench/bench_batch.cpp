// The batch run over 10,000 synthetic frames at threshold 180 with a chain of
// three nodes on the camera's squares, CSV written included, beside the main
// loop's headless cycle over as many frames: items_per_second is frames per
// second, and the ratio of the two is what the batch adds.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "loop/batch_run.h"
#include "loop/main_loop.h"
#include "measure/csv_file.h"
#include "platform/rand.h"
#include "platform/timer.h"

namespace {

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
    const std::atomic<bool> stop{false};
    for (auto _ : state) {
        platform::set_rand_state(1);
        std::string reason;
        const auto source = open_batch_source("synthetic", reason);
        NodeModel model = chain_on_squares();
        FrameTable table;
        run_batch(*source, settings, model, table, stop, nullptr);
        benchmark::DoNotOptimize(save_csv(table, csv));
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

}  // namespace
