#include "cluster/cluster_stats.h"

#include <algorithm>

void compute_cluster_stats(const ClusterMembers& members, const Frame& raw, int32_t threshold,
                           ClusterStatsList& out) {
    const size_t clusters = members.cluster_count();
    out.assign(clusters, ClusterStats{});
    const bool full_frame = raw.size() == kFrameBytes;
    const int64_t floor = int64_t{threshold} - 1;  // a pixel at the threshold weighs 1
    for (size_t k = 0; k < clusters; ++k) {
        ClusterStats& s = out[k];
        const MemberPixel* begin = members.begin_of(k);
        const MemberPixel* end = members.end_of(k);
        if (begin == end) continue;
        s.x_min = s.x_max = begin->x;
        s.y_min = s.y_max = begin->y;
        // Exact integer sums: 256 * 172800 * 479 fits easily in 64 bits.
        int64_t grey = 0, weight = 0, weighted_x = 0, weighted_y = 0;
        for (const MemberPixel* p = begin; p != end; ++p) {
            s.x_min = std::min(s.x_min, p->x);
            s.x_max = std::max(s.x_max, p->x);
            s.y_min = std::min(s.y_min, p->y);
            s.y_max = std::max(s.y_max, p->y);
            const bool inside = full_frame && p->x >= 0 && p->x < kFrameWidth && p->y >= 0 && p->y < kFrameHeight;
            const int64_t g = inside ? raw[static_cast<size_t>(p->y) * kFrameWidth + static_cast<size_t>(p->x)] : 0;
            const int64_t w = inside ? std::max<int64_t>(g - floor, 0) : 0;
            grey += g;
            weight += w;
            weighted_x += w * p->x;
            weighted_y += w * p->y;
        }
        s.pixel_count = static_cast<int32_t>(end - begin);
        s.weight_sum = weight;
        s.mean_grey = static_cast<double>(grey) / s.pixel_count;
        if (weight > 0) {
            s.centre_x = static_cast<double>(weighted_x) / static_cast<double>(weight);
            s.centre_y = static_cast<double>(weighted_y) / static_cast<double>(weight);
        }
    }
}

void prepare_member_listing(ClusterStatistics& stats, KMeansSums& kmeans_sums,
                            RegionGrowWork& region_grow_work, MergeWork& merge_work) {
    ClusterMembers* members = stats.wanted() ? &stats.members : nullptr;
    kmeans_sums.members = members;
    region_grow_work.members = members;
    merge_work.members = members;
}

void finish_cluster_statistics(ClusterStatistics& stats, int32_t cluster_method, const ClusterList& clusters,
                               const Frame& raw, int32_t threshold) {
    const bool method_ran = cluster_method >= 0 && cluster_method <= 2;
    stats.computed = stats.wanted() && method_ran && stats.members.cluster_count() == clusters.size();
    if (!stats.computed) return;
    compute_cluster_stats(stats.members, raw, threshold, stats.clusters);
    stats.described.assign(clusters.begin(), clusters.end());
}

bool describes(const ClusterStatistics& stats, const ClusterList& current) {
    if (!stats.computed || stats.described.size() != current.size()) return false;
    return std::equal(current.begin(), current.end(), stats.described.begin(), [](const Cluster& a, const Cluster& b) {
        return a.x == b.x && a.y == b.y && a.value == b.value;
    });
}

const ClusterStats* statistics_of(const ClusterStatistics& stats, const ClusterList& current, size_t index) {
    if (index >= current.size() || !describes(stats, current)) return nullptr;
    return &stats.clusters[index];
}
