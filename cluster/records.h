#pragma once
// The records that carry the image analysis from thresholding to tracking.
// All fields are int32 camera-pixel coordinates and values; every division on
// them truncates toward zero. Lists are ordered: tie-breaks and output order
// follow list order.

#include <cstdint>
#include <memory>
#include <vector>

// One pixel of the thresholded frame whose grey value is not 0.
struct BrightPixel {
    int32_t x;      // column, 0 to 479
    int32_t y;      // row of the frame buffer, 0 to 359
    int32_t value;  // grey value in the thresholded frame, 1 to 255
};

// One entry of the cluster list: a clustering result and a tracking target.
// value: mean pixel value (region grow, merge); 1 or 0 for a k-means centre that
// did or did not attract pixels; 255 for a freshly seeded k-means centre.
struct Cluster {
    int32_t x;
    int32_t y;
    int32_t value;
};

// Working record of region grow and hierarchical merge. After every change of
// the sums and the count, x, y and value are recomputed at once as sum / count.
struct ClusterAccumulator {
    int32_t sum_x;
    int32_t sum_y;
    int32_t sum_value;
    int32_t count;
    int32_t x;
    int32_t y;
    int32_t value;
};

// An allocator whose resize() leaves new elements uninitialised, so a list can
// be grown to its worst case, filled branch-free and cut to length without a
// pass that zeroes memory about to be overwritten. Value-initialisation
// (resize(n, T{}), push_back) still works as usual.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <class T>
using PodList = std::vector<T, DefaultInitAllocator<T>>;

using BrightPixelList = PodList<BrightPixel>;
using ClusterList = PodList<Cluster>;
using AccumulatorList = PodList<ClusterAccumulator>;
