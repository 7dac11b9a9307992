// The widgets and the state kept consistent in both directions. Setting a
// widget's value from code never fires its callback.

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include "gui/control_panel.h"
#include "gui/operator_aids.h"
#include "gui/panel_callbacks.h"
#include "model/animation.h"
#include "model/node_model.h"

namespace {

// The sensor the panel's sensor widgets stand for, or null when no node is
// selected or the index no longer fits the model (the node count shrank, or a
// model file was loaded, since the selection was taken).
AngularSensor* shown_sensor(const AppState& app) {
    if (app.node_model == nullptr || app.selected_node < 0) return nullptr;
    std::vector<AngularSensor>& sensors = app.node_model->sensors;
    if (static_cast<size_t>(app.selected_node) >= sensors.size()) return nullptr;
    return &sensors[static_cast<size_t>(app.selected_node)];
}

}  // namespace

void refresh_from_options(ControlPanel& p) {
    const Options& o = app_state.options;
    p.fullscreen_x_input->value(o.fullscreen_x);
    p.fullscreen_y_input->value(o.fullscreen_y);
    p.fullscreen_width_input->value(o.fullscreen_width);
    p.fullscreen_height_input->value(o.fullscreen_height);

    Fl_Round_Button* const radios[] = {p.regiongrow_radio, p.kmeans_radio, p.cure_radio};
    if (o.cluster_method >= 0 && o.cluster_method <= 2) {
        for (int m = 0; m < 3; ++m) radios[m]->value(m == o.cluster_method ? 1 : 0);
    }

    p.threshold_slider->value(o.threshold);
    p.iterations_slider->value(o.kmeans_iterations);
    p.threads_slider->value(o.kmeans_threads);
    p.clusters_slider->value(o.kmeans_clusters);
    p.rg_max_distance_slider->value(o.regiongrow_max_distance);
    p.rg_max_size_slider->value(o.regiongrow_max_cluster_size);
    p.rg_min_size_slider->value(o.regiongrow_min_cluster_size);
    p.cure_max_distance_slider->value(o.cure_max_distance);
    p.cure_max_size_slider->value(o.cure_max_cluster_size);
    p.cure_min_size_slider->value(o.cure_min_cluster_size);
    p.min_node_distance_slider->value(o.min_node_distance);
    p.track_distance_slider->value(o.max_track_distance);

    // The camera settings are shown as unsigned numbers.
    p.brightness_slider->value(static_cast<uint32_t>(o.camera_brightness));
    p.gain_slider->value(static_cast<uint32_t>(o.camera_gain));
    p.shutter_slider->value(static_cast<uint32_t>(o.camera_shutter));

    p.node_count_input->value(o.node_count);
    p.line_width_slider->value(o.line_width);
    p.sensor_radius_slider->value(o.sensor_max_radius);
    p.buffer_size_input->value(o.animation_buffer_frames);
    p.record_timeline->maximum(o.animation_buffer_frames);

    p.help_view->value(help_html().c_str());

    p.show_thresholding_check->value(o.show_thresholding != 0 ? 1 : 0);
    p.y_invert_check->value(o.y_invert != 0 ? 1 : 0);
}

void refresh_model_widgets(ControlPanel& p) {
    const AppState& app = app_state;
    if (app.node_model == nullptr) return;
    const NodeModel& m = *app.node_model;
    p.model_alpha_slider->value(m.alpha);
    p.model_red_slider->value(m.red);
    p.model_green_slider->value(m.green);
    p.model_blue_slider->value(m.blue);

    if (const AngularSensor* s = shown_sensor(app)) {
        p.sensor_visible_check->value(s->visible ? 1 : 0);
        p.sensor_relative_check->value(s->at_node ? 1 : 0);
        p.sensor_alpha_slider->value(s->alpha);
        p.sensor_red_slider->value(s->red);
        p.sensor_green_slider->value(s->green);
        p.sensor_blue_slider->value(s->blue);
        p.sensor_x_input->value(s->x);
        p.sensor_y_input->value(s->y);
    }
}

void write_model_widgets(ControlPanel& p) {
    AppState& app = app_state;
    if (app.node_model == nullptr) return;
    NodeModel& m = *app.node_model;
    m.red = static_cast<float>(p.model_red_slider->value());
    m.green = static_cast<float>(p.model_green_slider->value());
    m.blue = static_cast<float>(p.model_blue_slider->value());
    m.alpha = static_cast<float>(p.model_alpha_slider->value());

    if (AngularSensor* s = shown_sensor(app)) {
        s->visible = p.sensor_visible_check->value() != 0;
        s->at_node = p.sensor_relative_check->value() != 0;
        s->red = static_cast<float>(p.sensor_red_slider->value());
        s->green = static_cast<float>(p.sensor_green_slider->value());
        s->blue = static_cast<float>(p.sensor_blue_slider->value());
        s->alpha = static_cast<float>(p.sensor_alpha_slider->value());
        s->x = truncate_to_int32(p.sensor_x_input->value());
        s->y = truncate_to_int32(p.sensor_y_input->value());
    }
}
