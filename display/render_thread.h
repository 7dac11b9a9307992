#pragma once
// Start and stop of the output window's render thread, and the main loop's
// hand-over to it. All three are called on the main thread only.

#include "camera/frame.h"
#include "loop/app_state.h"
#include "measure/frame_measure.h"

struct NodeModel;

// "(re)open": stops a running render thread, then starts a new one whose
// window takes the position and size the options hold now.
void start_output_window(AppState& app);

// "close" and shut-down: asks the render thread to stop and waits for it; it
// ends within one pass. Does nothing when no render thread runs.
void stop_output_window(AppState& app);

// The main loop's hand-over, once per cycle: the models (nullptr keeps the
// window's last copy), the raw frame, then one post of the render semaphore.
// `show_angles` asks for the bend angles beside the nodes, measured here as
// the panel measures them: the live model's in the live source's geometry and
// calibration, the playback model's in `playback_context` (its take's).
// `show_tracking_state` asks for the state markers of the live model. Does
// nothing while no render thread runs.
void hand_over_to_output_window(AppState& app, const NodeModel* live_model,
                                const NodeModel* playback_model, const Frame& camera_frame,
                                bool show_angles = false, bool show_tracking_state = false,
                                const MeasureContext& playback_context = {});
