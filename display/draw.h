#pragma once
// Drawing of node models and cluster crosses into the current GL context.
// The caller has set up an orthographic projection of one unit per frame pixel
// with the origin at the bottom-left, texturing off, and blending with source
// alpha / one minus source alpha.

#include <cstdint>

#include "cluster/records.h"
#include "model/node_model.h"

// Sensor discs, node boxes (node 0 red, the others green), links in the model
// colour with green and blue exchanged, then the hover and selection boxes.
// Nothing for a hidden model. Leaves the colour and line width changed. A line
// width outside 1 to 10 (the control's range) is drawn as the nearer bound.
void draw_model(const NodeModel& model, int32_t line_width, int32_t sensor_max_radius);

// Inside an open GL_LINES batch: the square from (x - h, y - h) to (x + h, y + h).
void draw_node_box(int32_t x, int32_t y, int32_t h);

// Inside an open GL_TRIANGLES batch: sensor i's disc, a fan of 36 triangles
// from the top of the circle, clockwise on the screen.
void draw_sensor_disc(const NodeModel& model, int32_t i, int32_t sensor_max_radius);

// "show tracking state": a filled square (2 x kStateMarkerHalf + 1 pixels a
// side) left of each node, clear of its selection box, in the colour of what
// the last tracking did with the node: tracked cyan, held orange, placed (held
// by the pointer) white, predicted pink. Nothing for a node without a state
// (before the first tracking, or a model of a recording), nor for a hidden
// model. The square's centre lies state_marker_offset() left of the node, or
// as far right of it where the left would leave the frame (x below 0).
void draw_state_markers(const NodeModel& model, int32_t line_width);
inline constexpr int32_t kStateMarkerHalf = 4;
int32_t state_marker_offset(int32_t line_width);

// One red cross per cluster with arms of line_width + 5, the line width
// taken within 1 to 10 as for the model.
void draw_cluster_crosses(const ClusterList& clusters, int32_t line_width);
