#pragma once
// Automatic threshold: for one raw frame and the selected clustering method,
// the middle of the widest range of thresholds at which the method gives
// exactly the wanted number of clusters.
//
// How the clusters are counted for every threshold:
// - k-means always keeps its number of centres, whatever the threshold, so
//   what decides whether its centres can settle one per marker is whether
//   the bright pixels fall apart into that many separate groups. It counts
//   the 8-connected groups of pixels at or above each threshold, for all
//   thresholds in one pass: pixels are added from the brightest grey value
//   down and joined to their bright neighbours (union-find), so no clustering
//   runs at all.
// - Region grow and hierarchical merge give a count that depends on their
//   distances, sizes and the order of the pixel list, which no pass short of
//   the method itself reproduces. They are run for real, with the current
//   settings, on the bright-pixel list of each threshold, so every count is
//   the method's own. Two bounds keep that cheap: a threshold is run only
//   when it changes the pixel list (a grey value no pixel has adds nothing),
//   and thresholds are visited from the brightest down, stopping as soon as
//   the thresholds left could not hold a range wider than the best found.
// - For all methods, thresholds at which more than an eighth of the frame is
//   bright are not candidates: no marker scene is that bright, and for the
//   two methods run per threshold they would cost the most.
//
// Where no threshold gives the wanted number, the nearest count above it is
// taken; where every count is below it, the largest count there is.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/options.h"
#include "camera/frame.h"
#include "camera/histogram.h"
#include "cluster/merge.h"
#include "cluster/records.h"
#include "cluster/region_grow.h"

enum class AutoThresholdOutcome {
    exact,      // the range gives the wanted number of clusters
    more,       // none does; the range gives the nearest count above it
    fewer,      // no threshold gives as many; the range gives the largest count
    nothing,    // no threshold gives any cluster
    no_method,  // the selected method is none of the three
    no_frame,   // the frame is not a whole camera frame
};

struct AutoThreshold {
    AutoThresholdOutcome outcome = AutoThresholdOutcome::nothing;
    int32_t threshold = 0;  // the choice: the middle of [low, high], rounded down
    int32_t clusters = 0;   // what the method gives there
    int32_t low = 0;        // the range of thresholds chosen from, inclusive
    int32_t high = 0;

    bool chosen() const {
        return outcome == AutoThresholdOutcome::exact || outcome == AutoThresholdOutcome::more ||
               outcome == AutoThresholdOutcome::fewer;
    }
};

// Thresholds that make more pixels than this bright are not candidates.
inline constexpr uint32_t kAutoThresholdMaxBright = kFrameBytes / 8;

// Storage kept from one choice to the next, and what the last choice saw.
struct AutoThresholdWork {
    AutoThresholdWork();

    GreyHistogram histogram{};
    // Clusters per threshold 0 to 255 (index 256: above every grey value,
    // always 0); -1 where the last choice did not evaluate it.
    std::array<int32_t, 257> counts{};
    int32_t lowest = 256;  // lowest threshold the last choice evaluated
    int32_t runs = 0;      // clustering runs the last choice made

    // Scratch.
    std::vector<uint32_t> by_grey;     // pixel indices, brightest grey first, raster order within a grey
    std::vector<int32_t> parent;       // union-find over the frame; -1 where not added
    std::vector<int32_t> group_size;
    BrightPixelList list, merged;      // the bright-pixel list of the threshold at hand
    ClusterList clusters;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
};

// The choice for `raw` with the method and its settings in `options`, for
// `wanted` clusters (1 or more).
AutoThreshold choose_threshold(AutoThresholdWork& work, const Frame& raw, const Options& options,
                               int32_t wanted);

// The operator's message about a choice that is not exact, or an empty text
// for an exact one. `kept` is the threshold left in place when nothing was
// chosen.
std::string auto_threshold_message(const AutoThreshold& result, int32_t wanted, int32_t kept);
