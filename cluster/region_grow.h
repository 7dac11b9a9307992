#pragma once
// Region-grow clustering: the last remaining pixel seeds a cluster, which
// absorbs, in working-list order, every pixel within the maximum distance of
// its centre as the centre moves; absorbed pixels leave the list and the next
// seed is taken, until no pixel is left. Clusters smaller than the minimum
// size are dropped.

#include <cstdint>
#include <vector>

#include "cluster/members.h"
#include "cluster/records.h"

// Bounding box of a run of pixels, inclusive.
struct PixelBox {
    int32_t x0, x1, y0, y1;
};

// The region-grow work object. Nothing in it carries over from one call to
// the next except storage.
struct RegionGrowWork {
    BrightPixelList pixels;           // the working list W
    AccumulatorList clusters;         // one accumulator per grown cluster, in seed order
    std::vector<PixelBox> block_boxes;  // box of each block of 32 entries of W
    std::vector<PixelBox> group_boxes;  // box of each group of 32 blocks
    std::vector<int32_t> absorbed;      // positions of W absorbed by the current cluster, ascending
    std::vector<int32_t> touched;       // blocks whose entries compaction changed, ascending
    // Distance tests that the plain scan (every cluster testing every pixel
    // left in W) would have made in the last call: a measure of the work the
    // block skipping saves.
    int64_t plain_distance_tests = 0;
    // When set, a run also lists there the pixels of every cluster it keeps.
    ClusterMembers* members = nullptr;
    std::vector<uint32_t> member_starts;  // first listed pixel of each grown cluster
};

// Runs region grow over `pixels` (frame coordinates) into `clusters`, which is
// emptied first. Arguments in the order the clustering step passes them.
// `max_distance` reaches as far as its magnitude; a maximum cluster size of 1
// or less still lets each cluster absorb one pixel (the size is tested after
// absorbing); a minimum of 1 or less keeps every cluster.
//
// The result is exactly that of the plain scan. Blocks of 32 consecutive
// working-list entries, and groups of 32 blocks, keep bounding boxes; a block
// or group whose box lies beyond the maximum distance from the centre as it
// stands when the scan reaches it is passed over whole, which is exact because
// the centre only moves when a pixel is absorbed. Compaction replays the
// swap-with-last removal over the absorbed positions only.
void region_grow(RegionGrowWork& work, const BrightPixelList& pixels, ClusterList& clusters,
                 int32_t max_distance, int32_t max_cluster_size, int32_t min_cluster_size);

// The same method with every skip and every box verified against the entries
// it stands for. Returns the number of violated invariants (0 when sound).
int64_t region_grow_self_checked(RegionGrowWork& work, const BrightPixelList& pixels,
                                 ClusterList& clusters, int32_t max_distance,
                                 int32_t max_cluster_size, int32_t min_cluster_size);
