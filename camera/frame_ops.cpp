#include "camera/frame_ops.h"

#include <algorithm>
#include <cstring>

void flip_frame(Frame& frame) {
    // Swaps the rows pairwise from the outside in. The byte loop over restrict
    // pointers vectorises into whole-register swaps, with no scratch row.
    const size_t rows = frame.size() / kFrameWidth;
    for (size_t i = 0; i < rows / 2; ++i) {
        uint8_t* __restrict top = frame.data() + i * kFrameWidth;
        uint8_t* __restrict bottom = frame.data() + (rows - 1 - i) * kFrameWidth;
        for (size_t k = 0; k < kFrameWidth; ++k) {
            const uint8_t t = top[k];
            top[k] = bottom[k];
            bottom[k] = t;
        }
    }
}

namespace {

// A uint8_t level and restrict pointers let the compiler turn this into a
// 32-byte compare per step. The thread sanitizer instruments the clone
// resolver, which runs during relocation before the sanitizer is set up and
// crashes every program at start: that build keeps one plain version.
#if defined(__SANITIZE_THREAD__)
#define VELMORA_THRESHOLD_CLONES
#else
#define VELMORA_THRESHOLD_CLONES __attribute__((target_clones("avx2", "default")))
#endif
VELMORA_THRESHOLD_CLONES void threshold_bytes(
    const uint8_t* __restrict src, uint8_t* __restrict dst, size_t n, uint8_t level) {
    for (size_t i = 0; i < n; ++i) dst[i] = src[i] < level ? 0 : 255;
}

}  // namespace

void threshold_frame(const Frame& src, Frame& dst, int32_t t) {
    if (dst.size() != src.size()) dst.resize(src.size());
    threshold_bytes(src.data(), dst.data(), src.size(), static_cast<uint8_t>(t & 0xFF));
}

void copy_frame(const Frame& src, Frame& dst) {
    if (dst.size() != src.size()) dst.resize(src.size());
    if (!src.empty()) std::memcpy(dst.data(), src.data(), src.size());
}

void list_bright_pixels(const Frame& frame, BrightPixelList& pixels) {
    // Grow to the worst case without initialising, write every pixel's record
    // and advance only past the bright ones, then cut to length.
    const size_t n = frame.size();
    pixels.resize(n);
    BrightPixel* out = pixels.data();
    size_t count = 0;
    const uint8_t* src = frame.data();
    for (size_t row_start = 0, y = 0; row_start < n; row_start += kFrameWidth, ++y) {
        const size_t row_end = std::min(n, row_start + kFrameWidth);
        // Skip empty stretches of 16 bytes at once: a sparse frame is mostly zeros.
        size_t i = row_start;
        while (i < row_end) {
            if (i + 16 <= row_end) {
                uint64_t a, b;
                std::memcpy(&a, src + i, 8);
                std::memcpy(&b, src + i + 8, 8);
                if ((a | b) == 0) {
                    i += 16;
                    continue;
                }
            }
            const size_t stop = std::min(row_end, i + 16);
            for (; i < stop; ++i) {
                const uint8_t v = src[i];
                out[count] = BrightPixel{static_cast<int32_t>(i - row_start), static_cast<int32_t>(y), v};
                count += v > 0;
            }
        }
    }
    pixels.resize(count);
}
