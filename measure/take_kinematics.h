#pragma once
// What can only be worked out over a whole take, after recording: short gaps
// filled, angles and positions low-passed with zero phase, angular velocity
// and speed. Live numbers never come from here; the CSV of a take, the batch
// run with --fill-gaps or --filter, and the "angles" window's filtered view do.
//
// A node's sample is a gap where tracking held it or memory predicted it: no
// marker was measured there. Everything else (tracked, placed, filled, and
// the unknown states of a take loaded from a file) is a measurement.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "measure/frame_measure.h"
#include "measure/frame_table.h"

bool is_gap(NodeState state);

// Fills every gap of a node that is at most `max_frames` long and has
// measurements on both sides: its position (the sub-pixel centre, and the
// integer position rounded from it) comes from a cubic through the two
// measurements on each side, at the frames' own times (fewer where the
// neighbours are gaps themselves: quadratic or straight), and its state
// becomes `filled`. Longer gaps and gaps at either end of the take stay as
// they are. Every frame keeps its row. The number of samples filled.
int64_t fill_gaps(FrameTable& table, int32_t max_frames);

// The filtered numbers of a take, node n of frame f at f * nodes + n; NaN
// where a node's sample lies in a gap, and for the rates at both ends of a
// gap-free stretch (central differences need a neighbour on each side).
struct TakeKinematics {
    int32_t nodes = 0;
    double rate_hz = 0.0;  // samples per second the filter assumed
    std::vector<double> angle_deg;    // the bend angle as measured, for comparison
    std::vector<double> angle_f_deg;  // filtered bend angle, (-180, 180]
    std::vector<double> omega_dps;    // its rate from the unwrapped angle, degrees per second
    std::vector<double> speed;        // world unit (or source pixels) per second; NaN without u, v
    // The cutoff each node's signals were filtered at: given, or chosen by
    // residual analysis; NaN where a signal had too few samples to choose.
    std::vector<double> angle_cutoff_hz;
    std::vector<double> x_cutoff_hz;
    std::vector<double> y_cutoff_hz;
};

// Filters the take as measure_frame measures it with `context` (angles in
// the calibrated plane, positions in the world or in source pixels): each
// node's angle, unwrapped, and its two coordinates, each gap-free stretch on
// its own, at `cutoff_hz`, or with a cutoff chosen per signal when it is 0.
// Rates are central differences on the take's own times. The filter assumes
// the median interval between frames. False with a reason when the take's
// times do not rise or the cutoff is not below highest_cutoff_hz.
bool take_kinematics(const FrameTable& table, const MeasureContext& context, double cutoff_hz, TakeKinematics& out,
                     std::string& error);

// Frame f's filtered numbers into its measurement.
void apply_kinematics(const TakeKinematics& k, size_t frame, FrameMeasure& m);

// Every frame of the table measured with `context`, with its filtered
// numbers when `kinematics` (worked out for this table) is given, handed to
// `sink` in order until it refuses one. False when it did.
bool measure_take(const FrameTable& table, const MeasureContext& context, const TakeKinematics* kinematics,
                  FrameSink& sink);

// The cutoffs chosen, one line per node ("n0: angle 6.2 Hz, x 5.0 Hz, y 4.8 Hz").
std::string describe_cutoffs(const TakeKinematics& k);

// What is done with a take after recording.
struct TakeProcessing {
    int32_t fill_gaps = 0;   // gaps up to this many frames are filled; 0: none
    bool filter = false;
    double cutoff_hz = 0.0;  // with `filter`: 0 chooses per signal
};

// "auto" (0) or a cutoff in Hz above 0 into `cutoff_hz`; false for anything else.
bool parse_cutoff(std::string_view text, double& cutoff_hz);

struct ProcessedTake {
    int64_t filled = 0;        // samples fill_gaps filled
    bool filtered = false;     // `kinematics` holds the take's filtered numbers
    TakeKinematics kinematics;
    std::string filter_error;  // why a filter asked for could not run
};

// Fills the gaps of `table` and works out its kinematics as `processing`
// asks, as the batch run and the window's export both do.
ProcessedTake process_take(FrameTable& table, const MeasureContext& context, const TakeProcessing& processing);
