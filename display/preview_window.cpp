#include "display/preview_window.h"

#include <FL/Fl.H>
#include <GL/glu.h>

#include <cstdio>
#include <vector>

#include "display/draw.h"
#include "display/gl_texture.h"

namespace {

constexpr int kTextureSize = 512;  // power of two that holds the 480 x 360 frame
// The texture's 512 texels are stretched over 511 pixels, so frame pixel (x, y)
// lands within one pixel of window pixel (x, y).
constexpr int kQuadSize = 511;

}  // namespace

MouseEvent mouse_event_of(int fl_event) {
    switch (fl_event) {
        case FL_PUSH:
            return MouseEvent::press;
        case FL_DRAG:
            return MouseEvent::drag;
        case FL_MOVE:
            return MouseEvent::move;
        default:
            return MouseEvent::other;
    }
}

bool is_operator_event(int fl_event) {
    switch (fl_event) {
        case FL_PUSH:
        case FL_RELEASE:
        case FL_DRAG:
        case FL_MOVE:
        case FL_ENTER:
        case FL_LEAVE:
        case FL_MOUSEWHEEL:
        case FL_KEYDOWN:
        case FL_KEYUP:
        case FL_SHORTCUT:
            return true;
        default:
            return false;
    }
}

// --- GLWINDOW -----------------------------------------------------------------

GLWINDOW::GLWINDOW(int x, int y, int w, int h, const char* label) : Fl_Gl_Window(x, y, w, h, label) {
    end();  // holds no widgets: those made after it belong to its parent
}

int GLWINDOW::handle(int event) {
    switch (event) {
        case FL_PUSH:
            last_x = Fl::event_x();
            last_y = Fl::event_y();
            return 1;
        case FL_DRAG:
            switch (Fl::event_button()) {
                case FL_LEFT_MOUSE:
                    // A drag that did not move needs no new picture.
                    if (Fl::event_x() == last_x && Fl::event_y() == last_y) return 1;
                    last_x = Fl::event_x();
                    last_y = Fl::event_y();
                    redraw();
                    return 1;
                case FL_MIDDLE_MOUSE:
                case FL_RIGHT_MOUSE:
                    last_x = Fl::event_x();
                    last_y = Fl::event_y();
                    redraw();
                    return 1;
                default:
                    return 1;
            }
        case FL_MOUSEWHEEL:
            redraw();
            return 1;
        case FL_ENTER:
        case FL_MOVE:
            // The toolkit sends pointer motion only to a widget that took the
            // enter event; without it hovering would never reach the model.
            Fl_Gl_Window::handle(event);
            return 1;
        default:
            return Fl_Gl_Window::handle(event);
    }
}

// --- MYWINDOW -----------------------------------------------------------------

MYWINDOW::MYWINDOW(const Options& options)
    : GLWINDOW(5, 5, 800, 600, "preview window"), options_(options) {
    // A size the buffer refuses leaves the constructed buffer in place.
    (void)record_animation.reset(options.animation_buffer_frames, options.node_count);
}

MYWINDOW::~MYWINDOW() {
    // The texture and the font's names belong to this window's context: make
    // it current while it still exists. Without a context they went with it.
    if (context() != nullptr && shown()) {
        make_current();
        if (frame_texture != 0 && glIsTexture(frame_texture)) glDeleteTextures(1, &frame_texture);
        frame_texture = 0;
    }
}

int MYWINDOW::handle(int event) {
    // The operator's pointer and key events show the model; the toolkit's own
    // notifications (show, hide, focus, and the empty events it sends a
    // subwindow) arrive without anyone touching the preview.
    if (is_operator_event(event)) model.visible = true;
    model.handle_mouse(mouse_event_of(event), h(), Fl::event_x(), Fl::event_y());
    return GLWINDOW::handle(event);
}

void MYWINDOW::upload_frame(const Frame& frame) {
    // The texture exists only in a context that a draw has set up; after the
    // context was lost, the next draw makes a new one.
    if (frame_texture == 0 || context() == nullptr || !context_valid() || !shown()) return;
    if (frame.size() != kFrameBytes) return;
    make_current();
    glBindTexture(GL_TEXTURE_2D, frame_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kFrameWidth, kFrameHeight, GL_ALPHA, GL_UNSIGNED_BYTE,
                    frame.data());
}

void MYWINDOW::make_gl_objects() {
    // A new context. If it shares its names with an earlier one, the old
    // texture is still ours: release it before anything new is made, so no
    // fresh name can be mistaken for it.
    if (frame_texture != 0 && glIsTexture(frame_texture)) glDeleteTextures(1, &frame_texture);
    frame_texture = 0;

    font.build(make_builtin_glyph_image().data());

    // All transparent: black until the first upload.
    const std::vector<uint8_t> zeros(static_cast<size_t>(kTextureSize) * kTextureSize, 0);
    frame_texture = make_alpha_texture(kTextureSize, zeros.data());
    context_valid(1);
}

void MYWINDOW::set_up_gl() {
    glViewport(0, 0, w(), h());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, h() > 0 ? static_cast<double>(w()) / h() : 1.0, 0.1, 100.0);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_NORMALIZE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // With an alpha texture the quad shows the current colour with the grey
    // value as its opacity: white over black gives the grey picture.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    valid(1);
}

void MYWINDOW::draw() {
    // Textures and lists live as long as the context; the rest of the GL state
    // is set again whenever the toolkit says so (a new context or a new size).
    if (!context_valid()) make_gl_objects();
    if (!valid()) set_up_gl();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    enter_2d_mode();

    begin_text(font);
    char text[32];
    std::snprintf(text, sizeof text, "fps: %d", static_cast<int>(fps));
    font.print(10, 10, text);
    end_text(font);

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (frame_texture != 0) {
        glBindTexture(GL_TEXTURE_2D, frame_texture);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex2i(0, 0);
        glTexCoord2f(1.0f, 0.0f);
        glVertex2i(kQuadSize, 0);
        glTexCoord2f(1.0f, 1.0f);
        glVertex2i(kQuadSize, kQuadSize);
        glTexCoord2f(0.0f, 1.0f);
        glVertex2i(0, kQuadSize);
        glEnd();
    }

    glDisable(GL_TEXTURE_2D);
    draw_cluster_crosses(clusters, options_.line_width);
    draw_model(model, options_.line_width, options_.sensor_max_radius);
    draw_model(record_animation.model, options_.line_width, options_.sensor_max_radius);
    draw_model(playback_animation.model, options_.line_width, options_.sensor_max_radius);
    glEnable(GL_TEXTURE_2D);
    leave_2d_mode();
}
