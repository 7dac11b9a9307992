// The screen saver hold over the MIT-SCREEN-SAVER extension (suspension, 1.1
// and later) and DPMS. Servers without DPMS (Xvfb among them) keep only the
// suspension; a server without either gets no request at all, since a request
// of a missing extension is an error.

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include "platform/screen_saver.h"

namespace platform {

ScreenSaverHold::ScreenSaverHold(Display* display) : display_(display) {
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (XScreenSaverQueryExtension(display_, &event_base, &error_base) &&
        XScreenSaverQueryVersion(display_, &major, &minor) && (major > 1 || (major == 1 && minor >= 1))) {
        XScreenSaverSuspend(display_, True);
        saver_suspended_ = true;
    }
    // DPMS is the server's own setting, not this client's: turn it off only
    // when it is on, so that the release gives back what the user chose.
    if (DPMSQueryExtension(display_, &event_base, &error_base) && DPMSCapable(display_)) {
        CARD16 level = 0;
        BOOL enabled = False;
        if (DPMSInfo(display_, &level, &enabled) && enabled) {
            DPMSDisable(display_);
            dpms_disabled_ = true;
        }
    }
    XFlush(display_);
}

ScreenSaverHold::~ScreenSaverHold() {
    if (dpms_disabled_) DPMSEnable(display_);
    // The server would also drop the suspension with the connection.
    if (saver_suspended_) XScreenSaverSuspend(display_, False);
    XFlush(display_);
}

}  // namespace platform
