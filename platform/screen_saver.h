#pragma once
// Holds off the screen saver and the display's power saving while an output
// window shows: the screen-saver extension's suspension for this client, and
// DPMS switched off where the server has it and had it on. Both are lifted
// when the holder goes. (X11 headers stay in the implementation.)

struct _XDisplay;

namespace platform {

class ScreenSaverHold {
public:
    // Its requests reach the server before any later request of the same
    // connection: a window mapped after it never shows without it. The
    // connection must outlive the hold.
    explicit ScreenSaverHold(_XDisplay* display);
    // Lifts the suspension and turns DPMS back on if this hold turned it off.
    ~ScreenSaverHold();
    ScreenSaverHold(const ScreenSaverHold&) = delete;
    ScreenSaverHold& operator=(const ScreenSaverHold&) = delete;

private:
    _XDisplay* display_;
    bool saver_suspended_ = false;  // the server knows the suspension request
    bool dpms_disabled_ = false;    // DPMS was on, and this hold turned it off
};

}  // namespace platform
