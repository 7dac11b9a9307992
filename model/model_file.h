#pragma once
// The model file: tab-separated text, one line for the model (node count and
// colour) and one line of eleven values per node:
//
//   N  red  green  blue  alpha
//   x  y  value  <empty>  visible  at_node  sx  sy  <empty>  red  green  blue  alpha  <empty>
//
// Not stored: hovered, selected, visible, the claim list.

#include <string>
#include <string_view>

#include "base/log.h"
#include "model/node_model.h"

// The file's text for a model.
std::string format_model(const NodeModel& model);

// Fills `model` from model-file text. The node count comes first: when it
// cannot be read, is negative or exceeds kMaxModelNodes, the model is left
// exactly as it was and the result is false. Otherwise the model is resized
// (default layout and colour, sensors kept, hidden) and filled value by value
// until the first value that cannot be read; everything after it keeps what
// the resize gave. Text after the last node is ignored.
bool parse_model(NodeModel& model, std::string_view text);

// What the text of a file looks like when it is plainly not a model file,
// for the operator who gave it as one: "an animation file (301 frames of 3
// nodes)", "a CSV table", "a session (TOML)", "an MP4 or QuickTime video",
// "a PNG picture", "a binary file". Empty for text that may be a model, which
// includes every short or malformed model file the reader takes.
std::string not_a_model(std::string_view text);

// Writes the model through a temporary file renamed over `file_name`, then
// logs "\n model saved.". When the file cannot be written: false, nothing
// written, any old file untouched, and "\ncould NOT save model to NAME" on the
// error stream.
bool save_model(const NodeModel& model, const std::string& file_name, Log log = console_log());

// Reads the model from a regular file (never waiting on a pipe or device) and
// logs "\n model loaded.". When the file cannot be read or its node count is
// refused: false, the model unchanged, and "\ncould NOT load model from NAME"
// on the error stream; for a file that is plainly something else (see
// not_a_model) that line goes on with ": it looks like <what>".
bool load_model(NodeModel& model, const std::string& file_name, Log log = console_log());
