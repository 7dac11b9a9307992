#pragma once
// The TOML side of the session file, for the rooms whose parts it carries:
// the value type the library parses into, the section table's row, and
// helpers that write a key or value and read one with a reason that names it.
// Only the session's own sources include this (and the library's header).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <toml.hpp>
#include <vector>

#include "session/session.h"

namespace session_toml {

// Keys in a sorted map: a table read and written back keeps one order.
using Value = toml::basic_value<toml::discard_comments, std::map, std::vector>;

// One part of the session: a table of the file, read into and written from
// the Session. The rows are in session.cpp; a new part is one more row (and,
// as a rule, a field of Session).
struct Section {
    std::string_view name;  // the table's name: "model" for [model]
    // Appends the table, its header line included, to the file's text. Writes
    // nothing for a part the session does not have.
    void (*write)(const Session& session, std::string& out);
    // Reads the table. False, with a reason that names the key, for a table
    // it refuses.
    bool (*read)(const Value& table, Session& session, std::string& error);
};

// "threshold", or "\"tracking.memory\"" for a key that must be quoted.
std::string key(std::string_view name);
// A value as TOML writes it, inline: 180, "walk.mp4", [1.0, 0.5], true.
std::string text(const Value& value);
// The float as a TOML number that reads back to the same float, in its
// shortest decimal form (0.1f as 0.1, not 0.100000001490116).
Value number(float v);
// A line "key = value\n".
void append_line(std::string& out, std::string_view name, const Value& value);

// Readers of one key of a table, for `where` (e.g. "options.threshold"): false
// with "where: <what it needs>" for a value of the wrong kind or range.
bool read_int(const Value& value, const std::string& where, int32_t& out, std::string& error);
bool read_bool(const Value& value, const std::string& where, bool& out, std::string& error);
bool read_float(const Value& value, const std::string& where, float& out, std::string& error);
// An array of `count` numbers.
bool read_floats(const Value& value, const std::string& where, float* out, size_t count,
                 std::string& error);

}  // namespace session_toml
