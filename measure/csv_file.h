#pragma once
// A take as a CSV file (RFC 4180: comma-separated fields, CRLF line ends, one
// header row), one row per frame:
//
//   frame,time_ms,n0_x,n0_y,n0_xs,n0_ys,n0_u,n0_v,n0_value,n0_angle_deg,n0_state,n1_x,...
//
// x and y are the node's integer position, xs and ys its sub-pixel centre,
// u and v that place in the source's own pixels (empty when the source's
// geometry is not known, as for a take loaded from a file). With a
// calibration, n0_X_<unit>,n0_Y_<unit> follow v: the node in the calibrated
// plane. With a filter, n0_angle_f_deg,n0_omega_dps,n0_speed follow the
// angle: the filtered angle, its rate in degrees per second and the node's
// speed per second, worked out after recording (measure/take_kinematics.h).
// Every other field comes from measure_frame (the angle from the sub-pixel
// centres where the node and its neighbours all have one, else from the
// positions; in the calibrated plane where there is one). The per-node
// columns are one list in csv_file.cpp. Numbers use '.' as the decimal point
// whatever the locale; times, centres, source pixels and angles have three
// decimals, world positions and speeds six. A field nobody measured is empty.
// No field ever needs quoting.

#include <string>
#include <string_view>

#include "measure/frame_measure.h"
#include "measure/frame_sink.h"
#include "measure/frame_table.h"
#include "platform/file_io.h"

// Which of the optional columns a file has.
struct CsvLayout {
    std::string world_unit;   // not empty: the calibrated columns, named after it
    bool kinematics = false;  // the filtered angle, its rate and the speed
};

// The layout for numbers measured with `context`: calibrated columns when
// it has a geometry and a calibration.
CsvLayout csv_layout(const MeasureContext& context, bool kinematics);

// The header row's fields for a take of `nodes` nodes, without the line end.
std::string csv_header(int32_t nodes, const CsvLayout& layout = {});

// One frame's row, line end included, appended to `out`.
void append_csv_row(std::string& out, const FrameMeasure& frame, const CsvLayout& layout = {});

struct TakeKinematics;

// The whole file's text; with `kinematics` (worked out for this table), the
// filtered columns too.
std::string format_csv(const FrameTable& table, const MeasureContext& context = {},
                       const TakeKinematics* kinematics = nullptr);

// "tracked", "held", "placed", "predicted", "filled"; empty for unknown.
std::string_view state_name(NodeState state);

// Writes the file through a temporary file renamed over `path`, like every
// other save: false, with any old file untouched, when it cannot be written.
bool save_csv(const FrameTable& table, const std::string& path, const MeasureContext& context = {},
              const TakeKinematics* kinematics = nullptr);

// The CSV of a run written as its frames come: the header at once, then each
// row whole, reaching the file at least once a second (see
// platform::StreamWriter), so a run that is killed leaves every row finished
// before on disk. Memory stays the same however long the run. `file` is
// opened by the caller (a partial file beside the target, standard output, a
// device) and outlives the sink. `layout` names the optional columns the
// frames given carry.
class CsvSink final : public FrameSink {
public:
    CsvSink(platform::OutputFile& file, int32_t nodes, const CsvLayout& layout = {});
    bool take(const FrameMeasure& frame) override;
    // Writes the rest and commits the file with every row; after a failed
    // write the file is abandoned instead (the target untouched).
    bool finish() override;
    // errno of a failed write, 0 while none; safe during the run.
    int error() const { return writer_.error(); }

private:
    platform::OutputFile& file_;
    platform::StreamWriter writer_;
    CsvLayout layout_;
    std::string row_;  // kept for its storage
    bool failed_ = false;
    bool finished_ = false;
};
