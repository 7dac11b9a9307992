// The "Calibration" window over a panel: points picked on the preview in the
// source's own pixels, a scale typed beside them that every live number then
// uses, the axes drawn where the origin lies, and the file it saves and
// loads. The source is a 16:9 picture in a flipped frame, so a frame pixel is
// four source pixels and rows count the other way.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Check_Button.H>

#include "calib/calibration_file.h"
#include "gui/calibration_window.h"
#include "loop/live_measure.h"
#include "tests/support/test_support.h"

namespace {

class CalibrationWindowTest : public panel_testing::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        app_state.source_geometry = source_geometry(1920, 1080);
        app_state.options.y_invert = 1;
        window = p->calibration_window;
        window->show_calibration(Calibration{});
        window->show();
    }
    void TearDown() override {
        window->hide();
        app_state.source_geometry = SourceGeometry{};
        app_state.calibration = Calibration{};
        app_state.calibrated = false;
        app_state.extras.erase("calibration.file");
        app_state.extras.erase("calibration.grid");
        PanelTest::TearDown();
    }

    void choose(CalibrationPick what) { window->pick_choice->value(static_cast<int>(what)); }
    void type(Fl_Input* input, const char* text) {
        input->value(text);
        input->do_callback();
    }

    CalibrationWindow* window = nullptr;
    testing_support::TempDir dir;
};

}  // namespace

TEST_F(CalibrationWindowTest, PickedPointsAndATypedLengthCalibrateEveryLiveNumber) {
    EXPECT_FALSE(window->pick(100, 100)) << "nothing is being picked: the nodes are the preview's";

    // Frame (100, 200), row 159, is source (401.5, 457.5); frame (200, 200) is (801.5, 457.5).
    choose(CalibrationPick::scale_a);
    EXPECT_TRUE(window->pick(100, 200));
    EXPECT_TRUE(window->pick(200, 200)) << "the second point follows the first";
    EXPECT_STREQ(window->scale_inputs[0]->value(), "401.5");
    EXPECT_STREQ(window->scale_inputs[1]->value(), "457.5");
    EXPECT_STREQ(window->scale_inputs[2]->value(), "801.5");
    EXPECT_EQ(window->pick_choice->value(), 0);
    EXPECT_FALSE(app_state.calibrated) << "no length yet";
    type(window->length_input, "200");
    type(window->unit_input, "mm");
    ASSERT_TRUE(app_state.calibrated) << window->status->label();
    EXPECT_EQ(app_state.calibration_map.unit, "mm");

    // 400 source pixels are 200 mm: two nodes 50 frame pixels apart on a
    // slant are 100 mm apart, and y is up as in the frame.
    const std::vector<ModelNode> nodes{{100, 100, 255}, {130, 140, 255}};
    FrameMeasure m;
    measure_frame(0, 0.0, nodes, {}, {}, live_measure_context(app_state), m);
    EXPECT_NEAR(std::hypot(m.nodes[1].world_x - m.nodes[0].world_x, m.nodes[1].world_y - m.nodes[0].world_y), 100.0,
                1e-9);
    EXPECT_NEAR(m.nodes[1].world_y - m.nodes[0].world_y, 80.0, 1e-9);

    // An origin and a point on its x axis up and to the right at 45 degrees.
    choose(CalibrationPick::origin);
    EXPECT_TRUE(window->pick(240, 180));
    EXPECT_EQ(window->pick_choice->value(), static_cast<int>(CalibrationPick::x_axis));
    EXPECT_TRUE(window->pick(250, 190));
    EXPECT_NEAR(std::stod(window->axis_input->value()), 45.0, 1e-6);
    measure_frame(0, 0.0, std::vector<ModelNode>{{240, 180, 255}, {260, 200, 255}}, {}, {},
                  live_measure_context(app_state), m);
    EXPECT_NEAR(m.nodes[0].world_x, 0.0, 1e-9);
    EXPECT_NEAR(m.nodes[1].world_x, std::hypot(20, 20) * 2, 1e-6);
    EXPECT_NEAR(m.nodes[1].world_y, 0.0, 1e-6);

    // A click on the preview in pick mode selects no node.
    choose(CalibrationPick::origin);
    model().nodes = {{50, 50, 255}, {100, 50, 255}, {150, 50, 255}};
    model().hovered = 1;
    Fl::e_x = 100, Fl::e_y = p->preview->h() - 50, Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    EXPECT_EQ(p->preview->handle(FL_PUSH), 1);
    EXPECT_EQ(model().selected, -1);
    EXPECT_STREQ(window->origin_inputs[0]->value(), "401.5");
}

TEST_F(CalibrationWindowTest, TheAxesStartAtTheOriginAndTheGridFollowsTheCalibration) {
    window->grid_check->value(1);
    window->grid_check->do_callback();
    choose(CalibrationPick::scale_a);
    window->pick(100, 100);
    window->pick(300, 100);
    choose(CalibrationPick::origin);
    window->pick(240, 180);
    type(window->length_input, "1");
    ASSERT_TRUE(app_state.calibrated);
    // The red x axis runs from the origin to the right, two grid steps long.
    const std::vector<OverlayLine>& lines = p->preview->overlay;
    const auto axis = std::find_if(lines.begin(), lines.end(), [](const OverlayLine& l) {
        return l.red == 1.0f && l.green < 0.5f && l.points.size() > 2;
    });
    ASSERT_NE(axis, lines.end());
    EXPECT_NEAR(axis->points.front().x, 240, 1e-6);
    EXPECT_NEAR(axis->points.front().y, 180, 1e-6);
    EXPECT_NEAR(axis->points.back().y, 180, 1e-6);
    EXPECT_GT(axis->points.back().x, 240);
    EXPECT_GT(lines.size(), 10u) << "grid lines";
    window->grid_check->value(0);
    window->grid_check->do_callback();
    EXPECT_LT(p->preview->overlay.size(), 10u) << "only the picked points";
}

TEST_F(CalibrationWindowTest, SavesAndLoadsItsFileAndRefusesABrokenOne) {
    type(window->lens_inputs[0], "1400");
    type(window->lens_inputs[1], "1400");
    type(window->lens_inputs[2], "960");
    type(window->lens_inputs[3], "540");
    type(window->lens_inputs[4], "-0.2");
    choose(CalibrationPick::plane_point);
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const double at[4][2] = {{100, 100}, {300, 110}, {280, 250}, {120, 240}};
    for (int i = 0; i < 4; ++i) {
        window->plane_x_input->value(std::to_string(corners[i][0]).c_str());
        window->plane_y_input->value(std::to_string(corners[i][1]).c_str());
        window->pick(at[i][0], at[i][1]);
    }
    type(window->plane_unit_input, "m");
    ASSERT_TRUE(app_state.calibrated) << window->status->label();
    const std::string path = dir.file("cal.toml");
    ASSERT_TRUE(window->save_file(path));
    const std::string saved = calibration_toml(app_state.calibration);

    window->show_calibration(Calibration{});
    EXPECT_FALSE(app_state.calibrated);
    ASSERT_TRUE(window->load_file(path));
    EXPECT_EQ(calibration_toml(app_state.calibration), saved);
    EXPECT_EQ(app_state.extras.get("calibration.file"), path);
    EXPECT_STREQ(window->lens_inputs[4]->value(), "-0.2");

    // A lens file, as velmora calibrate writes it, replaces the lens alone.
    Calibration lens;
    lens.width = 1920, lens.height = 1080;
    lens.lens = LensModel{1500, 1490, 950, 530, -0.1, 0.01, 0, 0, 0, 0.3, 12};
    testing_support::write_whole_file(dir.file("lens.toml"), calibration_toml(lens));
    ASSERT_TRUE(window->load_lens_file(dir.file("lens.toml")));
    EXPECT_EQ(app_state.calibration.lens->fx, 1500);
    EXPECT_EQ(app_state.calibration.lens->views, 12);
    ASSERT_TRUE(app_state.calibration.plane);
    EXPECT_EQ(app_state.calibration.plane->marks.size(), 4u);
    ASSERT_TRUE(window->load_file(path));

    testing_support::write_whole_file(dir.file("broken.toml"), "fx = \"wide\"\n");
    EXPECT_FALSE(window->load_file(dir.file("broken.toml")));
    ASSERT_EQ(panel_testing::messages().size(), 1u);
    EXPECT_NE(panel_testing::messages()[0].text.find("not a number"), std::string::npos);
    EXPECT_EQ(calibration_toml(app_state.calibration), saved) << "the calibration in use stays";
}
