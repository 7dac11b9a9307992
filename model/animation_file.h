#pragma once
// The animation file: tab-separated text, a header line "F  K" (frames, nodes
// per frame), then one line per frame, frame 0 first:
//
//   time  x0  y0  value0  <empty>  x1  y1  value1  <empty> ...
//
// Time stamps are the stopwatch times of recording; only their differences to
// frame 0's matter. The animation's model is kept beside the file, as a model
// file named after it with ".model" appended (walk.txt -> walk.txt.model).

#include <span>
#include <string>
#include <string_view>

#include "base/log.h"
#include "model/animation.h"

// What an animation file holds: `count` frames of `nodes` nodes, node n of
// frame f at entries[f * nodes + n], each frame with its time stamp.
struct AnimationFrames {
    int32_t count = 0;
    int32_t nodes = 0;
    std::span<const float> stamps;       // count entries
    std::span<const ModelNode> entries;  // count x nodes entries
};

// Frames 0 to frame_count - 1 of a buffer, never more than it holds,
// whatever its counters say.
AnimationFrames frames_of(const Animation& a);

// The file's text for frames 0 to frame_count - 1.
std::string format_animation(const Animation& a);

// Fills `a` from animation-file text. A header whose frame or node count
// cannot be read, is negative or exceeds the buffer limits is refused: false,
// `a` unchanged. Otherwise `a` becomes an idle buffer of exactly F frames of
// K nodes holding the values read up to the first one that cannot be read;
// every entry not read is 0. The model is not touched.
bool parse_animation(Animation& a, std::string_view text);

// Writes the animation through a temporary file renamed over `file_name`,
// logs "\n animation saved.", then saves the model to the companion file
// (save_model reports a companion that cannot be written; the result stays
// true). When the animation file cannot be written: false, nothing written
// (no companion either), any old file untouched, and "\ncould NOT save
// animation to NAME" on the error stream.
bool save_animation(const Animation& a, const std::string& file_name, Log log = console_log());

// The same for frames kept elsewhere (the batch run's compact buffer) and
// their model. The text is written as it is formatted, a piece at a time, so
// a long take never stands in memory twice. With `into_devices` a device or
// pipe under the name (/dev/null) takes the text, and no companion.
bool save_animation_frames(const AnimationFrames& frames, const NodeModel& model, const std::string& file_name,
                           Log log = console_log(), bool into_devices = false);

// Reads the animation from a regular file, logs "\n anim loaded.", then loads
// the model from the companion file. A missing companion leaves the model as
// it was without a word; one that exists but cannot be loaded is reported by
// load_model. When the file cannot be read or its header is refused: false,
// `a` unchanged, and "\ncould NOT load animation from NAME" on the error stream.
bool load_animation(Animation& a, const std::string& file_name, Log log = console_log());
