#include "gui/control_panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include "app/display_report.h"
#include "display/preview_window.h"

ControlPanel& build_control_panel(AppState& app) {
    static ControlPanel panel;
    panel.main_window = new Fl_Double_Window(1264, 950);
    panel.main_window->user_data(&panel);
    panel.preview = new MYWINDOW(app.options);
    panel.preview->box(FL_BORDER_BOX);
    panel.preview->align(FL_ALIGN_TOP | FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    panel.preview->when(FL_WHEN_RELEASE);
    panel.main_window->end();
    return panel;
}

void show_control_panel(ControlPanel& panel) { panel.main_window->show(); }

std::string build_system_report() {
    const std::unique_ptr<DisplayEnumerator> displays = open_x11_displays();
    return displays != nullptr ? build_display_report(*displays) : std::string();
}

void show_system_report(ControlPanel&, const std::string&) {}

void stop_output_window(AppState&) {}

void PanelCycleView::upload_frame(const Frame& frame) { panel_.preview->upload_frame(frame); }

void PanelCycleView::request_redraw() { panel_.preview->redraw(); }

void PanelCycleView::show_rate(int32_t cycles_per_second) {
    panel_.preview->fps = cycles_per_second;
    // The window keeps its own copy of the title.
    panel_.main_window->copy_label(std::to_string(cycles_per_second).c_str());
}
