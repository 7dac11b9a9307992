#include "gui/camera_modes.h"

#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>

#include <cstdio>
#include <vector>

#include "gui/control_panel.h"
#include "gui/source_page.h"
#include "video/source_text.h"
#include "video/v4l2.h"

namespace {

std::vector<CameraMode>& listed() {
    static std::vector<CameraMode> modes;
    return modes;
}

// "640 x 480, 30 fps, MJPG (Motion-JPEG)", with the menu's special characters escaped.
std::string mode_label(const CameraMode& m) {
    char rate[32];
    std::snprintf(rate, sizeof rate, m.fps > 0 ? "%g fps" : "its own rate", m.fps);
    std::string text = std::to_string(m.width) + " x " + std::to_string(m.height) + ", " + rate + ", " + m.format;
    if (!m.description.empty()) text += " (" + m.description + ")";
    std::string out;
    for (const char c : text) {
        if (c == '/' || c == '\\' || c == '_' || c == '&') out += '\\';
        out += c;
    }
    return out;
}

void mode_chosen(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    const int i = p.camera_mode_choice->value();
    const std::vector<CameraMode>& modes = listed();
    const CameraMode mode = i >= 1 && static_cast<size_t>(i) <= modes.size() ? modes[static_cast<size_t>(i) - 1] : CameraMode{};
    open_source_in_mode(p, p.source_input->value(), mode);
}

}  // namespace

void build_camera_mode_widgets(ControlPanel& p) {
    p.camera_mode_choice = new Fl_Choice(1110, 55, 140, 25, "camera mode:");
    p.camera_mode_choice->align(FL_ALIGN_TOP_LEFT);
    p.camera_mode_choice->tooltip("the sizes, rates and pixel formats of the camera in \"source:\"; choosing one "
                                  "opens the camera in it, and it is kept with the source");
    p.camera_mode_choice->callback(mode_chosen);
    show_camera_modes(p, {});
}

void show_camera_modes(ControlPanel& p, const std::string& path) {
    std::vector<CameraMode>& modes = listed();
    modes.clear();
    const bool device = !path.empty() && classify_source(path).kind == SourceKind::device;
    if (device) modes = list_camera_modes(system_v4l2_kernel(), path);
    Fl_Choice* choice = p.camera_mode_choice;
    choice->clear();
    if (modes.empty()) {
        choice->add(device ? "no modes listed" : "no camera");
        choice->value(0);
        choice->deactivate();
        return;
    }
    choice->add("the camera's own");
    for (const CameraMode& m : modes) choice->add(mode_label(m).c_str());
    choice->value(0);
    choice->activate();
    // The mode kept with this source, when it is one of those listed.
    if (p.source == nullptr) return;
    std::string error;
    const auto kept = parse_camera_mode(app_state.extras.get(kCameraModeKey), error);
    if (!kept || app_state.extras.get("source") != path) return;
    for (size_t k = 0; k < modes.size(); ++k)
        if (modes[k] == *kept) choice->value(static_cast<int>(k) + 1);
}
