#include "gui/panel_callbacks.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Input.H>

#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "display/preview_window.h"
#include "display/render_thread.h"
#include "gui/control_panel.h"
#include "gui/file_dialog.h"
#include "gui/operator_aids.h"
#include "model/animation.h"
#include "model/animation_file.h"
#include "model/model_file.h"
#include "model/model_limits.h"
#include "model/node_model.h"
#include "platform/message.h"

namespace panel_callbacks {
namespace {

// Milliseconds of the main loop's stopwatch: "now" for recording and playback.
float now() { return app_state.stopwatch != nullptr ? app_state.stopwatch->elapsed_ms() : 0.0f; }

// The widgets of one recording group and the animation they work on.
struct Group {
    Animation& animation;
    Fl_Slider* timeline;
    Fl_Slider* cut_from;
    Fl_Slider* cut_to;
    Fl_Check_Button* loop;
    Fl_Input* file_input;
    bool records;  // the "record and play:" group
};

// The group whose widget fired: the record group's widgets share its parent.
Group group_of(Fl_Widget* widget) {
    ControlPanel& p = panel_of(widget);
    if (widget->parent() == p.record_button->parent()) {
        return Group{p.preview->record_animation, p.record_timeline, p.record_cut_from, p.record_cut_to,
                     p.record_loop_check, p.record_file_input, true};
    }
    return Group{p.preview->playback_animation, p.playback_timeline, p.playback_cut_from, p.playback_cut_to,
                 p.playback_loop_check, p.playback_file_input, false};
}

// Keeps a chosen file name as the one the dialogs propose next time. A name
// that does not fit the 1023 characters of the options is refused with a
// message rather than cut into the name of a different file. The message goes
// the way of every operator message: to standard error at once, and as an
// alert once the main loop processes events again.
void remember_path(char (&field)[1024], const std::string& name) {
    if (!store_path(field, name)) {
        platform::show_message("file name",
                               "The file name is longer than 1023 characters; "
                               "it is not kept for the next file dialog.");
    }
}

// Runs a model or animation file operation. The failures it logs go to the
// error stream as ever and, as one alert, to the operator, who would otherwise
// believe a take saved that is not.
// Returns what the operation returns: whether it succeeded.
template <class Operation>
bool showing_failures(Operation operation) {
    std::ostringstream failures;
    const bool ok = operation(Log{std::cout, failures});
    const std::string lines = failures.str();
    if (lines.empty()) return ok;
    std::cerr << lines << std::flush;
    // Log entries begin with a line break; the alert's text does not.
    platform::show_logged_message("file", lines.c_str() + 1);
    return ok;
}

// The file chooser, proposing the name kept in a path field of the options;
// an empty name when it was cancelled. A loaded options file may hold a field
// without its terminating NUL: the proposal then ends with the field, never
// in the fields behind it. Choosers that save ask for a new name; "load
// model from:" shows the ".model" companions of saved takes beside the models.
std::string choose_file(const char* title, const char (&proposed)[1024]) {
    const std::string kept(proposed, strnlen(proposed, sizeof proposed));
    const bool saves = std::strncmp(title, "save", 4) == 0;
    const bool model = std::strcmp(title, "load model from:") == 0;
    return choose_path(saves ? PathKind::save_file : PathKind::open_file, title, model ? "*.{txt,model}" : "*.txt",
                       kept);
}

}  // namespace

void y_invert(Fl_Widget* widget, void*) {
    app_state.options.y_invert = static_cast<Fl_Button*>(widget)->value() != 0 ? 1 : 0;
}

void show_thresholding(Fl_Widget* widget, void*) {
    app_state.options.show_thresholding = static_cast<Fl_Button*>(widget)->value();
}

// The radio buttons set the method whatever their state.
void method_kmeans(Fl_Widget*, void*) { app_state.options.cluster_method = 1; }
void method_region_grow(Fl_Widget*, void*) { app_state.options.cluster_method = 0; }
void method_cure(Fl_Widget*, void*) { app_state.options.cluster_method = 2; }

void node_count(Fl_Widget* widget, void*) {
    const double v = static_cast<Fl_Value_Input*>(widget)->value();
    // Only 2 to 10 nodes (1 < v < 11); anything else is ignored and stays shown.
    if (!(v > 1.0 && v < 11.0)) return;
    const int32_t n = truncate_to_int32(v);
    app_state.options.node_count = n;
    if (app_state.node_model != nullptr) app_state.node_model->set_node_count(n);
}

void model_colour(Fl_Widget* widget, void*) { write_model_widgets(panel_of(widget)); }
void sensor(Fl_Widget* widget, void*) { write_model_widgets(panel_of(widget)); }

void load_model(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const std::string name = choose_file("load model from:", app_state.options.load_path);
    if (name.empty()) return;
    after_model_file(p, true, name,
                     showing_failures([&](Log log) { return ::load_model(p.preview->model, name, log); }));
    // The colour sliders show the loaded colour: left stale, the next move of
    // one slider would write the old colour over the loaded one.
    refresh_model_widgets(p);
}

void save_model(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const std::string name = name_to_save(p, choose_file("save model to:", app_state.options.save_path));
    if (name.empty()) return;
    after_model_file(p, false, name,
                     showing_failures([&](Log log) { return ::save_model(p.preview->model, name, log); }));
}

void record(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    Animation& a = p.preview->record_animation;
    if (p.record_button->value() != 0) {
        if (!take_may_be_dropped(p, TakeAction::record)) {
            p.record_button->value(0);
            return;
        }
        p.record_save_as_button->deactivate();
        p.record_play_button->deactivate();
        start_recording(a);
        p.record_timeline->value(0);
    } else {
        p.record_save_as_button->activate();
        p.record_play_button->activate();
        stop_recording(a);
    }
    after_record_switch(p);
}

void play(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const Group g = group_of(widget);
    const bool on = static_cast<Fl_Button*>(widget)->value() != 0;
    // In the record group, playing and recording exclude each other.
    if (g.records) {
        if (on) {
            p.record_button->deactivate();
        } else {
            p.record_button->activate();
        }
    }
    if (on) {
        start_playing(g.animation, g.loop->value() != 0, now());
    } else {
        stop_playing(g.animation);
    }
}

void timeline(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    g.animation.seek(truncate_to_int32(g.timeline->value()), now());
}

void cut_from(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    g.cut_from->value(move_start_marker(g.animation, g.cut_from->value(), g.cut_to->value(), now()));
}

void cut_to(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    g.cut_to->value(move_end_marker(g.animation, g.cut_from->value(), g.cut_to->value(), now()));
}

void cut(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    const int32_t frames_before = g.animation.frame_count;
    const int32_t last = ::cut(g.animation, g.cut_from->value(), g.cut_to->value());
    g.cut_from->value(0);
    g.cut_to->value(last);
    g.timeline->value(last);
    after_cut(panel_of(widget), g.animation, frames_before);
}

void visible(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    g.animation.model.visible = static_cast<Fl_Button*>(widget)->value() != 0;
}

void buffer_size(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    auto* input = static_cast<Fl_Value_Input*>(widget);
    const double frames = input->value();
    Animation& a = p.preview->record_animation;
    // Only a size the buffer takes empties it; a refused one needs no question.
    if (animation_size_allowed(truncate_to_int32(frames), app_state.options.node_count) &&
        !take_may_be_dropped(p, TakeAction::buffer_size)) {
        input->value(app_state.options.animation_buffer_frames);
        return;
    }
    const bool accepted = set_buffer_size(a, app_state.options, frames);
    if (accepted) {
        p.record_timeline->maximum(app_state.options.animation_buffer_frames);
    } else {
        // Refused: the input shows the size in force again, and the operator learns why.
        const std::string why = "The buffer cannot hold " + std::to_string(truncate_to_int32(frames)) +
                                " frames of " + std::to_string(app_state.options.node_count) +
                                " nodes: frames times nodes must lie between 0 and " +
                                std::to_string(kMaxAnimationEntries) + ". It keeps its " +
                                std::to_string(a.capacity_frames) + " frames.";
        input->value(a.capacity_frames);
        platform::show_message("buffer size [frames]", why.c_str());
    }
    after_buffer_size(p, accepted);
}

void save_as(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    const std::string name =
        name_to_save(panel_of(widget), choose_file("save data to:", app_state.options.save_path), {".model"});
    if (name.empty()) return;
    const bool saved = showing_failures([&](Log log) { return save_animation(g.animation, name, log); });
    remember_path(app_state.options.save_path, name);
    g.file_input->value(name.c_str());
    after_save(panel_of(widget), g.animation, name, saved);
}

void quicksave(Fl_Widget* widget, void*) {
    const Group g = group_of(widget);
    const std::string name = g.file_input->value();
    const bool saved = showing_failures([&](Log log) { return save_animation(g.animation, name, log); });
    remember_path(app_state.options.save_path, name);
    after_save(panel_of(widget), g.animation, name, saved);
}

void load_animation(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const std::string name = choose_file("load data from:", app_state.options.load_path);
    if (name.empty()) return;
    const bool loaded =
        showing_failures([&](Log log) { return ::load_animation(p.preview->playback_animation, name, log); });
    remember_path(app_state.options.load_path, name);
    after_load(p, p.preview->playback_animation, name, loaded);
}

void reopen_output(Fl_Widget*, void*) { start_output_window(app_state); }
void close_output(Fl_Widget*, void*) { stop_output_window(app_state); }

void reset_all(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    if (!take_may_be_dropped(p, TakeAction::reset_all)) return;
    reset_options(app_state.options);
    refresh_from_options(p);
}

void quit_and_save(Fl_Widget* widget, void*) {
    if (take_may_be_dropped(panel_of(widget), TakeAction::quit)) app_state.quit_requested = true;
}

}  // namespace panel_callbacks
