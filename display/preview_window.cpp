#include "display/preview_window.h"

#include <FL/Fl.H>

#include "display/angle_labels.h"
#include "display/cluster_labels.h"
#include "display/draw.h"
#include "display/gl_texture.h"

MouseEvent mouse_event_of(int fl_event) {
    switch (fl_event) {
        case FL_PUSH:
            return MouseEvent::press;
        case FL_DRAG:
            return MouseEvent::drag;
        // The pointer entering is a motion too: a press that follows it with
        // no move in between must find the node under the pointer.
        case FL_ENTER:
        case FL_MOVE:
            return MouseEvent::move;
        case FL_RELEASE:
            return MouseEvent::release;
        default:
            return MouseEvent::other;
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
        release_frame_texture();
    }
}

// Deletes the texture if the current context still knows its name.
void MYWINDOW::release_frame_texture() {
    if (frame_texture != 0 && glIsTexture(frame_texture)) glDeleteTextures(1, &frame_texture);
    frame_texture = 0;
}

int MYWINDOW::handle(int event) {
    // Any event shows the model, the toolkit's own show events at start-up
    // included: the chain is drawn, and handed to the output window, from the
    // first frames, with no need for the pointer to pass over the preview.
    model.visible = true;
    // The model works in window pixels with y up: the frame's own coordinates.
    if (event == FL_PUSH && Fl::event_button() == FL_LEFT_MOUSE && on_pick &&
        on_pick(Fl::event_x(), h() - Fl::event_y()))
        return 1;
    model.handle_mouse(mouse_event_of(event), h(), Fl::event_x(), Fl::event_y());
    return GLWINDOW::handle(event);
}

void MYWINDOW::upload_frame(const Frame& frame) {
    // The texture exists only in a context that a draw has set up; after the
    // context was lost, the next draw makes a new one.
    if (frame_texture == 0 || context() == nullptr || !context_valid() || !shown()) return;
    if (frame.size() != kFrameBytes) return;
    make_current();
    upload_frame_texture(frame_texture, frame.data());
}

void MYWINDOW::make_gl_objects() {
    // A new context. If it shares its names with an earlier one, the old
    // texture is still ours: release it before anything new is made, so no
    // fresh name can be mistaken for it.
    release_frame_texture();

    font.build(make_builtin_glyph_image().data());

    // All transparent: black until the first upload.
    frame_texture = make_frame_texture();
    context_valid(1);
}

void MYWINDOW::set_up_gl() {
    set_up_view(w(), h());
    enable_alpha_texturing();
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

    print_frame_rate(font, fps);

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    // The texture's 512 texels stretched over 511 pixels put frame pixel (x, y)
    // within one pixel of window pixel (x, y).
    if (frame_texture != 0) draw_frame_quad(frame_texture);

    glDisable(GL_TEXTURE_2D);
    draw_cluster_crosses(clusters, options_.line_width);
    if (show_cluster_counts && statistics != nullptr && describes(*statistics, clusters))
        draw_cluster_counts(font, clusters, statistics->clusters, options_.line_width);
    draw_model(model, options_.line_width, options_.sensor_max_radius);
    if (show_tracking_state) draw_state_markers(model, options_.line_width);
    draw_model(record_animation.model, options_.line_width, options_.sensor_max_radius);
    draw_model(playback_animation.model, options_.line_width, options_.sensor_max_radius);
    if (!overlay.empty()) draw_overlay_lines(overlay);
    if (show_angles) {
        draw_angle_labels(font, model, options_.line_width, 1.0f, angle_context);
        draw_angle_labels(font, record_animation.model, options_.line_width, 1.0f, record_angle_context);
        draw_angle_labels(font, playback_animation.model, options_.line_width, 1.0f, playback_angle_context);
    }
    if (!warning.empty()) {
        begin_text(font);
        glColor4f(1.0f, 0.6f, 0.1f, 1.0f);
        font.print_wrapped(10, h() - 10 - font.line_height(), warning.c_str(), w() - 20);
        end_text(font);
    }
    glEnable(GL_TEXTURE_2D);
    leave_2d_mode();
}
