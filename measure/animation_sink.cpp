#include "measure/animation_sink.h"

#include <algorithm>

#include "model/animation_file.h"
#include "model/model_limits.h"

int64_t AnimationSink::max_frames(int32_t nodes) {
    if (nodes <= 0) return kMaxAnimationFrames;
    return std::min<int64_t>(kMaxAnimationFrames, kMaxAnimationEntries / nodes);
}

AnimationSink::AnimationSink(std::string file_name, const NodeModel& model, int32_t nodes, int64_t expected_frames,
                             Log log, int64_t bound)
    : file_name_(std::move(file_name)),
      model_(model),
      nodes_(nodes),
      max_frames_(bound >= 0 ? std::min(bound, max_frames(nodes)) : max_frames(nodes)),
      log_(log) {
    if (expected_frames >= 0) {
        const size_t frames = static_cast<size_t>(std::min(expected_frames, max_frames_));
        stamps_.reserve(frames);
        entries_.reserve(frames * static_cast<size_t>(std::max(nodes, 0)));
    }
}

bool AnimationSink::take(const FrameMeasure& frame) {
    if (full_ || frame.nodes.size() != static_cast<size_t>(std::max(nodes_, 0))) return false;
    if (static_cast<int64_t>(stamps_.size()) >= max_frames_) {
        full_ = true;
        return false;
    }
    stamps_.push_back(static_cast<float>(frame.time_ms));
    for (const NodeMeasure& m : frame.nodes) entries_.push_back(m.node);
    return true;
}

bool AnimationSink::finish() {
    if (finished_) return written_;
    finished_ = true;
    const AnimationFrames taken{frames(), nodes_, stamps_, entries_};
    written_ = save_animation_frames(taken, model_, file_name_, log_, true);
    return written_;
}
