#include "app/velmora_main.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "app/display_report.h"
#include "app/own_name.h"
#include "base/options.h"
#include "base/settings_place.h"
#include "display/preview_window.h"
#include "display/render_thread.h"
#include "gui/control_panel.h"
#include "gui/cycle_beacon.h"
#include "gui/osc_controls.h"
#include "gui/source_page.h"
#include "gui/scene_aids.h"
#include "gui/operator_aids.h"
#include "loop/app_state.h"
#include "loop/main_loop.h"
#include "platform/displays.h"
#include "platform/gl_window.h"
#include "platform/timer.h"

namespace {

// Saves the options and the extra settings where they live. A failure is
// logged as ever and, since the operator does not watch the console and the
// settings of this run are lost with it, shown in a message before the end.
void save_settings(const SettingsPlace& place, AppState& app, const Log& log) {
    std::ostringstream failures;
    const Log logged{log.out, failures};
    // The user's configuration folder may not exist yet; a failure shows in the saves.
    (void)make_folder_for(place.save);
    save_options(place.save, app.options, logged);
    app.extras.save(place.save, logged);
    const std::string lines = failures.str();
    if (lines.empty()) return;
    log.err << lines << std::flush;
    fl_message_title("settings");
    // Log entries begin with a line break; the message does not.
    fl_alert("%s\n\nThe settings of this run are lost.", lines.c_str() + 1);
}

}  // namespace

int velmora_main(int argc, char** argv) {
    // The render thread talks to the display on a connection of its own.
    platform::init_x_threads();
    const Log log = console_log();
    AppState& app = app_state;

    log.err << "\nmain program entry point";
    const std::string own_name = settle_own_name(argc, argv, log);
    log.err << "\nstartup of " << own_name;
    const SettingsPlace settings = find_settings_place(options_file_name(own_name));
    load_options(settings.load_options, app.options, log);
    app.extras.load(settings.load_extras, log);

    log.err << "\ndirectly before camera initialization";
    MainLoop loop(app);
    log.err << "\ncamera object created";
    loop.camera.start();
    log.err << "\ncamera started";

    log.err << "\nbefore gui loading";
    // The desktop entry and icon find the windows by this class; the title stays.
    Fl_Window::default_xclass("velmora");
    ControlPanel& panel = build_control_panel(app);
    refresh_from_options(panel);
    log.err << "\ngui loaded";
    app.node_model = &panel.preview->model;
    refresh_model_widgets(panel);
    show_control_panel(panel);
    log.err << "\ngui shown";

    log.err << "\nbefore system capabilities querying";
    const std::unique_ptr<DisplayEnumerator> displays = open_x11_displays();
    const std::string report = displays != nullptr ? build_display_report(*displays) : std::string();
    log.out << "\n" << report;
    show_system_report(panel, display_report_markup(report));
    if (displays != nullptr) show_connected_displays(panel, connected_displays(*displays));

    // `velmora SOURCE`: a camera, video file or image sequence instead of the
    // synthetic camera (see gui/source_page.h); without it, the one last used.
    connect_source_page(panel, app, loop);
    open_start_source(panel, argc > 1 ? argv[1] : "");
    connect_osc(panel, loop);

    MYWINDOW& preview = *panel.preview;
    loop.scene = Scene{&preview.model, &preview.record_animation, &preview.playback_animation, &preview.clusters};
    prepare_main_loop(app, loop);
    attach_scene_aids(panel, loop.statistics);
    panel.scene_watch = &loop.scene_watch;
    log.err << "\nbefore entering mainloop";
    PanelCycleView view(panel);
    CycleBeacon beacon(*panel.main_window);
    run_main_loop(app, loop, view, [&beacon, &panel] {
        beacon.before_event_pass();
        return source_event_pass(panel);
    });

    close_osc(panel);
    close_source_page(panel);
    save_settings(settings, app, log);
    stop_output_window(app);
    platform::time_end_period(1);
    return 0;
}
