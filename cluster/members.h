#pragma once
// Which bright pixels make up each cluster of one clustering run. A method
// fills this only when its work object points at one, so a run that nobody
// asks about pays nothing for it.
//
// Membership follows each method's own rules: region grow and hierarchical
// merge list the pixels each kept cluster absorbed (the pixels of clusters
// dropped for being too small belong to no cluster); k-means lists, for every
// centre, the pixels that were nearest to it in the last round it ran (the
// round whose mean is the centre), lower index first on a tie, so a centre
// that attracted nothing lists none.

#include <cstdint>
#include <vector>

#include "cluster/records.h"

struct MemberPixel {
    int32_t x;
    int32_t y;
};

struct ClusterMembers {
    // Cluster k owns pixels[first[k]] up to pixels[first[k + 1]]; first has
    // one entry more than the cluster list of the run (or none after a run
    // that listed nothing).
    std::vector<uint32_t> first;
    PodList<MemberPixel> pixels;

    size_t cluster_count() const { return first.empty() ? 0 : first.size() - 1; }
    size_t size_of(size_t k) const { return first[k + 1] - first[k]; }
    const MemberPixel* begin_of(size_t k) const { return pixels.data() + first[k]; }
    const MemberPixel* end_of(size_t k) const { return pixels.data() + first[k + 1]; }

    void clear() {
        first.clear();
        pixels.clear();
    }
};
