// "place nodes": the shortest chain against every order tried by hand, the
// end it starts from, and the model laid onto the clusters or left alone.

#include "model/place_nodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

double brute_force_shortest(const std::vector<ChainPoint>& points) {
    std::vector<size_t> order(points.size());
    std::iota(order.begin(), order.end(), size_t{0});
    double best = 1e300;
    do best = std::min(best, chain_length(points, order));
    while (std::next_permutation(order.begin(), order.end()));
    return best;
}

TEST(ShortestChain, IsAsShortAsEveryOrderTriedAndVisitsEachPointOnce) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coordinate(0.0, 400.0);
    for (size_t n = 1; n <= 8; ++n) {
        for (int round = 0; round < 4; ++round) {
            std::vector<ChainPoint> points(n);
            for (ChainPoint& p : points) p = {coordinate(rng), coordinate(rng)};
            std::vector<size_t> order = shortest_chain(points, {0.0, 0.0});
            EXPECT_NEAR(chain_length(points, order), brute_force_shortest(points), 1e-9) << n;
            std::sort(order.begin(), order.end());
            for (size_t k = 0; k < n; ++k) EXPECT_EQ(order[k], k);
        }
    }
}

TEST(ShortestChain, StartsAtTheEndNearerToNodeZero) {
    const std::vector<ChainPoint> row = {{200, 0}, {0, 0}, {300, 0}, {100, 0}};
    EXPECT_EQ(shortest_chain(row, {-50, 10}), (std::vector<size_t>{1, 3, 0, 2}));
    EXPECT_EQ(shortest_chain(row, {290, 10}), (std::vector<size_t>{2, 0, 3, 1}));
}

// Beyond the exact size: a chain along a wavy line, shuffled, comes back in
// line order (no crossing chain is as short).
TEST(ShortestChain, ManyPointsAlongALineComeBackInLineOrder) {
    std::vector<ChainPoint> line;
    for (int i = 0; i < 14; ++i) line.push_back({30.0 * i, 10.0 * (i % 2)});
    std::vector<size_t> shuffled(line.size());
    std::iota(shuffled.begin(), shuffled.end(), size_t{0});
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
    std::vector<ChainPoint> points;
    for (const size_t k : shuffled) points.push_back(line[k]);
    const std::vector<size_t> order = shortest_chain(points, {-10, 0});
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(shuffled[order[i]], i);
}

TEST(PlaceNodes, LaysTheChainOntoTheClustersOrMovesNothingWhenTheCountsDiffer) {
    NodeModel model;
    model.set_node_count(3);  // a row from x 50: node 0 at the left
    model.node_states.assign(3, NodeState::held);
    const ClusterList clusters = {{300, 40, 120}, {100, 50, 90}, {200, 45, 200}};
    const PlaceResult placed = place_nodes(model, clusters);
    EXPECT_TRUE(placed.placed);
    EXPECT_EQ(place_nodes_text(placed), "placed 3 nodes on 3 clusters");
    const std::vector<std::pair<int32_t, int32_t>> expected = {{100, 50}, {200, 45}, {300, 40}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::make_pair(model.nodes[i].x, model.nodes[i].y), expected[i]);
        EXPECT_EQ(model.nodes[i].value, 255);
    }
    EXPECT_TRUE(model.node_states.empty()) << "placed, not tracked";

    model.set_node_count(4);
    const std::vector<ModelNode> before = model.nodes;
    const PlaceResult refused = place_nodes(model, clusters);
    EXPECT_FALSE(refused.placed);
    EXPECT_EQ(place_nodes_text(refused), "3 clusters for 4 nodes: no node moved");
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(model.nodes[i].x, before[i].x);
}

}  // namespace
