#include "display/render_thread.h"

#include <SDL.h>

#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "display/angle_labels.h"
#include "display/output_window.h"
#include "display/render_hand_over.h"
#include "loop/live_measure.h"
#include "platform/timer.h"

namespace {

// The render semaphore: made by the render thread, registered with the
// hand-over, and withdrawn from it before it is destroyed.
class RenderSemaphore {
public:
    explicit RenderSemaphore(RenderHandOver& hand_over)
        : hand_over_(hand_over), semaphore_(SDL_CreateSemaphore(0)) {
        // Without a semaphore posts have no effect and no frame is uploaded.
        if (semaphore_ != nullptr) hand_over_.register_semaphore(semaphore_);
    }
    ~RenderSemaphore() { destroy(); }
    RenderSemaphore(const RenderSemaphore&) = delete;
    RenderSemaphore& operator=(const RenderSemaphore&) = delete;

    // Takes one post when one is waiting; never blocks, because this thread
    // is the only one that takes.
    bool take_post() {
        if (semaphore_ == nullptr || SDL_SemValue(semaphore_) == 0) return false;
        SDL_SemWait(semaphore_);
        return true;
    }

    void destroy() {
        if (semaphore_ == nullptr) return;
        hand_over_.withdraw_semaphore();
        SDL_DestroySemaphore(std::exchange(semaphore_, nullptr));
    }

private:
    RenderHandOver& hand_over_;
    SDL_semaphore* semaphore_;
};

// The window's presence as the main loop sees it.
class WindowRegistration {
public:
    explicit WindowRegistration(RenderHandOver& hand_over) : hand_over_(hand_over) {
        hand_over_.register_window();
    }
    ~WindowRegistration() { hand_over_.withdraw_window(); }
    WindowRegistration(const WindowRegistration&) = delete;
    WindowRegistration& operator=(const WindowRegistration&) = delete;

private:
    RenderHandOver& hand_over_;
};

// Counts passes and stores the count once a second of clock time is full.
class PassCounter {
public:
    // Returns true when a second is full; `per_second` then holds its count.
    bool count(int32_t& per_second) {
        ++passes_;
        const int64_t now = platform::clock_ms();
        if (now - mark_ < 1000) return false;
        per_second = passes_;
        passes_ = 0;
        mark_ = now;
        return true;
    }

private:
    int32_t passes_ = 0;
    int64_t mark_ = platform::clock_ms();
};

// Renders until the stop, or until another client destroys the window.
void render_window(RenderHandOver& hand_over, My_win32_gl_window& window,
                   RenderSemaphore& semaphore) {
    const WindowRegistration registration(hand_over);
    PassCounter counter;
    Frame frame;
    while (!hand_over.stop.load()) {
        if (!window.make_current()) return;
        if (semaphore.take_post() && hand_over.take_frame(frame)) window.upload_frame(frame);
        hand_over.take_models(window.live_model, window.playback_model, window.draw_settings);
        window.pump_message();
        if (!window.make_current()) return;
        window.draw();
        window.pump_message();
        if (!window.exists()) return;
        window.swap_buffers();
        SDL_Delay(10);
        if (counter.count(window.fps)) hand_over.passes_per_second.store(window.fps);
    }
}

// Without a window (its creation failed and was reported once, or it was
// destroyed from outside) the thread takes no more posts and only waits for
// its stop, a pass at a time.
void wait_for_stop(RenderHandOver& hand_over, RenderSemaphore& semaphore) {
    semaphore.destroy();
    while (!hand_over.stop.load()) SDL_Delay(10);
}

void run_render_thread(RenderHandOver& hand_over) {
    RenderSemaphore semaphore(hand_over);
    My_win32_gl_window window(hand_over.placement);
    if (window.exists()) render_window(hand_over, window, semaphore);
    wait_for_stop(hand_over, semaphore);
    std::cout << "normally exiting fullscreen thread" << std::flush;
}

int render_thread_body(void* data) {
    RenderHandOver& hand_over = *static_cast<RenderHandOver*>(data);
    // Nothing may unwind out of the thread. The window's owners have released
    // what was made by the time a failure arrives here.
    try {
        run_render_thread(hand_over);
    } catch (const std::exception& e) {
        std::cerr << ("\nfullscreen thread failed: " + std::string(e.what())) << std::flush;
    } catch (...) {
        std::cerr << "\nfullscreen thread failed" << std::flush;
    }
    return 1;
}

}  // namespace

void start_output_window(AppState& app) {
    stop_output_window(app);
    const Options& o = app.options;
    auto hand_over = std::make_unique<RenderHandOver>(
        platform::WindowPlacement{o.fullscreen_x, o.fullscreen_y, o.fullscreen_width,
                                  o.fullscreen_height},
        app.render_thread_stop);
    SDL_Thread* thread = SDL_CreateThread(&render_thread_body, hand_over.get());
    if (thread == nullptr) {
        std::cerr << "\ncannot start the fullscreen thread" << std::flush;
        return;
    }
    app.render_hand_over = hand_over.release();
    app.render_thread = thread;
}

void stop_output_window(AppState& app) {
    if (app.render_thread == nullptr) return;
    app.render_thread_stop.store(true);
    SDL_WaitThread(app.render_thread, nullptr);
    app.render_thread = nullptr;
    // The thread is gone: nothing else holds the hand-over now.
    delete std::exchange(app.render_hand_over, nullptr);
    app.render_thread_stop.store(false);
}

void hand_over_to_output_window(AppState& app, const NodeModel* live_model,
                                const NodeModel* playback_model, const Frame& camera_frame,
                                bool show_angles, bool show_tracking_state,
                                const MeasureContext& playback_context) {
    if (app.render_hand_over == nullptr) return;
    ModelDrawSettings settings;
    settings.line_width = app.options.line_width;
    settings.sensor_max_radius = app.options.sensor_max_radius;
    settings.show_angles = show_angles;
    settings.show_tracking_state = show_tracking_state;
    if (show_angles) {
        if (live_model != nullptr) measure_angle_labels(*live_model, live_measure_context(app), settings.live_angles);
        if (playback_model != nullptr) measure_angle_labels(*playback_model, playback_context, settings.playback_angles);
    }
    app.render_hand_over->publish(live_model, playback_model, settings, camera_frame);
}
