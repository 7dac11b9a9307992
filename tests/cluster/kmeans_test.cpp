// k-means and its seeding rule: tie-breaks, empty centres, iteration counts,
// the 64-bit sums, the shared random sequence, and identical results with any
// number of worker threads.

#include "cluster/kmeans.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/rand.h"
#include "tests/cluster/cluster_inputs.h"
#include "tests/cluster/literal_clustering.h"

using cluster_inputs::add_rect;
using cluster_inputs::rect;
using cluster_inputs::rect_mean;
using cluster_inputs::same_clusters;

namespace {

void expect_cluster(const Cluster& c, int32_t x, int32_t y, int32_t value) {
    EXPECT_EQ(c.x, x);
    EXPECT_EQ(c.y, y);
    EXPECT_EQ(c.value, value);
}

class KMeansTest : public ::testing::Test {
protected:
    KMeansSums sums;
    ClusterList centres;
};

}  // namespace

TEST_F(KMeansTest, CentresOnTheSamePositionLeaveThePixelsToTheLowerIndex) {
    centres = {{50, 50, 255}, {50, 50, 255}};
    kmeans(sums, rect(40, 40, 5, 5), centres, 1);
    const auto mean = rect_mean(40, 40, 5, 5);
    expect_cluster(centres[0], mean.x, mean.y, 1);
    expect_cluster(centres[1], 0, 0, 0);
}

TEST_F(KMeansTest, PixelHalfwayBetweenTwoCentresJoinsTheLowerIndex) {
    centres = {{0, 10, 255}, {300, 300, 255}, {10, 10, 255}};
    kmeans(sums, {{5, 10, 9}}, centres, 1);
    expect_cluster(centres[0], 5, 10, 1);
    expect_cluster(centres[1], 0, 0, 0);
    expect_cluster(centres[2], 0, 0, 0);
}

TEST_F(KMeansTest, CentreIsTheValueWeightedMeanTruncated) {
    // x: (10*1 + 13*2) / 3 = 12; y: (20*1 + 21*2) / 3 = 20 (62 / 3).
    centres = {{11, 20, 255}};
    kmeans(sums, {{10, 20, 1}, {13, 21, 2}}, centres, 1);
    expect_cluster(centres[0], 12, 20, 1);
}

TEST_F(KMeansTest, ThreeSquaresPullWellSeparatedCentresOntoTheirMeans) {
    BrightPixelList pixels = rect(20, 30, 11, 11);
    add_rect(pixels, 300, 30, 11, 11);
    add_rect(pixels, 150, 250, 11, 11);
    cluster_inputs::raster_order(pixels);
    centres = {{10, 10, 255}, {320, 60, 255}, {140, 240, 255}};
    kmeans(sums, pixels, centres, 1);
    const auto a = rect_mean(20, 30, 11, 11), b = rect_mean(300, 30, 11, 11), c = rect_mean(150, 250, 11, 11);
    expect_cluster(centres[0], a.x, a.y, 1);
    expect_cluster(centres[1], b.x, b.y, 1);
    expect_cluster(centres[2], c.x, c.y, 1);
}

TEST_F(KMeansTest, EmptyPixelListMovesEveryCentreToTheOrigin) {
    centres = {{10, 20, 255}, {30, 40, 255}};
    kmeans(sums, {}, centres, 1);
    expect_cluster(centres[0], 0, 0, 0);
    expect_cluster(centres[1], 0, 0, 0);
}

TEST_F(KMeansTest, EmptyCentreListStaysEmpty) {
    kmeans(sums, rect(0, 0, 10, 10), centres, 5);
    EXPECT_TRUE(centres.empty());
}

TEST_F(KMeansTest, CentreAtTheOriginStaysWhileNoPixelIsNearerToIt) {
    centres = {{0, 0, 0}, {100, 100, 255}};
    kmeans(sums, rect(95, 95, 3, 3), centres, 3);
    expect_cluster(centres[0], 0, 0, 0);
    expect_cluster(centres[1], 96, 96, 1);
    // A pixel nearer the origin than the other centre is taken by it.
    kmeans(sums, {{5, 5, 255}, {96, 96, 255}}, centres, 1);
    expect_cluster(centres[0], 5, 5, 1);
}

// Zero or negative iteration counts change nothing: freshly seeded centres
// keep their value 255.
class KMeansNoIterations : public KMeansTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(KMeansNoIterations, LeaveTheCentresAsTheyWere) {
    centres = {{10, 20, 255}, {30, 40, 255}};
    const ClusterList before = centres;
    kmeans(sums, rect(0, 0, 50, 50), centres, GetParam());
    EXPECT_TRUE(same_clusters(centres, before));
    EXPECT_EQ(sums.sums.size(), centres.size()) << "the sums list follows the centre count";
}
INSTANTIATE_TEST_SUITE_P(Counts, KMeansNoIterations, ::testing::Values(0, -1, INT_MIN));

TEST_F(KMeansTest, HugeIterationCountEndsOnceTheCentresStopMoving) {
    // The far centre attracts nothing and moves to the origin, which is
    // farther still: the second round repeats the first.
    centres = {{210, 210, 255}, {479, 0, 255}};
    kmeans(sums, rect(200, 200, 30, 30), centres, INT_MAX);
    const auto mean = rect_mean(200, 200, 30, 30);
    expect_cluster(centres[0], mean.x, mean.y, 1);
    expect_cluster(centres[1], 0, 0, 0);
}

TEST_F(KMeansTest, SumsBeyondInt32GiveTheExactMeanOfAWholeFrame) {
    // One centre takes every pixel of a frame at 255: the sum of x * value is
    // 172800 * 239.5 * 255, about 1.06e10, far beyond int32.
    centres = {{240, 180, 255}};
    kmeans(sums, rect(0, 0, kFrameWidth, kFrameHeight), centres, 1);
    expect_cluster(centres[0], (kFrameWidth - 1) / 2, (kFrameHeight - 1) / 2, 1);
}

TEST_F(KMeansTest, SixtyFourBitSumsChangeNothingWithinTheInt32Bound) {
    // With value 255 an int32 sum of x * value holds 17581 pixels of x = 479;
    // inputs under that bound must give what 32-bit sums give.
    cluster_inputs::Generator gen(5);
    for (int round = 0; round < 200; ++round) {
        BrightPixelList pixels;
        const int32_t n = gen.uniform(0, 17000);
        for (int32_t k = 0; k < n; ++k)
            pixels.push_back(BrightPixel{gen.uniform(0, 479), gen.uniform(0, 359), gen.uniform(1, 255)});
        ClusterList start;
        for (int32_t k = gen.uniform(1, 5); k > 0; --k) start.push_back(Cluster{gen.uniform(0, 300), gen.uniform(0, 300), 255});
        ClusterList narrow = start;
        literal::kmeans<int32_t>(pixels, narrow, 3);
        centres = start;
        kmeans(sums, pixels, centres, 3);
        ASSERT_TRUE(same_clusters(narrow, centres)) << "round " << round;
    }
}

// Every thread count, in or out of range, gives the single-thread result,
// ties included: a dense camera frame and centres that share positions.
class KMeansThreads : public KMeansTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(KMeansThreads, GiveTheSingleThreadResult) {
    const BrightPixelList pixels = cluster_inputs::camera_pixels(0.4f, 1);

    const ClusterList start{{100, 100, 255}, {100, 100, 255}, {300, 200, 255}, {0, 0, 0}, {479, 359, 255}};
    ClusterList expected = start;
    literal::kmeans<int64_t>(pixels, expected, 4);
    sums.set_threads(GetParam());
    for (int call = 0; call < 3; ++call) {  // the workers persist across calls
        centres = start;
        kmeans(sums, pixels, centres, 4);
        ASSERT_TRUE(same_clusters(expected, centres)) << "call " << call;
    }
}
INSTANTIATE_TEST_SUITE_P(Counts, KMeansThreads, ::testing::Values(1, 2, 3, 8, 0, -4, 9, INT_MAX));

TEST(KMeansSumsThreads, OutOfRangeCountsMeanOne) {
    KMeansSums sums;
    for (const int32_t t : {0, -1, 9, INT_MIN, INT_MAX}) {
        sums.set_threads(t);
        EXPECT_EQ(sums.threads(), 1) << t;
    }
    sums.set_threads(8);
    EXPECT_EQ(sums.threads(), 8);
}

// The seeding rule and the generator it shares with the camera.
class KMeansSeedTest : public ::testing::Test {
protected:
    KMeansSeedTest() { platform::set_rand_state(state_); }

    // The seeds the rule must make, drawn from the generator's formula.
    ClusterList expected_seeds(size_t n) {
        ClusterList out;
        for (size_t k = 0; k < n; ++k) {
            const int r1 = draw(), r2 = draw();
            out.push_back(cluster_inputs::seed_from_draws(r1, r2));
        }
        return out;
    }
    int draw() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

    uint32_t state_ = 12345u;
    ClusterList clusters;
};

TEST_F(KMeansSeedTest, ResizeReseedsEveryEntryWithYFromTheFirstDraw) {
    kmeans_seed(clusters, 3);
    ASSERT_TRUE(same_clusters(clusters, expected_seeds(3)));
    clusters[0] = Cluster{1, 2, 3};
    kmeans_seed(clusters, 4);
    EXPECT_TRUE(same_clusters(clusters, expected_seeds(4))) << "all four are seeded anew, not only the new one";
    EXPECT_EQ(platform::rand_state(), state_);
}

TEST_F(KMeansSeedTest, EqualLengthDrawsNothing) {
    clusters = {{1, 2, 3}, {4, 5, 6}};
    kmeans_seed(clusters, 2);
    EXPECT_EQ(clusters[1].x, 4);
    EXPECT_EQ(platform::rand_state(), state_);
}

TEST_F(KMeansSeedTest, SeedsStayWithinZeroTo300) {
    kmeans_seed(clusters, 2000);
    for (const Cluster& c : clusters) {
        EXPECT_GE(c.x, 0);
        EXPECT_LE(c.x, 300);
        EXPECT_GE(c.y, 0);
        EXPECT_LE(c.y, 300);
    }
}

TEST_F(KMeansSeedTest, DrawOf32767GivesExactly300) {
    // Find a state whose next draw is 32767 by stepping the generator.
    uint32_t s = 1;
    while (((s * 214013u + 2531011u) >> 16 & 0x7FFF) != 32767) s = s * 214013u + 2531011u;
    platform::set_rand_state(s);
    kmeans_seed(clusters, 1);
    EXPECT_EQ(clusters[0].y, 300);
}

// Counts below zero mean no centres; counts beyond one per frame pixel are
// held at that bound, so a damaged setting cannot allocate without limit.
class KMeansSeedCounts : public KMeansSeedTest,
                         public ::testing::WithParamInterface<std::pair<int32_t, size_t>> {};

TEST_P(KMeansSeedCounts, GiveBoundedLists) {
    clusters = {{1, 2, 3}};
    kmeans_seed(clusters, GetParam().first);
    EXPECT_EQ(clusters.size(), GetParam().second);
    const uint32_t after = platform::rand_state();
    kmeans_seed(clusters, GetParam().first);
    EXPECT_EQ(platform::rand_state(), after) << "a held count does not reseed every cycle";
}
INSTANTIATE_TEST_SUITE_P(Counts, KMeansSeedCounts,
                         ::testing::Values(std::pair<int32_t, size_t>{0, 0}, std::pair<int32_t, size_t>{-1, 0},
                                           std::pair<int32_t, size_t>{INT_MIN, 0},
                                           std::pair<int32_t, size_t>{INT_MAX, kFrameBytes},
                                           std::pair<int32_t, size_t>{kMaxKMeansClusters + 1, kFrameBytes}));
