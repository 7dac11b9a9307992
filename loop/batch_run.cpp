#include "loop/batch_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "camera/frame_ops.h"
#include "cluster/clustering.h"
#include "measure/frame_measure.h"
#include "loop/stopwatch.h"
#include "platform/timer.h"
#include "video/camera_source.h"

namespace {

// A camera source read frame by frame. The synthetic camera reads its phase
// from here and, as the main loop steps it, moves it on after every grab.
class CameraBatchSource final : public BatchSource {
public:
    // Opens the source `text` names; null, with the reason, when it cannot.
    static std::unique_ptr<CameraBatchSource> open(const std::string& text, const BatchSourceOptions& options,
                                                   std::string& reason) {
        std::unique_ptr<CameraBatchSource> batch(new CameraBatchSource);
        SourceOptions source_options{Pacing::sequential};
        source_options.count_frames = true;
        source_options.sequence_fps = options.sequence_fps;
        source_options.decoder_threads = options.decoder_threads;
        source_options.camera_mode = options.camera_mode;
        batch->source_ = open_camera_source(text, source_options, &batch->phase_, reason);
        if (batch->source_ == nullptr) return nullptr;
        const SourceInfo info = batch->source_->info();
        batch->synthetic_ = info.kind == SourceKind::synthetic;
        batch->ends_ = info.kind == SourceKind::file || info.kind == SourceKind::sequence;
        if (batch->ends_) batch->length_ = info.frame_count;
        return batch;
    }

    bool next(Frame& frame) override {
        if (!started_) {
            started_ = true;
            if (!source_->start()) return false;
        }
        const bool grabbed = source_->grab(frame);
        // As the main loop steps it: a double sum stored as float.
        if (synthetic_) phase_ = static_cast<float>(static_cast<double>(phase_) + 0.01);
        // How this very picture lies in the frame: a decoder knows once it
        // has one, and a stream may change its size on the way.
        if (grabbed) geometry_ = source_->frame_geometry();
        return grabbed;
    }
    // Files and sequences carry their own times; a camera's frames (and the
    // synthetic camera's) are timed by the run's stopwatch.
    std::optional<double> presentation_ms() const override {
        if (!ends_) return std::nullopt;
        return source_->frame_time_ms();
    }
    bool ends() const override { return ends_; }
    int64_t length() const override { return length_; }
    std::string fault() const override { return source_->fault(); }
    bool damaged() const override { return source_->damaged(); }
    const SourceGeometry* geometry() const override { return geometry_ ? &*geometry_ : nullptr; }

private:
    CameraBatchSource() = default;

    float phase_ = 0.0f;
    std::unique_ptr<CameraSource> source_;
    bool synthetic_ = false;
    bool ends_ = false;
    int64_t length_ = -1;
    bool started_ = false;
    std::optional<SourceGeometry> geometry_;
};

// What one frame's analysis works on, kept for its storage.
struct BatchWork {
    Frame frame;
    Frame thresholded;
    BrightPixelList pixels;
    ClusterList clusters;
    bool clusters_found = false;  // `clusters` holds what a method found, not seeds
    KMeansSums kmeans_sums;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
    TrackingMemory memory;
    // Every row is a measurement: the clusters are always measured, and the
    // nodes keep their sub-pixel centres.
    ClusterStatistics statistics;
    std::vector<SubPixelCentre> centres;
};

// The cycle's analysis steps, in its order: flip, the set-up on the first
// frame when asked (it may change `o`), the frame's clustering with the
// statistics every row measures, tracking, then the frame's warnings.
void analyse(const BatchSettings& settings, Options& o, NodeModel& model, BatchWork& w, int64_t frame,
             double time_ms) {
    if (o.y_invert != 0) flip_frame(w.frame);
    if (frame == 0 && (settings.setup.find_markers || settings.setup.place_nodes)) {
        const SceneSetupReport report = set_up_scene(settings.setup, w.frame, o, model);
        if (settings.on_setup) settings.on_setup(report);
    }
    w.statistics.wanted_by_measurements = true;
    cluster_frame(o, w.frame, w.thresholded, w.pixels, w.kmeans_sums, w.region_grow_work, w.merge_work,
                  w.statistics, w.clusters, w.clusters_found);
    static const ClusterList kNoClusters;
    const ClusterList& found = w.clusters_found ? w.clusters : kNoClusters;
    cluster_centres(w.statistics, found, w.centres);
    track_nodes(model, found, o.max_track_distance, o.min_node_distance, settings.memory, w.memory, w.centres);
    if (BatchChecks* checks = settings.checks) {
        const SceneWarnings& seen = checks->watch.observe(time_ms, found, &w.statistics, model.node_states);
        for (std::string& line : checks->once.new_lines(frame, time_ms, seen)) checks->warnings.push_back(std::move(line));
    }
}

// Waits until `due_ms` of the run's stopwatch, waking every tenth of a
// second to see whether the run is to stop.
void wait_until(const Stopwatch& stopwatch, double due_ms, const std::atomic<bool>& stop) {
    for (;;) {
        const double left = due_ms - stopwatch.elapsed_ms();
        if (left <= 0 || stop.load(std::memory_order_relaxed)) return;
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(std::min(left, 100.0)));
    }
}

// Makes the calibration ready for the source's pictures and measures with it:
// at the first frame, and again when a stream changes its picture size.
bool ready_calibration(BatchCalibration& c, MeasureContext& context) {
    if (c.ready && context.geometry != nullptr && context.geometry->width == c.map.width &&
        context.geometry->height == c.map.height)
        return true;
    c.ready = false;
    context.calibration = nullptr;
    if (context.geometry == nullptr) {
        c.error = "the source's picture size is not known";
        return false;
    }
    if (!compile_calibration(c.calibration, context.geometry->width, context.geometry->height, c.map, c.error))
        return false;
    c.ready = true;
    context.calibration = &c.map;
    return true;
}

}  // namespace

std::unique_ptr<BatchSource> open_batch_source(const std::string& text, std::string& reason,
                                               const BatchSourceOptions& options) {
    std::string why;
    std::unique_ptr<BatchSource> source = CameraBatchSource::open(text, options, why);
    if (source != nullptr) return source;
    // The source's reason mostly starts with the text itself, said once here.
    if (why.rfind(text + ": ", 0) == 0) why.erase(0, text.size() + 2);
    reason = "cannot open source \"" + text + "\": " + why;
    return nullptr;
}

BatchEnd run_batch(BatchSource& source, const BatchSettings& settings, NodeModel& model,
                   std::span<FrameSink* const> sinks, const std::atomic<bool>& stop,
                   const std::function<void(int64_t)>& progress) {
    BatchWork work;
    // The set-up on the first frame may choose the threshold and distance.
    Options options = settings.options;
    FrameMeasure measured;
    std::vector<FrameSink*> live(sinks.begin(), sinks.end());
    MeasureContext context;
    context.y_invert = options.y_invert != 0;
    Stopwatch stopwatch{};
    stopwatch.start();
    double first_ms = 0.0;
    std::optional<double> first_shown;  // the first frame's presentation time
    int64_t done = 0;
    BatchEnd end = BatchEnd::frames_done;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            end = BatchEnd::stopped;
            break;
        }
        if (!sinks.empty() && live.empty()) {
            end = BatchEnd::outputs_failed;
            break;
        }
        if (settings.max_frames >= 0 && done >= settings.max_frames) break;
        if (!source.next(work.frame)) {
            end = source.ends() && source.fault().empty() ? BatchEnd::source_ended : BatchEnd::source_failed;
            break;
        }
        double time_ms = 0.0;
        if (const std::optional<double> shown = source.presentation_ms()) {
            time_ms = *shown;
            if (!first_shown) {
                first_shown = *shown;
                first_ms = stopwatch.elapsed_ms();
            }
            if (settings.realtime) wait_until(stopwatch, first_ms + (*shown - *first_shown), stop);
        } else {
            const double now = stopwatch.elapsed_ms();
            if (done == 0) first_ms = now;
            time_ms = now - first_ms;
        }
        analyse(settings, options, model, work, done, time_ms);
        context.geometry = source.geometry();
        if (settings.calibration != nullptr && !ready_calibration(*settings.calibration, context)) {
            end = BatchEnd::calibration_failed;
            break;
        }
        measure_frame(done, time_ms, model.nodes, model.node_states, model.sub_pixel_centres, context, measured);
        if (done == 0)
            for (FrameSink* sink : live) sink->take_edge(TakeEdge::start, 0);
        std::erase_if(live, [&](FrameSink* sink) { return !sink->take(measured); });
        ++done;
        if (progress) progress(done);
    }
    // The run is one take: a stream hears where it ends.
    if (done > 0)
        for (FrameSink* sink : live) sink->take_edge(TakeEdge::stop, done - 1);
    platform::time_end_period(1);
    return end;
}
