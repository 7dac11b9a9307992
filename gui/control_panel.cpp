#include "gui/control_panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>

#include <memory>

#include "app/display_report.h"
#include "display/preview_window.h"
#include "display/render_thread.h"
#include "platform/message.h"

namespace {

struct Alert {
    std::string caption;
    std::string text;
};

void show_alert(void* data) {
    const std::unique_ptr<Alert> alert(static_cast<Alert*>(data));
    fl_message_title(alert->caption.c_str());
    fl_alert("%s", alert->text.c_str());
}

// The message sink. It runs on the reporting thread (the render thread, which
// the main thread may be joining), so it only queues the alert: Fl::awake takes
// the awake ring's own short lock, never the GUI lock. A full ring drops the
// alert; its text is on standard error already.
void queue_alert(const char* caption, const char* text) {
    auto alert = std::make_unique<Alert>(Alert{caption, text});
    if (Fl::awake(&show_alert, alert.get()) != -1) alert.release();
}

}  // namespace

ControlPanel& build_control_panel(AppState& app) {
    // FLTK's thread support: makes the pipe through which Fl::awake wakes the
    // main thread. The main thread holds the GUI lock except while it waits.
    Fl::lock();
    platform::set_message_sink(&queue_alert);

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

void PanelCycleView::hand_over(const Frame& camera_frame) {
    MYWINDOW& preview = *panel_.preview;
    hand_over_to_output_window(app_state, &preview.model, &preview.playback_animation.model,
                               camera_frame);
}

void PanelCycleView::upload_frame(const Frame& frame) { panel_.preview->upload_frame(frame); }

void PanelCycleView::request_redraw() { panel_.preview->redraw(); }

void PanelCycleView::show_rate(int32_t cycles_per_second) {
    panel_.preview->fps = cycles_per_second;
    // The window keeps its own copy of the title.
    panel_.main_window->copy_label(std::to_string(cycles_per_second).c_str());
}
