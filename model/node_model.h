#pragma once
// The chain of nodes that the operator drags onto the markers and tracking
// keeps on them, with one bend sensor per node. A plain record, copied by value
// wherever a second view of a model is needed.
//
// Coordinates are camera pixels as the views show them: x to the right, y up
// from the bottom edge, which is row 0 of the frame buffer.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

// One node's position; the same three fields as a Cluster.
struct ModelNode {
    int32_t x;
    int32_t y;
    int32_t value;  // 255 for every node the system places; a model file may bring others
};

// The disc drawn at a node; its radius shows how sharply the chain bends there.
struct AngularSensor {
    bool visible = true;  // drawn only when true
    bool at_node = true;  // centred on its node; otherwise on (x, y)
    int32_t x = 0;
    int32_t y = 0;
    float red = 0.0f;
    float green = 0.0f;
    float blue = 1.0f;
    float alpha = 0.5f;  // 1 opaque, 0 invisible
};

// Mouse events as the node model sees them; the preview maps the toolkit's
// events onto these.
enum class MouseEvent {
    press,  // a button went down
    drag,   // motion with a button held
    move,   // motion without a button
    other,
    release  // the button went up
};

// What happened to a node in a frame, as tracking reports it and recordings
// keep it beside the positions. unknown: nothing reported (frames loaded from
// a file, or recorded before any tracking ran).
enum class NodeState : uint8_t {
    unknown,
    tracked,   // tracking moved the node onto a cluster
    held,      // tracking found no cluster the node could take; it stayed
    placed,    // the operator's pointer held the node
    predicted, // its marker was lost; memory carried it along its last velocity
    filled     // after recording: put into a short gap by interpolation, never by tracking
};

// Where a node's marker lies, finer than a pixel: the brightness-weighted
// centre of the cluster tracking put the node on, in the coordinates of the
// node positions. A side value beside the integer position, which stays
// what tracking made it; none (NaN) when no centre was measured.
struct SubPixelCentre {
    float x = std::numeric_limits<float>::quiet_NaN();
    float y = std::numeric_limits<float>::quiet_NaN();
    bool known() const { return !std::isnan(x) && !std::isnan(y); }
};

struct NodeModel {
    // Three nodes in the default layout, hidden.
    NodeModel();

    int32_t hovered = -1;                 // node under the pointer, -1 none
    int32_t selected = -1;                // node of the last button press, -1 none
    std::vector<int32_t> cluster_claims;  // tracking's per-cluster "taken" flags; never saved
    bool visible = false;                 // drawn only when true
    std::vector<ModelNode> nodes;         // node i is linked to node i + 1
    std::vector<AngularSensor> sensors;   // sensor i belongs to node i; as many as nodes
    float red = 1.0f;                     // link colour (drawn with green and blue exchanged)
    float green = 1.0f;
    float blue = 0.0f;
    float alpha = 1.0f;                   // also the opacity of the node boxes
    // The node the pointer holds, from the press on it to the release; -1 none.
    int32_t dragged = -1;
    // What the last tracking call did with each node; empty before the first.
    // Copied with the model, never saved.
    std::vector<NodeState> node_states;
    // Beside node_states: the sub-pixel centre of the cluster each node was
    // tracked onto in the last tracking call, for tracked nodes whose cluster
    // was measured; none for every other. Copied with the model, never saved.
    std::vector<SubPixelCentre> sub_pixel_centres;

    // Resizes the chain to n nodes and lays it out on a row at y 200, x 50, 100,
    // ...; keeps existing sensors' flags and colours, resets the model colour,
    // clears hovered, selected, dragged, the node states and sub-pixel
    // centres, and hides the model.
    void set_node_count(int32_t n);

    // hovered = the node nearest to (px, py) within 30 pixels (ties to the later node).
    void pick_hovered(int32_t px, int32_t py);

    // Hover, select and drag; a press on a node holds it until the release. (event_x, event_y) is the pointer in window
    // coordinates (y down); the model works with y = window_height - event_y.
    void handle_mouse(MouseEvent event, int32_t window_height, int32_t event_x, int32_t event_y);
};

// Disc radius of sensor i: |(c + 1) * max_radius| with c the cosine of the bend
// at node i (an end node compares its link with +x). 0 folded back, max_radius
// at a right angle, 2 * max_radius straight on.
float sensor_radius(const NodeModel& model, int32_t i, int32_t max_radius);

// Bend of the chain at node i in degrees, in (-180, 180]: 0 where the chain
// runs straight on, positive for a counter-clockwise turn (y up), 180 folded
// back. The incoming and outgoing links are those of sensor_radius (an end
// node compares its one link with +x), so the disc's radius is
// |cos(angle) + 1| * max_radius. NaN when a link has length 0: it has no
// direction (the disc then shows max_radius).
double bend_angle_deg(std::span<const ModelNode> chain, size_t i);
double bend_angle_deg(const NodeModel& model, int32_t i);
// The same bend from the sub-pixel centres (one per node of the chain) when
// node i and the neighbours its links reach all have one, else from the
// integer positions.
double bend_angle_deg(std::span<const ModelNode> chain, std::span<const SubPixelCentre> centres, size_t i);
// The same bend over a chain of points in any plane with y up (node j at
// (xs[j], ys[j])), such as a calibrated one.
double bend_angle_deg(std::span<const double> xs, std::span<const double> ys, size_t i);

struct SensorCentre {
    int32_t x;
    int32_t y;
};
// Node i's position when its sensor sits at the node, else the sensor's own.
SensorCentre sensor_centre(const NodeModel& model, int32_t i);
