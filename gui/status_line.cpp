// The status line at the bottom of the panel: the outcome of the last save,
// load, cut, record or source change, in words. The log lines stay as they
// are; this is for the operator, who does not watch the console.

#include <FL/Fl_Box.H>
#include <FL/Fl_Light_Button.H>

#include <cstdio>
#include <string>

#include "display/preview_window.h"
#include "gui/operator_aids.h"
#include "model/animation.h"

namespace {

bool is_record_take(const ControlPanel& p, const Animation& a) {
    return &a == &p.preview->record_animation;
}

// A name as the operator gave it; an empty one said as such.
std::string quoted(const std::string& name) {
    return name.empty() ? "an empty file name" : name;
}

}  // namespace

void show_status(ControlPanel& p, const std::string& text) {
    if (p.status_line == nullptr) return;
    // '@' starts a symbol in a label; doubled it shows as itself.
    std::string label;
    for (const char c : text) {
        label += c;
        if (c == '@') label += '@';
    }
    p.status_line->copy_label(label.c_str());
    p.status_line->redraw();
}

std::string take_summary(const Animation& a) {
    const int32_t n = a.frame_count;
    double seconds = 0.0;
    if (n > 0 && static_cast<size_t>(n) <= a.timestamps.size()) {
        seconds =
            (static_cast<double>(a.timestamps[static_cast<size_t>(n) - 1]) - a.timestamps[0]) /
            1000.0;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%d frame%s (%.2f s)", n, n == 1 ? "" : "s", seconds);
    return text;
}

void after_save(ControlPanel& p, const Animation& a, const std::string& name, bool saved) {
    if (!saved) {
        show_status(p, "could NOT save animation to " + quoted(name));
        return;
    }
    if (is_record_take(p, a)) p.take_changed = false;
    show_status(p, "saved " + take_summary(a) + " to " + name);
}

void after_load(ControlPanel& p, const Animation& a, const std::string& name, bool loaded) {
    if (!loaded) {
        show_status(p, "could NOT load animation from " + quoted(name));
        return;
    }
    show_status(p, "loaded " + take_summary(a) + " of " + std::to_string(a.nodes_per_frame) +
                       " nodes from " + name);
}

void after_cut(ControlPanel& p, const Animation& a, int32_t frames_before) {
    if (frames_before == 0) {
        show_status(p, "nothing to cut: no frames");
    } else if (a.frame_count == frames_before) {
        show_status(p, "nothing cut: the upper marker must lie before the lower one");
    } else {
        if (is_record_take(p, a)) p.take_changed = true;
        show_status(p, "cut to " + take_summary(a));
    }
}

void after_record_switch(ControlPanel& p) {
    const Animation& a = p.preview->record_animation;
    if (a.recording) {
        p.take_changed = true;
        show_status(p,
                    "recording into a buffer of " + std::to_string(a.capacity_frames) + " frames");
    } else {
        show_status(p, "recorded " + take_summary(a));
    }
}

void after_buffer_size(ControlPanel& p, bool accepted) {
    const Animation& a = p.preview->record_animation;
    if (!accepted) {
        show_status(p, "buffer size refused: the buffer keeps " +
                           std::to_string(a.capacity_frames) + " frames");
        return;
    }
    // The buffer starts empty: a take running until now has ended with it.
    p.take_changed = false;
    sync_record_buttons(p);
    show_status(p, "buffer of " + std::to_string(a.capacity_frames) + " frames, empty");
}

void after_model_file(ControlPanel& p, bool loading, const std::string& name, bool ok) {
    const char* const direction = loading ? " from " : " to ";
    if (!ok) {
        show_status(p, std::string("could NOT ") + (loading ? "load" : "save") + " model" +
                           direction + quoted(name));
        return;
    }
    show_status(p, std::string(loading ? "loaded" : "saved") + " the model (" +
                       std::to_string(p.preview->model.nodes.size()) + " nodes)" + direction +
                       name);
}

void watch_recording(ControlPanel& p) {
    Animation& a = p.preview->record_animation;
    if (!a.recording) return;
    // Frames taken after a save made while recording are not in that file.
    p.take_changed = true;
    if (a.frame_count < a.capacity_frames) return;
    // A full buffer stores nothing more: the light goes out, as for "record" off.
    p.record_button->value(0);
    p.record_button->do_callback();
    show_status(p,
                "buffer full: recording stopped at " + std::to_string(a.frame_count) + " frames");
}
