// Region grow on hand-made inputs whose clusters follow from their geometry:
// the reach test, the moving centre, the size test after absorbing, the
// swap-with-last compaction and the seed order it produces.

#include "cluster/region_grow.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "tests/cluster/cluster_inputs.h"

using cluster_inputs::rect;
using cluster_inputs::rect_mean;

namespace {

class RegionGrowTest : public ::testing::Test {
protected:
    void grow(const BrightPixelList& pixels, int32_t max_distance, int32_t max_size, int32_t min_size) {
        out = ClusterList{{7, 7, 7}};  // the method must empty what was there
        region_grow(work, pixels, out, max_distance, max_size, min_size);
    }
    std::vector<int32_t> counts() const {
        std::vector<int32_t> c;
        for (const ClusterAccumulator& r : work.clusters) c.push_back(r.count);
        return c;
    }

    RegionGrowWork work;
    ClusterList out;
};

}  // namespace

TEST_F(RegionGrowTest, EmptyInputEmptiesTheClusterList) {
    grow({}, 80, 5000, 20);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(work.clusters.empty());
}

TEST_F(RegionGrowTest, OneSquareIsOneClusterAtItsTruncatedMean) {
    // A square of 121 pixels that does not start at a multiple of its size, so
    // that the mean is truncated.
    const BrightPixelList square = rect(100, 37, 11, 11);
    const auto mean = rect_mean(100, 37, 11, 11);
    grow(square, 80, 5000, 20);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, mean.x);
    EXPECT_EQ(out[0].y, mean.y);
    EXPECT_EQ(out[0].value, 255);
    EXPECT_EQ(counts(), std::vector<int32_t>{121});
}

TEST_F(RegionGrowTest, MeanValueIsTheTruncatedMeanOfTheMembers) {
    BrightPixelList pixels{{10, 10, 100}, {11, 10, 101}, {12, 10, 101}};
    grow(pixels, 5, 5000, 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].value, 100) << "302 / 3 truncates to 100";
    EXPECT_EQ(out[0].x, 11);
}

TEST_F(RegionGrowTest, FullClusterStopsAndTheRestFormFurtherClusters) {
    grow(rect(20, 20, 11, 11), 80, 50, 20);
    EXPECT_EQ(counts(), (std::vector<int32_t>{50, 50, 21}));
    EXPECT_EQ(out.size(), 3u);
    grow(rect(20, 20, 11, 11), 80, 50, 30);
    EXPECT_EQ(out.size(), 2u) << "the 21-pixel cluster is below the minimum";
}

TEST_F(RegionGrowTest, PixelAtExactlyTheMaximumDistanceJoins) {
    const BrightPixelList pair{{0, 0, 255}, {3, 4, 255}};  // 5 apart
    grow(pair, 5, 5000, 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, 1);
    EXPECT_EQ(out[0].y, 2);
    grow(pair, 4, 5000, 1);
    EXPECT_EQ(out.size(), 2u);
}

TEST_F(RegionGrowTest, NegativeMaximumDistanceReachesAsFarAsItsMagnitude) {
    const BrightPixelList pair{{0, 0, 255}, {3, 4, 255}};
    grow(pair, -5, 5000, 1);
    EXPECT_EQ(out.size(), 1u);
}

TEST_F(RegionGrowTest, MaximumDistanceBeyondTheInt32SquareReachesEverything) {
    BrightPixelList corners{{0, 0, 255}, {479, 359, 255}, {479, 0, 255}, {0, 359, 255}};
    for (const int32_t d : {46341, 65536, INT_MAX, INT_MIN}) {
        grow(corners, d, 5000, 1);
        ASSERT_EQ(out.size(), 1u) << "max distance " << d;
        EXPECT_EQ(counts(), std::vector<int32_t>{4});
    }
}

TEST_F(RegionGrowTest, PixelPassedOverBeforeTheCentreMovedIsNotTestedAgain) {
    // Seed (5,0) does not reach (0,0) (25 > 16) but absorbs (2,0); the centre
    // moves to (3,0), from where (0,0) would be in reach, but the scan has
    // passed it: it forms a cluster of its own.
    const BrightPixelList pixels{{0, 0, 255}, {2, 0, 255}, {5, 0, 255}};
    grow(pixels, 4, 5000, 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].x, 3);
    EXPECT_EQ(out[1].x, 0);
    EXPECT_EQ(counts(), (std::vector<int32_t>{2, 1}));
}

TEST_F(RegionGrowTest, CompactionMovesTheLastEntryIntoTheGapSoSeedsLeaveRasterOrder) {
    // The seed (100,0) absorbs (100,1) at position 1; the last entry (200,0)
    // fills that gap, so the next seed is (50,50), then (200,0), then (0,0).
    // An order-keeping removal would seed (200,0) before (50,50).
    const BrightPixelList pixels{{0, 0, 255}, {100, 1, 255}, {50, 50, 255}, {200, 0, 255}, {100, 0, 255}};
    grow(pixels, 2, 5000, 1);
    ASSERT_EQ(out.size(), 4u);
    const int32_t expected_x[] = {100, 50, 200, 0};
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(out[k].x, expected_x[k]) << "cluster " << k;
}

TEST_F(RegionGrowTest, FirstSeedIsTheLastPixelInRasterOrder) {
    // Two squares; the one holding the last pixel is grown first.
    BrightPixelList pixels = rect(300, 10, 5, 5);
    cluster_inputs::add_rect(pixels, 10, 200, 5, 5);
    grow(pixels, 20, 5000, 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].y, rect_mean(10, 200, 5, 5).y);
    EXPECT_EQ(out[1].y, rect_mean(300, 10, 5, 5).y);
}

TEST_F(RegionGrowTest, DistanceZeroMakesEveryPixelItsOwnClusterInSeedOrder) {
    const BrightPixelList pixels = rect(40, 40, 6, 4);
    grow(pixels, 0, 5000, 1);
    // Nothing is absorbed, so nothing moves: seeds come from the end.
    ASSERT_EQ(out.size(), pixels.size());
    for (size_t k = 0; k < out.size(); ++k) {
        const BrightPixel& p = pixels[pixels.size() - 1 - k];
        EXPECT_EQ(out[k].x, p.x);
        EXPECT_EQ(out[k].y, p.y);
    }
    grow(pixels, 0, 5000, 2);
    EXPECT_TRUE(out.empty());
}

// Maximum cluster sizes of 1 or less: the size is tested only after a pixel
// was absorbed, so every cluster takes its seed and one more pixel.
class RegionGrowTinyMaximum : public RegionGrowTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(RegionGrowTinyMaximum, ClustersStopAtTwoPixels) {
    grow(rect(0, 0, 7, 1), 80, GetParam(), 0);
    EXPECT_EQ(counts(), (std::vector<int32_t>{2, 2, 2, 1}));
    EXPECT_EQ(out.size(), 4u);
}
INSTANTIATE_TEST_SUITE_P(Sizes, RegionGrowTinyMaximum, ::testing::Values(1, 0, -1, INT_MIN));

// Minimum sizes of 1 or less keep every cluster; a huge one keeps none.
class RegionGrowMinimum : public RegionGrowTest,
                          public ::testing::WithParamInterface<std::pair<int32_t, size_t>> {};

TEST_P(RegionGrowMinimum, KeepsTheClustersThatReachIt) {
    // Three clusters of 1, 2 and 3 pixels, far apart.
    BrightPixelList pixels{{10, 10, 255}, {200, 10, 255}, {201, 10, 255},
                           {400, 10, 255}, {401, 10, 255}, {402, 10, 255}};
    grow(pixels, 5, 5000, GetParam().first);
    EXPECT_EQ(out.size(), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(Sizes, RegionGrowMinimum,
                         ::testing::Values(std::pair<int32_t, size_t>{INT_MIN, 3}, std::pair<int32_t, size_t>{-1, 3},
                                           std::pair<int32_t, size_t>{0, 3}, std::pair<int32_t, size_t>{1, 3},
                                           std::pair<int32_t, size_t>{2, 2}, std::pair<int32_t, size_t>{3, 1},
                                           std::pair<int32_t, size_t>{4, 0},
                                           std::pair<int32_t, size_t>{INT_MAX, 0}));

TEST_F(RegionGrowTest, BlockBoxesStaySoundOnAFullFrame) {
    // Every pixel bright, small clusters: compaction moves entries across the
    // whole list, so block boxes are rebuilt again and again.
    const BrightPixelList pixels = rect(0, 0, kFrameWidth, 40);
    EXPECT_EQ(region_grow_self_checked(work, pixels, out, 6, 30, 1), 0);
    int64_t members = 0;
    for (const ClusterAccumulator& r : work.clusters) members += r.count;
    EXPECT_EQ(members, static_cast<int64_t>(pixels.size())) << "every pixel belongs to exactly one cluster";
}
