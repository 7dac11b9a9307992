#pragma once
// The clustering step of a cycle: the method that `cluster_method` selects
// turns the bright-pixel list into the cluster list.

#include <cstdint>

#include "camera/frame.h"
#include "cluster/cluster_stats.h"
#include "cluster/kmeans.h"
#include "cluster/merge.h"
#include "cluster/records.h"
#include "cluster/region_grow.h"

struct Options;

// 0 region grow (regiongrow_max_distance, regiongrow_max_cluster_size,
// regiongrow_min_cluster_size), 1 k-means (kmeans_iterations, with up to
// kmeans_threads workers), 2 hierarchical merge (cure_max_distance,
// cure_min_cluster_size); any other value leaves the cluster list unchanged.
void run_clustering(const Options& options, KMeansSums& kmeans_sums, RegionGrowWork& region_grow_work,
                    MergeWork& merge_work, const BrightPixelList& pixels, ClusterList& clusters);

// The analysis of one frame, already flipped, as the main loop's cycle and
// the batch run both run it: k-means seeding, then, with a threshold of 1 or
// more, the threshold into `thresholded`, the bright-pixel list and the
// clustering, with the clusters' statistics while they are wanted. Below
// threshold 1 the clusters stay as they were and `thresholded` is untouched.
//
// `found` says whether the list holds what a method found rather than seeds
// no method has run on (the seeding rule fills the list at start-up and
// whenever its length changes): it comes in as the last call left it and is
// set when a method runs, cleared when the list is seeded anew. Seeds are no
// markers: tracking and drawing take the list only while it is set.
void cluster_frame(const Options& options, const Frame& frame, Frame& thresholded, BrightPixelList& pixels,
                   KMeansSums& kmeans_sums, RegionGrowWork& region_grow_work, MergeWork& merge_work,
                   ClusterStatistics& statistics, ClusterList& clusters, bool& found);
