// Cost of one preview draw as the main loop asks for it every cycle: the
// frame quad, the frame-rate line, 20 cluster crosses and three 10-node models
// with their sensor discs and highlight boxes, drawn and swapped by the toolkit.
// Needs a display (Mesa under Xvfb); skips itself without one.

#include <FL/Fl.H>
#include <FL/x.H>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "display/preview_window.h"

namespace {

void place_model(NodeModel& m, int32_t x0, int32_t y0) {
    m.set_node_count(10);
    for (int32_t i = 0; i < 10; ++i) m.nodes[static_cast<size_t>(i)] = {x0 + 40 * i, y0 + (i % 2) * 30, 255};
    m.visible = true;
    m.hovered = 3;
    m.selected = 4;
}

void BM_DrawPreview(benchmark::State& state) {
    // The toolkit ends the process when it cannot open the display: look first.
    Display* probe = std::getenv("DISPLAY") != nullptr ? XOpenDisplay(nullptr) : nullptr;
    if (probe == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    XCloseDisplay(probe);
    Options options = default_options();
    MYWINDOW preview(options);
    place_model(preview.model, 40, 60);
    place_model(preview.record_animation.model, 40, 160);
    place_model(preview.playback_animation.model, 40, 260);
    for (int32_t i = 0; i < 20; ++i) preview.clusters.push_back({20 + 22 * i, 330 - 10 * (i % 3), 255});
    preview.fps = 600;

    preview.show();
    for (int i = 0; i < 10; ++i) Fl::wait(0.01);
    preview.redraw();
    Fl::flush();  // the first draw makes the texture and the font
    Frame frame(kFrameBytes);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i * 7) % 64);
    preview.upload_frame(frame);

    for (auto _ : state) {
        preview.redraw();
        Fl::flush();
    }
    preview.hide();
}
BENCHMARK(BM_DrawPreview)->Unit(benchmark::kMicrosecond);

}  // namespace
