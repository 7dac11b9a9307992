#include "model/tracking.h"

#include "model/distance.h"

void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance) {
    model.cluster_claims.assign(clusters.size(), 0);
    const int64_t reach2 = int64_t{max_distance} * max_distance;
    const int64_t crowd2 = int64_t{min_node_distance} * min_node_distance;
    const size_t node_count = model.nodes.size();

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
    }
}
