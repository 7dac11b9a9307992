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
    // The links as integer differences, exact in double; their lengths do not
    // matter to atan2, so they are not normalised.
    double in_x = 1.0, in_y = 0.0, out_x = 1.0, out_y = 0.0;
    if (i > 0) {
        in_x = static_cast<double>(chain[i].x) - chain[i - 1].x;
        in_y = static_cast<double>(chain[i].y) - chain[i - 1].y;
    }
    if (i + 1 < chain.size()) {
        out_x = static_cast<double>(chain[i + 1].x) - chain[i].x;
        out_y = static_cast<double>(chain[i + 1].y) - chain[i].y;
    }
    if ((in_x == 0.0 && in_y == 0.0) || (out_x == 0.0 && out_y == 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    const double cross = in_x * out_y - in_y * out_x;
    const double dot = in_x * out_x + in_y * out_y;
    // Folded straight back is one angle, not -180 or 180 by the sign of a zero.
    if (cross == 0.0 && dot < 0.0) return 180.0;
    return std::atan2(cross, dot) * (180.0 / std::numbers::pi);
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
