#pragma once
// "show angles": the bend angle of every node as text beside it, printed with
// the view's texture font, in both views.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display/gl_font.h"
#include "measure/frame_measure.h"
#include "model/node_model.h"

// The text for an angle: one decimal, "-35.2"; empty where there is none.
std::string angle_label(double degrees);

// In 2D mode: prints each node's angle in yellow just right of and above its
// box, at the node's position times `scale` (the output window draws the
// frame scaled; the text keeps its size). Nothing for a hidden model.
// Leaves texturing as it was.
void draw_angle_labels(glFont& font, const NodeModel& model, int32_t line_width, float scale = 1.0f,
                       const MeasureContext& context = {});

// The same with the angles measured already, one per node (the output
// window's render thread gets them with the models); a node without one
// has no label.
void draw_angle_labels(glFont& font, const NodeModel& model, int32_t line_width, float scale,
                       std::span<const double> angles_deg);

// Each node's bend angle as the labels show it, into `out`.
void measure_angle_labels(const NodeModel& model, const MeasureContext& context, std::vector<double>& out);
