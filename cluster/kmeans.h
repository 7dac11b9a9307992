#pragma once
// k-means clustering: a fixed number of centres, each moved to the
// value-weighted mean position of the bright pixels nearest to it, starting
// from where the centres stood at the end of the previous call.

#include <cstdint>
#include <memory>

#include "cluster/members.h"
#include "cluster/records.h"

class WorkerPool;

// Sums of one centre over the pixels assigned to it in one iteration. 64-bit:
// x times value reaches about 2e10 for a cluster spanning a whole frame, far
// beyond int32; within the int32 range the results are the same.
struct KMeansSum {
    int64_t x;      // sum of x * value
    int64_t y;      // sum of y * value
    int64_t value;  // sum of value
};

// The k-means work object: the sums list, kept for its storage, and the
// workers that may share the assignment of pixels to centres.
class KMeansSums {
public:
    KMeansSums();
    ~KMeansSums();
    KMeansSums(const KMeansSums&) = delete;
    KMeansSums& operator=(const KMeansSums&) = delete;

    // Number of threads the assignment may use (the `kmeans_threads` setting);
    // a value outside 1 to 8 means 1. The result never depends on it.
    void set_threads(int32_t threads);
    int32_t threads() const { return threads_; }

    PodList<KMeansSum> sums;  // one per centre during an iteration
    // When set, a run also lists there, for every centre, the pixels nearest
    // to it in the last round that ran.
    ClusterMembers* members = nullptr;
    ClusterList last_round;  // while listing: the centres the last round started from

private:
    friend void kmeans(KMeansSums&, const BrightPixelList&, ClusterList&, int32_t);
    WorkerPool* pool_for(size_t pixel_count, size_t centre_count);

    int32_t threads_ = 1;
    std::unique_ptr<WorkerPool> pool_;         // made on first use with more than one thread
    int32_t pool_threads_ = 0;                 // the thread count pool_ was made for
    std::vector<PodList<KMeansSum>> partial_;  // per worker part: its own sums
};

// Upper bound on the number of centres: one per pixel of a frame. More centres
// than pixels can never all attract one, and the bound keeps a damaged options
// value from allocating without limit.
inline constexpr int32_t kMaxKMeansClusters = 480 * 360;

// The seeding rule, run every cycle: when the list's length differs from
// `kmeans_clusters` (negative counts as 0, more than kMaxKMeansClusters as
// that bound), the list is resized and every entry, from index 0 up, gets a
// random seed: two draws of the shared generator, y from the first and x from
// the second, each r / 32767 * 300 as float truncated, and value 255.
// True when it seeded the list anew.
bool kmeans_seed(ClusterList& clusters, int32_t kmeans_clusters);

// `iterations` rounds of: assign every pixel to its nearest centre (lower
// index wins a tie), then move each centre to the truncated value-weighted
// mean of its pixels with value 1, or to 0, 0, 0 when it attracted none.
// Zero or negative iterations change nothing; the list never changes length.
// Once a round leaves every centre as it was, later rounds would too, so the
// remaining rounds are skipped.
void kmeans(KMeansSums& sums, const BrightPixelList& pixels, ClusterList& clusters,
            int32_t iterations);
