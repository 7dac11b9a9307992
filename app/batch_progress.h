#pragma once
// The batch run's progress on the error stream: on a terminal a bar redrawn
// in place, otherwise a plain line every few seconds, for logs. Many runs at
// once show a line each.

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

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

// What a run tells of its progress while it goes on, from its own thread.
class RunProgress {
  public:
    virtual ~RunProgress() = default;
    // The source is open and the run begins: the frames it expects, -1 when unknown.
    virtual void begin(int64_t total) = 0;
    // After each frame, with the frames done and the seconds since the start.
    virtual void update(int64_t done, double seconds) = 0;
    // The run is over.
    virtual void finish(int64_t done, double seconds) = 0;
};

class ProgressReport : public RunProgress {
  public:
    // `terminal`: draw the bar in place every 0.1 s; otherwise a line every 2 s.
    ProgressReport(std::ostream& out, bool terminal, int64_t total = -1)
        : out_(out), terminal_(terminal), total_(total) {}

    void begin(int64_t total) override { total_ = total; }
    void update(int64_t done, double seconds) override;
    // The last figures, and a line end after a bar.
    void finish(int64_t done, double seconds) override;

  private:
    std::ostream& out_;
    bool terminal_;
    int64_t total_;
    double shown_at_ = 0.0;  // seconds of the last output
};

// A run's line among many: its name, padded to `name_width`, then its bar
// (terminal) or "name: " and its plain line (log).
std::string board_line(const std::string& name, int name_width, const ProgressFigures& figures,
                       bool terminal);

// The progress of many runs at once. Each run feeds its slot (run(i)) from
// its own thread; one thread draws. On a terminal the running runs' lines are
// redrawn in place, and a finished run's last line stays above them; off a
// terminal every running run writes a line every 2 s, and a finished run its
// last line at once.
class ProgressBoard {
  public:
    ProgressBoard(std::ostream& out, bool terminal, std::vector<std::string> names);
    ProgressBoard(const ProgressBoard&) = delete;
    ProgressBoard& operator=(const ProgressBoard&) = delete;

    RunProgress& run(size_t i) { return slots_[i]; }
    // Run i is over; `last_line` is what stays of it.
    void end(size_t i, const std::string& last_line);
    // Draws, at `seconds` since the start. `interrupted`: something else wrote
    // to the stream since the last draw, so the lines drawn are no longer the
    // last ones on the terminal and are drawn anew below.
    void draw(double seconds, bool interrupted);

  private:
    struct Slot final : RunProgress {
        ProgressBoard* board = nullptr;
        ProgressFigures figures;
        bool begun = false;
        bool ended = false;
        bool told = false;  // its last line is out
        std::string last_line;
        void begin(int64_t total) override;
        void update(int64_t done, double seconds) override;
        void finish(int64_t, double) override {}
    };

    std::ostream& out_;
    bool terminal_;
    std::vector<std::string> names_;
    int name_width_ = 0;
    std::mutex mutex_;  // guards the slots
    std::vector<Slot> slots_;
    int drawn_ = 0;           // lines of the block on the terminal
    double shown_at_ = -1e9;  // seconds of the last log lines
};
