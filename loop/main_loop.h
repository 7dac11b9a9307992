#pragma once
// The main loop: one fixed sequence of steps per cycle, from grabbing a camera
// frame to showing the cycle rate. The cycle itself needs no GUI toolkit: the
// steps that touch windows go through a CycleView, so tests run thousands of
// cycles headless.

#include <cstdint>
#include <functional>
#include <string>

#include "camera/videocam.h"
#include "cluster/cluster_stats.h"
#include "cluster/clustering.h"
#include "cluster/records.h"
#include "loop/app_state.h"
#include "loop/record_clock.h"
#include "loop/stopwatch.h"
#include "measure/frame_measure.h"
#include "measure/frame_sink.h"
#include "measure/scene_warnings.h"
#include "model/node_model.h"
#include "video/camera_source.h"

struct Animation;

// The preview's live model, its two animations and its copy of the cluster
// list: what the cycle tracks, records, plays and hands to the drawing. Any
// part left null is skipped, so headless runs need no preview.
struct Scene {
    NodeModel* model = nullptr;
    Animation* record_animation = nullptr;
    Animation* playback_animation = nullptr;
    ClusterList* clusters = nullptr;
};

// The settings that flipping, thresholding, clustering and tracking read:
// when one of them changes while no new frame comes, the kept frame is
// analysed again. The k-means thread count is left out (it changes only the
// speed), and so is the merge's maximum cluster size, which nothing reads.
struct AnalysisSettings {
    bool y_invert = false;
    int32_t threshold = 0;
    int32_t cluster_method = 0;
    int32_t kmeans_clusters = 0;
    int32_t kmeans_iterations = 0;
    int32_t regiongrow_max_distance = 0;
    int32_t regiongrow_max_cluster_size = 0;
    int32_t regiongrow_min_cluster_size = 0;
    int32_t cure_max_distance = 0;
    int32_t cure_min_cluster_size = 0;
    int32_t min_node_distance = 0;
    int32_t max_track_distance = 0;
    bool operator==(const AnalysisSettings&) const = default;
};
AnalysisSettings analysis_settings(const Options& options);

// How the cycle numbers the frames it hands to a stream: from 0 at the first
// frame of each source, with times from that frame on the recording's clock,
// whether a stream listens or not, so one switched on later goes on counting.
struct FrameCount {
    const Videocam* source = nullptr;  // whose frames are counted (null: the synthetic camera)
    bool started = false;              // that source gave its first frame
    int64_t next = 0;                  // the number of the source's next new frame
    double first_ms = 0.0;             // the stopwatch at that source's first frame
    bool recording = false;            // the recording animation recorded at the last look
    FrameMeasure measured;             // kept for its storage
};

// What the main loop owns for the whole run.
struct MainLoop {
    explicit MainLoop(AppState& app) : camera(&app.time_phase) {}

    Videocam_dummy camera;
    BrightPixelList bright_pixels;  // rebuilt each cycle the threshold is 1 or more
    ClusterList clusters;           // kept from cycle to cycle
    // Whether `clusters` holds what a method found; seeds no method has run
    // on are not tracked or drawn (see cluster_frame).
    bool clusters_found = false;
    // Clustering work objects, kept for their storage.
    KMeansSums kmeans_sums;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
    Stopwatch stopwatch;
    int32_t cycle_count = 0;  // cycles since the last rate display
    int64_t rate_mark = 0;    // clock_ms() at the last rate display
    Scene scene;              // set once the preview exists
    // The timeline sliders' label texts. A slider keeps a pointer to its
    // label, so the texts live here, from one cycle to the next.
    std::string record_label;
    std::string playback_label;
    // The live model's trails, while node memory is on.
    TrackingMemory tracking_memory;
    // A camera source other than the synthetic camera (a device, file or
    // image sequence), owned elsewhere; null: the synthetic camera above. Its
    // grab is false while no new frame has come, and such a cycle keeps the
    // last frame and skips the analysis (see run_cycle).
    CameraSource* source = nullptr;
    // The recording's time stamps: a file's own times, else the stopwatch.
    RecordClock record_clock;
    const CameraSource* clocked_source = nullptr;  // the source record_clock follows
    double source_interval_ms = 0;                 // its nominal frame interval
    // The settings of the last analysis; valid once `analysed` is set.
    AnalysisSettings analysed_with;
    bool analysed = false;
    // Statistics of the clusters, measured in the cycles in which they are
    // wanted. The cycle itself wants them for the measurements while the
    // recording animation records: its frames keep the nodes' sub-pixel centres.
    ClusterStatistics statistics;
    std::vector<SubPixelCentre> cluster_centres;  // tracking's per-cluster centres, kept for their storage
    // Where each analysed new frame goes, measured, with the recording's
    // starts and stops between the frames (the OSC stream); owned elsewhere,
    // null: nowhere. While one is set, every frame's clusters are measured,
    // so the nodes carry their sub-pixel centres.
    FrameSink* stream = nullptr;
    FrameCount frame_count;
    // The warnings of the last tracking, and the nodes as it left them: nodes
    // moved since (dragged, placed, loaded) are tracked again on the clusters
    // of the frame at hand even when no new frame comes, so a node dropped
    // onto a marker of a paused file shows as tracked.
    SceneWatch scene_watch;
    std::vector<ModelNode> tracked_nodes;
};

// The two recording groups of the control panel.
enum class Timeline { record, playback };

// The window side of a cycle. Each step does nothing until a window provides it.
class CycleView {
public:
    // Hand-over to the output window: models, then the raw frame, then one post.
    virtual void hand_over(const Frame& camera_frame) { (void)camera_frame; }
    // Upload of the frame the preview shows (raw or thresholded).
    virtual void upload_frame(const Frame& frame) { (void)frame; }
    // Ask for the preview to be drawn at the next event processing.
    virtual void request_redraw() {}
    // Once a second: the number of cycles of the last interval.
    virtual void show_rate(int32_t cycles_per_second) { (void)cycles_per_second; }
    // A group's timeline slider: its animation's position and time label.
    virtual void show_timeline(Timeline which, int32_t position, const std::string& label) {
        (void)which, (void)position, (void)label;
    }
    // The node selected in the preview changed: the model and sensor widgets
    // show the live model again.
    virtual void refresh_model_widgets() {}

protected:
    ~CycleView() = default;
};

// Start-up step "prepare the loop": counters, rate mark, empty lists, the
// stopwatch started and published in the application state.
void prepare_main_loop(AppState& app, MainLoop& loop);

// One cycle of the loop, in its fixed order. With a real source, a cycle
// whose grab brought no new frame keeps the last frame (not flipped again)
// and skips seeding, thresholding, clustering, tracking and recording; the
// hand-over, upload, playback steps, timelines, redraw and rate still run, so
// a recording holds one frame per source frame. Such a cycle does analyse the
// kept frame again (flipping it when y_invert changed, then seeding,
// thresholding, clustering and tracking) when an AnalysisSettings field
// changed since the last analysis, so a paused file shows a new threshold at
// once; it still records nothing.
void run_cycle(AppState& app, MainLoop& loop, CycleView& view);

// Processes events once, then runs cycles until `quit_requested` is seen at
// the start of a cycle or `process_events` reports that no window is shown.
// `process_events` is the toolkit's event pass: with the synthetic camera the
// non-blocking one (Fl::check); with another source one that waits up to a
// frame interval for the next frame or event, so an idle loop does not spin.
void run_main_loop(AppState& app, MainLoop& loop, CycleView& view,
                   const std::function<bool()>& process_events);
