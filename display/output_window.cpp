#include "display/output_window.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "display/draw.h"
#include "display/gl_texture.h"

namespace {

constexpr int kTextureSize = 512;

}  // namespace

My_win32_gl_window::My_win32_gl_window(const platform::WindowPlacement& placement)
    : Win32_Gl_Window(placement) {}

float My_win32_gl_window::frame_scale() const {
    return std::min(static_cast<float>(width) / static_cast<float>(kFrameWidth),
                    static_cast<float>(height) / static_cast<float>(kFrameHeight));
}

void My_win32_gl_window::upload_frame(const Frame& frame) {
    if (frame_texture == 0 || frame.size() < kFrameBytes) return;
    glBindTexture(GL_TEXTURE_2D, frame_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kFrameWidth, kFrameHeight, GL_ALPHA, GL_UNSIGNED_BYTE,
                    frame.data());
}

void My_win32_gl_window::prepare_resources() {
    {
        const std::vector<uint8_t> glyphs = make_builtin_glyph_image();
        font.build(glyphs.data());
    }

    // The base set-up, and what the frame and the text need on top of it.
    set_base_projection();
    glEnable(GL_NORMALIZE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Alpha textures (the frame and the glyphs) draw in the current colour with
    // the texture as opacity.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    const std::vector<uint8_t> zeros(size_t{kTextureSize} * kTextureSize, 0);
    frame_texture = make_alpha_texture(kTextureSize, zeros.data());
    resources_ready = true;
}

void My_win32_gl_window::draw() {
    if (!resources_ready) prepare_resources();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -6.0f);
    glColor3f(1.0f, 1.0f, 1.0f);

    enter_2d_mode();
    begin_text(font);
    char line[32];
    std::snprintf(line, sizeof line, "fps: %d", static_cast<int>(fps));
    font.print(10, 10, line);
    end_text(font);

    glPushMatrix();
    const float s = frame_scale();
    glScalef(s, s, 1.0f);

    // The frame fills the first 480 x 360 texels; frame row 0 at the bottom.
    constexpr float kEdge = kTextureSize - 1;
    glBindTexture(GL_TEXTURE_2D, frame_texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(kEdge, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(kEdge, kEdge, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, kEdge, 0.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    draw_model(live_model, draw_settings.line_width, draw_settings.sensor_max_radius);
    draw_model(playback_model, draw_settings.line_width, draw_settings.sensor_max_radius);

    glPopMatrix();
    glEnable(GL_TEXTURE_2D);
    leave_2d_mode();
}
