#include "measure/csv_file.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <span>

#include "measure/frame_measure.h"
#include "platform/file_io.h"

namespace {

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

// The columns of every node, in order; each appends its field for one node,
// measured by measure_frame like every other number the program gives.
struct NodeColumn {
    std::string_view name;
    void (*append)(std::string& out, const NodeMeasure& node);
};

constexpr NodeColumn kNodeColumns[] = {
    {"x", [](std::string& out, const NodeMeasure& m) { append_int(out, m.node.x); }},
    {"y", [](std::string& out, const NodeMeasure& m) { append_int(out, m.node.y); }},
    {"xs", [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.centre.x); }},
    {"ys", [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.centre.y); }},
    {"value", [](std::string& out, const NodeMeasure& m) { append_int(out, m.node.value); }},
    {"angle_deg", [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.angle_deg); }},
    {"state", [](std::string& out, const NodeMeasure& m) { out += state_name(m.state); }},
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

void append_csv_row(std::string& out, const FrameMeasure& frame) {
    append_int(out, frame.frame);
    out += ',';
    append_fixed3(out, frame.time_ms);
    for (const NodeMeasure& node : frame.nodes) {
        for (const NodeColumn& column : kNodeColumns) {
            out += ',';
            column.append(out, node);
        }
    }
    out += "\r\n";
}

std::string format_csv(const FrameTable& table, const MeasureContext& context) {
    const size_t k = static_cast<size_t>(std::max(table.nodes_per_frame, 0));
    std::string out = csv_header(table.nodes_per_frame);
    out += "\r\n";
    const size_t count = table.frame_count();
    assert(table.nodes.size() == count * k && table.states.size() == count * k && "a table of whole frames");
    if (table.nodes.size() < count * k || table.states.size() < count * k) return out;
    // A table filled without centres has none in any frame.
    const bool centres = table.sub_pixel_centres.size() >= count * k;
    out.reserve(out.size() + count * (16 + k * 56));
    FrameMeasure frame;
    for (size_t f = 0; f < count; ++f) {
        measure_frame(static_cast<int64_t>(f), table.times_ms[f], std::span(table.nodes).subspan(f * k, k),
                      std::span(table.states).subspan(f * k, k),
                      centres ? std::span(table.sub_pixel_centres).subspan(f * k, k)
                              : std::span<const SubPixelCentre>{},
                      context, frame);
        append_csv_row(out, frame);
    }
    return out;
}

bool save_csv(const FrameTable& table, const std::string& path, const MeasureContext& context) {
    return platform::replace_file(path, format_csv(table, context)) == platform::WriteResult::ok;
}

CsvSink::CsvSink(platform::OutputFile& file, int32_t nodes) : file_(file), writer_(file) {
    row_ = csv_header(nodes);
    row_ += "\r\n";
    failed_ = !writer_.append(row_);
}

bool CsvSink::take(const FrameMeasure& frame) {
    if (failed_) return false;
    row_.clear();
    append_csv_row(row_, frame);
    failed_ = !writer_.append(row_);
    return !failed_;
}

bool CsvSink::finish() {
    if (finished_) return !failed_;
    finished_ = true;
    failed_ = !writer_.finish() || failed_;
    if (failed_) {
        file_.abandon();
        return false;
    }
    failed_ = !file_.commit();
    return !failed_;
}
