#include "app/main_loop.h"

#include "camera/frame_ops.h"
#include "platform/timer.h"

void prepare_main_loop(AppState& app, MainLoop& loop) {
    loop.cycle_count = 0;
    loop.rate_mark = platform::clock_ms();
    loop.bright_pixels.clear();
    loop.clusters.clear();
    loop.stopwatch.start();
    app.stopwatch = &loop.stopwatch;
}

void run_cycle(AppState& app, MainLoop& loop, CycleView& view) {
    const Options& options = app.options;

    // Grab and flip. A stopped camera leaves the frame as it was.
    (void)loop.camera.grab(app.camera_frame);
    if (options.y_invert != 0) flip_frame(app.camera_frame);

    kmeans_seed(loop.clusters, options.kmeans_clusters);

    if (options.threshold < 1) {
        copy_frame(app.camera_frame, app.threshold_frame);
    } else {
        threshold_frame(app.camera_frame, app.threshold_frame, options.threshold);
        list_bright_pixels(app.threshold_frame, loop.bright_pixels);
        run_clustering(options, loop.kmeans_sums, loop.region_grow_work, loop.merge_work,
                       loop.bright_pixels, loop.clusters);
    }

    view.hand_over(app.camera_frame);
    view.upload_frame(options.show_thresholding != 0 ? app.threshold_frame : app.camera_frame);

    // Cluster copy into the preview, tracking, recording and playback, the
    // timelines and the selection check: added with the node model.

    view.request_redraw();

    app.time_phase = static_cast<float>(static_cast<double>(app.time_phase) + 0.01);

    ++loop.cycle_count;
    const int64_t now = platform::clock_ms();
    if (now - loop.rate_mark >= 1000) {
        view.show_rate(loop.cycle_count);
        loop.cycle_count = 0;
        loop.rate_mark = now;
    }
}

void run_main_loop(AppState& app, MainLoop& loop, CycleView& view,
                   const std::function<bool()>& process_events) {
    if (!process_events()) return;
    while (!app.quit_requested) {
        run_cycle(app, loop, view);
        if (!process_events()) break;
    }
}
