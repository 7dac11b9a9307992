#pragma once
// The chain of nodes that the operator drags onto the markers and tracking
// keeps on them, with one bend sensor per node. A plain record, copied by value
// wherever a second view of a model is needed.
//
// Coordinates are camera pixels as the views show them: x to the right, y up
// from the bottom edge, which is row 0 of the frame buffer.

#include <cstdint>
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
    other
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

    // Resizes the chain to n nodes and lays it out on a row at y 200, x 50, 100,
    // ...; keeps existing sensors' flags and colours, resets the model colour,
    // clears hovered and selected, and hides the model.
    void set_node_count(int32_t n);

    // hovered = the node nearest to (px, py) within 30 pixels (ties to the later node).
    void pick_hovered(int32_t px, int32_t py);

    // Hover, select and drag. (event_x, event_y) is the pointer in window
    // coordinates (y down); the model works with y = window_height - event_y.
    void handle_mouse(MouseEvent event, int32_t window_height, int32_t event_x, int32_t event_y);
};

// Disc radius of sensor i: |(c + 1) * max_radius| with c the cosine of the bend
// at node i (an end node compares its link with +x). 0 folded back, max_radius
// at a right angle, 2 * max_radius straight on.
float sensor_radius(const NodeModel& model, int32_t i, int32_t max_radius);

struct SensorCentre {
    int32_t x;
    int32_t y;
};
// Node i's position when its sensor sits at the node, else the sensor's own.
SensorCentre sensor_centre(const NodeModel& model, int32_t i);
