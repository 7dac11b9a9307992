// The operator's scene aids: the automatic threshold per method on the
// synthetic camera and on four markers over a gradient, and the cost of
// measuring the clusters of a cycle on top of clustering alone.

#include <benchmark/benchmark.h>

#include "base/options.h"
#include "camera/frame_ops.h"
#include "camera/histogram.h"
#include "cluster/auto_threshold.h"
#include "cluster/cluster_stats.h"
#include "cluster/clustering.h"
#include "tests/cluster/scene_frames.h"

namespace {

Frame scene_frame(int64_t kind) {
    return kind == 0 ? scene_frames::camera_frame(0.3f) : scene_frames::draw(scene_frames::Background{}, scene_frames::four_markers());
}

// Arguments: the method (0 region grow, 1 k-means, 2 merge) and the scene:
// 0 the synthetic camera with 3 nodes, 1 four markers over a gradient with 4
// nodes, 2 the same with 5 nodes, a count no threshold gives, so that every
// threshold down to the brightness bound is evaluated.
void BM_AutoThreshold(benchmark::State& state) {
    Options options = default_options();
    options.cluster_method = static_cast<int32_t>(state.range(0));
    const Frame raw = scene_frame(state.range(1) == 0 ? 0 : 1);
    const int32_t wanted = static_cast<int32_t>(state.range(1)) + 3;
    AutoThresholdWork work;
    AutoThreshold result;
    for (auto _ : state) {
        result = choose_threshold(work, raw, options, wanted);
        benchmark::DoNotOptimize(result);
    }
    state.counters["threshold"] = result.threshold;
    state.counters["clusters"] = result.clusters;
    state.counters["runs"] = work.runs;
    state.counters["lowest"] = work.lowest;
}
BENCHMARK(BM_AutoThreshold)->ArgsProduct({{0, 1, 2}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);

void BM_GreyHistogram(benchmark::State& state) {
    const Frame raw = scene_frames::camera_frame(0.3f);
    GreyHistogram h{};
    for (auto _ : state) {
        grey_histogram(raw, h);
        benchmark::DoNotOptimize(h.data());
    }
}
BENCHMARK(BM_GreyHistogram)->Unit(benchmark::kMicrosecond);

// One cycle's clustering of the four-marker frame at threshold 100, without
// (argument 0) and with (1) the statistics wanted: the second adds the member
// lists and the measuring.
void BM_ClusteringWithStatistics(benchmark::State& state) {
    Options options = default_options();
    options.cluster_method = static_cast<int32_t>(state.range(0));
    options.kmeans_clusters = 4;
    const Frame raw = scene_frame(1);
    Frame thresholded;
    threshold_frame(raw, thresholded, 100);
    BrightPixelList pixels;
    list_bright_pixels(thresholded, pixels);
    KMeansSums sums;
    RegionGrowWork grow;
    MergeWork merge;
    ClusterList clusters;
    ClusterStatistics stats;
    stats.wanted_by_panel = state.range(1) != 0;
    for (auto _ : state) {
        kmeans_seed(clusters, options.kmeans_clusters);
        prepare_member_listing(stats, sums, grow, merge);
        run_clustering(options, sums, grow, merge, pixels, clusters);
        finish_cluster_statistics(stats, options.cluster_method, clusters, raw, options.threshold);
        benchmark::DoNotOptimize(stats.clusters.data());
    }
}
BENCHMARK(BM_ClusteringWithStatistics)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
