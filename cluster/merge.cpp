#include "cluster/merge.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "camera/frame.h"
#include "cluster/cluster_math.h"

namespace {

using cluster_math::add_cluster;
using cluster_math::isqrt_ceil;
using cluster_math::isqrt_floor;

// Below this many pixels the plain search beats setting up the index.
constexpr size_t kPlainSearchMax = 90;

constexpr int32_t kCellShift = 2;  // cells of 4 x 4 pixels
constexpr int32_t kCell = 1 << kCellShift;
constexpr int32_t kGridWidth = (kFrameWidth + kCell - 1) / kCell;
constexpr int32_t kGridHeight = (kFrameHeight + kCell - 1) / kCell;

// First width of the ring a candidate list is gathered from; doubled while
// gathering finds nothing.
constexpr int64_t kFirstRingWidth = 2;

constexpr int64_t kNoDistance = std::numeric_limits<int64_t>::max();

ClusterAccumulator pixel_cluster(const BrightPixel& p) {
    return ClusterAccumulator{p.x, p.y, p.value, 1, p.x, p.y, p.value};
}

bool inside_frame(const BrightPixel& p) {
    return p.x >= 0 && p.x < kFrameWidth && p.y >= 0 && p.y < kFrameHeight;
}

int64_t distance2(int64_t ax, int64_t ay, int64_t bx, int64_t by) {
    return (ax - bx) * (ax - bx) + (ay - by) * (ay - by);
}

// The plain search: every other entry tested, ascending, keeping the first of
// the smallest distances within reach.
int32_t plain_partner(const AccumulatorList& a, size_t i, int32_t r2) {
    int64_t best = kNoDistance;
    int32_t partner = -1;
    for (size_t j = 0; j < a.size(); ++j) {
        if (j == i) continue;
        const int64_t d = distance2(a[j].x, a[j].y, a[i].x, a[i].y);
        if (d <= r2 && d < best) {
            best = d;
            partner = static_cast<int32_t>(j);
        }
    }
    return partner;
}

// Member chains: one chain per pixel to begin with.
void start_chains(MergeWork& work, size_t n) {
    work.chain_head.resize(n);
    work.chain_tail.resize(n);
    work.chain_next.assign(n, -1);
    for (size_t k = 0; k < n; ++k) work.chain_head[k] = work.chain_tail[k] = static_cast<int32_t>(k);
}

// A[i] swallowed A[b]; then the last entry moves into b's slot (when b is not
// the last), which may be A[i] itself.
void join_chains(MergeWork& work, size_t i, size_t b, size_t last) {
    std::vector<int32_t>& head = work.chain_head;
    std::vector<int32_t>& tail = work.chain_tail;
    work.chain_next[static_cast<size_t>(tail[i])] = head[b];
    tail[i] = tail[b];
    if (b != last) {
        head[b] = head[last];
        tail[b] = tail[last];
    }
}

// The chains of the kept clusters, in list order.
void list_members(MergeWork& work, const BrightPixelList& pixels, int32_t min_cluster_size) {
    ClusterMembers& m = *work.members;
    m.clear();
    m.first.push_back(0);
    for (size_t k = 0; k < work.clusters.size(); ++k) {
        if (work.clusters[k].count < min_cluster_size) continue;
        for (int32_t p = work.chain_head[k]; p >= 0; p = work.chain_next[static_cast<size_t>(p)])
            m.pixels.push_back(MemberPixel{pixels[static_cast<size_t>(p)].x, pixels[static_cast<size_t>(p)].y});
        m.first.push_back(static_cast<uint32_t>(m.pixels.size()));
    }
}

}  // namespace

// The spatial index of the fast search: every cluster centre in a uniform
// grid of 4 x 4 pixel cells, and the candidate list of the searching cluster.
struct MergeIndex {
    struct Entry {
        int32_t x, y, idx;
    };
    struct Candidate {
        int64_t e;  // squared distance from the reference centre
        int32_t x, y;
        int32_t idx;  // index in A, or -1 once swallowed
    };

    std::vector<std::vector<Entry>> cells{static_cast<size_t>(kGridWidth * kGridHeight)};
    std::vector<int32_t> used_cells;  // cells that may hold entries, emptied by the next call
    std::vector<int32_t> slot;        // each cluster's position in its cell's list

    // Candidates of the searching cluster: every other cluster whose squared
    // distance from (ref_x, ref_y) is at most `complete_to`, sorted by that
    // distance. Valid only for the cluster `owner`.
    std::vector<Candidate> candidates;
    std::vector<Candidate> gathered;      // scratch of a rebuild, unsorted
    std::vector<int32_t> sort_counts;     // scratch of the counting sort
    std::vector<int32_t> candidate_pos;   // position of each cluster in `candidates`, or -1
    size_t head = 0;                      // no live candidate lies before this position
    int64_t owner = -1;
    int32_t ref_x = 0, ref_y = 0;
    int64_t complete_to = -1;
    int64_t ring_width = kFirstRingWidth;

    static int32_t cell_of(int32_t x, int32_t y) { return (y >> kCellShift) * kGridWidth + (x >> kCellShift); }

    // Empties everything a previous call left, for a list A of n clusters.
    // The candidate list is dropped without walking it: its indices belong to
    // the previous call's A and may lie past this call's n.
    void reset(size_t n) {
        for (const int32_t c : used_cells) cells[static_cast<size_t>(c)].clear();
        used_cells.clear();
        slot.resize(n);
        candidate_pos.assign(n, -1);
        candidates.clear();
        gathered.clear();
        head = 0;
        owner = -1;
        ref_x = ref_y = 0;
        complete_to = -1;
        ring_width = kFirstRingWidth;
    }

    void insert(int32_t x, int32_t y, int32_t idx) {
        std::vector<Entry>& cell = cells[static_cast<size_t>(cell_of(x, y))];
        if (cell.empty()) used_cells.push_back(cell_of(x, y));
        slot[static_cast<size_t>(idx)] = static_cast<int32_t>(cell.size());
        cell.push_back(Entry{x, y, idx});
    }

    void erase(int32_t x, int32_t y, int32_t idx) {
        std::vector<Entry>& cell = cells[static_cast<size_t>(cell_of(x, y))];
        const int32_t s = slot[static_cast<size_t>(idx)];
        cell[static_cast<size_t>(s)] = cell.back();
        slot[static_cast<size_t>(cell[static_cast<size_t>(s)].idx)] = s;
        cell.pop_back();
    }

    // The cluster at `from` (centre x, y) now lives at index `to`.
    void relabel(int32_t x, int32_t y, int32_t from, int32_t to) {
        const int32_t s = slot[static_cast<size_t>(from)];
        cells[static_cast<size_t>(cell_of(x, y))][static_cast<size_t>(s)].idx = to;
        slot[static_cast<size_t>(to)] = s;
        const int32_t pos = candidate_pos[static_cast<size_t>(from)];
        candidate_pos[static_cast<size_t>(from)] = -1;
        candidate_pos[static_cast<size_t>(to)] = pos;
        if (pos >= 0) candidates[static_cast<size_t>(pos)].idx = to;
    }

    void drop_candidate(int32_t idx) {
        const int32_t pos = candidate_pos[static_cast<size_t>(idx)];
        if (pos < 0) return;
        candidates[static_cast<size_t>(pos)].idx = -1;
        candidate_pos[static_cast<size_t>(idx)] = -1;
    }

    void forget_candidates() {
        for (const Candidate& c : candidates)
            if (c.idx >= 0) candidate_pos[static_cast<size_t>(c.idx)] = -1;
        candidates.clear();
        head = 0;
        owner = -1;
        complete_to = -1;
        ring_width = kFirstRingWidth;
    }

    // Smallest squared distance from the reference centre over all other
    // clusters: the first live candidate, or past the list's bound.
    int64_t nearest_known() {
        while (head < candidates.size() && candidates[head].idx < 0) ++head;
        return head < candidates.size() ? candidates[head].e : complete_to + 1;
    }

    // Gathers, around (cx, cy), every cluster other than `self` with squared
    // distance at most `d_max`, given that none lies nearer than `lb`: cells
    // wholly inside the radius lb hold nothing and are not visited.
    void gather(int32_t cx, int32_t cy, int32_t self, int64_t lb, int64_t d_max) {
        gathered.clear();
        const int64_t reach = isqrt_floor(d_max);
        const int64_t row_lo = std::max<int64_t>(0, (cy - reach) >> kCellShift);
        const int64_t row_hi = std::min<int64_t>(kGridHeight - 1, (cy + reach) >> kCellShift);
        for (int64_t row = row_lo; row <= row_hi; ++row) {
            const int64_t y0 = row << kCellShift;
            const int64_t y1 = y0 + kCell - 1;
            const int64_t dy_min = std::max<int64_t>({0, y0 - cy, cy - y1});
            if (dy_min * dy_min > d_max) continue;
            const int64_t dy_max = std::max(cy - y0, y1 - cy);
            const int64_t h = isqrt_floor(d_max - dy_min * dy_min);
            const int64_t col_lo = cx - h <= 0 ? 0 : (cx - h) >> kCellShift;
            const int64_t col_hi = std::min<int64_t>(kGridWidth - 1, (cx + h) >> kCellShift);
            // Columns whose every point lies nearer than lb: empty.
            int64_t skip_lo = 1, skip_hi = 0;
            const int64_t inner = lb * lb - 1 - dy_max * dy_max;
            if (inner >= 0) {
                const int64_t k = isqrt_floor(inner);
                skip_lo = cx - k <= 0 ? 0 : (cx - k + kCell - 1) >> kCellShift;
                skip_hi = ((cx + k + 1) >> kCellShift) - 1;
            }
            for (int64_t col = col_lo; col <= col_hi; ++col) {
                if (col >= skip_lo && col <= skip_hi) {
                    col = skip_hi;
                    continue;
                }
                for (const Entry& en : cells[static_cast<size_t>(row * kGridWidth + col)]) {
                    if (en.idx == self) continue;
                    const int64_t e = distance2(en.x, en.y, cx, cy);
                    if (e <= d_max) gathered.push_back(Candidate{e, en.x, en.y, en.idx});
                }
            }
        }
    }

    // `candidates` becomes `gathered` sorted by distance; ties keep any order.
    void sort_gathered() {
        candidates.clear();
        head = 0;
        int64_t e_lo = kNoDistance, e_hi = 0;
        for (const Candidate& c : gathered) {
            e_lo = std::min(e_lo, c.e);
            e_hi = std::max(e_hi, c.e);
        }
        if (gathered.empty()) return;
        const int64_t range = e_hi - e_lo + 1;
        if (range > static_cast<int64_t>(4 * gathered.size() + 4096)) {
            std::sort(gathered.begin(), gathered.end(),
                      [](const Candidate& a, const Candidate& b) { return a.e < b.e; });
            candidates.swap(gathered);
        } else {
            // Counting sort: a ring of a few pixels' width spans few distinct distances.
            sort_counts.assign(static_cast<size_t>(range) + 1, 0);
            for (const Candidate& c : gathered) ++sort_counts[static_cast<size_t>(c.e - e_lo) + 1];
            for (size_t k = 1; k < sort_counts.size(); ++k) sort_counts[k] += sort_counts[k - 1];
            candidates.resize(gathered.size());
            for (const Candidate& c : gathered)
                candidates[static_cast<size_t>(sort_counts[static_cast<size_t>(c.e - e_lo)]++)] = c;
        }
        for (size_t k = 0; k < candidates.size(); ++k)
            candidate_pos[static_cast<size_t>(candidates[k].idx)] = static_cast<int32_t>(k);
    }
};

namespace {

// Brute-force checks of the index's claims, counted as failures.
struct Checks {
    int64_t failures = 0;

    // No other cluster lies nearer to (cx, cy) than lb.
    void lower_bound(const AccumulatorList& a, size_t i, int32_t cx, int32_t cy, int64_t lb) {
        for (size_t j = 0; j < a.size(); ++j)
            failures += j != i && distance2(a[j].x, a[j].y, cx, cy) < lb * lb;
    }
    // The candidate list holds exactly the other clusters within its bound.
    void candidate_list(const AccumulatorList& a, size_t i, const MergeIndex& ix) {
        size_t live = 0;
        int64_t previous = -1;
        for (const MergeIndex::Candidate& c : ix.candidates) {
            if (c.idx < 0) continue;
            ++live;
            failures += c.e < previous;
            previous = c.e;
            const ClusterAccumulator& o = a[static_cast<size_t>(c.idx)];
            failures += o.x != c.x || o.y != c.y || ix.candidate_pos[static_cast<size_t>(c.idx)] < 0 ||
                        c.e != distance2(c.x, c.y, ix.ref_x, ix.ref_y) || c.e > ix.complete_to;
        }
        size_t within = 0;
        for (size_t j = 0; j < a.size(); ++j)
            within += j != i && distance2(a[j].x, a[j].y, ix.ref_x, ix.ref_y) <= ix.complete_to;
        failures += live != within;
    }
    void partner(const AccumulatorList& a, size_t i, int32_t r2, int32_t found) {
        failures += plain_partner(a, i, r2) != found;
    }
    // Every cluster sits once in the grid, in the cell of its centre.
    void grid(const AccumulatorList& a, const MergeIndex& ix) {
        size_t entries = 0;
        for (const int32_t cell : ix.used_cells) {
            const std::vector<MergeIndex::Entry>& list = ix.cells[static_cast<size_t>(cell)];
            for (size_t s = 0; s < list.size(); ++s) {
                const MergeIndex::Entry& en = list[s];
                const ClusterAccumulator& c = a[static_cast<size_t>(en.idx)];
                failures += c.x != en.x || c.y != en.y || MergeIndex::cell_of(c.x, c.y) != cell ||
                            ix.slot[static_cast<size_t>(en.idx)] != static_cast<int32_t>(s);
            }
        }
        // A cell listed twice in used_cells would count its entries twice.
        std::vector<int32_t> cells = ix.used_cells;
        std::sort(cells.begin(), cells.end());
        cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
        for (const int32_t cell : cells) entries += ix.cells[static_cast<size_t>(cell)].size();
        failures += entries != a.size();
    }
};

template <bool kCheck>
class GridMerge {
public:
    GridMerge(MergeWork& work, int32_t r2) : a_(work.clusters), ix_(*work.index), r2_(r2), work_(work) {}

    int64_t run() {
        const size_t n = a_.size();
        ix_.reset(n);
        for (size_t k = 0; k < n; ++k) ix_.insert(a_[k].x, a_[k].y, static_cast<int32_t>(k));

        size_t i = 0;
        while (i < a_.size()) {
            work_.plain_distance_tests += static_cast<int64_t>(a_.size() - 1);
            const int32_t b = find_partner(i);
            if constexpr (kCheck) checks_.partner(a_, i, r2_, b);
            if (b < 0) {
                ix_.forget_candidates();
                ++i;
                continue;
            }
            merge(i, static_cast<size_t>(b));
            if constexpr (kCheck) checks_.grid(a_, ix_);
        }
        return checks_.failures;
    }

private:
    // Grow A[i] by A[b], remove A[b] by moving the last entry into its slot,
    // and relabel that entry; in this order, so that when A[i] is itself the
    // last entry it moves into b's slot and the loop ends.
    void merge(size_t i, size_t b) {
        ClusterAccumulator& grown = a_[i];
        const int32_t old_x = grown.x, old_y = grown.y;
        add_cluster(grown, a_[b]);
        if (MergeIndex::cell_of(old_x, old_y) != MergeIndex::cell_of(grown.x, grown.y)) {
            ix_.erase(old_x, old_y, static_cast<int32_t>(i));
            ix_.insert(grown.x, grown.y, static_cast<int32_t>(i));
        } else {
            MergeIndex::Entry& en = ix_.cells[static_cast<size_t>(MergeIndex::cell_of(old_x, old_y))]
                                             [static_cast<size_t>(ix_.slot[i])];
            en.x = grown.x;
            en.y = grown.y;
        }

        ix_.erase(a_[b].x, a_[b].y, static_cast<int32_t>(b));
        ix_.drop_candidate(static_cast<int32_t>(b));
        const size_t last = a_.size() - 1;
        if (work_.members != nullptr) join_chains(work_, i, b, last);
        if (b != last) {
            a_[b] = a_[last];
            ix_.relabel(a_[b].x, a_[b].y, static_cast<int32_t>(last), static_cast<int32_t>(b));
        }
        a_.pop_back();
    }

    // Nearest other cluster within reach of A[i] (lowest index on a tie), or -1.
    int32_t find_partner(size_t i) {
        const int32_t cx = a_[i].x, cy = a_[i].y;
        if (ix_.owner != static_cast<int64_t>(i)) {
            ix_.forget_candidates();
            ix_.owner = static_cast<int64_t>(i);
            rebuild(i, 0);
        }
        for (;;) {
            if constexpr (kCheck) checks_.candidate_list(a_, i, ix_);
            const int64_t shift2 = distance2(cx, cy, ix_.ref_x, ix_.ref_y);
            if (shift2 > 0) {
                rebuild(i, lower_bound(shift2));
                continue;
            }
            // With the reference at the centre, the list's order is the
            // distance order: the first live candidate within reach is the
            // nearest, and equal distances are compared by index.
            int64_t best = kNoDistance;
            int32_t partner = -1;
            for (size_t p = ix_.head; p < ix_.candidates.size(); ++p) {
                const MergeIndex::Candidate& c = ix_.candidates[p];
                if (c.idx < 0) continue;
                if (c.e > r2_ || c.e > best) break;
                if (c.e < best || c.idx < partner) {
                    best = c.e;
                    partner = c.idx;
                }
            }
            if (partner >= 0 || ix_.complete_to >= r2_) return partner;
            rebuild(i, isqrt_floor(ix_.nearest_known()));
        }
    }

    // A bound below which no other cluster lies from the current centre,
    // from what the list knows about distances to its reference.
    int64_t lower_bound(int64_t shift2) {
        const int64_t lb = isqrt_floor(ix_.nearest_known()) - isqrt_ceil(shift2);
        return std::max<int64_t>(lb, 0);
    }

    // New candidate list around the current centre: every other cluster from
    // radius lb (none is nearer) out to lb + ring width, or to the reach.
    void rebuild(size_t i, int64_t lb) {
        const int32_t cx = a_[i].x, cy = a_[i].y;
        if constexpr (kCheck) checks_.lower_bound(a_, i, cx, cy, lb);
        for (const MergeIndex::Candidate& c : ix_.candidates)
            if (c.idx >= 0) ix_.candidate_pos[static_cast<size_t>(c.idx)] = -1;
        for (;;) {
            const int64_t outer = lb + ix_.ring_width;
            const int64_t d_max = std::min<int64_t>(outer * outer, r2_);
            ix_.gather(cx, cy, static_cast<int32_t>(i), lb, d_max);
            ix_.ref_x = cx;
            ix_.ref_y = cy;
            ix_.complete_to = d_max;
            if (!ix_.gathered.empty() || d_max >= r2_) break;
            lb = outer;
            ix_.ring_width *= 2;
        }
        ix_.sort_gathered();
        if constexpr (kCheck) checks_.candidate_list(a_, i, ix_);
    }

    AccumulatorList& a_;
    MergeIndex& ix_;
    const int32_t r2_;
    MergeWork& work_;
    Checks checks_;
};

void plain_merge(MergeWork& work, int32_t r2) {
    AccumulatorList& a = work.clusters;
    size_t i = 0;
    while (i < a.size()) {
        work.plain_distance_tests += static_cast<int64_t>(a.size() - 1);
        const int32_t b = plain_partner(a, i, r2);
        if (b < 0) {
            ++i;
            continue;
        }
        add_cluster(a[i], a[static_cast<size_t>(b)]);
        if (work.members != nullptr) join_chains(work, i, static_cast<size_t>(b), a.size() - 1);
        if (static_cast<size_t>(b) != a.size() - 1) a[static_cast<size_t>(b)] = a.back();
        a.pop_back();
    }
}

template <bool kCheck>
int64_t merge_clusters(MergeWork& work, const BrightPixelList& pixels, ClusterList& out,
                       int32_t max_distance, int32_t min_cluster_size) {
    AccumulatorList& a = work.clusters;
    a.reserve(pixels.size());
    a.clear();
    for (const BrightPixel& p : pixels) a.push_back(pixel_cluster(p));
    work.plain_distance_tests = 0;
    const int32_t r2 = cluster_math::reach_squared(max_distance);
    if (work.members != nullptr) start_chains(work, a.size());

    int64_t failures = 0;
    const bool in_frame = std::all_of(pixels.begin(), pixels.end(), inside_frame);
    if (in_frame && (kCheck || pixels.size() > kPlainSearchMax)) {
        if (!work.index) work.index = std::make_unique<MergeIndex>();
        failures = GridMerge<kCheck>(work, r2).run();
    } else {
        plain_merge(work, r2);
    }

    out.clear();
    for (const ClusterAccumulator& c : a) {
        if (c.count >= min_cluster_size) out.push_back(Cluster{c.x, c.y, c.value});
    }
    if (work.members != nullptr) list_members(work, pixels, min_cluster_size);
    return failures;
}

}  // namespace

MergeWork::MergeWork() = default;
MergeWork::~MergeWork() = default;

void hierarchical_merge(MergeWork& work, const BrightPixelList& pixels, ClusterList& clusters,
                        int32_t max_distance, int32_t min_cluster_size) {
    (void)merge_clusters<false>(work, pixels, clusters, max_distance, min_cluster_size);
}

int64_t hierarchical_merge_self_checked(MergeWork& work, const BrightPixelList& pixels,
                                        ClusterList& clusters, int32_t max_distance,
                                        int32_t min_cluster_size) {
    return merge_clusters<true>(work, pixels, clusters, max_distance, min_cluster_size);
}
