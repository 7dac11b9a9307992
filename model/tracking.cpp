#include "model/tracking.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/distance.h"

namespace {

bool holds(const NodeModel& model, size_t i) { return model.dragged >= 0 && static_cast<size_t>(model.dragged) == i; }

// A carried position back on the pixel grid, kept within int32.
int32_t to_pixel(float v) {
    const double rounded = std::nearbyint(static_cast<double>(v));
    return static_cast<int32_t>(std::clamp(rounded, static_cast<double>(std::numeric_limits<int32_t>::min()),
                                           static_cast<double>(std::numeric_limits<int32_t>::max())));
}

// Where the marker went while the node was tracked, and where a lost node is
// carried; see track_nodes with memory.
void follow_trail(NodeModel& model, size_t i, const NodeMemorySettings& settings, NodeTrail& trail) {
    ModelNode& node = model.nodes[i];
    NodeState& state = model.node_states[i];
    switch (state) {
        case NodeState::tracked: {
            trail.moving = trail.seen;
            if (trail.seen) {
                // Over the calls it was lost the node may have been carried
                // elsewhere: the velocity is the marker's, from where it was seen.
                const float steps = static_cast<float>(trail.lost + 1);
                trail.vx = static_cast<float>(int64_t{node.x} - trail.seen_x) / steps;
                trail.vy = static_cast<float>(int64_t{node.y} - trail.seen_y) / steps;
            }
            trail.seen = true;
            trail.seen_x = node.x;
            trail.seen_y = node.y;
            trail.lost = 0;
            trail.px = static_cast<float>(node.x);
            trail.py = static_cast<float>(node.y);
            break;
        }
        case NodeState::held:
            ++trail.lost;
            if (trail.lost > settings.hold_frames) {
                // Lost too long: a later catch starts a new trail.
                trail.seen = false;
                trail.moving = false;
            } else if (trail.moving) {
                trail.px += trail.vx;
                trail.py += trail.vy;
                node.x = to_pixel(trail.px);
                node.y = to_pixel(trail.py);
                state = NodeState::predicted;
            }
            break;
        default:  // placed: the operator moves it, not its marker
            trail = NodeTrail{};
            break;
    }
    trail.known = true;
    trail.at_x = node.x;
    trail.at_y = node.y;
}

}  // namespace

void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance) {
    model.cluster_claims.assign(clusters.size(), 0);
    const int64_t reach2 = int64_t{max_distance} * max_distance;
    const int64_t crowd2 = int64_t{min_node_distance} * min_node_distance;
    const size_t node_count = model.nodes.size();
    model.node_states.assign(node_count, NodeState::held);

    for (size_t i = 0; i < node_count; ++i) {
        ModelNode& node = model.nodes[i];

        // Nearest cluster; "<=" hands equal distances to the later cluster.
        int64_t best = INT64_MAX;
        size_t nearest = clusters.size();
        for (size_t k = 0; k < clusters.size(); ++k) {
            const int64_t d = model_geometry::squared_distance(clusters[k].x, clusters[k].y, node.x, node.y);
            if (d <= best) {
                best = d;
                nearest = k;
            }
        }
        if (nearest == clusters.size() || best >= reach2) continue;
        const Cluster& target = clusters[nearest];

        // Another node at the cluster already, counting moves made this cycle.
        bool crowded = false;
        for (size_t l = 0; l < node_count && !crowded; ++l) {
            if (l == i) continue;
            const ModelNode& other = model.nodes[l];
            crowded = model_geometry::squared_distance(other.x, other.y, target.x, target.y) < crowd2;
        }
        if (crowded) continue;

        // Taken by an earlier node: no second choice.
        if (model.cluster_claims[nearest] != 0) continue;

        node = ModelNode{target.x, target.y, 255};
        model.cluster_claims[nearest] = 1;
        model.node_states[i] = NodeState::tracked;
    }
    if (model.dragged >= 0 && static_cast<size_t>(model.dragged) < node_count)
        model.node_states[static_cast<size_t>(model.dragged)] = NodeState::placed;
}

void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance, const NodeMemorySettings& settings, TrackingMemory& memory) {
    if (!settings.enabled) {
        memory.trails.clear();
        track_nodes(model, clusters, max_distance, min_node_distance);
        return;
    }
    const size_t node_count = model.nodes.size();
    if (memory.trails.size() != node_count) memory.trails.assign(node_count, NodeTrail{});
    for (size_t i = 0; i < node_count; ++i) {
        NodeTrail& trail = memory.trails[i];
        const ModelNode& node = model.nodes[i];
        if (!trail.known || trail.at_x != node.x || trail.at_y != node.y || holds(model, i)) trail = NodeTrail{};
    }

    // The plain pass first, so a carried node never blocks a node that sees
    // its marker in this call.
    track_nodes(model, clusters, max_distance, min_node_distance);
    for (size_t i = 0; i < node_count; ++i) follow_trail(model, i, settings, memory.trails[i]);
}
