// The record group's take is the one piece of work the program holds in
// memory only. Every action that would drop it asks first while it is unsaved.
// Nor does a save through a file chooser replace a file without a
// question.

#include <FL/Fl_Button.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Value_Input.H>
#include <FL/fl_ask.H>

#include <cstring>
#include <string>

#include "display/preview_window.h"
#include "gui/operator_aids.h"
#include "model/animation.h"
#include "platform/file_io.h"

namespace {

// The toolkit's question box. Its buttons stand right to left: Escape
// answers the rightmost, "cancel", Enter the default, "save", and each
// answers to its underlined letter.
TakeAnswer ask_with_dialog(const std::string& question) {
    fl_message_title("unsaved take");
    switch (fl_choice("%s", "&cancel", "&save", "&discard", question.c_str())) {
        case 1:
            return TakeAnswer::save;
        case 2:
            return TakeAnswer::discard;
        default:
            return TakeAnswer::cancel;
    }
}

const char* question_end(TakeAction action) {
    switch (action) {
        case TakeAction::close:
            return "Save it before velmora closes?";
        case TakeAction::quit:
            return "Save it before velmora quits?";
        case TakeAction::record:
            return "Save it before a new take replaces it?";
        case TakeAction::buffer_size:
            return "Save it before the new buffer size empties the buffer?";
        case TakeAction::reset_all:
            return "Save it before all settings are reset? (\"discard\" drops the take too.)";
    }
    return "Save it?";
}

// A file name as a button label: '&' would underline, '@' start a symbol.
std::string as_label(const std::string& name) {
    std::string label;
    for (const char c : name) {
        label += c;
        if (c == '&' || c == '@') label += c;
    }
    return label;
}

// Buttons right to left as for the take: Escape answers "cancel", Enter the
// default, the free name.
ReplaceAnswer ask_replace_with_dialog(const std::string& question, const std::string& free_name) {
    fl_message_title("file exists");
    const std::string shown = free_name.substr(free_name.rfind('/') + 1);
    const std::string save_free = "save as " + as_label(shown);
    switch (fl_choice("%s", "&cancel", save_free.c_str(), "&replace", question.c_str())) {
        case 1:
            return ReplaceAnswer::free_name;
        case 2:
            return ReplaceAnswer::replace;
        default:
            return ReplaceAnswer::cancel;
    }
}

// Empties the record group's buffer, keeping its size.
void drop_take(ControlPanel& p) {
    Animation& a = p.preview->record_animation;
    a.reset(a.capacity_frames, a.nodes_per_frame);
    sync_record_buttons(p);
}

}  // namespace

bool take_unsaved(const ControlPanel& p) {
    return p.take_changed && p.preview->record_animation.frame_count > 0;
}

bool take_may_be_dropped(ControlPanel& p, TakeAction action) {
    if (!take_unsaved(p)) return true;
    const std::string question = "The take in \"record and play:\", " +
                                 take_summary(p.preview->record_animation) + ", is not saved.\n" +
                                 question_end(action);
    const TakeAnswer answer =
        (p.ask_about_take != nullptr ? p.ask_about_take : &ask_with_dialog)(question);
    switch (answer) {
        case TakeAnswer::save:
            // "save as" itself: its chooser, its file and its status line. A
            // cancelled chooser or a failed save leaves the take unsaved and
            // stops the action.
            p.record_save_as_button->do_callback();
            return !take_unsaved(p);
        case TakeAnswer::discard:
            p.take_changed = false;
            if (action == TakeAction::reset_all) {
                drop_take(p);
                show_status(p, "take discarded");
            }
            return true;
        case TakeAnswer::cancel:
            break;
    }
    return false;
}

std::string name_to_save(ControlPanel& p, const std::string& chosen,
                         std::initializer_list<std::string_view> companions) {
    if (chosen.empty() || !platform::name_taken(chosen, companions)) return chosen;
    std::string taken = chosen;
    if (!platform::name_taken(chosen)) {
        for (const std::string_view suffix : companions) {
            if (platform::name_taken(chosen + std::string(suffix))) {
                taken = chosen + std::string(suffix);
                break;
            }
        }
    }
    const std::string free_name = platform::next_free_name(chosen, companions);
    const std::string question = "\"" + taken + "\" exists already.\nReplace it, or save as \"" + free_name + "\"?";
    switch ((p.ask_about_replacing != nullptr ? p.ask_about_replacing : &ask_replace_with_dialog)(question, free_name)) {
        case ReplaceAnswer::free_name:
            return free_name;
        case ReplaceAnswer::replace:
            return chosen;
        case ReplaceAnswer::cancel:
            break;
    }
    return {};
}

void sync_record_buttons(ControlPanel& p) {
    const Animation& a = p.preview->record_animation;
    p.record_button->value(a.recording ? 1 : 0);
    p.record_play_button->value(a.playing ? 1 : 0);
    if (a.recording) {
        p.record_save_as_button->deactivate();
        p.record_play_button->deactivate();
    } else {
        p.record_save_as_button->activate();
        p.record_play_button->activate();
    }
    if (a.playing) {
        p.record_button->deactivate();
    } else {
        p.record_button->activate();
    }
}

void restore_unapplied_buffer_size(ControlPanel& p) {
    Fl_Value_Input* in = p.buffer_size_input;
    char shown[128];
    in->format(shown);
    if (std::strcmp(in->input.value(), shown) == 0) return;
    in->input.value(shown);
    show_status(p, "buffer size not changed: Enter in \"buffer size [frames]\" applies a new one");
}
