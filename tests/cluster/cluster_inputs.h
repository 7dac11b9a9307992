#pragma once
// Pixel lists for the clustering tests: hand-made shapes whose results follow
// from their geometry, and seeded random families that stress the tie-breaks
// and the list order.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "camera/frame.h"
#include "camera/frame_ops.h"
#include "camera/videocam.h"
#include "cluster/records.h"
#include "platform/rand.h"

namespace cluster_inputs {

// Every pixel of the rectangle [x0, x0 + w) x [y0, y0 + h), in raster order.
inline void add_rect(BrightPixelList& out, int32_t x0, int32_t y0, int32_t w, int32_t h,
                     int32_t value = 255) {
    for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x) out.push_back(BrightPixel{x, y, value});
}

inline BrightPixelList rect(int32_t x0, int32_t y0, int32_t w, int32_t h, int32_t value = 255) {
    BrightPixelList out;
    add_rect(out, x0, y0, w, h, value);
    return out;
}

// Sorts into the order the thresholding step lists pixels in.
inline void raster_order(BrightPixelList& pixels) {
    std::stable_sort(pixels.begin(), pixels.end(), [](const BrightPixel& a, const BrightPixel& b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
}

// Same clusters, same order, same values.
inline bool same_clusters(const ClusterList& a, const ClusterList& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].x != b[k].x || a[k].y != b[k].y || a[k].value != b[k].value) return false;
    return true;
}

// One synthetic-camera frame grabbed at `phase` with the generator at its
// initial state, flipped when asked, then thresholded.
inline Frame camera_frame_thresholded(float phase, int32_t threshold, bool flipped = false) {
    platform::set_rand_state(1);
    Videocam_dummy cam(&phase);
    cam.start();
    Frame raw, out;
    cam.grab(raw);
    if (flipped) flip_frame(raw);
    threshold_frame(raw, out, threshold);
    return out;
}

inline BrightPixelList camera_pixels(float phase, int32_t threshold, bool flipped = false) {
    BrightPixelList pixels;
    list_bright_pixels(camera_frame_thresholded(phase, threshold, flipped), pixels);
    return pixels;
}

// The seed the k-means seeding makes from two draws: y from the first.
inline Cluster seed_from_draws(int r1, int r2) {
    return Cluster{static_cast<int32_t>(static_cast<float>(r2 / 32767.0 * 300.0)),
                   static_cast<int32_t>(static_cast<float>(r1 / 32767.0 * 300.0)), 255};
}

// Truncated mean position of a rectangle of equal pixels: sum / count per axis.
struct Mean {
    int32_t x, y;
};
inline Mean rect_mean(int32_t x0, int32_t y0, int32_t w, int32_t h) {
    int64_t sx = 0, sy = 0;
    for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x) sx += x, sy += y;
    const int64_t n = int64_t{w} * h;
    return Mean{static_cast<int32_t>(sx / n), static_cast<int32_t>(sy / n)};
}

// A generated input with the settings to run it with.
struct Case {
    BrightPixelList pixels;
    int32_t max_distance;
    int32_t max_size;
    int32_t min_size;
};

// The random families. Each favours a kind of fault:
//  kScatter  - points anywhere in the frame, any order (search over far cells)
//  kLattice  - points on a lattice of spacing 1 to 4, so many distances tie
//  kBlobs    - a few dense squares in raster order, as the camera makes them
//  kDuplicates - few distinct positions, many pixels on each
//  kRing     - points exactly at the maximum distance from a centre pixel
//  kStrip    - a thin full-width strip: centres near the frame's edges
enum class Family { kScatter, kLattice, kBlobs, kDuplicates, kRing, kStrip };

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    int32_t uniform(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng_); }

    Case make(Family family, int32_t max_pixels) {
        Case c{};
        c.max_distance = pick({0, 1, 2, 3, 5, 8, 13, 30, 80, 300, -4, 50000});
        c.max_size = pick({-3, 0, 1, 2, 3, 7, 50, 5000});
        c.min_size = pick({-1, 0, 1, 2, 5, 20});
        const int32_t n = uniform(0, max_pixels);
        switch (family) {
            case Family::kScatter: {
                for (int32_t k = 0; k < n; ++k)
                    c.pixels.push_back(BrightPixel{uniform(0, kFrameWidth - 1), uniform(0, kFrameHeight - 1),
                                                   uniform(1, 255)});
                if (uniform(0, 1)) raster_order(c.pixels);
                break;
            }
            case Family::kLattice: {
                const int32_t step = uniform(1, 4);
                const int32_t x0 = uniform(0, 40), y0 = uniform(0, 40);
                const int32_t cols = uniform(1, 24);
                for (int32_t k = 0; k < n; ++k) {
                    const int32_t x = x0 + (k % cols) * step, y = y0 + (k / cols) * step;
                    if (x < kFrameWidth && y < kFrameHeight) c.pixels.push_back(BrightPixel{x, y, 255});
                }
                if (uniform(0, 3) == 0) std::shuffle(c.pixels.begin(), c.pixels.end(), rng_);
                c.max_distance = step * uniform(0, 3);
                break;
            }
            case Family::kBlobs: {
                const int32_t blobs = uniform(1, 4);
                for (int32_t b = 0; b < blobs; ++b) {
                    const int32_t s = uniform(1, 14);
                    add_rect(c.pixels, uniform(0, kFrameWidth - s), uniform(0, kFrameHeight - s), s, s,
                             uniform(1, 255));
                }
                raster_order(c.pixels);
                c.pixels.erase(std::unique(c.pixels.begin(), c.pixels.end(),
                                           [](const BrightPixel& a, const BrightPixel& b) {
                                               return a.x == b.x && a.y == b.y;
                                           }),
                               c.pixels.end());
                break;
            }
            case Family::kDuplicates: {
                const int32_t spots = uniform(1, 6);
                std::vector<BrightPixel> at;
                for (int32_t s = 0; s < spots; ++s)
                    at.push_back(BrightPixel{uniform(0, 60), uniform(0, 60), uniform(1, 255)});
                for (int32_t k = 0; k < n; ++k) c.pixels.push_back(at[static_cast<size_t>(uniform(0, spots - 1))]);
                break;
            }
            case Family::kRing: {
                const int32_t cx = uniform(60, 400), cy = uniform(60, 300);
                const int32_t r = uniform(1, 50);
                c.max_distance = r;
                c.pixels.push_back(BrightPixel{cx, cy, 255});
                for (int32_t dy = -r; dy <= r; ++dy)
                    for (int32_t dx = -r; dx <= r; ++dx)
                        if (dx * dx + dy * dy == r * r && uniform(0, 2) > 0)
                            c.pixels.push_back(BrightPixel{cx + dx, cy + dy, 255});
                if (uniform(0, 1)) raster_order(c.pixels);
                break;
            }
            case Family::kStrip: {
                const int32_t h = uniform(1, 3);
                add_rect(c.pixels, 0, uniform(0, 1) ? 0 : kFrameHeight - h, kFrameWidth, h);
                c.pixels.resize(std::min<size_t>(c.pixels.size(), static_cast<size_t>(std::max(n, 1) * 3)));
                break;
            }
        }
        return c;
    }

private:
    int32_t pick(std::initializer_list<int32_t> values) {
        return *(values.begin() + uniform(0, static_cast<int32_t>(values.size()) - 1));
    }

    std::mt19937 rng_;
};

}  // namespace cluster_inputs
