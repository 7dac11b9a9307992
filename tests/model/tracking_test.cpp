// Next-neighbour tracking: reach, crowding, claims, ties and the value rule.

#include "model/tracking.h"

#include <gtest/gtest.h>

namespace {

NodeModel nodes_at(std::initializer_list<ModelNode> nodes) {
    NodeModel m;
    m.set_node_count(static_cast<int32_t>(nodes.size()));
    m.nodes = nodes;
    return m;
}

bool at(const ModelNode& n, int32_t x, int32_t y) { return n.x == x && n.y == y; }

}  // namespace

struct ReachCase {
    int32_t dx, dy, max_distance;
    bool moves;
};

class TrackingReach : public ::testing::TestWithParam<ReachCase> {};

TEST_P(TrackingReach, ANodeMovesOnlyToAClusterStrictlyWithinReach) {
    const ReachCase& c = GetParam();
    NodeModel m = nodes_at({{100, 100, 200}});
    const ClusterList clusters{{100 + c.dx, 100 + c.dy, 9}};
    track_nodes(m, clusters, c.max_distance, 10);
    if (c.moves) {
        EXPECT_TRUE(at(m.nodes[0], 100 + c.dx, 100 + c.dy));
        EXPECT_EQ(m.nodes[0].value, 255);
        EXPECT_EQ(m.cluster_claims, std::vector<int32_t>{1});
    } else {
        EXPECT_TRUE(at(m.nodes[0], 100, 100));
        EXPECT_EQ(m.nodes[0].value, 200);
        EXPECT_EQ(m.cluster_claims, std::vector<int32_t>{0});
    }
}

INSTANTIATE_TEST_SUITE_P(Distances, TrackingReach,
                         ::testing::Values(ReachCase{29, 0, 30, true}, ReachCase{30, 0, 30, false},
                                           ReachCase{0, -30, 30, false}, ReachCase{18, 24, 30, false},
                                           ReachCase{20, -21, 30, true}, ReachCase{0, 0, 30, true},
                                           ReachCase{0, 0, 0, false}, ReachCase{5, 5, -8, true},
                                           // 65536^2 wraps to 0 in 32 bits.
                                           ReachCase{65536, 0, 30, false}));

TEST(TrackingTies, EqualDistancesGoToTheLaterCluster) {
    NodeModel m = nodes_at({{100, 100, 255}});
    track_nodes(m, ClusterList{{90, 100, 1}, {110, 100, 1}, {100, 90, 1}, {300, 300, 1}}, 30, 0);
    EXPECT_TRUE(at(m.nodes[0], 100, 90));
    EXPECT_EQ(m.cluster_claims, (std::vector<int32_t>{0, 0, 1, 0}));
}

TEST(TrackingClaims, TheEarlierNodeTakesASharedNearestClusterAndTheLaterStays) {
    // Node 1's nearest cluster is the one node 0 takes; cluster 1 is also
    // within node 1's reach, but a node never tries its second choice.
    NodeModel m = nodes_at({{100, 100, 255}, {130, 100, 255}});
    const ClusterList clusters{{115, 100, 50}, {150, 100, 50}};
    track_nodes(m, clusters, 30, 10);
    EXPECT_TRUE(at(m.nodes[0], 115, 100));
    EXPECT_TRUE(at(m.nodes[1], 130, 100));
    EXPECT_EQ(m.cluster_claims, (std::vector<int32_t>{1, 0}));
}

TEST(TrackingClaims, ClaimsAreRebuiltOnEveryCall) {
    NodeModel m = nodes_at({{100, 100, 255}});
    track_nodes(m, ClusterList{{101, 100, 1}}, 30, 10);
    EXPECT_EQ(m.cluster_claims, std::vector<int32_t>{1});
    m.nodes[0] = ModelNode{400, 400, 255};
    track_nodes(m, ClusterList{{101, 100, 1}, {10, 10, 1}}, 30, 10);
    EXPECT_EQ(m.cluster_claims, (std::vector<int32_t>{0, 0}));
    track_nodes(m, ClusterList{}, 30, 10);
    EXPECT_TRUE(m.cluster_claims.empty());
    EXPECT_TRUE(at(m.nodes[0], 400, 400)) << "no cluster: nodes stay";
}

TEST(TrackingCrowding, ANodeStaysWhenAnotherNodeIsWithinTheMinimumDistanceOfItsCluster) {
    // Node 1 sits 5 pixels from the cluster that node 0 would move onto.
    NodeModel m = nodes_at({{100, 100, 255}, {125, 100, 255}});
    track_nodes(m, ClusterList{{120, 100, 1}}, 30, 10);
    EXPECT_TRUE(at(m.nodes[0], 100, 100));
    EXPECT_TRUE(at(m.nodes[1], 120, 100)) << "node 1 is not crowded by node 0, 20 away";
}

TEST(TrackingCrowding, ExactlyTheMinimumDistanceDoesNotCrowdAndZeroNeverBlocks) {
    NodeModel m = nodes_at({{100, 100, 255}, {130, 100, 255}});
    track_nodes(m, ClusterList{{120, 100, 1}}, 30, 10);  // node 1 exactly 10 away
    EXPECT_TRUE(at(m.nodes[0], 120, 100));

    // Two stacked nodes: with a minimum distance the other node crowds the
    // cluster; with 0 the first node moves and the second finds it claimed.
    for (int32_t min_distance : {0, 10}) {
        NodeModel stacked = nodes_at({{100, 100, 255}, {100, 100, 255}});
        track_nodes(stacked, ClusterList{{105, 100, 1}}, 30, min_distance);
        EXPECT_TRUE(at(stacked.nodes[0], min_distance == 0 ? 105 : 100, 100)) << min_distance;
        EXPECT_TRUE(at(stacked.nodes[1], 100, 100)) << min_distance;
    }
}

TEST(TrackingCrowding, NodesThatMovedEarlierInTheCycleCrowdLaterOnes) {
    // Node 0 moves from (80, 100) onto (100, 100). Node 1's nearest cluster,
    // (108, 100), is 28 from node 0's old position but 8 from its new one.
    NodeModel m = nodes_at({{80, 100, 255}, {130, 100, 255}});
    track_nodes(m, ClusterList{{100, 100, 1}, {108, 100, 1}}, 30, 10);
    EXPECT_TRUE(at(m.nodes[0], 100, 100));
    EXPECT_TRUE(at(m.nodes[1], 130, 100));
    EXPECT_EQ(m.cluster_claims, (std::vector<int32_t>{1, 0}));
}

TEST(TrackingValue, AFollowingNodeTakesValue255WhateverTheClusterValue) {
    for (int32_t value : {0, 1, 128, 300}) {
        NodeModel m = nodes_at({{100, 100, 7}});
        track_nodes(m, ClusterList{{102, 103, value}}, 30, 10);
        EXPECT_TRUE(at(m.nodes[0], 102, 103));
        EXPECT_EQ(m.nodes[0].value, 255) << value;
    }
}

TEST(TrackingValue, AnEmptyModelOnlyRebuildsTheClaims) {
    NodeModel m = nodes_at({});
    track_nodes(m, ClusterList{{1, 1, 1}, {2, 2, 2}}, 30, 10);
    EXPECT_EQ(m.cluster_claims, (std::vector<int32_t>{0, 0}));
}
