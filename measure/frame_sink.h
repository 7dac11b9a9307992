#pragma once
// Where finished frames go. The batch run and the window's cycle hand every
// analysed frame, measured once by measure_frame, to each sink they were
// given: a table in memory, a CSV written row by row, a stream to another
// program. A sink never changes the analysis and never throws.

#include <cstdint>

#include "measure/frame_measure.h"

// Where a take begins or ends in the frames a sink is given.
enum class TakeEdge { start, stop };

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One frame, in order. False when the sink failed for good; the run then
    // stops feeding it and goes on with the others.
    virtual bool take(const FrameMeasure& frame) = 0;
    // The run is over (ended, stopped or failed): flush and close. Called on
    // every sink, also on one whose take() failed. False when what the sink
    // holds could not be completed.
    virtual bool finish() { return true; }
    // A take began with frame `frame` (start) or ended with it (stop), in the
    // numbering of the frames given, so another recording can be lined up
    // with it. Sinks that keep no takes ignore it.
    virtual void take_edge(TakeEdge edge, int64_t frame) { (void)edge, (void)frame; }
};
