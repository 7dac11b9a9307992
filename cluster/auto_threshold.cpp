#include "cluster/auto_threshold.h"

#include <algorithm>

namespace {

constexpr int32_t kLevels = 256;

int32_t find_root(std::vector<int32_t>& parent, int32_t i) {
    while (parent[static_cast<size_t>(i)] != i) {
        const int32_t up = parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
        parent[static_cast<size_t>(i)] = up;
        i = up;
    }
    return i;
}

// Pixel indices of grey value `level`, in raster order.
struct Level {
    const uint32_t* begin;
    const uint32_t* end;
};

// The lowest candidate threshold, and the pixels from there up sorted by
// grey value (brightest first) with a stable counting sort.
int32_t sort_candidates(AutoThresholdWork& work, const Frame& raw, std::array<uint32_t, kLevels + 1>& start) {
    const GreyHistogram& h = work.histogram;
    uint32_t bright = 0;
    int32_t lowest = kLevels;
    while (lowest > 1 && bright + h[static_cast<size_t>(lowest - 1)] <= kAutoThresholdMaxBright) {
        --lowest;
        bright += h[static_cast<size_t>(lowest)];
    }
    // start[g] = first position of grey g, brightest first: 255 at 0.
    uint32_t at = 0;
    start[kLevels] = 0;
    for (int32_t g = kLevels - 1; g >= 0; --g) {
        start[static_cast<size_t>(g)] = at;
        if (g >= lowest) at += h[static_cast<size_t>(g)];
    }
    work.by_grey.resize(at);
    std::array<uint32_t, kLevels> next{};
    for (int32_t g = lowest; g < kLevels; ++g) next[static_cast<size_t>(g)] = start[static_cast<size_t>(g)];
    const uint8_t* p = raw.data();
    if (bright > 0) {
        for (uint32_t i = 0; i < kFrameBytes; ++i) {
            const uint8_t g = p[i];
            if (g >= lowest) work.by_grey[next[g]++] = i;
        }
    }
    return lowest;
}

Level level_of(const AutoThresholdWork& work, const std::array<uint32_t, kLevels + 1>& start, int32_t g) {
    const uint32_t* base = work.by_grey.data();
    return Level{base + start[static_cast<size_t>(g)], base + start[static_cast<size_t>(g)] + work.histogram[static_cast<size_t>(g)]};
}

// 8-connected groups of the pixels at or above every threshold from 255 down
// to `lowest`: each pixel is added and joined to the neighbours added before.
void count_groups(AutoThresholdWork& work, const std::array<uint32_t, kLevels + 1>& start, int32_t lowest) {
    std::vector<int32_t>& parent = work.parent;
    std::vector<int32_t>& size = work.group_size;
    int32_t groups = 0;
    for (int32_t t = kLevels - 1; t >= lowest; --t) {
        const Level level = level_of(work, start, t);
        for (const uint32_t* it = level.begin; it != level.end; ++it) {
            const int32_t i = static_cast<int32_t>(*it);
            parent[static_cast<size_t>(i)] = i;
            size[static_cast<size_t>(i)] = 1;
            ++groups;
            const int32_t x = i % kFrameWidth, y = i / kFrameWidth;
            for (int32_t dy = -1; dy <= 1; ++dy) {
                const int32_t ny = y + dy;
                if (ny < 0 || ny >= kFrameHeight) continue;
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t nx = x + dx;
                    if ((dx == 0 && dy == 0) || nx < 0 || nx >= kFrameWidth) continue;
                    const int32_t q = ny * kFrameWidth + nx;
                    if (parent[static_cast<size_t>(q)] < 0) continue;
                    int32_t a = find_root(parent, i), b = find_root(parent, q);
                    if (a == b) continue;
                    if (size[static_cast<size_t>(a)] < size[static_cast<size_t>(b)]) std::swap(a, b);
                    parent[static_cast<size_t>(b)] = a;
                    size[static_cast<size_t>(a)] += size[static_cast<size_t>(b)];
                    --groups;
                }
            }
        }
        work.counts[static_cast<size_t>(t)] = groups;
    }
    // Back to "nothing added" for the next choice, touching only what was added.
    for (const uint32_t i : work.by_grey) parent[i] = -1;
}

// A maximal run of thresholds with one count.
struct Run {
    int32_t low, high, count;
    int32_t width() const { return high - low + 1; }
};

// The widest run with `count` among the evaluated thresholds; on equal
// widths the brighter one. Width 0 when there is none.
Run widest_run(const AutoThresholdWork& work, int32_t count) {
    Run best{0, -1, count};
    int32_t t = kLevels - 1;
    while (t >= work.lowest) {
        const int32_t c = work.counts[static_cast<size_t>(t)];
        int32_t low = t;
        while (low - 1 >= work.lowest && work.counts[static_cast<size_t>(low - 1)] == c) --low;
        if (c == count && t - low + 1 > best.width()) best = Run{low, t, c};
        t = low - 1;
    }
    return best;
}

// For the methods run per threshold: once an exact range is known and no
// range below `t` could be wider, the thresholds below need no run. The run
// still open at `t` could grow down to `lowest`; any other lies wholly below.
bool nothing_wider_below(const AutoThresholdWork& work, int32_t t, int32_t lowest, int32_t wanted) {
    int32_t open_high = t;
    const int32_t open_count = work.counts[static_cast<size_t>(t)];
    while (open_high + 1 < kLevels && work.counts[static_cast<size_t>(open_high + 1)] == open_count) ++open_high;
    int32_t best = 0;  // widest closed exact range, all of it above the open run
    for (int32_t u = kLevels - 1; u > open_high;) {
        const int32_t c = work.counts[static_cast<size_t>(u)];
        int32_t low = u;
        while (low - 1 > open_high && work.counts[static_cast<size_t>(low - 1)] == c) --low;
        if (c == wanted) best = std::max(best, u - low + 1);
        u = low - 1;
    }
    if (best == 0) return false;
    const int32_t below = t - lowest;  // thresholds not yet evaluated
    const int32_t open_reach = open_count == wanted ? open_high - t + 1 + below : 0;
    return best >= std::max(open_reach, below);
}

void count_clusters_by_running(AutoThresholdWork& work, const Options& options, int32_t wanted,
                               const std::array<uint32_t, kLevels + 1>& start, int32_t lowest) {
    work.list.clear();
    for (int32_t t = kLevels - 1; t >= lowest; --t) {
        const Level level = level_of(work, start, t);
        if (level.begin == level.end) {
            work.counts[static_cast<size_t>(t)] = work.counts[static_cast<size_t>(t + 1)];
        } else {
            // The new grey value's pixels join the list, which stays in
            // raster order as the thresholding step would list it.
            work.merged.clear();
            auto it = work.list.begin();
            for (const uint32_t* p = level.begin; p != level.end; ++p) {
                const int32_t x = static_cast<int32_t>(*p % kFrameWidth);
                const int32_t y = static_cast<int32_t>(*p / kFrameWidth);
                while (it != work.list.end() && (it->y < y || (it->y == y && it->x < x))) work.merged.push_back(*it++);
                work.merged.push_back(BrightPixel{x, y, 255});
            }
            work.merged.insert(work.merged.end(), it, work.list.end());
            work.list.swap(work.merged);

            if (options.cluster_method == 0) {
                region_grow(work.region_grow_work, work.list, work.clusters, options.regiongrow_max_distance,
                            options.regiongrow_max_cluster_size, options.regiongrow_min_cluster_size);
            } else {
                hierarchical_merge(work.merge_work, work.list, work.clusters, options.cure_max_distance,
                                   options.cure_min_cluster_size);
            }
            ++work.runs;
            work.counts[static_cast<size_t>(t)] = static_cast<int32_t>(work.clusters.size());
        }
        work.lowest = t;
        if (nothing_wider_below(work, t, lowest, wanted)) return;
    }
}

}  // namespace

AutoThresholdWork::AutoThresholdWork() : parent(kFrameBytes, -1), group_size(kFrameBytes, 0) {}

AutoThreshold choose_threshold(AutoThresholdWork& work, const Frame& raw, const Options& options,
                               int32_t wanted) {
    work.counts.fill(-1);
    work.counts[kLevels] = 0;
    work.lowest = kLevels;
    work.runs = 0;
    AutoThreshold result;
    if (raw.size() != kFrameBytes) {
        result.outcome = AutoThresholdOutcome::no_frame;
        return result;
    }
    const int32_t method = options.cluster_method;
    if (method < 0 || method > 2) {
        result.outcome = AutoThresholdOutcome::no_method;
        return result;
    }

    grey_histogram(raw, work.histogram);
    std::array<uint32_t, kLevels + 1> start{};
    const int32_t lowest = sort_candidates(work, raw, start);
    if (method == 1) {
        count_groups(work, start, lowest);
        work.lowest = lowest;
    } else {
        count_clusters_by_running(work, options, wanted, start, lowest);
    }
    // The count to aim for: the wanted one, else the nearest above, else the largest.
    int32_t above = INT32_MAX, largest = 0;
    bool exact = false;
    for (int32_t t = work.lowest; t < kLevels; ++t) {
        const int32_t c = work.counts[static_cast<size_t>(t)];
        exact |= c == wanted;
        if (c > wanted) above = std::min(above, c);
        largest = std::max(largest, c);
    }
    int32_t aim = 0;
    if (exact) {
        aim = wanted;
        result.outcome = AutoThresholdOutcome::exact;
    } else if (above != INT32_MAX) {
        aim = above;
        result.outcome = AutoThresholdOutcome::more;
    } else if (largest > 0) {
        aim = largest;
        result.outcome = AutoThresholdOutcome::fewer;
    } else {
        result.outcome = AutoThresholdOutcome::nothing;
        return result;
    }
    const Run run = widest_run(work, aim);
    result.low = run.low;
    result.high = run.high;
    result.clusters = aim;
    result.threshold = (run.low + run.high) / 2;
    return result;
}

std::string auto_threshold_message(const AutoThreshold& result, int32_t wanted, int32_t kept) {
    const std::string n = std::to_string(wanted);
    const std::string range = "thresholds " + std::to_string(result.low) + " to " + std::to_string(result.high) +
                              " give " + std::to_string(result.clusters);
    const std::string stays = "; the threshold stays at " + std::to_string(kept) + ".";
    switch (result.outcome) {
        case AutoThresholdOutcome::exact:
            return {};
        case AutoThresholdOutcome::more:
            return "No threshold gives exactly " + n + " clusters. " + std::to_string(result.threshold) +
                   " gives " + std::to_string(result.clusters) + ", the nearest count above (" + range + ").";
        case AutoThresholdOutcome::fewer:
            return "No threshold gives " + n + " clusters or more. " + std::to_string(result.threshold) +
                   " gives " + std::to_string(result.clusters) + ", the most there are (" + range + ").";
        case AutoThresholdOutcome::nothing:
            return "No threshold gives any cluster" + stays;
        case AutoThresholdOutcome::no_method:
            return "No clustering method is selected" + stays;
        case AutoThresholdOutcome::no_frame:
            return "There is no camera frame yet" + stays;
    }
    return {};
}
