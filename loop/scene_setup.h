#pragma once
// The set-up a batch run makes on its first frame, as the operator makes it in
// the window with "auto" and "place nodes": the markers found and the
// threshold and distance set for them, then the chain laid onto the clusters.

#include "base/options.h"
#include "camera/frame.h"
#include "cluster/auto_threshold.h"
#include "cluster/cluster_stats.h"
#include "cluster/records.h"
#include "model/node_model.h"
#include "model/place_nodes.h"

struct SceneSetup {
    bool find_markers = false;  // "auto": threshold and distance from the frame
    bool place_nodes = false;   // the chain onto the frame's clusters
};

struct SceneSetupReport {
    AutoThreshold choice;  // when the markers were looked for
    PlaceResult placed;    // when the nodes were to be placed
};

// The clusters of `frame` as the window shows them after a few cycles on a
// frame that stands still: one run for region grow and merge; for k-means,
// whose centres start at random places and move a few iterations a frame,
// runs until they stop moving (at most kSettleRuns).
inline constexpr int kSettleRuns = 50;
void settle_clusters(const Options& options, const Frame& frame, ClusterList& clusters,
                     ClusterStatistics& statistics);

// On `frame` (flipped as the run flips it): what `setup` asks, into `options`
// and `model`. The clusters the nodes go onto are those of the frame with the
// options as they stand after the choice.
SceneSetupReport set_up_scene(const SceneSetup& setup, const Frame& frame, Options& options, NodeModel& model);
