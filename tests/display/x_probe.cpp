#include "tests/display/x_probe.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <memory>

namespace x_probe {
namespace {

struct Connection {
    Connection() : display(XOpenDisplay(nullptr)) {
        if (display == nullptr) std::abort();  // the test runs on its own Xvfb
    }
    ~Connection() { XCloseDisplay(display); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Display* display;
};

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) XFree(p);
    }
};

std::vector<unsigned long> property_items(Display* d, unsigned long window, const char* name) {
    const Atom property = XInternAtom(d, name, True);
    std::vector<unsigned long> items;
    if (property == 0) return items;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(d, window, property, 0, 64, False, AnyPropertyType, &type, &format,
                           &count, &after, &raw) != Success) {
        return items;
    }
    const std::unique_ptr<unsigned char, XFreeDeleter> owned(raw);
    if (format != 32) return items;
    // Xlib hands 32-bit items over as longs.
    const auto* values = reinterpret_cast<const unsigned long*>(raw);
    items.assign(values, values + count);
    return items;
}

void send_client_message(Display* d, unsigned long window, Atom type, long first) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XSync(d, False);
}

}  // namespace

std::vector<TopLevel> top_level_windows() {
    Connection c;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(c.display, DefaultRootWindow(c.display), &root, &parent, &children, &count);
    const std::unique_ptr<Window, XFreeDeleter> owned(children);
    std::vector<TopLevel> result;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(c.display, children[i], &a)) continue;
        result.push_back(TopLevel{children[i], a.x, a.y, a.width, a.height, a.map_state == IsViewable});
    }
    return result;
}

std::vector<long> numeric_property(unsigned long window, const char* name) {
    Connection c;
    std::vector<long> result;
    for (unsigned long v : property_items(c.display, window, name)) result.push_back(static_cast<long>(v));
    return result;
}

std::vector<std::string> atom_property(unsigned long window, const char* name) {
    Connection c;
    std::vector<std::string> result;
    for (unsigned long v : property_items(c.display, window, name)) {
        const std::unique_ptr<char, XFreeDeleter> text(XGetAtomName(c.display, v));
        result.emplace_back(text ? text.get() : "");
    }
    return result;
}

void send_close_request(unsigned long window) {
    Connection c;
    send_client_message(c.display, window, XInternAtom(c.display, "WM_PROTOCOLS", False),
                        static_cast<long>(XInternAtom(c.display, "WM_DELETE_WINDOW", False)));
}

void send_key(unsigned long window) {
    Connection c;
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(c.display);
    event.xkey.keycode = XKeysymToKeycode(c.display, XK_Escape);
    event.xkey.same_screen = True;
    XSendEvent(c.display, window, True, KeyPressMask, &event);
    event.xkey.type = KeyRelease;
    XSendEvent(c.display, window, True, KeyReleaseMask, &event);
    XSync(c.display, False);
}

void destroy_window(unsigned long window) {
    Connection c;
    XDestroyWindow(c.display, window);
    XSync(c.display, False);
}

Screenshot grab(int x, int y, int width, int height) {
    Connection c;
    Screenshot shot;
    XImage* image = XGetImage(c.display, DefaultRootWindow(c.display), x, y,
                              static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                              ZPixmap);
    if (image == nullptr) return shot;
    shot.width = width;
    shot.height = height;
    shot.pixels.reserve(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const unsigned long p = XGetPixel(image, col, row);
            // Xvfb's 24-bit TrueColor: red in the high byte.
            shot.pixels.push_back(Rgb{static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                      static_cast<uint8_t>(p)});
        }
    }
    XDestroyImage(image);
    return shot;
}

void set_screen_saver_timeout(int seconds) {
    Connection c;
    XSetScreenSaver(c.display, seconds, 0, DefaultBlanking, DefaultExposures);
    XResetScreenSaver(c.display);
    XSync(c.display, False);
}

ScreenSaverState screen_saver_state() {
    Connection c;
    const std::unique_ptr<XScreenSaverInfo, XFreeDeleter> info(XScreenSaverAllocInfo());
    if (!info || !XScreenSaverQueryInfo(c.display, DefaultRootWindow(c.display), info.get())) std::abort();
    return ScreenSaverState{info->state == ScreenSaverOn, info->idle};
}

void hold_gl_driver() {
    static Display* const held = [] {
        Display* d = XOpenDisplay(nullptr);
        if (d != nullptr) {
            int attributes[] = {GLX_RGBA, 0};
            if (XVisualInfo* v = glXChooseVisual(d, DefaultScreen(d), attributes)) XFree(v);
        }
        return d;
    }();
    (void)held;
}

}  // namespace x_probe
