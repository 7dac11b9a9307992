#pragma once
// The frames of a take as rows: per frame its time and, per node, position,
// sub-pixel centre, value and tracking state. The CSV export writes it; it is
// filled from a recording, or frame by frame from a run's measurements.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/frame_sink.h"
#include "model/animation.h"
#include "model/node_model.h"

struct FrameTable {
    int32_t nodes_per_frame = 0;
    std::vector<double> times_ms;   // one per frame
    std::vector<ModelNode> nodes;   // node n of frame f at f * nodes_per_frame + n
    std::vector<NodeState> states;  // beside `nodes`
    std::vector<SubPixelCentre> sub_pixel_centres;  // beside `nodes`; none where not measured

    size_t frame_count() const { return times_ms.size(); }

    // The frame's nodes, states and sub-pixel centres as the next frame. The
    // first frame fixes nodes_per_frame; a frame of another length later is
    // cut or padded with {0, 0, 0} to it.
    void append(const FrameMeasure& frame);
};

// Keeps every frame of a run in a table: for what needs the whole take at
// once. Memory grows with the run.
class TableSink final : public FrameSink {
public:
    explicit TableSink(FrameTable& table) : table_(table) {}
    bool take(const FrameMeasure& frame) override {
        table_.append(frame);
        return true;
    }

private:
    FrameTable& table_;
};

// Frames 0 to frame_count - 1 of a recording, at their times since frame 0.
// Never more frames than the buffer holds, whatever its counters say.
FrameTable frame_table_of(const Animation& a);

// The table as a recording that the "playback:" group can load: time stamps
// as written, the states and sub-pixel centres kept, `model` as its model.
// False, with `out` unchanged, when the table exceeds what an animation may hold.
bool animation_of(const FrameTable& table, const NodeModel& model, Animation& out);
