#include "model/animation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

Animation::Animation() {
    const bool ok = reset(1000, 3);
    assert(ok && "the default buffer is within the limits");
    (void)ok;
}

bool animation_size_allowed(int32_t c, int32_t k) {
    return c >= 0 && k >= 0 && c <= kMaxAnimationFrames && k <= kMaxModelNodes &&
           int64_t{c} * k <= kMaxAnimationEntries;
}

bool Animation::reset(int32_t c, int32_t k) {
    if (!animation_size_allowed(c, k)) return false;
    if (c != capacity_frames || k != nodes_per_frame) {
        capacity_frames = c;
        nodes_per_frame = k;
        frames.resize(static_cast<size_t>(c) * static_cast<size_t>(k), ModelNode{0, 0, 0});
    }
    states.resize(frames.size(), NodeState::unknown);
    sub_pixel_centres.clear();
    geometry.reset();
    y_invert = false;
    timestamps.resize(static_cast<size_t>(c), 0.0f);
    frame_count = 0;
    start_time = 0.0f;
    playing = false;
    recording = false;
    loop = false;
    position = 0;
    return true;
}

void Animation::record_step(const NodeModel& live, float now) {
    if (!recording) return;
    const bool shown = model.visible;
    model = live;
    model.visible = shown;
    if (frame_count >= capacity_frames) return;  // full: recording stays on, stores nothing

    // A cut during a take can leave the write position past the buffer.
    if (position < 0 || position >= capacity_frames) return;

    const int64_t n = static_cast<int64_t>(live.nodes.size());
    if (n != nodes_per_frame) {
        // Earlier frames are not re-laid out: they are read with the new stride.
        if (n > kMaxModelNodes || !animation_size_allowed(capacity_frames, static_cast<int32_t>(n))) return;
        nodes_per_frame = static_cast<int32_t>(n);
        frames.resize(static_cast<size_t>(capacity_frames) * static_cast<size_t>(n), ModelNode{0, 0, 0});
    }
    states.resize(frames.size(), NodeState::unknown);
    if (!sub_pixel_centres.empty() ||
        std::any_of(live.sub_pixel_centres.begin(), live.sub_pixel_centres.end(),
                    [](const SubPixelCentre& c) { return c.known(); }))
        sub_pixel_centres.resize(frames.size());
    const size_t first = static_cast<size_t>(position) * static_cast<size_t>(nodes_per_frame);
    for (size_t i = 0; i < live.nodes.size(); ++i) {
        frames[first + i] = live.nodes[i];
        states[first + i] = i < live.node_states.size() ? live.node_states[i] : NodeState::unknown;
        if (!sub_pixel_centres.empty())
            sub_pixel_centres[first + i] =
                i < live.sub_pixel_centres.size() ? live.sub_pixel_centres[i] : SubPixelCentre{};
    }
    timestamps[static_cast<size_t>(position)] = now;
    ++position;
    ++frame_count;
    if (position < capacity_frames) {
        // The next slot carries the newest time, so the label shows it while recording.
        timestamps[static_cast<size_t>(position)] = now;
    } else if (loop) {
        position = 0;
    }
}

void Animation::show_frame(int32_t f) {
    const size_t k = static_cast<size_t>(nodes_per_frame);
    if (model.nodes.size() != k) {
        model.nodes.resize(k, ModelNode{0, 0, 0});
        model.sensors.resize(k);
        // Indices into the old, longer list would point past the new one.
        if (model.hovered >= nodes_per_frame) model.hovered = -1;
        if (model.selected >= nodes_per_frame) model.selected = -1;
    }
    const size_t first = static_cast<size_t>(f) * k;
    const ModelNode* frame = frames.data() + first;
    for (size_t i = 0; i < k; ++i) model.nodes[i] = frame[i];
    // What tracking said of the frame comes with it, so the frame's numbers
    // are measured as the CSV measures them.
    if (states.size() >= first + k) model.node_states.assign(states.begin() + first, states.begin() + first + k);
    else model.node_states.clear();
    if (sub_pixel_centres.size() >= first + k)
        model.sub_pixel_centres.assign(sub_pixel_centres.begin() + first, sub_pixel_centres.begin() + first + k);
    else model.sub_pixel_centres.clear();
}

void Animation::play_step(float now) {
    if (!playing) {
        if (position >= 0 && position < capacity_frames && nodes_per_frame > 0) show_frame(position);
        return;
    }
    // An empty animation has nothing to play: it keeps its model and stays at 0.
    if (frame_count <= 0) return;
    // A cut during playback may have left the position past the recorded frames.
    if (position < 0) position = 0;
    if (position >= frame_count) position = frame_count - 1;

    const float elapsed = now - start_time;
    const float first = timestamps[0];
    while (elapsed > timestamps[static_cast<size_t>(position)] - first) {
        if (position >= frame_count - 1) {
            if (loop) {
                position = 0;
                start_time = now;
            } else {
                position = frame_count - 1;
            }
            break;
        }
        ++position;
    }
    show_frame(position);
}

bool Animation::seek(int32_t f, float now) {
    if (f < 0 || f >= frame_count) return false;
    position = f;
    start_time = now - (timestamps[static_cast<size_t>(f)] - timestamps[0]);
    return true;
}

void Animation::crop(int32_t start, int32_t end) {
    const int64_t entries = static_cast<int64_t>(frames.size());
    // Beyond the checks on the entry count, end may not pass the recorded
    // frames: a longer range would read and write past the buffer.
    if (frame_count <= 0 || start < 0 || end < 0 || start >= end || start >= entries || end >= entries ||
        end > frame_count)
        return;
    frame_count = end - start;
    if (start == 0) return;
    const size_t k = static_cast<size_t>(nodes_per_frame);
    // Fields filled by hand may leave the states shorter than the frames.
    states.resize(frames.size(), NodeState::unknown);
    if (!sub_pixel_centres.empty()) sub_pixel_centres.resize(frames.size());
    for (size_t i = 0; i < static_cast<size_t>(frame_count); ++i) {
        const size_t from = static_cast<size_t>(start) + i;
        for (size_t n = 0; n < k; ++n) {
            frames[i * k + n] = frames[from * k + n];
            states[i * k + n] = states[from * k + n];
            if (!sub_pixel_centres.empty()) sub_pixel_centres[i * k + n] = sub_pixel_centres[from * k + n];
        }
        timestamps[i] = timestamps[from];
    }
}

std::string Animation::time_label() const {
    if (capacity_frames <= 0) return "0:0";
    // After a take that filled the buffer the position is one past the last
    // frame: show that last frame's time.
    const int32_t shown = position < 0 ? 0 : position >= capacity_frames ? capacity_frames - 1 : position;
    const int32_t ms = truncate_to_int32(
        static_cast<double>(timestamps[static_cast<size_t>(shown)] - timestamps[0]));
    return std::to_string(ms / 1000) + ":" + std::to_string(ms % 1000);
}

int32_t truncate_to_int32(double v) {
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

void start_recording(Animation& a, const SourceGeometry& geometry, bool y_invert) {
    a.geometry = geometry;
    a.y_invert = y_invert;
    a.recording = true;
    a.playing = false;
    a.position = 0;
    a.frame_count = 0;
}

void stop_recording(Animation& a) { a.recording = false; }

void start_playing(Animation& a, bool loop, float now) {
    a.start_time = now;
    a.recording = false;
    a.playing = true;
    a.loop = loop;
    a.position = 0;
}

void stop_playing(Animation& a) {
    a.recording = false;
    a.start_time = 0.0f;
    a.playing = false;
    a.loop = false;
    a.position = 0;
}

double move_start_marker(Animation& a, double start, double end, float now) {
    const int32_t n = a.frame_count;
    if (n == 0) return 0.0;
    if (n <= start) start = n - 1;
    if (end <= start) start = end - 1;
    (void)a.seek(truncate_to_int32(start), now);
    return start;
}

double move_end_marker(Animation& a, double start, double end, float now) {
    const int32_t n = a.frame_count;
    if (n == 0) return 0.0;
    if (n <= end) end = n - 1;
    if (start >= end) end = start + 1;
    (void)a.seek(truncate_to_int32(end), now);
    return end;
}

int32_t cut(Animation& a, double start, double end) {
    a.crop(truncate_to_int32(start), truncate_to_int32(end));
    return a.frame_count - 1;
}

bool set_buffer_size(Animation& a, Options& options, double frames) {
    const int32_t size = truncate_to_int32(frames);
    if (!a.reset(size, options.node_count)) return false;
    options.animation_buffer_frames = size;
    return true;
}
