#include "measure/angle_series.h"

#include <algorithm>
#include <cmath>

namespace {

// Frames of `a` that hold recorded data and lie inside its buffers.
size_t recorded_frames(const Animation& a) {
    const size_t k = static_cast<size_t>(std::max(a.nodes_per_frame, 0));
    const size_t count = static_cast<size_t>(std::max(a.frame_count, 0));
    return std::min({count, a.timestamps.size(), k == 0 ? count : a.frames.size() / k});
}

}  // namespace

void AngleSeries::clear() {
    times_ms.clear();
    angles.clear();
}

void AngleSeries::append(double time_ms, const FrameMeasure& chain) {
    if (static_cast<size_t>(nodes) != chain.nodes.size()) {
        clear();
        nodes = static_cast<int32_t>(chain.nodes.size());
    }
    times_ms.push_back(time_ms);
    for (const NodeMeasure& m : chain.nodes) angles.push_back(static_cast<float>(m.angle_deg));
}

void AngleSeries::drop_before(double time_ms) {
    const size_t k = static_cast<size_t>(nodes);
    while (!times_ms.empty() && times_ms.front() < time_ms) {
        times_ms.pop_front();
        angles.erase(angles.begin(), angles.begin() + static_cast<std::ptrdiff_t>(k));
    }
}

void append_frames(const Animation& a, int32_t from, AngleSeries& out, const MeasureContext& context) {
    const size_t k = static_cast<size_t>(std::max(a.nodes_per_frame, 0));
    const size_t count = recorded_frames(a);
    if (out.nodes != static_cast<int32_t>(k)) {
        out.clear();
        out.nodes = static_cast<int32_t>(k);
    }
    const double first = count > 0 ? a.timestamps[0] : 0.0;
    const bool centres = a.sub_pixel_centres.size() >= count * k;
    FrameMeasure measured;
    for (size_t f = static_cast<size_t>(std::max(from, 0)); f < count; ++f) {
        const double time_ms = static_cast<double>(a.timestamps[f]) - first;
        measure_frame(static_cast<int64_t>(f), time_ms, std::span(a.frames).subspan(f * k, k), {},
                      centres ? std::span(a.sub_pixel_centres).subspan(f * k, k) : std::span<const SubPixelCentre>{},
                      context, measured);
        out.times_ms.push_back(time_ms);
        for (const NodeMeasure& m : measured.nodes) out.angles.push_back(static_cast<float>(m.angle_deg));
    }
}

int32_t frame_at_time(const Animation& a, double time_ms) {
    const size_t count = recorded_frames(a);
    if (count == 0) return -1;
    const double first = a.timestamps[0];
    const auto since_first = [&](size_t f) { return static_cast<double>(a.timestamps[f]) - first; };
    // The first frame not before the time, then whichever neighbour is nearer.
    size_t low = 0, high = count;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (since_first(mid) < time_ms) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    if (low == count) return static_cast<int32_t>(count - 1);
    if (low > 0 && time_ms - since_first(low - 1) <= since_first(low) - time_ms) --low;
    return static_cast<int32_t>(low);
}
