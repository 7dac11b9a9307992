#pragma once
// A recording of node positions over time: one frame per main-loop cycle, each
// with its own time stamp, played back at the recorded pace whatever the rate
// of the loop that plays it.
//
// Times are the main stopwatch's elapsed milliseconds ("now"), read afresh by
// every caller.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/options.h"
#include "camera/source_geometry.h"
#include "model/model_limits.h"
#include "model/node_model.h"

struct Animation {
    // 1000 frames of 3 nodes, all zero, nothing recorded, idle; a 3-node model.
    Animation();

    std::vector<ModelNode> frames;  // capacity_frames x nodes_per_frame; node n of frame f at f * nodes_per_frame + n
    int32_t capacity_frames = 0;    // buffer size in frames
    int32_t nodes_per_frame = 0;    // node entries per frame
    int32_t frame_count = 0;        // frames recorded or loaded, from frame 0; never above capacity_frames
    std::vector<float> timestamps;  // capacity_frames entries: the time each frame was recorded
    bool playing = false;
    bool recording = false;
    bool loop = false;              // at the end, start again at frame 0
    int32_t position = 0;           // recording: the next frame to write; otherwise the frame shown
    float start_time = 0.0f;        // when frame 0 was (or would have been) shown in this playback
    NodeModel model;                // shows the current frame; drawn for this animation
    // Beside `frames`, entry for entry: what tracking did with each node in
    // that frame. Kept in memory only; the animation file has no place for it,
    // so a loaded animation's states are unknown.
    std::vector<NodeState> states;
    // Beside `frames` likewise, in memory only: each node's sub-pixel centre
    // in that frame. Empty until a frame with a centre is recorded (most
    // takes have none, and the buffer may be large), then one per entry.
    std::vector<SubPixelCentre> sub_pixel_centres;
    // How the source's pictures landed in the frame while this take was
    // recorded, and whether the frame was flipped: what its positions are in
    // the source's own pixels. None for a take loaded from a file.
    std::optional<SourceGeometry> geometry;
    bool y_invert = false;

    // Sizes the buffer to c frames of k nodes (entries that stay keep their
    // place and content, new ones are zero), forgets the recording, its
    // sub-pixel centres and geometry with it, and goes idle at frame 0. The model is not
    // touched. A negative size, or one above the limits of
    // model/model_limits.h, is refused: false, nothing changes.
    bool reset(int32_t c, int32_t k);

    // While recording: copies the live model into `model` (keeping its
    // `visible`) and stores its nodes, their states and sub-pixel centres as
    // frame `position`, stamped with now.
    // A full buffer stores nothing more; recording stays on.
    void record_step(const NodeModel& live, float now);

    // While playing: advances to the first frame whose time since frame 0 is
    // not less than the playback time, holding the last frame or looping at
    // the end. Otherwise shows frame `position` when the buffer holds it.
    void play_step(float now);

    // Jumps to a recorded frame so a running playback continues from there.
    // False, and no change, for a frame outside 0 to frame_count - 1.
    bool seek(int32_t f, float now);

    // Keeps frames start to end - 1 as the new frames 0 onward. Inconsistent
    // ranges change nothing.
    void crop(int32_t start, int32_t end);

    // Time of the current frame since frame 0 as "seconds:milliseconds"
    // ("61:5" for 61.0057 s); a position past the buffer shows the last frame's.
    std::string time_label() const;

private:
    // Brings model's node list to nodes_per_frame and copies frame f into it.
    void show_frame(int32_t f);
};

// Whether a buffer of c frames of k nodes is within the limits of
// model/model_limits.h (so reset accepts it).
bool animation_size_allowed(int32_t c, int32_t k);

// Float to int32 toward zero, as the control panel reads slider and input
// values; out-of-range values saturate and NaN gives 0.
int32_t truncate_to_int32(double v);

// --- what the recording groups' controls do ------------------------------------
// The callbacks stay thin: each forwards its widget values here and puts the
// returned values back into its widgets.

// "record" switched on: a new take from frame 0, of a source whose pictures
// land in the frame as `geometry` says, flipped when `y_invert`.
void start_recording(Animation& a, const SourceGeometry& geometry = SourceGeometry{}, bool y_invert = false);
// "record" switched off.
void stop_recording(Animation& a);
// "play" switched on (either group): playback from frame 0 at now.
void start_playing(Animation& a, bool loop, float now);
// "play" switched off (either group): idle at frame 0, loop off.
void stop_playing(Animation& a);

// The start and end marker sliders under a timeline. Each returns the value
// the moved marker must show and seeks to it when the animation has frames.
// With no frames the marker goes to 0. The markers may end up at -1 or at
// frame_count, where the seek is refused.
double move_start_marker(Animation& a, double start, double end, float now);
double move_end_marker(Animation& a, double start, double end, float now);

// "cut": crops from the start marker to the end marker. Returns the value of
// the end marker and the timeline afterwards, frame_count - 1; the start
// marker goes to 0.
int32_t cut(Animation& a, double start, double end);

// "buffer size [frames]": the value, truncated, becomes the option
// `animation_buffer_frames` and the recording buffer is reset to that many
// frames of `node_count` nodes. A size the buffer refuses changes neither the
// option nor the animation: false.
bool set_buffer_size(Animation& a, Options& options, double frames);
