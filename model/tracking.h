#pragma once
// Next-neighbour tracking: once per cycle each node jumps to its nearest
// cluster when that cluster is within reach of the node's old position, no
// other node stands too close to it, and no earlier node took it this cycle.
// There is no prediction: a node's previous position is all it remembers.

#include <cstdint>

#include "cluster/records.h"
#include "model/node_model.h"

// Moves the nodes of `model` onto `clusters`, node 0 first. A node moves only
// when its nearest cluster (the later one on equal distances) lies strictly
// nearer than `max_distance`, every other node, as it stands at that moment,
// is at least `min_node_distance` from that cluster, and the cluster is not
// yet claimed; it then takes the cluster's x and y and value 255. Rebuilds
// `cluster_claims` with one flag per cluster.
//
// The result is exactly that of the plain rules above, which small inputs
// use as they stand. Larger ones find each node's nearest cluster in a grid of
// the clusters, and answer the crowding test from a grid of the nodes near the
// clusters, so a cycle costs about one pass over the nodes rather than one
// pass over all nodes for every node that reaches a cluster.
void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance);

// The indexed method on any input, however small (for tests and benchmarks).
void track_nodes_indexed(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                         int32_t min_node_distance);
