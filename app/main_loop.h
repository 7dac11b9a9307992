#pragma once
// The main loop: one fixed sequence of steps per cycle, from grabbing a camera
// frame to showing the cycle rate. The cycle itself needs no GUI toolkit: the
// steps that touch windows go through a CycleView, so tests run thousands of
// cycles headless.

#include <cstdint>
#include <functional>

#include "app/app_state.h"
#include "app/stopwatch.h"
#include "camera/videocam.h"
#include "cluster/clustering.h"
#include "cluster/records.h"

// What the main loop owns for the whole run.
struct MainLoop {
    explicit MainLoop(AppState& app) : camera(&app.time_phase) {}

    Videocam_dummy camera;
    BrightPixelList bright_pixels;  // rebuilt each cycle the threshold is 1 or more
    ClusterList clusters;           // kept from cycle to cycle
    // Clustering work objects, kept for their storage.
    KMeansSums kmeans_sums;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
    Stopwatch stopwatch;
    int32_t cycle_count = 0;  // cycles since the last rate display
    int64_t rate_mark = 0;    // clock_ms() at the last rate display
};

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

protected:
    ~CycleView() = default;
};

// Start-up step "prepare the loop": counters, rate mark, empty lists, the
// stopwatch started and published in the application state.
void prepare_main_loop(AppState& app, MainLoop& loop);

// One cycle of the loop, in its fixed order.
void run_cycle(AppState& app, MainLoop& loop, CycleView& view);

// Processes events once, then runs cycles until `quit_requested` is seen at
// the start of a cycle or `process_events` reports that no window is shown.
// `process_events` is the toolkit's non-blocking event pass (Fl::check).
void run_main_loop(AppState& app, MainLoop& loop, CycleView& view,
                   const std::function<bool()>& process_events);
