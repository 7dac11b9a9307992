#pragma once
// The operator's aids for real scenes: "auto" (the markers' threshold and
// distance) and "keep auto" on the Clustering page, the table of cluster
// statistics below its inner tabs with the pixel counts in the preview, the
// grey-level histogram on the Camera page, "place nodes" on the Model page,
// and the warnings in the preview and on the status line. Their choices
// persist as "scene." keys of the extra settings.

#include "cluster/auto_threshold.h"
#include "cluster/cluster_stats.h"
#include "gui/control_panel.h"

// Adds the widgets to the pages of the panel under construction.
void build_scene_aids(ControlPanel& panel);

// Connects the widgets with the main loop's statistics and starts their
// refresh (and "keep auto", when it was left on).
void attach_scene_aids(ControlPanel& panel, ClusterStatistics& statistics);

// Stops the refresh and "keep auto" (before the panel's widgets go).
void detach_scene_aids(ControlPanel& panel);

// The kept choices ("keep auto", the pixel counts) onto the widgets, when a
// session brought other ones.
void show_kept_scene_choices(ControlPanel& panel);

// One refresh: the statistics are wanted while the table shows or the counts
// are drawn; the table and the histogram show the current cycle's.
void refresh_scene_aids(ControlPanel& panel);

// Once per cycle: the cluster table follows the clusters as soon as they
// change, and the preview and the status line say what may make the numbers
// wrong (the main loop's warnings), when that changes.
void scene_aids_after_cycle(ControlPanel& panel);

// Finds the markers of the current camera frame with the selected method, and
// sets the threshold and the method's distance as their sliders would.
AutoThreshold apply_auto_threshold(ControlPanel& panel);

// The table's lines for the statistics of `clusters` (the first is the header).
std::vector<std::string> cluster_table_lines(const ClusterStatistics* statistics, const ClusterList& clusters,
                                             int32_t threshold);
