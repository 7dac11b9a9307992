#include "loop/scene_setup.h"

#include <algorithm>

#include "cluster/clustering.h"

void settle_clusters(const Options& options, const Frame& frame, ClusterList& clusters,
                     ClusterStatistics& statistics) {
    Frame thresholded;
    BrightPixelList pixels;
    KMeansSums sums;
    RegionGrowWork grow;
    MergeWork merge;
    clusters.clear();
    ClusterList before;
    bool found = false;
    for (int run = 0; run < kSettleRuns; ++run) {
        before.assign(clusters.begin(), clusters.end());
        cluster_frame(options, frame, thresholded, pixels, sums, grow, merge, statistics, clusters, found);
        if (options.cluster_method != 1) break;
        const bool same = before.size() == clusters.size() &&
                          std::equal(before.begin(), before.end(), clusters.begin(), [](const Cluster& a, const Cluster& b) {
                              return a.x == b.x && a.y == b.y;
                          });
        if (same) break;
    }
    // Seeds no method ran on (threshold 0) are no markers to settle on.
    if (!found) clusters.clear();
}

SceneSetupReport set_up_scene(const SceneSetup& setup, const Frame& frame, Options& options, NodeModel& model) {
    SceneSetupReport report;
    if (setup.find_markers) {
        AutoThresholdWork work;
        report.choice = choose_threshold(work, frame, options);
        apply_choice(report.choice, options);
    }
    if (setup.place_nodes) {
        ClusterStatistics statistics;
        ClusterList clusters;
        settle_clusters(options, frame, clusters, statistics);
        report.placed = place_nodes(model, clusters);
    }
    return report;
}
