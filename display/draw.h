#pragma once
// Drawing of node models and cluster crosses into the current GL context.
// The caller has set up an orthographic projection of one unit per frame pixel
// with the origin at the bottom-left, texturing off, and blending with source
// alpha / one minus source alpha.

#include <cstdint>
#include <vector>

#include "camera/source_geometry.h"
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

// "show tracking state": a filled square of 9 x 9 pixels left of each node,
// clear of its selection box (its centre line width + 17 from the node), in
// the colour of what the last tracking did with the node: tracked cyan, held
// orange, placed (held by the pointer) white, predicted pink. Where the left
// side would leave the frame (x below 0) it goes as far right of the node.
// Nothing for a node without a state (before the first tracking, or a model of
// a recording), nor for a hidden model. Line widths are taken within 1 to 10.
void draw_state_markers(const NodeModel& model, int32_t line_width);

// One red cross per cluster with arms of line_width + 5, the line width
// taken within 1 to 10 as for the model.
void draw_cluster_crosses(const ClusterList& clusters, int32_t line_width);

// A line of several points over the frame, in frame coordinates as the
// nodes have them, in one colour: the calibration's axes, grid and marks.
// A NaN point breaks the line.
struct OverlayLine {
    float red = 1.0f;
    float green = 1.0f;
    float blue = 1.0f;
    std::vector<PlanePoint> points;
};

// Each line, one pixel wide and opaque. Leaves the colour changed.
void draw_overlay_lines(const std::vector<OverlayLine>& lines);
