// Costs of the three clustering methods on thresholded synthetic-camera
// frames. The argument is the threshold: 180 keeps the three squares (363
// pixels), 40 about a fifth of the noise, 1 nearly the whole frame. The plain
// reference methods run whole where that takes little time; where a run would
// take minutes, a bounded part is timed and the whole is extrapolated from the
// number of distance tests the plain method makes (counted by the fast one).

#include <benchmark/benchmark.h>

#include <time.h>

#include "cluster/kmeans.h"
#include "cluster/merge.h"
#include "cluster/region_grow.h"
#include "tests/cluster/cluster_inputs.h"
#include "tests/cluster/literal_clustering.h"

#ifdef VELMORA_BENCH_OPENCV
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// Default settings of the control panel.
constexpr int32_t kMaxDistance = 80;
constexpr int32_t kMaxClusterSize = 5000;
constexpr int32_t kMinClusterSize = 20;
constexpr int32_t kIterations = 5;

// The frames measured: phase 0.3, the generator at its initial state.
[[maybe_unused]] Frame thresholded_frame(int32_t threshold) { return cluster_inputs::camera_frame_thresholded(0.3f, threshold); }

BrightPixelList frame_pixels(int32_t threshold) { return cluster_inputs::camera_pixels(0.3f, threshold); }

void report(benchmark::State& state, const BrightPixelList& pixels, const ClusterList& clusters) {
    state.counters["pixels"] = static_cast<double>(pixels.size());
    state.counters["clusters"] = static_cast<double>(clusters.size());
}

void BM_RegionGrow(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    RegionGrowWork work;
    ClusterList clusters;
    for (auto _ : state) {
        region_grow(work, pixels, clusters, kMaxDistance, kMaxClusterSize, kMinClusterSize);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
}
BENCHMARK(BM_RegionGrow)->Arg(180)->Arg(40)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_RegionGrowLiteral(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    literal::Work work;
    ClusterList clusters;
    for (auto _ : state) {
        literal::region_grow(work, pixels, clusters, kMaxDistance, kMaxClusterSize, kMinClusterSize);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
}
BENCHMARK(BM_RegionGrowLiteral)->Arg(180)->Arg(40)->Arg(1)->Unit(benchmark::kMicrosecond);

// Region grow on the dense frame (threshold 1) with other settings: the
// arguments are the maximum distance and the maximum cluster size. Small
// clusters make the plain scan quadratic in the number of pixels.
void BM_RegionGrowDenseSettings(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(1);
    RegionGrowWork work;
    ClusterList clusters;
    for (auto _ : state) {
        region_grow(work, pixels, clusters, static_cast<int32_t>(state.range(0)),
                    static_cast<int32_t>(state.range(1)), 1);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
    state.counters["plain_tests"] = static_cast<double>(work.plain_distance_tests);
}
BENCHMARK(BM_RegionGrowDenseSettings)
    ->Args({0, 5000})
    ->Args({80, 1})
    ->Args({3, 20})
    ->Args({300, 15000})
    ->Unit(benchmark::kMillisecond);

// k-means from three fixed seeds each run, as after a re-seed.
void run_kmeans(benchmark::State& state, int32_t threads) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    const ClusterList seeds{{40, 200, 255}, {250, 60, 255}, {290, 280, 255}};
    KMeansSums work;
    work.set_threads(threads);
    ClusterList clusters;
    for (auto _ : state) {
        clusters = seeds;
        kmeans(work, pixels, clusters, kIterations);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
}

void BM_KMeans(benchmark::State& state) { run_kmeans(state, 1); }
BENCHMARK(BM_KMeans)->Arg(180)->Arg(40)->Arg(1)->Unit(benchmark::kMicrosecond);

// The second argument is kmeans_threads; wall-clock time, since the work is
// spread over threads.
void BM_KMeansThreads(benchmark::State& state) { run_kmeans(state, static_cast<int32_t>(state.range(1))); }
BENCHMARK(BM_KMeansThreads)->Args({1, 1})->Args({1, 2})->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_KMeansLiteral(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    const ClusterList seeds{{40, 200, 255}, {250, 60, 255}, {290, 280, 255}};
    ClusterList clusters;
    for (auto _ : state) {
        clusters = seeds;
        literal::kmeans<int64_t>(pixels, clusters, kIterations);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
}
BENCHMARK(BM_KMeansLiteral)->Arg(180)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_HierarchicalMerge(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    MergeWork work;
    ClusterList clusters;
    for (auto _ : state) {
        hierarchical_merge(work, pixels, clusters, kMaxDistance, kMinClusterSize);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
    state.counters["plain_tests"] = static_cast<double>(work.plain_distance_tests);
}
BENCHMARK(BM_HierarchicalMerge)->Arg(180)->Arg(40)->Arg(1)->Unit(benchmark::kMicrosecond);

// The merge on the dense frame with other maximum distances.
void BM_HierarchicalMergeDenseSettings(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(1);
    MergeWork work;
    ClusterList clusters;
    for (auto _ : state) {
        hierarchical_merge(work, pixels, clusters, static_cast<int32_t>(state.range(0)), kMinClusterSize);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
}
BENCHMARK(BM_HierarchicalMergeDenseSettings)->Arg(0)->Arg(1)->Arg(5)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_HierarchicalMergeLiteral(benchmark::State& state) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    literal::Work work;
    ClusterList clusters;
    for (auto _ : state) {
        literal::hierarchical_merge(work, pixels, clusters, kMaxDistance, kMinClusterSize);
        benchmark::DoNotOptimize(clusters.data());
    }
    report(state, pixels, clusters);
}
BENCHMARK(BM_HierarchicalMergeLiteral)->Arg(180)->Unit(benchmark::kMicrosecond);

// The plain methods on dense frames: `steps` seeds or searches are timed, and
// the time of the whole run is estimated as the time per distance test times
// the number of tests the whole run makes.
// CPU time of the calling thread: on a shared machine the estimate then does
// not grow with the other processes' load.
double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class Plain, class Fast>
void estimate_plain(benchmark::State& state, int64_t steps, Plain plain, Fast count_whole) {
    const BrightPixelList pixels = frame_pixels(static_cast<int32_t>(state.range(0)));
    const int64_t whole_tests = count_whole(pixels);
    literal::Work work;
    ClusterList clusters;
    int64_t tests = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        const double start = thread_seconds();
        tests = plain(work, pixels, clusters, steps);
        seconds += thread_seconds() - start;
    }
    const double per_test = seconds / static_cast<double>(state.iterations()) / static_cast<double>(tests);
    state.counters["tests_timed"] = static_cast<double>(tests);
    state.counters["tests_whole"] = static_cast<double>(whole_tests);
    state.counters["estimated_whole_ms"] = per_test * static_cast<double>(whole_tests) * 1e3;
}

void BM_HierarchicalMergeLiteralEstimate(benchmark::State& state) {
    estimate_plain(
        state, 400,
        [](literal::Work& w, const BrightPixelList& p, ClusterList& c, int64_t steps) {
            return literal::hierarchical_merge(w, p, c, kMaxDistance, kMinClusterSize, steps);
        },
        [](const BrightPixelList& p) {
            MergeWork fast;
            ClusterList c;
            hierarchical_merge(fast, p, c, kMaxDistance, kMinClusterSize);
            return fast.plain_distance_tests;
        });
}
BENCHMARK(BM_HierarchicalMergeLiteralEstimate)->Arg(40)->Arg(1)->Unit(benchmark::kMillisecond);

// Region grow at threshold 1 with maximum distance 0: every pixel is a
// cluster of its own and the plain scan tests every pair.
void BM_RegionGrowLiteralEstimate(benchmark::State& state) {
    estimate_plain(
        state, 200,
        [](literal::Work& w, const BrightPixelList& p, ClusterList& c, int64_t steps) {
            return literal::region_grow(w, p, c, 0, kMaxClusterSize, 1, steps);
        },
        [](const BrightPixelList& p) {
            RegionGrowWork fast;
            ClusterList c;
            region_grow(fast, p, c, 0, kMaxClusterSize, 1);
            return fast.plain_distance_tests;
        });
}
BENCHMARK(BM_RegionGrowLiteralEstimate)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef VELMORA_BENCH_OPENCV
// What a user would reach for instead: 8-connected components with their
// statistics and centroids, on the same thresholded frame, on one thread like
// the methods above.
void BM_OpenCvConnectedComponents(benchmark::State& state) {
    cv::setNumThreads(1);
    Frame frame = thresholded_frame(static_cast<int32_t>(state.range(0)));
    const cv::Mat image(kFrameHeight, kFrameWidth, CV_8UC1, frame.data());
    cv::Mat labels, stats, centroids;
    int count = 0;
    for (auto _ : state) {
        count = cv::connectedComponentsWithStats(image, labels, stats, centroids, 8, CV_32S);
        benchmark::DoNotOptimize(count);
    }
    state.counters["components"] = count;
}
BENCHMARK(BM_OpenCvConnectedComponents)->Arg(180)->Arg(40)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif

}  // namespace
