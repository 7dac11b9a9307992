#include "loop/main_loop.h"

#include "camera/frame_ops.h"
#include "model/animation.h"
#include "model/tracking.h"
#include "platform/timer.h"

namespace {

// Cluster copy for the drawing, tracking, recording and playback (each at a
// fresh stopwatch reading), the timelines and the selection check.
void track_record_and_play(AppState& app, MainLoop& loop, CycleView& view) {
    Scene& scene = loop.scene;
    if (scene.clusters != nullptr) *scene.clusters = loop.clusters;
    if (scene.model != nullptr)
        track_nodes(*scene.model, loop.clusters, app.options.max_track_distance, app.options.min_node_distance);

    Animation* record = scene.record_animation;
    Animation* playback = scene.playback_animation;
    if (record != nullptr && scene.model != nullptr) record->record_step(*scene.model, loop.stopwatch.elapsed_ms());
    if (record != nullptr) record->play_step(loop.stopwatch.elapsed_ms());
    if (playback != nullptr) playback->play_step(loop.stopwatch.elapsed_ms());

    if (record != nullptr) {
        loop.record_label = record->time_label();
        view.show_timeline(Timeline::record, record->position, loop.record_label);
    }
    if (playback != nullptr) {
        loop.playback_label = playback->time_label();
        view.show_timeline(Timeline::playback, playback->position, loop.playback_label);
    }

    if (scene.model != nullptr && scene.model->selected != app.selected_node) {
        app.selected_node = scene.model->selected;
        view.refresh_model_widgets();
    }
}

}  // namespace

void prepare_main_loop(AppState& app, MainLoop& loop) {
    loop.cycle_count = 0;
    loop.rate_mark = platform::clock_ms();
    loop.bright_pixels.clear();
    loop.clusters.clear();
    loop.stopwatch.start();
    app.stopwatch = &loop.stopwatch;
    if (loop.scene.record_animation != nullptr) app.record_animation = loop.scene.record_animation;
    loop.record_label.clear();
    loop.playback_label.clear();
}

void run_cycle(AppState& app, MainLoop& loop, CycleView& view) {
    const Options& options = app.options;

    // Grab and flip. A stopped camera leaves the frame as it was; a frozen
    // frame is held as it is, flipped already.
    if (!app.frame_frozen) {
        (void)loop.camera.grab(app.camera_frame);
        if (options.y_invert != 0) flip_frame(app.camera_frame);
    }

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

    track_record_and_play(app, loop, view);

    view.request_redraw();

    if (!app.frame_frozen) app.time_phase = static_cast<float>(static_cast<double>(app.time_phase) + 0.01);

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
