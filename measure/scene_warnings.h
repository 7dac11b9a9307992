#pragma once
// Warnings where a frame's numbers would be wrong, from the frame's analysis:
// - the clusters do not number the nodes (a marker missing, merged or split,
//   or something else bright in view);
// - one cluster holds more than three times the median cluster's pixels
//   (markers merged into one cluster, whose centre lies between them);
// - a node that was on a marker has held no marker for more than a second.
// The same watch serves the window (preview and status line) and the batch
// run (each warning printed once, and a count per node at the end).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cluster/cluster_stats.h"
#include "cluster/records.h"
#include "model/node_model.h"

// A node lost this long (since it was last tracked) while held is warned of.
inline constexpr double kHeldWarningMs = 1000.0;
// A cluster this many times the median pixel count is warned of.
inline constexpr int32_t kMergedFactor = 3;

struct SceneWarnings {
    int32_t clusters = 0;
    int32_t nodes = 0;
    // The largest cluster, when it holds more than kMergedFactor times the
    // median (the lower median) of the pixel counts; -1 otherwise or when the
    // clusters were not measured.
    int32_t merged_cluster = -1;
    int32_t merged_pixels = 0;
    int32_t median_pixels = 0;
    std::vector<int32_t> held_nodes;  // nodes held for more than kHeldWarningMs, in order

    bool counts_differ() const { return clusters != nodes; }
    bool any() const { return counts_differ() || merged_cluster >= 0 || !held_nodes.empty(); }
};

// The warnings as lines for the operator, e.g. "3 clusters for 4 nodes".
std::vector<std::string> warning_lines(const SceneWarnings& warnings);
// The lines joined by "; "; empty without warnings.
std::string warning_text(const SceneWarnings& warnings);

// What tracking did with each node over a run.
struct NodeTally {
    int64_t tracked = 0;
    int64_t held = 0;
    int64_t predicted = 0;
};

class SceneWatch {
public:
    // After a frame's tracking, at `time_ms` (frame time, increasing):
    // `stats` measured `clusters` or is null; `states` one per node.
    const SceneWarnings& observe(double time_ms, const ClusterList& clusters, const ClusterStatistics* stats,
                                 std::span<const NodeState> states);
    const SceneWarnings& current() const { return current_; }
    const std::vector<NodeTally>& tallies() const { return tallies_; }
    // Forgets every node's history and the tallies.
    void reset();

private:
    SceneWarnings current_;
    std::vector<NodeTally> tallies_;
    // Per node: when it was last tracked; NaN before it ever was.
    std::vector<double> last_tracked_ms_;
    std::vector<int32_t> counts_;  // scratch for the median
};

// The end of a batch run: one line per node, "node 0: 301 tracked, 0 held, 0 predicted".
std::vector<std::string> tally_lines(const std::vector<NodeTally>& tallies);

// A batch run's warnings, each said once: the first frame at which each kind
// (and, for held nodes, each node) is seen.
class WarningsOnce {
public:
    // The lines not said before, each prefixed by the frame and its time.
    std::vector<std::string> new_lines(int64_t frame, double time_ms, const SceneWarnings& warnings);

private:
    bool counts_said_ = false;
    bool merged_said_ = false;
    std::vector<int32_t> held_said_;
};
