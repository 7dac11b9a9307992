#include "cluster/clustering.h"

#include "base/options.h"

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
