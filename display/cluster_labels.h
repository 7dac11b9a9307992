#pragma once
// Each cluster's pixel count printed beside its cross in the preview, with
// the texture font.

#include <cstdint>

#include "cluster/cluster_stats.h"
#include "cluster/records.h"
#include "display/gl_font.h"

// Prints, in yellow, stats[k].pixel_count just right of and above the cross of
// clusters[k] (arms of line_width + 5, the line width taken within 1 to 10).
// Call it in 2D mode; the font's text state is entered and left here.
// Prints nothing unless there is one entry of statistics per cluster.
void draw_cluster_counts(glFont& font, const ClusterList& clusters, const ClusterStatsList& stats,
                         int32_t line_width);
