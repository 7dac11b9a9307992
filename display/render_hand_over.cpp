#include "display/render_hand_over.h"

#include <SDL.h>

#include <utility>

void RenderHandOver::publish(const NodeModel* live_model, const NodeModel* playback_model,
                             const ModelDrawSettings& settings, const Frame& frame) {
    // The frame is copied before the lock is taken and swapped in under it, so
    // the render thread never waits for a 172800-byte copy.
    next_frame_.assign(frame.begin(), frame.end());
    const std::lock_guard<std::mutex> lock(mutex_);
    if (window_open_) {
        // A model's angles go with it: one not given keeps its labels too.
        ModelDrawSettings next = settings;
        if (live_model != nullptr) live_model_ = *live_model;
        else next.live_angles = std::move(settings_.live_angles);
        if (playback_model != nullptr) playback_model_ = *playback_model;
        else next.playback_angles = std::move(settings_.playback_angles);
        settings_ = std::move(next);
    }
    std::swap(next_frame_, frame_);
    frame_is_new_ = true;
    // Posted under the lock: the render thread withdraws the semaphore under
    // the same lock before destroying it.
    if (semaphore_ != nullptr) SDL_SemPost(semaphore_);
}

void RenderHandOver::register_semaphore(SDL_semaphore* semaphore) {
    const std::lock_guard<std::mutex> lock(mutex_);
    semaphore_ = semaphore;
}

void RenderHandOver::withdraw_semaphore() {
    const std::lock_guard<std::mutex> lock(mutex_);
    semaphore_ = nullptr;
}

void RenderHandOver::register_window() {
    const std::lock_guard<std::mutex> lock(mutex_);
    window_open_ = true;
}

void RenderHandOver::withdraw_window() {
    const std::lock_guard<std::mutex> lock(mutex_);
    window_open_ = false;
}

void RenderHandOver::take_models(NodeModel& live_model, NodeModel& playback_model,
                                 ModelDrawSettings& settings) {
    const std::lock_guard<std::mutex> lock(mutex_);
    live_model = live_model_;
    playback_model = playback_model_;
    settings = settings_;
}

bool RenderHandOver::take_frame(Frame& frame) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!frame_is_new_) return false;
    // The three frame buffers (the main loop's next, this one, the render
    // thread's) only change places, so once each holds a frame nothing is
    // allocated any more.
    std::swap(frame, frame_);
    frame_is_new_ = false;
    return true;
}
