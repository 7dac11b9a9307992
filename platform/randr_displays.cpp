// The enumeration over RandR outputs once they are read from the server; no
// X11 here, so it runs on any list of outputs.

#include <algorithm>
#include <utility>

#include "platform/displays.h"

namespace {

struct Output {
    DisplayDevice adapter;
    DisplayDevice monitor;  // empty device_name when nothing is connected
    RandrOutput randr;
};

class RandrDisplays final : public DisplayEnumerator {
public:
    RandrDisplays(std::vector<RandrOutput> outputs, std::optional<DisplayRect> work_area)
        : work_area_(work_area) {
        for (RandrOutput& o : outputs) {
            Output out;
            out.adapter.device_name = o.name;
            out.adapter.device_string = o.provider.empty() ? o.name : o.name + " (" + o.provider + ")";
            if (o.connected) out.monitor = {o.name + "\\Monitor0", o.monitor_name, 0};
            if (o.crtc != 0 && o.has_mode) {
                out.adapter.state_flags |= kDisplayAttachedToDesktop;
                out.monitor.state_flags |= kDisplayActive;
            }
            if (o.primary) out.adapter.state_flags |= kDisplayPrimaryDevice;
            out.randr = std::move(o);
            outputs_.push_back(std::move(out));
        }
        const bool any_primary = std::any_of(outputs_.begin(), outputs_.end(), [](const Output& o) {
            return o.adapter.state_flags & kDisplayPrimaryDevice;
        });
        if (any_primary) return;
        for (Output& o : outputs_) {
            if (o.adapter.state_flags & kDisplayAttachedToDesktop) {
                o.adapter.state_flags |= kDisplayPrimaryDevice;
                break;
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
        if (o == nullptr || !o->randr.has_mode) return false;
        out = o->randr.mode;
        return true;
    }

    bool registry_mode(const std::string& adapter_name, DisplayMode& out) override {
        const Output* o = find(adapter_name);
        if (o == nullptr || !o->randr.has_preferred) return false;
        out = o->randr.preferred;
        return true;
    }

    // Clones share their controller, so they share the handle and the work area.
    uint64_t monitor_from_point(int32_t x, int32_t y) override {
        for (const Output& o : outputs_) {
            const DisplayMode& m = o.randr.mode;
            if (o.randr.crtc == 0 || !o.randr.has_mode) continue;
            if (x >= m.x && int64_t{x} < int64_t{m.x} + m.width && y >= m.y && int64_t{y} < int64_t{m.y} + m.height)
                return o.randr.crtc;
        }
        return 0;
    }

    bool work_area(uint64_t monitor_handle, DisplayRect& out) override {
        if (monitor_handle == 0) return false;
        for (const Output& o : outputs_) {
            if (o.randr.crtc != monitor_handle || !o.randr.has_mode) continue;
            const DisplayMode& m = o.randr.mode;
            DisplayRect r{m.x, m.y, static_cast<int32_t>(m.x + static_cast<int32_t>(m.width)),
                          static_cast<int32_t>(m.y + static_cast<int32_t>(m.height))};
            if (work_area_) {
                r.left = std::max(r.left, work_area_->left);
                r.top = std::max(r.top, work_area_->top);
                r.right = std::min(r.right, work_area_->right);
                r.bottom = std::min(r.bottom, work_area_->bottom);
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
    std::optional<DisplayRect> work_area_;
};

}  // namespace

std::unique_ptr<DisplayEnumerator> make_randr_displays(std::vector<RandrOutput> outputs,
                                                       std::optional<DisplayRect> desktop_work_area) {
    return std::make_unique<RandrDisplays>(std::move(outputs), desktop_work_area);
}
