#pragma once
// What the main loop passes to the render thread, and how. One lock guards a
// second copy of the two models, the drawing settings and the newest frame.
// The main loop stores the models, swaps in the frame it copied beforehand and
// posts the render semaphore once, in this order and under the lock; the render
// thread copies the models out and swaps the frame out under the same lock and
// draws from its own copies.
//
// The render thread registers its semaphore and its window here and withdraws
// both under the lock before it destroys them, so a post never reaches a
// destroyed semaphore and the main loop never writes for a window that is gone.
// The main loop never touches the window itself.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "camera/frame.h"
#include "model/node_model.h"
#include "platform/gl_window.h"

struct SDL_semaphore;

// The two options the model drawing reads and the "show angles" and "show
// tracking state" choices, passed with the models so the render thread never
// reads what the GUI writes.
struct ModelDrawSettings {
    int32_t line_width = 1;
    int32_t sensor_max_radius = 20;
    bool show_angles = false;          // the bend angles beside the nodes
    bool show_tracking_state = false;  // a state marker beside each node of the live model
    // The labels' values, one per node, measured by the main loop as the
    // panel shows them (in the source's pixels, calibrated); empty while
    // angles are not shown.
    std::vector<double> live_angles;
    std::vector<double> playback_angles;
};

class RenderHandOver {
public:
    // `stop` is the flag the render thread polls once per pass.
    RenderHandOver(const platform::WindowPlacement& placement, const std::atomic<bool>& stop)
        : placement(placement), stop(stop) {}
    RenderHandOver(const RenderHandOver&) = delete;
    RenderHandOver& operator=(const RenderHandOver&) = delete;

    // Main thread, once per cycle. While the window is registered the models
    // (where given; nullptr keeps the last copy) and the settings are stored;
    // then the frame is stored and the semaphore, if registered, is posted once.
    void publish(const NodeModel* live_model, const NodeModel* playback_model,
                 const ModelDrawSettings& settings, const Frame& frame);

    // Render thread. The semaphore and the window are registered once they
    // exist and withdrawn before they are destroyed.
    void register_semaphore(SDL_semaphore* semaphore);
    void withdraw_semaphore();
    void register_window();
    void withdraw_window();

    // Render thread: copies the stored models and settings out. Copies into
    // models of the same size reuse their storage.
    void take_models(NodeModel& live_model, NodeModel& playback_model, ModelDrawSettings& settings);

    // Render thread, after it took one post: exchanges `frame` with the newest
    // stored frame and returns true, or returns false when no frame came since
    // the last take (posts pile up when the main loop runs faster, and an older
    // frame must never replace a newer one).
    bool take_frame(Frame& frame);

    // Passes per second of the render loop, stored by the render thread once a
    // second; 0 until the first second is full.
    std::atomic<int32_t> passes_per_second{0};

    const platform::WindowPlacement placement;  // where the window goes; fixed at start
    const std::atomic<bool>& stop;

private:
    std::mutex mutex_;
    SDL_semaphore* semaphore_ = nullptr;  // registered by the render thread, null otherwise
    bool window_open_ = false;            // true while the render thread's window exists
    NodeModel live_model_;
    NodeModel playback_model_;
    ModelDrawSettings settings_;
    Frame frame_;
    bool frame_is_new_ = false;  // frame_ holds a frame not taken yet
    Frame next_frame_;           // the main thread's buffer for its next frame; main thread only
};
