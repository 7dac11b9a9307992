#include "measure/frame_measure.h"

void measure_frame(int64_t frame, double time_ms, std::span<const ModelNode> nodes,
                   std::span<const NodeState> states, std::span<const SubPixelCentre> centres,
                   const MeasureContext& context, FrameMeasure& out) {
    out.frame = frame;
    out.time_ms = time_ms;
    out.nodes.resize(nodes.size());
    const bool have_centres = centres.size() == nodes.size();
    for (size_t n = 0; n < nodes.size(); ++n) {
        NodeMeasure& m = out.nodes[n];
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
        } else {
            m.u = m.v = std::numeric_limits<double>::quiet_NaN();
        }
    }
}

void measure_model(const NodeModel& model, const MeasureContext& context, FrameMeasure& out) {
    measure_frame(0, 0.0, model.nodes, model.node_states, model.sub_pixel_centres, context, out);
}
