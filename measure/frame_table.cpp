#include "measure/frame_table.h"

#include <algorithm>
#include <utility>

void FrameTable::append(const FrameMeasure& frame) {
    if (times_ms.empty()) nodes_per_frame = static_cast<int32_t>(frame.nodes.size());
    const size_t k = static_cast<size_t>(nodes_per_frame);
    times_ms.push_back(frame.time_ms);
    for (size_t n = 0; n < k; ++n) {
        const NodeMeasure m = n < frame.nodes.size() ? frame.nodes[n] : NodeMeasure{};
        nodes.push_back(m.node);
        states.push_back(m.state);
        sub_pixel_centres.push_back(m.centre);
    }
}

FrameTable frame_table_of(const Animation& a) {
    FrameTable table;
    table.nodes_per_frame = std::max(a.nodes_per_frame, 0);
    const size_t k = static_cast<size_t>(table.nodes_per_frame);
    size_t count = static_cast<size_t>(std::max(a.frame_count, 0));
    count = std::min({count, a.timestamps.size(), k == 0 ? count : a.frames.size() / k});
    if (count == 0) return table;

    table.times_ms.reserve(count);
    const double first = a.timestamps[0];
    for (size_t f = 0; f < count; ++f) table.times_ms.push_back(static_cast<double>(a.timestamps[f]) - first);
    table.nodes.assign(a.frames.begin(), a.frames.begin() + static_cast<std::ptrdiff_t>(count * k));
    table.states.assign(count * k, NodeState::unknown);
    std::copy_n(a.states.begin(), std::min(a.states.size(), count * k), table.states.begin());
    table.sub_pixel_centres.assign(count * k, SubPixelCentre{});
    std::copy_n(a.sub_pixel_centres.begin(), std::min(a.sub_pixel_centres.size(), count * k),
                table.sub_pixel_centres.begin());
    return table;
}

bool animation_of(const FrameTable& table, const NodeModel& model, Animation& out) {
    const size_t count = table.frame_count();
    if (count > static_cast<size_t>(kMaxAnimationFrames)) return false;
    const size_t entries = count * static_cast<size_t>(std::max(table.nodes_per_frame, 0));
    if (table.nodes.size() != entries || table.states.size() != entries) return false;
    const bool centres = table.sub_pixel_centres.size() == entries;
    const int32_t frames = static_cast<int32_t>(count);
    Animation a;
    if (!a.reset(frames, table.nodes_per_frame)) return false;
    a.frame_count = frames;
    std::copy(table.nodes.begin(), table.nodes.end(), a.frames.begin());
    std::copy(table.states.begin(), table.states.end(), a.states.begin());
    if (centres) a.sub_pixel_centres = table.sub_pixel_centres;
    for (size_t f = 0; f < count; ++f) a.timestamps[f] = static_cast<float>(table.times_ms[f]);
    a.model = model;
    out = std::move(a);
    return true;
}
