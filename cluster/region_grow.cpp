#include "cluster/region_grow.h"

#include <algorithm>
#include <cstddef>

#include "cluster/cluster_math.h"

namespace {

using cluster_math::add_pixel;
using cluster_math::squared_distance;

constexpr size_t kBlockShift = 5;  // 32 entries per block
constexpr size_t kGroupShift = 5;  // 32 blocks per group
constexpr size_t kBlock = size_t{1} << kBlockShift;
constexpr size_t kGroup = size_t{1} << kGroupShift;

size_t blocks_for(size_t n) { return (n + kBlock - 1) >> kBlockShift; }
size_t groups_for(size_t blocks) { return (blocks + kGroup - 1) >> kGroupShift; }

// Squared distance from a point to the nearest point of a box.
int32_t box_distance2(const PixelBox& b, int32_t cx, int32_t cy) {
    const int32_t dx = std::max({b.x0 - cx, cx - b.x1, 0});
    const int32_t dy = std::max({b.y0 - cy, cy - b.y1, 0});
    return dx * dx + dy * dy;
}

PixelBox pixel_box(const BrightPixel* p, size_t count) {
    PixelBox box{p[0].x, p[0].x, p[0].y, p[0].y};
    for (size_t i = 1; i < count; ++i) {
        box.x0 = std::min(box.x0, p[i].x);
        box.x1 = std::max(box.x1, p[i].x);
        box.y0 = std::min(box.y0, p[i].y);
        box.y1 = std::max(box.y1, p[i].y);
    }
    return box;
}

void update_block(RegionGrowWork& w, size_t b, size_t n) {
    const size_t begin = b << kBlockShift;
    w.block_boxes[b] = pixel_box(w.pixels.data() + begin, std::min(n, begin + kBlock) - begin);
}

void update_group(RegionGrowWork& w, size_t g, size_t blocks) {
    const size_t begin = g << kGroupShift;
    const size_t end = std::min(blocks, begin + kGroup);
    PixelBox box = w.block_boxes[begin];
    for (size_t b = begin + 1; b < end; ++b) {
        const PixelBox& o = w.block_boxes[b];
        box = PixelBox{std::min(box.x0, o.x0), std::max(box.x1, o.x1), std::min(box.y0, o.y0),
                       std::max(box.y1, o.y1)};
    }
    w.group_boxes[g] = box;
}

bool inside(const PixelBox& outer, const PixelBox& inner) {
    return outer.x0 <= inner.x0 && inner.x1 <= outer.x1 && outer.y0 <= inner.y0 && inner.y1 <= outer.y1;
}

// Invariant failures: entries of [begin, end) within reach of the centre.
int64_t reachable_in(const RegionGrowWork& w, size_t begin, size_t end, const ClusterAccumulator& r,
                     int32_t r2) {
    int64_t found = 0;
    for (size_t k = begin; k < end; ++k)
        found += squared_distance(w.pixels[k].x, w.pixels[k].y, r.x, r.y) <= r2;
    return found;
}

// Invariant failures: boxes that do not contain what they stand for.
int64_t loose_boxes(const RegionGrowWork& w, size_t n) {
    int64_t bad = 0;
    const size_t blocks = blocks_for(n);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t begin = b << kBlockShift;
        const size_t end = std::min(n, begin + kBlock);
        for (size_t k = begin; k < end; ++k) {
            const BrightPixel& p = w.pixels[k];
            bad += !inside(w.block_boxes[b], PixelBox{p.x, p.x, p.y, p.y});
        }
        bad += !inside(w.group_boxes[b >> kGroupShift], w.block_boxes[b]);
    }
    return bad;
}

// The pixels were listed cluster by cluster as they were absorbed; the lists
// of clusters below the minimum size are squeezed out, the rest move down in
// order.
void keep_members(RegionGrowWork& w, int32_t min_cluster_size) {
    ClusterMembers& m = *w.members;
    m.first.clear();
    m.first.push_back(0);
    uint32_t kept = 0;
    const size_t grown = w.clusters.size();
    for (size_t k = 0; k < grown; ++k) {
        const uint32_t begin = w.member_starts[k];
        const uint32_t end = k + 1 < grown ? w.member_starts[k + 1] : static_cast<uint32_t>(m.pixels.size());
        if (w.clusters[k].count < min_cluster_size) continue;
        if (kept != begin) std::copy(m.pixels.begin() + begin, m.pixels.begin() + end, m.pixels.begin() + kept);
        kept += end - begin;
        m.first.push_back(kept);
    }
    m.pixels.resize(kept);
}

template <bool kCheck, bool kRecord>
int64_t grow(RegionGrowWork& w, const BrightPixelList& pixels, ClusterList& out, int32_t max_distance,
             int32_t max_cluster_size, int32_t min_cluster_size) {
    int64_t failures = 0;
    BrightPixelList& list = w.pixels;
    list.assign(pixels.begin(), pixels.end());
    w.clusters.clear();
    w.plain_distance_tests = 0;
    const int32_t r2 = cluster_math::reach_squared(max_distance);

    size_t n = list.size();
    w.block_boxes.resize(blocks_for(n));
    w.group_boxes.resize(groups_for(w.block_boxes.size()));
    for (size_t b = 0; b < w.block_boxes.size(); ++b) update_block(w, b, n);
    for (size_t g = 0; g < w.group_boxes.size(); ++g) update_group(w, g, w.block_boxes.size());

    [[maybe_unused]] ClusterMembers* members = kRecord ? w.members : nullptr;
    if constexpr (kRecord) {
        members->clear();
        w.member_starts.clear();
    }

    while (n > 0) {
        ClusterAccumulator r{0, 0, 0, 0, 0, 0, 0};
        add_pixel(r, list[n - 1]);
        if constexpr (kRecord) {
            w.member_starts.push_back(static_cast<uint32_t>(members->pixels.size()));
            members->pixels.push_back(MemberPixel{list[n - 1].x, list[n - 1].y});
        }
        list.pop_back();
        --n;
        w.plain_distance_tests += static_cast<int64_t>(n);

        // Scan W in order against the moving centre, passing over whole
        // groups and blocks that lie out of reach of the centre as it stands.
        w.absorbed.clear();
        const size_t blocks = blocks_for(n);
        const size_t groups = groups_for(blocks);
        bool full = false;
        for (size_t g = 0; g < groups && !full; ++g) {
            const size_t group_begin = g << kGroupShift;
            const size_t group_end = std::min(blocks, group_begin + kGroup);
            if (box_distance2(w.group_boxes[g], r.x, r.y) > r2) {
                if constexpr (kCheck)
                    failures += reachable_in(w, group_begin << kBlockShift,
                                             std::min(n, group_end << kBlockShift), r, r2);
                continue;
            }
            for (size_t b = group_begin; b < group_end && !full; ++b) {
                const size_t begin = b << kBlockShift;
                const size_t end = std::min(n, begin + kBlock);
                if (box_distance2(w.block_boxes[b], r.x, r.y) > r2) {
                    if constexpr (kCheck) failures += reachable_in(w, begin, end, r, r2);
                    continue;
                }
                for (size_t k = begin; k < end; ++k) {
                    BrightPixel& p = list[k];
                    if (squared_distance(p.x, p.y, r.x, r.y) > r2) continue;
                    add_pixel(r, p);
                    if constexpr (kRecord) members->pixels.push_back(MemberPixel{p.x, p.y});
                    p.value = 0;
                    w.absorbed.push_back(static_cast<int32_t>(k));
                    if (r.count >= max_cluster_size) {
                        full = true;
                        break;
                    }
                }
            }
        }
        w.clusters.push_back(r);

        // Swap-with-last compaction, visiting only the absorbed positions in
        // ascending order: absorbed entries at the tail are dropped, and each
        // absorbed position below the new end takes the last live entry.
        w.touched.clear();
        size_t len = n;
        for (const int32_t pos : w.absorbed) {
            const size_t j = static_cast<size_t>(pos);
            while (len > j && list[len - 1].value == 0) --len;
            if (j >= len) break;
            list[j] = list[len - 1];
            --len;
            const int32_t b = static_cast<int32_t>(j >> kBlockShift);
            if (w.touched.empty() || w.touched.back() != b) w.touched.push_back(b);
        }
        list.resize(len);
        n = len;

        // Tighten the boxes of the changed blocks, of the new last block, and
        // of their groups.
        const size_t new_blocks = blocks_for(n);
        w.block_boxes.resize(new_blocks);
        w.group_boxes.resize(groups_for(new_blocks));
        if (n == 0) break;
        w.touched.push_back(static_cast<int32_t>(new_blocks - 1));
        int32_t last_group = -1;
        for (const int32_t b : w.touched) {
            if (static_cast<size_t>(b) >= new_blocks) continue;
            update_block(w, static_cast<size_t>(b), n);
        }
        for (const int32_t b : w.touched) {
            const int32_t g = b >> kGroupShift;
            if (static_cast<size_t>(b) >= new_blocks || g == last_group) continue;
            update_group(w, static_cast<size_t>(g), new_blocks);
            last_group = g;
        }
        if constexpr (kCheck) failures += loose_boxes(w, n);
    }

    out.clear();
    for (const ClusterAccumulator& r : w.clusters) {
        if (r.count >= min_cluster_size) out.push_back(Cluster{r.x, r.y, r.value});
    }
    if constexpr (kRecord) keep_members(w, min_cluster_size);
    return failures;
}

}  // namespace

void region_grow(RegionGrowWork& work, const BrightPixelList& pixels, ClusterList& clusters,
                 int32_t max_distance, int32_t max_cluster_size, int32_t min_cluster_size) {
    if (work.members != nullptr) {
        (void)grow<false, true>(work, pixels, clusters, max_distance, max_cluster_size, min_cluster_size);
        return;
    }
    (void)grow<false, false>(work, pixels, clusters, max_distance, max_cluster_size, min_cluster_size);
}

int64_t region_grow_self_checked(RegionGrowWork& work, const BrightPixelList& pixels,
                                 ClusterList& clusters, int32_t max_distance,
                                 int32_t max_cluster_size, int32_t min_cluster_size) {
    return grow<true, false>(work, pixels, clusters, max_distance, max_cluster_size, min_cluster_size);
}
