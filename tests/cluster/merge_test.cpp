// Hierarchical merge on hand-made inputs whose clusters follow from their
// geometry: the reach test, the tie-break by index, the swap-with-last removal
// and its end case, and the grid index's own invariants on dense inputs.

#include "cluster/merge.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "tests/cluster/cluster_inputs.h"
#include "tests/cluster/literal_clustering.h"

using cluster_inputs::add_rect;
using cluster_inputs::rect;
using cluster_inputs::rect_mean;

namespace {

class MergeTest : public ::testing::Test {
protected:
    void merge(const BrightPixelList& pixels, int32_t max_distance, int32_t min_size) {
        out = ClusterList{{7, 7, 7}};  // the method must empty what was there
        hierarchical_merge(work, pixels, out, max_distance, min_size);
    }
    int64_t members() const {
        int64_t n = 0;
        for (const ClusterAccumulator& c : work.clusters) n += c.count;
        return n;
    }

    MergeWork work;
    ClusterList out;
};

}  // namespace

TEST_F(MergeTest, EmptyInputEmptiesTheClusterList) {
    merge({}, 80, 20);
    EXPECT_TRUE(out.empty());
}

TEST_F(MergeTest, SinglePixelIsOneClusterWhenTheMinimumAllows) {
    merge({{33, 44, 255}}, 80, 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, 33);
    EXPECT_EQ(out[0].y, 44);
    EXPECT_EQ(out[0].value, 255);
    merge({{33, 44, 255}}, 80, 2);
    EXPECT_TRUE(out.empty());
}

TEST_F(MergeTest, DistanceZeroMergesNothingBetweenDistinctPositions) {
    // Large enough for the grid search, in an order that is not raster order.
    BrightPixelList pixels = rect(30, 30, 12, 10);
    std::swap(pixels[3], pixels[70]);
    merge(pixels, 0, 1);
    ASSERT_EQ(out.size(), pixels.size());
    for (size_t k = 0; k < out.size(); ++k) {
        EXPECT_EQ(out[k].x, pixels[k].x);
        EXPECT_EQ(out[k].y, pixels[k].y);
    }
    merge(pixels, 0, 2);
    EXPECT_TRUE(out.empty());
}

TEST_F(MergeTest, DistanceZeroStillMergesPixelsOnTheSamePosition) {
    BrightPixelList pixels = rect(30, 30, 10, 10, 100);
    pixels.push_back(BrightPixel{35, 35, 200});
    merge(pixels, 0, 2);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, 35);
    EXPECT_EQ(out[0].value, 150);
}

TEST_F(MergeTest, PairAtExactlyTheMaximumDistanceMerges) {
    const BrightPixelList pair{{0, 0, 255}, {3, 4, 255}};
    merge(pair, 5, 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, 1);
    EXPECT_EQ(out[0].y, 2);
    merge(pair, 4, 1);
    EXPECT_EQ(out.size(), 2u);
    merge(pair, -5, 1);
    EXPECT_EQ(out.size(), 1u) << "a negative distance reaches as far as its magnitude";
}

TEST_F(MergeTest, OneSquareIsOneClusterAtItsTruncatedMean) {
    const auto mean = rect_mean(201, 58, 11, 11);
    merge(rect(201, 58, 11, 11), 80, 20);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, mean.x);
    EXPECT_EQ(out[0].y, mean.y);
    EXPECT_EQ(out[0].value, 255);
    EXPECT_EQ(members(), 121);
}

TEST_F(MergeTest, TwoSquaresFarApartComeOutInRasterOrderOfTheirFirstPixels) {
    // The lower square starts first in raster order.
    BrightPixelList pixels = rect(250, 40, 11, 11);
    add_rect(pixels, 50, 100, 11, 11);
    cluster_inputs::raster_order(pixels);
    merge(pixels, 80, 20);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].x, rect_mean(250, 40, 11, 11).x);
    EXPECT_EQ(out[1].x, rect_mean(50, 100, 11, 11).x);
}

TEST_F(MergeTest, EqualDistancesGoToTheLowerIndex) {
    // (10,10) has (12,10) at index 1 and (8,10) at index 2 both 2 away. Taking
    // index 1 moves the centre to (11,10), from where (8,10) is out of reach.
    merge({{10, 10, 255}, {12, 10, 255}, {8, 10, 255}}, 2, 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].x, 11);
    EXPECT_EQ(out[1].x, 8);
}

TEST_F(MergeTest, LastClusterMergingBackwardsMovesIntoItsPartnersPlace) {
    // Index 1 swallows (12,11), then (10,10) at index 0, whose slot takes the
    // last entry (50,50). Index 2, (51,50), is then the last entry and takes
    // (50,50) at index 0: the grown cluster moves into slot 0 and the loop ends.
    const BrightPixelList pixels{{10, 10, 255}, {11, 12, 255}, {12, 11, 255}, {50, 50, 255}, {51, 50, 255}};
    merge(pixels, 2, 1);
    ASSERT_EQ(work.clusters.size(), 2u);
    EXPECT_EQ(work.clusters[0].count, 2);
    EXPECT_EQ(work.clusters[0].x, 50);
    EXPECT_EQ(work.clusters[1].count, 3);
    EXPECT_EQ(work.clusters[1].x, 11);
    EXPECT_EQ(work.clusters[1].y, 11);
}

TEST_F(MergeTest, ADenseFrameLeavesNothingBehindForASparseOne) {
    // Dense frames whose merge ends with the last entry swallowing an earlier
    // one, then the sparse frame of the three squares through the same work
    // object, as when the threshold slider moves up. The second call must not
    // touch anything sized by the first.
    const BrightPixelList sparse = cluster_inputs::camera_pixels(0.0f, 180);
    ASSERT_EQ(sparse.size(), 363u);
    literal::Work plain;
    ClusterList expected;
    literal::hierarchical_merge(plain, sparse, expected, 80, 20);
    const BrightPixelList dense = cluster_inputs::camera_pixels(0.0f, 41);
    for (int32_t d = 1; d <= 6; ++d) {
        merge(dense, d, 1);
        merge(sparse, 80, 20);
        EXPECT_TRUE(cluster_inputs::same_clusters(expected, out)) << "after max distance " << d;
    }
}

TEST_F(MergeTest, DistanceBeyondTheInt32SquareReachesEverything) {
    const BrightPixelList corners{{0, 0, 255}, {479, 0, 255}, {0, 359, 255}, {479, 359, 255}};
    for (const int32_t d : {46341, INT_MAX, INT_MIN}) {
        merge(corners, d, 1);
        ASSERT_EQ(out.size(), 1u) << "max distance " << d;
        EXPECT_EQ(out[0].x, (479 + 479) / 4);
        EXPECT_EQ(out[0].y, (359 + 359) / 4);
    }
}

TEST_F(MergeTest, PositionsOutsideTheFrameMergeLikeAnyOther) {
    merge({{600, 10, 255}, {603, 14, 255}, {-40, -40, 255}}, 5, 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].x, 601);
    EXPECT_EQ(out[0].y, 12);
    EXPECT_EQ(out[1].x, -40);
}

// Minimum sizes of 1 or less keep every cluster; a huge one keeps none.
class MergeMinimum : public MergeTest, public ::testing::WithParamInterface<std::pair<int32_t, size_t>> {};

TEST_P(MergeMinimum, KeepsTheClustersThatReachIt) {
    // Clusters of 1, 2 and 3 pixels, far apart.
    const BrightPixelList pixels{{10, 10, 255},  {200, 10, 255}, {201, 10, 255},
                                 {400, 10, 255}, {401, 10, 255}, {402, 10, 255}};
    merge(pixels, 5, GetParam().first);
    EXPECT_EQ(out.size(), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(Sizes, MergeMinimum,
                         ::testing::Values(std::pair<int32_t, size_t>{INT_MIN, 3}, std::pair<int32_t, size_t>{-1, 3},
                                           std::pair<int32_t, size_t>{0, 3}, std::pair<int32_t, size_t>{1, 3},
                                           std::pair<int32_t, size_t>{2, 2}, std::pair<int32_t, size_t>{3, 1},
                                           std::pair<int32_t, size_t>{INT_MAX, 0}));

// The index's claims (every skipped cell empty, the candidate list complete
// and sorted, every partner the one the plain search finds) checked by brute
// force on dense inputs, where rings, shifts and relabels are most frequent.
class MergeIndexInvariants : public MergeTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(MergeIndexInvariants, HoldOnADenseBlock) {
    BrightPixelList pixels = rect(0, 0, 160, 30);
    // Holes, so that distances vary and the rings have gaps.
    for (size_t k = 0; k < pixels.size(); k += 7) pixels[k].value = 0;
    pixels.erase(std::remove_if(pixels.begin(), pixels.end(), [](const BrightPixel& p) { return p.value == 0; }),
                 pixels.end());
    EXPECT_EQ(hierarchical_merge_self_checked(work, pixels, out, GetParam(), 1), 0);
    EXPECT_EQ(members(), static_cast<int64_t>(pixels.size())) << "every pixel belongs to exactly one cluster";
}
INSTANTIATE_TEST_SUITE_P(Distances, MergeIndexInvariants, ::testing::Values(1, 3, 12, 80));
