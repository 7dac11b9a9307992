#include "gui/control_panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>

#include <memory>

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

ControlPanel& build_control_panel(AppState&) {
    // FLTK's thread support: makes the pipe through which Fl::awake wakes the
    // main thread. The main thread holds the GUI lock except while it waits.
    Fl::lock();
    platform::set_message_sink(&queue_alert);

    static ControlPanel panel;
    panel.main_window = new Fl_Double_Window(1264, 950);
    panel.main_window->user_data(&panel);
    panel.main_window->end();
    return panel;
}

void show_control_panel(ControlPanel& panel) { panel.main_window->show(); }

std::string build_system_report() { return {}; }

void show_system_report(ControlPanel&, const std::string&) {}

void PanelCycleView::hand_over(const Frame& camera_frame) {
    // The playback model joins with the preview's animations; until then the
    // output window keeps a hidden one.
    hand_over_to_output_window(app_state, app_state.node_model, nullptr, camera_frame);
}

void PanelCycleView::show_rate(int32_t cycles_per_second) {
    // The window keeps its own copy of the title.
    panel_.main_window->copy_label(std::to_string(cycles_per_second).c_str());
}
