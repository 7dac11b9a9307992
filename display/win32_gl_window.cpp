#include "display/win32_gl_window.h"

#include <GL/gl.h>
#include <GL/glu.h>

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
    set_base_projection();
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
        set_base_projection();
    }
}

void Win32_Gl_Window::set_base_projection() {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // X11 windows are never 0 high, but a size event is outside data.
    const double aspect = height > 0 ? static_cast<double>(width) / height : 1.0;
    gluPerspective(45.0, aspect, static_cast<double>(0.1f), 100.0);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
