#include "camera/histogram.h"

#include <cmath>

void grey_histogram(const Frame& frame, GreyHistogram& histogram) {
    // Four partial histograms: runs of equal bytes (flat backgrounds) would
    // otherwise make every increment wait for the one before.
    std::array<GreyHistogram, 4> part{};
    const uint8_t* p = frame.data();
    const size_t n = frame.size();
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++part[0][p[i]];
        ++part[1][p[i + 1]];
        ++part[2][p[i + 2]];
        ++part[3][p[i + 3]];
    }
    for (; i < n; ++i) ++part[0][p[i]];
    for (size_t v = 0; v < 256; ++v) histogram[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
}

double log_bar_height(uint32_t count, uint32_t total) {
    if (count == 0 || total == 0) return 0.0;
    const double h = std::log1p(static_cast<double>(count)) / std::log1p(static_cast<double>(total));
    return h > 1.0 ? 1.0 : h;
}
