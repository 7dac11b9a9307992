#pragma once
// The grey-level histogram of a frame: how many pixels have each grey value.

#include <array>
#include <cstdint>

#include "camera/frame.h"

using GreyHistogram = std::array<uint32_t, 256>;

// Counts the bytes of `frame` by value, in one pass.
void grey_histogram(const Frame& frame, GreyHistogram& histogram);

// Height of a bar on a logarithmic scale, 0 to 1: log(1 + count) over
// log(1 + total), so one pixel already shows and a frame of one grey value
// fills the scale. 0 for an empty bar or total.
double log_bar_height(uint32_t count, uint32_t total);
