#include "gui/measure_controls.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>

#include "display/angle_labels.h"
#include "display/preview_window.h"
#include "gui/angles_window.h"
#include "gui/calibration_window.h"
#include "gui/control_panel.h"
#include "gui/file_dialog.h"
#include "gui/operator_aids.h"
#include "loop/live_measure.h"
#include "measure/csv_file.h"
#include "measure/frame_measure.h"
#include "measure/take_kinematics.h"
#include "platform/message.h"
#include "platform/timer.h"

namespace {

constexpr char kShowAnglesKey[] = "angles.show";
constexpr char kMemoryKey[] = "tracking.memory";
constexpr char kHoldFramesKey[] = "tracking.hold_frames";
constexpr char kShowStateKey[] = "view.tracking_state";

// The name the CSV chooser proposes: the group's file name, else the last
// save path, with ".txt" made ".csv".
std::string proposed_csv_name(const Fl_Input* file_input) {
    const Options& o = app_state.options;
    std::string name = file_input->value() != nullptr ? file_input->value() : "";
    if (name.empty()) name.assign(o.save_path, strnlen(o.save_path, sizeof o.save_path));
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".txt") == 0) name.resize(name.size() - 4);
    return name.empty() ? std::string() : name + ".csv";
}

// Whether the calibration holds for a take, compiled into `map` for the
// source it was recorded from; `problem` says why not.
bool calibrate_take(const Animation& a, CalibrationMap& map, std::string& problem) {
    if (!a.geometry && !app_state.calibration.empty())
        problem = "a take loaded from a file does not say which source pixels it was recorded in";
    return a.geometry && !app_state.calibration.empty() && calibration_for(app_state, *a.geometry, map, problem);
}

// A take's numbers as the batch run gives them: in the pixels of the source
// it was recorded from, calibrated where the calibration fits that source.
// `problem` says why a calibration there is not used.
MeasureContext take_context(const Animation& a, CalibrationMap& map, std::string& problem) {
    const bool calibrated = calibrate_take(a, map, problem);
    return MeasureContext{a.geometry ? &*a.geometry : nullptr, a.y_invert, calibrated ? &map : nullptr};
}

// Gaps filled and filtered as the "Calibration" window says.
TakeProcessing processing_of(const ControlPanel& p) {
    return p.calibration_window != nullptr ? p.calibration_window->processing() : TakeProcessing{};
}

void export_csv(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const bool record = widget == p.record_export_button;
    const Animation& a = record ? p.preview->record_animation : p.preview->playback_animation;
    const std::string proposed = proposed_csv_name(record ? p.record_file_input : p.playback_file_input);
    const std::string name =
        name_to_save(p, choose_path(PathKind::save_file, "export CSV to:", "*.csv", proposed));
    if (name.empty()) return;
    std::string problem;
    FrameTable table = frame_table_of(a);
    CalibrationMap map;
    const MeasureContext context = take_context(a, map, problem);
    const ProcessedTake processed = process_take(table, context, processing_of(p));
    if (!processed.filter_error.empty()) problem = processed.filter_error;
    if (save_csv(table, name, context, processed.filtered ? &processed.kinematics : nullptr)) {
        std::cout << "\n CSV saved." << std::flush;
        const int64_t rows = static_cast<int64_t>(table.frame_count());
        show_status(p, "wrote " + std::to_string(rows) + (rows == 1 ? " row to " : " rows to ") + name);
        if (!problem.empty())
            platform::show_message("export CSV", ("the CSV was written without the calibrated or filtered columns: " +
                                                  problem).c_str());
    } else {
        platform::show_message("export CSV", ("could not write " + name).c_str());
        show_status(p, "could NOT write " + name);
    }
}

void show_angles(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    p.preview->show_angles = p.show_angles_check->value() != 0;
    app_state.extras.set_bool(kShowAnglesKey, p.preview->show_angles);
    p.preview->redraw();
}

void show_tracking_state(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    p.preview->show_tracking_state = p.show_tracking_state_check->value() != 0;
    app_state.extras.set_bool(kShowStateKey, p.preview->show_tracking_state);
    p.preview->redraw();
}

void memory(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    app_state.node_memory.enabled = p.memory_check->value() != 0;
    app_state.extras.set_bool(kMemoryKey, app_state.node_memory.enabled);
}

void hold_frames(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    app_state.node_memory.hold_frames = truncate_to_int32(p.hold_frames_slider->value());
    app_state.extras.set_int(kHoldFramesKey, app_state.node_memory.hold_frames);
}

float stopwatch_now() { return app_state.stopwatch != nullptr ? app_state.stopwatch->elapsed_ms() : 0.0f; }

// Beside the panel, right of it or else left of it, within the screen's work
// area; on a screen with no room beside it, over the preview's top-left
// corner, clear of the tabs and the recording groups.
void place_beside(Fl_Window& window, const Fl_Window& panel) {
    int sx = 0, sy = 0, sw = 0, sh = 0;
    Fl::screen_work_area(sx, sy, sw, sh, panel.x(), panel.y());
    constexpr int kGap = 8;
    const int y = std::clamp(panel.y(), sy, std::max(sy, sy + sh - window.h()));
    if (panel.x() + panel.w() + kGap + window.w() <= sx + sw) window.position(panel.x() + panel.w() + kGap, y);
    else if (panel.x() - kGap - window.w() >= sx) window.position(panel.x() - kGap - window.w(), y);
    else window.resize(panel.x() + 10, panel.y() + 10, std::min(window.w(), 790), std::min(window.h(), 590));
}

void open_angles_window(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    if (p.angles_window == nullptr) {
        // A window of its own, never a child of whatever group is open.
        Fl_Group::current(nullptr);
        p.angles_window = new AnglesWindow(p.preview->record_animation, p.preview->playback_animation, p.preview->model,
                                           &stopwatch_now);
        place_beside(*p.angles_window, *p.main_window);
        // The filtered view filters whatever the window says, by residual
        // analysis where it names no cutoff.
        p.angles_window->process = [&p](const Animation& a, FrameTable& table, TakeKinematics& out, std::string& error) {
            table = frame_table_of(a);
            CalibrationMap map;
            std::string unused;
            const MeasureContext context = take_context(a, map, unused);
            TakeProcessing processing = processing_of(p);
            processing.filter = true;
            ProcessedTake done = process_take(table, context, processing);
            error = done.filter_error;
            out = std::move(done.kinematics);
            return done.filtered;
        };
        p.angles_window->process_key = [&p] {
            const TakeProcessing t = processing_of(p);
            return std::to_string(app_state.calibration_version) + " " + std::to_string(t.fill_gaps) + " " +
                   std::to_string(t.filter ? t.cutoff_hz : 0.0);
        };
        p.angles_window->measure_context = [&p](const Animation& a) { return take_measure_context(p, a); };
        p.angles_window->measure_version = [] { return app_state.calibration_version; };
    }
    p.angles_window->show();
    p.angles_window->refresh(stopwatch_now());
}

template <class W>
W* add_to(Fl_Group* group, W* widget) {
    group->add(widget);
    return widget;
}

}  // namespace

void build_measure_controls(ControlPanel& p) {
    // Widgets go into their groups by add(), never into whatever group is open.
    Fl_Group::current(nullptr);

    // A panel built again (the tests build one per case) gets a window of its own.
    delete p.angles_window;
    p.angles_window = nullptr;

    Fl_Group* model_page = p.node_count_input->parent();
    p.show_angles_check = add_to(model_page, new Fl_Check_Button(1000, 36, 120, 24, "show angles"));
    p.show_angles_check->down_box(FL_DOWN_BOX);
    p.show_angles_check->tooltip("the bend angle of every node beside it, in degrees, counter-clockwise positive");
    p.show_angles_check->callback(show_angles);

    Fl_Group* sensor_group = p.sensor_visible_check->parent();
    p.selected_angle_output = add_to(sensor_group, new Fl_Output(830, 480, 60, 24, "bend angle [deg]"));
    p.selected_angle_output->align(FL_ALIGN_RIGHT);
    p.selected_angle_output->tooltip("the selected node's bend angle: 0 straight on, counter-clockwise positive");

    Fl_Group* tracking_page = p.min_node_distance_slider->parent();
    p.memory_check = add_to(tracking_page, new Fl_Check_Button(820, 128, 90, 22, "memory"));
    p.memory_check->down_box(FL_DOWN_BOX);
    p.memory_check->tooltip("a node whose marker vanishes is carried along its last velocity and caught again "
                            "when a cluster comes within reach of the predicted place");
    p.memory_check->callback(memory);
    p.hold_frames_slider = add_to(tracking_page, new Fl_Value_Slider(820, 155, 200, 25, "frames carried"));
    p.hold_frames_slider->type(FL_HOR_SLIDER);
    p.hold_frames_slider->textsize(14);
    p.hold_frames_slider->align(FL_ALIGN_RIGHT);
    p.hold_frames_slider->bounds(0, 30);
    p.hold_frames_slider->step(1);
    p.hold_frames_slider->tooltip("how many frames a node is carried after its marker vanished");
    p.hold_frames_slider->callback(hold_frames);
    p.show_tracking_state_check =
        add_to(tracking_page, new Fl_Check_Button(820, 190, 160, 22, "show tracking state"));
    p.show_tracking_state_check->down_box(FL_DOWN_BOX);
    p.show_tracking_state_check->tooltip("a square beside every node: cyan tracked, orange held (no marker in "
                                         "reach), white placed by the pointer, pink predicted by the memory");
    p.show_tracking_state_check->callback(show_tracking_state);

    p.record_export_button = add_to(p.record_button->parent(), new Fl_Button(1080, 700, 105, 25, "export CSV"));
    p.record_export_button->tooltip("write this recording's positions, angles and states as a CSV file");
    p.record_export_button->callback(export_csv);
    p.playback_export_button =
        add_to(p.playback_load_button->parent(), new Fl_Button(1085, 825, 100, 25, "export CSV"));
    p.playback_export_button->tooltip("write this recording's positions and angles as a CSV file");
    p.playback_export_button->callback(export_csv);

    p.angles_button = add_to(static_cast<Fl_Group*>(p.main_window), new Fl_Button(5, 862, 90, 25, "angles"));
    p.angles_button->tooltip("a chart of the bend angles over time");
    p.angles_button->callback(open_angles_window);

    show_kept_measure_choices(p);
}

void show_kept_measure_choices(ControlPanel& p) {
    AppState& app = app_state;
    p.preview->show_angles = app.extras.get_bool(kShowAnglesKey, false);
    p.show_angles_check->value(p.preview->show_angles ? 1 : 0);
    app.node_memory.enabled = app.extras.get_bool(kMemoryKey, false);
    app.node_memory.hold_frames = std::clamp(app.extras.get_int(kHoldFramesKey, NodeMemorySettings{}.hold_frames), 0, 30);
    p.memory_check->value(app.node_memory.enabled ? 1 : 0);
    p.hold_frames_slider->value(app.node_memory.hold_frames);
    p.preview->show_tracking_state = app.extras.get_bool(kShowStateKey, false);
    p.show_tracking_state_check->value(p.preview->show_tracking_state ? 1 : 0);
}

MeasureContext take_measure_context(ControlPanel& p, const Animation& a) {
    ControlPanel::TakeCalibration& c = &a == &p.preview->record_animation ? p.record_calibration : p.playback_calibration;
    if (c.version != app_state.calibration_version || c.geometry != a.geometry) {
        std::string unused;
        c.version = app_state.calibration_version;
        c.geometry = a.geometry;
        c.calibrated = calibrate_take(a, c.map, unused);
    }
    // The panel's copy of the geometry: it stays put when a take is loaded
    // before the next cycle brings the context up to date.
    return MeasureContext{c.geometry ? &*c.geometry : nullptr, a.y_invert, c.calibrated ? &c.map : nullptr};
}

void measure_after_cycle(ControlPanel& p) {
    AppState& app = app_state;
    std::string text;
    const bool selected = app.node_model != nullptr && app.selected_node >= 0 &&
                          static_cast<size_t>(app.selected_node) < app.node_model->nodes.size();
    app.angles_shown =
        selected || p.preview->show_angles || (p.angles_window != nullptr && p.angles_window->shown() != 0);
    if (selected) {
        FrameMeasure measured;
        measure_model(*app.node_model, live_measure_context(app), measured);
        text = angle_label(measured.nodes[static_cast<size_t>(app.selected_node)].angle_deg);
    }
    if (text != p.selected_angle_output->value()) p.selected_angle_output->value(text.c_str());
    p.preview->angle_context = live_measure_context(app);
    p.preview->record_angle_context = take_measure_context(p, p.preview->record_animation);
    p.preview->playback_angle_context = take_measure_context(p, p.preview->playback_animation);

    if (p.angles_window == nullptr) return;
    // The program ends when its panel closes: the chart goes with it.
    if (!p.main_window->shown()) {
        p.angles_window->hide();
        return;
    }
    p.angles_window->after_cycle(stopwatch_now(), platform::clock_ms());
}
