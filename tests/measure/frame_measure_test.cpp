#include "measure/frame_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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
