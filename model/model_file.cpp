#include "model/model_file.h"

#include <algorithm>
#include <vector>

#include "model/model_limits.h"
#include "model/text_values.h"
#include "platform/file_io.h"

using model_text::append_float;
using model_text::append_int;

namespace {

// Files that a model file is mistaken for, by the bytes they begin with.
struct Magic {
    size_t offset;
    std::string_view bytes;
    const char* what;
};
constexpr Magic kMagics[] = {
    {4, "ftyp", "an MP4 or QuickTime video"},
    {0, "\x1a\x45\xdf\xa3", "a Matroska or WebM video"},
    {8, "AVI ", "an AVI video"},
    {0, std::string_view("\0\0\x01\xba", 4), "an MPEG video"},
    {0, std::string_view("\0\0\x01\xb3", 4), "an MPEG video"},
    {0, "OggS", "an Ogg video or sound"},
    {0, "FLV\x01", "a Flash video"},
    {0, "\x89PNG", "a PNG picture"},
    {0, "\xff\xd8\xff", "a JPEG picture"},
    {0, "GIF8", "a GIF picture"},
};

bool whole_number(std::string_view token) {
    if (!token.empty() && (token[0] == '-' || token[0] == '+')) token.remove_prefix(1);
    return !token.empty() && std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string not_a_model(std::string_view text) {
    for (const Magic& m : kMagics)
        if (text.size() >= m.offset + m.bytes.size() && text.substr(m.offset, m.bytes.size()) == m.bytes) return m.what;
    // Text files hold no control characters but white space.
    const std::string_view head = text.substr(0, 4096);
    if (std::any_of(head.begin(), head.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f';
        }))
        return "a binary file";
    const size_t start = text.find_first_not_of(" \t\r\n\v\f");
    if (start == std::string_view::npos) return {};
    std::string_view line = text.substr(start, text.find('\n', start) - start);
    if (line.find(',') != std::string_view::npos)
        return line.rfind("frame,time_ms", 0) == 0 ? "a CSV table of tracked frames" : "a CSV table";
    if (line[0] == '#' || line[0] == '[' || line.find('=') != std::string_view::npos)
        return "a settings or session file (key = value)";
    // An animation file's first line holds its frame and node counts alone.
    std::vector<std::string_view> tokens;
    for (size_t i = 0; i < line.size();) {
        const size_t begin = line.find_first_not_of(" \t\r\v\f", i);
        if (begin == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t\r\v\f", begin), line.size());
        tokens.push_back(line.substr(begin, end - begin));
        i = end;
    }
    if (tokens.size() == 2 && whole_number(tokens[0]) && whole_number(tokens[1]))
        return "an animation file (" + std::string(tokens[0]) + " frames of " + std::string(tokens[1]) +
               " nodes; its chain is in its .model file)";
    return {};
}

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
    const bool read = platform::read_file(file_name, text, kMaxModelFileBytes);
    const std::string other = read ? not_a_model(text) : std::string();
    if (!read || !other.empty() || !parse_model(model, text)) {
        log.err << "\ncould NOT load model from " << file_name;
        if (!other.empty()) log.err << ": it looks like " << other;
        return false;
    }
    log.out << "\n model loaded.";
    return true;
}
