#pragma once
// The measurement context of what the window shows and writes now: the open
// source's geometry, the flip, and the calibration where one applies.

#include <string>

#include "loop/app_state.h"
#include "measure/frame_measure.h"

// For live numbers: valid while `app` lives and its calibration is unchanged.
MeasureContext live_measure_context(const AppState& app);

// Makes app.calibration ready for the source's pictures. False, with
// `calibrated` cleared and a reason, when it cannot map them; an empty
// calibration is no calibration and no failure.
bool recalibrate(AppState& app, std::string& error);

// A calibration made ready for pictures of another geometry than the live
// one (a take recorded from another source). False with a reason.
bool calibration_for(const AppState& app, const SourceGeometry& geometry, CalibrationMap& out, std::string& error);
