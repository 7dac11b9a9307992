// Reads the X server's RandR outputs: name, provider, connection, EDID name,
// the controller's mode and position, the preferred mode, the primary flag,
// and the desktop's work area. Read once, when the enumerator is opened, on a
// connection of its own.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <map>
#include <vector>

#include "platform/displays.h"

namespace {

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
std::optional<DisplayRect> desktop_work_area(Display* dpy) {
    const Atom atom = XInternAtom(dpy, "_NET_WORKAREA", True);
    if (atom == None) return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<DisplayRect> found;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), atom, 0, 4, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count >= 4) {
        const long* v = reinterpret_cast<const long*>(data);
        found = DisplayRect{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                            static_cast<int32_t>(v[0] + v[2]), static_cast<int32_t>(v[1] + v[3])};
    }
    if (data != nullptr) XFree(data);
    return found;
}

// The name of the provider that drives each output (RandR 1.4 and later).
std::map<RROutput, std::string> provider_names(Display* dpy, XRRScreenResources* res) {
    std::map<RROutput, std::string> names;
    int major = 0, minor = 0;
    if (!XRRQueryVersion(dpy, &major, &minor) || major < 1 || (major == 1 && minor < 4)) return names;
    XRRProviderResources* providers = XRRGetProviderResources(dpy, DefaultRootWindow(dpy));
    if (providers == nullptr) return names;
    for (int p = 0; p < providers->nproviders; ++p) {
        XRRProviderInfo* info = XRRGetProviderInfo(dpy, res, providers->providers[p]);
        if (info == nullptr) continue;
        for (int o = 0; o < info->noutputs; ++o) names.emplace(info->outputs[o], std::string(info->name, info->nameLen));
        XRRFreeProviderInfo(info);
    }
    XRRFreeProviderResources(providers);
    return names;
}

std::vector<RandrOutput> read_outputs(Display* dpy) {
    const int screen = DefaultScreen(dpy);
    const uint32_t depth = static_cast<uint32_t>(DefaultDepth(dpy, screen));
    std::vector<RandrOutput> outputs;
    int event_base = 0, error_base = 0;
    XRRScreenResources* res = nullptr;
    if (XRRQueryExtension(dpy, &event_base, &error_base))
        res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    if (res == nullptr) {
        // No RandR: the screen itself is the one output.
        RandrOutput o;
        o.name = "screen";
        o.connected = true;
        o.crtc = 1;
        o.has_mode = true;
        o.mode = {static_cast<uint32_t>(DisplayWidth(dpy, screen)), static_cast<uint32_t>(DisplayHeight(dpy, screen)),
                  0, 0, depth, 0};
        o.primary = true;
        outputs.push_back(o);
        return outputs;
    }

    const std::map<RROutput, std::string> providers = provider_names(dpy, res);
    const RROutput primary = XRRGetOutputPrimary(dpy, DefaultRootWindow(dpy));
    for (int i = 0; i < res->noutput; ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(dpy, res, res->outputs[i]);
        if (info == nullptr) continue;
        RandrOutput o;
        o.name.assign(info->name, info->nameLen);
        if (const auto p = providers.find(res->outputs[i]); p != providers.end()) o.provider = p->second;
        o.connected = info->connection == RR_Connected;
        if (o.connected) o.monitor_name = edid_monitor_name(dpy, res->outputs[i]);
        if (info->crtc != 0) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(dpy, res, info->crtc)) {
                if (crtc->mode != 0) {
                    const XRRModeInfo* mode = find_mode(res, crtc->mode);
                    o.crtc = info->crtc;
                    o.has_mode = true;
                    o.mode = {crtc->width, crtc->height, crtc->x, crtc->y, depth,
                              mode != nullptr ? refresh_rate(*mode) : 0};
                }
                XRRFreeCrtcInfo(crtc);
            }
        }
        if (info->npreferred > 0 && info->nmode > 0) {
            if (const XRRModeInfo* mode = find_mode(res, info->modes[0])) {
                o.has_preferred = true;
                o.preferred = {mode->width, mode->height, 0, 0, depth, refresh_rate(*mode)};
            }
        }
        o.primary = res->outputs[i] == primary;
        outputs.push_back(std::move(o));
        XRRFreeOutputInfo(info);
    }
    XRRFreeScreenResources(res);
    return outputs;
}

}  // namespace

std::unique_ptr<DisplayEnumerator> open_x11_displays() {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) return nullptr;
    std::vector<RandrOutput> outputs = read_outputs(dpy);
    const std::optional<DisplayRect> work_area = desktop_work_area(dpy);
    XCloseDisplay(dpy);
    return make_randr_displays(std::move(outputs), work_area);
}

bool display_reachable() {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) return false;
    XCloseDisplay(dpy);
    return true;
}
