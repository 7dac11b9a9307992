#include "calib/calibration_file.h"

#include <toml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace {

// Shortest text that reads back as the same double, always a TOML float.
std::string number(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string out(buf, end);
    if (out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}

std::string pair(PlanePoint p) { return "[" + number(p.x) + ", " + number(p.y) + "]"; }

// TOML's basic string; a unit holds nothing that needs more than this.
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// More than enough for any perspective grid typed in by hand.
constexpr size_t kMostPlanePoints = 1000;

// How deep brackets and braces nest outside strings and comments. The TOML
// reader descends once per level, so a text of nothing but "[[[[..." would
// run it out of stack: anything deeper than a calibration needs is refused
// before it is read.
int nesting(std::string_view text) {
    int depth = 0, deepest = 0;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == '\\' && quote == '"') ++i;
            else if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') quote = c;
        else if (c == '#') i = std::min(text.find('\n', i), text.size());
        else if (c == '[' || c == '{') deepest = std::max(deepest, ++depth);
        else if (c == ']' || c == '}') --depth;
    }
    return deepest;
}

// A reason for a key that is missing or of the wrong kind.
struct Bad {
    std::string reason;
};

const toml::value* find(const toml::value& table, const char* key) {
    if (!table.is_table()) return nullptr;
    const auto& t = table.as_table();
    const auto it = t.find(key);
    return it == t.end() ? nullptr : &it->second;
}

double number_of(const toml::value& v, const std::string& what) {
    double d = 0.0;
    if (v.is_floating()) {
        d = v.as_floating();
    } else if (v.is_integer()) {
        d = static_cast<double>(v.as_integer());
    } else {
        throw Bad{what + " is not a number"};
    }
    if (!std::isfinite(d)) throw Bad{what + " is not a finite number"};
    return d;
}

double required(const toml::value& table, const char* key, const std::string& level) {
    const toml::value* v = find(table, key);
    if (v == nullptr) throw Bad{level + " has no \"" + key + "\""};
    return number_of(*v, "\"" + std::string(key) + "\"");
}

double optional_number(const toml::value& table, const char* key, double fallback) {
    const toml::value* v = find(table, key);
    return v == nullptr ? fallback : number_of(*v, "\"" + std::string(key) + "\"");
}

std::string text_of(const toml::value& table, const char* key, const std::string& level) {
    const toml::value* v = find(table, key);
    if (v == nullptr) throw Bad{level + " has no \"" + key + "\""};
    if (!v->is_string()) throw Bad{"\"" + std::string(key) + "\" is not a text"};
    return v->as_string().str;
}

// An array of `n` numbers.
std::vector<double> numbers(const toml::value& v, size_t n, const std::string& what) {
    if (!v.is_array() || v.as_array().size() != n)
        throw Bad{what + " is not a list of " + std::to_string(n) + " numbers"};
    std::vector<double> out;
    for (const toml::value& e : v.as_array()) out.push_back(number_of(e, what));
    return out;
}

PlanePoint point(const toml::value& table, const char* key, const std::string& level) {
    const toml::value* v = find(table, key);
    if (v == nullptr) throw Bad{level + " has no \"" + key + "\""};
    const std::vector<double> p = numbers(*v, 2, "\"" + std::string(key) + "\"");
    return PlanePoint{p[0], p[1]};
}

int whole(double v, const std::string& what) {
    if (v != std::floor(v) || v < 0 || v > 1e6) throw Bad{what + " is not a whole number from 0 to 1000000"};
    return static_cast<int>(v);
}

Calibration read(const toml::value& root) {
    Calibration c;
    c.width = whole(optional_number(root, "width", 0), "\"width\"");
    c.height = whole(optional_number(root, "height", 0), "\"height\"");
    if (find(root, "fx") != nullptr) {
        LensModel l;
        l.fx = required(root, "fx", "the lens");
        l.fy = required(root, "fy", "the lens");
        l.cx = required(root, "cx", "the lens");
        l.cy = required(root, "cy", "the lens");
        l.k1 = optional_number(root, "k1", 0.0);
        l.k2 = optional_number(root, "k2", 0.0);
        l.p1 = optional_number(root, "p1", 0.0);
        l.p2 = optional_number(root, "p2", 0.0);
        l.k3 = optional_number(root, "k3", 0.0);
        l.views = whole(optional_number(root, "views", 0), "\"views\"");
        if (l.views > 0) l.rms = required(root, "rms", "a fitted lens");
        c.lens = l;
    }
    if (const toml::value* t = find(root, "plane")) {
        PlaneLevel p;
        p.unit = text_of(*t, "unit", "[plane]");
        const toml::value* points = find(*t, "points");
        if (points == nullptr || !points->is_array()) throw Bad{"[plane] has no list of \"points\""};
        if (points->as_array().size() > kMostPlanePoints)
            throw Bad{"a plane of more than " + std::to_string(kMostPlanePoints) + " points"};
        for (const toml::value& e : points->as_array()) {
            const std::vector<double> n = numbers(e, 4, "a plane point");
            p.marks.push_back(PlaneMark{{n[0], n[1]}, {n[2], n[3]}});
        }
        c.plane = std::move(p);
    }
    if (const toml::value* t = find(root, "scale")) {
        ScaleLevel s;
        s.a = point(*t, "a", "[scale]");
        s.b = point(*t, "b", "[scale]");
        s.length = required(*t, "length", "[scale]");
        s.unit = text_of(*t, "unit", "[scale]");
        c.scale = std::move(s);
    }
    if (const toml::value* t = find(root, "axes")) {
        AxesLevel a;
        a.origin = point(*t, "origin", "[axes]");
        a.x_axis_deg = optional_number(*t, "x_axis_deg", 0.0);
        c.axes = a;
    }
    return c;
}

}  // namespace

std::string calibration_toml(const Calibration& c, std::string_view table) {
    const std::string prefix = table.empty() ? "" : std::string(table) + ".";
    std::string out = table.empty() ? "# velmora calibration: source pixels to a plane with real units\n"
                                    : "[" + std::string(table) + "]\n";
    out += "width = " + std::to_string(c.width) + "\nheight = " + std::to_string(c.height) + "\n";
    if (c.lens) {
        const LensModel& l = *c.lens;
        out += "\n# lens, in source pixels\n";
        const std::pair<const char*, double> keys[] = {{"fx", l.fx}, {"fy", l.fy}, {"cx", l.cx}, {"cy", l.cy},
                                                       {"k1", l.k1}, {"k2", l.k2}, {"p1", l.p1}, {"p2", l.p2},
                                                       {"k3", l.k3}};
        for (const auto& [key, value] : keys) out += std::string(key) + " = " + number(value) + "\n";
        if (l.views > 0) out += "rms = " + number(l.rms) + "\nviews = " + std::to_string(l.views) + "\n";
    }
    if (c.plane) {
        out += "\n[" + prefix + "plane]\nunit = " + quoted(c.plane->unit) + "\n# u, v in source pixels, then x, y on the plane\n";
        out += "points = [\n";
        for (const PlaneMark& m : c.plane->marks)
            out += "  [" + number(m.source.x) + ", " + number(m.source.y) + ", " + number(m.plane.x) + ", " +
                   number(m.plane.y) + "],\n";
        out += "]\n";
    }
    if (c.scale) {
        out += "\n[" + prefix + "scale]\na = " + pair(c.scale->a) + "\nb = " + pair(c.scale->b) + "\nlength = " +
               number(c.scale->length) + "\nunit = " + quoted(c.scale->unit) + "\n";
    }
    if (c.axes) out += "\n[" + prefix + "axes]\norigin = " + pair(c.axes->origin) + "\nx_axis_deg = " + number(c.axes->x_axis_deg) + "\n";
    return out;
}

bool parse_calibration_toml(std::string_view text, Calibration& out, std::string& error, std::string_view table) {
    if (nesting(text) > 8) {
        error = "not a calibration: brackets nest too deep";
        return false;
    }
    try {
        std::istringstream in{std::string(text)};
        const toml::value root = toml::parse(in, "calibration");
        const toml::value* t = table.empty() ? &root : find(root, std::string(table).c_str());
        if (t == nullptr || !t->is_table()) throw Bad{"no [" + std::string(table) + "] table"};
        out = read(*t);
        return true;
    } catch (const Bad& bad) {
        error = bad.reason;
    } catch (const std::exception& e) {
        // toml11's messages span several lines with the offending text.
        std::string what = e.what();
        const size_t line_end = what.find('\n');
        error = "not a calibration: " + what.substr(0, line_end);
    }
    return false;
}
