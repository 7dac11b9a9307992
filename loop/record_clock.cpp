#include "loop/record_clock.h"

namespace {

// Steps between frame times longer than this are a jump, not a frame interval.
constexpr double kLongestStepMs = 5000.0;

}  // namespace

double RecordClock::source_stamp(double source_ms, double nominal_ms) {
    const double step = last_step_ms_ > 0 ? last_step_ms_ : nominal_ms;
    if (!following_) {
        // Stamps go on from the last one (a stopwatch stamp, another source).
        offset_ms_ = last_stamp_ms_ < 0 ? 0.0 : last_stamp_ms_ + step - source_ms;
        following_ = true;
    } else {
        const double gap = source_ms - last_source_ms_;
        if (gap > 0 && gap <= kLongestStepMs) {
            last_step_ms_ = gap;
        } else {
            offset_ms_ += last_source_ms_ + step - source_ms;
        }
    }
    last_source_ms_ = source_ms;
    last_stamp_ms_ = source_ms + offset_ms_;
    return last_stamp_ms_;
}

double RecordClock::stopwatch_stamp(double now_ms) {
    following_ = false;
    last_stamp_ms_ = now_ms;
    return now_ms;
}
