#include "display/draw.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr int kDiscSteps = 36;  // 10 degrees each

// sin and cos of 0, 10, ..., 360 degrees, computed once with the float steps
// the fan uses, so the table holds exactly what a per-vertex call would give.
struct FanTable {
    std::array<float, kDiscSteps + 1> sin_a{};
    std::array<float, kDiscSteps + 1> cos_a{};
    FanTable() {
        float a = 0.0f;
        for (int k = 0; k <= kDiscSteps; ++k, a += 10.0f) {
            sin_a[k] = std::sin(a * kDegreesToRadians);
            cos_a[k] = std::cos(a * kDegreesToRadians);
        }
    }
};

const FanTable& fan_table() {
    static const FanTable table;
    return table;
}

// The line width as drawn: the "line width" control's range, 1 to 10. An
// options file may hold any int32; beyond that range the box and arm sizes
// (line width + 5 and more) would overflow or cover the whole view.
int32_t drawn_line_width(int32_t line_width) { return std::clamp(line_width, 1, 10); }

bool is_drawable_node(const NodeModel& model, int32_t i) {
    return i >= 0 && static_cast<size_t>(i) < model.nodes.size() &&
           static_cast<size_t>(i) < model.sensors.size();
}

}  // namespace

void draw_node_box(int32_t x, int32_t y, int32_t h) {
    // In double: a node loaded from a model file may lie anywhere in the
    // int32 range, where x + h would overflow. Integers up to 2^53 stay exact.
    const double left = static_cast<double>(x) - h, right = static_cast<double>(x) + h;
    const double bottom = static_cast<double>(y) - h, top = static_cast<double>(y) + h;
    glVertex2d(left, bottom);
    glVertex2d(right, bottom);
    glVertex2d(right, bottom);
    glVertex2d(right, top);
    glVertex2d(right, top);
    glVertex2d(left, top);
    glVertex2d(left, top);
    glVertex2d(left, bottom);
}

void draw_sensor_disc(const NodeModel& model, int32_t i, int32_t sensor_max_radius) {
    if (!is_drawable_node(model, i)) return;
    const AngularSensor& sensor = model.sensors[static_cast<size_t>(i)];
    if (!sensor.visible) return;
    const SensorCentre centre = sensor_centre(model, i);
    const float cx = static_cast<float>(centre.x);
    const float cy = static_cast<float>(centre.y);
    const float r = sensor_radius(model, i, sensor_max_radius);
    glColor4f(sensor.red, sensor.green, sensor.blue, sensor.alpha);
    // From the top of the circle, clockwise on the screen.
    const FanTable& t = fan_table();
    for (int k = 0; k < kDiscSteps; ++k) {
        glVertex2f(cx, cy);
        glVertex2f(cx + r * t.sin_a[k], cy + r * t.cos_a[k]);
        glVertex2f(cx + r * t.sin_a[k + 1], cy + r * t.cos_a[k + 1]);
    }
}

void draw_model(const NodeModel& model, int32_t options_line_width, int32_t sensor_max_radius) {
    if (!model.visible) return;
    const int32_t line_width = drawn_line_width(options_line_width);
    // A model whose lists disagree draws only the nodes that have a sensor.
    const int32_t n = static_cast<int32_t>(std::min(model.nodes.size(), model.sensors.size()));

    // Discs first, so boxes, links and highlights lie on top of them.
    glBegin(GL_TRIANGLES);
    for (int32_t i = 0; i < n; ++i) draw_sensor_disc(model, i, sensor_max_radius);
    glEnd();

    glLineWidth(static_cast<GLfloat>(line_width));
    glBegin(GL_LINES);
    for (int32_t i = 0; i < n; ++i) {
        if (i == 0) {
            glColor4f(1.0f, 0.0f, 0.0f, model.alpha);
        } else {
            glColor4f(0.0f, 1.0f, 0.0f, model.alpha);
        }
        const ModelNode& node = model.nodes[static_cast<size_t>(i)];
        draw_node_box(node.x, node.y, line_width + 5);
    }
    // The links show the model colour with its green and blue exchanged.
    glColor4f(model.red, model.blue, model.green, model.alpha);
    for (int32_t i = 1; i < n; ++i) {
        const ModelNode& a = model.nodes[static_cast<size_t>(i - 1)];
        const ModelNode& b = model.nodes[static_cast<size_t>(i)];
        glVertex2i(a.x, a.y);
        glVertex2i(b.x, b.y);
    }
    // The hover box (light blue), then the selection box (red) outside it.
    const auto highlight = [&](int32_t i, float r, float g, float b, int32_t half_size) {
        if (!is_drawable_node(model, i)) return;
        glColor4f(r, g, b, 1.0f);
        const ModelNode& node = model.nodes[static_cast<size_t>(i)];
        draw_node_box(node.x, node.y, half_size);
    };
    highlight(model.hovered, 0.5f, 0.5f, 1.0f, line_width + 9);
    highlight(model.selected, 1.0f, 0.0f, 0.0f, line_width + 11);
    glEnd();
}

void draw_state_markers(const NodeModel& model, int32_t line_width) {
    if (!model.visible) return;
    const size_t n = std::min(model.nodes.size(), model.node_states.size());
    constexpr int32_t kStateMarkerHalf = 4;
    // The selection box's half size (line width + 11), a gap of 2, the marker's half.
    const double offset = drawn_line_width(line_width) + 11 + 2 + kStateMarkerHalf;
    // From -half to half + 1 around the centre: the quad covers the pixels
    // centre - half to centre + half, whose centres lie half a unit on.
    const double low = -kStateMarkerHalf, high = kStateMarkerHalf + 1.0;
    glBegin(GL_QUADS);
    for (size_t i = 0; i < n; ++i) {
        switch (model.node_states[i]) {
            case NodeState::tracked: glColor4f(0.0f, 1.0f, 1.0f, 1.0f); break;
            case NodeState::held: glColor4f(1.0f, 0.55f, 0.0f, 1.0f); break;
            case NodeState::placed: glColor4f(1.0f, 1.0f, 1.0f, 1.0f); break;
            case NodeState::predicted: glColor4f(1.0f, 0.4f, 0.7f, 1.0f); break;
            default: continue;
        }
        // In double, as the boxes: a node may lie anywhere in the int32 range.
        const double x = static_cast<double>(model.nodes[i].x);
        const double cx = x - offset - kStateMarkerHalf >= 0 ? x - offset : x + offset;
        const double cy = static_cast<double>(model.nodes[i].y);
        glVertex2d(cx + low, cy + low);
        glVertex2d(cx + high, cy + low);
        glVertex2d(cx + high, cy + high);
        glVertex2d(cx + low, cy + high);
    }
    glEnd();
}

void draw_cluster_crosses(const ClusterList& clusters, int32_t options_line_width) {
    const int32_t line_width = drawn_line_width(options_line_width);
    const int32_t arm = line_width + 5;
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    glLineWidth(static_cast<GLfloat>(line_width));
    glBegin(GL_LINES);
    for (const Cluster& c : clusters) {
        glVertex2i(c.x - arm, c.y);
        glVertex2i(c.x + arm, c.y);
        glVertex2i(c.x, c.y - arm);
        glVertex2i(c.x, c.y + arm);
    }
    glEnd();
}

void draw_overlay_lines(const std::vector<OverlayLine>& lines) {
    glLineWidth(1.0f);
    for (const OverlayLine& line : lines) {
        glColor4f(line.red, line.green, line.blue, 1.0f);
        glBegin(GL_LINE_STRIP);
        for (const PlanePoint& p : line.points) {
            if (std::isnan(p.x) || std::isnan(p.y)) {
                glEnd();
                glBegin(GL_LINE_STRIP);
                continue;
            }
            // Through pixel centres, as the node boxes.
            glVertex2d(p.x + 0.5, p.y + 0.5);
        }
        glEnd();
    }
}
