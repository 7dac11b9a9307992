#include "cluster/auto_threshold.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int32_t kLevels = 256;
// A centre may move this far over a range of thresholds (pixels).
constexpr double kSameCentre = 0.5;
// The distance is checked by running the method only up to this many markers.
constexpr size_t kMaxCheckedMarkers = 64;
// A method's cluster lies on a marker when its integer centre is this near.
constexpr double kOnMarker = 1.5;
constexpr int32_t kMaxDistance = 300;  // the distance sliders' top

using Starts = std::array<uint32_t, kLevels + 1>;

int32_t find_root(std::vector<int32_t>& parent, int32_t i) {
    while (parent[static_cast<size_t>(i)] != i) {
        const int32_t up = parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
        parent[static_cast<size_t>(i)] = up;
        i = up;
    }
    return i;
}

// The smallest group that counts as a marker for the selected method.
int32_t min_marker_pixels(const Options& o) {
    if (o.cluster_method == 0) return std::max(o.regiongrow_min_cluster_size, 1);
    if (o.cluster_method == 2) return std::max(o.cure_min_cluster_size, 1);
    return 1;
}

bool has_distance(const Options& o) { return o.cluster_method == 0 || o.cluster_method == 2; }

// The lowest candidate threshold, and the pixels from there up sorted by
// grey value (brightest first) with a stable counting sort.
int32_t sort_candidates(AutoThresholdWork& work, const Frame& raw, Starts& start) {
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

// The groups of the pixels added so far, as thresholds are lowered one grey
// value at a time, and whether the markers still are those at the top of the
// range under way. A group's comparison with the range's top is taken the
// first time the group changes in a range, from the sums it had until then,
// so starting a new range costs nothing.
class Groups {
public:
    Groups(AutoThresholdWork& w, int32_t min_pixels) : w_(w), min_(min_pixels) {}

    void add(int32_t i) {
        const size_t k = static_cast<size_t>(i);
        w_.parent[k] = i;
        w_.count[k] = 1;
        w_.sum_x[k] = i % kFrameWidth;
        w_.sum_y[k] = i / kFrameWidth;
        w_.epoch[k] = epoch_;
        w_.anchored[k] = 0;
        if (min_ <= 1) ++markers_;
        const int32_t x = i % kFrameWidth, y = i / kFrameWidth;
        for (int32_t dy = -1; dy <= 1; ++dy) {
            const int32_t ny = y + dy;
            if (ny < 0 || ny >= kFrameHeight) continue;
            for (int32_t dx = -1; dx <= 1; ++dx) {
                const int32_t nx = x + dx;
                if ((dx == 0 && dy == 0) || nx < 0 || nx >= kFrameWidth) continue;
                const int32_t q = ny * kFrameWidth + nx;
                if (w_.parent[static_cast<size_t>(q)] >= 0) join(i, q);
            }
        }
    }

    // After a threshold's pixels were added: whether every group they touched
    // that holds a marker of the range's top kept its centre.
    void check_centres(const uint32_t* begin, const uint32_t* end, int32_t threshold) {
        for (const uint32_t* it = begin; it != end && !broken_; ++it) {
            const size_t r = static_cast<size_t>(find_root(w_.parent, static_cast<int32_t>(*it)));
            if (w_.seen[r] == threshold) continue;
            w_.seen[r] = threshold;
            if (!w_.anchored[r]) continue;
            const double cx = static_cast<double>(w_.sum_x[r]) / w_.count[r] - w_.anchor_x[r];
            const double cy = static_cast<double>(w_.sum_y[r]) / w_.count[r] - w_.anchor_y[r];
            if (cx * cx + cy * cy > kSameCentre * kSameCentre) broken_ = true;
        }
    }

    int32_t markers() const { return markers_; }
    bool broken() const { return broken_; }
    // The markers as they stand become the top of a new range.
    void new_range() {
        ++epoch_;
        broken_ = false;
    }

private:
    // A group about to change: its state at the top of the range is what it
    // has now, if it has not changed since the range began.
    void compare_from_now(size_t r) {
        if (w_.epoch[r] == epoch_) return;
        w_.epoch[r] = epoch_;
        w_.anchored[r] = w_.count[r] >= min_;
        w_.anchor_x[r] = static_cast<double>(w_.sum_x[r]) / w_.count[r];
        w_.anchor_y[r] = static_cast<double>(w_.sum_y[r]) / w_.count[r];
    }

    void join(int32_t p, int32_t q) {
        size_t a = static_cast<size_t>(find_root(w_.parent, p));
        size_t b = static_cast<size_t>(find_root(w_.parent, q));
        if (a == b) return;
        compare_from_now(a);
        compare_from_now(b);
        // Two markers of the range's top become one: the range ends.
        if (w_.anchored[a] && w_.anchored[b]) broken_ = true;
        const bool big_a = w_.count[a] >= min_, big_b = w_.count[b] >= min_;
        if (w_.count[a] < w_.count[b]) std::swap(a, b);
        if (!w_.anchored[a] && w_.anchored[b]) {
            w_.anchored[a] = 1;
            w_.anchor_x[a] = w_.anchor_x[b];
            w_.anchor_y[a] = w_.anchor_y[b];
        }
        w_.parent[b] = static_cast<int32_t>(a);
        w_.count[a] += w_.count[b];
        w_.sum_x[a] += w_.sum_x[b];
        w_.sum_y[a] += w_.sum_y[b];
        if (big_a && big_b) --markers_;
        else if (!big_a && !big_b && w_.count[a] >= min_) ++markers_;
    }

    AutoThresholdWork& w_;
    const int32_t min_;
    int32_t markers_ = 0;
    int32_t epoch_ = 1;
    bool broken_ = false;
};

struct Range {
    int32_t low = 0, high = -1, markers = 0;
    int32_t width() const { return high - low + 1; }
};

// Every candidate threshold from the brightest down, in maximal ranges of
// the same markers; the widest range with any marker (the brighter of two
// as wide).
Range widest_range(AutoThresholdWork& w, const Starts& start, int32_t lowest, int32_t min_pixels) {
    Groups groups(w, min_pixels);
    Range best, open{kLevels, kLevels, 0};
    const auto close = [&](int32_t low) {
        open.low = low;
        if (open.high < kLevels && open.markers > 0 && open.width() > best.width()) best = open;
    };
    for (int32_t t = kLevels - 1; t >= lowest; --t) {
        const uint32_t* begin = w.by_grey.data() + start[static_cast<size_t>(t)];
        const uint32_t* end = begin + w.histogram[static_cast<size_t>(t)];
        for (const uint32_t* it = begin; it != end; ++it) groups.add(static_cast<int32_t>(*it));
        groups.check_centres(begin, end, t);
        w.counts[static_cast<size_t>(t)] = groups.markers();
        if (groups.broken() || groups.markers() != open.markers) {
            close(t + 1);
            open = Range{t, t, groups.markers()};
            groups.new_range();
        }
    }
    close(lowest);
    return best;
}

void forget_groups(AutoThresholdWork& w) {
    for (const uint32_t i : w.by_grey) w.parent[i] = -1;
}

// The markers at threshold `t`, with their bright-pixel list in raster order.
void find_markers(AutoThresholdWork& w, const Frame& raw, const Starts& start, int32_t t, int32_t min_pixels) {
    const size_t n = start[static_cast<size_t>(t)] + w.histogram[static_cast<size_t>(t)];
    Groups groups(w, min_pixels);
    for (size_t k = 0; k < n; ++k) groups.add(static_cast<int32_t>(w.by_grey[k]));
    w.markers.clear();
    for (size_t k = 0; k < n; ++k) {
        const size_t r = static_cast<size_t>(find_root(w.parent, static_cast<int32_t>(w.by_grey[k])));
        if (w.count[r] < min_pixels || w.marker_of[r] >= 0) continue;
        w.marker_of[r] = static_cast<int32_t>(w.markers.size());
        AutoMarker m;
        m.pixels = w.count[r];
        m.x = static_cast<double>(w.sum_x[r]) / w.count[r];
        m.y = static_cast<double>(w.sum_y[r]) / w.count[r];
        w.markers.push_back(m);
    }
    w.pixels.clear();
    for (size_t k = 0; k < n; ++k) {
        const uint32_t i = w.by_grey[k];
        const size_t r = static_cast<size_t>(find_root(w.parent, static_cast<int32_t>(i)));
        const int32_t x = static_cast<int32_t>(i % kFrameWidth), y = static_cast<int32_t>(i / kFrameWidth);
        w.pixels.push_back(BrightPixel{x, y, raw[i]});
        if (w.marker_of[r] < 0) continue;
        AutoMarker& m = w.markers[static_cast<size_t>(w.marker_of[r])];
        m.radius = std::max(m.radius, std::hypot(x - m.x, y - m.y));
    }
    for (size_t k = 0; k < n; ++k) w.marker_of[static_cast<size_t>(find_root(w.parent, static_cast<int32_t>(w.by_grey[k])))] = -1;
    std::sort(w.pixels.begin(), w.pixels.end(),
              [](const BrightPixel& a, const BrightPixel& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    forget_groups(w);
}

// Whether the method at `distance` makes exactly one cluster on each marker.
bool one_cluster_per_marker(AutoThresholdWork& w, const Options& o, int32_t distance) {
    ++w.method_runs;
    if (o.cluster_method == 0) {
        region_grow(w.region_grow_work, w.pixels, w.clusters, distance, o.regiongrow_max_cluster_size,
                    o.regiongrow_min_cluster_size);
    } else {
        hierarchical_merge(w.merge_work, w.pixels, w.clusters, distance, o.cure_min_cluster_size);
    }
    if (w.clusters.size() != w.markers.size()) return false;
    std::vector<char> taken(w.clusters.size(), 0);
    for (const AutoMarker& m : w.markers) {
        bool found = false;
        for (size_t k = 0; k < w.clusters.size() && !found; ++k) {
            if (taken[k] || std::hypot(w.clusters[k].x - m.x, w.clusters[k].y - m.y) > kOnMarker) continue;
            taken[k] = 1;
            found = true;
        }
        if (!found) return false;
    }
    return true;
}

void choose_distance(AutoThresholdWork& w, const Options& o, AutoThreshold& r) {
    double reach = 0.0;
    for (const AutoMarker& m : w.markers) reach = std::max(reach, 2.0 * m.radius);
    double gap = std::numeric_limits<double>::infinity();
    for (size_t a = 0; a < w.markers.size(); ++a)
        for (size_t b = a + 1; b < w.markers.size(); ++b) {
            const AutoMarker &ma = w.markers[a], &mb = w.markers[b];
            gap = std::min(gap, std::hypot(ma.x - mb.x, ma.y - mb.y) - ma.radius - mb.radius);
        }
    // Whole pixels: at least the reach, strictly below the gap.
    const int32_t low = std::clamp(static_cast<int32_t>(std::ceil(reach - 1e-9)), 1, kMaxDistance);
    r.reach = low;
    r.gap = std::isinf(gap) ? 0 : std::max(static_cast<int32_t>(std::ceil(gap)), 0);
    const int32_t below_gap = std::isinf(gap) ? kMaxDistance : static_cast<int32_t>(std::ceil(gap - 1e-9)) - 1;
    const int32_t most = std::min(2 * low, kMaxDistance);
    const bool checked = w.markers.size() <= kMaxCheckedMarkers;
    if (low <= below_gap) {
        r.max_distance = std::min((low + std::min(below_gap, kMaxDistance)) / 2, most);
        if (!checked || one_cluster_per_marker(w, o, r.max_distance)) return;
    }
    r.max_distance = low;
    if (!checked) return;
    // The middle of the widest range of distances that give one cluster per marker.
    int32_t best_low = 0, best_high = -1;
    for (int32_t d = 1; d <= most; ++d) {
        if (!one_cluster_per_marker(w, o, d)) continue;
        int32_t high = d;
        while (high + 1 <= most && one_cluster_per_marker(w, o, high + 1)) ++high;
        if (high - d > best_high - best_low) best_low = d, best_high = high;
        d = high;
    }
    if (best_high >= best_low) r.max_distance = (best_low + best_high) / 2;
}

}  // namespace

AutoThresholdWork::AutoThresholdWork()
    : parent(kFrameBytes, -1),
      count(kFrameBytes, 0),
      sum_x(kFrameBytes, 0),
      sum_y(kFrameBytes, 0),
      epoch(kFrameBytes, 0),
      anchored(kFrameBytes, 0),
      anchor_x(kFrameBytes, 0.0),
      anchor_y(kFrameBytes, 0.0),
      seen(kFrameBytes, -1),
      marker_of(kFrameBytes, -1) {}

AutoThreshold choose_threshold(AutoThresholdWork& work, const Frame& raw, const Options& options) {
    work.counts.fill(-1);
    work.counts[kLevels] = 0;
    work.lowest = kLevels;
    work.markers.clear();
    work.method_runs = 0;
    AutoThreshold result;
    if (raw.size() != kFrameBytes) {
        result.outcome = AutoThresholdOutcome::no_frame;
        return result;
    }
    grey_histogram(raw, work.histogram);
    Starts start{};
    const int32_t lowest = sort_candidates(work, raw, start);
    work.lowest = lowest;
    const int32_t min_pixels = min_marker_pixels(options);
    std::fill(work.seen.begin(), work.seen.end(), -1);
    const Range range = widest_range(work, start, lowest, min_pixels);
    forget_groups(work);
    if (range.markers == 0) return result;

    result.outcome = AutoThresholdOutcome::found;
    result.low = range.low;
    result.high = range.high;
    result.threshold = (range.low + range.high) / 2;
    result.markers = range.markers;
    find_markers(work, raw, start, result.threshold, min_pixels);
    if (has_distance(options)) choose_distance(work, options, result);
    return result;
}

void apply_choice(const AutoThreshold& choice, Options& options) {
    if (!choice.found()) return;
    options.threshold = choice.threshold;
    if (choice.max_distance <= 0) return;
    if (options.cluster_method == 0) options.regiongrow_max_distance = choice.max_distance;
    if (options.cluster_method == 2) options.cure_max_distance = choice.max_distance;
}

std::string auto_threshold_text(const AutoThreshold& choice) {
    switch (choice.outcome) {
        case AutoThresholdOutcome::no_frame:
            return "auto: there is no camera frame yet";
        case AutoThresholdOutcome::nothing:
            return "auto: no threshold leaves any marker; nothing changed";
        case AutoThresholdOutcome::found:
            break;
    }
    std::string text = "threshold " + std::to_string(choice.threshold);
    if (choice.max_distance > 0) text += ", max distance " + std::to_string(choice.max_distance);
    text += ": " + std::to_string(choice.markers) + (choice.markers == 1 ? " marker" : " markers");
    return text;
}
