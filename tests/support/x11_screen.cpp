#include "tests/support/x11_screen.h"

#include <X11/Xlib.h>

namespace testing_support {

bool x11_default_screen(X11Screen& out) {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) return false;
    const int screen = DefaultScreen(dpy);
    out = X11Screen{DisplayWidth(dpy, screen), DisplayHeight(dpy, screen), DefaultDepth(dpy, screen)};
    XCloseDisplay(dpy);
    return true;
}

}  // namespace testing_support
