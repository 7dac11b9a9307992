#pragma once
// A run's frames as an animation file that "playback:" loads. The file's
// header needs the frame count, so the frames are kept until the run ends,
// compactly (positions and a time stamp, all the file holds), and written
// then with the chain's ".model" beside them. The buffer holds at most what
// an animation may (model/model_limits.h): the frame that would pass the
// bound is refused, and the file holds the frames before it.

#include <cstdint>
#include <string>
#include <vector>

#include "base/log.h"
#include "measure/frame_sink.h"
#include "model/node_model.h"

class AnimationSink final : public FrameSink {
public:
    // `model` is written beside the file as it stands when the run ends.
    // `expected_frames`, when known (0 or more), sizes the buffer at once.
    // `bound`: the most frames it keeps, max_frames(nodes) unless smaller.
    AnimationSink(std::string file_name, const NodeModel& model, int32_t nodes, int64_t expected_frames, Log log,
                  int64_t bound = -1);

    // False once the bound is reached (full() then) or the frame has another
    // number of nodes than the first.
    bool take(const FrameMeasure& frame) override;
    // Writes the file with the frames taken (a device or pipe takes them
    // without a companion); false when it cannot be written.
    bool finish() override;

    bool full() const { return full_; }
    int32_t frames() const { return static_cast<int32_t>(stamps_.size()); }
    // The most frames an animation of `nodes` nodes may hold.
    static int64_t max_frames(int32_t nodes);

private:
    std::string file_name_;
    const NodeModel& model_;
    int32_t nodes_;
    int64_t max_frames_;
    Log log_;
    std::vector<float> stamps_;
    std::vector<ModelNode> entries_;
    bool full_ = false;
    bool finished_ = false;
    bool written_ = false;
};
