#include "loop/main_loop.h"

#include <algorithm>

#include "camera/frame_ops.h"
#include "loop/live_measure.h"
#include "model/animation.h"
#include "model/tracking.h"
#include "platform/timer.h"

namespace {

const ClusterList kNoClusters;

// The time stamp of this cycle's frame in a recording: the source's own
// time where it has one, else the stopwatch.
float record_time(MainLoop& loop) {
    CameraSource* source = loop.source;
    if (source == nullptr || !source->stream_times())
        return static_cast<float>(loop.record_clock.stopwatch_stamp(loop.stopwatch.elapsed_ms()));
    if (loop.clocked_source != source) {
        loop.clocked_source = source;
        loop.record_clock.restart();
        const double fps = source->info().frames_per_second;
        loop.source_interval_ms = fps > 0 ? 1000.0 / fps : 40.0;
    }
    return static_cast<float>(loop.record_clock.source_stamp(source->frame_time_ms(), loop.source_interval_ms));
}

// The stream's side of a cycle: a start or stop of the recording since the
// last look, then the new frame, measured. A new source counts from 0 again.
void count_and_stream(const AppState& app, MainLoop& loop, bool new_frame, float now_ms) {
    FrameCount& c = loop.frame_count;
    if (c.source != loop.source) c = FrameCount{loop.source, false, 0, 0.0, c.recording, std::move(c.measured)};
    const Animation* record = loop.scene.record_animation;
    const bool recording = record != nullptr && record->recording;
    if (recording != c.recording) {
        c.recording = recording;
        // A take starts with the next new frame and stops with the last one.
        if (loop.stream != nullptr)
            loop.stream->take_edge(recording ? TakeEdge::start : TakeEdge::stop, recording ? c.next : c.next - 1);
    }
    if (!new_frame) return;
    if (!c.started) {
        c.started = true;
        c.first_ms = now_ms;
    }
    const int64_t number = c.next++;
    const NodeModel* model = loop.scene.model;
    if (loop.stream == nullptr || model == nullptr) return;
    // The window's own numbers: its source's geometry and calibration.
    measure_frame(number, now_ms - c.first_ms, model->nodes, model->node_states, model->sub_pixel_centres,
                  live_measure_context(app), c.measured);
    loop.stream->take(c.measured);
}

// Cluster copy for the drawing, tracking, recording and the stream (each new
// frame at one time stamp) and playback (each at a fresh stopwatch reading),
// the timelines and the selection check. A cycle that analysed nothing skips
// the cluster copy and tracking; only a new frame is recorded and streamed.
void track_record_and_play(AppState& app, MainLoop& loop, CycleView& view, bool analysed, bool new_frame) {
    Scene& scene = loop.scene;
    const ClusterList& found = loop.clusters_found ? loop.clusters : kNoClusters;
    if (analysed && scene.clusters != nullptr) *scene.clusters = found;
    const auto moved = [&](const NodeModel& m) {
        return !std::equal(m.nodes.begin(), m.nodes.end(), loop.tracked_nodes.begin(), loop.tracked_nodes.end(),
                           [](const ModelNode& a, const ModelNode& b) { return a.x == b.x && a.y == b.y; });
    };
    if (scene.model != nullptr && loop.analysed && (analysed || moved(*scene.model))) {
        cluster_centres(loop.statistics, found, loop.cluster_centres);
        track_nodes(*scene.model, found, app.options.max_track_distance, app.options.min_node_distance,
                    app.node_memory, loop.tracking_memory, loop.cluster_centres);
        loop.tracked_nodes = scene.model->nodes;
        // Wall time: the stopwatch's readings belong to the recording's steps.
        // Below threshold 1 nothing is clustered, and nothing is warned of.
        if (app.options.threshold >= 1)
            loop.scene_watch.observe(static_cast<double>(platform::clock_ms()), found, &loop.statistics,
                                     scene.model->node_states);
        else
            loop.scene_watch.reset();
    }

    Animation* record = scene.record_animation;
    Animation* playback = scene.playback_animation;
    // One time stamp for the new frame in the recording and in the stream:
    // the source's own time where it has one, else the stopwatch.
    const float now_ms = new_frame ? record_time(loop) : loop.stopwatch.elapsed_ms();
    if (new_frame && record != nullptr && scene.model != nullptr && record->recording)
        record->record_step(*scene.model, now_ms);
    count_and_stream(app, loop, new_frame, now_ms);
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

AnalysisSettings analysis_settings(const Options& o) {
    return AnalysisSettings{o.y_invert != 0,
                            o.threshold,
                            o.cluster_method,
                            o.kmeans_clusters,
                            o.kmeans_iterations,
                            o.regiongrow_max_distance,
                            o.regiongrow_max_cluster_size,
                            o.regiongrow_min_cluster_size,
                            o.cure_max_distance,
                            o.cure_min_cluster_size,
                            o.min_node_distance,
                            o.max_track_distance};
}

void prepare_main_loop(AppState& app, MainLoop& loop) {
    loop.cycle_count = 0;
    loop.rate_mark = platform::clock_ms();
    loop.bright_pixels.clear();
    loop.clusters.clear();
    loop.clusters_found = false;
    loop.analysed = false;
    loop.statistics.wanted_by_warnings = true;
    loop.scene_watch.reset();
    loop.stopwatch.start();
    app.stopwatch = &loop.stopwatch;
    if (loop.scene.record_animation != nullptr) app.record_animation = loop.scene.record_animation;
    loop.record_label.clear();
    loop.playback_label.clear();
}

void run_cycle(AppState& app, MainLoop& loop, CycleView& view) {
    const Options& options = app.options;

    // Grab. A stopped synthetic camera leaves the frame as it was, and the
    // cycle runs on it as on a new one. A frozen frame asks no source for a
    // frame: nothing new comes, so nothing is recorded, but the held frame is
    // analysed and tracked in every cycle, so nodes dropped near its markers
    // still take them.
    bool new_frame = false;
    if (app.frame_frozen) {
        // Held as it is, flipped already.
    } else if (loop.source == nullptr) {
        (void)loop.camera.grab(app.camera_frame);
        new_frame = true;
    } else {
        new_frame = loop.source->grab(app.camera_frame);
        // Until a source's first frame comes, the preview shows black.
        if (app.camera_frame.size() != kFrameBytes) app.camera_frame.assign(kFrameBytes, 0);
        if (app.threshold_frame.size() != kFrameBytes) copy_frame(app.camera_frame, app.threshold_frame);
    }

    // Without a new frame the kept one is analysed again while frozen, or
    // when a setting the analysis reads has changed since it was analysed. The kept frame is
    // already flipped as the last analysis asked: flipped back or again when
    // y_invert changed.
    const AnalysisSettings settings = analysis_settings(options);
    const bool analyse = new_frame || (loop.analysed && (app.frame_frozen || settings != loop.analysed_with));
    if (analyse) {
        if (new_frame ? settings.y_invert : settings.y_invert != loop.analysed_with.y_invert)
            flip_frame(app.camera_frame);
        loop.analysed_with = settings;
        loop.analysed = true;

        // A recording that still stores frames keeps the nodes' sub-pixel
        // centres, and angles shown are taken from them.
        const Animation* record = loop.scene.record_animation;
        loop.statistics.wanted_by_measurements =
            app.angles_shown || loop.stream != nullptr ||
            (record != nullptr && record->recording && record->frame_count < record->capacity_frames);
        cluster_frame(options, app.camera_frame, app.threshold_frame, loop.bright_pixels, loop.kmeans_sums,
                      loop.region_grow_work, loop.merge_work, loop.statistics, loop.clusters, loop.clusters_found);
        // Below threshold 1 the preview's thresholded frame is the camera frame.
        if (options.threshold < 1) copy_frame(app.camera_frame, app.threshold_frame);
    }

    view.hand_over(app.camera_frame);
    view.upload_frame(options.show_thresholding != 0 ? app.threshold_frame : app.camera_frame);

    track_record_and_play(app, loop, view, analyse, new_frame);

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
