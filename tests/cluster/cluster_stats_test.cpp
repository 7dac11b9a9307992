// Cluster statistics: which pixels each method says a cluster is made of
// (checked against plain versions of the methods that keep member lists),
// what is measured over them, the sub-pixel centre's accuracy on markers with
// anti-aliased edges, and when the statistics describe the cluster list.

#include "cluster/cluster_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/options.h"
#include "camera/frame_ops.h"
#include "cluster/clustering.h"
#include "tests/cluster/cluster_inputs.h"
#include "tests/cluster/literal_clustering.h"
#include "tests/cluster/scene_frames.h"

namespace {

using cluster_inputs::Case;
using cluster_inputs::Family;
using Members = std::vector<std::vector<MemberPixel>>;

int64_t sq(int64_t v) { return v * v; }

// --- plain methods that keep each cluster's pixels -----------------------------

Members plain_region_grow(const Case& c) {
    BrightPixelList w(c.pixels.begin(), c.pixels.end());
    std::vector<ClusterAccumulator> a;
    Members lists;
    while (!w.empty()) {
        a.push_back(ClusterAccumulator{0, 0, 0, 0, 0, 0, 0});
        lists.emplace_back();
        ClusterAccumulator& r = a.back();
        literal::absorb(r, w.back().x, w.back().y, w.back().value, 1);
        lists.back().push_back({w.back().x, w.back().y});
        w.pop_back();
        for (BrightPixel& p : w) {
            if (sq(p.x - r.x) + sq(p.y - r.y) > sq(c.max_distance)) continue;
            literal::absorb(r, p.x, p.y, p.value, 1);
            lists.back().push_back({p.x, p.y});
            p.value = 0;
            if (r.count >= c.max_size) break;
        }
        for (size_t j = 0; j < w.size();) {
            if (w[j].value != 0) {
                ++j;
            } else {
                w[j] = w.back();
                w.pop_back();
            }
        }
    }
    Members kept;
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].count >= c.min_size) kept.push_back(lists[k]);
    return kept;
}

Members plain_merge(const Case& c) {
    std::vector<ClusterAccumulator> a;
    Members lists;
    for (const BrightPixel& p : c.pixels) {
        a.push_back(ClusterAccumulator{p.x, p.y, p.value, 1, p.x, p.y, p.value});
        lists.push_back({{p.x, p.y}});
    }
    for (size_t i = 0; i < a.size();) {
        int64_t best = INT64_MAX;
        size_t partner = a.size();
        for (size_t j = 0; j < a.size(); ++j) {
            const int64_t d = sq(a[j].x - a[i].x) + sq(a[j].y - a[i].y);
            if (j != i && d <= sq(c.max_distance) && d < best) best = d, partner = j;
        }
        if (partner == a.size()) {
            ++i;
            continue;
        }
        literal::absorb(a[i], a[partner].sum_x, a[partner].sum_y, a[partner].sum_value, a[partner].count);
        lists[i].insert(lists[i].end(), lists[partner].begin(), lists[partner].end());
        a[partner] = a.back();
        lists[partner] = lists.back();
        a.pop_back();
        lists.pop_back();
    }
    Members kept;
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].count >= c.min_size) kept.push_back(lists[k]);
    return kept;
}

// The pixels nearest to each centre in the last round; `centres` on entry are
// where the run starts, on exit where it ends.
Members plain_kmeans(const BrightPixelList& pixels, ClusterList& centres, int32_t iterations) {
    Members lists(centres.size());
    for (int32_t round = 0; round < iterations && !centres.empty(); ++round) {
        for (auto& l : lists) l.clear();
        for (const BrightPixel& p : pixels) {
            size_t nearest = 0;
            for (size_t j = 1; j < centres.size(); ++j)
                if (sq(centres[j].x - p.x) + sq(centres[j].y - p.y) <
                    sq(centres[nearest].x - p.x) + sq(centres[nearest].y - p.y))
                    nearest = j;
            lists[nearest].push_back({p.x, p.y});
        }
        literal::kmeans<int64_t>(pixels, centres, 1);
    }
    return lists;
}

Members as_lists(const ClusterMembers& m) {
    Members out;
    for (size_t k = 0; k < m.cluster_count(); ++k) out.emplace_back(m.begin_of(k), m.end_of(k));
    return out;
}

// Same clusters with the same pixels; the order within a cluster is free.
void expect_same_members(Members fast, Members plain) {
    ASSERT_EQ(fast.size(), plain.size());
    const auto by_position = [](const MemberPixel& a, const MemberPixel& b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    };
    for (size_t k = 0; k < fast.size(); ++k) {
        std::sort(fast[k].begin(), fast[k].end(), by_position);
        std::sort(plain[k].begin(), plain[k].end(), by_position);
        ASSERT_EQ(fast[k].size(), plain[k].size()) << "cluster " << k;
        for (size_t i = 0; i < fast[k].size(); ++i)
            ASSERT_TRUE(fast[k][i].x == plain[k][i].x && fast[k][i].y == plain[k][i].y) << "cluster " << k;
    }
}

class MembersEqualPlain : public ::testing::TestWithParam<Family> {};

TEST_P(MembersEqualPlain, InEveryMethod) {
    cluster_inputs::Generator gen(1000 + static_cast<uint32_t>(GetParam()));
    for (int trial = 0; trial < 40; ++trial) {
        const Case c = gen.make(GetParam(), trial % 4 == 0 ? 600 : 120);
        ClusterMembers members;
        ClusterList fast, plain;

        RegionGrowWork grow;
        grow.members = &members;
        region_grow(grow, c.pixels, fast, c.max_distance, c.max_size, c.min_size);
        literal::Work lw;
        literal::region_grow(lw, c.pixels, plain, c.max_distance, c.max_size, c.min_size);
        ASSERT_TRUE(cluster_inputs::same_clusters(fast, plain)) << "listing changed region grow's result";
        expect_same_members(as_lists(members), plain_region_grow(c));

        MergeWork merge;
        merge.members = &members;
        hierarchical_merge(merge, c.pixels, fast, c.max_distance, c.min_size);
        literal::hierarchical_merge(lw, c.pixels, plain, c.max_distance, c.min_size);
        ASSERT_TRUE(cluster_inputs::same_clusters(fast, plain)) << "listing changed the merge's result";
        expect_same_members(as_lists(members), plain_merge(c));

        KMeansSums sums;
        sums.members = &members;
        ClusterList centres;
        for (int32_t k = 0; k < 1 + trial % 5; ++k)
            centres.push_back(Cluster{gen.uniform(0, 300), gen.uniform(0, 300), 255});
        ClusterList reference = centres;
        const int32_t iterations = trial % 7;
        kmeans(sums, c.pixels, centres, iterations);
        const Members lists = plain_kmeans(c.pixels, reference, iterations);
        ASSERT_TRUE(cluster_inputs::same_clusters(centres, reference));
        expect_same_members(as_lists(members), lists);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, MembersEqualPlain,
                         ::testing::Values(Family::kScatter, Family::kLattice, Family::kBlobs,
                                           Family::kDuplicates, Family::kRing, Family::kStrip));

// --- what is measured ---------------------------------------------------------------

TEST(ComputeClusterStats, MeasuresCountGreyBoxAndWeightedCentre) {
    Frame raw(kFrameBytes, 0);
    const auto set = [&](int32_t x, int32_t y, uint8_t g) { raw[static_cast<size_t>(y) * kFrameWidth + x] = g; };
    set(10, 20, 100);
    set(11, 20, 200);
    set(12, 22, 100);
    set(479, 359, 90);
    ClusterMembers m;
    m.first = {0, 3, 3, 5};  // three pixels; none (a k-means centre that attracted nothing); two
    m.pixels = {{10, 20}, {11, 20}, {12, 22}, {479, 359}, {480, 359}};

    ClusterStatsList s;
    compute_cluster_stats(m, raw, 51, s);  // each member weighs its grey - 50
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].pixel_count, 3);
    EXPECT_DOUBLE_EQ(s[0].mean_grey, 400.0 / 3);
    EXPECT_EQ(s[0].x_min, 10);
    EXPECT_EQ(s[0].x_max, 12);
    EXPECT_EQ(s[0].y_min, 20);
    EXPECT_EQ(s[0].y_max, 22);
    EXPECT_DOUBLE_EQ(s[0].centre_x, (10 * 50 + 11 * 150 + 12 * 50) / 250.0);
    EXPECT_DOUBLE_EQ(s[0].centre_y, (20 * 50 + 20 * 150 + 22 * 50) / 250.0);

    EXPECT_EQ(s[1].pixel_count, 0);
    EXPECT_FALSE(s[1].has_centre());

    // A member beyond the frame's edge weighs nothing; it is never read.
    EXPECT_EQ(s[2].pixel_count, 2);
    EXPECT_DOUBLE_EQ(s[2].mean_grey, 45.0);
    EXPECT_DOUBLE_EQ(s[2].centre_x, 479.0);
    EXPECT_EQ(s[2].x_max, 480);
}

// Markers with anti-aliased edges at fractional positions, through the whole
// road of a cycle: threshold, pixel list, each method, statistics. The
// integer centres are truncated means and land up to a pixel off; the
// weighted centres land within a tenth of a pixel, as long as the threshold
// keeps the markers' edges (here just above the background).
TEST(SubPixelCentre, WithinATenthOfAPixelOfAntiAliasedMarkers) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    double worst_integer = 0.0, worst_weighted = 0.0;
    for (int scene = 0; scene < 6; ++scene) {
        std::vector<scene_frames::Marker> markers;
        for (int k = 0; k < 4; ++k)
            markers.push_back({60.0 + 100 * k + fraction(rng), 60.0 + 60 * k + fraction(rng),
                               3.0 + scene % 3, 160 + 20 * k});
        const Frame raw = scene_frames::draw(scene_frames::Background{20.0, 20.0, 2, 5u + scene}, markers);
        Frame thresholded;
        threshold_frame(raw, thresholded, 30);
        BrightPixelList pixels;
        list_bright_pixels(thresholded, pixels);

        for (int32_t method = 0; method < 3; ++method) {
            Options options = default_options();
            options.cluster_method = method;
            options.kmeans_iterations = 10;
            ClusterList clusters;
            for (const auto& m : markers)
                clusters.push_back(Cluster{static_cast<int32_t>(m.x) + 3, static_cast<int32_t>(m.y) - 2, 255});
            KMeansSums sums;
            RegionGrowWork grow;
            MergeWork merge;
            ClusterStatistics stats;
            stats.wanted_by_panel = true;
            prepare_member_listing(stats, sums, grow, merge);
            run_clustering(options, sums, grow, merge, pixels, clusters);
            finish_cluster_statistics(stats, method, clusters, raw, 30);
            ASSERT_TRUE(describes(stats, clusters));
            ASSERT_EQ(clusters.size(), markers.size()) << "method " << method;
            for (size_t k = 0; k < clusters.size(); ++k) {
                const auto& truth = *std::min_element(markers.begin(), markers.end(), [&](const auto& a, const auto& b) {
                    return std::hypot(a.x - clusters[k].x, a.y - clusters[k].y) <
                           std::hypot(b.x - clusters[k].x, b.y - clusters[k].y);
                });
                const ClusterStats& s = *statistics_of(stats, clusters, k);
                worst_integer = std::max({worst_integer, std::abs(clusters[k].x - truth.x),
                                          std::abs(clusters[k].y - truth.y)});
                worst_weighted = std::max({worst_weighted, std::abs(s.centre_x - truth.x),
                                           std::abs(s.centre_y - truth.y)});
            }
        }
    }
    EXPECT_LT(worst_weighted, 0.1);
    EXPECT_GT(worst_integer, 0.5) << "the markers should put the integer centres visibly off";
}

// --- when the statistics describe the list ---------------------------------------------------

TEST(ClusterStatisticsFlow, OnlyWantedRunsAreMeasuredAndOnlyTheirListIsDescribed) {
    const BrightPixelList pixels = cluster_inputs::camera_pixels(0.3f, 100);
    const Frame raw = scene_frames::camera_frame(0.3f);
    Options options = default_options();
    KMeansSums sums;
    RegionGrowWork grow;
    MergeWork merge;
    ClusterList clusters;
    ClusterStatistics stats;

    prepare_member_listing(stats, sums, grow, merge);
    EXPECT_EQ(grow.members, nullptr);
    run_clustering(options, sums, grow, merge, pixels, clusters);
    finish_cluster_statistics(stats, 0, clusters, raw, 100);
    EXPECT_FALSE(describes(stats, clusters));
    EXPECT_EQ(statistics_of(stats, clusters, 0), nullptr);

    stats.wanted_by_panel = true;
    prepare_member_listing(stats, sums, grow, merge);
    run_clustering(options, sums, grow, merge, pixels, clusters);
    finish_cluster_statistics(stats, 0, clusters, raw, 100);
    ASSERT_EQ(clusters.size(), 3u);
    ASSERT_TRUE(describes(stats, clusters));
    ASSERT_NE(statistics_of(stats, clusters, 2), nullptr);
    EXPECT_EQ(statistics_of(stats, clusters, 2)->pixel_count, 121);  // an 11 x 11 square
    EXPECT_EQ(statistics_of(stats, clusters, 3), nullptr);

    // Re-seeding changes the list: the statistics no longer describe it.
    kmeans_seed(clusters, 3);
    kmeans_seed(clusters, 4);
    EXPECT_FALSE(describes(stats, clusters));

    // No method ran: nothing is measured.
    finish_cluster_statistics(stats, 3, clusters, raw, 100);
    EXPECT_FALSE(stats.computed);
}

}  // namespace
