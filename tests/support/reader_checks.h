#pragma once
// What must hold after any file, however malformed, went through the model
// and animation readers, and a workout of the operations that use the result.
// Shared by the hostile-file tests and the fuzz targets: each check returns
// the first violation it finds as text, or "" when everything holds.

#include <algorithm>
#include <cstring>
#include <string>

#include "measure/csv_file.h"
#include "model/animation.h"
#include "model/animation_file.h"
#include "model/model_file.h"
#include "model/model_limits.h"
#include "model/tracking.h"

namespace reader_checks {

// Floats compare by their bits, so a NaN equals itself.
inline bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool same_model(const NodeModel& a, const NodeModel& b) {
    if (a.nodes.size() != b.nodes.size() || a.sensors.size() != b.sensors.size()) return false;
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        const ModelNode& n = a.nodes[i];
        const ModelNode& m = b.nodes[i];
        if (n.x != m.x || n.y != m.y || n.value != m.value) return false;
        const AngularSensor& s = a.sensors[i];
        const AngularSensor& t = b.sensors[i];
        if (s.visible != t.visible || s.at_node != t.at_node || s.x != t.x || s.y != t.y ||
            !same_bits(s.red, t.red) || !same_bits(s.green, t.green) || !same_bits(s.blue, t.blue) ||
            !same_bits(s.alpha, t.alpha))
            return false;
    }
    return a.hovered == b.hovered && a.selected == b.selected && a.visible == b.visible &&
           a.cluster_claims == b.cluster_claims && same_bits(a.red, b.red) && same_bits(a.green, b.green) &&
           same_bits(a.blue, b.blue) && same_bits(a.alpha, b.alpha);
}

// A model after a load: its lists agree and stay within bounds, a refused load
// changed nothing, and drawing, picking, dragging, tracking and saving it are
// safe. Writing it and reading the text back reaches a fixed point.
inline std::string check_model(const NodeModel& before, NodeModel& m, bool loaded) {
    if (m.nodes.size() != m.sensors.size()) return "node and sensor lists differ in length";
    if (m.nodes.size() > static_cast<size_t>(kMaxModelNodes)) return "more nodes than the limit";
    if (!loaded && !same_model(before, m)) return "a refused load changed the model";
    if (loaded && (m.hovered != -1 || m.selected != -1 || m.visible)) return "a load must clear hover, selection, visibility";

    const int32_t count = static_cast<int32_t>(m.nodes.size());
    for (int32_t i = 0; i < count; ++i) {
        volatile float r = sensor_radius(m, i, 20);
        (void)r;
        (void)sensor_centre(m, i);
    }
    NodeModel work = m;
    work.pick_hovered(100, 100);
    work.handle_mouse(MouseEvent::move, 360, 50, 160);
    work.handle_mouse(MouseEvent::press, 360, 50, 160);
    work.handle_mouse(MouseEvent::drag, 360, 60, 170);
    track_nodes(work, ClusterList{{50, 200, 255}, {100, 200, 1}, {2147483647, -2147483647 - 1, 0}}, 30, 10);
    if (work.cluster_claims.size() != 3) return "tracking must leave one claim per cluster";

    const std::string text = format_model(m);
    NodeModel back;
    if (!parse_model(back, text)) return "a written model must read back";
    if (format_model(back) != text) return "writing a read-back model must give the same text";
    return "";
}

inline bool same_animation(const Animation& a, const Animation& b) {
    if (a.capacity_frames != b.capacity_frames || a.nodes_per_frame != b.nodes_per_frame ||
        a.frame_count != b.frame_count || a.position != b.position || a.playing != b.playing ||
        a.recording != b.recording || a.loop != b.loop || !same_bits(a.start_time, b.start_time) ||
        a.frames.size() != b.frames.size() || a.timestamps.size() != b.timestamps.size())
        return false;
    for (size_t i = 0; i < a.frames.size(); ++i)
        if (a.frames[i].x != b.frames[i].x || a.frames[i].y != b.frames[i].y || a.frames[i].value != b.frames[i].value)
            return false;
    for (size_t i = 0; i < a.timestamps.size(); ++i)
        if (!same_bits(a.timestamps[i], b.timestamps[i])) return false;
    return a.states == b.states && same_model(a.model, b.model);
}

// An animation after a load: its buffer matches its sizes, a refused load
// changed nothing, and labels, playback, seeking, cutting and recording
// stay inside the buffer. Small ones also reach a fixed point when written
// and read back.
inline std::string check_animation(const Animation& before, Animation& a, bool loaded) {
    if (a.capacity_frames < 0 || a.nodes_per_frame < 0) return "negative buffer size";
    if (a.frames.size() != static_cast<size_t>(a.capacity_frames) * static_cast<size_t>(a.nodes_per_frame))
        return "frames do not match capacity x nodes";
    if (a.timestamps.size() != static_cast<size_t>(a.capacity_frames)) return "time stamps do not match capacity";
    if (a.frame_count < 0 || a.frame_count > a.capacity_frames) return "frame count outside the buffer";
    if (a.frames.size() > static_cast<size_t>(kMaxAnimationEntries)) return "buffer above the limit";
    if (!loaded) {
        if (!same_animation(before, a)) return "a refused load changed the animation";
    } else if (a.capacity_frames != a.frame_count || a.position != 0 || a.playing || a.recording || a.loop) {
        return "a load must leave an idle buffer exactly as long as the recording";
    }
    if (a.model.nodes.size() != a.model.sensors.size()) return "animation model lists differ";
    if (a.states.size() != a.frames.size()) return "states do not lie beside the frames";
    if (loaded && std::any_of(a.states.begin(), a.states.end(), [](NodeState st) { return st != NodeState::unknown; }))
        return "a loaded animation cannot know its states";

    const bool small = static_cast<int64_t>(a.frame_count) * (a.nodes_per_frame + 1) <= 200000;
    if (small) {
        // One CSV row per frame, whatever the file held.
        const std::string csv = format_csv(frame_table_of(a));
        if (std::count(csv.begin(), csv.end(), '\n') != a.frame_count + 1) return "the CSV must hold a row per frame";
        const std::string text = format_animation(a);
        Animation back = a;  // any earlier content; the parse replaces it
        if (!parse_animation(back, text)) return "a written animation must read back";
        if (format_animation(back) != text) return "writing a read-back animation must give the same text";
    }

    (void)a.time_label();
    const int32_t probes = a.frame_count < 50 ? a.frame_count : 50;
    for (int32_t f = 0; f < probes; ++f) {
        if (!a.seek(f, 10.0f)) return "seek must accept every loaded frame";
        (void)a.time_label();
    }
    if (a.seek(a.frame_count, 0.0f) || a.seek(-1, 0.0f)) return "seek must refuse frames outside the recording";
    for (bool loop : {false, true}) {
        start_playing(a, loop, 0.0f);
        for (float now : {0.0f, 1.0f, 1e3f, 1e6f, 3e38f, -3e38f}) {
            a.play_step(now);
            if (a.position < 0 || (a.frame_count > 0 && a.position >= a.frame_count)) return "playback left the recording";
            (void)a.time_label();
        }
    }
    stop_playing(a);
    a.play_step(0.0f);
    a.crop(1, a.frame_count);
    NodeModel live;
    live.set_node_count(4);
    start_recording(a);
    for (int i = 0; i < 3; ++i) a.record_step(live, static_cast<float>(i));
    (void)a.time_label();
    if (a.frames.size() != static_cast<size_t>(a.capacity_frames) * static_cast<size_t>(a.nodes_per_frame) ||
        a.states.size() != a.frames.size())
        return "recording broke the buffer size";
    return "";
}

}  // namespace reader_checks
