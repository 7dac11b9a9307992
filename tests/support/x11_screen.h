#pragma once
// The default screen of the current display, read directly from Xlib (kept in
// its own source file: Xlib's macros clash with GoogleTest's names).

namespace testing_support {

struct X11Screen {
    int width;
    int height;
    int depth;
};

// False when no display can be opened.
bool x11_default_screen(X11Screen& out);

}  // namespace testing_support
