#include "video/pacer.h"

namespace {

using Ms = std::chrono::duration<double, std::milli>;

}  // namespace

Pacer::Clock::time_point Pacer::at(double ms_from_anchor) const {
    return anchor_wall_ + std::chrono::duration_cast<Clock::duration>(Ms(ms_from_anchor));
}

Pacer::Clock::time_point Pacer::due(double time_ms, Line line, Clock::time_point now) {
    const double gap = time_ms - last_ms_;
    if (!anchored_ || line == Line::restarts) {
        anchor_wall_ = now;
        anchor_ms_ = time_ms;
        last_gap_ms_ = 0;
    } else if (line == Line::next_pass || gap <= 0.0 || gap > kLongestGapMs) {
        // The last picture keeps the interval it had to its own predecessor
        // (a file's frames are evenly spaced), or the nominal one.
        const double last_interval = last_gap_ms_ > 0 ? last_gap_ms_ : interval_ms_;
        anchor_wall_ = last_due_ + std::chrono::duration_cast<Clock::duration>(Ms(last_interval));
        anchor_ms_ = time_ms;
        last_gap_ms_ = 0;
    } else {
        last_gap_ms_ = gap;
    }
    anchored_ = true;
    last_ms_ = time_ms;
    last_due_ = at(time_ms - anchor_ms_);
    return last_due_;
}
