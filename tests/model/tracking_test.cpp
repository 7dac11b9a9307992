// Next-neighbour tracking: reach, crowding, claims, ties and the value rule;
// the states it reports and the memory that carries lost nodes along.

#include "model/tracking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

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

// --- what tracking reports ---------------------------------------------------------

TEST(TrackingStates, TrackedHeldAndPlacedForTheNodeThePointerHolds) {
    // Node 0 finds its cluster, node 1 none in reach, node 2 is crowded by
    // node 3, which takes its cluster; node 3 is held by the pointer: placed,
    // though tracking moved it. Only the tracked node keeps a sub-pixel centre.
    NodeModel m = nodes_at({{100, 100, 255}, {300, 300, 255}, {200, 100, 255}, {212, 100, 255}});
    m.dragged = 3;
    m.sub_pixel_centres.assign(4, SubPixelCentre{1.0f, 1.0f});  // from an earlier call
    const std::vector<SubPixelCentre> centres{{101.25f, 99.75f}, {210.5f, 100.5f}};
    track_nodes(m, ClusterList{{101, 100, 1}, {210, 100, 1}}, 30, 10, centres);
    EXPECT_EQ(m.node_states,
              (std::vector<NodeState>{NodeState::tracked, NodeState::held, NodeState::held, NodeState::placed}));
    EXPECT_TRUE(at(m.nodes[3], 210, 100));
    ASSERT_EQ(m.sub_pixel_centres.size(), 4u);
    EXPECT_EQ(m.sub_pixel_centres[0].x, 101.25f);
    EXPECT_EQ(m.sub_pixel_centres[0].y, 99.75f);
    for (size_t i = 1; i < 4; ++i) EXPECT_FALSE(m.sub_pixel_centres[i].known()) << i;
}

namespace {

// A scene of three markers: A and C stand still, B runs 8 pixels a frame to
// the right and is hidden in frames 8 to 12.
ClusterList markers(int frame) {
    ClusterList c{{100, 100, 255}, {400, 300, 255}};
    if (frame < 8 || frame > 12) c.insert(c.begin() + 1, Cluster{150 + 8 * frame, 200, 255});
    return c;
}

struct MarkerRun {
    std::vector<ModelNode> b;  // node B, frame by frame
    std::vector<NodeState> b_state;
};

MarkerRun run_markers(const NodeMemorySettings& settings) {
    NodeModel m = nodes_at({{100, 100, 255}, {150, 200, 255}, {400, 300, 255}});
    TrackingMemory memory;
    MarkerRun run;
    for (int f = 0; f < 20; ++f) {
        track_nodes(m, markers(f), 30, 10, settings, memory);
        run.b.push_back(m.nodes[1]);
        run.b_state.push_back(m.node_states[1]);
        EXPECT_EQ(m.node_states[0], NodeState::tracked) << f;
        EXPECT_EQ(m.node_states[2], NodeState::tracked) << f;
    }
    return run;
}

}  // namespace

TEST(TrackingMemoryRun, AHiddenMovingMarkerIsCarriedAlongAndCaughtAgain) {
    const MarkerRun run = run_markers(NodeMemorySettings{true, 5});
    for (int f = 0; f < 20; ++f) {
        // Carried along its velocity of 8 pixels a frame, exactly where the marker would be.
        EXPECT_TRUE(at(run.b[f], 150 + 8 * f, 200)) << f << ": " << run.b[f].x;
        EXPECT_EQ(run.b_state[f], f >= 8 && f <= 12 ? NodeState::predicted : NodeState::tracked) << f;
    }
}

TEST(TrackingMemoryRun, WithoutMemoryTheNodeStaysAndLosesTheMarkerForGood) {
    const MarkerRun run = run_markers(NodeMemorySettings{false, 5});
    for (int f = 8; f < 20; ++f) {
        // The marker comes back 48 pixels away, beyond the reach of 30.
        EXPECT_TRUE(at(run.b[f], 150 + 8 * 7, 200)) << f;
        EXPECT_EQ(run.b_state[f], NodeState::held) << f;
    }
}

TEST(TrackingMemoryRun, ANodeIsCarriedOnlyForTheFramesAllowedThenHeld) {
    const MarkerRun run = run_markers(NodeMemorySettings{true, 3});
    for (int f = 8; f <= 10; ++f) EXPECT_EQ(run.b_state[f], NodeState::predicted) << f;
    for (int f = 11; f <= 12; ++f) {
        EXPECT_EQ(run.b_state[f], NodeState::held) << f;
        EXPECT_TRUE(at(run.b[f], 150 + 8 * 10, 200)) << f;
    }
    // The marker reappears 24 pixels ahead: within reach, caught.
    EXPECT_EQ(run.b_state[13], NodeState::tracked);
    EXPECT_TRUE(at(run.b[13], 150 + 8 * 13, 200));
    EXPECT_TRUE(at(run.b[19], 150 + 8 * 19, 200));

    const MarkerRun none = run_markers(NodeMemorySettings{true, 0});
    EXPECT_EQ(none.b_state[8], NodeState::held) << "0 frames: never carried";
}

TEST(TrackingMemoryRun, ANodeMovedByAnyoneButTrackingStartsANewTrail) {
    NodeModel m = nodes_at({{150, 200, 255}});
    TrackingMemory memory;
    const NodeMemorySettings on{true, 5};
    track_nodes(m, ClusterList{{150, 200, 255}}, 30, 10, on, memory);
    track_nodes(m, ClusterList{{158, 200, 255}}, 30, 10, on, memory);  // moving at 8 a frame
    m.nodes[0] = ModelNode{300, 50, 255};                                 // dropped elsewhere
    track_nodes(m, ClusterList{}, 30, 10, on, memory);
    EXPECT_EQ(m.node_states[0], NodeState::held);
    EXPECT_TRUE(at(m.nodes[0], 300, 50));

    // Held by the pointer while its marker moves: placed, and no velocity is
    // kept for the frames after the release.
    track_nodes(m, ClusterList{{300, 50, 255}}, 30, 10, on, memory);
    m.dragged = 0;
    track_nodes(m, ClusterList{{308, 50, 255}}, 30, 10, on, memory);
    EXPECT_EQ(m.node_states[0], NodeState::placed);
    m.dragged = -1;
    track_nodes(m, ClusterList{}, 30, 10, on, memory);
    EXPECT_EQ(m.node_states[0], NodeState::held);
    EXPECT_TRUE(at(m.nodes[0], 308, 50));
}

// With memory off the positions, claims and states are those of the plain
// call, on seeded random scenes in which markers come, go and crowd.
TEST(TrackingMemoryRun, MemoryOffMovesNodesExactlyAsThePlainCall) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> coordinate(0, 120), count(0, 6);
    NodeModel plain = nodes_at({{20, 20, 255}, {60, 60, 255}, {100, 20, 255}, {40, 100, 255}});
    NodeModel remembering = plain;
    TrackingMemory memory;
    for (int frame = 0; frame < 2000; ++frame) {
        ClusterList clusters(static_cast<size_t>(count(rng)));
        for (Cluster& c : clusters) c = Cluster{coordinate(rng), coordinate(rng), 255};
        track_nodes(plain, clusters, 30, 10);
        track_nodes(remembering, clusters, 30, 10, NodeMemorySettings{false, 30}, memory);
        for (size_t i = 0; i < plain.nodes.size(); ++i) {
            ASSERT_TRUE(at(remembering.nodes[i], plain.nodes[i].x, plain.nodes[i].y)) << frame;
        }
        ASSERT_EQ(remembering.node_states, plain.node_states) << frame;
        ASSERT_EQ(remembering.cluster_claims, plain.cluster_claims) << frame;
    }
    EXPECT_TRUE(memory.trails.empty());
}

// --- the indexed method against the plain rules ------------------------------------

namespace {

// The rules as they read, one node after the other, kept here as the reference.
void plain_tracking(NodeModel& m, const ClusterList& clusters, int32_t max_distance, int32_t min_distance,
                    const std::vector<SubPixelCentre>& centres) {
    auto d2 = [](int64_t ax, int64_t ay, int64_t bx, int64_t by) {
        auto sq = [](int64_t d) {
            d = std::clamp<int64_t>(d, -(int64_t{1} << 30), int64_t{1} << 30);
            return d * d;
        };
        return sq(ax - bx) + sq(ay - by);
    };
    m.cluster_claims.assign(clusters.size(), 0);
    m.node_states.assign(m.nodes.size(), NodeState::held);
    m.sub_pixel_centres.assign(m.nodes.size(), SubPixelCentre{});
    for (size_t i = 0; i < m.nodes.size(); ++i) {
        int64_t best = INT64_MAX;
        size_t k = clusters.size();
        for (size_t j = 0; j < clusters.size(); ++j) {
            const int64_t d = d2(clusters[j].x, clusters[j].y, m.nodes[i].x, m.nodes[i].y);
            if (d <= best) best = d, k = j;
        }
        if (k == clusters.size() || best >= int64_t{max_distance} * max_distance) continue;
        bool crowded = false;
        for (size_t l = 0; l < m.nodes.size(); ++l)
            crowded |= l != i && d2(m.nodes[l].x, m.nodes[l].y, clusters[k].x, clusters[k].y) <
                                     int64_t{min_distance} * min_distance;
        if (crowded || m.cluster_claims[k] != 0) continue;
        m.nodes[i] = ModelNode{clusters[k].x, clusters[k].y, 255};
        m.cluster_claims[k] = 1;
        m.node_states[i] = NodeState::tracked;
        m.sub_pixel_centres[i] = centres[k];
    }
}

struct Scene {
    NodeModel model;
    ClusterList clusters;
    int32_t max_distance, min_distance;
};

// Positions on a coarse lattice, so that equal distances and shared positions
// are common; some scenes put a few nodes or clusters at the ends of the int32
// range, or scatter them over a wide area.
Scene make_scene(std::mt19937& rng, int32_t max_nodes, int32_t max_clusters) {
    auto pick = [&](std::initializer_list<int32_t> v) {
        return *(v.begin() + std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng));
    };
    auto uniform = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    Scene s;
    s.max_distance = pick({0, 1, 5, 12, 30, 30, 300, -30, 100000, INT_MAX, INT_MIN});
    s.min_distance = pick({0, 1, 10, 10, 12, -10, 300, 1 << 30, (1 << 30) + 1, INT_MAX, INT_MIN});
    const int32_t step = pick({1, 2, 3, 4, 6, 8, 12});
    const int32_t span = pick({20, 40, 60, 480, 5000});
    auto position = [&] {
        if (uniform(0, 40) == 0) return pick({INT_MIN, INT_MAX, -1, 0, 1 << 30, -(1 << 30) - 7});
        return uniform(0, span / step) * step;
    };
    const int32_t clusters = uniform(0, max_clusters), nodes = uniform(0, max_nodes);

    for (int32_t k = 0; k < clusters; ++k) s.clusters.push_back(Cluster{position(), position(), uniform(0, 255)});
    s.model.set_node_count(nodes);
    for (int32_t i = 0; i < nodes; ++i) {
        // Some nodes start on or next to a cluster, as after earlier cycles.
        if (!s.clusters.empty() && uniform(0, 2) == 0) {
            const Cluster& c = s.clusters[static_cast<size_t>(uniform(0, clusters - 1))];
            const int32_t dx = uniform(0, 3) == 0 ? uniform(-12, 12) : 0, dy = uniform(-1, 1) * dx;
            auto nudge = [](int32_t v, int32_t d) {
                return static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} + d, INT32_MIN, INT32_MAX));
            };
            s.model.nodes[static_cast<size_t>(i)] = ModelNode{nudge(c.x, dx), nudge(c.y, dy), 255};
        } else {
            s.model.nodes[static_cast<size_t>(i)] = ModelNode{position(), position(), uniform(0, 255)};
        }
    }
    return s;
}

// Crowds: clusters a little more than the minimum distance apart and many
// nodes around them, so that nodes near one cluster leave for a neighbour and
// a cluster is crowded, then free again, within one cycle.
Scene make_crowd(std::mt19937& rng) {
    auto uniform = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    Scene s;
    s.min_distance = uniform(4, 12);
    s.max_distance = uniform(s.min_distance, 3 * s.min_distance);
    const int32_t spacing = uniform(s.min_distance - 2, 2 * s.min_distance);
    const int32_t columns = uniform(1, 8), clusters = uniform(1, 40);
    for (int32_t k = 0; k < clusters; ++k)
        s.clusters.push_back(Cluster{100 + (k % columns) * spacing, 100 + (k / columns) * spacing, 255});
    std::shuffle(s.clusters.begin(), s.clusters.end(), rng);
    s.model.set_node_count(uniform(2, 120));
    for (ModelNode& n : s.model.nodes) {
        const Cluster& c = s.clusters[static_cast<size_t>(uniform(0, clusters - 1))];
        n = ModelNode{c.x + uniform(-spacing, spacing), c.y + uniform(-spacing, spacing), 255};
    }
    return s;
}

std::string describe(const Scene& s, int index) {
    return "scene " + std::to_string(index) + ": " + std::to_string(s.model.nodes.size()) + " nodes, " +
           std::to_string(s.clusters.size()) + " clusters, max distance " + std::to_string(s.max_distance) +
           ", min distance " + std::to_string(s.min_distance);
}

bool same_nodes(const NodeModel& a, const NodeModel& b) {
    if (a.nodes.size() != b.nodes.size() || a.cluster_claims != b.cluster_claims || a.node_states != b.node_states)
        return false;
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        if (a.nodes[i].x != b.nodes[i].x || a.nodes[i].y != b.nodes[i].y || a.nodes[i].value != b.nodes[i].value)
            return false;
        // Each cluster has its own centre: the same centre means the same cluster taken.
        const SubPixelCentre &p = a.sub_pixel_centres.at(i), &q = b.sub_pixel_centres.at(i);
        if (p.known() != q.known() || (p.known() && (p.x != q.x || p.y != q.y))) return false;
    }
    return true;
}

}  // namespace

// Three cycles per scene, the clusters shifting a little between them; both
// the indexed method itself and track_nodes, which picks the method by size.
TEST(TrackingIndexed, GivesExactlyThePlainResult) {
    std::mt19937 rng(17);
    for (int k = 0; k < 2000; ++k) {
        const bool large = k % 10 == 0;
        Scene s = k % 2 != 0 ? make_crowd(rng) : make_scene(rng, large ? 3000 : 60, large ? 400 : 60);
        NodeModel expected = s.model, indexed = s.model, picked = s.model;
        // Distinct centres, one per cluster; every fifth cluster unmeasured.
        std::vector<SubPixelCentre> centres(s.clusters.size());
        for (size_t j = 0; j < centres.size(); ++j)
            if (j % 5 != 4) centres[j] = SubPixelCentre{static_cast<float>(j) + 0.5f, -0.25f};
        for (int cycle = 0; cycle < 3; ++cycle) {
            plain_tracking(expected, s.clusters, s.max_distance, s.min_distance, centres);
            track_nodes_indexed(indexed, s.clusters, s.max_distance, s.min_distance, centres);
            track_nodes(picked, s.clusters, s.max_distance, s.min_distance, centres);
            ASSERT_TRUE(same_nodes(expected, indexed)) << describe(s, k) << ", cycle " << cycle;
            ASSERT_TRUE(same_nodes(expected, picked)) << describe(s, k) << ", cycle " << cycle;
            for (Cluster& c : s.clusters)
                if (c.x > INT_MIN + 3 && c.x < INT_MAX - 3) c.x += std::uniform_int_distribution<int32_t>(-3, 3)(rng);
        }
    }
}
