#include "cluster/clustering.h"

#include "base/options.h"
#include "camera/frame_ops.h"

void run_clustering(const Options& options, KMeansSums& kmeans_sums, RegionGrowWork& region_grow_work,
                    MergeWork& merge_work, const BrightPixelList& pixels, ClusterList& clusters) {
    switch (options.cluster_method) {
        case 0:
            region_grow(region_grow_work, pixels, clusters, options.regiongrow_max_distance,
                        options.regiongrow_max_cluster_size, options.regiongrow_min_cluster_size);
            break;
        case 1:
            kmeans_sums.set_threads(options.kmeans_threads);
            kmeans(kmeans_sums, pixels, clusters, options.kmeans_iterations);
            break;
        case 2:
            hierarchical_merge(merge_work, pixels, clusters, options.cure_max_distance,
                               options.cure_min_cluster_size);
            break;
        default:
            break;
    }
}

void cluster_frame(const Options& options, const Frame& frame, Frame& thresholded, BrightPixelList& pixels,
                   KMeansSums& kmeans_sums, RegionGrowWork& region_grow_work, MergeWork& merge_work,
                   ClusterStatistics& statistics, ClusterList& clusters, bool& found) {
    if (kmeans_seed(clusters, options.kmeans_clusters)) found = false;
    if (options.threshold < 1) return;
    threshold_frame(frame, thresholded, options.threshold);
    list_bright_pixels(thresholded, pixels);
    prepare_member_listing(statistics, kmeans_sums, region_grow_work, merge_work);
    run_clustering(options, kmeans_sums, region_grow_work, merge_work, pixels, clusters);
    if (options.cluster_method >= 0 && options.cluster_method <= 2) found = true;
    finish_cluster_statistics(statistics, options.cluster_method, clusters, frame, options.threshold);
}
