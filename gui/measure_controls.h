#pragma once
// The controls of the measurements, built into the panel after its own
// widgets: "show angles" and the selected node's bend angle on the "Model"
// page, the node memory on the "Tracking" page, "export CSV" in both
// recording groups, and the button that opens the "angles" window. Their
// choices are kept in the application state's extra settings (angles.*,
// tracking.*).

#include "measure/frame_measure.h"
#include "model/animation.h"

struct ControlPanel;

// Adds the widgets to the built panel, showing and applying the kept choices.
void build_measure_controls(ControlPanel& panel);

// The kept choices (the extra settings) onto the widgets, the preview and
// the node memory: at the build, and when a session brought other ones.
void show_kept_measure_choices(ControlPanel& panel);

// Once per main-loop cycle, after tracking: the selected node's angle, and
// the "angles" window's live sample and redraw.
void measure_after_cycle(ControlPanel& panel);

// How a take's angles are measured (the preview's record or playback take):
// in the pixels of the source it was recorded from, calibrated where the
// calibration fits that source, as its exported CSV. It points into the
// panel, so it stays valid until the next call for the same take.
MeasureContext take_measure_context(ControlPanel& panel, const Animation& take);
