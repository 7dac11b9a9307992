#pragma once
// A sign of progress for programs that drive velmora from outside, such as the
// end-to-end tests. With the environment variable VELMORA_CYCLE_PROPERTY set,
// the main window names in its property _VELMORA_CYCLE_WINDOW (WINDOW) a
// window that carries in its property _VELMORA_CYCLE (CARDINAL, format 32)
// the number of event passes the main loop has begun. The number is set, and
// every earlier request of the program has reached the X server, before the
// pass of that number reads its events. So a client that reads n after its
// input was delivered knows: pass n + 1 handles that input, whatever the input
// asks to be drawn is drawn by pass n + 2, and once it reads n + 3 the screen
// shows it. Without the variable nothing is set and the loop runs as it did.

#include <cstdint>

class Fl_Window;

class CycleBeacon {
public:
    // `window` is shown.
    explicit CycleBeacon(Fl_Window& window);
    ~CycleBeacon();
    CycleBeacon(const CycleBeacon&) = delete;
    CycleBeacon& operator=(const CycleBeacon&) = delete;

    // Called just before each event pass of the main loop.
    void before_event_pass();

private:
    unsigned long counter_window_ = 0;  // 0 while the variable is not set
    unsigned long property_ = 0;        // the atom _VELMORA_CYCLE
    uint32_t passes_ = 0;
};
