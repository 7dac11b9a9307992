// The "angles" window on the test's display: the traces of a known recording
// where its angles put them, the choice of nodes, the cursor at the current
// frame, a click and a drag that seek, and the live chart's last 30 seconds.

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Check_Button.H>
#include <FL/fl_draw.H>

#include <cmath>
#include <memory>
#include <vector>

#include "gui/angles_window.h"
#include "measure/take_kinematics.h"

namespace {

struct Shot {
    int width = 0;
    int height = 0;
    std::vector<uchar> rgb;

    Fl_Color at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        const size_t i = 3 * (static_cast<size_t>(y) * width + x);
        return fl_rgb_color(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
    // Whether the colour appears within `reach` pixels of (x, y).
    bool near(int x, int y, Fl_Color colour, int reach = 3) const {
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx)
                if (at(x + dx, y + dy) == colour) return true;
        return false;
    }
    int count(int x0, int y0, int x1, int y1, Fl_Color colour) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += at(x, y) == colour ? 1 : 0;
        return n;
    }
};

// Frames every 100 ms from 0 to 1000: a chain (0, 0) - (100, 0) - end, the
// end at (100, 100) in frames 0 to 4 (angles 0, 90, -90) and at (200, -100)
// in frames 5 to 10 (angles 0, -45, 45).
Animation known_recording() {
    Animation a;
    EXPECT_TRUE(a.reset(100, 3));
    start_recording(a);
    NodeModel live;
    for (int f = 0; f <= 10; ++f) {
        live.nodes = {{0, 0, 255}, {100, 0, 255}, f < 5 ? ModelNode{100, 100, 255} : ModelNode{200, -100, 255}};
        a.record_step(live, 2000.0f + 100.0f * f);
    }
    stop_recording(a);
    a.position = 0;
    return a;
}

class AnglesWindowTest : public ::testing::Test {
protected:
    AnglesWindowTest() {
        window = std::make_unique<AnglesWindow>(record, playback, live, [this] { return now; });
        window->position(0, 0);
    }
    ~AnglesWindowTest() override { window->hide(); }

    // The chart as drawn after a refresh at `now`.
    Shot shoot() {
        if (!window->shown()) {
            window->show();
            window->wait_for_expose();
        }
        window->refresh(now);
        Fl::flush();
        window->make_current();
        Shot shot;
        shot.width = window->w();
        shot.height = window->h();
        uchar* data = fl_read_image(nullptr, 0, 0, shot.width, shot.height);
        shot.rgb.assign(data, data + 3 * shot.width * shot.height);
        delete[] data;
        return shot;
    }

    void press(int x, int event = FL_PUSH) {
        Fl::e_x = x;
        Fl::e_y = window->chart->y_of(0);
        window->chart->handle(event);
    }

    Animation record = known_recording();
    Animation playback;
    NodeModel live;
    float now = 9000.0f;
    std::unique_ptr<AnglesWindow> window;
};

}  // namespace

TEST_F(AnglesWindowTest, TracesOfAKnownRecordingLieAtItsAnglesInTheirNodesColours) {
    const Shot shot = shoot();
    const AngleChart& c = *window->chart;
    EXPECT_DOUBLE_EQ(c.span_ms, 1000.0) << "the take's length";
    const Fl_Color node0 = angle_trace_colour(0), node1 = angle_trace_colour(1), node2 = angle_trace_colour(2);
    for (const double t : {100.0, 200.0, 300.0}) {
        EXPECT_TRUE(shot.near(c.x_of(t), c.y_of(0), node0)) << t;
        EXPECT_TRUE(shot.near(c.x_of(t), c.y_of(90), node1)) << t;
        EXPECT_TRUE(shot.near(c.x_of(t), c.y_of(-90), node2)) << t;
        EXPECT_FALSE(shot.near(c.x_of(t), c.y_of(-45), node1)) << t;
    }
    for (const double t : {600.0, 800.0, 950.0}) {
        EXPECT_TRUE(shot.near(c.x_of(t), c.y_of(-45), node1)) << t;
        EXPECT_TRUE(shot.near(c.x_of(t), c.y_of(45), node2)) << t;
        EXPECT_FALSE(shot.near(c.x_of(t), c.y_of(90), node1)) << t;
    }
    // The three entries of the legend, above the plot.
    for (const Fl_Color colour : {node0, node1, node2})
        EXPECT_GT(shot.count(c.x(), c.y(), c.x() + c.w(), c.plot_top(), colour), 10);

    // Node 1 taken off the list: neither its trace nor its legend entry.
    ASSERT_EQ(window->node_list->nitems(), 3);
    window->node_list->checked(2, 0);
    const Shot without = shoot();
    EXPECT_EQ(without.count(c.x(), c.y(), c.x() + c.w(), c.y() + c.h(), node1), 0);
    EXPECT_TRUE(without.near(c.x_of(200), c.y_of(-90), node2));
}

TEST_F(AnglesWindowTest, TheCursorStandsAtTheCurrentFrameAndAClickOrDragSeeks) {
    record.position = 7;
    Shot shot = shoot();
    const AngleChart& c = *window->chart;
    const auto cursor_at = [&](const Shot& s, double t) {
        return s.at(c.x_of(t), c.y_of(135)) == FL_BLACK && s.at(c.x_of(t), c.y_of(-135)) == FL_BLACK;
    };
    EXPECT_TRUE(cursor_at(shot, 700));
    EXPECT_FALSE(cursor_at(shot, 300));

    press(c.x_of(300) + 1);
    EXPECT_EQ(record.position, 3);
    EXPECT_FLOAT_EQ(record.start_time, now - 300.0f) << "a running playback continues from there";
    shot = shoot();
    EXPECT_TRUE(cursor_at(shot, 300));
    EXPECT_FALSE(cursor_at(shot, 700));
    press(c.x_of(940), FL_DRAG);
    EXPECT_EQ(record.position, 9);

    // During a take a click would move where the next frame goes: ignored.
    record.recording = true;
    press(c.x_of(100));
    EXPECT_EQ(record.position, 9);
}

TEST_F(AnglesWindowTest, TheLiveChartScrollsOverTheLastThirtySeconds) {
    window->choose(AngleSource::live);
    shoot();
    live.nodes = {{0, 0, 255}, {100, 0, 255}, {100, 100, 255}};  // 90 at node 1
    // 40 seconds of cycles 100 ms apart; the turn flips to -90 after 20 s.
    for (int i = 0; i <= 400; ++i) {
        now = 100.0f * i;
        if (i == 200) live.nodes[2] = ModelNode{100, -100, 255};
        window->after_cycle(now, 0);
    }
    const Shot shot = shoot();
    const AngleChart& c = *window->chart;
    EXPECT_DOUBLE_EQ(c.start_ms, 10000.0);
    EXPECT_TRUE(shot.near(c.x_of(15000), c.y_of(90), angle_trace_colour(1)));
    EXPECT_TRUE(shot.near(c.x_of(39000), c.y_of(-90), angle_trace_colour(1)));
    EXPECT_FALSE(shot.near(c.x_of(39000), c.y_of(90), angle_trace_colour(1)));
    ASSERT_NE(c.series, nullptr);
    EXPECT_LE(c.series->size(), 311u) << "samples older than the chart reaches are dropped";
    EXPECT_FALSE(std::isfinite(c.cursor_ms)) << "the live chart has no cursor";
    press(c.x_of(20000));
    EXPECT_EQ(record.position, 0) << "a click on the live chart seeks nothing";
}

TEST_F(AnglesWindowTest, ATakeThatGrowsIsExtendedAndOneCutOrReplacedIsChartedAnew) {
    shoot();
    NodeModel more;
    more.nodes = {{0, 0, 255}, {100, 0, 255}, {200, 0, 255}};  // straight on: 0 at node 1
    record.recording = true;
    record.position = record.frame_count;
    record.record_step(more, 3100.0f);
    record.record_step(more, 3200.0f);
    record.recording = false;
    Shot shot = shoot();
    const AngleChart& c = *window->chart;
    EXPECT_DOUBLE_EQ(c.span_ms, 1200.0);
    EXPECT_TRUE(shot.near(c.x_of(1150), c.y_of(0), angle_trace_colour(2))) << "node 2 straight on, drawn last";

    record.crop(5, 11);  // frames 5 to 10 at 0 to 500 ms: -45 at node 1 throughout
    shot = shoot();
    EXPECT_DOUBLE_EQ(c.span_ms, 1000.0);
    EXPECT_TRUE(shot.near(c.x_of(100), c.y_of(-45), angle_trace_colour(1)));
    EXPECT_FALSE(shot.near(c.x_of(100), c.y_of(90), angle_trace_colour(1)));

    playback = known_recording();
    window->choose(AngleSource::playback);
    shot = shoot();
    EXPECT_TRUE(shot.near(c.x_of(100), c.y_of(90), angle_trace_colour(1)));
}

// A take whose chain turns at 90 degrees a second at node 1, with a jitter of
// 6 degrees either way from frame to frame: filtered, the angle lies on the
// steady turn and its rate at 90 degrees a second.
TEST_F(AnglesWindowTest, ARecordingsFilteredAnglesAndTheirRateLieOnTheSteadyTurn) {
    ASSERT_TRUE(record.reset(100, 3));
    start_recording(record);
    NodeModel chain;
    const auto turn_at = [](int f) { return 90.0 * 0.02 * f; };
    for (int f = 0; f < 60; ++f) {
        const double a = (turn_at(f) + (f % 2 == 0 ? 6.0 : -6.0)) * std::acos(-1.0) / 180.0;
        chain.nodes = {{0, 0, 255}, {1000, 0, 255},
                       {static_cast<int32_t>(std::lround(1000 + 1000 * std::cos(a))),
                        static_cast<int32_t>(std::lround(1000 * std::sin(a))), 255}};
        record.record_step(chain, 500.0f + 20.0f * f);
    }
    window->refresh(now);
    EXPECT_FALSE(window->filtered_check->active()) << "no way to work a take out yet";
    window->process = [](const Animation& a, FrameTable& table, TakeKinematics& out, std::string& error) {
        table = frame_table_of(a);
        return take_kinematics(table, MeasureContext{}, 5.0, out, error);
    };
    window->refresh(now);
    EXPECT_FALSE(window->filtered_check->active()) << "not while the take grows";
    stop_recording(record);

    window->filtered_check->value(1);
    shoot();
    ASSERT_TRUE(window->filtered_check->active());
    ASSERT_NE(window->chart->filtered, nullptr);
    const AngleSeries& filtered = *window->chart->filtered;
    for (size_t f = 10; f < 50; ++f) EXPECT_NEAR(filtered.angle(f, 1), turn_at(static_cast<int>(f)), 0.3) << f;

    window->rate_check->value(1);
    const Shot shot = shoot();
    const AngleChart& c = *window->chart;
    EXPECT_EQ(c.y_name, "angular velocity [deg/s]");
    EXPECT_DOUBLE_EQ(c.y_high, 100.0);
    for (const double t : {300.0, 600.0, 900.0}) EXPECT_TRUE(shot.near(c.x_of(t), c.y_of(90.0), angle_trace_colour(1))) << t;
}
