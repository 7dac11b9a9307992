#include "app/display_report.h"

#include <iomanip>
#include <sstream>

namespace {

// The adapter's first active monitor; without one, the last monitor fetched.
// A monitor without a description is the "Default Monitor".
DisplayDevice report_monitor(DisplayEnumerator& displays, const DisplayDevice& adapter) {
    DisplayDevice monitor;
    if (displays.monitor(adapter.device_name, 0, monitor)) {
        for (uint32_t m = 1; !(monitor.state_flags & kDisplayActive); ++m) {
            DisplayDevice next;
            if (!displays.monitor(adapter.device_name, m, next)) break;
            monitor = next;
        }
    }
    if (monitor.device_string.empty()) {
        displays.monitor(adapter.device_name, 0, monitor);
        if (monitor.device_string.empty()) monitor.device_string = "Default Monitor";
    }
    return monitor;
}

// The current mode, else the stored one, else zeros.
DisplayMode report_mode(DisplayEnumerator& displays, const DisplayDevice& adapter) {
    DisplayMode mode;
    if (!displays.current_mode(adapter.device_name, mode)) {
        mode = DisplayMode{};
        if (!displays.registry_mode(adapter.device_name, mode)) mode = DisplayMode{};
    }
    return mode;
}

}  // namespace

std::string build_display_report(DisplayEnumerator& displays) {
    std::ostringstream report;
    int number = 1;
    DisplayDevice adapter;
    for (uint32_t i = 0; displays.adapter(i, adapter); ++i, adapter = DisplayDevice{}) {
        if (adapter.state_flags & kDisplayMirroringDriver) {
            report << "\n\n";
            continue;
        }

        const DisplayDevice monitor = report_monitor(displays, adapter);
        const DisplayMode mode = report_mode(displays, adapter);

        const bool attached = adapter.state_flags & kDisplayAttachedToDesktop;
        uint64_t monitor_handle = 0;
        DisplayRect work;
        if (attached) {
            monitor_handle = displays.monitor_from_point(mode.x, mode.y);
            if (monitor_handle != 0 && !displays.work_area(monitor_handle, work)) work = DisplayRect{};
        }

        report << number << " " << monitor.device_string << " on " << adapter.device_string << "\n";
        if (!attached) {
            report << "disabled, ";
        } else if (adapter.state_flags & kDisplayPrimaryDevice) {
            report << "primary, ";
        }
        if (adapter.state_flags & kDisplayRemovable) report << "removable, ";
        report << mode.width << " x " << mode.height << " pos: " << mode.x << ", " << mode.y << " "
               << mode.bits_per_pixel << " bits @ " << mode.frequency << " Hz";
        if (monitor_handle != 0) {
            report << "\nworkspace: " << work.left << ", " << work.top << " - " << work.right << ", "
                   << work.bottom << " HMONITOR: " << std::uppercase << std::hex << std::setw(8)
                   << std::setfill('0') << monitor_handle << std::dec << std::setfill(' ');
        }
        report << "\nDevice: " << (monitor.device_name.empty() ? adapter.device_name : monitor.device_name)
               << "\n";
        ++number;
        report << "\n\n";
    }
    return report.str();
}

std::vector<DisplayPlace> connected_displays(DisplayEnumerator& displays) {
    std::vector<DisplayPlace> places;
    int32_t number = 1;
    DisplayDevice adapter;
    for (uint32_t i = 0; displays.adapter(i, adapter); ++i, adapter = DisplayDevice{}) {
        if (adapter.state_flags & kDisplayMirroringDriver) continue;  // numbered by nobody
        const int32_t this_number = number++;
        if (!(adapter.state_flags & kDisplayAttachedToDesktop)) continue;
        const DisplayMode mode = report_mode(displays, adapter);
        if (mode.width == 0 || mode.height == 0) continue;
        places.push_back(DisplayPlace{this_number,
                                      report_monitor(displays, adapter).device_string + " on " +
                                          adapter.device_string,
                                      mode.x, mode.y, mode.width, mode.height,
                                      (adapter.state_flags & kDisplayPrimaryDevice) != 0});
    }
    return places;
}

std::string display_report_markup(const std::string& report) {
    std::string markup;
    markup.reserve(report.size() + report.size() / 4);
    for (size_t i = 0; i < report.size(); ++i) {
        const char c = report[i];
        switch (c) {
            case '\n':
                // Every line break that another one follows becomes a paragraph
                // break; the last of a run becomes a line break.
                markup += i + 1 < report.size() && report[i + 1] == '\n' ? "<p>" : "<br>";
                break;
            case '<': markup += "&lt;"; break;
            case '>': markup += "&gt;"; break;
            case '&': markup += "&amp;"; break;
            default: markup += c;
        }
    }
    return markup;
}
