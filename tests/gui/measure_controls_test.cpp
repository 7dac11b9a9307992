// The measurement controls in the panel: where they sit, the choices they
// keep, "export CSV" with its chooser, file and failure message, the selected
// node's angle, and the "angles" window that closes with the panel.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <atomic>
#include <cmath>
#include <string>

#include "gui/angles_window.h"
#include "gui/calibration_window.h"
#include "gui/measure_controls.h"
#include "display/angle_labels.h"
#include "display/render_hand_over.h"
#include "loop/live_measure.h"
#include "measure/csv_file.h"
#include "tests/support/test_support.h"

namespace {

using panel_testing::chooser_script;
using panel_testing::messages;
using panel_testing::script_chooser;

class MeasureControls : public panel_testing::PanelTest {
protected:
    void TearDown() override {
        delete p->angles_window;
        p->angles_window = nullptr;
        app_state.extras = ExtraSettings{};
        app_state.node_memory = NodeMemorySettings{};
        PanelTest::TearDown();
    }

    // Three recorded frames of the live model, the middle one with a right turn.
    // A take of a 16:9 source in a flipped frame: x 50 is source column
    // (50 + 0.5) * 4 - 0.5 = 201.5, y 200 is row 159, source row
    // (159 + 0.5 - 45) * 4 - 0.5 = 457.5.
    void record_three_frames() {
        Animation& a = p->preview->record_animation;
        start_recording(a, source_geometry(1920, 1080), true);
        for (int f = 0; f < 3; ++f) {
            model().nodes = {{50, 200, 255}, {100, 200, 255}, {100, f == 1 ? 150 : 250, 255}};
            model().node_states = {NodeState::tracked, NodeState::held, NodeState::placed};
            a.record_step(model(), 100.0f + 10.0f * f);
        }
        stop_recording(a);
    }

    testing_support::TempDir dir;
};

struct Region {
    int x0, y0, x1, y1;
};

bool inside(const Fl_Widget* w, Region r) {
    return w->x() >= r.x0 && w->y() >= r.y0 && w->x() + w->w() <= r.x1 && w->y() + w->h() <= r.y1;
}

}  // namespace

TEST_F(MeasureControls, EachWidgetSitsInItsGroupInsideTheRegionGivenToIt) {
    EXPECT_TRUE(inside(p->show_angles_check, {1000, 36, 1255, 60}));
    EXPECT_EQ(p->show_angles_check->parent(), p->node_count_input->parent());
    EXPECT_TRUE(inside(p->selected_angle_output, {830, 475, 1180, 545}));
    EXPECT_EQ(p->selected_angle_output->parent(), p->sensor_visible_check->parent());
    EXPECT_TRUE(inside(p->memory_check, {815, 125, 1255, 185}));
    EXPECT_TRUE(inside(p->hold_frames_slider, {815, 125, 1255, 185}));
    EXPECT_EQ(p->hold_frames_slider->parent(), p->track_distance_slider->parent());
    EXPECT_EQ(p->hold_frames_slider->minimum(), 0);
    EXPECT_EQ(p->hold_frames_slider->maximum(), 30);
    EXPECT_TRUE(inside(p->show_tracking_state_check, {815, 185, 1255, 215}));
    EXPECT_EQ(p->show_tracking_state_check->parent(), p->track_distance_slider->parent());
    EXPECT_TRUE(inside(p->record_export_button, {1080, 700, 1185, 725}));
    EXPECT_EQ(p->record_export_button->parent(), p->record_button->parent());
    EXPECT_TRUE(inside(p->playback_export_button, {1085, 825, 1185, 850}));
    EXPECT_EQ(p->playback_export_button->parent(), p->playback_load_button->parent());
    EXPECT_TRUE(inside(p->angles_button, {5, 862, 95, 887}));
    EXPECT_EQ(p->angles_button->parent(), p->main_window);
    // Nothing specified moved: the neighbours keep their places.
    EXPECT_EQ(p->record_quicksave_button->x(), 990);
    EXPECT_EQ(p->record_save_as_button->x(), 1190);
    EXPECT_EQ(p->playback_quicksave_button->x(), 995);
}

TEST_F(MeasureControls, ChoicesApplyAtOnceAndAreKeptInTheExtraSettings) {
    EXPECT_FALSE(p->preview->show_angles);
    EXPECT_FALSE(p->preview->show_tracking_state);
    EXPECT_FALSE(app_state.node_memory.enabled);
    EXPECT_FALSE(app_state.extras.changed()) << "untouched controls write nothing";

    p->show_angles_check->value(1);
    p->show_angles_check->do_callback();
    p->memory_check->value(1);
    p->memory_check->do_callback();
    p->hold_frames_slider->value(12);
    p->hold_frames_slider->do_callback();
    p->show_tracking_state_check->value(1);
    p->show_tracking_state_check->do_callback();
    EXPECT_TRUE(p->preview->show_angles);
    EXPECT_TRUE(p->preview->show_tracking_state);
    EXPECT_TRUE(app_state.node_memory.enabled);
    EXPECT_EQ(app_state.node_memory.hold_frames, 12);
    EXPECT_EQ(app_state.extras.format(),
              "angles.show=1\ntracking.hold_frames=12\ntracking.memory=1\nview.tracking_state=1\n");

    // A panel built with those choices kept shows and applies them; a kept
    // count beyond the slider is brought into its range.
    app_state.extras.set_int("tracking.hold_frames", 99);
    app_state.node_memory = NodeMemorySettings{};
    delete p->main_window;
    p = &build_control_panel(app_state);
    EXPECT_EQ(p->show_angles_check->value(), 1);
    EXPECT_TRUE(p->preview->show_angles);
    EXPECT_EQ(p->show_tracking_state_check->value(), 1);
    EXPECT_TRUE(p->preview->show_tracking_state);
    EXPECT_EQ(p->memory_check->value(), 1);
    EXPECT_TRUE(app_state.node_memory.enabled);
    EXPECT_EQ(app_state.node_memory.hold_frames, 30);
    EXPECT_EQ(p->hold_frames_slider->value(), 30);
}

TEST_F(MeasureControls, ExportWritesTheGroupsRecordingAsCsvOrSaysWhyNot) {
    record_three_frames();
    // The chooser proposes no file that exists: its preview of one would read
    // a name that the scripted answer frees under it.
    p->record_file_input->value(dir.file("take.txt").c_str());
    const std::string name = dir.file("walk.csv");
    script_chooser("export CSV to:", name);
    p->record_export_button->do_callback();
    ASSERT_TRUE(chooser_script().seen);
    EXPECT_EQ(chooser_script().pattern, "*.csv");
    EXPECT_EQ(chooser_script().proposed, dir.file("take.csv")) << "the group's file name with .csv";
    const std::string csv = testing_support::read_whole_file(name);
    EXPECT_NE(csv.find("\r\n1,10.000,50,200,,,201.500,457.500,255,0.000,tracked,100,200,,,401.500,457.500,255,-90.000,"
                       "held,100,150,,,401.500,657.500,255,90.000,placed\r\n"),
              std::string::npos)
        << csv;
    EXPECT_EQ(std::string(p->status_line->label()), "wrote 3 rows to " + name);

    // With a calibration and a filter the export has the batch run's columns.
    app_state.calibration.scale = ScaleLevel{{0, 0}, {100, 0}, 25, "mm"};
    p->calibration_window->filter_input->value("auto");
    script_chooser("export CSV to:", dir.file("units.csv"));
    p->record_export_button->do_callback();
    const std::string units = testing_support::read_whole_file(dir.file("units.csv"));
    EXPECT_EQ(units.rfind("frame,time_ms,n0_x,n0_y,n0_xs,n0_ys,n0_u,n0_v,n0_X_mm,n0_Y_mm,n0_value,n0_angle_deg,"
                          "n0_angle_f_deg,n0_omega_dps,n0_speed,n0_state,",
                          0),
              0u)
        << units;
    app_state.calibration = Calibration{};
    p->calibration_window->filter_input->value("");
    EXPECT_TRUE(messages().empty());

    // The playback group exports its own (here empty) recording.
    script_chooser("export CSV to:", dir.file("empty.csv"));
    p->playback_export_button->do_callback();
    EXPECT_EQ(testing_support::read_whole_file(dir.file("empty.csv")), csv_header(3) + "\r\n");

    // A file that cannot be written is reported to the operator.
    script_chooser("export CSV to:", dir.file("no/such/folder/walk.csv"));
    p->record_export_button->do_callback();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].caption, "export CSV");
    EXPECT_NE(messages()[0].text.find("no/such/folder/walk.csv"), std::string::npos);
    EXPECT_EQ(std::string(p->status_line->label()), "could NOT write " + dir.file("no/such/folder/walk.csv"));
}

// What the chooser's name field holds once "walk" was typed into it, as a
// person types: each key to the field with the focus.
static std::string g_typed;

static void type_walk_and_accept(void*) {
    Fl_Window* w = Fl::first_window();
    while (w != nullptr && !(w->shown() && w->label() != nullptr && std::string(w->label()) == "export CSV to:"))
        w = Fl::next_window(w);
    auto* field = dynamic_cast<Fl_Input_*>(Fl::focus());
    // Until the chooser is up with its name field in focus, and one tick more.
    static int ticks_up = 0;
    ticks_up = w != nullptr && field != nullptr && field->window() == w ? ticks_up + 1 : 0;
    if (ticks_up < 2) {
        Fl::repeat_timeout(0.02, type_walk_and_accept);
        return;
    }
    ticks_up = 0;
    for (const char c : std::string("walk")) {
        char text[2] = {c, 0};
        Fl::e_text = text;
        Fl::e_length = 1;
        Fl::e_keysym = c;
        Fl::e_state = 0;
        Fl::handle(FL_KEYBOARD, w);
    }
    g_typed = field->value();
    w->hide();
}

TEST_F(MeasureControls, ANameTypedIntoTheChooserReplacesTheProposedNameAndKeepsTheFolder) {
    record_three_frames();
    p->record_file_input->value(dir.file("take.txt").c_str());
    Fl::add_timeout(0.02, type_walk_and_accept);
    p->record_export_button->do_callback();
    Fl::remove_timeout(type_walk_and_accept);
    EXPECT_EQ(g_typed, dir.file("walk"));
    EXPECT_FALSE(testing_support::read_whole_file(dir.file("walk")).empty());
}

TEST_F(MeasureControls, TheSelectedNodesAngleIsShownAfterEachCycle) {
    model().nodes = {{50, 200, 255}, {100, 200, 255}, {100, 250, 255}};
    measure_after_cycle(*p);
    EXPECT_STREQ(p->selected_angle_output->value(), "") << "no node selected";
    app_state.selected_node = 1;
    measure_after_cycle(*p);
    EXPECT_STREQ(p->selected_angle_output->value(), "90.0");
    EXPECT_TRUE(app_state.angles_shown) << "the cycle measures the centres the angle is taken from";
    // With the markers' centres, as tracking leaves them, the angle is the
    // CSV's: from (50, 200), (100, 200), (150, 250), 45 degrees.
    model().sub_pixel_centres = {{50.0f, 200.0f}, {100.0f, 200.0f}, {150.0f, 250.0f}};
    measure_after_cycle(*p);
    EXPECT_STREQ(p->selected_angle_output->value(), "45.0");
    model().sub_pixel_centres.clear();
    model().nodes[2] = ModelNode{150, 200, 255};
    measure_after_cycle(*p);
    EXPECT_STREQ(p->selected_angle_output->value(), "0.0");
    model().set_node_count(1);  // the selection now points past the model
    measure_after_cycle(*p);
    EXPECT_STREQ(p->selected_angle_output->value(), "");
}

TEST_F(MeasureControls, TheAnglesWindowOpensOnceBesideThePanelResizableAndClosesWithThePanel) {
    show_control_panel(*p);
    p->angles_button->do_callback();
    AnglesWindow* window = p->angles_window;
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->shown());
    EXPECT_STREQ(window->label(), "angles");
    EXPECT_NE(window->resizable(), nullptr);
    // Clear of the tabs and the recording groups: beside the panel, or over the preview.
    const Fl_Window& panel = *p->main_window;
    const bool beside = window->x() >= panel.x() + panel.w() || window->x() + window->w() <= panel.x();
    const bool over_preview = window->x() >= panel.x() && window->y() >= panel.y() &&
                              window->x() + window->w() <= panel.x() + 805 && window->y() + window->h() <= panel.y() + 605;
    EXPECT_TRUE(beside || over_preview) << window->x() << "," << window->y();
    p->angles_button->do_callback();
    EXPECT_EQ(p->angles_window, window) << "one window, shown again";

    measure_after_cycle(*p);
    EXPECT_TRUE(window->shown());
    p->main_window->hide();
    measure_after_cycle(*p);
    EXPECT_FALSE(window->shown()) << "with the panel closed the program's loop can end";
}

// With a calibration whose plane stretches x twice, the shown angle is the
// one the CSV and the stream write: measured in the calibrated plane.
TEST_F(MeasureControls, EveryAngleShownIsMeasuredInTheCalibratedPlane) {
    model().nodes = {{50, 200, 255}, {100, 200, 255}, {150, 250, 255}};
    app_state.selected_node = 1;
    app_state.source_geometry = source_geometry(480, 360);
    PlaneLevel plane;
    plane.unit = "mm";
    for (const PlanePoint& q : {PlanePoint{0, 0}, PlanePoint{400, 0}, PlanePoint{400, 300}, PlanePoint{0, 300}})
        plane.marks.push_back({q, {2 * q.x, q.y}});
    app_state.calibration.plane = plane;
    std::string error;
    ASSERT_TRUE(recalibrate(app_state, error)) << error;
    measure_after_cycle(*p);
    FrameMeasure calibrated;
    measure_model(model(), live_measure_context(app_state), calibrated);
    EXPECT_EQ(p->selected_angle_output->value(), angle_label(calibrated.nodes[1].angle_deg));
    EXPECT_STRNE(p->selected_angle_output->value(), "45.0") << "the frame's angle, not the plane's";

    // The output window's labels, live and playback, are measured the same
    // way: the playback take in the pixels of the source it was recorded from.
    Animation& take = p->preview->playback_animation;
    model().visible = true;
    take.model = model();
    take.geometry = app_state.source_geometry;
    take.y_invert = app_state.options.y_invert != 0;  // recorded with the setting in force now
    p->preview->show_angles = true;
    const std::atomic<bool> stop{false};
    RenderHandOver hand_over(platform::WindowPlacement{0, 0, 480, 360}, stop);
    hand_over.register_window();
    app_state.render_hand_over = &hand_over;
    PanelCycleView(*p).hand_over(Frame(kFrameBytes, 0));
    app_state.render_hand_over = nullptr;
    NodeModel live, playback;
    ModelDrawSettings drawn;
    hand_over.take_models(live, playback, drawn);
    ASSERT_EQ(drawn.live_angles.size(), 3u);
    ASSERT_EQ(drawn.playback_angles.size(), 3u);
    EXPECT_EQ(drawn.live_angles[1], calibrated.nodes[1].angle_deg);
    EXPECT_EQ(drawn.playback_angles[1], calibrated.nodes[1].angle_deg);
    FrameMeasure in_take;
    measure_model(take.model, take_measure_context(*p, take), in_take);
    EXPECT_EQ(in_take.nodes[1].angle_deg, calibrated.nodes[1].angle_deg) << "the preview's playback labels";

    take.geometry.reset();  // a take that does not say its source: not calibrated
    measure_model(take.model, take_measure_context(*p, take), in_take);
    EXPECT_NEAR(std::fabs(in_take.nodes[1].angle_deg), 45.0, 1e-9);
    p->preview->show_angles = false;
    take = Animation{};
    app_state.calibration = Calibration{};
    app_state.calibrated = false;
    app_state.source_geometry = SourceGeometry{};
}
