// The native GL window on X11 and GLX. Each X resource has one owner that
// frees it; the owners are members of Parts in the order they are made, so
// they are released in reverse: screen saver hold, context, window, colormap,
// connection.

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>

#include "platform/gl_window.h"
#include "platform/screen_saver.h"

namespace platform {
namespace {

// X errors arrive asynchronously and Xlib's default handler ends the process.
// One process-wide handler counts the errors of the display that the calling
// thread has marked as its own and passes every other error on to the handler
// it replaced (the GUI toolkit's, for the main thread's connection). Errors are
// delivered on the thread that reads the connection, so the mark is per thread.
thread_local Display* t_trapped_display = nullptr;
thread_local int t_trapped_errors = 0;
std::atomic<XErrorHandler> g_previous_error_handler{nullptr};

int trap_error(Display* display, XErrorEvent* event) {
    if (display == t_trapped_display) {
        ++t_trapped_errors;
        return 0;
    }
    const XErrorHandler previous = g_previous_error_handler.load();
    return previous != nullptr ? previous(display, event) : 0;
}

void install_error_trap() {
    static std::once_flag once;
    std::call_once(once, [] { g_previous_error_handler.store(XSetErrorHandler(&trap_error)); });
}

// Round trip to the server; true when no error of this thread's display came
// back since `errors_before`.
bool no_new_errors(Display* display, int errors_before) {
    XSync(display, False);
    return t_trapped_errors == errors_before;
}

class DisplayConnection {
public:
    DisplayConnection() = default;
    explicit DisplayConnection(Display* display) : display_(display) {
        if (display_ != nullptr) {
            t_trapped_display = display_;
            t_trapped_errors = 0;
        }
    }
    ~DisplayConnection() {
        if (display_ == nullptr) return;
        XCloseDisplay(display_);
        if (t_trapped_display == display_) t_trapped_display = nullptr;
    }
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    Display* get() const { return display_; }

private:
    Display* display_ = nullptr;
};

struct XFreeDeleter {
    void operator()(void* p) const { XFree(p); }
};
using VisualInfoPtr = std::unique_ptr<XVisualInfo, XFreeDeleter>;

class OwnedColormap {
public:
    OwnedColormap() = default;
    OwnedColormap(Display* display, Colormap colormap) : display_(display), colormap_(colormap) {}
    ~OwnedColormap() {
        if (colormap_ != 0) XFreeColormap(display_, colormap_);
    }
    OwnedColormap(const OwnedColormap&) = delete;
    OwnedColormap& operator=(const OwnedColormap&) = delete;

    Colormap get() const { return colormap_; }

private:
    Display* display_ = nullptr;
    Colormap colormap_ = 0;
};

class OwnedWindow {
public:
    OwnedWindow() = default;
    OwnedWindow(Display* display, Window window) : display_(display), window_(window) {}
    ~OwnedWindow() {
        if (window_ != 0) XDestroyWindow(display_, window_);
    }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;

    Window get() const { return window_; }
    // For a window the server has destroyed already.
    void forget() { window_ = 0; }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
};

class OwnedGlxContext {
public:
    OwnedGlxContext() = default;
    OwnedGlxContext(Display* display, GLXContext context) : display_(display), context_(context) {}
    ~OwnedGlxContext() {
        if (context_ == nullptr) return;
        // A context must not be destroyed while it is still current here.
        if (glXGetCurrentContext() == context_) glXMakeCurrent(display_, 0, nullptr);
        glXDestroyContext(display_, context_);
    }
    OwnedGlxContext(const OwnedGlxContext&) = delete;
    OwnedGlxContext& operator=(const OwnedGlxContext&) = delete;

    GLXContext get() const { return context_; }

private:
    Display* display_ = nullptr;
    GLXContext context_ = nullptr;
};

// The layout of _MOTIF_WM_HINTS as window managers read it.
struct MotifWmHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long input_mode;
    unsigned long status;
};
constexpr unsigned long kMotifHintsDecorations = 1ul << 1;

void set_borderless(Display* display, Window window) {
    const Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    MotifWmHints hints{};
    hints.flags = kMotifHintsDecorations;
    hints.decorations = 0;
    XChangeProperty(display, window, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hints), 5);
}

// The initial state "above", which a window manager reads when it maps the window.
void set_above_others(Display* display, Window window) {
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&above), 1);
}

// Asks the window manager to place the window exactly where it was put.
void set_placement_hints(Display* display, Window window, const WindowPlacement& p) {
    XSizeHints hints{};
    hints.flags = USPosition | USSize | PPosition | PSize;
    hints.x = p.x;
    hints.y = p.y;
    hints.width = p.width;
    hints.height = p.height;
    XSetWMNormalHints(display, window, &hints);
}

// Raising and focusing belongs to the window manager: a direct focus change
// would fail on a window that is not mapped yet and, without a window manager,
// would pin the keyboard to a window that ignores keys.
void request_activation(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // from an application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

int32_t clamp_size(int32_t v) { return std::clamp<int32_t>(v, 1, 32767); }
int32_t clamp_position(int32_t v) { return std::clamp<int32_t>(v, -32768, 32767); }

}  // namespace

WindowPlacement clamp_to_x11(const WindowPlacement& requested) {
    return WindowPlacement{clamp_position(requested.x), clamp_position(requested.y),
                           clamp_size(requested.width), clamp_size(requested.height)};
}

void init_x_threads() {
    static std::once_flag once;
    std::call_once(once, [] { XInitThreads(); });
}

struct NativeGlWindow::Parts {
    std::optional<DisplayConnection> display;
    std::optional<OwnedColormap> colormap;
    std::optional<OwnedWindow> window;
    std::optional<OwnedGlxContext> context;
    std::optional<ScreenSaverHold> screen_saver;  // while the window exists
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
    bool created = false;

    Window window_id() const { return window ? window->get() : 0; }

    // After another client destroyed the window: nothing may draw into it any
    // more. (Mesa's software path asks the server for the drawable's size each
    // frame; for a destroyed drawable it goes on with an undefined size.)
    void drop_destroyed_window() {
        screen_saver.reset();
        glXMakeCurrent(display->get(), 0, nullptr);
        window->forget();
        created = false;
    }

    // Looks for a waiting destroy event of the window without blocking, so a
    // window destroyed from outside is seen before the next frame starts.
    bool destroyed_from_outside() {
        XEvent event;
        if (!XCheckTypedWindowEvent(display->get(), window_id(), DestroyNotify, &event)) return false;
        drop_destroyed_window();
        return true;
    }
};

NativeGlWindow::NativeGlWindow() : parts_(std::make_unique<Parts>()) {}

NativeGlWindow::~NativeGlWindow() = default;

GlWindowStep NativeGlWindow::create(const WindowPlacement& requested) {
    init_x_threads();
    Parts& p = *parts_;

    Display* display = p.display.emplace(XOpenDisplay(nullptr)).get();
    if (display == nullptr) return GlWindowStep::open_display;
    install_error_trap();

    int error_base = 0;
    int event_base = 0;
    if (!glXQueryExtension(display, &error_base, &event_base)) return GlWindowStep::find_visual;
    const int screen = DefaultScreen(display);
    int attributes[] = {GLX_RGBA,      GLX_DOUBLEBUFFER, GLX_RED_SIZE,   1, GLX_GREEN_SIZE, 1,
                        GLX_BLUE_SIZE, 1,                GLX_DEPTH_SIZE, 16, 0};
    const VisualInfoPtr visual(glXChooseVisual(display, screen, attributes));
    if (!visual) return GlWindowStep::find_visual;

    const WindowPlacement placement = clamp_to_x11(requested);
    const Window root = RootWindow(display, screen);
    int errors = t_trapped_errors;
    const Colormap colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    XSetWindowAttributes attributes_of_window{};
    attributes_of_window.colormap = colormap;
    attributes_of_window.border_pixel = 0;
    attributes_of_window.event_mask = StructureNotifyMask | KeyPressMask | KeyReleaseMask;
    const Window window = XCreateWindow(
        display, root, placement.x, placement.y, static_cast<unsigned>(placement.width),
        static_cast<unsigned>(placement.height), 0, visual->depth, InputOutput, visual->visual,
        CWColormap | CWBorderPixel | CWEventMask, &attributes_of_window);
    p.colormap.emplace(display, colormap);
    if (window == 0 || !no_new_errors(display, errors)) return GlWindowStep::create_window;
    p.window.emplace(display, window);

    XStoreName(display, window, "");
    // The desktop counts the output window as the program's: the class the
    // toolkit gives the panel (instance "velmora", class "Velmora").
    char instance[] = "velmora";
    char program_class[] = "Velmora";
    XClassHint class_hint{instance, program_class};
    XSetClassHint(display, window, &class_hint);
    set_placement_hints(display, window, placement);
    set_borderless(display, window);
    set_above_others(display, window);
    p.wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    p.wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &p.wm_delete_window, 1);

    errors = t_trapped_errors;
    const GLXContext context = glXCreateContext(display, visual.get(), nullptr, True);
    if (context != nullptr) p.context.emplace(display, context);
    if (context == nullptr || !no_new_errors(display, errors)) return GlWindowStep::create_context;

    errors = t_trapped_errors;
    if (!glXMakeCurrent(display, window, context) || !no_new_errors(display, errors)) {
        return GlWindowStep::activate_context;
    }

    // Nothing can fail from here on, so the hold is never taken for a window
    // that is not made; taken before the map, it is in force once the window shows.
    p.screen_saver.emplace(display);
    XMapRaised(display, window);
    request_activation(display, window);
    XFlush(display);
    p.created = true;
    return GlWindowStep::ok;
}

bool NativeGlWindow::exists() const { return parts_->created; }

bool NativeGlWindow::make_current() {
    Parts& p = *parts_;
    if (!p.created || p.destroyed_from_outside()) return false;
    const GLXContext context = p.context->get();
    const Window window = p.window->get();
    if (glXGetCurrentContext() == context && glXGetCurrentDrawable() == window) return true;
    return glXMakeCurrent(p.display->get(), window, context);
}

GlWindowEvent NativeGlWindow::pump_one() {
    Parts& p = *parts_;
    GlWindowEvent result;
    Display* display = p.display ? p.display->get() : nullptr;
    if (display == nullptr || XPending(display) == 0) return result;
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
        case ConfigureNotify:
            result.kind = GlWindowEvent::Kind::resized;
            result.width = event.xconfigure.width;
            result.height = event.xconfigure.height;
            break;
        case DestroyNotify:
            result.kind = event.xdestroywindow.window == p.window_id()
                              ? GlWindowEvent::Kind::destroyed
                              : GlWindowEvent::Kind::other;
            if (result.kind == GlWindowEvent::Kind::destroyed) p.drop_destroyed_window();
            break;
        case KeyPress:
        case KeyRelease:
            result.kind = GlWindowEvent::Kind::key;
            break;
        case ClientMessage:
            result.kind = event.xclient.message_type == p.wm_protocols &&
                                  static_cast<Atom>(event.xclient.data.l[0]) == p.wm_delete_window
                              ? GlWindowEvent::Kind::close_request
                              : GlWindowEvent::Kind::other;
            break;
        default:
            result.kind = GlWindowEvent::Kind::other;
            break;
    }
    return result;
}

void NativeGlWindow::swap_buffers() {
    const Parts& p = *parts_;
    if (p.created) glXSwapBuffers(p.display->get(), p.window->get());
}

bool NativeGlWindow::release_context() {
    const Parts& p = *parts_;
    if (!p.display || p.display->get() == nullptr) return true;
    return glXMakeCurrent(p.display->get(), 0, nullptr);
}

unsigned long NativeGlWindow::native_id() const {
    return parts_->window ? parts_->window->get() : 0;
}

}  // namespace platform
