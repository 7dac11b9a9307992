#pragma once
// The control panel: the main window with its preview, tabs and recording
// groups, and the window side of the main-loop cycle.

#include <string>

#include "app/app_state.h"
#include "app/main_loop.h"

class Fl_Double_Window;
class MYWINDOW;

struct ControlPanel {
    Fl_Double_Window* main_window = nullptr;
    MYWINDOW* preview = nullptr;  // the GL preview, the main window's first child
};

// Builds the panel once; the panel lives until the program ends. The main
// window's user data is the panel.
ControlPanel& build_control_panel(AppState& app);
void show_control_panel(ControlPanel& panel);

// The display capabilities report and its place on the System page.
std::string build_system_report();
void show_system_report(ControlPanel& panel, const std::string& report);

// The cycle's window steps: the hand-over to the output window, redraw, frame
// upload and the rate in the title.
class PanelCycleView final : public CycleView {
public:
    explicit PanelCycleView(ControlPanel& panel) : panel_(panel) {}
    void hand_over(const Frame& camera_frame) override;
    void upload_frame(const Frame& frame) override;
    void request_redraw() override;
    void show_rate(int32_t cycles_per_second) override;

private:
    ControlPanel& panel_;
};
