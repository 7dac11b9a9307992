#pragma once
// A take as a CSV file (RFC 4180: comma-separated fields, CRLF line ends, one
// header row), one row per frame:
//
//   frame,time_ms,n0_x,n0_y,n0_xs,n0_ys,n0_value,n0_angle_deg,n0_state,n1_x,...
//
// x and y are the node's integer position, xs and ys its sub-pixel centre.
// Every field comes from measure_frame (the angle from the sub-pixel centres
// where the node and its neighbours all have one, else from the positions).
// The per-node columns are one list in csv_file.cpp. Numbers use '.' as the decimal point whatever the
// locale; times, centres and angles have three decimals. A node without an
// angle (a link of length 0), a centre nobody measured and a state nobody
// reported give empty fields. No field ever needs quoting.

#include <string>
#include <string_view>

#include "measure/frame_measure.h"
#include "measure/frame_sink.h"
#include "measure/frame_table.h"
#include "platform/file_io.h"

// The header row's fields for a take of `nodes` nodes, without the line end.
std::string csv_header(int32_t nodes);

// One frame's row, line end included, appended to `out`.
void append_csv_row(std::string& out, const FrameMeasure& frame);

// The whole file's text.
std::string format_csv(const FrameTable& table, const MeasureContext& context = {});

// "tracked", "held", "placed", "predicted"; empty for unknown.
std::string_view state_name(NodeState state);

// Writes the file through a temporary file renamed over `path`, like every
// other save: false, with any old file untouched, when it cannot be written.
bool save_csv(const FrameTable& table, const std::string& path, const MeasureContext& context = {});

// The CSV of a run written as its frames come: the header at once, then each
// row whole, reaching the file at least once a second (see
// platform::StreamWriter), so a run that is killed leaves every row finished
// before on disk. Memory stays the same however long the run. `file` is
// opened by the caller (a partial file beside the target, standard output, a
// device) and outlives the sink.
class CsvSink final : public FrameSink {
public:
    CsvSink(platform::OutputFile& file, int32_t nodes);
    bool take(const FrameMeasure& frame) override;
    // Writes the rest and commits the file with every row; after a failed
    // write the file is abandoned instead (the target untouched).
    bool finish() override;
    // errno of a failed write, 0 while none; safe during the run.
    int error() const { return writer_.error(); }

private:
    platform::OutputFile& file_;
    platform::StreamWriter writer_;
    std::string row_;  // kept for its storage
    bool failed_ = false;
    bool finished_ = false;
};
