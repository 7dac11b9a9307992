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
void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance);
