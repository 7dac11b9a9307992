// The node model: resizing and layout, hover, press and drag, and the bend sensor.

#include "model/node_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <ostream>
#include <random>
#include <vector>

namespace {

constexpr int32_t kWindowHeight = 360;

// Window coordinates (y down) of a model position (y up).
int32_t window_y(int32_t model_y) { return kWindowHeight - model_y; }

void move_to(NodeModel& m, int32_t x, int32_t y) { m.handle_mouse(MouseEvent::move, kWindowHeight, x, window_y(y)); }
void press_at(NodeModel& m, int32_t x, int32_t y) { m.handle_mouse(MouseEvent::press, kWindowHeight, x, window_y(y)); }
void drag_to(NodeModel& m, int32_t x, int32_t y) { m.handle_mouse(MouseEvent::drag, kWindowHeight, x, window_y(y)); }

NodeModel chain(std::initializer_list<ModelNode> nodes) {
    NodeModel m;
    m.set_node_count(static_cast<int32_t>(nodes.size()));
    m.nodes = nodes;
    return m;
}

}  // namespace

// --- node count -------------------------------------------------------------

TEST(NodeCount, ConstructionGivesThreeHiddenNodesInTheDefaultLayout) {
    const NodeModel m;
    ASSERT_EQ(m.nodes.size(), 3u);
    ASSERT_EQ(m.sensors.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.nodes[i].x, 50 + 50 * i);
        EXPECT_EQ(m.nodes[i].y, 200);
        EXPECT_EQ(m.nodes[i].value, 255);
        EXPECT_TRUE(m.sensors[i].visible);
        EXPECT_TRUE(m.sensors[i].at_node);
        EXPECT_EQ(m.sensors[i].x, 50 + 50 * i);
        EXPECT_EQ(m.sensors[i].y, 100);
        EXPECT_EQ(m.sensors[i].blue, 1.0f);
        EXPECT_EQ(m.sensors[i].alpha, 0.5f);
    }
    EXPECT_FALSE(m.visible);
    EXPECT_EQ(m.hovered, -1);
    EXPECT_EQ(m.selected, -1);
    EXPECT_EQ(m.red, 1.0f);
    EXPECT_EQ(m.green, 1.0f);
    EXPECT_EQ(m.blue, 0.0f);
    EXPECT_EQ(m.alpha, 1.0f);
}

TEST(NodeCount, GrowingKeepsOldSensorsAddsDefaultsAndResetsTheRest) {
    NodeModel m;
    for (int i = 0; i < 3; ++i) {
        m.sensors[i] = AngularSensor{false, false, 7, 8, 0.25f, 0.5f, 0.75f, 0.125f};
        m.nodes[i] = ModelNode{1, 2, 3};
    }
    m.red = m.green = m.blue = m.alpha = 0.3f;
    m.visible = true;
    m.hovered = 2;
    m.selected = 1;

    m.set_node_count(5);

    ASSERT_EQ(m.nodes.size(), 5u);
    ASSERT_EQ(m.sensors.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m.nodes[i].x, 50 + 50 * i) << i;
        EXPECT_EQ(m.nodes[i].y, 200);
        EXPECT_EQ(m.nodes[i].value, 255);
        EXPECT_EQ(m.sensors[i].x, 50 + 50 * i);
        EXPECT_EQ(m.sensors[i].y, 100);
        const bool kept = i < 3;
        EXPECT_EQ(m.sensors[i].visible, !kept);
        EXPECT_EQ(m.sensors[i].at_node, !kept);
        EXPECT_EQ(m.sensors[i].red, kept ? 0.25f : 0.0f);
        EXPECT_EQ(m.sensors[i].green, kept ? 0.5f : 0.0f);
        EXPECT_EQ(m.sensors[i].blue, kept ? 0.75f : 1.0f);
        EXPECT_EQ(m.sensors[i].alpha, kept ? 0.125f : 0.5f);
    }
    EXPECT_EQ(m.red, 1.0f);
    EXPECT_EQ(m.green, 1.0f);
    EXPECT_EQ(m.blue, 0.0f);
    EXPECT_EQ(m.alpha, 1.0f);
    EXPECT_FALSE(m.visible);
    EXPECT_EQ(m.hovered, -1);
    EXPECT_EQ(m.selected, -1);
}

TEST(NodeCount, ShrinkingDropsTheTailAndZeroEmptiesBothLists) {
    NodeModel m;
    m.sensors[0].red = 0.5f;
    m.set_node_count(1);
    ASSERT_EQ(m.nodes.size(), 1u);
    ASSERT_EQ(m.sensors.size(), 1u);
    EXPECT_EQ(m.sensors[0].red, 0.5f);
    m.set_node_count(0);
    EXPECT_TRUE(m.nodes.empty());
    EXPECT_TRUE(m.sensors.empty());
}

// --- hover ------------------------------------------------------------------

struct HoverCase {
    const char* name;
    int32_t dx, dy;  // pointer offset from node 1 at (100, 200)
    int32_t value;   // node 1's value
    bool hovered;
};
void PrintTo(const HoverCase& c, std::ostream* os) { *os << c.name; }

class Hover : public ::testing::TestWithParam<HoverCase> {};

TEST_P(Hover, FindsANodeOnlyNearerThanThirtyPixels) {
    const HoverCase& c = GetParam();
    NodeModel m;
    m.nodes[1].value = c.value;
    m.pick_hovered(100 + c.dx, 200 + c.dy);
    EXPECT_EQ(m.hovered, c.hovered ? 1 : -1);
}

// Squared reach: (value - 255)^2 + dx^2 + dy^2 must stay below 900.
INSTANTIATE_TEST_SUITE_P(
    Reach, Hover,
    ::testing::Values(HoverCase{"on_the_node", 0, 0, 255, true},
                      HoverCase{"29_above", 0, 29, 255, true},
                      HoverCase{"30_above", 0, 30, 255, false},
                      HoverCase{"30_below", 0, -30, 255, false},
                      HoverCase{"diagonal_18_24_is_30", 18, 24, 255, false},
                      HoverCase{"diagonal_20_21_is_29", 20, 21, 255, true},
                      HoverCase{"value_254_at_29_is_841_plus_1", 0, 29, 254, true},
                      HoverCase{"value_250_at_29_is_841_plus_25", 0, -29, 250, true},
                      HoverCase{"value_247_at_29_is_841_plus_64", 0, 29, 247, false},
                      HoverCase{"value_225_on_the_node", 0, 0, 225, false},
                      HoverCase{"value_huge_on_the_node", 0, 0, 2147483647, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HoverTies, EqualDistancesGoToTheLaterNodeAndNearerWins) {
    NodeModel m = chain({{100, 200, 255}, {120, 200, 255}, {300, 200, 255}});
    m.pick_hovered(110, 200);  // 10 from both
    EXPECT_EQ(m.hovered, 1);
    m.pick_hovered(109, 200);
    EXPECT_EQ(m.hovered, 0);
    m.pick_hovered(500, 0);
    EXPECT_EQ(m.hovered, -1) << "a pick far from every node clears the hover";
}

TEST(HoverTies, NodesAtTheEndsOfTheInt32RangeDoNotWrapIntoReach) {
    // In 32-bit arithmetic these squares wrap around to small numbers.
    NodeModel m = chain({{-2147483647 - 1, 2147483647, 255}, {65536, 0, 255}});
    m.pick_hovered(0, 0);
    EXPECT_EQ(m.hovered, -1);
}

// --- press, drag, motion ------------------------------------------------------

TEST(Mouse, MotionHoversPressSelectsAndDragMovesTheHoveredNode) {
    NodeModel m;
    move_to(m, 103, 198);
    EXPECT_EQ(m.hovered, 1);
    EXPECT_EQ(m.selected, -1) << "motion does not select";
    press_at(m, 103, 198);
    EXPECT_EQ(m.selected, 1);
    // A drag far past every node keeps moving the grabbed node: no pick runs.
    drag_to(m, 400, 20);
    drag_to(m, 10, 350);
    EXPECT_EQ(m.hovered, 1);
    EXPECT_EQ(m.nodes[1].x, 10);
    EXPECT_EQ(m.nodes[1].y, 350) << "y is counted up from the window's bottom edge";
    EXPECT_EQ(m.nodes[1].value, 255);
    EXPECT_EQ(m.nodes[0].x, 50);
    EXPECT_EQ(m.nodes[2].x, 150);
}

TEST(Mouse, DragRestoresValueAndLeavesADetachedSensorInPlace) {
    NodeModel m;
    m.nodes[0].value = 255;
    m.sensors[0].at_node = false;
    m.sensors[0].x = 5;
    m.sensors[0].y = 6;
    move_to(m, 50, 200);
    press_at(m, 50, 200);
    drag_to(m, 60, 70);
    EXPECT_EQ(m.nodes[0].x, 60);
    EXPECT_EQ(m.nodes[0].y, 70);
    EXPECT_EQ(m.sensors[0].x, 5);
    EXPECT_EQ(m.sensors[0].y, 6);
    const SensorCentre c = sensor_centre(m, 0);
    EXPECT_EQ(c.x, 5);
    EXPECT_EQ(c.y, 6);
    const SensorCentre on_node = sensor_centre(m, 1);
    EXPECT_EQ(on_node.x, 100);
    EXPECT_EQ(on_node.y, 200);
}

TEST(Mouse, PressAwayFromAllNodesSelectsNoneAndDraggingMovesNothing) {
    NodeModel m;
    press_at(m, 100, 200);  // no motion yet: nothing hovered
    EXPECT_EQ(m.selected, -1);
    move_to(m, 400, 10);
    press_at(m, 400, 10);
    drag_to(m, 100, 200);
    EXPECT_EQ(m.selected, -1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.nodes[i].x, 50 + 50 * i);
}

TEST(Mouse, OtherEventsChangeNothing) {
    NodeModel m;
    move_to(m, 150, 200);
    const NodeModel before = m;
    m.handle_mouse(MouseEvent::other, kWindowHeight, 50, window_y(200));
    EXPECT_EQ(m.hovered, before.hovered);
    EXPECT_EQ(m.selected, before.selected);
    EXPECT_EQ(m.nodes[0].x, before.nodes[0].x);
}

// --- sensor radius ------------------------------------------------------------

TEST(SensorRadius, StraightChainAlongPlusXShowsTwiceTheMaximum) {
    const NodeModel m;  // default row along +x
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(sensor_radius(m, i, 20), 40.0f) << i;
}

TEST(SensorRadius, ChainAlongMinusXShowsTwiceAtTheMiddleAndZeroAtTheEnds) {
    const NodeModel m = chain({{300, 100, 255}, {200, 100, 255}, {100, 100, 255}});
    EXPECT_FLOAT_EQ(sensor_radius(m, 0, 20), 0.0f);
    EXPECT_FLOAT_EQ(sensor_radius(m, 1, 20), 40.0f);
    EXPECT_FLOAT_EQ(sensor_radius(m, 2, 20), 0.0f);
}

TEST(SensorRadius, FoldedBackGivesZeroAndZeroLengthLinksGiveTheMaximum) {
    const NodeModel folded = chain({{100, 100, 255}, {200, 100, 255}, {100, 100, 255}});
    EXPECT_FLOAT_EQ(sensor_radius(folded, 1, 20), 0.0f);
    const NodeModel stacked = chain({{100, 100, 255}, {100, 100, 255}, {200, 100, 255}});
    EXPECT_FLOAT_EQ(sensor_radius(stacked, 0, 20), 20.0f);
    EXPECT_FLOAT_EQ(sensor_radius(stacked, 1, 20), 20.0f);
}

TEST(SensorRadius, OneNodeShowsTwiceTheMaximumAndANegativeMaximumCountsAsItsSize) {
    const NodeModel one = chain({{10, 10, 255}});
    EXPECT_FLOAT_EQ(sensor_radius(one, 0, 20), 40.0f);
    const NodeModel m;
    EXPECT_FLOAT_EQ(sensor_radius(m, 1, -20), 40.0f);
}

class BendAngle : public ::testing::TestWithParam<int> {};

// The middle node of a chain that turns by `degrees` shows (cos + 1) * R.
TEST_P(BendAngle, MiddleRadiusFollowsTheCosineOfTheTurn) {
    const double turn = GetParam() * std::numbers::pi / 180.0;
    const int32_t length = 1000;
    const int32_t x2 = 1000 + static_cast<int32_t>(std::lround(length * std::cos(turn)));
    const int32_t y2 = 500 + static_cast<int32_t>(std::lround(length * std::sin(turn)));
    const NodeModel m = chain({{0, 500, 255}, {1000, 500, 255}, {x2, y2, 255}});
    // Reference from the rounded end point, in double precision.
    const double c = (x2 - 1000) / std::hypot(x2 - 1000.0, y2 - 500.0);
    EXPECT_NEAR(sensor_radius(m, 1, 30), (c + 1.0) * 30.0, 1e-4) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Turns, BendAngle, ::testing::Values(0, 30, 45, 90, 120, 135, 179, 180, -90, -150));

// --- bend angle in degrees ----------------------------------------------------

struct Turn {
    const char* name;
    std::vector<ModelNode> nodes;
    std::vector<double> degrees;  // expected at every node
};
std::ostream& operator<<(std::ostream& os, const Turn& t) { return os << t.name; }

class BendAngleDegrees : public ::testing::TestWithParam<Turn> {};

TEST_P(BendAngleDegrees, HandMadeChainsTurnCounterClockwisePositive) {
    const Turn& t = GetParam();
    for (size_t i = 0; i < t.nodes.size(); ++i)
        EXPECT_NEAR(bend_angle_deg(t.nodes, i), t.degrees[i], 1e-9) << "node " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Chains, BendAngleDegrees,
    ::testing::Values(
        Turn{"straight along +x", {{50, 200, 255}, {100, 200, 255}, {150, 200, 255}}, {0, 0, 0}},
        Turn{"left turn", {{0, 0, 255}, {10, 0, 255}, {10, 10, 255}}, {0, 90, -90}},
        Turn{"right turn", {{0, 0, 255}, {10, 0, 255}, {10, -10, 255}}, {0, -90, 90}},
        // Folded back in either direction is 180, never -180.
        Turn{"folded back", {{100, 100, 255}, {200, 100, 255}, {100, 100, 255}}, {0, 180, 180}},
        Turn{"folded back leftwards", {{200, 100, 255}, {100, 100, 255}, {200, 100, 255}}, {180, 180, 0}},
        Turn{"along -x", {{300, 100, 255}, {200, 100, 255}, {100, 100, 255}}, {180, 0, 180}},
        // in (4, 0), out (3, 4): atan2(16, 12).
        Turn{"3-4-5", {{0, 0, 255}, {4, 0, 255}, {7, 4, 255}}, {0, 53.13010235415598, -53.13010235415598}},
        Turn{"one node", {{7, 7, 255}}, {0}},
        // Differences beyond 32 bits stay exact.
        Turn{"int32 extremes", {{INT32_MIN, 0, 255}, {INT32_MAX, 0, 255}, {INT32_MAX, INT32_MAX, 255}}, {0, 90, -90}}));

TEST(BendAngleDegrees, AZeroLengthLinkHasNoAngleWhileTheDiscShowsTheMaximum) {
    const NodeModel stacked = chain({{100, 100, 255}, {100, 100, 255}, {200, 100, 255}});
    EXPECT_TRUE(std::isnan(bend_angle_deg(stacked, 0)));
    EXPECT_TRUE(std::isnan(bend_angle_deg(stacked, 1)));
    EXPECT_DOUBLE_EQ(bend_angle_deg(stacked, 2), 0.0);
    EXPECT_FLOAT_EQ(sensor_radius(stacked, 1, 20), 20.0f);
}

// On seeded random chains the angle agrees with the disc, |cos + 1| * R, and
// with a plain reference: the angle between the links from acos of their
// normalised dot product, signed by their cross product.
TEST(BendAngleDegrees, AgreesWithTheDiscRadiusAndAnAcosReferenceOnRandomChains) {
    std::mt19937 rng(13);
    std::uniform_int_distribution<int32_t> coordinate(-400, 400);
    int compared = 0;
    for (int trial = 0; trial < 500; ++trial) {
        NodeModel m = chain({{0, 0, 255}, {0, 0, 255}, {0, 0, 255}, {0, 0, 255}});
        for (ModelNode& n : m.nodes) n = ModelNode{coordinate(rng), coordinate(rng), 255};
        for (int32_t i = 0; i < 4; ++i) {
            const ModelNode here = m.nodes[i];
            const ModelNode prev = i > 0 ? m.nodes[i - 1] : ModelNode{here.x - 1, here.y, 255};
            const ModelNode next = i < 3 ? m.nodes[i + 1] : ModelNode{here.x + 1, here.y, 255};
            const double ax = here.x - prev.x, ay = here.y - prev.y, bx = next.x - here.x, by = next.y - here.y;
            if ((ax == 0 && ay == 0) || (bx == 0 && by == 0)) continue;
            const double angle = bend_angle_deg(m, i);
            const double cosine = std::clamp((ax * bx + ay * by) / (std::hypot(ax, ay) * std::hypot(bx, by)), -1.0, 1.0);
            const double cross = ax * by - ay * bx;
            const double reference = (cross < 0 ? -1.0 : 1.0) * std::acos(cosine) * 180.0 / std::numbers::pi;
            EXPECT_NEAR(angle, reference, 1e-5) << trial << " node " << i;
            const double radius = std::fabs(std::cos(angle * std::numbers::pi / 180.0) + 1.0) * 25.0;
            EXPECT_NEAR(sensor_radius(m, i, 25), radius, 1e-4) << trial << " node " << i;
            EXPECT_GT(angle, -180.0);
            EXPECT_LE(angle, 180.0);
            ++compared;
        }
    }
    EXPECT_GT(compared, 1900);
}

// --- holding a node with the pointer -------------------------------------------

TEST(Mouse, APressOnANodeHoldsItUntilTheReleaseAndANewLayoutLetsGo) {
    NodeModel m;
    move_to(m, 100, 200);
    press_at(m, 100, 200);
    EXPECT_EQ(m.dragged, 1);
    drag_to(m, 120, 220);
    EXPECT_EQ(m.dragged, 1);
    m.handle_mouse(MouseEvent::release, kWindowHeight, 120, window_y(220));
    EXPECT_EQ(m.dragged, -1);
    move_to(m, 400, 10);
    press_at(m, 400, 10);
    EXPECT_EQ(m.dragged, -1) << "a press away from the nodes holds none";
    move_to(m, 50, 200);
    press_at(m, 50, 200);
    m.node_states = {NodeState::placed, NodeState::held, NodeState::held};
    m.set_node_count(4);
    EXPECT_EQ(m.dragged, -1);
    EXPECT_TRUE(m.node_states.empty());
}
