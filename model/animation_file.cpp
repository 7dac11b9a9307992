#include "model/animation_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "model/model_file.h"
#include "model/model_limits.h"
#include "model/text_values.h"
#include "platform/file_io.h"

using model_text::append_int;

namespace {

std::string companion_name(const std::string& file_name) { return file_name + ".model"; }

}  // namespace

AnimationFrames frames_of(const Animation& a) {
    const size_t k = static_cast<size_t>(std::max(a.nodes_per_frame, 0));
    size_t count = static_cast<size_t>(std::max(a.frame_count, 0));
    count = std::min({count, a.timestamps.size(), k == 0 ? count : a.frames.size() / k});
    return AnimationFrames{static_cast<int32_t>(count), a.nodes_per_frame, std::span(a.timestamps).first(count),
                           std::span(a.frames).first(count * k)};
}

namespace {

// The header line, then every frame line, handed to `put` in pieces of
// about `piece_bytes`.
template <class Put>
bool write_animation_text(const AnimationFrames& frames, size_t piece_bytes, Put put) {
    const size_t k = static_cast<size_t>(std::max(frames.nodes, 0));
    std::string out;
    out.reserve(piece_bytes + 64 + k * 40);
    append_int(out, frames.count);
    out += '\t';
    append_int(out, frames.nodes);
    out += '\n';
    for (size_t f = 0; f < static_cast<size_t>(frames.count); ++f) {
        model_text::append_float(out, frames.stamps[f]);
        out += '\t';
        const ModelNode* frame = frames.entries.data() + f * k;
        for (size_t n = 0; n < k; ++n) model_text::append_node(out, frame[n]);
        out += '\n';
        if (out.size() >= piece_bytes) {
            if (!put(out)) return false;
            out.clear();
        }
    }
    return put(out);
}

}  // namespace

std::string format_animation(const Animation& a) {
    std::string text;
    write_animation_text(frames_of(a), size_t{1} << 20, [&](const std::string& piece) {
        text += piece;
        return true;
    });
    return text;
}

bool parse_animation(Animation& a, std::string_view text) {
    model_text::ValueReader in(text);
    int32_t frame_count = 0;
    int32_t nodes = 0;
    if (!in.read(frame_count) || !in.read(nodes)) return false;
    const size_t old_frames = a.frames.size();
    const size_t old_stamps = a.timestamps.size();
    if (!a.reset(frame_count, nodes)) return false;
    // A short file must not show pieces of an earlier take: entries it does
    // not fill are zero. The resize zeroed what it added; clear what it kept.
    std::fill_n(a.frames.begin(), std::min(old_frames, a.frames.size()), ModelNode{0, 0, 0});
    std::fill_n(a.timestamps.begin(), std::min(old_stamps, a.timestamps.size()), 0.0f);
    // The file holds no states: every loaded frame's are unknown (and reset
    // dropped the sub-pixel centres).
    std::fill(a.states.begin(), a.states.end(), NodeState::unknown);
    a.frame_count = frame_count;

    const size_t k = static_cast<size_t>(nodes);
    for (size_t f = 0; f < static_cast<size_t>(frame_count) && !in.failed(); ++f) {
        in.read(a.timestamps[f]);
        ModelNode* frame = a.frames.data() + f * k;
        for (size_t n = 0; n < k; ++n) in.read(frame[n]);
    }
    return true;
}

bool save_animation(const Animation& a, const std::string& file_name, Log log) {
    return save_animation_frames(frames_of(a), a.model, file_name, log);
}

bool save_animation_frames(const AnimationFrames& frames, const NodeModel& model, const std::string& file_name,
                           Log log, bool into_devices) {
    const bool device = into_devices && platform::is_device(file_name);
    platform::OutputFile file;
    const bool written = file.open(file_name, platform::OutputFile::Temp::hidden, into_devices) &&
                         write_animation_text(frames, size_t{1} << 20,
                                              [&](const std::string& piece) { return file.write(piece); }) &&
                         file.commit();
    if (!written) {
        log.err << "\ncould NOT save animation to " << file_name;
        return false;
    }
    log.out << "\n animation saved.";
    // A companion that cannot be written loses the take's model: save_model says so.
    if (!device) (void)save_model(model, companion_name(file_name), log);
    return true;
}

bool load_animation(Animation& a, const std::string& file_name, Log log) {
    std::string text;
    if (!platform::read_file(file_name, text, kMaxAnimationFileBytes) || !parse_animation(a, text)) {
        log.err << "\ncould NOT load animation from " << file_name;
        return false;
    }
    log.out << "\n anim loaded.";
    // A recording without a companion is normal; one that is there but cannot
    // be read or is refused is reported by load_model.
    const std::string companion = companion_name(file_name);
    std::error_code ec;
    if (std::filesystem::exists(companion, ec)) (void)load_model(a.model, companion, log);
    return true;
}
