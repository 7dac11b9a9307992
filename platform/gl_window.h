#pragma once
// A native OpenGL window for a thread of its own: its own connection to the
// display, a borderless window that stays above the others, and a GL context
// with RGBA colour, double buffering and a depth buffer. While the window
// exists, the screen saver and the display's power saving are held off.
// Made for the render thread of the output window: everything here is called
// on the one thread that created the window. (X11 and GLX behind this header;
// their headers stay in the implementation, their macros clash with other
// code.)

#include <cstdint>
#include <memory>

namespace platform {

// Position of the window's top-left corner on the screen and its client size,
// in pixels.
struct WindowPlacement {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The geometry X11 can express: sizes from 1 to 32767, positions from -32768
// to 32767 (the protocol's 16-bit fields). A size of 0 or less becomes 1, a
// position beyond the range is clamped to its end, so the window is still
// made, at worst off every screen.
WindowPlacement clamp_to_x11(const WindowPlacement& requested);

// The step of window creation that failed, in the order they run.
enum class GlWindowStep {
    ok,
    open_display,      // no display connection
    find_visual,       // no GLX, or no RGBA double-buffered visual with depth >= 16
    create_window,     // the server refused the window
    create_context,    // no GL context for the visual
    activate_context,  // the context could not be made current on the window
};

struct GlWindowEvent {
    enum class Kind {
        none,           // no event was waiting
        resized,        // the window's geometry changed; width and height hold the client size
        key,            // a key went down or up
        close_request,  // the window manager asked the window to close
        destroyed,      // another client destroyed the window; it no longer exists
        other,
    };
    Kind kind = Kind::none;
    int32_t width = 0;
    int32_t height = 0;
};

// Turns on Xlib's thread support. Must come before any other Xlib call of the
// process, so the program calls it first thing; later calls do nothing.
void init_x_threads();

class NativeGlWindow {
public:
    NativeGlWindow();
    // Lifts the screen saver hold, releases the context if it is still
    // current, then destroys the context and the window and closes the
    // connection.
    ~NativeGlWindow();
    NativeGlWindow(const NativeGlWindow&) = delete;
    NativeGlWindow& operator=(const NativeGlWindow&) = delete;

    // Opens a display connection of the calling thread's own, creates the
    // window at the placement (clamped as above), a GL context on it, makes
    // the context current on this thread, holds off the screen saver, shows
    // the window and asks the window manager to raise and focus it. Returns
    // the first step that failed; everything made before it is kept until
    // destruction. The screen saver is held only when every step succeeded,
    // and released with the window, also when another client destroys it.
    // Call once.
    GlWindowStep create(const WindowPlacement& placement);

    // True when create succeeded and the window has not been destroyed from
    // outside since.
    bool exists() const;

    // Makes the window's context current on the calling thread (a no-op when
    // it already is). False when the window does not exist (also when another
    // client has just destroyed it) or it failed. Call before each frame.
    bool make_current();

    // Takes at most one event from the window's queue.
    GlWindowEvent pump_one();

    void swap_buffers();

    // Makes no context current on the calling thread. False when that failed.
    bool release_context();

    // The server's number of the window, 0 while there is none.
    unsigned long native_id() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace platform
