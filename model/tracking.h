#pragma once
// Next-neighbour tracking: once per cycle each node jumps to its nearest
// cluster when that cluster is within reach of the node's old position, no
// other node stands too close to it, and no earlier node took it this cycle.
// Without memory a node's previous position is all it remembers; with memory
// a node whose marker vanished is carried along its last velocity for a few
// frames, so it can be caught again where the marker reappears.

#include <cstdint>
#include <span>
#include <vector>

#include "cluster/cluster_stats.h"
#include "cluster/records.h"
#include "model/node_model.h"

// Moves the nodes of `model` onto `clusters`, node 0 first. A node moves only
// when its nearest cluster (the later one on equal distances) lies strictly
// nearer than `max_distance`, every other node, as it stands at that moment,
// is at least `min_node_distance` from that cluster, and the cluster is not
// yet claimed; it then takes the cluster's x and y and value 255. Rebuilds
// `cluster_claims` with one flag per cluster, and `node_states`: tracked for a
// node that moved onto a cluster, held for one that did not, placed for the
// node the pointer holds (whatever tracking did with it). Rebuilds
// `sub_pixel_centres` beside them: a tracked node gets the entry of
// `cluster_centres` (one per cluster, or empty when none were measured) for
// the cluster it took; every other node gets none.
//
// The result is exactly that of the plain rules above, which small inputs
// use as they stand. Larger ones find each node's nearest cluster in a grid of
// the clusters, and answer the crowding test from a grid of the nodes near the
// clusters, so a cycle costs about one pass over the nodes rather than one
// pass over all nodes for every node that reaches a cluster.
void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance, int32_t min_node_distance,
                 std::span<const SubPixelCentre> cluster_centres = {});

// The indexed method on any input, however small (for tests and benchmarks).
void track_nodes_indexed(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                         int32_t min_node_distance, std::span<const SubPixelCentre> cluster_centres = {});

// The sub-pixel centres of `current`, one per cluster, into `out` when
// `stats` describe that list; `out` empty otherwise. Clusters without a
// measured centre get none.
void cluster_centres(const ClusterStatistics& stats, const ClusterList& current, std::vector<SubPixelCentre>& out);

// The "memory" controls of the Tracking page.
struct NodeMemorySettings {
    bool enabled = false;
    int32_t hold_frames = 5;  // frames a node is carried after its marker vanished, 0 to 30
};

// What tracking with memory keeps of one node from one call to the next.
struct NodeTrail {
    bool known = false;  // the last call left the node at (at_x, at_y)
    int32_t at_x = 0;
    int32_t at_y = 0;
    bool seen = false;   // the marker was seen, last at (seen_x, seen_y), `lost` calls ago
    int32_t seen_x = 0;
    int32_t seen_y = 0;
    int32_t lost = 0;
    bool moving = false;  // (vx, vy) holds the marker's last velocity, pixels per call
    float vx = 0.0f;
    float vy = 0.0f;
    float px = 0.0f;  // where the node is carried, kept to a fraction of a pixel
    float py = 0.0f;
};

// The trails of a model's nodes. A node moved by anything but tracking
// between two calls (dragged, loaded, laid out anew) starts a new trail.
struct TrackingMemory {
    std::vector<NodeTrail> trails;
};

// Tracking as above; with memory enabled, afterwards a node that took no
// cluster, whose marker was seen moving and lost at most `hold_frames` calls
// ago, is carried on by its last velocity and reported as predicted. A node
// caught again takes the velocity it moved at while lost; a carried node has
// no sub-pixel centre. With memory off the nodes move exactly as the plain
// call moves them, and the trails are dropped.
void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance, const NodeMemorySettings& settings, TrackingMemory& memory,
                 std::span<const SubPixelCentre> cluster_centres = {});
