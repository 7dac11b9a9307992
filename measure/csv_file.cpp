#include "measure/csv_file.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <span>

#include "platform/file_io.h"

namespace {

struct CsvFrame {
    std::span<const ModelNode> nodes;
    std::span<const NodeState> states;
    std::span<const SubPixelCentre> centres;  // as many as nodes, or none
};

// Node n's sub-pixel centre; none when the frame has none.
SubPixelCentre centre(const CsvFrame& f, size_t n) {
    return n < f.centres.size() ? f.centres[n] : SubPixelCentre{};
}

void append_int(std::string& out, int64_t v) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, end);
}

// Three decimals, '.' as the point: to_chars never consults a locale. A value
// that rounds to zero is written "0.000", never "-0.000". NaN is left empty.
void append_fixed3(std::string& out, double v) {
    if (!std::isfinite(v)) return;
    double rounded = std::round(v * 1000.0) / 1000.0;
    if (rounded == 0.0) rounded = 0.0;
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, 3);
    if (ec == std::errc()) out.append(buf, end);
}

// The columns of every node, in order; each appends its field for node n.
struct NodeColumn {
    std::string_view name;
    void (*append)(std::string& out, const CsvFrame& frame, size_t n);
};

constexpr NodeColumn kNodeColumns[] = {
    {"x", [](std::string& out, const CsvFrame& f, size_t n) { append_int(out, f.nodes[n].x); }},
    {"y", [](std::string& out, const CsvFrame& f, size_t n) { append_int(out, f.nodes[n].y); }},
    {"xs", [](std::string& out, const CsvFrame& f, size_t n) { append_fixed3(out, centre(f, n).x); }},
    {"ys", [](std::string& out, const CsvFrame& f, size_t n) { append_fixed3(out, centre(f, n).y); }},
    {"value", [](std::string& out, const CsvFrame& f, size_t n) { append_int(out, f.nodes[n].value); }},
    {"angle_deg",
     [](std::string& out, const CsvFrame& f, size_t n) { append_fixed3(out, bend_angle_deg(f.nodes, f.centres, n)); }},
    {"state", [](std::string& out, const CsvFrame& f, size_t n) { out += state_name(f.states[n]); }},
};

}  // namespace

std::string_view state_name(NodeState state) {
    switch (state) {
        case NodeState::tracked: return "tracked";
        case NodeState::held: return "held";
        case NodeState::placed: return "placed";
        case NodeState::predicted: return "predicted";
        default: return {};
    }
}

std::string csv_header(int32_t nodes) {
    std::string out = "frame,time_ms";
    for (int32_t n = 0; n < nodes; ++n) {
        for (const NodeColumn& column : kNodeColumns) {
            out += ",n";
            append_int(out, n);
            out += '_';
            out += column.name;
        }
    }
    return out;
}

std::string format_csv(const FrameTable& table) {
    const size_t k = static_cast<size_t>(std::max(table.nodes_per_frame, 0));
    std::string out = csv_header(table.nodes_per_frame);
    out += "\r\n";
    const size_t count = table.frame_count();
    assert(table.nodes.size() == count * k && table.states.size() == count * k && "a table of whole frames");
    if (table.nodes.size() < count * k || table.states.size() < count * k) return out;
    // A table filled without centres has none in any frame.
    const bool centres = table.sub_pixel_centres.size() >= count * k;
    out.reserve(out.size() + count * (16 + k * 56));
    for (size_t f = 0; f < count; ++f) {
        const CsvFrame frame{std::span(table.nodes).subspan(f * k, k), std::span(table.states).subspan(f * k, k),
                             centres ? std::span(table.sub_pixel_centres).subspan(f * k, k)
                                     : std::span<const SubPixelCentre>{}};
        append_int(out, static_cast<int64_t>(f));
        out += ',';
        append_fixed3(out, table.times_ms[f]);
        for (size_t n = 0; n < k; ++n) {
            for (const NodeColumn& column : kNodeColumns) {
                out += ',';
                column.append(out, frame, n);
            }
        }
        out += "\r\n";
    }
    return out;
}

bool save_csv(const FrameTable& table, const std::string& path) {
    return platform::replace_file(path, format_csv(table)) == platform::WriteResult::ok;
}
