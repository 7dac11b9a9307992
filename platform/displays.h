#pragma once
// Display enumeration: adapters, their monitors, modes and work areas, in
// records shaped like the enumeration records the report was designed around.
// On X11 each RandR output is an adapter, named after the output (and the
// provider that drives it); outputs that clone one display controller are
// adapters of their own.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// An adapter or a monitor, shaped like the enumeration records of the platform.
struct DisplayDevice {
    std::string device_name;    // system name of the device
    std::string device_string;  // human-readable description
    uint32_t state_flags = 0;
};

// Adapter state flags.
inline constexpr uint32_t kDisplayAttachedToDesktop = 0x1;
inline constexpr uint32_t kDisplayPrimaryDevice = 0x4;
inline constexpr uint32_t kDisplayMirroringDriver = 0x8;
inline constexpr uint32_t kDisplayRemovable = 0x20;
// Monitor state flag.
inline constexpr uint32_t kDisplayActive = 0x1;

struct DisplayMode {
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t x = 0;  // position on the virtual desktop
    int32_t y = 0;
    uint32_t bits_per_pixel = 0;
    uint32_t frequency = 0;  // Hz; 0 when unknown
};

struct DisplayRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;  // exclusive
    int32_t bottom = 0;
};

// A display that shows part of the desktop: where the output window goes to
// cover it.
struct DisplayPlace {
    int32_t number = 0;  // the display's number in the capabilities report
    std::string name;    // "<monitor> on <adapter>", as the report names it
    int32_t x = 0;       // position on the virtual desktop
    int32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool primary = false;
};

// The platform's display enumeration. Every call returns false (and leaves its
// output alone) when there is no such entry.
class DisplayEnumerator {
public:
    virtual bool adapter(uint32_t index, DisplayDevice& out) = 0;
    virtual bool monitor(const std::string& adapter_name, uint32_t index, DisplayDevice& out) = 0;
    virtual bool current_mode(const std::string& adapter_name, DisplayMode& out) = 0;
    virtual bool registry_mode(const std::string& adapter_name, DisplayMode& out) = 0;
    // A handle of the monitor that contains the point, 0 for none.
    virtual uint64_t monitor_from_point(int32_t x, int32_t y) = 0;
    virtual bool work_area(uint64_t monitor_handle, DisplayRect& out) = 0;

    virtual ~DisplayEnumerator() = default;
};

// One RandR output as the server describes it.
struct RandrOutput {
    std::string name;          // the output's name, "HDMI-1"
    std::string provider;      // the provider (graphics device) that drives it; empty when unknown
    bool connected = false;    // a monitor is attached
    std::string monitor_name;  // the monitor's own name (EDID); empty when unknown
    uint64_t crtc = 0;         // the display controller that shows it, 0 when off; clones share one
    bool has_mode = false;     // mode: the controller's geometry and rate, while it shows a mode
    DisplayMode mode;
    bool has_preferred = false;  // preferred: the monitor's first preferred mode, at (0, 0)
    DisplayMode preferred;
    bool primary = false;
};

// The enumeration over outputs read from a server: every output in the given
// order is an adapter, described as "NAME" or "NAME (PROVIDER)". An output
// with a controller is on the desktop, its monitor active, and the controller
// is its monitor handle; the work area is the monitor clipped to the
// desktop's work area when there is one. Without a primary output, the first
// one on the desktop is primary.
std::unique_ptr<DisplayEnumerator> make_randr_displays(std::vector<RandrOutput> outputs,
                                                       std::optional<DisplayRect> desktop_work_area);

// The X server's displays, over XRandR, on a connection of its own. Null when
// no display can be opened.
std::unique_ptr<DisplayEnumerator> open_x11_displays();

// Whether the X server the environment names (DISPLAY) can be reached: a
// window can be shown.
bool display_reachable();
