#include "session/session.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include "model/model_limits.h"
#include "platform/file_io.h"
#include "session/session_toml.h"

namespace session_toml {

std::string key(std::string_view name) {
    return toml::format_key(std::string(name));
}

std::string text(const Value& value) {
    // Wide enough that no array is broken over lines; 15 digits give every
    // double of a float's shortest form back as written.
    return toml::format(value, std::numeric_limits<std::size_t>::max() / 2, 15, true, true);
}

Value number(float v) {
    if (!std::isfinite(v)) return Value(static_cast<double>(v));
    char digits[32];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
    double shortest = v;
    if (ec == std::errc()) std::from_chars(digits, end, shortest);
    return Value(shortest);
}

void append_line(std::string& out, std::string_view name, const Value& value) {
    out.append(key(name)).append(" = ").append(text(value)).append("\n");
}

bool read_int(const Value& value, const std::string& where, int32_t& out, std::string& error) {
    if (!value.is_integer() || value.as_integer() < std::numeric_limits<int32_t>::min() ||
        value.as_integer() > std::numeric_limits<int32_t>::max()) {
        error = where + " needs a whole number (32 bits)";
        return false;
    }
    out = static_cast<int32_t>(value.as_integer());
    return true;
}

bool read_bool(const Value& value, const std::string& where, bool& out, std::string& error) {
    if (!value.is_boolean()) {
        error = where + " needs true or false";
        return false;
    }
    out = value.as_boolean();
    return true;
}

bool read_float(const Value& value, const std::string& where, float& out, std::string& error) {
    if (value.is_floating()) {
        // Beyond a float's range a conversion has no defined result.
        const double v = value.as_floating();
        if (std::isfinite(v) && std::abs(v) > std::numeric_limits<float>::max()) {
            error = where + " needs a number a float holds";
            return false;
        }
        out = static_cast<float>(v);
    } else if (value.is_integer()) {
        out = static_cast<float>(value.as_integer());
    } else {
        error = where + " needs a number";
        return false;
    }
    return true;
}

bool read_floats(const Value& value, const std::string& where, float* out, size_t count,
                 std::string& error) {
    if (!value.is_array() || value.as_array().size() != count) {
        error = where + " needs a list of " + std::to_string(count) + " numbers";
        return false;
    }
    for (size_t i = 0; i < count; ++i)
        if (!read_float(value.as_array()[i], where, out[i], error)) return false;
    return true;
}

}  // namespace session_toml

namespace {

using session_toml::Value;
using Table = Value::table_type;
using Array = Value::array_type;

// The options block's fields by name. frame_width and frame_height (read by
// nothing) and the reserved bytes are not part of a session.
struct IntField {
    const char* name;
    int32_t Options::*field;
};
constexpr IntField kIntFields[] = {
    {"cluster_method", &Options::cluster_method},
    {"show_thresholding", &Options::show_thresholding},
    {"camera_brightness", &Options::camera_brightness},
    {"camera_gain", &Options::camera_gain},
    {"camera_shutter", &Options::camera_shutter},
    {"fullscreen_width", &Options::fullscreen_width},
    {"fullscreen_height", &Options::fullscreen_height},
    {"fullscreen_x", &Options::fullscreen_x},
    {"fullscreen_y", &Options::fullscreen_y},
    {"threshold", &Options::threshold},
    {"kmeans_iterations", &Options::kmeans_iterations},
    {"kmeans_threads", &Options::kmeans_threads},
    {"kmeans_clusters", &Options::kmeans_clusters},
    {"regiongrow_max_distance", &Options::regiongrow_max_distance},
    {"regiongrow_max_cluster_size", &Options::regiongrow_max_cluster_size},
    {"regiongrow_min_cluster_size", &Options::regiongrow_min_cluster_size},
    {"cure_max_distance", &Options::cure_max_distance},
    {"cure_max_cluster_size", &Options::cure_max_cluster_size},
    {"cure_min_cluster_size", &Options::cure_min_cluster_size},
    {"min_node_distance", &Options::min_node_distance},
    {"max_track_distance", &Options::max_track_distance},
    {"animation_buffer_frames", &Options::animation_buffer_frames},
    {"node_count", &Options::node_count},
    {"line_width", &Options::line_width},
    {"sensor_max_radius", &Options::sensor_max_radius},
};
struct PathField {
    const char* name;
    char (Options::*field)[1024];
};
constexpr PathField kPathFields[] = {{"save_path", &Options::save_path},
                                     {"load_path", &Options::load_path}};
constexpr char kFlipName[] = "y_invert";

std::string path_text(const char (&field)[1024]) {
    return std::string(field, strnlen(field, sizeof field));
}

void write_options(const Session& s, std::string& out) {
    out += "\n[options]\n";
    for (const IntField& f : kIntFields)
        session_toml::append_line(out, f.name, Value(s.options.*(f.field)));
    session_toml::append_line(out, kFlipName, Value(static_cast<int32_t>(s.options.y_invert)));
    for (const PathField& f : kPathFields)
        session_toml::append_line(out, f.name, Value(path_text(s.options.*(f.field))));
}

bool read_options(const Value& table, Session& s, std::string& error) {
    for (const auto& [name, value] : table.as_table()) {
        const std::string where = "options." + name;
        const auto* i = std::find_if(std::begin(kIntFields), std::end(kIntFields),
                                     [&](const IntField& f) { return name == f.name; });
        const auto* p = std::find_if(std::begin(kPathFields), std::end(kPathFields),
                                     [&](const PathField& f) { return name == f.name; });
        if (i != std::end(kIntFields)) {
            if (!session_toml::read_int(value, where, s.options.*(i->field), error)) return false;
        } else if (name == kFlipName) {
            int32_t flip = 0;
            if (!session_toml::read_int(value, where, flip, error)) return false;
            if (flip < 0 || flip > 255) {
                error = where + " needs a number from 0 to 255";
                return false;
            }
            s.options.y_invert = static_cast<uint8_t>(flip);
        } else if (p != std::end(kPathFields)) {
            if (!value.is_string() || !store_path(s.options.*(p->field), value.as_string().str)) {
                error = where + " needs a file name of at most 1023 characters";
                return false;
            }
        } else {
            error = "unknown setting " + where;
            return false;
        }
    }
    return true;
}

// An extra setting that reads as a whole number is written as one.
Value extra_value(const std::string& text) {
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec == std::errc() && end == text.data() + text.size() && std::to_string(n) == text)
        return Value(n);
    return Value(text);
}

void write_extras(const Session& s, std::string& out) {
    if (s.extras.empty()) return;
    out += "\n[extra]\n";
    for (const auto& [name, value] : s.extras.values())
        session_toml::append_line(out, name, extra_value(value));
}

bool read_extras(const Value& table, Session& s, std::string& error) {
    for (const auto& [name, value] : table.as_table()) {
        const std::string where = "extra.\"" + name + "\"";
        std::string text;
        if (value.is_string()) {
            text = value.as_string().str;
        } else if (value.is_integer()) {
            text = std::to_string(value.as_integer());
        } else if (value.is_boolean()) {
            text = value.as_boolean() ? "1" : "0";
        } else if (value.is_floating()) {
            char digits[32];
            const auto [end, ec] =
                std::to_chars(digits, digits + sizeof digits, value.as_floating());
            text.assign(digits, ec == std::errc() ? end : digits);
        } else {
            error = where + " needs a text, number or true or false";
            return false;
        }
        if (!s.extras.set(name, text)) {
            error = where + (ExtraSettings::valid_key(name) ? " holds a line break"
                                                            : " is not a setting's name");
            return false;
        }
    }
    return true;
}

Value colour(float r, float g, float b, float a) {
    return Value(Array{session_toml::number(r), session_toml::number(g), session_toml::number(b),
                       session_toml::number(a)});
}

// One node a line: its position, then its sensor as an inline table.
void write_model(const Session& s, std::string& out) {
    if (!s.has_model) return;
    const NodeModel& m = s.model;
    out += "\n[model]\n";
    session_toml::append_line(out, "colour", colour(m.red, m.green, m.blue, m.alpha));
    out += "nodes = [\n";
    const size_t count = std::min(m.nodes.size(), m.sensors.size());
    for (size_t i = 0; i < count; ++i) {
        const ModelNode& n = m.nodes[i];
        const AngularSensor& a = m.sensors[i];
        out += "  {x = " + std::to_string(n.x) + ", y = " + std::to_string(n.y) +
               ", value = " + std::to_string(n.value) +
               ", sensor = {visible = " + (a.visible ? "true" : "false") +
               ", at_node = " + (a.at_node ? "true" : "false") + ", x = " + std::to_string(a.x) +
               ", y = " + std::to_string(a.y) +
               ", colour = " + session_toml::text(colour(a.red, a.green, a.blue, a.alpha)) +
               "}},\n";
    }
    out += "]\n";
}

bool read_sensor(const Value& table, const std::string& where, AngularSensor& a,
                 std::string& error) {
    if (!table.is_table()) {
        error = where + " needs a table";
        return false;
    }
    for (const auto& [name, value] : table.as_table()) {
        const std::string at = where + "." + name;
        bool ok = true;
        if (name == "visible")
            ok = session_toml::read_bool(value, at, a.visible, error);
        else if (name == "at_node")
            ok = session_toml::read_bool(value, at, a.at_node, error);
        else if (name == "x")
            ok = session_toml::read_int(value, at, a.x, error);
        else if (name == "y")
            ok = session_toml::read_int(value, at, a.y, error);
        else if (name == "colour") {
            float c[4];
            ok = session_toml::read_floats(value, at, c, 4, error);
            if (ok) a = AngularSensor{a.visible, a.at_node, a.x, a.y, c[0], c[1], c[2], c[3]};
        } else {
            error = "unknown setting " + at;
            ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

bool read_node(const Value& node, const std::string& where, ModelNode& n, AngularSensor& a,
               std::string& error) {
    if (!node.is_table() || !node.contains("x") || !node.contains("y")) {
        error = where + " needs a table with x and y";
        return false;
    }
    n = ModelNode{0, 0, 255};
    a = AngularSensor{};
    for (const auto& [name, value] : node.as_table()) {
        const std::string at = where + "." + name;
        bool ok = true;
        if (name == "x")
            ok = session_toml::read_int(value, at, n.x, error);
        else if (name == "y")
            ok = session_toml::read_int(value, at, n.y, error);
        else if (name == "value")
            ok = session_toml::read_int(value, at, n.value, error);
        else if (name == "sensor")
            ok = read_sensor(value, at, a, error);
        else {
            error = "unknown setting " + at;
            ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

bool read_model(const Value& table, Session& s, std::string& error) {
    NodeModel m;
    for (const auto& [name, value] : table.as_table()) {
        if (name == "colour") {
            float c[4];
            if (!session_toml::read_floats(value, "model.colour", c, 4, error)) return false;
            m.red = c[0], m.green = c[1], m.blue = c[2], m.alpha = c[3];
        } else if (name != "nodes") {
            error = "unknown setting model." + name;
            return false;
        }
    }
    const Value* nodes = table.contains("nodes") ? &table.as_table().at("nodes") : nullptr;
    if (nodes != nullptr) {
        if (!nodes->is_array() || nodes->as_array().size() > static_cast<size_t>(kMaxModelNodes)) {
            error =
                "model.nodes needs a list of at most " + std::to_string(kMaxModelNodes) + " nodes";
            return false;
        }
        const Array& list = nodes->as_array();
        // set_node_count resets the colour and lays the nodes out; the colour
        // read above goes back on after it.
        const NodeModel coloured = m;
        m.set_node_count(static_cast<int32_t>(list.size()));
        m.red = coloured.red, m.green = coloured.green, m.blue = coloured.blue,
        m.alpha = coloured.alpha;
        for (size_t i = 0; i < list.size(); ++i) {
            if (!read_node(list[i], "model.nodes[" + std::to_string(i) + "]", m.nodes[i],
                           m.sensors[i], error))
                return false;
        }
    }
    s.model = std::move(m);
    s.has_model = true;
    return true;
}

// The parts of a session, in the file's order. A part of another room (a
// calibration, say) is one more row here.
const session_toml::Section kSections[] = {
    {"options", &write_options, &read_options},
    {"extra", &write_extras, &read_extras},
    {"model", &write_model, &read_model},
};

const session_toml::Section* section_named(std::string_view name) {
    for (const session_toml::Section& s : kSections)
        if (s.name == name) return &s;
    return nullptr;
}

// How deep arrays and inline tables nest, outside strings and comments. The
// library reads them recursively: a file of a hundred thousand '[' would use
// up the stack.
int nesting_depth(std::string_view t) {
    int depth = 0;
    int deepest = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '#') {
            i = t.find('\n', i);
            if (i == std::string_view::npos) break;
        } else if (c == '"' || c == '\'') {
            const size_t quotes = t.substr(i, 3) == std::string(3, c) ? 3 : 1;
            const std::string_view close = t.substr(i, quotes);
            i += quotes;
            while (i < t.size() && t.substr(i, quotes) != close && (quotes == 3 || t[i] != '\n'))
                i += c == '"' && t[i] == '\\' ? 2 : 1;
            i += quotes - 1;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

constexpr int kMaxNesting = 64;

// The library's first line of a parse error, without its "[error] toml::fn: " head.
std::string parse_reason(const std::string& what) {
    std::string line = what.substr(0, what.find('\n'));
    const size_t head = line.find(": ");
    if (line.rfind("[error]", 0) == 0 && head != std::string::npos) line.erase(0, head + 2);
    return line;
}

}  // namespace

std::string format_session(const Session& s) {
    std::string out = "# velmora session: the source, the analysis settings and the model\n";
    session_toml::append_line(out, "version", Value(kSessionVersion));
    if (!s.source.empty()) session_toml::append_line(out, "source", Value(s.source));
    for (const session_toml::Section& section : kSections) section.write(s, out);
    for (const auto& [name, table] : s.other_tables) out.append("\n").append(table);
    return out;
}

bool parse_session(std::string_view text, Session& s, std::string& error) {
    if (nesting_depth(text) > kMaxNesting) {
        error = "not a session: its lists nest deeper than " + std::to_string(kMaxNesting);
        return false;
    }
    Value root;
    try {
        std::istringstream in{std::string(text)};
        root = toml::parse<toml::discard_comments, std::map, std::vector>(in, "session");
    } catch (const toml::exception& e) {
        error = "not TOML at line " + std::to_string(e.location().line()) + " (" +
                parse_reason(e.what()) + ")";
        return false;
    } catch (const std::exception& e) {
        error = std::string("not TOML (") + e.what() + ")";
        return false;
    }
    s = Session{};
    if (!root.contains("version")) {
        error = "not a session: it has no version";
        return false;
    }
    int32_t version = 0;
    if (!session_toml::read_int(root.as_table().at("version"), "version", version, error))
        return false;
    if (version < 1) {
        error = "version needs a number from 1";
        return false;
    }
    if (version > kSessionVersion) {
        error = "written by a newer velmora (session version " + std::to_string(version) +
                "; this one reads up to " + std::to_string(kSessionVersion) + ")";
        return false;
    }
    for (const auto& [name, value] : root.as_table()) {
        if (name == "version") continue;
        if (name == "source") {
            if (!value.is_string()) {
                error = "source needs a text";
                return false;
            }
            s.source = value.as_string().str;
        } else if (const session_toml::Section* section = section_named(name)) {
            if (!value.is_table()) {
                error = name + " needs to be a table";
                return false;
            }
            if (!section->read(value, s, error)) return false;
        } else if (value.is_table()) {
            // At width 0 the library writes no table inline: the text begins
            // with the table's own header, so it may follow any other table.
            Value alone(Table{{name, value}});
            std::string table = toml::format(alone, 0, 15);
            table.erase(0, table.find_first_not_of('\n'));
            s.other_tables.emplace_back(name, std::move(table));
        } else {
            error = "unknown setting " + name;
            return false;
        }
    }
    // The source is the session's own field; an extra "source" would be a second one.
    s.extras.erase("source");
    return true;
}

bool save_session(const Session& s, const std::string& path, std::string& error) {
    if (platform::replace_file(path, format_session(s)) != platform::WriteResult::ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool load_session(const std::string& path, Session& s, std::string& error) {
    // Far beyond any session of a real chain; a larger file is not one.
    constexpr size_t kMaxSessionBytes = size_t{64} << 20;
    std::string text;
    if (!platform::read_file(path, text, kMaxSessionBytes)) {
        error = "session " + path + ": cannot be read";
        return false;
    }
    std::string why;
    if (!parse_session(text, s, why)) {
        error = "session " + path + ": " + why;
        return false;
    }
    return true;
}
