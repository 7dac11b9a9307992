#include "gui/calibration_window.h"
#include "gui/control_panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/fl_ask.H>

#include <memory>

#include "display/preview_window.h"
#include "display/render_thread.h"
#include "gui/measure_controls.h"
#include "gui/operator_aids.h"
#include "gui/osc_controls.h"
#include "gui/panel_callbacks.h"
#include "gui/source_page.h"
#include "gui/scene_aids.h"
#include "gui/session_controls.h"
#include "platform/message.h"

namespace cb = panel_callbacks;

const char kQuickStartHtml[] =
    "<h1>Quick Star</h1><p><ul><li> 1. set camera parameters</li><li> 2. select tab \"Clustering\" "
    "and adjust threshold level</li><li> 3. choose appropriate clustering algorithm and tune "
    "parameters</li><li> 4. adjust model parameters</li><li> 5. \"drag and drop\" nodes onto "
    "clusters</li><li> 6. open fullscreen and start recording</li>";

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

const char kDistanceTip[] =
    "maximum allowed distance of a pixel from the cluster center to be included to that cluster";
const char kMaxSizeTip[] = "maximum number of pixels allowed in one cluster";
const char kMinSizeTip[] =
    "minimum number of pixels required for a cluster to be not rejected from further analysis";

// A horizontal value slider with its value in size 14 and its label at its right.
Fl_Value_Slider* value_slider(int x, int y, int w, int h, const char* label, double low, double high,
                              double step, Fl_Callback* callback, const char* tooltip = nullptr) {
    auto* s = new Fl_Value_Slider(x, y, w, h, label);
    s->type(FL_HOR_SLIDER);
    s->textsize(14);
    s->align(FL_ALIGN_RIGHT);
    s->bounds(low, high);
    s->step(step);
    s->callback(callback);
    if (tooltip != nullptr) s->tooltip(tooltip);
    return s;
}

Fl_Check_Button* check_button(int x, int y, int w, int h, const char* label, Fl_Callback* callback) {
    auto* b = new Fl_Check_Button(x, y, w, h, label);
    b->down_box(FL_DOWN_BOX);
    if (callback != nullptr) b->callback(callback);
    return b;
}

Fl_Round_Button* radio_button(int x, int y, const char* label, Fl_Callback* callback) {
    auto* b = new Fl_Round_Button(x, y, 100, 20, label);
    b->type(FL_RADIO_BUTTON);
    b->down_box(FL_ROUND_DOWN_BOX);
    b->callback(callback);
    return b;
}

Fl_Value_Input* value_input(int x, int y, int w, int h, const char* label, Fl_Callback* callback,
                            bool label_right) {
    auto* in = new Fl_Value_Input(x, y, w, h, label);
    if (label_right) in->align(FL_ALIGN_RIGHT);
    in->callback(callback);
    return in;
}

Fl_Button* button(int x, int y, int w, int h, const char* label, Fl_Callback* callback) {
    auto* b = new Fl_Button(x, y, w, h, label);
    b->callback(callback);
    return b;
}

Fl_Slider* timeline_slider(int x, int y, int w, int h, const char* label, Fl_Callback* callback) {
    auto* s = new Fl_Slider(x, y, w, h, label);
    s->type(FL_HOR_SLIDER);
    s->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
    s->bounds(0, 1000);
    s->step(1);
    s->callback(callback);
    return s;
}

// A page of the settings tabs; the first five have a sunken box and their label top-left.
// The tab labels are one point smaller than the toolkit's 14: the seven of them
// at 14 points of the X server's sans font are wider than the 450 pixels of the
// tab set, and the toolkit then draws "Help" over "System".
Fl_Group* begin_page(const char* label, bool framed) {
    auto* page = new Fl_Group(810, 25, 450, 580, label);
    page->labelsize(13);
    if (framed) {
        page->box(FL_DOWN_BOX);
        page->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    }
    return page;
}

void end_page(Fl_Group* page, bool shown) {
    page->end();
    if (!shown) page->hide();
}

void build_camera_page(ControlPanel& p) {
    Fl_Group* page = begin_page("Camera", true);
    p.brightness_slider = value_slider(820, 35, 200, 25, "brightness", 0, 1023, 1,
                                       cb::store_option<&Options::camera_brightness>, "Brightness");
    p.gain_slider = value_slider(820, 65, 200, 25, "gain", 0, 255, 1, cb::store_option<&Options::camera_gain>,
                                 "Gain");
    p.shutter_slider = value_slider(820, 95, 200, 25, "shutter", 1, 255, 1,
                                    cb::store_option<&Options::camera_shutter>, "Shutter");
    p.y_invert_check = check_button(820, 125, 160, 25, "y - invert frame buffer", cb::y_invert);
    build_source_widgets(p);
    end_page(page, false);
}

// The three limits that region grow and hierarchical merge each have, on
// their inner page of the "Clustering" page.
void build_cluster_limit_sliders(Fl_Value_Slider*& max_distance, Fl_Value_Slider*& max_size,
                                 Fl_Value_Slider*& min_size, Fl_Callback* on_max_distance,
                                 Fl_Callback* on_max_size, Fl_Callback* on_min_size) {
    max_distance = value_slider(830, 155, 200, 25, "max distance", 0, 300, 1, on_max_distance, kDistanceTip);
    max_size = value_slider(830, 185, 200, 25, "max cluster size", 0, 15000, 1, on_max_size, kMaxSizeTip);
    min_size = value_slider(830, 215, 200, 25, "min cluster size", 0, 5000, 1, on_min_size, kMinSizeTip);
}

void build_clustering_page(ControlPanel& p) {
    Fl_Group* page = begin_page("Clustering", true);

    auto* inner = new Fl_Tabs(820, 125, 335, 140);
    auto* kmeans = new Fl_Group(820, 145, 335, 110, "k-means");
    kmeans->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    p.iterations_slider = value_slider(830, 185, 200, 25, " iterations", 0, 20, 1,
                                       cb::store_option<&Options::kmeans_iterations>);
    p.iterations_slider->value(5);
    p.threads_slider =
        value_slider(830, 215, 200, 25, " threads", 1, 8, 1, cb::store_option<&Options::kmeans_threads>);
    p.threads_slider->value(1);
    p.clusters_slider =
        value_slider(830, 155, 200, 25, "clusters", 0, 20, 1, cb::store_option<&Options::kmeans_clusters>);
    p.clusters_slider->value(5);
    kmeans->end();
    kmeans->hide();

    auto* region_grow = new Fl_Group(820, 145, 335, 115, "region-grow");
    build_cluster_limit_sliders(p.rg_max_distance_slider, p.rg_max_size_slider, p.rg_min_size_slider,
                                cb::store_option<&Options::regiongrow_max_distance>,
                                cb::store_option<&Options::regiongrow_max_cluster_size>,
                                cb::store_option<&Options::regiongrow_min_cluster_size>);
    region_grow->end();

    auto* cure = new Fl_Group(820, 145, 335, 110, "cure");
    build_cluster_limit_sliders(p.cure_max_distance_slider, p.cure_max_size_slider, p.cure_min_size_slider,
                                cb::store_option<&Options::cure_max_distance>,
                                cb::store_option<&Options::cure_max_cluster_size>,
                                cb::store_option<&Options::cure_min_cluster_size>);
    cure->end();
    cure->hide();
    inner->end();
    inner->value(region_grow);

    p.threshold_slider =
        value_slider(820, 35, 200, 25, " threshold", 0, 255, 1, cb::store_option<&Options::threshold>,
                     "Threshold  - clustering analyses only pixels above this greylevel threshold value.");
    // At the toolkit's 14 points this label runs under "show thresholding" 70 pixels on.
    p.threshold_slider->labelsize(13);
    p.kmeans_radio = radio_button(820, 65, "k-means", cb::method_kmeans);
    p.regiongrow_radio = radio_button(820, 80, "region grow", cb::method_region_grow);
    p.cure_radio = radio_button(820, 95, "cure: hierarchical merge", cb::method_cure);
    p.show_thresholding_check = check_button(1090, 35, 145, 20, "show thresholding", cb::show_thresholding);
    end_page(page, false);
}

void build_model_page(ControlPanel& p) {
    Fl_Group* page = begin_page("Model", true);
    p.node_count_input = value_input(820, 36, 40, 24, "number of nodes", cb::node_count, true);

    auto* sensor_group = new Fl_Group(820, 265, 365, 285, "Angular Sensor:");
    sensor_group->box(FL_DOWN_BOX);
    sensor_group->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    p.sensor_visible_check = check_button(830, 275, 64, 20, "visible", cb::sensor);
    p.sensor_alpha_slider = value_slider(830, 445, 240, 25, "transparency", 0, 1, 0.01, cb::sensor);
    p.sensor_relative_check = check_button(830, 295, 190, 20, "position relative to node", cb::sensor);
    p.sensor_x_input = value_input(830, 316, 35, 24, "x position", cb::sensor, true);
    p.sensor_y_input = value_input(830, 341, 35, 24, "y position", cb::sensor, true);
    p.sensor_green_slider = value_slider(830, 395, 240, 25, "green", 0, 1, 0.01, cb::sensor);
    p.sensor_red_slider = value_slider(830, 370, 240, 25, "red", 0, 1, 0.01, cb::sensor);
    p.sensor_blue_slider = value_slider(830, 420, 240, 25, "blue", 0, 1, 0.01, cb::sensor);
    sensor_group->end();

    button(1120, 575, 64, 25, "load", cb::load_model);
    button(1190, 575, 64, 25, "save", cb::save_model);
    p.line_width_slider =
        value_slider(820, 65, 240, 25, "line width", 1, 10, 0.1, cb::store_option<&Options::line_width>);
    p.line_width_slider->value(1);
    p.model_alpha_slider = value_slider(820, 205, 240, 25, "transparency", 0, 1, 0.01, cb::model_colour);
    p.model_green_slider = value_slider(820, 155, 240, 25, "green", 0, 1, 0.01, cb::model_colour);
    p.model_red_slider = value_slider(820, 130, 240, 25, "red", 0, 1, 0.01, cb::model_colour);
    p.model_blue_slider = value_slider(820, 180, 240, 25, "blue", 0, 1, 0.01, cb::model_colour);
    p.sensor_radius_slider = value_slider(820, 90, 240, 25, "sensor max radius", 1, 100, 1,
                                          cb::store_option<&Options::sensor_max_radius>);
    p.sensor_radius_slider->value(20);
    end_page(page, true);
}

void build_tracking_page(ControlPanel& p) {
    Fl_Group* page = begin_page("Tracking", true);
    p.min_node_distance_slider = value_slider(820, 60, 200, 25, "min node  distance", 0, 300, 1,
                                              cb::store_option<&Options::min_node_distance>,
                                              "minimum required distance between nodes.");
    p.track_distance_slider = value_slider(
        820, 90, 200, 25, "next neighbour max d.", 0, 300, 1, cb::store_option<&Options::max_track_distance>,
        "maximum distance between old and new position of a node thats allowed during next neighbour "
        "tracking.");
    end_page(page, false);
}

void build_fullscreen_page(ControlPanel& p) {
    Fl_Group* page = begin_page("Fullscreen", true);
    p.fullscreen_x_input =
        value_input(875, 36, 40, 24, "xpos:", cb::store_option<&Options::fullscreen_x>, false);
    p.fullscreen_x_input->value(1280);
    p.fullscreen_y_input =
        value_input(875, 61, 40, 24, "ypos:", cb::store_option<&Options::fullscreen_y>, false);
    p.fullscreen_width_input =
        value_input(965, 36, 40, 24, "width:", cb::store_option<&Options::fullscreen_width>, false);
    p.fullscreen_width_input->value(800);
    p.fullscreen_height_input =
        value_input(965, 61, 40, 24, "height:", cb::store_option<&Options::fullscreen_height>, false);
    // At 14 points this label, right-aligned to its input, reaches into "ypos:" beside it.
    p.fullscreen_height_input->labelsize(13);
    p.fullscreen_height_input->value(600);
    button(1030, 40, 64, 20, "(re)open", cb::reopen_output);
    button(1030, 65, 64, 20, "close", cb::close_output);
    end_page(page, false);
}

void build_system_and_help_pages(ControlPanel& p) {
    Fl_Group* system = begin_page("System", false);
    p.system_view = new Fl_Help_View(820, 35, 430, 560);
    end_page(system, false);

    Fl_Group* help = begin_page("Help", false);
    p.help_view = new Fl_Help_View(820, 45, 430, 550, "Help:");
    p.help_view->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    end_page(help, false);
}

// One of the two recording groups below the tabs: a sunken box in a colour of
// the toolkit's map, its label top-left.
Fl_Group* begin_animation_group(int y, const char* label, Fl_Color colour) {
    auto* group = new Fl_Group(5, y, 1255, 105, label);
    group->box(FL_DOWN_BOX);
    group->color(colour);
    group->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    return group;
}

Fl_Light_Button* light_button(int x, int y, const char* label, Fl_Callback* callback) {
    auto* b = new Fl_Light_Button(x, y, 68, 25, label);
    b->callback(callback);
    return b;
}

void build_record_group(ControlPanel& p) {
    Fl_Group* group = begin_animation_group(625, "record and play:", 20);
    p.record_button = light_button(10, 700, "record", cb::record);
    p.record_loop_check = check_button(231, 702, 64, 20, "loop", nullptr);
    p.record_save_as_button = button(1190, 700, 64, 25, "save as", cb::save_as);
    p.record_play_button = light_button(156, 700, "play", cb::play);
    p.buffer_size_input = value_input(349, 701, 40, 24, "buffer size [frames]", cb::buffer_size, true);
    // At the toolkit's 14 points this label runs into "file name:" 200 pixels on.
    p.buffer_size_input->labelsize(12);
    p.record_cut_button = button(85, 700, 64, 25, "cut", cb::cut);
    p.record_timeline = timeline_slider(10, 630, 1245, 25, "timeline", cb::timeline);
    p.record_cut_from = timeline_slider(10, 655, 1245, 20, nullptr, cb::cut_from);
    p.record_cut_to = timeline_slider(10, 675, 1245, 20, nullptr, cb::cut_to);
    p.record_visible_check = check_button(281, 702, 64, 20, "visible", cb::visible);
    p.record_file_input = new Fl_Input(590, 701, 400, 25, "file name:");
    p.record_quicksave_button = button(990, 700, 85, 25, "<-quicksave", cb::quicksave);
    group->end();
}

void build_playback_group(ControlPanel& p) {
    Fl_Group* group = begin_animation_group(750, "playback:", 17);
    p.playback_load_button = button(10, 825, 64, 25, "load", cb::load_animation);
    p.playback_loop_check = check_button(230, 827, 64, 20, "loop", nullptr);
    p.playback_save_as_button = button(1190, 825, 64, 25, "save as", cb::save_as);
    p.playback_play_button = light_button(155, 825, "play", cb::play);
    button(80, 825, 64, 25, "cut", cb::cut);
    p.playback_timeline = timeline_slider(10, 755, 1245, 25, "timeline", cb::timeline);
    p.playback_cut_from = timeline_slider(10, 780, 1245, 20, nullptr, cb::cut_from);
    p.playback_cut_to = timeline_slider(10, 800, 1245, 20, nullptr, cb::cut_to);
    p.playback_visible_check = check_button(280, 827, 64, 20, "visible", cb::visible);
    p.playback_file_input = new Fl_Input(590, 825, 400, 25, "file name:");
    p.playback_quicksave_button = button(995, 824, 85, 25, "<-quicksave", cb::quicksave);
    group->end();
}

void build_preview(ControlPanel& p, const Options& options) {
    p.preview = new MYWINDOW(options);
    p.preview->box(FL_BORDER_BOX);
    p.preview->color(FL_BACKGROUND_COLOR);
    p.preview->selection_color(FL_BACKGROUND_COLOR);
    p.preview->labeltype(FL_NORMAL_LABEL);
    p.preview->labelfont(0);
    p.preview->labelsize(14);
    p.preview->labelcolor(FL_FOREGROUND_COLOR);
    p.preview->align(FL_ALIGN_TOP | FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    p.preview->when(FL_WHEN_RELEASE);
    // A GL window is a group too: close it, or the widgets below would become its children.
    p.preview->end();
}

}  // namespace

ControlPanel& build_control_panel(AppState& app) {
    // FLTK's thread support: makes the pipe through which Fl::awake wakes the
    // main thread. The main thread holds the GUI lock except while it waits.
    Fl::lock();
    platform::set_message_sink(&queue_alert);

    static ControlPanel panel;
    ControlPanel& p = panel;
    p.main_window = new Fl_Double_Window(1264, 950);
    p.main_window->user_data(&panel);
    build_preview(p, app.options);

    auto* tabs = new Fl_Tabs(810, 5, 450, 600);
    build_camera_page(p);
    build_clustering_page(p);
    build_model_page(p);
    build_tracking_page(p);
    build_fullscreen_page(p);
    build_system_and_help_pages(p);
    tabs->end();
    build_scene_aids(p);

    build_record_group(p);
    button(1115, 920, 70, 25, "reset all", cb::reset_all);
    button(1190, 920, 70, 25, "quit&&save", cb::quit_and_save);
    build_playback_group(p);
    p.main_window->end();
    build_measure_controls(p);
    build_calibration_controls(p);
    build_session_controls(p);
    build_osc_controls(p);
    build_operator_aids(p);
    return panel;
}

void show_control_panel(ControlPanel& panel) {
    int x = 0, y = 0, w = 0, h = 0;
    Fl::screen_work_area(x, y, w, h);
    fit_panel_to_screen(panel, w, h);
    panel.main_window->show();
}

ControlPanel& panel_of(Fl_Widget* widget) {
    Fl_Window* top = widget->top_window();
    return *static_cast<ControlPanel*>(top->user_data());
}

void refresh_from_extras(ControlPanel& panel) {
    show_kept_measure_choices(panel);
    show_kept_scene_choices(panel);
}

void show_system_report(ControlPanel& panel, const std::string& markup) {
    panel.system_view->value(markup.c_str());
}

void PanelCycleView::hand_over(const Frame& camera_frame) {
    MYWINDOW& preview = *panel_.preview;
    hand_over_to_output_window(app_state, &preview.model, &preview.playback_animation.model, camera_frame,
                               preview.show_angles, preview.show_tracking_state,
                               preview.show_angles ? take_measure_context(panel_, preview.playback_animation) : MeasureContext{});
}

void PanelCycleView::upload_frame(const Frame& frame) { panel_.preview->upload_frame(frame); }

void PanelCycleView::request_redraw() {
    panel_.preview->redraw();
    measure_after_cycle(panel_);
    source_after_cycle(panel_);
    scene_aids_after_cycle(panel_);
    calibration_after_cycle(panel_);
    osc_after_cycle(panel_);
}

void PanelCycleView::show_rate(int32_t cycles_per_second) {
    panel_.preview->fps = cycles_per_second;
    // The window keeps its own copy of the title.
    panel_.main_window->copy_label(std::to_string(cycles_per_second).c_str());
}

void PanelCycleView::show_timeline(Timeline which, int32_t position, const std::string& label) {
    const bool record = which == Timeline::record;
    Fl_Slider* slider = record ? panel_.record_timeline : panel_.playback_timeline;
    std::string& shown = record ? shown_record_label_ : shown_playback_label_;
    slider->value(position);
    // The slider keeps the pointer, not a copy: the main loop keeps the text
    // alive until the next cycle, which points the slider at it again.
    slider->label(label.c_str());
    if (shown != label) {
        shown = label;
        slider->redraw();
    }
    if (record) watch_recording(panel_);
}

void PanelCycleView::refresh_model_widgets() { ::refresh_model_widgets(panel_); }
