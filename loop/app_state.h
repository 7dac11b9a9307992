#pragma once
// The one process-wide state record, in static storage for the whole run.

#include <atomic>
#include <cstdint>

#include "base/extra_settings.h"
#include "base/options.h"
#include "calib/calibration.h"
#include "camera/frame.h"
#include "camera/source_geometry.h"
#include "model/tracking.h"

struct NodeModel;
struct Animation;
struct Stopwatch;
struct SDL_Thread;
class RenderHandOver;

struct AppState {
    float time_phase = 0.0f;                          // grows by 0.01 per cycle; moves the camera's squares
    NodeModel* node_model = nullptr;                  // the live model (the preview's), set at start-up
    // What the render thread shares with the main loop: the models and the
    // frame handed over, the render semaphore and whether the output window
    // exists, all behind one lock (display/render_hand_over.h). Made by the
    // start of a render thread, deleted by its stop; null while none runs.
    RenderHandOver* render_hand_over = nullptr;
    std::atomic<bool> render_thread_stop{false};      // asks the render thread to leave its loop
    SDL_Thread* render_thread = nullptr;              // the render thread, null when none runs
    Options options = default_options();              // the persisted settings
    Frame threshold_frame;                            // this cycle's thresholded (or copied) frame
    bool quit_requested = false;                      // set by "quit&&save"; ends the loop
    Animation* record_animation = nullptr;            // the preview's recording animation
    Stopwatch* stopwatch = nullptr;                   // the main loop's stopwatch
    Frame camera_frame;                               // the raw frame, flipped in place when y_invert is set
    int32_t selected_node = -1;                       // node whose sensor the panel shows; -1 none
    // Settings newer than the options block, kept in the file beside it:
    // loaded after the options at start-up, saved after them at exit.
    ExtraSettings extras;
    // The Tracking page's node memory, kept in `extras` as tracking.memory and
    // tracking.hold_frames; off by default.
    NodeMemorySettings node_memory;
    // "freeze": while set, the cycle asks no source for a frame and keeps the
    // one it has (as flipped then), and the camera's phase stands still, so
    // a release continues where the freeze began.
    bool frame_frozen = false;
    // How the open source's pictures land in the frame; the synthetic
    // camera's (the frame itself) until the source page opens another.
    SourceGeometry source_geometry;
    // The calibration of the "Calibration" window, and it made ready for
    // source_geometry (loop/live_measure.h), valid while `calibrated`.
    Calibration calibration;
    CalibrationMap calibration_map;
    // Counts the calls of `recalibrate`: what was compiled from `calibration`
    // for another source is stale once it moved on.
    uint64_t calibration_version = 0;
    bool calibrated = false;
    // Something in the window shows bend angles ("show angles", the selected
    // node's angle, the chart): the cycle then measures the clusters' sub-pixel
    // centres, so the angles shown are the ones the CSV writes. Set by the
    // panel once a cycle.
    bool angles_shown = false;
};

// The process's state.
extern AppState app_state;
