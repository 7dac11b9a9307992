#include "loop/batch_run.h"

#include "camera/frame_ops.h"
#include "camera/videocam.h"
#include "cluster/clustering.h"
#include "loop/stopwatch.h"
#include "platform/timer.h"

namespace {

class SyntheticSource final : public BatchSource {
public:
    SyntheticSource() : camera_(&phase_) { camera_.start(); }

    bool next(Frame& frame) override {
        const bool grabbed = camera_.grab(frame);
        // As the main loop steps it: a double sum stored as float.
        phase_ = static_cast<float>(static_cast<double>(phase_) + 0.01);
        return grabbed;
    }
    bool ends() const override { return false; }

private:
    float phase_ = 0.0f;
    Videocam_dummy camera_;
};

// What one frame's analysis works on, kept for its storage.
struct BatchWork {
    Frame frame;
    Frame thresholded;
    BrightPixelList pixels;
    ClusterList clusters;
    KMeansSums kmeans_sums;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
    TrackingMemory memory;
    // Every row is a measurement: the clusters are always measured, and the
    // nodes keep their sub-pixel centres.
    ClusterStatistics statistics;
    std::vector<SubPixelCentre> centres;
};

// The cycle's analysis steps, in its order: flip, k-means seeding, then
// threshold, pixel list, clustering and its statistics when the threshold is
// 1 or more (else the clusters stay as they were), then tracking.
void analyse(const BatchSettings& settings, NodeModel& model, BatchWork& w) {
    const Options& o = settings.options;
    if (o.y_invert != 0) flip_frame(w.frame);
    kmeans_seed(w.clusters, o.kmeans_clusters);
    if (o.threshold >= 1) {
        threshold_frame(w.frame, w.thresholded, o.threshold);
        list_bright_pixels(w.thresholded, w.pixels);
        w.statistics.wanted_by_measurements = true;
        prepare_member_listing(w.statistics, w.kmeans_sums, w.region_grow_work, w.merge_work);
        run_clustering(o, w.kmeans_sums, w.region_grow_work, w.merge_work, w.pixels, w.clusters);
        finish_cluster_statistics(w.statistics, o.cluster_method, w.clusters, w.frame, o.threshold);
    }
    cluster_centres(w.statistics, w.clusters, w.centres);
    track_nodes(model, w.clusters, o.max_track_distance, o.min_node_distance, settings.memory, w.memory, w.centres);
}

}  // namespace

std::unique_ptr<BatchSource> open_batch_source(const std::string& text, std::string& reason) {
    if (text == "synthetic") return std::make_unique<SyntheticSource>();
    reason = "cannot open source \"" + text + "\": no such source can be opened; only \"synthetic\" is known";
    return nullptr;
}

BatchEnd run_batch(BatchSource& source, const BatchSettings& settings, NodeModel& model, FrameTable& table,
                   const std::atomic<bool>& stop, const std::function<void(int64_t)>& progress) {
    BatchWork work;
    Stopwatch stopwatch{};
    stopwatch.start();
    double first_ms = 0.0;
    int64_t done = 0;
    BatchEnd end = BatchEnd::frames_done;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            end = BatchEnd::stopped;
            break;
        }
        if (settings.max_frames >= 0 && done >= settings.max_frames) break;
        if (!source.next(work.frame)) {
            end = source.ends() ? BatchEnd::source_ended : BatchEnd::source_failed;
            break;
        }
        double time_ms = 0.0;
        if (const std::optional<double> shown = source.presentation_ms()) {
            time_ms = *shown;
        } else {
            const double now = stopwatch.elapsed_ms();
            if (done == 0) first_ms = now;
            time_ms = now - first_ms;
        }
        analyse(settings, model, work);
        table.append(time_ms, model);
        ++done;
        if (progress) progress(done);
    }
    platform::time_end_period(1);
    return end;
}
