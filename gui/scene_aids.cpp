#include "gui/scene_aids.h"

#include <FL/Fl.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Value_Slider.H>

#include <cstdio>
#include <memory>
#include <string>

#include "display/preview_window.h"
#include "gui/histogram_view.h"
#include "loop/app_state.h"
#include "model/node_model.h"
#include "platform/message.h"

namespace {

constexpr double kRefreshSeconds = 0.5;
constexpr double kKeepAutoSeconds = 1.0;
constexpr size_t kMaxTableRows = 200;  // a frame of noise can make thousands of clusters

constexpr char kKeepAutoKey[] = "scene.keep_auto";
constexpr char kCountsKey[] = "scene.cluster_counts";

// Column widths of the table; the last column takes the rest.
const int kColumns[] = {28, 54, 50, 74, 74, 68, 0};

struct AidState {
    std::unique_ptr<AutoThresholdWork> work;  // made at the first choice: it holds two frames of scratch
    AutoThresholdOutcome kept_outcome = AutoThresholdOutcome::exact;  // of the last "keep auto" choice
    std::vector<std::string> table;  // what the table shows
};

AidState& aid_state() {
    static AidState state;
    return state;
}

int32_t wanted_clusters() {
    // The live model's nodes are the markers to find: a loaded model may
    // have another count than the "number of nodes" input last set.
    if (app_state.node_model != nullptr) return static_cast<int32_t>(app_state.node_model->nodes.size());
    return app_state.options.node_count;
}

void auto_pressed(Fl_Widget* widget, void*) { (void)apply_auto_threshold(panel_of(widget), true); }

void keep_auto_tick(void* data) {
    ControlPanel& p = *static_cast<ControlPanel*>(data);
    AidState& s = aid_state();
    const AutoThreshold r = apply_auto_threshold(p, false);
    // Told once when the scene stops giving the wanted count, not every second.
    if (r.outcome != s.kept_outcome && r.outcome != AutoThresholdOutcome::exact) {
        const std::string text = auto_threshold_message(r, wanted_clusters(), app_state.options.threshold);
        platform::show_message("auto threshold", text.c_str());
    }
    s.kept_outcome = r.outcome;
    Fl::repeat_timeout(kKeepAutoSeconds, keep_auto_tick, data);
}

void start_keeping(ControlPanel& p, bool on) {
    Fl::remove_timeout(keep_auto_tick, &p);
    if (!on) return;
    aid_state().kept_outcome = AutoThresholdOutcome::exact;
    Fl::add_timeout(kKeepAutoSeconds, keep_auto_tick, &p);
}

void keep_auto_toggled(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const bool on = p.keep_auto_check->value() != 0;
    app_state.extras.set_bool(kKeepAutoKey, on);
    start_keeping(p, on);
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
        "Chooses the threshold at which the selected method finds as many clusters as the model has nodes, "
        "in the current frame.");
    p.auto_threshold_button->callback(auto_pressed);
    p.keep_auto_check = new Fl_Check_Button(1090, 90, 100, 25, "keep auto");
    p.keep_auto_check->down_box(FL_DOWN_BOX);
    p.keep_auto_check->tooltip("Chooses the threshold again every second, for changing light.");
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

void refresh_scene_aids(ControlPanel& p) {
    const bool table_shown = p.cluster_table->visible_r();
    if (p.statistics != nullptr) p.statistics->wanted_by_panel = table_shown || p.cluster_counts_check->value() != 0;

    if (table_shown) {
        AidState& s = aid_state();
        std::vector<std::string> lines =
            cluster_table_lines(p.statistics, p.preview->clusters, app_state.options.threshold);
        if (lines != s.table) {
            s.table = std::move(lines);
            p.cluster_table->clear();
            for (const std::string& line : s.table) p.cluster_table->add(line.c_str());
        }
    }
    if (p.histogram_view->visible_r()) {
        GreyHistogram h{};
        if (app_state.camera_frame.size() == kFrameBytes) grey_histogram(app_state.camera_frame, h);
        p.histogram_view->set_histogram(h);
    }
    p.histogram_view->set_threshold(app_state.options.threshold);
}

AutoThreshold apply_auto_threshold(ControlPanel& p, bool report) {
    AidState& s = aid_state();
    if (!s.work) s.work = std::make_unique<AutoThresholdWork>();
    const int32_t wanted = wanted_clusters();
    const AutoThreshold r = choose_threshold(*s.work, app_state.camera_frame, app_state.options, wanted);
    if (r.chosen()) {
        p.threshold_slider->value(r.threshold);
        p.threshold_slider->do_callback();
        p.histogram_view->set_threshold(r.threshold);
    }
    if (report && r.outcome != AutoThresholdOutcome::exact) {
        const std::string text = auto_threshold_message(r, wanted, app_state.options.threshold);
        platform::show_message("auto threshold", text.c_str());
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
