#include "display/angle_labels.h"

#include <GL/gl.h>

#include "measure/frame_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string angle_label(double degrees) {
    if (!std::isfinite(degrees)) return {};
    char text[32];
    // A value that rounds to zero shows "0.0", not "-0.0".
    const double shown = std::round(degrees * 10.0) / 10.0;
    std::snprintf(text, sizeof text, "%.1f", shown == 0.0 ? 0.0 : shown);
    return text;
}

void measure_angle_labels(const NodeModel& model, const MeasureContext& context, std::vector<double>& out) {
    out.clear();
    if (!model.visible || model.nodes.empty()) return;
    // The angles the CSV writes: from the sub-pixel centres where the nodes have them.
    FrameMeasure measured;
    measure_model(model, context, measured);
    for (const NodeMeasure& node : measured.nodes) out.push_back(node.angle_deg);
}

void draw_angle_labels(glFont& font, const NodeModel& model, int32_t line_width, float scale,
                       const MeasureContext& context) {
    std::vector<double> angles;
    measure_angle_labels(model, context, angles);
    draw_angle_labels(font, model, line_width, scale, angles);
}

void draw_angle_labels(glFont& font, const NodeModel& model, int32_t line_width, float scale,
                       std::span<const double> angles_deg) {
    if (!model.visible || model.nodes.empty()) return;
    // Clear of the node box (half-size line width + 5) and of its highlight boxes.
    const int32_t offset = std::clamp(line_width, 1, 10) + 12;
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    begin_text(font);
    for (size_t i = 0; i < model.nodes.size() && i < angles_deg.size(); ++i) {
        const std::string text = angle_label(angles_deg[i]);
        if (text.empty()) continue;
        const double x = static_cast<double>(model.nodes[i].x) * scale + offset;
        const double y = static_cast<double>(model.nodes[i].y) * scale + offset - 8;
        // Nodes loaded from a file may lie anywhere; text that far off is not drawn.
        if (std::fabs(x) > 1e6 || std::fabs(y) > 1e6) continue;
        font.print(static_cast<int32_t>(x), static_cast<int32_t>(y), text.c_str());
    }
    end_text(font);
}
