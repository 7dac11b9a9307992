#include "display/win32_gl_window.h"

#include "display/gl_texture.h"
#include "platform/message.h"

const char* window_creation_error_text(platform::GlWindowStep step) {
    using platform::GlWindowStep;
    switch (step) {
        case GlWindowStep::ok:
            return nullptr;
        case GlWindowStep::open_display:
        case GlWindowStep::create_window:
            return "Window Creation Error.";
        case GlWindowStep::find_visual:
            return "Can't Find A Suitable PixelFormat.";
        case GlWindowStep::create_context:
            return "Can't Create A GL Rendering Context.";
        case GlWindowStep::activate_context:
            return "Can't Activate The GL Rendering Context.";
    }
    return "Window Creation Error.";
}

Win32_Gl_Window::Win32_Gl_Window(const platform::WindowPlacement& placement) {
    const platform::GlWindowStep step = native_.create(placement);
    if (step != platform::GlWindowStep::ok) {
        platform::show_message("ERROR", window_creation_error_text(step));
        return;
    }
    const platform::WindowPlacement made = platform::clamp_to_x11(placement);
    width = made.width;
    height = made.height;
    set_up_view(width, height);
}

Win32_Gl_Window::~Win32_Gl_Window() {
    if (exists() && !native_.release_context()) {
        platform::show_message("SHUTDOWN ERROR", "Release Of DC And RC Failed.");
    }
}

void Win32_Gl_Window::pump_message() {
    const platform::GlWindowEvent event = native_.pump_one();
    if (event.kind == platform::GlWindowEvent::Kind::resized) {
        width = event.width;
        height = event.height;
        set_up_view(width, height);
    }
}
