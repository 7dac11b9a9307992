#include "model/model_file.h"

#include <algorithm>

#include "model/model_limits.h"
#include "model/text_values.h"
#include "platform/file_io.h"

using model_text::append_float;
using model_text::append_int;

std::string format_model(const NodeModel& model) {
    std::string out;
    const size_t count = std::min(model.nodes.size(), model.sensors.size());
    out.reserve(32 + count * 80);
    append_int(out, static_cast<int32_t>(count));
    for (const float c : {model.red, model.green, model.blue, model.alpha}) {
        out += '\t';
        append_float(out, c);
    }
    out += '\n';
    for (size_t i = 0; i < count; ++i) {
        const ModelNode& n = model.nodes[i];
        const AngularSensor& s = model.sensors[i];
        model_text::append_node(out, n);
        out += s.visible ? '1' : '0';
        out += '\t';
        out += s.at_node ? '1' : '0';
        out += '\t';
        append_int(out, s.x);
        out += '\t';
        append_int(out, s.y);
        out += "\t\t";
        for (const float c : {s.red, s.green, s.blue, s.alpha}) {
            append_float(out, c);
            out += '\t';
        }
        out += '\n';
    }
    return out;
}

bool parse_model(NodeModel& model, std::string_view text) {
    model_text::ValueReader in(text);
    int32_t count = 0;
    if (!in.read(count) || count < 0 || count > kMaxModelNodes) return false;
    model.set_node_count(count);
    in.read(model.red);
    in.read(model.green);
    in.read(model.blue);
    in.read(model.alpha);
    for (size_t i = 0; i < model.nodes.size() && !in.failed(); ++i) {
        ModelNode& n = model.nodes[i];
        AngularSensor& s = model.sensors[i];
        in.read(n);
        in.read(s.visible);
        in.read(s.at_node);
        in.read(s.x);
        in.read(s.y);
        in.read(s.red);
        in.read(s.green);
        in.read(s.blue);
        in.read(s.alpha);
    }
    return true;
}

bool save_model(const NodeModel& model, const std::string& file_name, Log log) {
    if (platform::replace_file(file_name, format_model(model)) != platform::WriteResult::ok) {
        log.err << "\ncould NOT save model to " << file_name;
        return false;
    }
    log.out << "\n model saved.";
    return true;
}

bool load_model(NodeModel& model, const std::string& file_name, Log log) {
    std::string text;
    if (!platform::read_file(file_name, text, kMaxModelFileBytes) || !parse_model(model, text)) {
        log.err << "\ncould NOT load model from " << file_name;
        return false;
    }
    log.out << "\n model loaded.";
    return true;
}
