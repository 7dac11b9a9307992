#include "measure/csv_file.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <span>

#include "measure/frame_measure.h"
#include "measure/take_kinematics.h"
#include "platform/file_io.h"

namespace {

void append_int(std::string& out, int64_t v) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, end);
}

// `decimals` decimals, '.' as the point: to_chars never consults a locale. A
// value that rounds to zero is written without a sign. NaN is left empty.
void append_fixed(std::string& out, double v, int decimals) {
    if (!std::isfinite(v)) return;
    const double scale = decimals == 3 ? 1e3 : 1e6;
    double rounded = std::round(v * scale) / scale;
    if (rounded == 0.0) rounded = 0.0;
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
    if (ec == std::errc()) out.append(buf, end);
}

void append_fixed3(std::string& out, double v) { append_fixed(out, v, 3); }
// World positions and speeds: a metre unit still shows micrometres.
void append_fixed6(std::string& out, double v) { append_fixed(out, v, 6); }

// When a column is written.
enum class Shown { always, calibrated, filtered };

// The columns of every node, in order; each appends its field for one node,
// measured by measure_frame like every other number the program gives. The
// calibrated ones are named after the world unit: "X" becomes "X_mm".
struct NodeColumn {
    std::string_view name;
    Shown shown;
    void (*append)(std::string& out, const NodeMeasure& node);
};

constexpr NodeColumn kNodeColumns[] = {
    {"x", Shown::always, [](std::string& out, const NodeMeasure& m) { append_int(out, m.node.x); }},
    {"y", Shown::always, [](std::string& out, const NodeMeasure& m) { append_int(out, m.node.y); }},
    {"xs", Shown::always, [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.centre.x); }},
    {"ys", Shown::always, [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.centre.y); }},
    {"u", Shown::always, [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.u); }},
    {"v", Shown::always, [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.v); }},
    {"X", Shown::calibrated, [](std::string& out, const NodeMeasure& m) { append_fixed6(out, m.world_x); }},
    {"Y", Shown::calibrated, [](std::string& out, const NodeMeasure& m) { append_fixed6(out, m.world_y); }},
    {"value", Shown::always, [](std::string& out, const NodeMeasure& m) { append_int(out, m.node.value); }},
    {"angle_deg", Shown::always, [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.angle_deg); }},
    {"angle_f_deg", Shown::filtered,
     [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.angle_f_deg); }},
    {"omega_dps", Shown::filtered, [](std::string& out, const NodeMeasure& m) { append_fixed3(out, m.omega_dps); }},
    {"speed", Shown::filtered, [](std::string& out, const NodeMeasure& m) { append_fixed6(out, m.speed); }},
    {"state", Shown::always, [](std::string& out, const NodeMeasure& m) { out += state_name(m.state); }},
};

bool shown(const NodeColumn& column, const CsvLayout& layout) {
    switch (column.shown) {
        case Shown::calibrated: return !layout.world_unit.empty();
        case Shown::filtered: return layout.kinematics;
        default: return true;
    }
}

}  // namespace

std::string_view state_name(NodeState state) {
    switch (state) {
        case NodeState::tracked: return "tracked";
        case NodeState::held: return "held";
        case NodeState::placed: return "placed";
        case NodeState::predicted: return "predicted";
        case NodeState::filled: return "filled";
        default: return {};
    }
}

std::string csv_header(int32_t nodes, const CsvLayout& layout) {
    std::string out = "frame,time_ms";
    for (int32_t n = 0; n < nodes; ++n) {
        for (const NodeColumn& column : kNodeColumns) {
            if (!shown(column, layout)) continue;
            out += ",n";
            append_int(out, n);
            out += '_';
            out += column.name;
            if (column.shown == Shown::calibrated) out.append("_").append(layout.world_unit);
        }
    }
    return out;
}

void append_csv_row(std::string& out, const FrameMeasure& frame, const CsvLayout& layout) {
    append_int(out, frame.frame);
    out += ',';
    append_fixed3(out, frame.time_ms);
    for (const NodeMeasure& node : frame.nodes) {
        for (const NodeColumn& column : kNodeColumns) {
            if (!shown(column, layout)) continue;
            out += ',';
            column.append(out, node);
        }
    }
    out += "\r\n";
}

CsvLayout csv_layout(const MeasureContext& context, bool kinematics) {
    CsvLayout layout;
    if (context.geometry != nullptr && context.calibration != nullptr) layout.world_unit = context.calibration->unit;
    layout.kinematics = kinematics;
    return layout;
}

std::string format_csv(const FrameTable& table, const MeasureContext& context, const TakeKinematics* kinematics) {
    // The rows as a sink takes them, into the text.
    class TextSink final : public FrameSink {
    public:
        TextSink(std::string& out, const CsvLayout& layout) : out_(out), layout_(layout) {}
        bool take(const FrameMeasure& frame) override {
            append_csv_row(out_, frame, layout_);
            return true;
        }

    private:
        std::string& out_;
        const CsvLayout& layout_;
    };
    const CsvLayout layout = csv_layout(context, kinematics != nullptr);
    std::string out = csv_header(table.nodes_per_frame, layout);
    out += "\r\n";
    out.reserve(out.size() + table.frame_count() * (16 + static_cast<size_t>(std::max(table.nodes_per_frame, 0)) * 72));
    TextSink rows(out, layout);
    measure_take(table, context, kinematics, rows);
    return out;
}

bool save_csv(const FrameTable& table, const std::string& path, const MeasureContext& context,
              const TakeKinematics* kinematics) {
    return platform::replace_file(path, format_csv(table, context, kinematics)) == platform::WriteResult::ok;
}

CsvSink::CsvSink(platform::OutputFile& file, int32_t nodes, const CsvLayout& layout)
    : file_(file), writer_(file), layout_(layout) {
    row_ = csv_header(nodes, layout_);
    row_ += "\r\n";
    failed_ = !writer_.append(row_);
}

bool CsvSink::take(const FrameMeasure& frame) {
    if (failed_) return false;
    row_.clear();
    append_csv_row(row_, frame, layout_);
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
