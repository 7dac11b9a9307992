// The fast methods against the plain reference on thousands of generated
// inputs: same clusters, same order, same values, and no broken invariant in
// the self-checking runs.

#include <gtest/gtest.h>

#include <string>

#include "cluster/kmeans.h"
#include "cluster/merge.h"
#include "cluster/region_grow.h"
#include "tests/cluster/cluster_inputs.h"
#include "tests/cluster/literal_clustering.h"

using cluster_inputs::camera_pixels;
using cluster_inputs::Case;
using cluster_inputs::Family;
using cluster_inputs::same_clusters;

namespace {

std::string describe(const Case& c, int index) {
    return "case " + std::to_string(index) + ": " + std::to_string(c.pixels.size()) +
           " pixels, max distance " + std::to_string(c.max_distance) + ", max size " +
           std::to_string(c.max_size) + ", min size " + std::to_string(c.min_size);
}

constexpr int kCasesPerFamily = 700;

class FastEqualsPlain : public ::testing::TestWithParam<Family> {
protected:
    // Inputs up to 400 pixels; the work objects are reused across cases, as the
    // main loop reuses them across cycles.
    template <class Check>
    void for_each_case(uint32_t seed, Check check) {
        cluster_inputs::Generator gen(seed + static_cast<uint32_t>(GetParam()) * 7919u);
        for (int k = 0; k < kCasesPerFamily; ++k) {
            const Case c = gen.make(GetParam(), 400);
            check(c, describe(c, k));
            if (HasFatalFailure()) return;
        }
    }

    literal::Work plain;
    ClusterList expected, got;
};

}  // namespace

TEST_P(FastEqualsPlain, RegionGrow) {
    RegionGrowWork work;
    for_each_case(11, [&](const Case& c, const std::string& what) {
        literal::region_grow(plain, c.pixels, expected, c.max_distance, c.max_size, c.min_size);
        region_grow(work, c.pixels, got, c.max_distance, c.max_size, c.min_size);
        ASSERT_TRUE(same_clusters(expected, got)) << what;
        got.clear();
        ASSERT_EQ(region_grow_self_checked(work, c.pixels, got, c.max_distance, c.max_size, c.min_size), 0)
            << what;
        ASSERT_TRUE(same_clusters(expected, got)) << what;
    });
}

TEST_P(FastEqualsPlain, HierarchicalMerge) {
    MergeWork work;
    for_each_case(23, [&](const Case& c, const std::string& what) {
        literal::hierarchical_merge(plain, c.pixels, expected, c.max_distance, c.min_size);
        hierarchical_merge(work, c.pixels, got, c.max_distance, c.min_size);
        ASSERT_TRUE(same_clusters(expected, got)) << what;
        got.clear();
        ASSERT_EQ(hierarchical_merge_self_checked(work, c.pixels, got, c.max_distance, c.min_size), 0)
            << what;
        ASSERT_TRUE(same_clusters(expected, got)) << what;
    });
}

TEST_P(FastEqualsPlain, KMeansWithAnyThreadCount) {
    KMeansSums work;
    cluster_inputs::Generator centres(99);
    int threads = 0;
    for_each_case(37, [&](const Case& c, const std::string& what) {
        ClusterList start;
        const int32_t k = centres.uniform(0, 7);
        for (int32_t j = 0; j < k; ++j) {
            // Some centres share a position, so ties between them are common.
            const int32_t x = centres.uniform(0, 3) == 0 && j > 0 ? start[0].x : centres.uniform(0, 479);
            const int32_t y = centres.uniform(0, 3) == 0 && j > 0 ? start[0].y : centres.uniform(0, 359);
            start.push_back(Cluster{x, y, 255});
        }
        const int32_t iterations = centres.uniform(-1, 6);
        expected = start;
        literal::kmeans<int64_t>(c.pixels, expected, iterations);
        got = start;
        work.set_threads(threads++ % 10);  // 0 and 9 stand for 1
        kmeans(work, c.pixels, got, iterations);
        ASSERT_TRUE(same_clusters(expected, got)) << what << ", " << k << " centres, " << iterations << " iterations";
    });
}

std::string family_name(const ::testing::TestParamInfo<Family>& info) {
    static const char* const names[] = {"Scatter", "Lattice", "Blobs", "Duplicates", "Ring", "Strip"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Families, FastEqualsPlain,
                         ::testing::Values(Family::kScatter, Family::kLattice, Family::kBlobs,
                                           Family::kDuplicates, Family::kRing, Family::kStrip),
                         family_name);

namespace {

struct FrameCase {
    int32_t threshold;
    int32_t max_distance;
    int32_t max_size;
    int32_t min_size;
};

std::string frame_case_name(const ::testing::TestParamInfo<FrameCase>& info) {
    const FrameCase& c = info.param;
    auto n = [](int32_t v) { return v < 0 ? "minus" + std::to_string(-v) : std::to_string(v); };
    return "t" + n(c.threshold) + "_d" + n(c.max_distance) + "_max" + n(c.max_size) + "_min" + n(c.min_size);
}

class RegionGrowOnCameraFrames : public ::testing::TestWithParam<FrameCase> {};
class MergeOnCameraFrames : public ::testing::TestWithParam<FrameCase> {};

}  // namespace

TEST_P(RegionGrowOnCameraFrames, FastEqualsPlain) {
    const FrameCase& fc = GetParam();
    const BrightPixelList pixels = camera_pixels(0.7f, fc.threshold);
    literal::Work plain;
    ClusterList expected, got;
    RegionGrowWork work;
    literal::region_grow(plain, pixels, expected, fc.max_distance, fc.max_size, fc.min_size);
    region_grow(work, pixels, got, fc.max_distance, fc.max_size, fc.min_size);
    EXPECT_TRUE(same_clusters(expected, got)) << expected.size() << " vs " << got.size() << " clusters";
}

INSTANTIATE_TEST_SUITE_P(Settings, RegionGrowOnCameraFrames,
                         ::testing::Values(FrameCase{180, 80, 5000, 20}, FrameCase{45, 80, 5000, 20},
                                           FrameCase{45, 7, 40, 1}, FrameCase{1, 80, 5000, 20},
                                           FrameCase{1, 30, 300, 0}, FrameCase{30, 12, 200, 5}),
                         frame_case_name);

// The plain merge of a frame at threshold 1 would take minutes; the denser
// frames the plain search can finish are compared here.
TEST_P(MergeOnCameraFrames, FastEqualsPlain) {
    const FrameCase& fc = GetParam();
    const BrightPixelList pixels = camera_pixels(2.1f, fc.threshold);
    literal::Work plain;
    ClusterList expected, got;
    MergeWork work;
    literal::hierarchical_merge(plain, pixels, expected, fc.max_distance, fc.min_size);
    hierarchical_merge(work, pixels, got, fc.max_distance, fc.min_size);
    EXPECT_TRUE(same_clusters(expected, got)) << expected.size() << " vs " << got.size() << " clusters";
}

INSTANTIATE_TEST_SUITE_P(Settings, MergeOnCameraFrames,
                         ::testing::Values(FrameCase{180, 80, 0, 20}, FrameCase{45, 80, 0, 20},
                                           FrameCase{45, 7, 0, 1}, FrameCase{47, 300, 0, 0}),
                         frame_case_name);

// Every pixel of the frame bright: region grow against the plain scan, and
// the merge with maximum distance 0, where nothing may merge.
TEST(FastOnFullFrame, RegionGrowMatchesThePlainScan) {
    const BrightPixelList pixels = cluster_inputs::rect(0, 0, kFrameWidth, kFrameHeight);
    literal::Work plain;
    ClusterList expected, got;
    RegionGrowWork work;
    literal::region_grow(plain, pixels, expected, 80, 5000, 20);
    region_grow(work, pixels, got, 80, 5000, 20);
    EXPECT_TRUE(same_clusters(expected, got));
}

TEST(FastOnFullFrame, MergeAtDistanceZeroKeepsEveryPixelApart) {
    const BrightPixelList pixels = cluster_inputs::rect(0, 0, kFrameWidth, kFrameHeight, 200);
    ClusterList got;
    MergeWork work;
    hierarchical_merge(work, pixels, got, 0, 1);
    ASSERT_EQ(got.size(), pixels.size());
    for (size_t k = 0; k < got.size(); ++k) {
        ASSERT_EQ(got[k].x, pixels[k].x);
        ASSERT_EQ(got[k].y, pixels[k].y);
        ASSERT_EQ(got[k].value, 200);
    }
    hierarchical_merge(work, pixels, got, 0, 2);
    EXPECT_TRUE(got.empty());
}
