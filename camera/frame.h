#pragma once
// A grey camera image: 480 x 360 bytes, row-major, row 0 first.

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int kFrameWidth = 480;
inline constexpr int kFrameHeight = 360;
inline constexpr size_t kFrameBytes = size_t{kFrameWidth} * kFrameHeight;  // 172800

// A growable byte buffer whose length is its content length; a frame held in
// one has kFrameBytes bytes.
using Frame = std::vector<uint8_t>;
