#pragma once
// The output window: the camera frame scaled to the window with the live model
// and the playback model over it, and the render loop's rate in its corner.
// Lives on the render thread's stack and is used by that thread only.

#include <GL/gl.h>

#include <cstdint>

#include "camera/frame.h"
#include "display/gl_font.h"
#include "display/render_hand_over.h"
#include "display/win32_gl_window.h"
#include "model/node_model.h"

class My_win32_gl_window final : public Win32_Gl_Window {
public:
    explicit My_win32_gl_window(const platform::WindowPlacement& placement);
    ~My_win32_gl_window() override = default;

    // The frame's scale on screen: the whole 480 x 360 frame fits the window
    // and keeps its aspect ratio.
    float frame_scale() const;

    // Replaces the frame region of frame_texture with a 480 x 360 frame.
    // Nothing happens before the first draw made the texture, or for a buffer
    // that holds no whole frame.
    void upload_frame(const Frame& frame);

    void draw() override;

    GLuint frame_texture = 0;     // 512 x 512 alpha texture, the frame in its corner; 0 until the first draw
    glFont_Vorn_Builtin font;     // the rate line's font, built by the first draw
    bool resources_ready = false; // the first draw has built the font, the GL state and the texture
    NodeModel live_model;         // the render thread's copies, refreshed from the hand-over each pass
    NodeModel playback_model;
    ModelDrawSettings draw_settings;
    int32_t fps = 0;  // render-loop passes in the last full second

private:
    void prepare_resources();
};
