#pragma once
// The batch run's progress on the error stream: on a terminal a bar redrawn
// in place, otherwise a plain line every few seconds, for logs.

#include <cstdint>
#include <ostream>
#include <string>

struct ProgressFigures {
    int64_t done = 0;
    int64_t total = -1;  // -1 when the source does not know its length
    double seconds = 0;  // since the run began
};

// "[#########-----------]   4500/10000 frames   21034 fps   0:00 left", or
// without a total "4500 frames   21034 fps". `width` is the bar's.
std::string progress_bar(const ProgressFigures& figures, int width);

// "4500/10000 frames, 21034 frames/s, 0:00 left" (without a total
// "4500 frames, 21034 frames/s").
std::string progress_line(const ProgressFigures& figures);

class ProgressReport {
public:
    // `terminal`: draw the bar in place every 0.1 s; otherwise a line every 2 s.
    ProgressReport(std::ostream& out, bool terminal, int64_t total) : out_(out), terminal_(terminal), total_(total) {}

    // After each frame, with the frames done and the seconds since the start.
    void update(int64_t done, double seconds);
    // The last figures, and a line end after a bar.
    void finish(int64_t done, double seconds);

private:
    std::ostream& out_;
    bool terminal_;
    int64_t total_;
    double shown_at_ = 0.0;  // seconds of the last output
};
