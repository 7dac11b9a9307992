#include "model/node_model.h"

#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>

#include "model/distance.h"

namespace {

// A pointer nearer than this (squared) hovers a node: 30 pixels, exclusive.
constexpr int64_t kHoverReach2 = 30 * 30;

bool valid_index(const NodeModel& model, int32_t i) {
    return i >= 0 && static_cast<size_t>(i) < model.nodes.size();
}

struct Direction {
    float x;
    float y;
};

// Unit vector from a to b; a link of length 0 gives (0, 0).
Direction unit_direction(const ModelNode& a, const ModelNode& b) {
    // The difference is taken in 64 bits: nodes loaded from a file may lie far apart.
    const float dx = static_cast<float>(int64_t{b.x} - a.x);
    const float dy = static_cast<float>(int64_t{b.y} - a.y);
    const float length2 = dx * dx + dy * dy;
    if (length2 == 0.0f) return {0.0f, 0.0f};
    const float length = std::sqrt(length2);
    return {dx / length, dy / length};
}

struct Point {
    double x;
    double y;
};

// The turn at point i of a chain of n points, given by `point(j)`, from its
// incoming link to its outgoing one (an end point compares its one link with
// +x), in degrees in (-180, 180]; NaN when a link has length 0. The links'
// lengths do not matter to atan2, so they are not normalised.
template <typename PointOf>
double bend_at(size_t n, size_t i, PointOf point) {
    const Point here = point(i);
    Point in{1.0, 0.0}, out{1.0, 0.0};
    if (i > 0) {
        const Point before = point(i - 1);
        in = Point{here.x - before.x, here.y - before.y};
    }
    if (i + 1 < n) {
        const Point after = point(i + 1);
        out = Point{after.x - here.x, after.y - here.y};
    }
    if ((in.x == 0.0 && in.y == 0.0) || (out.x == 0.0 && out.y == 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    const double cross = in.x * out.y - in.y * out.x;
    const double dot = in.x * out.x + in.y * out.y;
    // Folded straight back is one angle, not -180 or 180 by the sign of a zero.
    if (cross == 0.0 && dot < 0.0) return 180.0;
    return std::atan2(cross, dot) * (180.0 / std::numbers::pi);
}

}  // namespace

NodeModel::NodeModel() { set_node_count(3); }

void NodeModel::set_node_count(int32_t n) {
    assert(n >= 0 && "set_node_count needs a count of 0 or more");
    if (n < 0) n = 0;
    visible = false;
    nodes.resize(static_cast<size_t>(n), ModelNode{0, 0, 0});
    sensors.resize(static_cast<size_t>(n));
    red = 1.0f;
    green = 1.0f;
    blue = 0.0f;
    alpha = 1.0f;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = 50 + 50 * i;
        nodes[static_cast<size_t>(i)] = ModelNode{x, 200, 255};
        sensors[static_cast<size_t>(i)].x = x;
        sensors[static_cast<size_t>(i)].y = 100;
    }
    hovered = -1;
    selected = -1;
    dragged = -1;
    node_states.clear();
    sub_pixel_centres.clear();
}

void NodeModel::pick_hovered(int32_t px, int32_t py) {
    hovered = -1;
    int64_t best = INT64_MAX;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ModelNode& node = nodes[i];
        const int64_t d = model_geometry::clamped_square(node.value, 255) +
                          model_geometry::squared_distance(node.x, node.y, px, py);
        // "<=" hands ties to the later node.
        if (d <= best && d < kHoverReach2) {
            hovered = static_cast<int32_t>(i);
            best = d;
        }
    }
}

void NodeModel::handle_mouse(MouseEvent event, int32_t window_height, int32_t event_x,
                             int32_t event_y) {
    const int32_t px = event_x;
    const int32_t py = window_height - event_y;
    switch (event) {
        case MouseEvent::press:
            selected = hovered;
            dragged = hovered;
            break;
        case MouseEvent::release:
            dragged = -1;
            break;
        case MouseEvent::drag:
            // No pick while dragging: the node grabbed at the press follows the
            // pointer however fast it moves. Its sensor stays where it is.
            if (valid_index(*this, hovered)) nodes[static_cast<size_t>(hovered)] = ModelNode{px, py, 255};
            break;
        case MouseEvent::move:
            pick_hovered(px, py);
            break;
        case MouseEvent::other:
            break;
    }
}

float sensor_radius(const NodeModel& model, int32_t i, int32_t max_radius) {
    assert(valid_index(model, i) && "sensor_radius needs the index of a node");
    if (!valid_index(model, i)) return 0.0f;
    const size_t k = static_cast<size_t>(i);
    // End nodes compare their one link with the direction +x.
    const Direction out =
        k + 1 == model.nodes.size() ? Direction{1.0f, 0.0f} : unit_direction(model.nodes[k], model.nodes[k + 1]);
    const Direction in = k == 0 ? Direction{1.0f, 0.0f} : unit_direction(model.nodes[k - 1], model.nodes[k]);
    const float cosine = out.x * in.x + out.y * in.y;
    return std::fabs((cosine + 1.0f) * static_cast<float>(max_radius));
}

double bend_angle_deg(std::span<const ModelNode> chain, size_t i) {
    assert(i < chain.size() && "bend_angle_deg needs the index of a node");
    if (i >= chain.size()) return std::numeric_limits<double>::quiet_NaN();
    // Integer positions are exact in double, and so are their differences.
    return bend_at(chain.size(), i, [&](size_t j) {
        return Point{static_cast<double>(chain[j].x), static_cast<double>(chain[j].y)};
    });
}

double bend_angle_deg(std::span<const ModelNode> chain, std::span<const SubPixelCentre> centres, size_t i) {
    assert(i < chain.size() && "bend_angle_deg needs the index of a node");
    if (i >= chain.size()) return std::numeric_limits<double>::quiet_NaN();
    const size_t first = i > 0 ? i - 1 : i, last = i + 1 < chain.size() ? i + 1 : i;
    bool all_known = centres.size() == chain.size();
    for (size_t j = first; all_known && j <= last; ++j) all_known = centres[j].known();
    if (!all_known) return bend_angle_deg(chain, i);
    return bend_at(chain.size(), i, [&](size_t j) { return Point{double{centres[j].x}, double{centres[j].y}}; });
}

double bend_angle_deg(std::span<const double> xs, std::span<const double> ys, size_t i) {
    assert(i < xs.size() && xs.size() == ys.size() && "bend_angle_deg needs the index of a node");
    if (i >= xs.size() || xs.size() != ys.size()) return std::numeric_limits<double>::quiet_NaN();
    return bend_at(xs.size(), i, [&](size_t j) { return Point{xs[j], ys[j]}; });
}

double bend_angle_deg(const NodeModel& model, int32_t i) {
    assert(valid_index(model, i) && "bend_angle_deg needs the index of a node");
    if (!valid_index(model, i)) return std::numeric_limits<double>::quiet_NaN();
    return bend_angle_deg(std::span<const ModelNode>(model.nodes), static_cast<size_t>(i));
}

SensorCentre sensor_centre(const NodeModel& model, int32_t i) {
    assert(valid_index(model, i) && "sensor_centre needs the index of a node");
    if (!valid_index(model, i)) return SensorCentre{0, 0};
    const size_t k = static_cast<size_t>(i);
    const AngularSensor& sensor = model.sensors[k];
    if (sensor.at_node) return SensorCentre{model.nodes[k].x, model.nodes[k].y};
    return SensorCentre{sensor.x, sensor.y};
}
