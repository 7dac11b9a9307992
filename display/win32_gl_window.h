#pragma once
// The base of the output window: a native GL window with its context, made on
// and used by one thread only (the render thread). It reports each failed step
// of its creation to the operator, keeps its client size from the size events
// and sets the view up again (set_up_view) whenever the size changes.

#include <cstdint>

#include "platform/gl_window.h"

class Win32_Gl_Window {
public:
    // Creates the window and its context and makes the context current. A
    // failure is shown to the operator ("ERROR") and leaves the object without
    // a window: exists() is false and drawing must not happen.
    explicit Win32_Gl_Window(const platform::WindowPlacement& placement);
    // Releases the context ("SHUTDOWN ERROR" when that fails), then the window
    // and the connection go with the native window.
    virtual ~Win32_Gl_Window();
    Win32_Gl_Window(const Win32_Gl_Window&) = delete;
    Win32_Gl_Window& operator=(const Win32_Gl_Window&) = delete;

    virtual void draw() {}

    bool exists() const { return native_.exists(); }
    bool make_current() { return native_.make_current(); }
    void swap_buffers() { native_.swap_buffers(); }
    unsigned long native_id() const { return native_.native_id(); }

    // Handles at most one waiting event: a size change stores the size and
    // sets the projection; keys and the window manager's close request do
    // nothing, so the window stays open. When another client destroyed the
    // window, exists() is false afterwards.
    void pump_message();

    int32_t width = 0;   // client size, set at creation and by every size event
    int32_t height = 0;

private:
    platform::NativeGlWindow native_;
};

// The text shown for a failed creation step; nullptr for ok.
const char* window_creation_error_text(platform::GlWindowStep step);
