#pragma once
// "place nodes": the chain laid onto the clusters of a frame in one step.
// The clusters are taken in the order of the shortest chain through all of
// them (an open path: it may start and end anywhere), and that chain runs
// from the end nearer to node 0's current place, so a chain laid out roughly
// the right way keeps its numbering.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cluster/records.h"
#include "model/node_model.h"

// The chain is found exactly (every order weighed, by dynamic programming
// over subsets) up to this many points; beyond, a nearest-neighbour chain
// improved by reversing stretches while that shortens it.
inline constexpr size_t kExactChainMax = 10;

struct ChainPoint {
    double x = 0.0;
    double y = 0.0;
};

// The indices of `points` in the order of the shortest open chain through
// them, first the end nearer to `start_near` (the lower index where both ends
// are as near). Among chains of equal length the one found first in index
// order is taken, so the answer does not depend on rounding noise.
std::vector<size_t> shortest_chain(std::span<const ChainPoint> points, ChainPoint start_near);

// Length of the chain through `points` in `order`.
double chain_length(std::span<const ChainPoint> points, std::span<const size_t> order);

struct PlaceResult {
    bool placed = false;  // false: the counts differ and nothing moved
    int32_t clusters = 0;
    int32_t nodes = 0;
};

// Moves node i of `model` onto the i-th cluster of the shortest chain through
// `clusters` (their x and y, value 255), when there are exactly as many
// clusters as nodes; otherwise moves nothing. A node moved here was put there,
// not tracked: the states and sub-pixel centres of the last tracking are
// dropped, and the next tracking finds the nodes on their clusters.
PlaceResult place_nodes(NodeModel& model, const ClusterList& clusters);

// What the operator is told: "placed 4 nodes on 4 clusters", or
// "5 clusters for 4 nodes: no node moved".
std::string place_nodes_text(const PlaceResult& result);
