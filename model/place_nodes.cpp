#include "model/place_nodes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace {

double distance(const ChainPoint& a, const ChainPoint& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Held-Karp over subsets for an open path: best[mask][last] is the shortest
// path through the points of `mask` that ends at `last`.
std::vector<size_t> exact_chain(std::span<const ChainPoint> p) {
    const size_t n = p.size();
    const size_t full = (size_t{1} << n) - 1;
    constexpr double kNone = std::numeric_limits<double>::infinity();
    std::vector<double> best((full + 1) * n, kNone);
    std::vector<uint8_t> from((full + 1) * n, 0);
    for (size_t i = 0; i < n; ++i) best[(size_t{1} << i) * n + i] = 0.0;
    for (size_t mask = 1; mask <= full; ++mask) {
        for (size_t last = 0; last < n; ++last) {
            const double here = best[mask * n + last];
            if (!(mask >> last & 1) || here == kNone) continue;
            for (size_t next = 0; next < n; ++next) {
                if (mask >> next & 1) continue;
                const size_t grown = mask | size_t{1} << next;
                const double length = here + distance(p[last], p[next]);
                if (length < best[grown * n + next]) {
                    best[grown * n + next] = length;
                    from[grown * n + next] = static_cast<uint8_t>(last);
                }
            }
        }
    }
    size_t last = 0;
    for (size_t i = 1; i < n; ++i)
        if (best[full * n + i] < best[full * n + last]) last = i;
    std::vector<size_t> order;
    for (size_t mask = full; mask != 0;) {
        order.push_back(last);
        const size_t before = from[mask * n + last];
        mask &= ~(size_t{1} << last);
        last = before;
    }
    std::reverse(order.begin(), order.end());
    return order;
}

// For many points: the shortest of the nearest-neighbour chains from every
// start, then 2-opt (reversing a stretch) while any reversal shortens it.
std::vector<size_t> greedy_chain(std::span<const ChainPoint> p) {
    const size_t n = p.size();
    std::vector<size_t> best;
    double best_length = std::numeric_limits<double>::infinity();
    std::vector<char> used(n);
    for (size_t start = 0; start < n; ++start) {
        std::vector<size_t> order{start};
        std::fill(used.begin(), used.end(), 0);
        used[start] = 1;
        while (order.size() < n) {
            size_t next = n;
            for (size_t k = 0; k < n; ++k)
                if (!used[k] && (next == n || distance(p[order.back()], p[k]) < distance(p[order.back()], p[next])))
                    next = k;
            used[next] = 1;
            order.push_back(next);
        }
        const double length = chain_length(p, order);
        if (length < best_length) best_length = length, best = std::move(order);
    }
    for (bool better = true; better;) {
        better = false;
        for (size_t i = 0; i + 1 < n; ++i) {
            for (size_t j = i + 1; j < n; ++j) {
                // Reversing best[i..j] changes the links into i and out of j.
                const double before = (i > 0 ? distance(p[best[i - 1]], p[best[i]]) : 0.0) +
                                      (j + 1 < n ? distance(p[best[j]], p[best[j + 1]]) : 0.0);
                const double after = (i > 0 ? distance(p[best[i - 1]], p[best[j]]) : 0.0) +
                                     (j + 1 < n ? distance(p[best[i]], p[best[j + 1]]) : 0.0);
                if (after < before - 1e-9) {
                    std::reverse(best.begin() + static_cast<std::ptrdiff_t>(i),
                                 best.begin() + static_cast<std::ptrdiff_t>(j) + 1);
                    better = true;
                }
            }
        }
    }
    return best;
}

}  // namespace

double chain_length(std::span<const ChainPoint> points, std::span<const size_t> order) {
    double length = 0.0;
    for (size_t k = 1; k < order.size(); ++k) length += distance(points[order[k - 1]], points[order[k]]);
    return length;
}

std::vector<size_t> shortest_chain(std::span<const ChainPoint> points, ChainPoint start_near) {
    if (points.empty()) return {};
    std::vector<size_t> order = points.size() <= kExactChainMax ? exact_chain(points) : greedy_chain(points);
    const double front = distance(points[order.front()], start_near);
    const double back = distance(points[order.back()], start_near);
    if (back < front || (back == front && order.back() < order.front())) std::reverse(order.begin(), order.end());
    return order;
}

PlaceResult place_nodes(NodeModel& model, const ClusterList& clusters) {
    PlaceResult r;
    r.clusters = static_cast<int32_t>(clusters.size());
    r.nodes = static_cast<int32_t>(model.nodes.size());
    if (r.clusters != r.nodes || r.nodes == 0) return r;
    std::vector<ChainPoint> points;
    points.reserve(clusters.size());
    for (const Cluster& c : clusters) points.push_back({static_cast<double>(c.x), static_cast<double>(c.y)});
    const ModelNode& first = model.nodes.front();
    const std::vector<size_t> order = shortest_chain(points, {static_cast<double>(first.x), static_cast<double>(first.y)});
    for (size_t i = 0; i < order.size(); ++i) {
        const Cluster& c = clusters[order[i]];
        model.nodes[i] = ModelNode{c.x, c.y, 255};
    }
    model.node_states.clear();
    model.sub_pixel_centres.clear();
    r.placed = true;
    return r;
}

std::string place_nodes_text(const PlaceResult& result) {
    if (result.placed)
        return "placed " + std::to_string(result.nodes) + " nodes on " + std::to_string(result.clusters) +
               " clusters";
    return std::to_string(result.clusters) + (result.clusters == 1 ? " cluster" : " clusters") + " for " +
           std::to_string(result.nodes) + (result.nodes == 1 ? " node" : " nodes") + ": no node moved";
}
