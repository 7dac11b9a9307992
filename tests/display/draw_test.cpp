// Model and cluster drawing, drawn into a real GL context and read back.

#include "display/draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "tests/display/gl_probe.h"

namespace {

using gl_probe::Pixels;
using gl_probe::ProbeWindow;
using gl_probe::Rgb;

constexpr int kSize = 512;

bool near(Rgb a, Rgb b, int tolerance = 1) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// True when some pixel of the (2r+1)^2 neighbourhood of (x, y) has the colour:
// a one-pixel line on an integer coordinate may land on either side of it.
bool colour_near(const Pixels& p, int x, int y, Rgb colour, int r = 1) {
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (near(p.at(x + dx, y + dy), colour)) return true;
    return false;
}

// Distance between the centres of the leftmost and the rightmost run of one
// colour on a row, within [x0, x1): the side of a square whose two vertical
// edges cross that row, whatever the edges' width.
double edge_distance(const Pixels& p, int row, int x0, int x1, Rgb colour) {
    std::vector<std::pair<int, int>> runs;
    for (int x = x0; x < x1; ++x) {
        if (!near(p.at(x, row), colour)) continue;
        if (!runs.empty() && runs.back().second == x - 1) {
            runs.back().second = x;
        } else {
            runs.push_back({x, x});
        }
    }
    if (runs.size() < 2) return -1;
    return (runs.back().first + runs.back().second) / 2.0 - (runs.front().first + runs.front().second) / 2.0;
}

NodeModel chain(std::vector<ModelNode> nodes) {
    NodeModel m;
    m.nodes = std::move(nodes);
    m.sensors.assign(m.nodes.size(), AngularSensor{});
    m.hovered = -1;
    m.selected = -1;
    m.visible = true;
    return m;
}

class Drawing : public ::testing::Test {
protected:
    ProbeWindow window{kSize, kSize};
};

// --- sensor discs ---------------------------------------------------------------

struct DiscCase {
    const char* name;
    std::vector<ModelNode> nodes;
    int node;
    int max_radius;
    double radius;  // expected, from the bend at the node
};

std::ostream& operator<<(std::ostream& os, const DiscCase& c) { return os << c.name; }

class DiscRadius : public Drawing, public ::testing::WithParamInterface<DiscCase> {};

TEST_P(DiscRadius, DiscAreaAndCentreFollowTheBendAtItsNode) {
    const DiscCase& c = GetParam();
    NodeModel m = chain(c.nodes);
    for (size_t i = 0; i < m.sensors.size(); ++i) m.sensors[i].visible = static_cast<int>(i) == c.node;
    m.sensors[c.node] = AngularSensor{true, true, 0, 0, 0.0f, 0.0f, 1.0f, 1.0f};
    m.alpha = 0.0f;  // boxes and links invisible: only the disc remains
    const Pixels p = window.render([&] { draw_model(m, 1, c.max_radius); });

    double n = 0, sx = 0, sy = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (p.at(x, y).b > 0) {
                ++n;
                sx += x + 0.5;
                sy += y + 0.5;
            }
    // A fan of 36 triangles covers 18 r^2 sin 10 degrees.
    const double area = 18.0 * c.radius * c.radius * std::sin(10.0 * M_PI / 180.0);
    EXPECT_NEAR(n, area, 0.03 * area + 3) << c.name;
    if (n > 0) {
        EXPECT_NEAR(sx / n, c.nodes[c.node].x, 0.5) << c.name;
        EXPECT_NEAR(sy / n, c.nodes[c.node].y, 0.5) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bends, DiscRadius,
    ::testing::Values(
        DiscCase{"straight_first", {{100, 250, 255}, {250, 250, 255}, {400, 250, 255}}, 0, 20, 40},
        DiscCase{"straight_middle", {{100, 250, 255}, {250, 250, 255}, {400, 250, 255}}, 1, 20, 40},
        DiscCase{"straight_last", {{100, 250, 255}, {250, 250, 255}, {400, 250, 255}}, 2, 20, 40},
        DiscCase{"right_angle_middle", {{100, 100, 255}, {250, 100, 255}, {250, 250, 255}}, 1, 20, 20},
        DiscCase{"right_angle_end", {{100, 100, 255}, {250, 100, 255}, {250, 250, 255}}, 2, 20, 20},
        DiscCase{"folded_back", {{100, 250, 255}, {250, 250, 255}, {100, 250, 255}}, 1, 20, 0},
        DiscCase{"one_node", {{250, 250, 255}}, 0, 30, 60}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Drawing, DiscFanStartsAtTheTopAndRunsClockwise) {
    NodeModel m = chain({{200, 200, 255}, {300, 200, 255}});
    std::vector<GLfloat> buffer(4096);
    GLint n = 0;
    window.render([&] {
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_2D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        glBegin(GL_TRIANGLES);
        draw_sensor_disc(m, 0, 20);
        glEnd();
        n = glRenderMode(GL_RENDER);
    });
    ASSERT_EQ(n, 36 * (2 + 3 * 2));  // token, count and three 2D vertices per triangle
    const float r = 40.0f;
    for (int k = 0; k < 36; ++k) {
        const GLfloat* v = &buffer[k * 8 + 2];
        EXPECT_NEAR(v[0], 200.0f, 1e-3) << k;
        EXPECT_NEAR(v[1], 200.0f, 1e-3) << k;
        const double a0 = k * 10 * M_PI / 180, a1 = (k + 1) * 10 * M_PI / 180;
        EXPECT_NEAR(v[2], 200 + r * std::sin(a0), 1e-3) << k;
        EXPECT_NEAR(v[3], 200 + r * std::cos(a0), 1e-3) << k;
        EXPECT_NEAR(v[4], 200 + r * std::sin(a1), 1e-3) << k;
        EXPECT_NEAR(v[5], 200 + r * std::cos(a1), 1e-3) << k;
    }
}

TEST_F(Drawing, DetachedSensorStaysAtItsOwnPlaceAndAHiddenOneDrawsNothing) {
    NodeModel m = chain({{100, 250, 255}, {250, 250, 255}, {400, 250, 255}});
    m.alpha = 0.0f;
    m.sensors[0].visible = false;
    m.sensors[2].visible = false;
    m.sensors[1] = AngularSensor{true, false, 300, 100, 0.0f, 0.0f, 1.0f, 1.0f};
    const Pixels p = window.render([&] { draw_model(m, 1, 20); });
    // Radius 40 (straight chain) around (300, 100), nothing near the nodes.
    EXPECT_TRUE(near(p.at(300, 100), {0, 0, 255}));
    EXPECT_TRUE(near(p.at(300, 137), {0, 0, 255}));
    EXPECT_TRUE(near(p.at(300, 143), {0, 0, 0}));
    EXPECT_EQ(p.count(0, 200, kSize, 300, [](Rgb c) { return c.b > 0; }), 0);
}

// --- boxes, links and highlights ------------------------------------------------

TEST_F(Drawing, FirstBoxRedOthersGreenDefaultLinksMagenta) {
    NodeModel m = chain({{100, 300, 255}, {250, 300, 255}, {400, 300, 255}});
    m.red = 1.0f, m.green = 1.0f, m.blue = 0.0f, m.alpha = 1.0f;  // the default model colour
    const Pixels p = window.render([&] { draw_model(m, 1, 20); });
    const int h = 6;
    EXPECT_TRUE(colour_near(p, 100, 300 - h, {255, 0, 0}));
    EXPECT_TRUE(colour_near(p, 100, 300 + h, {255, 0, 0}));
    for (int x : {250, 400}) {
        EXPECT_TRUE(colour_near(p, x, 300 - h, {0, 255, 0})) << x;
        EXPECT_TRUE(colour_near(p, x + h, 300 + 3, {0, 255, 0})) << x;
        EXPECT_FALSE(colour_near(p, x, 300 - h, {255, 0, 0})) << x;
    }
    EXPECT_TRUE(colour_near(p, 175, 300, {255, 0, 255}));
    EXPECT_TRUE(colour_near(p, 325, 300, {255, 0, 255}));
    // No link beyond the last node.
    EXPECT_FALSE(colour_near(p, 460, 300, {255, 0, 255}, 3));
}

struct LinkColour {
    float red, green, blue;
};
std::ostream& operator<<(std::ostream& os, const LinkColour& c) {
    return os << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}
class LinkColours : public Drawing, public ::testing::WithParamInterface<LinkColour> {};

TEST_P(LinkColours, LinksExchangeTheModelsGreenAndBlue) {
    const LinkColour c = GetParam();
    NodeModel m = chain({{100, 100, 255}, {400, 400, 255}});
    for (AngularSensor& s : m.sensors) s.visible = false;
    m.red = c.red, m.green = c.green, m.blue = c.blue, m.alpha = 1.0f;
    const Pixels p = window.render([&] { draw_model(m, 1, 20); });
    const Rgb expected{static_cast<int>(std::lround(c.red * 255)), static_cast<int>(std::lround(c.blue * 255)),
                       static_cast<int>(std::lround(c.green * 255))};
    EXPECT_TRUE(colour_near(p, 250, 250, expected)) << p.at(250, 250).r << "," << p.at(250, 250).g << ","
                                                    << p.at(250, 250).b;
}

INSTANTIATE_TEST_SUITE_P(Colours, LinkColours,
                         ::testing::Values(LinkColour{1.0f, 1.0f, 0.0f}, LinkColour{0.2f, 0.6f, 1.0f},
                                           LinkColour{0.0f, 0.0f, 1.0f}, LinkColour{1.0f, 0.4f, 0.8f}));

TEST_F(Drawing, OneNodeDrawsItsDiscAndARedBoxAndNoLink) {
    NodeModel m = chain({{250, 250, 255}});
    const Pixels p = window.render([&] { draw_model(m, 1, 20); });
    EXPECT_TRUE(colour_near(p, 250, 244, {255, 0, 0}));
    EXPECT_GT(p.count_all([](Rgb c) { return c.b > 100 && c.r == 0; }), 1000);  // the disc
    EXPECT_EQ(p.count_all([](Rgb c) { return c.r > 200 && c.b > 200; }), 0);  // no magenta link
}

TEST_F(Drawing, HiddenModelDrawsNothingNotEvenItsHighlights) {
    NodeModel m = chain({{100, 300, 255}, {250, 300, 255}, {400, 300, 255}});
    m.visible = false;
    m.hovered = 1;
    m.selected = 2;
    const Pixels p = window.render([&] { draw_model(m, 3, 20); });
    EXPECT_EQ(p.count_all([](Rgb c) { return c.r + c.g + c.b > 0; }), 0);
}

struct BoxCase {
    int line_width;
    bool hovered;
    bool selected;
};
std::ostream& operator<<(std::ostream& os, const BoxCase& c) {
    return os << "line width " << c.line_width << (c.hovered ? ", hovered" : "") << (c.selected ? ", selected" : "");
}
class HighlightBoxes : public Drawing, public ::testing::WithParamInterface<BoxCase> {};

// The distance between the centres of a square's left and right edges is its
// side, 2h. Wide edges of the two highlight boxes overlap, so those widths show
// one highlight at a time.
TEST_P(HighlightBoxes, NodeHoverAndSelectionBoxesHaveTheirHalfSizes) {
    const BoxCase c = GetParam();
    NodeModel m = chain({{100, 250, 255}, {250, 250, 255}, {400, 250, 255}});
    for (AngularSensor& s : m.sensors) s.visible = false;
    m.hovered = c.hovered ? 1 : -1;
    m.selected = c.selected ? 1 : -1;
    const Pixels p = window.render([&] { draw_model(m, c.line_width, 20); });
    const int row = 250 + 3;  // clear of the links on row 250
    // Only node 1's boxes lie within 150..350.
    auto side = [&](Rgb colour) { return edge_distance(p, row, 150, 350, colour); };
    const int w = c.line_width;
    EXPECT_NEAR(side({0, 255, 0}), 2 * (w + 5), 1.0);
    if (c.hovered) {
        EXPECT_NEAR(side({128, 128, 255}), 2 * (w + 9), 1.0);
    } else {
        EXPECT_EQ(p.count_all([](Rgb x) { return near(x, {128, 128, 255}); }), 0);
    }
    if (c.selected) {
        EXPECT_NEAR(side({255, 0, 0}), 2 * (w + 11), 1.0);
    } else {
        EXPECT_EQ(p.count(150, 0, 350, kSize, [](Rgb x) { return near(x, {255, 0, 0}); }), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, HighlightBoxes,
                         ::testing::Values(BoxCase{1, true, false}, BoxCase{1, false, true}, BoxCase{1, true, true},
                                           BoxCase{3, true, false}, BoxCase{3, false, true},
                                           BoxCase{3, false, false}, BoxCase{4, true, false},
                                           BoxCase{4, false, true}));

// --- cluster crosses ------------------------------------------------------------

class CrossArms : public Drawing, public ::testing::WithParamInterface<int> {};

// The run of red along an arm spans 2a pixels, a = line_width + 5.
TEST_P(CrossArms, EveryClusterGetsARedCrossWithArmsOfLineWidthPlusFive) {
    const int w = GetParam();
    const int a = w + 5;
    ClusterList clusters;
    clusters.push_back({200, 200, 255});
    clusters.push_back({350, 120, 0});
    const Pixels p = window.render([&] { draw_cluster_crosses(clusters, w); });
    const Rgb red{255, 0, 0};
    for (const Cluster& c : clusters) {
        // A one-pixel line on an integer coordinate lights the row (column) on
        // either side of it: take the fuller of the two.
        auto is_red = [&](Rgb x) { return near(x, red); };
        const int horizontal = std::max(p.count(c.x - 30, c.y, c.x + 31, c.y + 1, is_red),
                                        p.count(c.x - 30, c.y - 1, c.x + 31, c.y, is_red));
        const int vertical = std::max(p.count(c.x, c.y - 30, c.x + 1, c.y + 31, is_red),
                                      p.count(c.x - 1, c.y - 30, c.x, c.y + 31, is_red));
        EXPECT_NEAR(horizontal, 2 * a, 1) << "cluster at " << c.x;
        EXPECT_NEAR(vertical, 2 * a, 1) << "cluster at " << c.x;
    }
    // Nothing but the two crosses is drawn, and all of it is pure red.
    EXPECT_EQ(p.count_all([&](Rgb x) { return x.r + x.g + x.b > 0 && !near(x, red); }), 0);
    EXPECT_EQ(p.count(0, 0, kSize, 90, [](Rgb x) { return x.r > 0; }), 0);
}

INSTANTIATE_TEST_SUITE_P(Widths, CrossArms, ::testing::Values(1, 3, 6));

// An options file may hold any line width: the drawing keeps to the control's
// range, 1 to 10, so the sizes of line width + 5 and more never overflow.
struct StoredWidth {
    int32_t stored;
    int drawn;
};
std::ostream& operator<<(std::ostream& os, const StoredWidth& c) { return os << "line width " << c.stored; }

class OutOfRangeLineWidths : public Drawing, public ::testing::WithParamInterface<StoredWidth> {};

TEST_P(OutOfRangeLineWidths, DrawAsTheNearerEndOfTheControlsRange) {
    const StoredWidth c = GetParam();
    const int a = c.drawn + 5;
    ClusterList clusters;
    clusters.push_back({200, 200, 255});
    const Pixels crosses = window.render([&] { draw_cluster_crosses(clusters, c.stored); });
    auto is_red = [](Rgb x) { return near(x, {255, 0, 0}); };
    // A one-pixel line on an integer coordinate lights the row (column) on
    // either side of it: take the fuller of the two.
    EXPECT_NEAR(std::max(crosses.count(170, 200, 231, 201, is_red), crosses.count(170, 199, 231, 200, is_red)),
                2 * a, 1);
    EXPECT_NEAR(std::max(crosses.count(200, 170, 201, 231, is_red), crosses.count(199, 170, 200, 231, is_red)),
                2 * a, 1);
    EXPECT_EQ(crosses.count_all(is_red), crosses.count(170, 170, 231, 231, is_red));

    NodeModel m = chain({{100, 250, 255}, {250, 250, 255}, {400, 250, 255}});
    for (AngularSensor& s : m.sensors) s.visible = false;
    const Pixels boxes = window.render([&] { draw_model(m, c.stored, 20); });
    // On a row inside the box but clear of the links, which are as wide as the lines.
    EXPECT_NEAR(edge_distance(boxes, 250 + a / 2, 150, 350, {0, 255, 0}), 2 * a, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Stored, OutOfRangeLineWidths,
                         ::testing::Values(StoredWidth{0, 1}, StoredWidth{-4, 1}, StoredWidth{INT32_MIN, 1},
                                           StoredWidth{11, 10}, StoredWidth{INT32_MAX, 10}));

// A node loaded from a model file may lie anywhere in the int32 range: its box
// lies out of view, and no edge wraps round into it.
TEST_F(Drawing, NodesAtTheEndsOfTheInt32RangeDrawNothingInView) {
    for (const ModelNode node : {ModelNode{INT32_MAX, 250, 255}, ModelNode{INT32_MIN, 250, 255},
                                 ModelNode{250, INT32_MAX, 255}, ModelNode{250, INT32_MIN, 255}}) {
        NodeModel m = chain({node});
        m.hovered = 0;
        m.selected = 0;
        const Pixels p = window.render([&] { draw_model(m, 10, 20); });
        EXPECT_EQ(p.count_all([](Rgb x) { return x.r + x.g + x.b > 0; }), 0) << node.x << ", " << node.y;
    }
}

TEST_F(Drawing, EmptyClusterListDrawsNoCross) {
    const Pixels p = window.render([&] { draw_cluster_crosses(ClusterList{}, 3); });
    EXPECT_EQ(p.count_all([](Rgb c) { return c.r + c.g + c.b > 0; }), 0);
}

}  // namespace

// --- tracking state markers ------------------------------------------------------

class StateMarkers : public Drawing, public ::testing::WithParamInterface<int> {};

TEST_P(StateMarkers, EachStateGetsItsColouredSquareLeftOfTheNodeClearOfItsBoxes) {
    const int line_width = GetParam();
    // Node 4 has no state yet, node 6 none at all (the list is shorter).
    // Node 5 is too near the frame's left edge for its marker on the left.
    NodeModel m = chain({{100, 100, 255}, {200, 100, 255}, {300, 100, 255}, {400, 100, 255},
                         {100, 300, 255}, {10, 200, 255}, {200, 300, 255}});
    m.node_states = {NodeState::tracked, NodeState::held, NodeState::placed, NodeState::predicted,
                     NodeState::unknown, NodeState::tracked};
    m.selected = 0;
    const Pixels p = window.render([&] {
        draw_model(m, line_width, 20);
        draw_state_markers(m, line_width);
    });
    const Rgb cyan{0, 255, 255}, orange{255, 140, 0}, white{255, 255, 255}, pink{255, 102, 178};
    const int selection_half = line_width + 11;
    const auto square_of = [&](int x, int y, Rgb colour, bool on_the_right = false) {
        // All of the marker lies left of the selection box (or right of it,
        // mirrored), on the node's row, within 12 pixels of that box: a
        // filled 9 x 9 square.
        int left = 1 << 20, right = -1, top = -1, bottom = 1 << 20, n = 0;
        for (int yy = y - 30; yy <= y + 30; ++yy)
            for (int xx = std::max(0, x - 60); xx <= x + (on_the_right ? 60 : 0); ++xx)
                if (near(p.at(xx, yy), colour, 2)) {
                    ++n;
                    left = std::min(left, xx), right = std::max(right, xx);
                    bottom = std::min(bottom, yy), top = std::max(top, yy);
                }
        EXPECT_EQ(n, 81) << "at node " << x << "," << y;
        EXPECT_EQ(right - left, 8);
        EXPECT_EQ(top - bottom, 8);
        if (on_the_right) std::swap(left, right), left = 2 * x - left, right = 2 * x - right;
        EXPECT_LT(right, x - selection_half - 1);
        EXPECT_GE(left, x - selection_half - 12);
        EXPECT_LE(std::abs((top + bottom) / 2 - y), 1);
    };
    square_of(100, 100, cyan);
    square_of(200, 100, orange);
    square_of(300, 100, white);
    square_of(400, 100, pink);
    square_of(10, 200, cyan, true);
    // Nodes without a state: nothing of any marker colour beside them.
    for (int x : {100, 200})
        EXPECT_EQ(p.count(x - 40, 280, x - 5, 320, [](Rgb c) { return c.g > 90 && c.b > 90; }), 0) << x;

    m.visible = false;
    const Pixels hidden = window.render([&] { draw_state_markers(m, line_width); });
    EXPECT_EQ(hidden.count_all([](Rgb c) { return c.r + c.g + c.b > 0; }), 0);
}

INSTANTIATE_TEST_SUITE_P(Widths, StateMarkers, ::testing::Values(1, 6));
