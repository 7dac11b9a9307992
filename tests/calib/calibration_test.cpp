#include "calib/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "calib/calibration_file.h"
#include "scene_camera.h"

namespace {

LensModel lens_of(const scene::Lens& l) {
    LensModel m;
    m.fx = l.fx, m.fy = l.fy, m.cx = l.cx, m.cy = l.cy;
    m.k1 = l.k1, m.k2 = l.k2, m.p1 = l.p1, m.p2 = l.p2, m.k3 = l.k3;
    return m;
}

CalibrationMap compiled(const Calibration& c, int width, int height) {
    CalibrationMap map;
    std::string error;
    EXPECT_TRUE(compile_calibration(c, width, height, map, error)) << error;
    return map;
}

// A camera 2 m from a floor it looks down at 40 degrees, with a wide lens.
scene::Camera tilted_camera(bool distorted) {
    scene::Camera cam;
    cam.lens = scene::Lens{900, 900, 955, 545};
    if (distorted) cam.lens.k1 = -0.28, cam.lens.k2 = 0.09, cam.lens.p1 = 0.001, cam.lens.p2 = -0.0007;
    cam.pose = scene::pose(0.7, 0.05, 0.1, -400, -300, 2000);
    return cam;
}

}  // namespace

// A lens alone moves a distorted position onto the ideal picture: the ideal
// pixel with y turned up from the bottom row.
class LensCorrection : public ::testing::TestWithParam<scene::Lens> {};

TEST_P(LensCorrection, PutsDistortedPixelsWhereAPinholeWouldHaveSeenThem) {
    const scene::Lens l = GetParam();
    Calibration c;
    c.lens = lens_of(l);
    const CalibrationMap map = compiled(c, 1920, 1080);
    for (const PlanePoint ideal : {PlanePoint{10, 12}, PlanePoint{960, 540}, PlanePoint{1900, 1070}, PlanePoint{300, 900}}) {
        const PlanePoint seen = scene::distort(l, (ideal.x - l.cx) / l.fx, (ideal.y - l.cy) / l.fy);
        const PlanePoint world = to_world(map, seen);
        EXPECT_NEAR(world.x, ideal.x, 1e-3);
        EXPECT_NEAR(world.y, 1079 - ideal.y, 1e-3);
        const PlanePoint back = to_source(map, world);
        EXPECT_NEAR(back.x, seen.x, 1e-6);
        EXPECT_NEAR(back.y, seen.y, 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Lenses, LensCorrection,
                         ::testing::Values(scene::Lens{1400, 1400, 959.5, 539.5, -0.3, 0.1, 0, 0, -0.02},
                                           scene::Lens{1000, 1010, 940, 560, 0.15, -0.05, 0.002, -0.001, 0.0},
                                           scene::Lens{1200, 1200, 960, 540}));

// A floor seen at an angle through a wide lens: four marks with their floor
// coordinates typed in, then every other point of the floor comes back.
TEST(PlaneCalibration, MapsAFloorSeenAtAnAngleBackToItsOwnCoordinates) {
    for (const bool distorted : {false, true}) {
        const scene::Camera cam = tilted_camera(distorted);
        Calibration c;
        if (distorted) c.lens = lens_of(cam.lens);
        PlaneLevel plane{{}, "mm"};
        for (const PlanePoint p : {PlanePoint{0, 0}, PlanePoint{1000, 0}, PlanePoint{1000, 800}, PlanePoint{0, 800}})
            plane.marks.push_back(PlaneMark{cam.project(p), p});
        c.plane = plane;
        const CalibrationMap map = compiled(c, 1920, 1080);
        EXPECT_EQ(map.unit, "mm");
        for (const PlanePoint p : {PlanePoint{500, 400}, PlanePoint{123, 777}, PlanePoint{1300, -200}}) {
            const PlanePoint world = to_world(map, cam.project(p));
            EXPECT_NEAR(world.x, p.x, 0.01) << distorted;
            EXPECT_NEAR(world.y, p.y, 0.01) << distorted;
            const PlanePoint back = to_source(map, p);
            EXPECT_NEAR(back.x, cam.project(p).x, 1e-3);
            EXPECT_NEAR(back.y, cam.project(p).y, 1e-3);
        }
    }
}

// Scale and axes on the picture itself: 100 px are 25 mm, the origin at
// (200, 600), x turned 30 degrees counter-clockwise (y up).
TEST(ScaleAndAxes, MeasureFromTheOriginAlongTheTurnedAxesWithYUp) {
    Calibration c;
    c.scale = ScaleLevel{{100, 100}, {160, 180}, 25.0, "mm"};
    c.axes = AxesLevel{{200, 600}, 30.0};
    const CalibrationMap map = compiled(c, 640, 480);
    const double turn = 30.0 * std::numbers::pi / 180.0, mm_per_px = 25.0 / 100.0;
    // One step along the turned x axis: right and up in the picture.
    const PlanePoint along{200 + 40 * std::cos(turn), 600 - 40 * std::sin(turn)};
    PlanePoint w = to_world(map, along);
    EXPECT_NEAR(w.x, 40 * mm_per_px, 1e-9);
    EXPECT_NEAR(w.y, 0.0, 1e-9);
    // A quarter turn further is world y.
    const PlanePoint up{200 - 40 * std::sin(turn), 600 - 40 * std::cos(turn)};
    w = to_world(map, up);
    EXPECT_NEAR(w.x, 0.0, 1e-9);
    EXPECT_NEAR(w.y, 40 * mm_per_px, 1e-9);

    // Without axes the origin is the bottom-left pixel and x points right.
    c.axes.reset();
    w = to_world(compiled(c, 640, 480), PlanePoint{40, 479 - 80});
    EXPECT_NEAR(w.x, 10.0, 1e-9);
    EXPECT_NEAR(w.y, 20.0, 1e-9);
}

// Scale on top of a plane rescales the plane's own units.
TEST(ScaleAndAxes, RescaleAPlaneTypedInGridSquares) {
    const scene::Camera cam = tilted_camera(false);
    Calibration c;
    PlaneLevel plane{{}, "squares"};
    for (const PlanePoint p : {PlanePoint{0, 0}, PlanePoint{4, 0}, PlanePoint{4, 3}, PlanePoint{0, 3}})
        plane.marks.push_back(PlaneMark{cam.project(PlanePoint{p.x * 250, p.y * 250}), p});
    c.plane = plane;
    c.scale = ScaleLevel{cam.project({0, 0}), cam.project({1000, 0}), 1.0, "m"};
    const CalibrationMap map = compiled(c, 1920, 1080);
    EXPECT_EQ(map.unit, "m");
    const PlanePoint w = to_world(map, cam.project({600, 450}));
    EXPECT_NEAR(w.x, 0.6, 1e-6);
    EXPECT_NEAR(w.y, 0.45, 1e-6);
}

struct Refused {
    const char* what;
    Calibration calibration;
    const char* reason;
};

class CalibrationRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(CalibrationRefused, WithAReason) {
    CalibrationMap map;
    map.unit = "kept";
    std::string error;
    EXPECT_FALSE(compile_calibration(GetParam().calibration, 640, 480, map, error));
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
    EXPECT_EQ(map.unit, "kept");
}

Calibration with_plane(std::vector<PlaneMark> marks) {
    Calibration c;
    c.plane = PlaneLevel{std::move(marks), "mm"};
    return c;
}

Calibration with_scale(ScaleLevel s) {
    Calibration c;
    c.scale = std::move(s);
    return c;
}

std::vector<Refused> refusals() {
    Calibration other_size = with_scale({{5, 5}, {50, 5}, 1, "mm"});
    other_size.width = 1920;
    other_size.height = 1080;
    Calibration no_focal_length;
    no_focal_length.lens = LensModel{};
    return {
        {"three_plane_points", with_plane({{{0, 0}, {0, 0}}, {{10, 0}, {1, 0}}, {{0, 10}, {0, 1}}}), "4 points"},
        {"plane_points_on_a_line",
         with_plane({{{0, 0}, {0, 0}}, {{10, 10}, {1, 0}}, {{20, 20}, {2, 0}}, {{30, 30}, {3, 0}}}), "one line"},
        {"scale_points_that_coincide", with_scale({{5, 5}, {5, 5}, 10, "mm"}), "coincide"},
        {"a_length_of_0", with_scale({{5, 5}, {50, 5}, 0, "mm"}), "above 0"},
        {"a_unit_with_a_comma", with_scale({{5, 5}, {50, 5}, 1, "m,m"}), "unit"},
        {"another_picture_size", other_size, "1920 x 1080"},
        {"a_lens_without_focal_length", no_focal_length, "focal"},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, CalibrationRefused, ::testing::ValuesIn(refusals()),
                         [](const ::testing::TestParamInfo<Refused>& info) { return std::string(info.param.what); });

TEST(CalibrationFile, KeepsEveryLevelToTheLastBit) {
    Calibration c;
    c.width = 1920, c.height = 1080;
    c.lens = LensModel{1402.123456789, 1399.5, 960.25, 539.75, -0.2812345678901234, 0.1, 1e-4, -2e-5, -0.01, 0.2345, 17};
    c.plane = PlaneLevel{{{{10.5, 20.25}, {0, 0}}, {{900.125, 30}, {1000, 0}}, {{880, 700}, {1000, 800}},
                          {{15, 690}, {0, 800.5}}},
                         "mm"};
    c.scale = ScaleLevel{{1.0 / 3.0, 2}, {300, 400}, 500, "µm"};
    c.axes = AxesLevel{{50, 60}, -12.5};
    Calibration back;
    std::string error;
    ASSERT_TRUE(parse_calibration_toml(calibration_toml(c), back, error)) << error;
    EXPECT_EQ(calibration_toml(back), calibration_toml(c));
    EXPECT_EQ(back.lens->k1, c.lens->k1);
    EXPECT_EQ(back.scale->a.x, 1.0 / 3.0);
    EXPECT_EQ(back.lens->views, 17);
    EXPECT_EQ(back.scale->unit, "µm");

    // As a table of a larger file, beside others.
    const std::string session = "version = 1\n[model]\nnodes = 3\n" + calibration_toml(c, "calibration");
    ASSERT_TRUE(parse_calibration_toml(session, back, error, "calibration")) << error;
    EXPECT_EQ(calibration_toml(back), calibration_toml(c));
    EXPECT_FALSE(parse_calibration_toml("[model]\nnodes = 3\n", back, error, "calibration"));
    EXPECT_EQ(error, "no [calibration] table");

    // A lens typed in has no fit to report.
    Calibration typed;
    typed.lens = LensModel{1000, 1000, 320, 240};
    ASSERT_TRUE(parse_calibration_toml(calibration_toml(typed), back, error)) << error;
    EXPECT_EQ(back.lens->views, 0);
    EXPECT_TRUE(std::isnan(back.lens->rms));
    EXPECT_FALSE(back.plane.has_value());
}

class CalibrationFileRefused : public ::testing::TestWithParam<std::pair<std::string, const char*>> {};

TEST_P(CalibrationFileRefused, LeavesTheCalibrationAsItWas) {
    Calibration c;
    c.width = 7;
    std::string error;
    EXPECT_FALSE(parse_calibration_toml(GetParam().first, c, error));
    EXPECT_NE(error.find(GetParam().second), std::string::npos) << error;
    EXPECT_EQ(c.width, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CalibrationFileRefused,
    ::testing::Values(std::pair<std::string, const char*>{"fx = [", "not a calibration"},
                      std::pair<std::string, const char*>{"fx = \"wide\"", "not a number"},
                      std::pair{"fx = 1000.0\nfy = 1000.0\ncx = 1.0", "no \"cy\""},
                      std::pair{"fx = 1.0\nfy = 1.0\ncx = 1.0\ncy = 1.0\nviews = 12", "no \"rms\""},
                      std::pair{"[plane]\nunit = \"mm\"\npoints = [[1.0, 2.0, 3.0]]", "4 numbers"},
                      std::pair{"[scale]\na = [1.0, 2.0]\nb = [3.0, 4.0]\nlength = inf\nunit = \"m\"", "finite"},
                      std::pair{"width = -3", "whole number"},
                      std::pair{"x = " + std::string(100000, '['), "nest too deep"}));
