#include "measure/frame_measure.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// World positions and angles in the calibrated plane. The angle follows the
// frame's rule (centres when the node and its linked neighbours all have one,
// else integer positions), so only the plane differs.
void measure_in_plane(const MeasureContext& context, FrameMeasure& out) {
    const size_t n = out.nodes.size();
    // The integer positions first, then the centres where known.
    std::vector<PlanePoint> source(2 * n), world(2 * n);
    for (size_t i = 0; i < n; ++i) {
        const NodeMeasure& m = out.nodes[i];
        const PlanePoint position{static_cast<double>(m.node.x), static_cast<double>(m.node.y)};
        source[i] = frame_to_source(*context.geometry, position, context.y_invert);
        source[n + i] = m.centre.known() ? PlanePoint{m.u, m.v} : PlanePoint{kNaN, kNaN};
    }
    to_world(*context.calibration, source, world);
    std::vector<double> xs(n), ys(n), cxs(n), cys(n);
    for (size_t i = 0; i < n; ++i) {
        xs[i] = world[i].x, ys[i] = world[i].y;
        cxs[i] = world[n + i].x, cys[i] = world[n + i].y;
        NodeMeasure& m = out.nodes[i];
        const PlanePoint used = m.centre.known() ? world[n + i] : world[i];
        m.world_x = used.x;
        m.world_y = used.y;
    }
    for (size_t i = 0; i < n; ++i) {
        const size_t first = i > 0 ? i - 1 : i, last = i + 1 < n ? i + 1 : i;
        bool centres = true;
        for (size_t j = first; centres && j <= last; ++j) centres = out.nodes[j].centre.known();
        out.nodes[i].angle_deg = centres ? bend_angle_deg(cxs, cys, i) : bend_angle_deg(xs, ys, i);
    }
}

}  // namespace

void measure_frame(int64_t frame, double time_ms, std::span<const ModelNode> nodes,
                   std::span<const NodeState> states, std::span<const SubPixelCentre> centres,
                   const MeasureContext& context, FrameMeasure& out) {
    out.frame = frame;
    out.time_ms = time_ms;
    out.nodes.resize(nodes.size());
    const bool have_centres = centres.size() == nodes.size();
    for (size_t n = 0; n < nodes.size(); ++n) {
        NodeMeasure& m = out.nodes[n];
        m = NodeMeasure{};
        m.node = nodes[n];
        m.state = n < states.size() ? states[n] : NodeState::unknown;
        m.centre = have_centres ? centres[n] : SubPixelCentre{};
        m.x = m.centre.known() ? double{m.centre.x} : static_cast<double>(m.node.x);
        m.y = m.centre.known() ? double{m.centre.y} : static_cast<double>(m.node.y);
        m.angle_deg = bend_angle_deg(nodes, have_centres ? centres : std::span<const SubPixelCentre>{}, n);
        if (context.geometry != nullptr) {
            const PlanePoint p = frame_to_source(*context.geometry, PlanePoint{m.x, m.y}, context.y_invert);
            m.u = p.x;
            m.v = p.y;
        }
    }
    if (context.geometry != nullptr && context.calibration != nullptr) measure_in_plane(context, out);
}

void measure_model(const NodeModel& model, const MeasureContext& context, FrameMeasure& out) {
    measure_frame(0, 0.0, model.nodes, model.node_states, model.sub_pixel_centres, context, out);
}
