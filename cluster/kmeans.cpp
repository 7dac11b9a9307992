#include "cluster/kmeans.h"

#include <algorithm>
#include <limits>

#include "cluster/worker_pool.h"
#include "platform/rand.h"

namespace {

// Below this many distance tests per round, handing parts to other threads
// costs more than it saves.
constexpr size_t kMinTestsPerPart = 32768;

int32_t seed_coordinate(int r) {
    return static_cast<int32_t>(static_cast<float>(r / 32767.0 * 300.0 + 0.0));
}

// Adds every pixel of [begin, end) to the sums of its nearest centre. The
// first centre with the smallest distance keeps the pixel.
void assign(const BrightPixel* begin, const BrightPixel* end, const Cluster* centres,
            size_t centre_count, KMeansSum* sums) {
    for (const BrightPixel* p = begin; p != end; ++p) {
        int32_t best = std::numeric_limits<int32_t>::max();
        size_t nearest = centre_count;
        for (size_t j = 0; j < centre_count; ++j) {
            const int32_t dx = centres[j].x - p->x;
            const int32_t dy = centres[j].y - p->y;
            const int32_t d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                nearest = j;
            }
        }
        if (nearest == centre_count) continue;
        KMeansSum& s = sums[nearest];
        s.x += int64_t{p->x} * p->value;
        s.y += int64_t{p->y} * p->value;
        s.value += p->value;
    }
}

// Every pixel to the nearest centre of `centres`, as a round assigns them, as
// lists per centre. No centres (no round ran): every list stays empty.
void list_members(ClusterMembers& m, const BrightPixelList& pixels, const ClusterList& centres,
                  size_t centre_count) {
    m.clear();
    m.first.assign(centre_count + 1, 0);
    if (centres.empty()) return;
    std::vector<uint32_t> owner(pixels.size());
    for (size_t p = 0; p < pixels.size(); ++p) {
        int32_t best = std::numeric_limits<int32_t>::max();
        size_t nearest = 0;
        for (size_t j = 0; j < centres.size(); ++j) {
            const int32_t dx = centres[j].x - pixels[p].x;
            const int32_t dy = centres[j].y - pixels[p].y;
            const int32_t d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                nearest = j;
            }
        }
        owner[p] = static_cast<uint32_t>(nearest);
        ++m.first[nearest + 1];  // counts first, turned into positions below
    }
    for (size_t j = 1; j <= centre_count; ++j) m.first[j] += m.first[j - 1];
    m.pixels.resize(pixels.size());
    std::vector<uint32_t> next(m.first.begin(), m.first.end() - 1);
    for (size_t p = 0; p < pixels.size(); ++p)
        m.pixels[next[owner[p]]++] = MemberPixel{pixels[p].x, pixels[p].y};
}

}  // namespace

KMeansSums::KMeansSums() = default;
KMeansSums::~KMeansSums() = default;

void KMeansSums::set_threads(int32_t threads) { threads_ = threads >= 1 && threads <= 8 ? threads : 1; }

WorkerPool* KMeansSums::pool_for(size_t pixel_count, size_t centre_count) {
    if (threads_ <= 1) return nullptr;
    const size_t tests = pixel_count * std::max<size_t>(centre_count, 1);
    if (tests < 2 * kMinTestsPerPart) return nullptr;
    if (!pool_ || pool_threads_ != threads_) {
        pool_.reset();
        pool_ = std::make_unique<WorkerPool>(threads_);
        pool_threads_ = threads_;
    }
    return pool_->parts() > 1 ? pool_.get() : nullptr;
}

bool kmeans_seed(ClusterList& clusters, int32_t kmeans_clusters) {
    const size_t wanted = static_cast<size_t>(std::clamp(kmeans_clusters, 0, kMaxKMeansClusters));
    if (clusters.size() == wanted) return false;
    clusters.resize(wanted, Cluster{0, 0, 0});
    for (Cluster& c : clusters) {
        const int32_t s1 = seed_coordinate(platform::rand());
        const int32_t s2 = seed_coordinate(platform::rand());
        c = Cluster{s2, s1, 255};
    }
    return true;
}

void kmeans(KMeansSums& work, const BrightPixelList& pixels, ClusterList& clusters,
            int32_t iterations) {
    PodList<KMeansSum>& sums = work.sums;
    const size_t k = clusters.size();
    if (sums.size() != k) sums.resize(k, KMeansSum{0, 0, 0});
    if (work.members != nullptr) work.last_round.clear();
    if (iterations <= 0 || k == 0) {
        if (work.members != nullptr) list_members(*work.members, pixels, work.last_round, k);
        return;
    }

    WorkerPool* pool = work.pool_for(pixels.size(), k);
    const int parts = pool ? pool->parts() : 1;
    if (pool) {
        work.partial_.resize(static_cast<size_t>(parts));
        for (PodList<KMeansSum>& p : work.partial_) p.resize(k);
    }

    for (int32_t round = 0; round < iterations; ++round) {
        if (work.members != nullptr) work.last_round.assign(clusters.begin(), clusters.end());
        std::fill(sums.begin(), sums.end(), KMeansSum{0, 0, 0});
        if (pool) {
            // Contiguous slices; integer sums are exact, so adding the parts
            // in any order gives the serial result.
            const size_t n = pixels.size();
            auto task = [&](int part) {
                KMeansSum* out = work.partial_[static_cast<size_t>(part)].data();
                std::fill(out, out + k, KMeansSum{0, 0, 0});
                const size_t begin = n * static_cast<size_t>(part) / static_cast<size_t>(parts);
                const size_t end = n * static_cast<size_t>(part + 1) / static_cast<size_t>(parts);
                assign(pixels.data() + begin, pixels.data() + end, clusters.data(), k, out);
            };
            pool->run(task);
            for (const PodList<KMeansSum>& p : work.partial_) {
                for (size_t j = 0; j < k; ++j) {
                    sums[j].x += p[j].x;
                    sums[j].y += p[j].y;
                    sums[j].value += p[j].value;
                }
            }
        } else {
            assign(pixels.data(), pixels.data() + pixels.size(), clusters.data(), k, sums.data());
        }

        bool moved = false;
        for (size_t j = 0; j < k; ++j) {
            const KMeansSum& s = sums[j];
            Cluster next{0, 0, 0};
            if (s.value > 0) {
                next = Cluster{static_cast<int32_t>(s.x / s.value), static_cast<int32_t>(s.y / s.value),
                               static_cast<int32_t>(s.value / s.value)};
            }
            Cluster& c = clusters[j];
            moved |= next.x != c.x || next.y != c.y || next.value != c.value;
            c = next;
        }
        // A round depends only on the centres it starts from: a round that
        // changed nothing would be repeated exactly by every later one.
        if (!moved) break;
    }
    if (work.members != nullptr) list_members(*work.members, pixels, work.last_round, k);
}
