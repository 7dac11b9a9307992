#pragma once
// Start and stop of the output window's render thread, and the main loop's
// hand-over to it. All three are called on the main thread only.

#include "camera/frame.h"
#include "loop/app_state.h"

struct NodeModel;

// "(re)open": stops a running render thread, then starts a new one whose
// window takes the position and size the options hold now.
void start_output_window(AppState& app);

// "close" and shut-down: asks the render thread to stop and waits for it; it
// ends within one pass. Does nothing when no render thread runs.
void stop_output_window(AppState& app);

// The main loop's hand-over, once per cycle: the models (nullptr keeps the
// window's last copy), the raw frame, then one post of the render semaphore.
// `show_angles` asks for the bend angles beside the nodes,
// `show_tracking_state` for the state markers of the live model. Does nothing
// while no render thread runs.
void hand_over_to_output_window(AppState& app, const NodeModel* live_model,
                                const NodeModel* playback_model, const Frame& camera_frame,
                                bool show_angles = false, bool show_tracking_state = false);
