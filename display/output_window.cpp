#include "display/output_window.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "display/angle_labels.h"
#include "display/draw.h"
#include "display/gl_texture.h"

My_win32_gl_window::My_win32_gl_window(const platform::WindowPlacement& placement)
    : Win32_Gl_Window(placement) {}

float My_win32_gl_window::frame_scale() const {
    return std::min(static_cast<float>(width) / static_cast<float>(kFrameWidth),
                    static_cast<float>(height) / static_cast<float>(kFrameHeight));
}

void My_win32_gl_window::upload_frame(const Frame& frame) {
    if (frame_texture == 0 || frame.size() < kFrameBytes) return;
    upload_frame_texture(frame_texture, frame.data());
}

void My_win32_gl_window::prepare_resources() {
    {
        const std::vector<uint8_t> glyphs = make_builtin_glyph_image();
        font.build(glyphs.data());
    }

    set_up_view(width, height);
    enable_alpha_texturing();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    frame_texture = make_frame_texture();
    resources_ready = true;
}

void My_win32_gl_window::draw() {
    if (!resources_ready) prepare_resources();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -6.0f);
    glColor3f(1.0f, 1.0f, 1.0f);

    enter_2d_mode();
    print_frame_rate(font, fps);

    glPushMatrix();
    const float s = frame_scale();
    glScalef(s, s, 1.0f);

    draw_frame_quad(frame_texture);
    glDisable(GL_TEXTURE_2D);

    draw_model(live_model, draw_settings.line_width, draw_settings.sensor_max_radius);
    draw_model(playback_model, draw_settings.line_width, draw_settings.sensor_max_radius);
    if (draw_settings.show_tracking_state) draw_state_markers(live_model, draw_settings.line_width);

    glPopMatrix();
    // The text keeps its size; only its place follows the frame's scale.
    if (draw_settings.show_angles) {
        draw_angle_labels(font, live_model, draw_settings.line_width, s, draw_settings.live_angles);
        draw_angle_labels(font, playback_model, draw_settings.line_width, s, draw_settings.playback_angles);
    }
    glEnable(GL_TEXTURE_2D);
    leave_2d_mode();
}
