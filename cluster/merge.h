#pragma once
// Hierarchical merge clustering: every bright pixel starts as a cluster; the
// cluster under consideration swallows its nearest neighbour within the
// maximum distance (the lower index wins a tie), searching again from its new
// centre, until none is in reach; then the next index is considered. The
// swallowed cluster's slot takes the last cluster of the list. Clusters
// smaller than the minimum size are dropped.

#include <cstdint>
#include <memory>

#include "cluster/members.h"
#include "cluster/records.h"

struct MergeIndex;

// The merge work object. Nothing in it carries over from one call to the next
// except storage.
struct MergeWork {
    MergeWork();
    ~MergeWork();
    MergeWork(const MergeWork&) = delete;
    MergeWork& operator=(const MergeWork&) = delete;

    AccumulatorList clusters;           // the list A, one entry per cluster
    std::unique_ptr<MergeIndex> index;  // spatial index of the fast search
    // Distance tests that the plain search (each search testing every other
    // entry of A) would have made in the last call.
    int64_t plain_distance_tests = 0;
    // When set, a run also lists there the pixels of every cluster it keeps.
    ClusterMembers* members = nullptr;
    // While listing: the pixels of cluster A[k] form a chain of bright-pixel
    // indices from chain_head[k] to chain_tail[k] through chain_next; a merge
    // joins two chains, a move takes a chain along.
    std::vector<int32_t> chain_head, chain_tail, chain_next;
};

// Runs the merge over `pixels` into `clusters`, which is emptied first.
// Arguments in the order the clustering step passes them. `max_distance`
// reaches as far as its magnitude; a minimum of 1 or less keeps every cluster.
//
// The result is exactly that of the plain quadratic search. Centres are kept
// in a uniform grid of 4 x 4 pixel cells. The searching cluster gathers the
// other clusters of a thin ring around its centre into a list sorted by
// distance, complete up to the ring's outer radius: the nearest live entry is
// the partner (lowest index among equal distances), and later searches from
// the same centre continue down the list. When the centre moves, the ring is
// gathered anew, starting at a radius below which no cluster can lie: the
// floored root of the last known nearest distance minus the ceiled root of the
// shift. Inputs of a few pixels, or with positions outside the frame, take the
// plain search.
void hierarchical_merge(MergeWork& work, const BrightPixelList& pixels, ClusterList& clusters,
                        int32_t max_distance, int32_t min_cluster_size);

// The grid method on any frame input (no plain path for small inputs), with
// every partner, every candidate list and every distance bound verified by
// brute force. Returns the number of violated invariants (0 when sound).
int64_t hierarchical_merge_self_checked(MergeWork& work, const BrightPixelList& pixels,
                                        ClusterList& clusters, int32_t max_distance,
                                        int32_t min_cluster_size);
