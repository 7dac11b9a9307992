#include "gui/session_controls.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>

#include <iostream>
#include <string>
#include <vector>

#include "display/preview_window.h"
#include "gui/calibration_window.h"
#include "gui/control_panel.h"
#include "gui/file_dialog.h"
#include "gui/operator_aids.h"
#include "gui/source_page.h"
#include "platform/message.h"

namespace {

constexpr char kSourceKey[] = "source";
constexpr char kCaption[] = "session";

std::string choose_session(PathKind kind, const char* title) {
    return choose_path(kind, title, "*.toml", "session.toml");
}

void save_pressed(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const std::string name = choose_session(PathKind::save_file, "save session to:");
    if (name.empty()) return;
    std::string error;
    if (!save_session(session_of_panel(p), name, error)) {
        std::cerr << "\ncould NOT save session to " << name << std::flush;
        platform::show_logged_message(kCaption, ("could NOT save session to " + name).c_str());
        show_status(p, "could NOT save session to " + name);
        return;
    }
    std::cout << "\n session saved." << std::flush;
    show_status(p, "saved the source, the settings and the chain of " +
                       std::to_string(p.preview->model.nodes.size()) + " nodes to " + name);
}

void load_pressed(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const std::string name = choose_session(PathKind::open_file, "load session from:");
    if (name.empty()) return;
    Session session;
    std::string error;
    if (!load_session(name, session, error)) {
        std::cerr << "\ncould NOT load " << error << std::flush;
        platform::show_logged_message(kCaption, ("could NOT load " + error).c_str());
        show_status(p, "could NOT load " + error);
        return;
    }
    std::cout << "\n session loaded." << std::flush;
    // A source that cannot be opened has said so on the status line already.
    if (apply_session(p, session)) show_status(p, "loaded the session " + name);
}

Fl_Button* session_button(ControlPanel& p, int x, const char* label, const char* tip,
                          Fl_Callback* callback) {
    auto* b = new Fl_Button(x, 862, 105, 25, label);
    b->tooltip(tip);
    b->callback(callback);
    p.main_window->add(b);
    return b;
}

}  // namespace

void build_session_controls(ControlPanel& p) {
    p.load_session_button = session_button(
        p, 1045, "load session", "source, settings and chain from a session file", load_pressed);
    p.save_session_button = session_button(
        p, 1155, "save session",
        "the source, every setting and the chain to a session file, for velmora track too",
        save_pressed);
}

Session session_of_panel(const ControlPanel& p) {
    Session s;
    s.source = app_state.extras.get(kSourceKey, "synthetic");
    s.options = app_state.options;
    s.extras = app_state.extras;
    s.extras.erase(kSourceKey);
    s.has_model = true;
    s.model = p.preview->model;
    s.calibration = app_state.calibration;
    return s;
}

bool apply_session(ControlPanel& p, const Session& s) {
    // Key by key, so the settings file is written at exit with what is gone too.
    std::vector<std::string> old;
    for (const auto& [key, value] : app_state.extras.values()) old.push_back(key);
    for (const std::string& key : old)
        if (key != kSourceKey) app_state.extras.erase(key);
    for (const auto& [key, value] : s.extras.values()) app_state.extras.set(key, value);
    app_state.options = s.options;
    refresh_from_options(p);
    refresh_from_extras(p);
    // The session's calibration, or none: the window's is the session's.
    if (p.calibration_window != nullptr) p.calibration_window->show_calibration(s.calibration);
    if (s.has_model) {
        p.preview->model = s.model;
        app_state.selected_node = -1;
        refresh_model_widgets(p);
        p.preview->redraw();
    }
    return open_source_text(p, s.source.empty() ? "synthetic" : s.source);
}
