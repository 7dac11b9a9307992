// The main loop with the output window closed (window_width 0) and open at two
// sizes (width x 3/4 width), from one run: the loop's cycles per second
// (items_per_second, wall time) and, while the window is open, the render
// loop's passes per second, which its 10 ms sleep bounds near 100; the rest
// of each pass is Mesa's software drawing, which grows with the window. Needs a display: tests/support/xvfb-run.sh build/plain/bench/velmora_bench
// --benchmark_filter=Output. The loop here has no preview window, so its rate
// is the pipeline's own, without the preview's redraw.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "display/render_hand_over.h"
#include "display/render_thread.h"
#include "loop/app_state.h"
#include "loop/main_loop.h"
#include "model/node_model.h"
#include "platform/gl_window.h"
#include "platform/timer.h"

namespace {

class OutputOnlyView final : public CycleView {
public:
    explicit OutputOnlyView(AppState& app) : app_(app) {
        live_.visible = true;
        playback_.visible = true;
        for (ModelNode& n : playback_.nodes) n.y = 100;
    }
    void hand_over(const Frame& camera_frame) override {
        hand_over_to_output_window(app_, &live_, &playback_, camera_frame);
    }

private:
    AppState& app_;
    NodeModel live_;
    NodeModel playback_;
};

void BM_MainLoopWithOutputWindow(benchmark::State& state) {
    const int32_t width = static_cast<int32_t>(state.range(0));
    const bool open = width > 0;
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("needs a display");
        return;
    }
    platform::init_x_threads();
    AppState app;
    app.options.fullscreen_x = 0;
    app.options.fullscreen_y = 0;
    app.options.fullscreen_width = width;
    app.options.fullscreen_height = width * 3 / 4;
    MainLoop loop(app);
    loop.camera.start();
    prepare_main_loop(app, loop);
    OutputOnlyView view(app);
    if (open) start_output_window(app);

    for (auto _ : state) run_cycle(app, loop, view);

    state.SetItemsProcessed(state.iterations());
    if (open) {
        state.counters["render_passes_per_s"] = app.render_hand_over->passes_per_second.load();
        stop_output_window(app);
    }
    platform::time_end_period(1);
}
BENCHMARK(BM_MainLoopWithOutputWindow)
    ->ArgName("window_width")
    ->Arg(0)
    ->Arg(320)
    ->Arg(800)
    ->MinTime(3.0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
