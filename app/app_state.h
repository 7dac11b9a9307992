#pragma once
// The one process-wide state record, in static storage for the whole run.

#include <cstdint>

#include "app/options.h"
#include "camera/frame.h"

struct NodeModel;
struct Animation;
struct Stopwatch;
struct SDL_semaphore;
struct SDL_Thread;
class My_win32_gl_window;

struct AppState {
    float time_phase = 0.0f;                          // grows by 0.01 per cycle; moves the camera's squares
    NodeModel* node_model = nullptr;                  // the live model (the preview's), set at start-up
    SDL_semaphore* render_semaphore = nullptr;        // owned by the render thread
    bool render_thread_stop = false;                  // asks the render thread to leave its loop
    My_win32_gl_window* fullscreen_window = nullptr;  // the output window while it exists
    SDL_Thread* render_thread = nullptr;              // the render thread, null when none runs
    Options options = default_options();              // the persisted settings
    Frame threshold_frame;                            // this cycle's thresholded (or copied) frame
    bool quit_requested = false;                      // set by "quit&&save"; ends the loop
    Animation* record_animation = nullptr;            // the preview's recording animation
    Stopwatch* stopwatch = nullptr;                   // the main loop's stopwatch
    Frame render_frame;                               // this cycle's raw frame for the output window
    Frame camera_frame;                               // the raw frame, flipped in place when y_invert is set
    int32_t selected_node = -1;                       // node whose sensor the panel shows; -1 none
};

// The process's state.
extern AppState app_state;
