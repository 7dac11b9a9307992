#pragma once
// Automatic set-up for one raw frame: the threshold at which the markers
// stand out, and the distance at which the selected method makes one cluster
// of each of them.
//
// The threshold is the middle of the widest range of thresholds over which
// the markers stay the same: as many of them, and every centre within half a
// pixel of where it was at the top of the range. A marker is an 8-connected
// group of pixels at or above the threshold with at least the method's
// minimum cluster size (k-means keeps every group). Thresholds that leave
// more than an eighth of the frame bright are not candidates: no marker scene
// is that bright. The count of markers is not asked for: a threshold that
// merges two markers into one changes a centre, and one that breaks a marker
// up changes the count, so neither lasts over a wide range.
//
// All thresholds are seen in one pass: pixels are added from the brightest
// grey value down and joined to their bright neighbours (union-find), each
// group keeping its sums, so no clustering runs at all for the choice.
//
// The distance ("max distance" of region grow or hierarchical merge) must
// reach across the largest marker, so that the method takes it whole from
// wherever it starts, and stay below the smallest gap between two markers,
// so that no cluster reaches into a neighbour. Where both hold, the middle of
// the two (at most twice the reach) leaves room for markers that move and
// blur. Where they cannot both hold (markers nearly touching), the method is
// run over the markers' pixels at the distances up to twice the reach, and
// the middle of the widest range that gives one cluster per marker is taken;
// where there is none, the distance covers the largest marker.

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
    found,     // a range with at least one marker
    nothing,   // no candidate threshold leaves any marker
    no_frame,  // the frame is not a whole camera frame
};

struct AutoThreshold {
    AutoThresholdOutcome outcome = AutoThresholdOutcome::nothing;
    int32_t threshold = 0;  // the choice: the middle of [low, high], rounded down
    int32_t markers = 0;    // how many markers the range holds
    int32_t low = 0;        // the range, inclusive
    int32_t high = 0;
    // For region grow and hierarchical merge: the distance chosen, and what
    // it was chosen from (pixels, rounded up): the reach across the largest
    // marker and the smallest gap between two (0 with fewer than two
    // markers). 0 for k-means, which has no distance.
    int32_t max_distance = 0;
    int32_t reach = 0;
    int32_t gap = 0;

    bool found() const { return outcome == AutoThresholdOutcome::found; }
};

// Thresholds that make more pixels than this bright are not candidates.
inline constexpr uint32_t kAutoThresholdMaxBright = kFrameBytes / 8;

// One marker at the chosen threshold.
struct AutoMarker {
    double x = 0.0, y = 0.0;  // the mean position of its pixels
    double radius = 0.0;      // the farthest pixel from there
    int32_t pixels = 0;
};

// Storage kept from one choice to the next, and what the last choice saw.
struct AutoThresholdWork {
    AutoThresholdWork();

    GreyHistogram histogram{};
    // Markers per threshold 0 to 255 (index 256: above every grey value,
    // always 0); -1 below the lowest candidate.
    std::array<int32_t, 257> counts{};
    int32_t lowest = 256;  // lowest candidate threshold of the last choice
    std::vector<AutoMarker> markers;  // at the chosen threshold
    int32_t method_runs = 0;          // clustering runs the distance took

    // Scratch, one entry per frame pixel where indexed by pixel.
    std::vector<uint32_t> by_grey;  // candidate pixels, brightest grey first, raster order within a grey
    std::vector<int32_t> parent;    // union-find; -1 where not added
    std::vector<int32_t> count;     // of a group's root: its pixels
    std::vector<int32_t> sum_x, sum_y;
    std::vector<int32_t> epoch;     // of a root: the range it was last compared in
    std::vector<uint8_t> anchored;  // of a root: holds a marker of the range's top
    std::vector<double> anchor_x, anchor_y;  // that marker's centre there
    std::vector<int32_t> seen;      // of a root: the threshold that last checked it
    std::vector<int32_t> marker_of; // of a root: its index in `markers`, or -1
    BrightPixelList pixels;         // the chosen threshold's bright-pixel list
    ClusterList clusters;
    RegionGrowWork region_grow_work;
    MergeWork merge_work;
};

// The choice for `raw` with the method and its settings in `options`.
AutoThreshold choose_threshold(AutoThresholdWork& work, const Frame& raw, const Options& options);

// The choice into the options: the threshold, and the selected method's
// distance where it has one.
void apply_choice(const AutoThreshold& choice, Options& options);

// What the operator is told: "threshold 122, max distance 14: 4 markers"
// ("threshold 122: 4 markers" for k-means), or why nothing was chosen.
std::string auto_threshold_text(const AutoThreshold& choice);
