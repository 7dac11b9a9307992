#pragma once
// When each picture of a file or sequence is due on the wall clock, so it
// plays at its own times. A time line is anchored at one picture; the others
// are due at their distance from it. A new time line starts at the first
// picture, after a seek and after a pause; the first picture of a loop's next
// pass is due once the last picture had its full interval, so a loop shows
// every frame for as long as the file says.

#include <chrono>

class Pacer {
public:
    using Clock = std::chrono::steady_clock;
    // Time stamps further apart than this are played as one nominal interval:
    // a jump in the stamps must not stall playback.
    static constexpr double kLongestGapMs = 5000.0;

    enum class Line {
        continues,  // the picture follows the one before
        restarts,   // a new time line: due now
        next_pass   // a loop started again: due one interval after the last picture
    };

    explicit Pacer(double interval_ms) : interval_ms_(interval_ms) {}

    // When the picture of stream time `time_ms` is due, and that picture
    // becomes the one before the next.
    Clock::time_point due(double time_ms, Line line, Clock::time_point now);

private:
    Clock::time_point at(double ms_from_anchor) const;

    double interval_ms_;
    bool anchored_ = false;
    Clock::time_point anchor_wall_;
    double anchor_ms_ = 0;
    double last_ms_ = 0;
    double last_gap_ms_ = 0;  // between the last two pictures; 0 when unknown
    Clock::time_point last_due_;
};
