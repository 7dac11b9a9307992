#pragma once
// The three clustering methods written as plainly as they are described, step
// by step, with no attempt at speed: the reference the fast versions are
// compared with, and the baseline the benchmarks measure them against. Each
// may stop after a number of steps so that the cost of a run that would take
// minutes can be measured on a bounded part of it.

#include <cstdint>
#include <limits>

#include "cluster/records.h"

namespace literal {

inline constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

struct Work {
    BrightPixelList w;
    AccumulatorList a;
};

// All arithmetic is int32 as described, except that the squared maximum
// distance and the squared distances are formed in 64 bits so that a maximum
// beyond 46340 means "everything in reach" instead of wrapping.
inline int64_t square(int64_t v) { return v * v; }

inline void absorb(ClusterAccumulator& r, int32_t sx, int32_t sy, int32_t sv, int32_t count) {
    r.sum_x += sx;
    r.sum_y += sy;
    r.sum_value += sv;
    r.count += count;
    r.x = r.sum_x / r.count;
    r.y = r.sum_y / r.count;
    r.value = r.sum_value / r.count;
}

// Region grow; stops after `max_seeds` seeds. Returns the distance tests made.
inline int64_t region_grow(Work& work, const BrightPixelList& pixels, ClusterList& clusters,
                           int32_t max_distance, int32_t max_cluster_size,
                           int32_t min_cluster_size, int64_t max_seeds = kNoLimit) {
    BrightPixelList& w = work.w;
    AccumulatorList& a = work.a;
    w.assign(pixels.begin(), pixels.end());
    a.clear();
    const int64_t r2 = square(max_distance);
    int64_t tests = 0;
    int64_t seeds = 0;
    while (!w.empty() && seeds++ < max_seeds) {
        a.push_back(ClusterAccumulator{0, 0, 0, 0, 0, 0, 0});
        ClusterAccumulator& r = a.back();
        const BrightPixel seed = w.back();
        absorb(r, seed.x, seed.y, seed.value, 1);
        w.pop_back();
        for (size_t k = 0; k < w.size(); ++k) {
            ++tests;
            const int64_t d = square(w[k].x - r.x) + square(w[k].y - r.y);
            if (d > r2) continue;
            absorb(r, w[k].x, w[k].y, w[k].value, 1);
            w[k].value = 0;
            if (r.count >= max_cluster_size) break;
        }
        size_t j = 0;
        while (j < w.size()) {
            if (w[j].value != 0) {
                ++j;
                continue;
            }
            w[j] = w.back();
            w.pop_back();
        }
    }
    clusters.clear();
    for (const ClusterAccumulator& r : a)
        if (r.count >= min_cluster_size) clusters.push_back(Cluster{r.x, r.y, r.value});
    return tests;
}

// Hierarchical merge; stops after `max_searches` partner searches. Returns the
// distance tests made.
inline int64_t hierarchical_merge(Work& work, const BrightPixelList& pixels, ClusterList& clusters,
                                  int32_t max_distance, int32_t min_cluster_size,
                                  int64_t max_searches = kNoLimit) {
    AccumulatorList& a = work.a;
    a.reserve(pixels.size());
    a.clear();
    for (const BrightPixel& p : pixels) a.push_back(ClusterAccumulator{p.x, p.y, p.value, 1, p.x, p.y, p.value});
    const int64_t r2 = square(max_distance);
    int64_t tests = 0;
    int64_t searches = 0;
    size_t i = 0;
    while (i < a.size() && searches++ < max_searches) {
        int64_t best = 2147483647;
        int64_t partner = -1;
        for (size_t j = 0; j < a.size(); ++j) {
            if (j == i) continue;
            ++tests;
            const int64_t d = square(a[j].x - a[i].x) + square(a[j].y - a[i].y);
            if (d <= r2 && d < best) {
                best = d;
                partner = static_cast<int64_t>(j);
            }
        }
        if (partner < 0) {
            ++i;
            continue;
        }
        const size_t b = static_cast<size_t>(partner);
        absorb(a[i], a[b].sum_x, a[b].sum_y, a[b].sum_value, a[b].count);
        if (b != a.size() - 1) a[b] = a.back();
        a.pop_back();
    }
    clusters.clear();
    for (const ClusterAccumulator& r : a)
        if (r.count >= min_cluster_size) clusters.push_back(Cluster{r.x, r.y, r.value});
    return tests;
}

// k-means with sums of type Sum (int32 as first described, or int64).
template <class Sum>
void kmeans(const BrightPixelList& pixels, ClusterList& clusters, int32_t iterations) {
    struct Sums {
        Sum x, y, value;
    };
    std::vector<Sums> s(clusters.size(), Sums{0, 0, 0});
    if (iterations <= 0) return;
    for (int32_t round = 0; round < iterations; ++round) {
        for (Sums& e : s) e = Sums{0, 0, 0};
        for (const BrightPixel& p : pixels) {
            int64_t best = 2147483647;
            int64_t nearest = -1;
            for (size_t j = 0; j < clusters.size(); ++j) {
                const int64_t d = square(clusters[j].x - p.x) + square(clusters[j].y - p.y);
                if (d < best) {
                    best = d;
                    nearest = static_cast<int64_t>(j);
                }
            }
            if (nearest < 0) continue;
            Sums& e = s[static_cast<size_t>(nearest)];
            e.x += static_cast<Sum>(p.x) * static_cast<Sum>(p.value);
            e.y += static_cast<Sum>(p.y) * static_cast<Sum>(p.value);
            e.value += static_cast<Sum>(p.value);
        }
        for (Sums& e : s) {
            if (e.value > 0) {
                e.x /= e.value;
                e.y /= e.value;
                e.value /= e.value;
            }
        }
        for (size_t j = 0; j < clusters.size(); ++j)
            clusters[j] = Cluster{static_cast<int32_t>(s[j].x), static_cast<int32_t>(s[j].y),
                                  static_cast<int32_t>(s[j].value)};
    }
}

}  // namespace literal
