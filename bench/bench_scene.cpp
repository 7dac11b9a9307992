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
    if (kind == 0) return scene_frames::camera_frame(0.3f);
    if (kind == 1) return scene_frames::draw(scene_frames::Background{}, scene_frames::four_markers());
    return scene_frames::setup_scenes()[static_cast<size_t>(kind - 2)].frame();
}

// Arguments: the method (0 region grow, 1 k-means, 2 merge) and the scene:
// 0 the synthetic camera, 1 four markers over a gradient, 2 to 5 the set-up
// scenes (discs; beside a glow; in noise; two touching, where the distance
// is found by running the method).
void BM_AutoThreshold(benchmark::State& state) {
    Options options = default_options();
    options.cluster_method = static_cast<int32_t>(state.range(0));
    const Frame raw = scene_frame(state.range(1));
    AutoThresholdWork work;
    AutoThreshold result;
    for (auto _ : state) {
        result = choose_threshold(work, raw, options);
        benchmark::DoNotOptimize(result);
    }
    state.counters["threshold"] = result.threshold;
    state.counters["markers"] = result.markers;
    state.counters["distance"] = result.max_distance;
    state.counters["method_runs"] = work.method_runs;
    state.counters["lowest"] = work.lowest;
}
BENCHMARK(BM_AutoThreshold)->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4, 5}})->Unit(benchmark::kMicrosecond);

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
