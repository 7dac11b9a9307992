#pragma once
// The numbers of one frame: every node's position, state, sub-pixel centre,
// bend angle and place in the source's own pixels. Every number the program
// shows, writes or sends about a frame comes from measure_frame: the preview's
// labels, the sensor group, the chart, the CSV, the batch run and any stream.
// No caller computes an angle or a coordinate of its own, so all of them agree
// to the last digit.

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "calib/calibration.h"
#include "camera/source_geometry.h"
#include "model/node_model.h"

struct NodeMeasure {
    ModelNode node{0, 0, 0};               // the integer position as tracking left it
    NodeState state = NodeState::unknown;  // what tracking did with the node
    SubPixelCentre centre;                 // its cluster's weighted centre; none where not measured
    // Where the node's numbers are taken, in frame coordinates: the sub-pixel
    // centre where it has one, else the integer position.
    double x = 0.0;
    double y = 0.0;
    // The bend at this node in degrees, (-180, 180]; NaN where a link has no
    // length. From the sub-pixel centres when the node and the neighbours its
    // links reach all have one, else from the integer positions; in the
    // calibrated plane when there is a calibration.
    double angle_deg = std::numeric_limits<double>::quiet_NaN();
    // (x, y) in the source's own pixels (see source_geometry.h); NaN when
    // the measurement knows no source geometry.
    double u = std::numeric_limits<double>::quiet_NaN();
    double v = std::numeric_limits<double>::quiet_NaN();
    // The node in the calibrated plane, in its unit; NaN without a calibration.
    double world_x = std::numeric_limits<double>::quiet_NaN();
    double world_y = std::numeric_limits<double>::quiet_NaN();
    // Known only after recording, from the whole take (measure/take_kinematics.h):
    // the filtered bend angle, its rate in degrees per second, and the
    // node's speed in the world unit (source pixels without a calibration)
    // per second. NaN where not worked out.
    double angle_f_deg = std::numeric_limits<double>::quiet_NaN();
    double omega_dps = std::numeric_limits<double>::quiet_NaN();
    double speed = std::numeric_limits<double>::quiet_NaN();
};

struct FrameMeasure {
    int64_t frame = 0;     // the frame's number in its take or run, from 0
    double time_ms = 0.0;  // since the first frame of the take or run
    std::vector<NodeMeasure> nodes;
};

// What maps frame coordinates onward. Without a geometry, u and v stay NaN;
// without a geometry and a calibration made for it, so do world_x and world_y,
// and angles are measured in the frame.
struct MeasureContext {
    const SourceGeometry* geometry = nullptr;
    bool y_invert = false;  // node positions count rows from the frame's other end
    const CalibrationMap* calibration = nullptr;
};

// The chain of one frame: `states` and `centres` beside `nodes`, or empty
// when none were kept. `out` keeps its storage from frame to frame.
void measure_frame(int64_t frame, double time_ms, std::span<const ModelNode> nodes,
                   std::span<const NodeState> states, std::span<const SubPixelCentre> centres,
                   const MeasureContext& context, FrameMeasure& out);

// A model as it stands now (the live model, or an animation's model showing
// its frame): its nodes with the states and sub-pixel centres tracking or the
// recording left beside them, as frame 0 at time 0.
void measure_model(const NodeModel& model, const MeasureContext& context, FrameMeasure& out);
