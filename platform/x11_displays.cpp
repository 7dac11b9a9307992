// Display enumeration over XRandR. Every output is an adapter; its connected
// monitor, current mode, primary flag and work area fill the records. The
// state is read once, when the enumerator is opened, on a connection of its own.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <vector>

#include "platform/displays.h"

namespace {

struct Output {
    DisplayDevice adapter;
    DisplayDevice monitor;  // empty device_name when nothing is connected
    bool has_mode = false;
    DisplayMode mode;
    bool has_preferred = false;
    DisplayMode preferred;
    uint64_t crtc = 0;  // the monitor handle, 0 without a CRTC
};

uint32_t refresh_rate(const XRRModeInfo& mode) {
    // Virtual servers report modes without timings: 0 Hz rather than a division by zero.
    const uint64_t pixels_per_frame = uint64_t{mode.hTotal} * mode.vTotal;
    if (pixels_per_frame == 0) return 0;
    return static_cast<uint32_t>((mode.dotClock + pixels_per_frame / 2) / pixels_per_frame);
}

const XRRModeInfo* find_mode(const XRRScreenResources* res, RRMode id) {
    for (int i = 0; i < res->nmode; ++i)
        if (res->modes[i].id == id) return &res->modes[i];
    return nullptr;
}

// The monitor's name from its EDID (display descriptor 0xFC), or empty.
std::string edid_monitor_name(Display* dpy, RROutput output) {
    const Atom edid_atom = XInternAtom(dpy, "EDID", True);
    if (edid_atom == None) return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XRRGetOutputProperty(dpy, output, edid_atom, 0, 256, False, False, AnyPropertyType, &type,
                             &format, &count, &after, &data) == Success &&
        data != nullptr && format == 8 && count >= 128) {
        for (int d = 0; d < 4; ++d) {
            const unsigned char* block = data + 54 + 18 * d;
            if (block[0] == 0 && block[1] == 0 && block[3] == 0xFC) {
                for (int k = 5; k < 18 && block[k] != '\n'; ++k) name += static_cast<char>(block[k]);
                while (!name.empty() && name.back() == ' ') name.pop_back();
                break;
            }
        }
    }
    if (data != nullptr) XFree(data);
    return name;
}

// The desktop's work area as the window manager publishes it, if it does.
bool desktop_work_area(Display* dpy, DisplayRect& out) {
    const Atom atom = XInternAtom(dpy, "_NET_WORKAREA", True);
    if (atom == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), atom, 0, 4, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count >= 4) {
        const long* v = reinterpret_cast<const long*>(data);
        out = DisplayRect{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                          static_cast<int32_t>(v[0] + v[2]), static_cast<int32_t>(v[1] + v[3])};
        found = true;
    }
    if (data != nullptr) XFree(data);
    return found;
}

class X11Displays final : public DisplayEnumerator {
public:
    explicit X11Displays(Display* dpy) {
        const int screen = DefaultScreen(dpy);
        const uint32_t depth = static_cast<uint32_t>(DefaultDepth(dpy, screen));
        const std::string vendor = ServerVendor(dpy);
        has_work_area_ = desktop_work_area(dpy, work_area_);

        int event_base = 0, error_base = 0;
        XRRScreenResources* res = nullptr;
        if (XRRQueryExtension(dpy, &event_base, &error_base))
            res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
        if (res == nullptr) {
            // No RandR: the screen itself is the one adapter.
            Output o;
            o.adapter = {"screen", vendor, kDisplayAttachedToDesktop | kDisplayPrimaryDevice};
            o.monitor = {"screen\\Monitor0", "", kDisplayActive};
            o.has_mode = true;
            o.mode = {static_cast<uint32_t>(DisplayWidth(dpy, screen)),
                      static_cast<uint32_t>(DisplayHeight(dpy, screen)), 0, 0, depth, 0};
            o.crtc = 1;
            outputs_.push_back(o);
            return;
        }

        const RROutput primary = XRRGetOutputPrimary(dpy, DefaultRootWindow(dpy));
        std::vector<RRCrtc> crtcs_in_use;
        for (int i = 0; i < res->noutput; ++i) {
            XRROutputInfo* info = XRRGetOutputInfo(dpy, res, res->outputs[i]);
            if (info == nullptr) continue;
            Output o;
            o.adapter.device_name.assign(info->name, info->nameLen);
            o.adapter.device_string = vendor;
            if (info->connection == RR_Connected) {
                o.monitor.device_name = o.adapter.device_name + "\\Monitor0";
                o.monitor.device_string = edid_monitor_name(dpy, res->outputs[i]);
            }
            if (info->crtc != 0) {
                XRRCrtcInfo* crtc = XRRGetCrtcInfo(dpy, res, info->crtc);
                if (crtc != nullptr && crtc->mode != 0) {
                    const XRRModeInfo* mode = find_mode(res, crtc->mode);
                    o.has_mode = true;
                    o.mode = {crtc->width, crtc->height, crtc->x, crtc->y, depth,
                              mode != nullptr ? refresh_rate(*mode) : 0};
                    o.crtc = info->crtc;
                    o.adapter.state_flags |= kDisplayAttachedToDesktop;
                    o.monitor.state_flags |= kDisplayActive;
                    // A second output showing the same CRTC mirrors the first.
                    if (std::find(crtcs_in_use.begin(), crtcs_in_use.end(), info->crtc) != crtcs_in_use.end())
                        o.adapter.state_flags |= kDisplayMirroringDriver;
                    crtcs_in_use.push_back(info->crtc);
                }
                if (crtc != nullptr) XRRFreeCrtcInfo(crtc);
            }
            if (info->npreferred > 0 && info->nmode > 0) {
                if (const XRRModeInfo* mode = find_mode(res, info->modes[0])) {
                    o.has_preferred = true;
                    o.preferred = {mode->width, mode->height, 0, 0, depth, refresh_rate(*mode)};
                }
            }
            if (res->outputs[i] == primary) o.adapter.state_flags |= kDisplayPrimaryDevice;
            outputs_.push_back(o);
            XRRFreeOutputInfo(info);
        }
        XRRFreeScreenResources(res);

        // Without a primary output set, the first one on the desktop plays that part.
        const bool any_primary = std::any_of(outputs_.begin(), outputs_.end(), [](const Output& o) {
            return o.adapter.state_flags & kDisplayPrimaryDevice;
        });
        if (!any_primary) {
            for (Output& o : outputs_) {
                if (o.adapter.state_flags & kDisplayAttachedToDesktop) {
                    o.adapter.state_flags |= kDisplayPrimaryDevice;
                    break;
                }
            }
        }
    }

    bool adapter(uint32_t index, DisplayDevice& out) override {
        if (index >= outputs_.size()) return false;
        out = outputs_[index].adapter;
        return true;
    }

    bool monitor(const std::string& adapter_name, uint32_t index, DisplayDevice& out) override {
        const Output* o = find(adapter_name);
        if (o == nullptr || index != 0 || o->monitor.device_name.empty()) return false;
        out = o->monitor;
        return true;
    }

    bool current_mode(const std::string& adapter_name, DisplayMode& out) override {
        const Output* o = find(adapter_name);
        if (o == nullptr || !o->has_mode) return false;
        out = o->mode;
        return true;
    }

    bool registry_mode(const std::string& adapter_name, DisplayMode& out) override {
        const Output* o = find(adapter_name);
        if (o == nullptr || !o->has_preferred) return false;
        out = o->preferred;
        return true;
    }

    uint64_t monitor_from_point(int32_t x, int32_t y) override {
        for (const Output& o : outputs_) {
            if (o.crtc == 0) continue;
            const int64_t right = int64_t{o.mode.x} + o.mode.width;
            const int64_t bottom = int64_t{o.mode.y} + o.mode.height;
            if (x >= o.mode.x && x < right && y >= o.mode.y && y < bottom) return o.crtc;
        }
        return 0;
    }

    bool work_area(uint64_t monitor_handle, DisplayRect& out) override {
        for (const Output& o : outputs_) {
            if (o.crtc != monitor_handle || monitor_handle == 0) continue;
            DisplayRect r{o.mode.x, o.mode.y, static_cast<int32_t>(o.mode.x + static_cast<int32_t>(o.mode.width)),
                          static_cast<int32_t>(o.mode.y + static_cast<int32_t>(o.mode.height))};
            if (has_work_area_) {
                // The desktop's work area clipped to this monitor.
                r.left = std::max(r.left, work_area_.left);
                r.top = std::max(r.top, work_area_.top);
                r.right = std::min(r.right, work_area_.right);
                r.bottom = std::min(r.bottom, work_area_.bottom);
            }
            out = r;
            return true;
        }
        return false;
    }

private:
    const Output* find(const std::string& adapter_name) const {
        for (const Output& o : outputs_)
            if (o.adapter.device_name == adapter_name) return &o;
        return nullptr;
    }

    std::vector<Output> outputs_;
    bool has_work_area_ = false;
    DisplayRect work_area_;
};

}  // namespace

std::unique_ptr<DisplayEnumerator> open_x11_displays() {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) return nullptr;
    auto displays = std::make_unique<X11Displays>(dpy);
    XCloseDisplay(dpy);
    return displays;
}
