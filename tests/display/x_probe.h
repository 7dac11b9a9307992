#pragma once
// What a test sees of the screen from outside the program: the top-level
// windows, their properties, a screenshot, and events sent to a window. Each
// call opens and closes its own display connection. (X11 headers stay in the
// implementation.)

#include <cstdint>
#include <string>
#include <vector>

namespace x_probe {

struct TopLevel {
    unsigned long id;
    int x;
    int y;
    int width;
    int height;
    bool viewable;
};

// The root window's children, bottom to top.
std::vector<TopLevel> top_level_windows();

// A property of 32-bit items as numbers (CARDINAL, _MOTIF_WM_HINTS) or as
// atom names (ATOM); empty when the window lacks it.
std::vector<long> numeric_property(unsigned long window, const char* name);
std::vector<std::string> atom_property(unsigned long window, const char* name);

// What a window manager sends for a close request (WM_DELETE_WINDOW), and a
// synthetic key press and release.
void send_close_request(unsigned long window);
void send_key(unsigned long window);
// What xdotool's windowclose does: destroys the window from outside.
void destroy_window(unsigned long window);

struct Rgb {
    uint8_t r, g, b;
};

// A picture of a screen region; pixel(x, y) in region coordinates, y down.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    Rgb pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Screenshot grab(int x, int y, int width, int height);

// The server's screen saver as every client sees it. The timeout holds for the
// whole server; setting it restarts the time without input.
void set_screen_saver_timeout(int seconds);
struct ScreenSaverState {
    bool on;                // the saver is showing
    unsigned long idle_ms;  // time since the last input
};
ScreenSaverState screen_saver_state();

// Opens a GL-capable connection that stays open until the process ends, as the
// GUI's connection does in the program. Mesa loads its driver per connection
// and unloads it with the last one; kept loaded, whatever it holds until exit
// is still attributed to it when the leak check runs at exit.
void hold_gl_driver();

}  // namespace x_probe
