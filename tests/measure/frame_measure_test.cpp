#include "measure/frame_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/calib/scene_camera.h"

// A right-angle chain: (0,0) -> (10,0) -> (10,10) turns left by 90 degrees at
// node 1. With centres the chain is (0,0.5) -> (10,0.5) -> (10.5,10.5).
TEST(MeasureFrame, TakesEveryNumberFromTheCentresWhereTheChainHasThem) {
    const std::vector<ModelNode> nodes{{0, 0, 255}, {10, 0, 255}, {10, 10, 255}};
    const std::vector<NodeState> states{NodeState::tracked, NodeState::held, NodeState::tracked};
    const std::vector<SubPixelCentre> centres{{0.0f, 0.5f}, {10.0f, 0.5f}, {10.5f, 10.5f}};
    FrameMeasure m;
    measure_frame(7, 70.0, nodes, states, {}, MeasureContext{}, m);
    ASSERT_EQ(m.nodes.size(), 3u);
    EXPECT_EQ(m.frame, 7);
    EXPECT_DOUBLE_EQ(m.nodes[1].angle_deg, 90.0);
    EXPECT_EQ(m.nodes[1].state, NodeState::held);
    EXPECT_TRUE(std::isnan(m.nodes[1].u));

    const SourceGeometry wide = source_geometry(1920, 1080);
    measure_frame(7, 70.0, nodes, states, centres, MeasureContext{&wide, false}, m);
    EXPECT_DOUBLE_EQ(m.nodes[2].x, 10.5);
    EXPECT_DOUBLE_EQ(m.nodes[1].angle_deg, std::atan2(10.0, 0.5) * 180.0 / std::acos(-1.0));
    // Frame x = (u + 0.5) / 4 - 0.5 and row = 45 + (v + 0.5) / 4 - 0.5.
    EXPECT_DOUBLE_EQ(m.nodes[2].u, (10.5 + 0.5) * 4 - 0.5);
    EXPECT_DOUBLE_EQ(m.nodes[2].v, (10.5 + 0.5 - 45) * 4 - 0.5);
    EXPECT_TRUE(std::isnan(m.nodes[2].world_x));
}

// A right angle laid out on a floor that a wide-angle camera sees at a slant
// looks far from square in the picture; calibrated by a lens and four floor
// marks, measure_frame finds the right angle and the floor positions again.
TEST(MeasureFrame, MeasuresAnglesAndPositionsInTheCalibratedPlane) {
    scene::Camera cam;
    cam.lens = scene::Lens{1100, 1100, 962, 541, -0.25, 0.07, 0.0, 0.0, 0.0};
    cam.pose = scene::pose(0.8, 0.1, 0.3, -300, -250, 1800);
    const SourceGeometry geometry = source_geometry(1920, 1080);
    const std::vector<PlanePoint> floor{{0, 0}, {400, 0}, {400, 400}};
    std::vector<ModelNode> nodes;
    std::vector<SubPixelCentre> centres;
    for (const PlanePoint p : floor) {
        const PlanePoint f = source_to_frame(geometry, cam.project(p), true);
        nodes.push_back(ModelNode{static_cast<int32_t>(std::lround(f.x)), static_cast<int32_t>(std::lround(f.y)), 255});
        centres.push_back(SubPixelCentre{static_cast<float>(f.x), static_cast<float>(f.y)});
    }
    Calibration c;
    c.lens = LensModel{cam.lens.fx, cam.lens.fy, cam.lens.cx, cam.lens.cy, cam.lens.k1, cam.lens.k2};
    c.plane = PlaneLevel{{}, "mm"};
    for (const PlanePoint p : {PlanePoint{-200, -200}, PlanePoint{800, -200}, PlanePoint{800, 700}, PlanePoint{-200, 700}})
        c.plane->marks.push_back(PlaneMark{cam.project(p), p});
    CalibrationMap map;
    std::string error;
    ASSERT_TRUE(compile_calibration(c, 1920, 1080, map, error)) << error;

    FrameMeasure in_frame, in_plane;
    measure_frame(0, 0.0, nodes, {}, centres, MeasureContext{&geometry, true}, in_frame);
    measure_frame(0, 0.0, nodes, {}, centres, MeasureContext{&geometry, true, &map}, in_plane);
    EXPECT_GT(std::abs(in_frame.nodes[1].angle_deg - 90.0), 10.0) << "the slant shows in the picture";
    // Float centres in a quarter-scale frame: a hundredth of a source pixel.
    EXPECT_NEAR(in_plane.nodes[1].angle_deg, 90.0, 0.01);
    for (size_t n = 0; n < floor.size(); ++n) {
        EXPECT_NEAR(in_plane.nodes[n].world_x, floor[n].x, 0.05) << n;
        EXPECT_NEAR(in_plane.nodes[n].world_y, floor[n].y, 0.05) << n;
    }
    // An end node compares its link with the world's x axis.
    EXPECT_NEAR(in_plane.nodes[0].angle_deg, 0.0, 0.01);
    EXPECT_NEAR(in_plane.nodes[2].angle_deg, -90.0, 0.01);
}
