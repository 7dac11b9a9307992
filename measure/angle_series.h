#pragma once
// Bend angles over time, one trace per node: what the strip chart draws for
// a recording, or for the live model over its last seconds.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

#include "measure/frame_measure.h"
#include "model/animation.h"

struct AngleSeries {
    int32_t nodes = 0;
    std::deque<double> times_ms;  // one per sample, rising
    std::deque<float> angles;     // node n of sample s at s * nodes + n; NaN where it has none

    size_t size() const { return times_ms.size(); }
    void clear();
    float angle(size_t sample, size_t node) const { return angles[sample * static_cast<size_t>(nodes) + node]; }

    // The measured chain's angles as the next sample. A chain of another
    // length starts the series anew.
    void append(double time_ms, const FrameMeasure& chain);

    // Forgets the samples older than `time_ms`, oldest first.
    void drop_before(double time_ms);
};

// Frames `from` to frame_count - 1 of a recording appended to `out`, at their
// times since frame 0, measured with the sub-pixel centres the recording
// kept, in `context` (the take's source and calibration, as its CSV). Never
// more frames than the buffer holds.
void append_frames(const Animation& a, int32_t from, AngleSeries& out, const MeasureContext& context = {});

// The recorded frame nearest to a time since frame 0 (the earlier one on a
// tie), for time stamps that rise as recording makes them; -1 when nothing is
// recorded.
int32_t frame_at_time(const Animation& a, double time_ms);
