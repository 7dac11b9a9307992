// The panel shows the state: every option widget after refresh_from_options,
// the model colour and the selected node's sensor after refresh_model_widgets,
// and write_model_widgets copies them back, never through a stale index.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <array>


namespace {

using panel_testing::PanelTest;

std::array<int, 3> radios(const ControlPanel& p) {
    return {p.regiongrow_radio->value(), p.kmeans_radio->value(), p.cure_radio->value()};
}

void set_radios(ControlPanel& p, std::array<int, 3> v) {
    p.regiongrow_radio->value(v[0]);
    p.kmeans_radio->value(v[1]);
    p.cure_radio->value(v[2]);
}

// --- refresh_from_options --------------------------------------------------------

class MethodRadios : public PanelTest, public ::testing::WithParamInterface<int> {};

// Whatever the radios showed, a known method leaves exactly its own button set.
TEST_P(MethodRadios, ExactlyTheButtonOfAKnownMethodIsSet) {
    const int method = GetParam();
    for (const std::array<int, 3> before : {std::array<int, 3>{1, 1, 1}, {0, 0, 0}, {0, 1, 0}}) {
        set_radios(*p, before);
        app_state.options.cluster_method = method;
        refresh_from_options(*p);
        std::array<int, 3> expected{0, 0, 0};
        expected[static_cast<size_t>(method)] = 1;  // region grow 0, k-means 1, cure 2
        EXPECT_EQ(radios(*p), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, MethodRadios, ::testing::Values(0, 1, 2));

TEST_F(PanelTest, AnUnknownMethodLeavesTheRadiosAsTheyWere) {
    for (const int method : {3, -1, 7, 2147483647}) {
        for (const std::array<int, 3> before : {std::array<int, 3>{0, 1, 0}, {0, 0, 0}, {1, 0, 1}}) {
            set_radios(*p, before);
            app_state.options.cluster_method = method;
            refresh_from_options(*p);
            EXPECT_EQ(radios(*p), before) << "method " << method;
        }
    }
}

// Each option widget shows its own field: distinct values everywhere, so a
// widget fed from a neighbouring field shows the wrong number.
TEST_F(PanelTest, EveryOptionWidgetShowsItsField) {
    Options& o = app_state.options;
    o.fullscreen_x = 101, o.fullscreen_y = 102, o.fullscreen_width = 103, o.fullscreen_height = 104;
    o.threshold = 105, o.kmeans_iterations = 106, o.kmeans_threads = 107, o.kmeans_clusters = 108;
    o.regiongrow_max_distance = 109, o.regiongrow_max_cluster_size = 110, o.regiongrow_min_cluster_size = 111;
    o.cure_max_distance = 112, o.cure_max_cluster_size = 113, o.cure_min_cluster_size = 114;
    o.min_node_distance = 115, o.max_track_distance = 116;
    o.camera_brightness = 117, o.camera_gain = -1, o.camera_shutter = -2;
    o.node_count = 7, o.line_width = 4, o.sensor_max_radius = 33, o.animation_buffer_frames = 250;
    o.show_thresholding = 7, o.y_invert = 0;
    refresh_from_options(*p);

    EXPECT_EQ(p->fullscreen_x_input->value(), 101);
    EXPECT_EQ(p->fullscreen_y_input->value(), 102);
    EXPECT_EQ(p->fullscreen_width_input->value(), 103);
    EXPECT_EQ(p->fullscreen_height_input->value(), 104);
    EXPECT_EQ(p->threshold_slider->value(), 105);
    EXPECT_EQ(p->iterations_slider->value(), 106);
    EXPECT_EQ(p->threads_slider->value(), 107);
    EXPECT_EQ(p->clusters_slider->value(), 108);
    EXPECT_EQ(p->rg_max_distance_slider->value(), 109);
    EXPECT_EQ(p->rg_max_size_slider->value(), 110);
    EXPECT_EQ(p->rg_min_size_slider->value(), 111);
    EXPECT_EQ(p->cure_max_distance_slider->value(), 112);
    EXPECT_EQ(p->cure_max_size_slider->value(), 113);
    EXPECT_EQ(p->cure_min_size_slider->value(), 114);
    EXPECT_EQ(p->min_node_distance_slider->value(), 115);
    EXPECT_EQ(p->track_distance_slider->value(), 116);
    // The camera settings read as unsigned 32-bit numbers.
    EXPECT_EQ(p->brightness_slider->value(), 117);
    EXPECT_EQ(p->gain_slider->value(), 4294967295.0);
    EXPECT_EQ(p->shutter_slider->value(), 4294967294.0);
    EXPECT_EQ(p->node_count_input->value(), 7);
    EXPECT_EQ(p->line_width_slider->value(), 4);
    EXPECT_EQ(p->sensor_radius_slider->value(), 33);
    EXPECT_EQ(p->buffer_size_input->value(), 250);
    EXPECT_EQ(p->show_thresholding_check->value(), 1);
    EXPECT_EQ(p->y_invert_check->value(), 0);
    // The quick-start text word for word, the list of keys after it.
    const std::string help = p->help_view->value();
    EXPECT_EQ(help.substr(0, std::strlen(kQuickStartHtml)), kQuickStartHtml);
    EXPECT_NE(help.find("<h2>Keys</h2>", std::strlen(kQuickStartHtml)), std::string::npos);
}

// The record timeline's maximum is the buffer size; the playback timeline
// and every slider position, the model and sensor widgets stay as they were.
TEST_F(PanelTest, RefreshSetsTheRecordTimelineMaximumAndNothingOutsideTheOptions) {
    p->record_timeline->value(40);
    p->playback_timeline->value(30);
    p->model_red_slider->value(0.25);
    p->sensor_x_input->value(12);
    p->sensor_visible_check->value(1);
    app_state.options.animation_buffer_frames = 250;
    refresh_from_options(*p);
    EXPECT_EQ(p->record_timeline->maximum(), 250);
    EXPECT_EQ(p->playback_timeline->maximum(), 1000);
    EXPECT_EQ(p->record_timeline->value(), 40);
    EXPECT_EQ(p->playback_timeline->value(), 30);
    EXPECT_EQ(p->model_red_slider->value(), 0.25);
    EXPECT_EQ(p->sensor_x_input->value(), 12);
    EXPECT_EQ(p->sensor_visible_check->value(), 1);
    // Refreshing only shows: the record buffer keeps its size.
    EXPECT_EQ(p->preview->record_animation.capacity_frames, 1000);
}

// --- refresh_model_widgets and write_model_widgets ----------------------------------

// Five nodes whose sensors all differ, and a model colour of its own.
void distinct_model(NodeModel& m) {
    m.set_node_count(5);
    for (int i = 0; i < 5; ++i) {
        AngularSensor& s = m.sensors[static_cast<size_t>(i)];
        s.visible = i % 2 == 0;
        s.at_node = i % 3 == 0;
        s.x = 10 * i + 1;
        s.y = 20 * i + 2;
        s.red = 0.1f * static_cast<float>(i);
        s.green = 0.05f * static_cast<float>(i) + 0.3f;
        s.blue = 1.0f - 0.1f * static_cast<float>(i);
        s.alpha = 0.2f + 0.1f * static_cast<float>(i);
    }
    m.red = 0.125f, m.green = 0.25f, m.blue = 0.5f, m.alpha = 0.75f;
}

void expect_sensor_widgets_show(const ControlPanel& p, const AngularSensor& s) {
    EXPECT_EQ(p.sensor_visible_check->value(), s.visible ? 1 : 0);
    EXPECT_EQ(p.sensor_relative_check->value(), s.at_node ? 1 : 0);
    EXPECT_EQ(p.sensor_x_input->value(), s.x);
    EXPECT_EQ(p.sensor_y_input->value(), s.y);
    EXPECT_FLOAT_EQ(static_cast<float>(p.sensor_red_slider->value()), s.red);
    EXPECT_FLOAT_EQ(static_cast<float>(p.sensor_green_slider->value()), s.green);
    EXPECT_FLOAT_EQ(static_cast<float>(p.sensor_blue_slider->value()), s.blue);
    EXPECT_FLOAT_EQ(static_cast<float>(p.sensor_alpha_slider->value()), s.alpha);
}

TEST_F(PanelTest, RefreshShowsTheModelColourAndTheSensorOfTheSelectedNodeOnly) {
    distinct_model(model());
    for (const int selected : {3, 1, 4, 0}) {
        app_state.selected_node = selected;
        refresh_model_widgets(*p);
        expect_sensor_widgets_show(*p, model().sensors[static_cast<size_t>(selected)]);
    }
    EXPECT_EQ(p->model_red_slider->value(), 0.125);
    EXPECT_EQ(p->model_green_slider->value(), 0.25);
    EXPECT_EQ(p->model_blue_slider->value(), 0.5);
    EXPECT_EQ(p->model_alpha_slider->value(), 0.75);

    // With no node selected the sensor widgets keep what they showed last.
    const AngularSensor shown = model().sensors[0];
    app_state.selected_node = -1;
    model().sensors[0].x = 999;
    model().red = 1.0f;
    refresh_model_widgets(*p);
    expect_sensor_widgets_show(*p, shown);
    EXPECT_EQ(p->model_red_slider->value(), 1.0);
}

TEST_F(PanelTest, WriteChangesTheSelectedSensorAndTheColourOnly) {
    distinct_model(model());
    const NodeModel before = model();
    app_state.selected_node = 2;
    p->sensor_visible_check->value(1);
    p->sensor_relative_check->value(0);
    p->sensor_x_input->value(12.7);
    p->sensor_y_input->value(-3.9);
    p->sensor_red_slider->value(0.9);
    p->sensor_green_slider->value(0.8);
    p->sensor_blue_slider->value(0.7);
    p->sensor_alpha_slider->value(0.6);
    p->model_red_slider->value(0.11);
    p->model_green_slider->value(0.22);
    p->model_blue_slider->value(0.33);
    p->model_alpha_slider->value(0.44);
    write_model_widgets(*p);

    const AngularSensor& s = model().sensors[2];
    EXPECT_TRUE(s.visible);
    EXPECT_FALSE(s.at_node);
    EXPECT_EQ(s.x, 12);  // truncated toward zero
    EXPECT_EQ(s.y, -3);
    EXPECT_FLOAT_EQ(s.red, 0.9f);
    EXPECT_FLOAT_EQ(s.green, 0.8f);
    EXPECT_FLOAT_EQ(s.blue, 0.7f);
    EXPECT_FLOAT_EQ(s.alpha, 0.6f);
    EXPECT_FLOAT_EQ(model().red, 0.11f);
    EXPECT_FLOAT_EQ(model().green, 0.22f);
    EXPECT_FLOAT_EQ(model().blue, 0.33f);
    EXPECT_FLOAT_EQ(model().alpha, 0.44f);
    for (const int other : {0, 1, 3, 4}) {
        const AngularSensor& a = model().sensors[static_cast<size_t>(other)];
        const AngularSensor& b = before.sensors[static_cast<size_t>(other)];
        EXPECT_EQ(a.x, b.x) << other;
        EXPECT_EQ(a.y, b.y) << other;
        EXPECT_EQ(a.visible, b.visible) << other;
        EXPECT_EQ(a.red, b.red) << other;
    }
}

TEST_F(PanelTest, WriteWithNoNodeSelectedWritesTheModelColourOnly) {
    distinct_model(model());
    const NodeModel before = model();
    app_state.selected_node = -1;
    p->sensor_x_input->value(77);
    p->sensor_red_slider->value(0.9);
    p->model_blue_slider->value(0.66);
    write_model_widgets(*p);
    EXPECT_FLOAT_EQ(model().blue, 0.66f);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(model().sensors[i].x, before.sensors[i].x);
        EXPECT_EQ(model().sensors[i].red, before.sensors[i].red);
    }
}

// Between a node-count change and the next cycle's selection check the panel
// still holds the old index: it must be neither read nor written.
TEST_F(PanelTest, AnIndexBeyondAShortenedSensorListIsNeverUsed) {
    distinct_model(model());
    app_state.selected_node = 4;
    refresh_model_widgets(*p);
    const AngularSensor shown = model().sensors[4];

    p->node_count_input->value(2);
    p->node_count_input->do_callback();  // the model shrinks to two nodes
    ASSERT_EQ(model().sensors.size(), 2u);
    ASSERT_EQ(app_state.selected_node, 4);
    // No spare room behind the two sensors: a use of index 4 would reach
    // outside the list's storage, where the address sanitizer sees it.
    model().sensors.shrink_to_fit();
    model().nodes.shrink_to_fit();
    const NodeModel shrunk = model();

    refresh_model_widgets(*p);
    expect_sensor_widgets_show(*p, shown);
    p->sensor_x_input->value(55);
    p->sensor_x_input->do_callback();  // the sensor group's callback writes back
    p->model_green_slider->value(0.5);
    p->model_green_slider->do_callback();
    ASSERT_EQ(model().sensors.size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(model().sensors[i].x, shrunk.sensors[i].x);
    EXPECT_FLOAT_EQ(model().green, 0.5f);
}

}  // namespace
