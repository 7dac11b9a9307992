#include "gui/scene_aids.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "display/preview_window.h"
#include "gui/histogram_view.h"
#include "gui/operator_aids.h"
#include "loop/app_state.h"
#include "measure/scene_warnings.h"
#include "model/node_model.h"
#include "model/place_nodes.h"

namespace {

constexpr double kRefreshSeconds = 0.5;
constexpr double kKeepAutoSeconds = 1.0;
constexpr size_t kMaxTableRows = 200;  // a frame of noise can make thousands of clusters

constexpr char kKeepAutoKey[] = "scene.keep_auto";
constexpr char kCheck[] = "check: ";  // the status line's warnings begin so
constexpr char kCountsKey[] = "scene.cluster_counts";

// Column widths of the table; the last column takes the rest.
const int kColumns[] = {28, 54, 50, 74, 74, 68, 0};

struct AidState {
    std::unique_ptr<AutoThresholdWork> work;  // made at the first choice: it holds frames of scratch
    std::string kept_text;           // what the last "keep auto" choice said
    std::vector<std::string> table;  // what the table shows
};

AidState& aid_state() {
    static AidState state;
    return state;
}

void auto_pressed(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    show_status(p, auto_threshold_text(apply_auto_threshold(p)));
}

void keep_auto_tick(void* data) {
    ControlPanel& p = *static_cast<ControlPanel*>(data);
    AidState& s = aid_state();
    // Said when the choice changes, not every second.
    const std::string text = auto_threshold_text(apply_auto_threshold(p));
    if (text != s.kept_text) show_status(p, text);
    s.kept_text = text;
    Fl::repeat_timeout(kKeepAutoSeconds, keep_auto_tick, data);
}

void start_keeping(ControlPanel& p, bool on) {
    Fl::remove_timeout(keep_auto_tick, &p);
    if (!on) return;
    aid_state().kept_text.clear();
    Fl::add_timeout(kKeepAutoSeconds, keep_auto_tick, &p);
}

void keep_auto_toggled(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const bool on = p.keep_auto_check->value() != 0;
    app_state.extras.set_bool(kKeepAutoKey, on);
    start_keeping(p, on);
}

void place_pressed(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    show_status(p, place_nodes_text(place_nodes(p.preview->model, p.preview->clusters)));
    p.preview->redraw();
}

void counts_toggled(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const bool on = p.cluster_counts_check->value() != 0;
    app_state.extras.set_bool(kCountsKey, on);
    p.preview->show_cluster_counts = on;
    refresh_scene_aids(p);
}

// A drag on the histogram sets the threshold as the slider would.
void histogram_dragged(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    p.threshold_slider->value(p.histogram_view->threshold());
    p.threshold_slider->do_callback();
}

void refresh_tick(void* data) {
    refresh_scene_aids(*static_cast<ControlPanel*>(data));
    Fl::repeat_timeout(kRefreshSeconds, refresh_tick, data);
}

std::string fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

void build_scene_aids(ControlPanel& p) {
    Fl_Group* const outer = Fl_Group::current();
    const bool keep = app_state.extras.get_bool(kKeepAutoKey, false);
    const bool counts = app_state.extras.get_bool(kCountsKey, false);

    Fl_Group* clustering = p.threshold_slider->parent();
    clustering->begin();
    p.auto_threshold_button = new Fl_Button(1090, 60, 60, 25, "auto");
    p.auto_threshold_button->tooltip(
        "Finds the markers in the current frame: the threshold in the middle of the widest range over which "
        "they stay the same, and a max distance that takes each marker whole without reaching the next.");
    p.auto_threshold_button->callback(auto_pressed);
    p.keep_auto_check = new Fl_Check_Button(1090, 90, 100, 25, "keep auto");
    p.keep_auto_check->down_box(FL_DOWN_BOX);
    p.keep_auto_check->tooltip("Finds the markers again every second, threshold and max distance, for changing light.");
    p.keep_auto_check->value(keep ? 1 : 0);
    p.keep_auto_check->callback(keep_auto_toggled);

    p.cluster_counts_check = new Fl_Check_Button(820, 275, 220, 20, "pixel counts in the preview");
    p.cluster_counts_check->down_box(FL_DOWN_BOX);
    p.cluster_counts_check->value(counts ? 1 : 0);
    p.cluster_counts_check->tooltip("Prints each cluster's pixel count beside its cross in the preview.");
    p.cluster_counts_check->callback(counts_toggled);
    p.cluster_table = new Fl_Browser(820, 300, 430, 290);
    p.cluster_table->column_widths(kColumns);
    p.cluster_table->column_char('\t');
    p.cluster_table->textsize(12);
    p.cluster_table->tooltip(
        "Every cluster of the current cycle: pixels, mean grey value of the camera frame, extent, and the "
        "centre weighted by grey value.");
    clustering->end();

    // Beside "load" and "save" at the Model page's foot.
    Fl_Group* model = p.node_count_input->parent();
    model->begin();
    p.place_nodes_button = new Fl_Button(820, 575, 100, 25, "place nodes");
    p.place_nodes_button->tooltip(
        "Puts the nodes onto the clusters of the current frame, in the order of the shortest chain through them, "
        "starting at the end nearer to node 0. It needs as many clusters as nodes.");
    p.place_nodes_button->callback(place_pressed);
    model->end();

    Fl_Group* camera = p.brightness_slider->parent();
    camera->begin();
    p.histogram_view = new HistogramView(820, 365, 426, 215, "grey-level histogram (log scale)");
    p.histogram_view->tooltip("Press or drag to set the threshold.");
    p.histogram_view->callback(histogram_dragged);
    camera->end();

    p.preview->show_cluster_counts = counts;
    Fl_Group::current(outer);
}

void attach_scene_aids(ControlPanel& p, ClusterStatistics& statistics) {
    p.statistics = &statistics;
    p.preview->statistics = &statistics;
    refresh_scene_aids(p);
    Fl::add_timeout(kRefreshSeconds, refresh_tick, &p);
    start_keeping(p, p.keep_auto_check->value() != 0);
}

void detach_scene_aids(ControlPanel& p) {
    Fl::remove_timeout(refresh_tick, &p);
    Fl::remove_timeout(keep_auto_tick, &p);
    if (p.statistics != nullptr) p.statistics->wanted_by_panel = false;
    p.statistics = nullptr;
    p.preview->statistics = nullptr;
}

namespace {

bool same_clusters(const ClusterList& a, const ClusterList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Cluster& x, const Cluster& y) { return x.x == y.x && x.y == y.y && x.value == y.value; });
}

void refresh_cluster_table(ControlPanel& p) {
    p.table_clusters.assign(p.preview->clusters.begin(), p.preview->clusters.end());
    AidState& s = aid_state();
    std::vector<std::string> lines = cluster_table_lines(p.statistics, p.preview->clusters, app_state.options.threshold);
    if (lines == s.table) return;
    s.table = std::move(lines);
    p.cluster_table->clear();
    for (const std::string& line : s.table) p.cluster_table->add(line.c_str());
}

}  // namespace

void scene_aids_after_cycle(ControlPanel& p) {
    if (p.cluster_table->visible_r() && !same_clusters(p.table_clusters, p.preview->clusters)) refresh_cluster_table(p);
    if (p.scene_watch == nullptr) return;
    const std::string text = warning_text(p.scene_watch->current());
    if (text == p.shown_warning) return;
    p.shown_warning = text;
    p.preview->warning = text;
    const char* shown = p.status_line != nullptr ? p.status_line->label() : nullptr;
    if (!text.empty()) show_status(p, kCheck + text);
    else if (shown != nullptr && std::strncmp(shown, kCheck, std::strlen(kCheck)) == 0) show_status(p, "");
}

void refresh_scene_aids(ControlPanel& p) {
    const bool table_shown = p.cluster_table->visible_r();
    if (p.statistics != nullptr) p.statistics->wanted_by_panel = table_shown || p.cluster_counts_check->value() != 0;

    if (table_shown) refresh_cluster_table(p);
    if (p.histogram_view->visible_r()) {
        GreyHistogram h{};
        if (app_state.camera_frame.size() == kFrameBytes) grey_histogram(app_state.camera_frame, h);
        p.histogram_view->set_histogram(h);
    }
    p.histogram_view->set_threshold(app_state.options.threshold);
}

AutoThreshold apply_auto_threshold(ControlPanel& p) {
    AidState& s = aid_state();
    if (!s.work) s.work = std::make_unique<AutoThresholdWork>();
    const AutoThreshold r = choose_threshold(*s.work, app_state.camera_frame, app_state.options);
    if (!r.found()) return r;
    // Through the sliders, as the operator would set them.
    p.threshold_slider->value(r.threshold);
    p.threshold_slider->do_callback();
    p.histogram_view->set_threshold(r.threshold);
    Fl_Value_Slider* distance = app_state.options.cluster_method == 0   ? p.rg_max_distance_slider
                                : app_state.options.cluster_method == 2 ? p.cure_max_distance_slider
                                                                        : nullptr;
    if (distance != nullptr && r.max_distance > 0) {
        distance->value(r.max_distance);
        distance->do_callback();
    }
    return r;
}

std::vector<std::string> cluster_table_lines(const ClusterStatistics* statistics, const ClusterList& clusters,
                                             int32_t threshold) {
    std::vector<std::string> lines{"@b#\t@bpixels\t@bgrey\t@bx from-to\t@by from-to\t@bcentre x\t@bcentre y"};
    if (threshold < 1) {
        lines.push_back("@iThe threshold is 0: nothing is clustered.");
        return lines;
    }
    if (statistics == nullptr || !describes(*statistics, clusters)) return lines;
    const size_t shown = std::min(clusters.size(), kMaxTableRows);
    for (size_t k = 0; k < shown; ++k) {
        const ClusterStats& c = statistics->clusters[k];
        std::string line = std::to_string(k) + "\t" + std::to_string(c.pixel_count);
        if (c.pixel_count == 0) {
            line += "\t-\t-\t-\t-\t-";
        } else {
            line += "\t" + fixed(c.mean_grey, 1) + "\t" + std::to_string(c.x_min) + "-" + std::to_string(c.x_max) +
                    "\t" + std::to_string(c.y_min) + "-" + std::to_string(c.y_max) + "\t" + fixed(c.centre_x, 2) +
                    "\t" + fixed(c.centre_y, 2);
        }
        lines.push_back(line);
    }
    if (clusters.size() > shown) lines.push_back("@i... and " + std::to_string(clusters.size() - shown) + " more");
    return lines;
}

void show_kept_scene_choices(ControlPanel& p) {
    const bool keep = app_state.extras.get_bool(kKeepAutoKey, false);
    const bool counts = app_state.extras.get_bool(kCountsKey, false);
    p.keep_auto_check->value(keep ? 1 : 0);
    p.cluster_counts_check->value(counts ? 1 : 0);
    p.preview->show_cluster_counts = counts;
    // Once attached, "keep auto" runs as its box says.
    if (p.statistics != nullptr) start_keeping(p, keep);
    refresh_scene_aids(p);
}
