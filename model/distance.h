#pragma once
// Squared distances between camera positions without integer overflow.
//
// Positions on the camera image are a few hundred pixels apart, but a model
// file may put a node anywhere in the int32 range, where a 32-bit square
// overflows. Each difference is clamped to 2^30 before it is squared: three
// such squares still fit an int64, and every position farther apart than
// that compares as far as it needs to.

#include <algorithm>
#include <cstdint>

namespace model_geometry {

inline constexpr int64_t kMaxDifference = int64_t{1} << 30;

inline int64_t clamped_square(int64_t a, int64_t b) {
    const int64_t d = std::clamp(a - b, -kMaxDifference, kMaxDifference);
    return d * d;
}

inline int64_t squared_distance(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
    return clamped_square(ax, bx) + clamped_square(ay, by);
}

}  // namespace model_geometry
