#include "gui/cycle_beacon.h"

#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstdlib>

CycleBeacon::CycleBeacon(Fl_Window& window) {
    if (std::getenv("VELMORA_CYCLE_PROPERTY") == nullptr) return;
    // The count lives on an unmapped window that selects no events. On the
    // main window every change would send the program an event, and with an
    // event already queued the toolkit's event pass skips its other inputs,
    // such as the awake pipe that brings the operator messages.
    counter_window_ = XCreateWindow(fl_display, RootWindow(fl_display, fl_screen), 0, 0, 1, 1, 0, 0,
                                    InputOnly, CopyFromParent, 0, nullptr);
    property_ = XInternAtom(fl_display, "_VELMORA_CYCLE", False);
    const long id = static_cast<long>(counter_window_);  // format 32 travels as long
    XChangeProperty(fl_display, fl_xid(&window), XInternAtom(fl_display, "_VELMORA_CYCLE_WINDOW", False),
                    XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&id), 1);
}

CycleBeacon::~CycleBeacon() {
    if (counter_window_ != 0) XDestroyWindow(fl_display, counter_window_);
}

void CycleBeacon::before_event_pass() {
    if (counter_window_ == 0) return;
    ++passes_;
    const long value = static_cast<long>(passes_);
    XChangeProperty(fl_display, counter_window_, property_, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    // The round trip puts the drawing of earlier passes, and any input the
    // server delivered before the new number, ahead of the pass.
    XSync(fl_display, False);
}
