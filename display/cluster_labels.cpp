#include "display/cluster_labels.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

void draw_cluster_counts(glFont& font, const ClusterList& clusters, const ClusterStatsList& stats,
                         int32_t line_width) {
    if (clusters.size() != stats.size() || clusters.empty()) return;
    const int32_t gap = std::clamp(line_width, 1, 10) + 5 + 2;
    begin_text(font);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    char text[16];
    for (size_t k = 0; k < clusters.size(); ++k) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(stats[k].pixel_count));
        font.print(clusters[k].x + gap, clusters[k].y + 2, text);
    }
    end_text(font);
}
