#pragma once
// A session: what the analysis of a take needs, in one human-readable TOML
// file that the window saves and loads ("save session", "load session") and
// `velmora track --session FILE` reads:
//
//   # velmora session
//   version = 1
//   source = "walk.mp4"
//
//   [options]              # the options block's fields by name
//   cluster_method = 0
//   threshold = 180
//   ...
//
//   [extra]                # every extra setting, by its key
//   "tracking.hold_frames" = 5
//   "tracking.memory" = 1
//
//   [model]                # the chain: colour (red, green, blue, alpha), then a node a line
//   colour = [1.0,1.0,0.0,1.0]
//   nodes = [
//     {x = 50, y = 200, value = 255, sensor = {visible = true, at_node = true, x = 50, ...}},
//   ]
//
// Every part but the version may be missing: options not given keep their
// defaults, a session without [model] has no model. The version says which
// layout a file has: a program reads every version up to its own and refuses
// a newer one. Tables beside these are the parts of other rooms: each is a
// row of the section table in session.cpp (its reader and writer, over the
// TOML helpers of session/session_toml.h), and a table no row reads is kept as
// it was read and written back unchanged, so a part that a newer program
// added survives a load and save by an older one.

#include <string>
#include <utility>
#include <vector>

#include "base/extra_settings.h"
#include "base/options.h"
#include "model/node_model.h"

inline constexpr int kSessionVersion = 1;

struct Session {
    std::string source;  // as `velmora SOURCE` takes it; empty: none
    Options options = default_options();
    ExtraSettings extras;  // every extra setting but the source, which is `source`
    bool has_model = false;
    NodeModel model;
    // Tables no row of the section table reads, by name, as TOML text (the
    // table's header line and its keys); written back as they are.
    std::vector<std::pair<std::string, std::string>> other_tables;
};

// The file's text.
std::string format_session(const Session& session);

// Fills `session` from the text of a session file. False, `session` in an
// unspecified state, and a one-line reason (with the line, where the text is
// not TOML) for text that is not a session this program reads: not TOML, no
// version or a newer one, a setting it does not know or a value of the wrong
// kind or range, named by its key.
bool parse_session(std::string_view text, Session& session, std::string& error);

// Writes the file through a temporary file renamed over `path`. False, with
// a reason, when it cannot be written; any old file is then untouched.
bool save_session(const Session& session, const std::string& path, std::string& error);

// Reads the file. False, with a one-line reason that starts with the file's
// name, when it cannot be read or is not a session (see parse_session).
bool load_session(const std::string& path, Session& session, std::string& error);
