#include "gui/angles_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "loop/live_measure.h"

namespace {

// Ten colours told apart easily on white, repeated for more nodes.
constexpr unsigned char kPalette[10][3] = {{31, 119, 180}, {255, 127, 14}, {44, 160, 44},  {214, 39, 40},
                                           {148, 103, 189}, {140, 86, 75}, {227, 119, 194}, {127, 127, 127},
                                           {188, 189, 34}, {23, 190, 207}};

const Fl_Color kGrid = fl_rgb_color(225, 225, 225);

// Tick spacing of the time axis in seconds: the smallest of these that puts
// at most eight ticks on the axis.
double tick_step_s(double span_s) {
    constexpr double steps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 1800, 3600};
    for (const double step : steps)
        if (span_s / step <= 8.0) return step;
    return std::ceil(span_s / 8.0 / 3600.0) * 3600.0;
}

}  // namespace

Fl_Color angle_trace_colour(size_t node) {
    const unsigned char* c = kPalette[node % 10];
    return fl_rgb_color(c[0], c[1], c[2]);
}

// --- the chart ---------------------------------------------------------------------

AngleChart::AngleChart(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}

int AngleChart::x_of(double time_ms) const {
    const double share = span_ms > 0 ? (time_ms - start_ms) / span_ms : 0.0;
    return plot_left() + static_cast<int>(std::lround(std::clamp(share, -1.0, 2.0) * (plot_right() - plot_left())));
}

int AngleChart::y_of(double degrees) const {
    const double share = (y_high - degrees) / (y_high - y_low);
    return plot_top() + static_cast<int>(std::lround(share * (plot_bottom() - plot_top())));
}

double AngleChart::time_at(int x) const {
    const int width = std::max(plot_right() - plot_left(), 1);
    return start_ms + span_ms * static_cast<double>(std::clamp(x, plot_left(), plot_right()) - plot_left()) / width;
}

void AngleChart::draw_axes() const {
    const int left = plot_left(), right = plot_right(), top = plot_top(), bottom = plot_bottom();
    fl_font(FL_HELVETICA, 11);
    char text[32];
    // A grid line every y_grid, a label every second one.
    for (int k = 0; y_low + k * y_grid <= y_high + 1e-9; ++k) {
        const double value = y_low + k * y_grid;
        const int y = y_of(value);
        fl_color(kGrid);
        fl_line(left, y, right, y);
        if (k % 2 != 0) continue;
        std::snprintf(text, sizeof text, "%g", std::fabs(value) < 1e-9 ? 0.0 : value);
        fl_color(FL_BLACK);
        fl_draw(text, x(), y - 6, left - x() - 5, 12, FL_ALIGN_RIGHT);
    }
    // Seconds, counted from the label origin.
    const double step_ms = tick_step_s(span_ms / 1000.0) * 1000.0;
    const double first = label_origin_ms + std::ceil((start_ms - label_origin_ms) / step_ms - 1e-9) * step_ms;
    for (double t = first; t <= start_ms + span_ms + 1e-6; t += step_ms) {
        const int xt = x_of(t);
        fl_color(kGrid);
        fl_line(xt, top, xt, bottom);
        const double seconds = (t - label_origin_ms) / 1000.0;
        std::snprintf(text, sizeof text, step_ms < 1000.0 ? "%.1f" : "%.0f", std::fabs(seconds) < 1e-9 ? 0.0 : seconds);
        fl_color(FL_BLACK);
        fl_draw(text, xt - 30, bottom + 3, 60, 12, FL_ALIGN_CENTER);
    }
    fl_color(FL_BLACK);
    fl_rect(left, top, right - left + 1, bottom - top + 1);
    fl_draw(y_name.c_str(), x() + 4, y() + 4, 80, 14, FL_ALIGN_LEFT);
    fl_draw("time [s]", right - 80, bottom + 17, 80, 14, FL_ALIGN_RIGHT);
}

void AngleChart::draw_legend() const {
    if (series == nullptr) return;
    fl_font(FL_HELVETICA, 11);
    int x0 = x() + 96;
    for (size_t n = 0; n < static_cast<size_t>(series->nodes); ++n) {
        if (n < hidden.size() && hidden[n]) continue;
        const std::string name = "node " + std::to_string(n);
        const int width = 22 + static_cast<int>(fl_width(name.c_str())) + 10;
        if (x0 + width > x() + w()) break;
        fl_color(angle_trace_colour(n));
        fl_line_style(FL_SOLID, 3);
        fl_line(x0, y() + 11, x0 + 16, y() + 11);
        fl_line_style(0);
        fl_color(FL_BLACK);
        fl_draw(name.c_str(), x0 + 20, y() + 4, width - 20, 14, FL_ALIGN_LEFT);
        x0 += width;
    }
}

// The samples inside the time axis, and one beyond each end so the trace
// runs to the edges. Many samples on one column make one vertical stroke, so
// a long recording costs one line per column. A gap where a node has no
// angle, and a jump across +-180 degrees, break the line.
void AngleChart::draw_trace(const AngleSeries& s, size_t node, int width) const {
    const auto from = std::lower_bound(s.times_ms.begin(), s.times_ms.end(), start_ms);
    const auto to = std::upper_bound(from, s.times_ms.end(), start_ms + span_ms);
    const size_t first = static_cast<size_t>(std::max<std::ptrdiff_t>(from - s.times_ms.begin() - 1, 0));
    const size_t last = std::min(static_cast<size_t>(to - s.times_ms.begin()) + 1, s.size());

    fl_color(angle_trace_colour(node));
    fl_line_style(FL_SOLID, width);
    bool pen = false;
    int px = 0, py = 0, low = 0, high = 0;
    float previous = 0.0f;
    for (size_t i = first; i < last; ++i) {
        const float a = s.angle(i, node);
        if (!std::isfinite(a)) {
            pen = false;
            continue;
        }
        const int xs = x_of(s.times_ms[i]), ys = y_of(a);
        if (pen && wraps && std::fabs(a - previous) > (y_high - y_low) / 2) pen = false;
        previous = a;
        if (!pen) {
            if (low != high) fl_line(px, low, px, high);
            fl_point(xs, ys);
            px = xs, py = ys, low = high = ys;
            pen = true;
            continue;
        }
        if (xs == px) {
            low = std::min(low, ys);
            high = std::max(high, ys);
            py = ys;
            continue;
        }
        if (low != high) fl_line(px, low, px, high);
        fl_line(px, py, xs, ys);
        px = xs, py = ys, low = high = ys;
    }
    if (low != high) fl_line(px, low, px, high);
    fl_line_style(0);
}

void AngleChart::draw() {
    fl_push_clip(x(), y(), w(), h());
    fl_color(FL_WHITE);
    fl_rectf(x(), y(), w(), h());
    draw_axes();
    draw_legend();
    const int left = plot_left(), top = plot_top();
    fl_push_clip(left + 1, top + 1, plot_right() - left - 1, plot_bottom() - top - 1);
    for (const AngleSeries* s : {series, filtered}) {
        if (s == nullptr) continue;
        for (size_t n = 0; n < static_cast<size_t>(s->nodes); ++n)
            if (n >= hidden.size() || !hidden[n]) draw_trace(*s, n, s == filtered ? 3 : filtered != nullptr ? 1 : 2);
    }
    if (std::isfinite(cursor_ms)) {
        fl_color(FL_BLACK);
        const int xc = x_of(cursor_ms);
        fl_line(xc, top, xc, plot_bottom());
    }
    fl_pop_clip();
    fl_pop_clip();
}

int AngleChart::handle(int event) {
    switch (event) {
        case FL_PUSH:
        case FL_DRAG:
            if (!on_pick || Fl::event_x() < plot_left() || Fl::event_x() > plot_right()) return event == FL_PUSH ? 0 : 1;
            on_pick(time_at(Fl::event_x()));
            return 1;
        case FL_RELEASE:
            return 1;
        default:
            return Fl_Widget::handle(event);
    }
}

// --- the window --------------------------------------------------------------------

namespace {

Fl_Round_Button* source_button(int x, int w, const char* label, AngleSource source) {
    auto* b = new Fl_Round_Button(x, 5, w, 22, label);
    b->type(FL_RADIO_BUTTON);
    b->down_box(FL_ROUND_DOWN_BOX);
    b->callback(
        [](Fl_Widget* widget, void* data) {
            auto* window = static_cast<AnglesWindow*>(widget->window());
            window->choose(static_cast<AngleSource>(reinterpret_cast<intptr_t>(data)));
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(source)));
    return b;
}

}  // namespace

AnglesWindow::AnglesWindow(Animation& record, Animation& playback, const NodeModel& live,
                           std::function<float()> now)
    : Fl_Double_Window(830, 440, "angles"), record_(record), playback_(playback), live_(live), now_(std::move(now)) {
    record_radio = source_button(5, 140, "record and play:", AngleSource::record);
    playback_radio = source_button(150, 100, "playback:", AngleSource::playback);
    live_radio = source_button(255, 120, "live (30 s)", AngleSource::live);
    record_radio->setonly();

    chart = new AngleChart(5, 32, 700, 403);
    chart->on_pick = [this](double time_ms) { pick(time_ms); };

    const auto redraw_now = [](Fl_Widget* widget, void*) {
        auto* window = static_cast<AnglesWindow*>(widget->window());
        window->refresh(window->now_());
    };
    filtered_check = new Fl_Check_Button(385, 5, 80, 22, "filtered");
    filtered_check->tooltip("a recording's angles as measured (thin) with the zero-phase filtered ones (thick), "
                            "filled and filtered as the \"Calibration\" window says (auto when it says no cutoff)");
    filtered_check->callback(redraw_now);
    rate_check = new Fl_Check_Button(470, 5, 200, 22, "angular velocity [deg/s]");
    rate_check->tooltip("a recording's filtered angles' rate, from the unwrapped angle");
    rate_check->callback(redraw_now);
    // Until the window is given a way to work a take out.
    filtered_check->deactivate();
    rate_check->deactivate();

    node_list = new Fl_Check_Browser(710, 50, 115, 385, "nodes:");
    node_list->align(FL_ALIGN_TOP_LEFT);
    node_list->when(FL_WHEN_CHANGED);
    node_list->callback([](Fl_Widget* widget, void*) {
        auto* window = static_cast<AnglesWindow*>(widget->window());
        window->refresh(window->now_());
    });
    end();
    // The chart takes what the window grows by; the list keeps its width at the right.
    resizable(chart);
    size_range(420, 240);
}

Animation* AnglesWindow::animation() const {
    switch (source_) {
        case AngleSource::record: return &record_;
        case AngleSource::playback: return &playback_;
        default: return nullptr;
    }
}

void AnglesWindow::choose(AngleSource source) {
    source_ = source;
    Fl_Round_Button* const buttons[] = {record_radio, playback_radio, live_radio};
    buttons[static_cast<int>(source)]->setonly();
    built_from_ = nullptr;  // build the recording's series anew
    refresh(now_());
}

void AnglesWindow::pick(double time_ms) {
    Animation* a = animation();
    // A click during a take would move the place the next frame is written to.
    if (a == nullptr || a->recording) return;
    const int32_t frame = frame_at_time(*a, time_ms);
    if (frame >= 0 && a->seek(frame, now_())) refresh(now_());
}

void AnglesWindow::bring_series_up_to_date() {
    const Animation& a = *animation();
    const auto stamp = [&](int32_t f) {
        return f >= 0 && f < a.frame_count && static_cast<size_t>(f) < a.timestamps.size() ? a.timestamps[f] : 0.0f;
    };
    // A take that grew keeps its first and its last known time stamps; a cut,
    // a load or a new take changes one of them or the counts.
    // A new calibration measures the whole take again.
    const uint64_t version = measure_version ? measure_version() : 0;
    const bool same_take = built_from_ == &a && built_nodes_ == a.nodes_per_frame && built_frames_ <= a.frame_count &&
                           built_first_stamp_ == stamp(0) && built_last_stamp_ == stamp(built_frames_ - 1) &&
                           built_version_ == version;
    if (!same_take) recorded_series_.clear();
    append_frames(a, same_take ? built_frames_ : 0, recorded_series_,
                  measure_context ? measure_context(a) : MeasureContext{});
    built_version_ = version;
    built_from_ = &a;
    built_nodes_ = a.nodes_per_frame;
    built_frames_ = static_cast<int32_t>(recorded_series_.size());
    built_first_stamp_ = stamp(0);
    built_last_stamp_ = stamp(built_frames_ - 1);
}

void AnglesWindow::list_nodes(int32_t nodes) {
    if (node_list->nitems() == nodes) return;
    // Keep the choice of the nodes that stay; new ones are drawn.
    std::vector<char> hidden = chart->hidden;
    hidden.resize(static_cast<size_t>(std::max(nodes, 0)), 0);
    node_list->clear();
    for (int32_t n = 0; n < nodes; ++n)
        node_list->add(("node " + std::to_string(n)).c_str(), hidden[static_cast<size_t>(n)] ? 0 : 1);
    node_list->redraw();
}

namespace {

// One value per node and frame as a chart series at the take's times.
void series_of(const std::vector<double>& times_ms, const std::vector<double>& values, int32_t nodes,
               AngleSeries& out) {
    out.clear();
    out.nodes = nodes;
    out.times_ms.assign(times_ms.begin(), times_ms.end());
    for (const double v : values) out.angles.push_back(static_cast<float>(v));
}

// A round bound above `v` for the rate axis: 1, 2 or 5 times a power of ten.
double axis_bound(double v) {
    if (!(v > 0.0)) return 10.0;
    const double power = std::pow(10.0, std::floor(std::log10(v)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= v) return m * power;
    return 10.0 * power;
}

}  // namespace

void AnglesWindow::bring_filtered_up_to_date(const Animation& a) {
    const auto stamp = [&](int32_t f) { return f >= 0 && f < a.frame_count ? a.timestamps[f] : 0.0f; };
    char take[96];
    std::snprintf(take, sizeof take, "%p %d %d %.9g %.9g|", static_cast<const void*>(&a), a.frame_count,
                  a.nodes_per_frame, stamp(0), stamp(a.frame_count - 1));
    const std::string key = take + (process_key ? process_key() : std::string());
    if (key == processed_key_) return;
    processed_key_ = key;
    FrameTable table;
    TakeKinematics k;
    std::string error;
    raw_series_.clear();
    filtered_series_.clear();
    rate_series_.clear();
    process_error_.clear();
    if (!process(a, table, k, error)) {
        process_error_ = "no filtered view: " + error;
        return;
    }
    series_of(table.times_ms, k.angle_deg, k.nodes, raw_series_);
    series_of(table.times_ms, k.angle_f_deg, k.nodes, filtered_series_);
    series_of(table.times_ms, k.omega_dps, k.nodes, rate_series_);
}

void AnglesWindow::refresh(double now_ms) {
    Animation* a = animation();
    // The filtered view is worked out over a whole take: not while it grows.
    const bool worked_out = a != nullptr && process && !a->recording;
    filtered_check->activate();
    rate_check->activate();
    if (!worked_out) filtered_check->deactivate(), rate_check->deactivate();
    const bool filtered = worked_out && filtered_check->value() != 0;
    const bool rate = worked_out && rate_check->value() != 0;
    chart->filtered = nullptr;
    chart->y_low = -180.0, chart->y_high = 180.0, chart->y_grid = 45.0, chart->wraps = true;
    chart->y_name = "angle [deg]";
    if (filtered || rate) bring_filtered_up_to_date(*a);
    if (a != nullptr) {
        bring_series_up_to_date();
        chart->series = &recorded_series_;
        if (filtered && raw_series_.nodes > 0) {
            chart->series = &raw_series_;
            chart->filtered = &filtered_series_;
        }
        if (rate && rate_series_.nodes > 0) {
            double top = 0.0;
            for (const float v : rate_series_.angles)
                if (std::isfinite(v)) top = std::max(top, static_cast<double>(std::fabs(v)));
            const double bound = axis_bound(top);
            chart->series = &rate_series_;
            chart->filtered = nullptr;
            chart->y_low = -bound, chart->y_high = bound, chart->y_grid = bound / 4, chart->wraps = false;
            chart->y_name = "angular velocity [deg/s]";
        }
        if ((filtered || rate) && !process_error_.empty()) chart->y_name = process_error_;
        chart->start_ms = 0.0;
        chart->label_origin_ms = 0.0;
        // At least a second, so a short take does not stretch over the chart.
        chart->span_ms = std::max(recorded_series_.size() > 0 ? recorded_series_.times_ms.back() : 0.0, 1000.0);
        const int32_t shown = std::clamp(a->position, 0, std::max(a->frame_count - 1, 0));
        chart->cursor_ms = a->frame_count > 0 && static_cast<size_t>(shown) < recorded_series_.size()
                               ? recorded_series_.times_ms[static_cast<size_t>(shown)]
                               : std::numeric_limits<double>::quiet_NaN();
    } else {
        chart->series = &live_series_;
        chart->start_ms = now_ms - kLiveSpanMs;
        chart->span_ms = kLiveSpanMs;
        chart->label_origin_ms = now_ms;
        chart->cursor_ms = std::numeric_limits<double>::quiet_NaN();
    }
    list_nodes(chart->series->nodes);
    chart->hidden.assign(static_cast<size_t>(node_list->nitems()), 0);
    for (int i = 1; i <= node_list->nitems(); ++i) chart->hidden[static_cast<size_t>(i - 1)] = node_list->checked(i) ? 0 : 1;
    chart->redraw();
}

void AnglesWindow::after_cycle(double now_ms, int64_t wall_ms) {
    if (!shown()) return;
    measure_model(live_, live_measure_context(app_state), live_measure_);
    live_series_.append(now_ms, live_measure_);
    live_series_.drop_before(now_ms - kLiveSpanMs - 1000.0);
    if (wall_ms - refreshed_at_ < 50) return;
    refreshed_at_ = wall_ms;
    refresh(now_ms);
}
