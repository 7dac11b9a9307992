#include "measure/scene_warnings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

std::string plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string node_list(const std::vector<int32_t>& nodes) {
    std::string text = nodes.size() == 1 ? "node " : "nodes ";
    for (size_t k = 0; k < nodes.size(); ++k) {
        if (k > 0) text += k + 1 == nodes.size() ? " and " : ", ";
        text += std::to_string(nodes[k]);
    }
    return text;
}

std::string held_line(const std::vector<int32_t>& nodes) {
    return node_list(nodes) + (nodes.size() == 1 ? " has" : " have") + " held no marker for over a second";
}

}  // namespace

std::vector<std::string> warning_lines(const SceneWarnings& w) {
    std::vector<std::string> lines;
    if (w.counts_differ())
        lines.push_back(plural(w.clusters, "cluster", "clusters") + " for " + plural(w.nodes, "node", "nodes"));
    if (w.merged_cluster >= 0)
        lines.push_back("cluster " + std::to_string(w.merged_cluster) + " has " + std::to_string(w.merged_pixels) +
                        " pixels, over three times the median " + std::to_string(w.median_pixels) +
                        ": markers merged?");
    if (!w.held_nodes.empty()) lines.push_back(held_line(w.held_nodes));
    return lines;
}

std::string warning_text(const SceneWarnings& w) {
    std::string text;
    for (const std::string& line : warning_lines(w)) text += (text.empty() ? "" : "; ") + line;
    return text;
}

const SceneWarnings& SceneWatch::observe(double time_ms, const ClusterList& clusters,
                                         const ClusterStatistics* stats, std::span<const NodeState> states) {
    SceneWarnings& w = current_;
    w.clusters = static_cast<int32_t>(clusters.size());
    w.nodes = static_cast<int32_t>(states.size());

    w.merged_cluster = -1;
    w.merged_pixels = w.median_pixels = 0;
    if (stats != nullptr && describes(*stats, clusters) && clusters.size() >= 2) {
        counts_.clear();
        for (const ClusterStats& c : stats->clusters)
            if (c.pixel_count > 0) counts_.push_back(c.pixel_count);
        if (counts_.size() >= 2) {
            const auto middle = counts_.begin() + static_cast<std::ptrdiff_t>((counts_.size() - 1) / 2);
            std::nth_element(counts_.begin(), middle, counts_.end());
            const int32_t median = *middle;
            size_t largest = 0;
            for (size_t k = 1; k < stats->clusters.size(); ++k)
                if (stats->clusters[k].pixel_count > stats->clusters[largest].pixel_count) largest = k;
            const int32_t pixels = stats->clusters[largest].pixel_count;
            if (int64_t{pixels} > int64_t{kMergedFactor} * median) {
                w.merged_cluster = static_cast<int32_t>(largest);
                w.merged_pixels = pixels;
                w.median_pixels = median;
            }
        }
    }

    if (tallies_.size() != states.size()) {
        tallies_.resize(states.size());
        last_tracked_ms_.assign(states.size(), std::numeric_limits<double>::quiet_NaN());
    }
    w.held_nodes.clear();
    for (size_t i = 0; i < states.size(); ++i) {
        switch (states[i]) {
            case NodeState::tracked:
                ++tallies_[i].tracked;
                last_tracked_ms_[i] = time_ms;
                break;
            case NodeState::held:
                ++tallies_[i].held;
                if (time_ms - last_tracked_ms_[i] > kHeldWarningMs) w.held_nodes.push_back(static_cast<int32_t>(i));
                break;
            case NodeState::predicted:
                ++tallies_[i].predicted;
                break;
            case NodeState::placed:
                // The pointer holds it: whatever came before, it starts anew.
                last_tracked_ms_[i] = std::numeric_limits<double>::quiet_NaN();
                break;
            case NodeState::unknown:
                break;
        }
    }
    return w;
}

void SceneWatch::reset() {
    current_ = SceneWarnings{};
    tallies_.clear();
    last_tracked_ms_.clear();
}

std::vector<std::string> tally_lines(const std::vector<NodeTally>& tallies) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < tallies.size(); ++i) {
        const NodeTally& t = tallies[i];
        lines.push_back("node " + std::to_string(i) + ": " + std::to_string(t.tracked) + " tracked, " +
                        std::to_string(t.held) + " held, " + std::to_string(t.predicted) + " predicted");
    }
    return lines;
}

std::vector<std::string> WarningsOnce::new_lines(int64_t frame, double time_ms, const SceneWarnings& w) {
    char at[64];
    std::snprintf(at, sizeof at, "frame %lld (%.2f s): ", static_cast<long long>(frame), time_ms / 1000.0);
    std::vector<std::string> lines;
    SceneWarnings fresh;
    fresh.clusters = fresh.nodes = 0;
    if (w.counts_differ() && !counts_said_) {
        counts_said_ = true;
        fresh.clusters = w.clusters;
        fresh.nodes = w.nodes;
    }
    if (w.merged_cluster >= 0 && !merged_said_) {
        merged_said_ = true;
        fresh.merged_cluster = w.merged_cluster;
        fresh.merged_pixels = w.merged_pixels;
        fresh.median_pixels = w.median_pixels;
    }
    for (const int32_t node : w.held_nodes) {
        if (std::find(held_said_.begin(), held_said_.end(), node) != held_said_.end()) continue;
        held_said_.push_back(node);
        fresh.held_nodes.push_back(node);
    }
    for (const std::string& line : warning_lines(fresh)) lines.push_back(at + line);
    return lines;
}
