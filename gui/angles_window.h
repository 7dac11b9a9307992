#pragma once
// The "angles" window: a strip chart of every node's bend angle over time,
// for the "record and play:" recording, the "playback:" recording, or the live
// model over its last 30 seconds. A cursor marks the recording's current
// frame as playback and scrubbing move it; a click or a drag in the chart
// moves the recording there. A legend names the nodes by number, and a list
// chooses which are drawn.

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Widget.H>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "measure/angle_series.h"
#include "measure/frame_table.h"
#include "measure/take_kinematics.h"
#include "model/animation.h"
#include "model/node_model.h"

class Fl_Check_Browser;
class Fl_Check_Button;
class Fl_Round_Button;

enum class AngleSource { record, playback, live };

// The chart itself: axes in seconds and degrees, one trace per node.
class AngleChart : public Fl_Widget {
public:
    AngleChart(int x, int y, int w, int h);

    void draw() override;
    int handle(int event) override;

    // The plot area between the axes, in window pixels.
    int plot_left() const { return x() + 48; }
    int plot_right() const { return x() + w() - 12; }
    int plot_top() const { return y() + 24; }
    int plot_bottom() const { return y() + h() - 34; }
    // Window pixel of a time and of an angle, and the time at a column.
    int x_of(double time_ms) const;
    int y_of(double degrees) const;
    double time_at(int x) const;

    // What is drawn; the window sets it before each redraw.
    const AngleSeries* series = nullptr;
    // Drawn over `series` in the same colours, thicker: a recording's
    // filtered angles. Null: none.
    const AngleSeries* filtered = nullptr;
    // The value axis: from y_low to y_high with a grid line every y_grid and
    // a label every second one, named y_name. Values that wrap (angles)
    // break a trace where they jump by half the axis.
    double y_low = -180.0;
    double y_high = 180.0;
    double y_grid = 45.0;
    std::string y_name = "angle [deg]";
    bool wraps = true;
    double start_ms = 0.0;           // left end of the time axis
    double span_ms = 1000.0;         // its length
    double label_origin_ms = 0.0;    // ticks are labelled in seconds since this time
    double cursor_ms = std::numeric_limits<double>::quiet_NaN();  // NaN: no cursor
    std::vector<char> hidden;        // per node: 1 when not drawn
    std::function<void(double time_ms)> on_pick;  // a click or drag at a time; empty: ignored

private:
    void draw_axes() const;
    void draw_legend() const;
    void draw_trace(const AngleSeries& s, size_t node, int width) const;
};

// A trace's colour: one of ten, by node number.
Fl_Color angle_trace_colour(size_t node);

class AnglesWindow : public Fl_Double_Window {
public:
    // `now` reads the main loop's stopwatch: seeking continues playback from it.
    AnglesWindow(Animation& record, Animation& playback, const NodeModel& live, std::function<float()> now);

    // Once per main-loop cycle, at the stopwatch's `now_ms`: takes the live
    // model's sample and, at most 20 times a second of `wall_ms`, refreshes.
    void after_cycle(double now_ms, int64_t wall_ms);
    // The chart brought up to date with its source at `now_ms`, and redrawn.
    void refresh(double now_ms);

    AngleSource source() const { return source_; }
    void choose(AngleSource source);

    Fl_Round_Button* record_radio = nullptr;
    Fl_Round_Button* playback_radio = nullptr;
    Fl_Round_Button* live_radio = nullptr;
    Fl_Check_Browser* node_list = nullptr;
    AngleChart* chart = nullptr;
    // For a recording: its angles as measured with the filtered ones over
    // them, or the filtered angles' rate in degrees per second.
    Fl_Check_Button* filtered_check = nullptr;
    Fl_Check_Button* rate_check = nullptr;

    // Works out a recording's filtered numbers as "export CSV" does, into
    // `table` (the take, gaps filled) and `out`; false with a reason. Unset:
    // the two checks stay inactive.
    std::function<bool(const Animation& take, FrameTable& table, TakeKinematics& out, std::string& error)> process;
    // What `process` depends on besides the take (calibration, gap filling,
    // cutoff), in words: a change works the take out again.
    std::function<std::string()> process_key;
    // How a take's angles are measured (its source's pixels, the calibration
    // as it holds there), and a count that changes with that; unset: in the
    // frame, once.
    std::function<MeasureContext(const Animation& take)> measure_context;
    std::function<uint64_t()> measure_version;

    // How far back the live chart reaches.
    static constexpr double kLiveSpanMs = 30000.0;

private:
    Animation* animation() const;
    void bring_series_up_to_date();
    void list_nodes(int32_t nodes);
    void pick(double time_ms);

    Animation& record_;
    Animation& playback_;
    const NodeModel& live_;
    std::function<float()> now_;
    AngleSource source_ = AngleSource::record;
    AngleSeries live_series_;
    FrameMeasure live_measure_;  // the live model's numbers this cycle, kept for its storage
    // The recording's series and what it was built from: it grows while the
    // same take grows and is built anew for anything else.
    AngleSeries recorded_series_;
    const Animation* built_from_ = nullptr;
    int32_t built_frames_ = 0;
    int32_t built_nodes_ = -1;
    float built_first_stamp_ = 0.0f;
    float built_last_stamp_ = 0.0f;
    uint64_t built_version_ = 0;
    int64_t refreshed_at_ = 0;  // wall ms of the last refresh
    // A recording worked out by `process`, and what it was worked out from.
    void bring_filtered_up_to_date(const Animation& a);
    AngleSeries raw_series_;
    AngleSeries filtered_series_;
    AngleSeries rate_series_;
    std::string processed_key_;
    std::string process_error_;  // why the last take could not be worked out
};
