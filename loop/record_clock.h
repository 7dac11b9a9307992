#pragma once
// The times a recording in the window stamps on its frames. A file or image
// sequence has times of its own: each frame is stamped with the time the
// source gives it, so a take lasts as long as the video it was made from,
// however the loop ran. Stamps keep rising when the source goes back (a loop
// starts again, a step or seek back): such a frame comes one frame interval
// after the last. A camera, and the synthetic camera, are stamped by the
// stopwatch, as they arrive.

struct RecordClock {
    // A frame with source time `source_ms`; `nominal_ms` is the source's frame
    // interval, for the first step back before any step was seen.
    double source_stamp(double source_ms, double nominal_ms);
    // A frame stamped by the stopwatch.
    double stopwatch_stamp(double now_ms);
    // The next source frame starts a time line of its own (another source).
    void restart() { following_ = false; }

private:
    bool following_ = false;  // the last stamp came from the source's times
    double last_source_ms_ = 0;
    double last_stamp_ms_ = -1;
    double last_step_ms_ = 0;  // the last believable step between two frames
    double offset_ms_ = 0;     // stamp = source time + offset
};
