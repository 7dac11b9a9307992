#pragma once
// Test helpers for GL drawing: a real FLTK GL window on the test's own Xvfb
// that draws a scene and reads back what it drew, before the buffer swap.

#include <FL/Fl.H>
#include <FL/Fl_Gl_Window.H>
#include <FL/gl.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace gl_probe {

struct Rgb {
    int r;
    int g;
    int b;
    bool operator==(const Rgb&) const = default;
};

// An RGBA read-back; pixel (x, y) counts y upward from the bottom, as GL does.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    Rgb at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
        const size_t i = 4 * (static_cast<size_t>(y) * width + x);
        return {rgba[i], rgba[i + 1], rgba[i + 2]};
    }
    // Number of pixels in [x0, x1) x [y0, y1) for which the predicate holds.
    template <class Pred>
    int count(int x0, int y0, int x1, int y1, Pred pred) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (at(x, y).r >= 0 && pred(at(x, y))) ++n;
        return n;
    }
    template <class Pred>
    int count_all(Pred pred) const {
        return count(0, 0, width, height, pred);
    }
};

inline Pixels read_back(int width, int height) {
    Pixels p;
    p.width = width;
    p.height = height;
    p.rgba.resize(static_cast<size_t>(4) * width * height);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
}

// Runs `draw` through FLTK's own flush of the window until it has drawn once.
template <class Window>
void flush_until_drawn(Window& window, const bool& drawn) {
    window.show();
    window.redraw();
    Fl::flush();
    for (int i = 0; i < 100 && !drawn; ++i) {
        Fl::wait(0.02);
        Fl::flush();
    }
}

// A window that clears to black, sets up what the drawing helpers expect (one
// unit per pixel, origin bottom-left, blending, texturing off), runs the scene
// and keeps the picture.
class ProbeWindow : public Fl_Gl_Window {
public:
    ProbeWindow(int w, int h) : Fl_Gl_Window(0, 0, w, h, "probe") { end(); }

    Pixels render(std::function<void()> scene) {
        scene_ = std::move(scene);
        drawn_ = false;
        flush_until_drawn(*this, drawn_);
        return pixels_;
    }

protected:
    void draw() override {
        glViewport(0, 0, w(), h());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w(), 0, h(), -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (scene_) scene_();
        pixels_ = read_back(w(), h());
        drawn_ = true;
    }

private:
    std::function<void()> scene_;
    Pixels pixels_;
    bool drawn_ = false;
};

}  // namespace gl_probe
