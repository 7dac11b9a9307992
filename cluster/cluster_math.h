#pragma once
// Small arithmetic shared by the clustering methods: the squared reach of a
// maximum distance, the accumulator update, and integer square roots for
// conservative distance bounds.

#include <cmath>
#include <cstdint>
#include <limits>

#include "cluster/records.h"

namespace cluster_math {

// The squared maximum distance a method compares squared distances with. The
// square is formed in 64 bits and capped at the int32 maximum: a distance
// beyond 46340 would wrap in 32 bits, and no two points of a frame are farther
// apart than the cap, so "everything in reach" is what such a value means.
// A negative distance reaches as far as its magnitude, since only its square
// takes part.
inline int32_t reach_squared(int32_t max_distance) {
    const int64_t r2 = int64_t{max_distance} * max_distance;
    return r2 > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                    : static_cast<int32_t>(r2);
}

inline int32_t squared_distance(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
    const int32_t dx = ax - bx;
    const int32_t dy = ay - by;
    return dx * dx + dy * dy;
}

// Sums and count grow, then the centre and mean follow at once.
inline void add_to(ClusterAccumulator& r, int32_t sum_x, int32_t sum_y, int32_t sum_value,
                   int32_t count) {
    r.sum_x += sum_x;
    r.sum_y += sum_y;
    r.sum_value += sum_value;
    r.count += count;
    r.x = r.sum_x / r.count;
    r.y = r.sum_y / r.count;
    r.value = r.sum_value / r.count;
}

inline void add_pixel(ClusterAccumulator& r, const BrightPixel& p) { add_to(r, p.x, p.y, p.value, 1); }

inline void add_cluster(ClusterAccumulator& r, const ClusterAccumulator& other) {
    add_to(r, other.sum_x, other.sum_y, other.sum_value, other.count);
}

// floor(sqrt(v)) and ceil(sqrt(v)) for v >= 0, exact for every int64 a
// distance bound can take (the double estimate is corrected by one step).
inline int64_t isqrt_floor(int64_t v) {
    if (v <= 0) return 0;
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) --r;
    while ((r + 1) * (r + 1) <= v) ++r;
    return r;
}

inline int64_t isqrt_ceil(int64_t v) {
    const int64_t r = isqrt_floor(v);
    return r * r < v ? r + 1 : r;
}

}  // namespace cluster_math
