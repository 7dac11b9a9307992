#include "model/tracking.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "model/distance.h"

namespace {

using model_geometry::clamped_square;
using model_geometry::squared_distance;

// Up to this many distance tests per cycle the plain loops are cheaper than
// setting up the indexes.
constexpr int64_t kPlainWorkMax = 4096;

// Below this many clusters the nearest one is found by a plain scan.
constexpr size_t kLinearClustersMax = 16;

// The crowding index holds at most this many cells, and about two per node;
// wider regions get larger cells.
constexpr int64_t kMaxCrowdCells = int64_t{1} << 18;
constexpr int64_t kCrowdCellsPerNode = 2;
constexpr int64_t kMinCrowdCells = 256;

// Beyond this minimum distance a clamped square (model/distance.h) may fall
// below crowd2 while the difference is not within it: the plain test then.
constexpr int64_t kMaxIndexedCrowdDistance = model_geometry::kMaxDifference;

int64_t gap(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo - v : v > hi ? v - hi : 0; }

struct Box {
    int32_t x0, y0, x1, y1;
};

Box bounds(const ClusterList& clusters) {
    Box b{clusters[0].x, clusters[0].y, clusters[0].x, clusters[0].y};
    for (const Cluster& c : clusters) {
        b.x0 = std::min(b.x0, c.x);
        b.y0 = std::min(b.y0, c.y);
        b.x1 = std::max(b.x1, c.x);
        b.y1 = std::max(b.y1, c.y);
    }
    return b;
}

// A lower bound on the squared distance from (x, y) to any point of the box,
// in the clamped measure of squared_distance.
int64_t box_distance2(const Box& b, int32_t x, int32_t y) {
    return clamped_square(gap(x, b.x0, b.x1), 0) + clamped_square(gap(y, b.y0, b.y1), 0);
}

// The nearest cluster of a position, among those strictly within reach; on
// equal distances the higher index. Clusters sit in a uniform grid of
// power-of-two cells, searched in square rings around the position's cell
// (or the nearest cell to it) until a ring's distance bound exceeds the best
// distance found or the reach.
class NearestCluster {
public:
    void build(const ClusterList& clusters, int64_t reach2) {
        clusters_ = &clusters;
        reach2_ = reach2;
        box_ = bounds(clusters);
        const int64_t w = int64_t{box_.x1} - box_.x0 + 1, h = int64_t{box_.y1} - box_.y0 + 1;
        linear_ = clusters.size() <= kLinearClustersMax;
        if (linear_) return;
        // About two cells per cluster.
        const int64_t target = 2 * static_cast<int64_t>(clusters.size());
        shift_ = 0;
        while (((w - 1) >> shift_) + 1 > 1 << 15 || ((h - 1) >> shift_) + 1 > 1 << 15 ||
               (((w - 1) >> shift_) + 1) * (((h - 1) >> shift_) + 1) > target)
            ++shift_;
        gw_ = ((w - 1) >> shift_) + 1;
        gh_ = ((h - 1) >> shift_) + 1;
        start_.assign(static_cast<size_t>(gw_ * gh_ + 1), 0);
        for (const Cluster& c : clusters) ++start_[static_cast<size_t>(cell_of(c)) + 1];
        for (size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
        members_.resize(clusters.size());
        fill_ = start_;
        for (size_t k = 0; k < clusters.size(); ++k)
            members_[static_cast<size_t>(fill_[static_cast<size_t>(cell_of(clusters[k]))]++)] = static_cast<int32_t>(k);
    }

    // The index of the nearest cluster with a squared distance below the
    // reach, or -1.
    int32_t find(int32_t x, int32_t y) const {
        if (box_distance2(box_, x, y) >= reach2_) return -1;
        const ClusterList& clusters = *clusters_;
        int64_t best = INT64_MAX;
        int32_t nearest = -1;
        auto consider = [&](int32_t k) {
            const Cluster& c = clusters[static_cast<size_t>(k)];
            const int64_t d = squared_distance(c.x, c.y, x, y);
            if (d < reach2_ && (d < best || (d == best && k > nearest))) {
                best = d;
                nearest = k;
            }
        };
        if (linear_) {
            for (size_t k = 0; k < clusters.size(); ++k) consider(static_cast<int32_t>(k));
            return nearest;
        }
        const int64_t cx = std::clamp<int64_t>((int64_t{x} - box_.x0) >> shift_, 0, gw_ - 1);
        const int64_t cy = std::clamp<int64_t>((int64_t{y} - box_.y0) >> shift_, 0, gh_ - 1);
        const int64_t last_ring = std::max({cx, gw_ - 1 - cx, cy, gh_ - 1 - cy});
        for (int64_t ring = 0; ring <= last_ring; ++ring) {
            // A cell of ring r lies at least r - 1 cells from the position's
            // cell along one axis; a position outside the grid is farther still.
            if (ring > 0) {
                const int64_t bound = clamped_square((ring - 1) << shift_, 0);
                if (bound > best || bound >= reach2_) break;
            }
            for (int64_t gy = std::max<int64_t>(cy - ring, 0); gy <= std::min(cy + ring, gh_ - 1); ++gy) {
                const bool edge_row = gy == cy - ring || gy == cy + ring;
                const int64_t step = edge_row ? 1 : 2 * ring;
                for (int64_t gx = cx - ring; gx <= cx + ring; gx += std::max<int64_t>(step, 1)) {
                    if (gx < 0 || gx >= gw_) continue;
                    const int64_t lx = int64_t{box_.x0} + (gx << shift_), ly = int64_t{box_.y0} + (gy << shift_);
                    const int64_t cell_bound = clamped_square(gap(x, lx, lx + (int64_t{1} << shift_) - 1), 0) +
                                               clamped_square(gap(y, ly, ly + (int64_t{1} << shift_) - 1), 0);
                    if (cell_bound > best || cell_bound >= reach2_) continue;
                    const size_t cell = static_cast<size_t>(gy * gw_ + gx);
                    for (int32_t m = start_[cell]; m < start_[cell + 1]; ++m) consider(members_[static_cast<size_t>(m)]);
                }
            }
        }
        return nearest;
    }

private:
    int64_t cell_of(const Cluster& c) const {
        return ((int64_t{c.y} - box_.y0) >> shift_) * gw_ + ((int64_t{c.x} - box_.x0) >> shift_);
    }

    const ClusterList* clusters_ = nullptr;
    int64_t reach2_ = 0;
    Box box_{};
    bool linear_ = true;
    int32_t shift_ = 0;
    int64_t gw_ = 0, gh_ = 0;
    std::vector<int32_t> start_, fill_;  // each cell's first entry in members_
    std::vector<int32_t> members_;      // cluster indices, cell by cell
};

// Whether another node stands within the minimum distance of a cluster, as
// the nodes stand at that moment. Only nodes within that distance of the
// clusters' bounding box can ever count; they sit in a grid of cells at least
// as wide as the distance, so a query looks at 3 x 3 cells at most. Nodes
// move only onto clusters they claim, and at most once per cycle, so the grid
// keeps their start positions and a moved node is found through the claimed
// clusters instead (listed per cell). Each cluster remembers two nodes found
// within reach of it: while one of them is still in place and is not the
// asking node, the answer needs no search.
class Crowding {
public:
    void build(const NodeModel& model, const ClusterList& clusters, int64_t distance) {
        clusters_ = &clusters;
        distance_ = distance;
        crowd2_ = distance * distance;
        const Box b = bounds(clusters);
        x0_ = int64_t{b.x0} - (distance - 1);
        y0_ = int64_t{b.y0} - (distance - 1);
        const int64_t x1 = int64_t{b.x1} + (distance - 1), y1 = int64_t{b.y1} + (distance - 1);
        side_ = distance;
        const int64_t max_cells = std::min(
            kMaxCrowdCells, kMinCrowdCells + kCrowdCellsPerNode * static_cast<int64_t>(model.nodes.size()));
        while ((x1 - x0_) / side_ >= max_cells || (y1 - y0_) / side_ >= max_cells ||
               ((x1 - x0_) / side_ + 1) * ((y1 - y0_) / side_ + 1) > max_cells)
            side_ *= 2;
        gw_ = (x1 - x0_) / side_ + 1;
        const int64_t cells = gw_ * ((y1 - y0_) / side_ + 1);

        start_.assign(static_cast<size_t>(cells + 1), 0);
        auto cell_of = [&](int32_t x, int32_t y) -> int64_t {
            const int64_t dx = int64_t{x} - x0_, dy = int64_t{y} - y0_;
            if (dx < 0 || dy < 0 || x > x1 || y > y1) return -1;
            return (dy / side_) * gw_ + dx / side_;
        };
        for (const ModelNode& n : model.nodes) {
            const int64_t cell = cell_of(n.x, n.y);
            if (cell >= 0) ++start_[static_cast<size_t>(cell) + 1];
        }
        for (size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
        entries_.resize(static_cast<size_t>(start_.back()));
        fill_ = start_;
        for (size_t i = 0; i < model.nodes.size(); ++i) {
            const ModelNode& n = model.nodes[i];
            const int64_t cell = cell_of(n.x, n.y);
            if (cell >= 0)
                entries_[static_cast<size_t>(fill_[static_cast<size_t>(cell)]++)] = Entry{n.x, n.y, static_cast<int32_t>(i)};
        }

        moved_.assign(model.nodes.size(), 0);
        claimed_head_.assign(static_cast<size_t>(cells), -1);
        claimed_next_.assign(clusters.size(), -1);
        witnesses_.assign(clusters.size(), Witnesses{});
    }

    bool crowded(int32_t i, int32_t k) {
        const Cluster& c = (*clusters_)[static_cast<size_t>(k)];
        // The cells of every position with both differences below the distance.
        const int64_t reach = distance_ - 1;
        const int64_t gx0 = (int64_t{c.x} - reach - x0_) / side_, gx1 = (int64_t{c.x} + reach - x0_) / side_;
        const int64_t gy0 = (int64_t{c.y} - reach - y0_) / side_, gy1 = (int64_t{c.y} + reach - y0_) / side_;

        // Moved nodes: one on each claimed cluster, never the asking node.
        for (int64_t gy = gy0; gy <= gy1; ++gy)
            for (int64_t gx = gx0; gx <= gx1; ++gx)
                for (int32_t m = claimed_head_[static_cast<size_t>(gy * gw_ + gx)]; m >= 0;
                     m = claimed_next_[static_cast<size_t>(m)]) {
                    const Cluster& o = (*clusters_)[static_cast<size_t>(m)];
                    if (squared_distance(o.x, o.y, c.x, c.y) < crowd2_) return true;
                }

        // Nodes still where they started.
        Witnesses& w = witnesses_[static_cast<size_t>(k)];
        if (w.state != Witnesses::unknown) {
            for (const int32_t l : w.node)
                if (l >= 0 && l != i && moved_[static_cast<size_t>(l)] == 0) return true;
            if (w.state == Witnesses::all) return false;
        }
        w = Witnesses{};
        int found = 0;
        for (int64_t gy = gy0; gy <= gy1 && found < 2; ++gy)
            for (int64_t gx = gx0; gx <= gx1 && found < 2; ++gx) {
                const size_t cell = static_cast<size_t>(gy * gw_ + gx);
                for (int32_t s = start_[cell]; s < start_[cell + 1] && found < 2; ++s) {
                    const Entry& e = entries_[static_cast<size_t>(s)];
                    if (moved_[static_cast<size_t>(e.node)] == 0 && squared_distance(e.x, e.y, c.x, c.y) < crowd2_)
                        w.node[found++] = e.node;
                }
            }
        // Fewer than two found means every one was found; two are enough to
        // answer for any asking node while both stay.
        w.state = found < 2 ? Witnesses::all : Witnesses::some;
        return (w.node[0] >= 0 && w.node[0] != i) || (w.node[1] >= 0 && w.node[1] != i);
    }

    // Node i has moved onto cluster k.
    void moved(int32_t i, int32_t k) {
        moved_[static_cast<size_t>(i)] = 1;
        const Cluster& c = (*clusters_)[static_cast<size_t>(k)];
        const size_t cell = static_cast<size_t>(((int64_t{c.y} - y0_) / side_) * gw_ + (int64_t{c.x} - x0_) / side_);
        claimed_next_[static_cast<size_t>(k)] = claimed_head_[cell];
        claimed_head_[cell] = k;
    }

private:
    struct Entry {
        int32_t x, y, node;
    };
    struct Witnesses {
        enum State : int32_t { unknown, all, some } state = unknown;
        int32_t node[2] = {-1, -1};
    };

    const ClusterList* clusters_ = nullptr;
    int64_t distance_ = 1;  // the minimum node distance, 1 to 2^30
    int64_t crowd2_ = 1;
    int64_t x0_ = 0, y0_ = 0, side_ = 1, gw_ = 0;
    std::vector<int32_t> start_, fill_;  // each cell's first entry
    std::vector<Entry> entries_;         // nodes at their start positions, cell by cell
    std::vector<uint8_t> moved_;         // per node: moved in this call
    std::vector<int32_t> claimed_head_;  // per cell: a claimed cluster in it, or -1
    std::vector<int32_t> claimed_next_;  // per cluster: the next claimed one of its cell
    std::vector<Witnesses> witnesses_;   // per cluster
};

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

// Storage kept from call to call; tracking runs once per cycle.
struct TrackingIndexes {
    NearestCluster nearest;
    Crowding crowding;
};

// Node i has moved onto cluster k: it keeps that cluster's measured centre.
void take_centre(NodeModel& model, size_t i, size_t k, std::span<const SubPixelCentre> cluster_centres) {
    if (k < cluster_centres.size()) model.sub_pixel_centres[i] = cluster_centres[k];
}

// What every call rebuilds before the nodes move: no claims, every node held, no centres.
void start_call(NodeModel& model, const ClusterList& clusters) {
    model.cluster_claims.assign(clusters.size(), 0);
    model.node_states.assign(model.nodes.size(), NodeState::held);
    model.sub_pixel_centres.assign(model.nodes.size(), SubPixelCentre{});
}

void track_plain(NodeModel& model, const ClusterList& clusters, int64_t reach2, int64_t crowd2,
                 std::span<const SubPixelCentre> cluster_centres) {
    const size_t node_count = model.nodes.size();
    for (size_t i = 0; i < node_count; ++i) {
        ModelNode& node = model.nodes[i];

        // Nearest cluster; "<=" hands equal distances to the later cluster.
        int64_t best = INT64_MAX;
        size_t nearest = clusters.size();
        for (size_t k = 0; k < clusters.size(); ++k) {
            const int64_t d = squared_distance(clusters[k].x, clusters[k].y, node.x, node.y);
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
            crowded = squared_distance(other.x, other.y, target.x, target.y) < crowd2;
        }
        if (crowded) continue;

        // Taken by an earlier node: no second choice.
        if (model.cluster_claims[nearest] != 0) continue;

        node = ModelNode{target.x, target.y, 255};
        model.cluster_claims[nearest] = 1;
        model.node_states[i] = NodeState::tracked;
        take_centre(model, i, nearest, cluster_centres);
    }
}

// The node the pointer holds is placed, whatever tracking did with it, and
// the pointer, not a marker, says where it is.
void mark_placed(NodeModel& model) {
    if (model.dragged >= 0 && static_cast<size_t>(model.dragged) < model.nodes.size()) {
        model.node_states[static_cast<size_t>(model.dragged)] = NodeState::placed;
        model.sub_pixel_centres[static_cast<size_t>(model.dragged)] = SubPixelCentre{};
    }
}

}  // namespace

void track_nodes_indexed(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                         int32_t min_node_distance, std::span<const SubPixelCentre> cluster_centres) {
    start_call(model, clusters);
    const int64_t reach2 = int64_t{max_distance} * max_distance;
    const int64_t distance = std::abs(int64_t{min_node_distance});
    if (clusters.empty() || reach2 == 0) {  // no node can move
        mark_placed(model);
        return;
    }

    thread_local TrackingIndexes ix;
    ix.nearest.build(clusters, reach2);
    const bool crowd_test = distance > 0;
    const bool indexed_crowding = crowd_test && distance <= kMaxIndexedCrowdDistance;
    if (indexed_crowding) ix.crowding.build(model, clusters, distance);
    const int64_t crowd2 = distance * distance;

    for (size_t i = 0; i < model.nodes.size(); ++i) {
        ModelNode& node = model.nodes[i];
        const int32_t k = ix.nearest.find(node.x, node.y);
        // The claim is looked at before the crowding: both only keep the node
        // in place, and the claim costs nothing.
        if (k < 0 || model.cluster_claims[static_cast<size_t>(k)] != 0) continue;
        const Cluster& target = clusters[static_cast<size_t>(k)];
        if (indexed_crowding) {
            if (ix.crowding.crowded(static_cast<int32_t>(i), k)) continue;
        } else if (crowd_test) {
            bool crowded = false;
            for (size_t l = 0; l < model.nodes.size() && !crowded; ++l)
                crowded = l != i && squared_distance(model.nodes[l].x, model.nodes[l].y, target.x, target.y) < crowd2;
            if (crowded) continue;
        }
        node = ModelNode{target.x, target.y, 255};
        model.cluster_claims[static_cast<size_t>(k)] = 1;
        model.node_states[i] = NodeState::tracked;
        take_centre(model, i, static_cast<size_t>(k), cluster_centres);
        if (indexed_crowding) ix.crowding.moved(static_cast<int32_t>(i), k);
    }
    mark_placed(model);
}

void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance, int32_t min_node_distance,
                 std::span<const SubPixelCentre> cluster_centres) {
    const int64_t n = static_cast<int64_t>(model.nodes.size());
    if (n * (n + static_cast<int64_t>(clusters.size())) > kPlainWorkMax) {
        track_nodes_indexed(model, clusters, max_distance, min_node_distance, cluster_centres);
        return;
    }
    start_call(model, clusters);
    track_plain(model, clusters, int64_t{max_distance} * max_distance,
                int64_t{min_node_distance} * min_node_distance, cluster_centres);
    mark_placed(model);
}

void cluster_centres(const ClusterStatistics& stats, const ClusterList& current, std::vector<SubPixelCentre>& out) {
    out.clear();
    if (!describes(stats, current)) return;
    out.resize(current.size());
    for (size_t k = 0; k < current.size(); ++k) {
        const ClusterStats& s = stats.clusters[k];
        if (s.has_centre()) out[k] = SubPixelCentre{static_cast<float>(s.centre_x), static_cast<float>(s.centre_y)};
    }
}

void track_nodes(NodeModel& model, const ClusterList& clusters, int32_t max_distance,
                 int32_t min_node_distance, const NodeMemorySettings& settings, TrackingMemory& memory,
                 std::span<const SubPixelCentre> cluster_centres) {
    if (!settings.enabled) {
        memory.trails.clear();
        track_nodes(model, clusters, max_distance, min_node_distance, cluster_centres);
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
    track_nodes(model, clusters, max_distance, min_node_distance, cluster_centres);
    for (size_t i = 0; i < node_count; ++i) follow_trail(model, i, settings, memory.trails[i]);
}

