#pragma once
// Statistics of the clusters of a cycle: size, brightness, extent and a
// centre finer than a pixel, read from the raw camera frame over the pixels
// each cluster is made of. They are a side product: the integer cluster
// records that tracking and drawing use are never changed by them, and they
// are computed only in cycles in which someone wants them.

#include <cstdint>
#include <vector>

#include "camera/frame.h"
#include "cluster/kmeans.h"
#include "cluster/members.h"
#include "cluster/merge.h"
#include "cluster/records.h"
#include "cluster/region_grow.h"

struct ClusterStats {
    int32_t pixel_count = 0;  // member pixels; 0 for a k-means centre that attracted none
    double mean_grey = 0.0;   // mean raw grey value of the members; 0 without members
    // Bounding box of the members, inclusive, in frame coordinates (row 0 is
    // the first row of the buffer); all 0 without members.
    int32_t x_min = 0, y_min = 0, x_max = 0, y_max = 0;
    // Brightness-weighted centre: the members' positions, each weighted by
    // how far its raw grey value reaches above the threshold (grey - threshold
    // + 1). A pixel's own centre is at its integer coordinates, as for the
    // integer cluster centres. Meaningful only when has_centre().
    double centre_x = 0.0, centre_y = 0.0;
    int64_t weight_sum = 0;  // the weight behind the centre

    bool has_centre() const { return weight_sum > 0; }
};

using ClusterStatsList = std::vector<ClusterStats>;

// One entry per cluster of `members`, from the grey values of `raw` (a
// 480 x 360 frame) and the `threshold` the members passed. Members outside
// the frame count as grey 0.
//
// The centre weighs each member by grey - threshold + 1 rather than by its
// grey: over a background well above 0 the raw grey gives every member
// nearly the same weight, and the centre then sits near the middle of the
// pixels that passed, which moves in whole pixels. Measured from the grey
// above the threshold, an anti-aliased edge pixel weighs by how much of the
// marker it holds. With threshold 1 the weight is the raw grey.
void compute_cluster_stats(const ClusterMembers& members, const Frame& raw, int32_t threshold,
                           ClusterStatsList& out);

// The statistics of the cycle, kept by the main loop.
struct ClusterStatistics {
    // Who wants them, each set before a cycle by its owner: the panel while
    // its table shows or the preview prints counts, and the measurements
    // (tracking's sub-pixel centres, exports) while they are taken. While
    // nobody does, the clustering runs exactly as without them and nothing is kept.
    bool wanted_by_panel = false;
    bool wanted_by_measurements = false;
    // The warnings of the window's cycle: a cluster of merged markers is told
    // by its pixel count.
    bool wanted_by_warnings = false;
    bool wanted() const { return wanted_by_panel || wanted_by_measurements || wanted_by_warnings; }

    bool computed = false;   // the last clustering run was measured
    ClusterList described;   // the cluster list that run produced
    ClusterStatsList clusters;  // one per entry of `described`
    ClusterMembers members;  // the pixels behind them
};

// Before the clustering step: the work objects list their clusters' pixels
// into `stats.members` when the statistics are wanted, and not otherwise.
void prepare_member_listing(ClusterStatistics& stats, KMeansSums& kmeans_sums,
                            RegionGrowWork& region_grow_work, MergeWork& merge_work);

// After the clustering step with `cluster_method` on the pixels of `raw` at
// or above `threshold`: measures the clusters when they are wanted and a
// method ran; otherwise the old statistics stop describing anything.
void finish_cluster_statistics(ClusterStatistics& stats, int32_t cluster_method, const ClusterList& clusters,
                               const Frame& raw, int32_t threshold);

// True when `stats` measured exactly the clusters of `current`: the list
// tracking and drawing work on in this cycle. Clustering that ran without
// measuring, or a re-seeding of the list, ends that.
bool describes(const ClusterStatistics& stats, const ClusterList& current);

// The statistics of entry `index` of `current`, or nullptr when `stats` do
// not describe `current`. Tracking asks this for the cluster a node took, and
// finds the sub-pixel centre there (when has_centre()).
const ClusterStats* statistics_of(const ClusterStatistics& stats, const ClusterList& current, size_t index);
