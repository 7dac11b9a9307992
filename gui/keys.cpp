// The panel's keys. They act whichever widget has the keyboard focus, except
// where that widget needs the key itself: a text or number input keeps every
// key that types or edits (only Ctrl+S, F1, F11 and the toolkit's Escape act
// there), and a slider other than a timeline keeps its arrows, Home and End.
// Space never also presses the focused button: the panel takes it first.
// The output window is not the toolkit's; its keys never reach this code.

#include <FL/Fl.H>
#include <FL/Fl_Browser_.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Value_Input.H>

#include <algorithm>
#include <string>

#include "display/preview_window.h"
#include "gui/operator_aids.h"
#include "gui/source_page.h"
#include "model/animation.h"

namespace {

// The panel whose main window the events go to; set by install_panel_keys.
ControlPanel* g_panel = nullptr;

KeyFocus focus_kind(const ControlPanel& p, Fl_Widget* focus) {
    if (focus == nullptr) return KeyFocus::other;
    if (dynamic_cast<Fl_Input_*>(focus) != nullptr) return KeyFocus::text;
    if (focus == p.record_timeline || focus == p.playback_timeline) return KeyFocus::other;
    if (dynamic_cast<Fl_Valuator*>(focus) != nullptr ||
        dynamic_cast<Fl_Browser_*>(focus) != nullptr) {
        return KeyFocus::valuator;
    }
    return KeyFocus::other;
}

// A toggle button switched as a click would switch it.
void toggle(Fl_Button* b) {
    b->value(b->value() != 0 ? 0 : 1);
    b->do_callback();
}

SourceKey source_key_of(PanelKey key) {
    switch (key) {
        case PanelKey::frame_back: return SourceKey::back;
        case PanelKey::frame_forward: return SourceKey::forward;
        case PanelKey::first_frame: return SourceKey::first;
        default: return SourceKey::last;
    }
}

// Left, Right, Home, End: the timeline of the recording group that holds the
// keyboard focus; else the open file while the Camera page is shown;
// "playback:" otherwise.
void step_timeline(ControlPanel& p, PanelKey key) {
    Fl_Widget* focus = Fl::focus();
    const bool in_group = focus != nullptr && (p.record_timeline->parent()->contains(focus) ||
                                               p.playback_timeline->parent()->contains(focus));
    if (!in_group && source_key(p, source_key_of(key))) return;
    const bool record = focus != nullptr && p.record_timeline->parent()->contains(focus);
    Animation& a = record ? p.preview->record_animation : p.preview->playback_animation;
    Fl_Slider* timeline = record ? p.record_timeline : p.playback_timeline;
    if (a.recording) {
        show_status(p, "recording: switch \"record\" off to step through the take");
        return;
    }
    if (a.frame_count <= 0) {
        show_status(p, std::string("no frames to step through in \"") +
                           (record ? "record and play:" : "playback:") + "\"");
        return;
    }
    const int32_t last = a.frame_count - 1;
    const int32_t now_at = std::clamp(a.position, 0, last);
    int32_t target = now_at;
    switch (key) {
        case PanelKey::frame_back:
            target = std::max(now_at - 1, 0);
            break;
        case PanelKey::frame_forward:
            target = std::min(now_at + 1, last);
            break;
        case PanelKey::first_frame:
            target = 0;
            break;
        case PanelKey::last_frame:
            target = last;
            break;
        default:
            return;
    }
    // The timeline's own callback seeks, so a running playback goes on from there.
    timeline->value(target);
    timeline->do_callback();
}

// Space: "play" of "playback:", as a pause that keeps the frame in view and
// goes on from it; from the last frame it starts again at the first.
void play_or_pause(ControlPanel& p) {
    Animation& a = p.preview->playback_animation;
    const int32_t at = a.position;
    toggle(p.playback_play_button);
    if (!a.playing) {
        if (at >= 0 && at < a.frame_count) a.position = at;
    } else if (at > 0 && at < a.frame_count - 1) {
        p.playback_timeline->value(at);
        p.playback_timeline->do_callback();
    }
}

void show_help_page(ControlPanel& p) {
    Fl_Group* page = p.help_view->parent();
    static_cast<Fl_Tabs*>(page->parent())->value(page);
    if (p.scroll != nullptr) p.scroll->scroll_to(p.scroll->xposition(), 0);
}

void act(ControlPanel& p, PanelKey key) {
    switch (key) {
        case PanelKey::play_pause:
            play_or_pause(p);
            break;
        case PanelKey::record:
            if (p.record_button->active()) {
                toggle(p.record_button);
            } else {
                show_status(p, "switch \"play\" of \"record and play:\" off before recording");
            }
            break;
        case PanelKey::freeze:
            toggle(p.freeze_check);
            break;
        case PanelKey::quicksave:
            p.record_quicksave_button->do_callback();
            break;
        case PanelKey::frame_back:
        case PanelKey::frame_forward:
        case PanelKey::first_frame:
        case PanelKey::last_frame:
            step_timeline(p, key);
            break;
        case PanelKey::help:
            show_help_page(p);
            break;
        case PanelKey::output_window:
            toggle_output_window(p);
            break;
        case PanelKey::none:
            break;
    }
}

int dispatch(int event, Fl_Window* window) {
    ControlPanel* p = g_panel;
    // Keys typed over the preview come with the preview's window.
    if (p == nullptr || window == nullptr || window->top_window() != p->main_window ||
        Fl::modal() != nullptr || Fl::grab() != nullptr) {
        return Fl::handle_(event, window);
    }
    if (event == FL_KEYBOARD) {
        const PanelKey key =
            panel_key(Fl::event_key(), Fl::event_state(), focus_kind(*p, Fl::focus()));
        if (key != PanelKey::none) {
            act(*p, key);
            return 1;
        }
    }
    Fl_Widget* const buffer_input = &p->buffer_size_input->input;
    const bool editing_buffer_size = Fl::focus() == buffer_input;
    const int used = Fl::handle_(event, window);
    if (editing_buffer_size && Fl::focus() != buffer_input) restore_unapplied_buffer_size(*p);
    return used;
}

}  // namespace

PanelKey panel_key(int key, int state, KeyFocus focus) {
    const int modifiers = state & (FL_CTRL | FL_ALT | FL_META);
    if (modifiers == 0 && key == FL_F + 1) return PanelKey::help;
    if (modifiers == 0 && key == FL_F + 11) return PanelKey::output_window;
    if (modifiers == FL_CTRL && key == 's') return PanelKey::quicksave;
    if (modifiers != 0 || focus == KeyFocus::text) return PanelKey::none;
    switch (key) {
        case ' ':
            return PanelKey::play_pause;
        case 'r':
            return PanelKey::record;
        case 'f':
            return PanelKey::freeze;
        default:
            break;
    }
    if (focus == KeyFocus::valuator) return PanelKey::none;
    switch (key) {
        case FL_Left:
            return PanelKey::frame_back;
        case FL_Right:
            return PanelKey::frame_forward;
        case FL_Home:
            return PanelKey::first_frame;
        case FL_End:
            return PanelKey::last_frame;
        default:
            return PanelKey::none;
    }
}

void install_panel_keys(ControlPanel& p) {
    g_panel = &p;
    Fl::event_dispatch(&dispatch);
}

std::string help_html() {
    return std::string(kQuickStartHtml) +
           "</ul><h2>Keys</h2><ul>"
           "<li><b>Space</b>: play or pause \"playback:\"; a pause keeps the frame</li>"
           "<li><b>R</b>: record on or off</li>"
           "<li><b>F</b>: freeze the camera frame, or release it</li>"
           "<li><b>Ctrl+S</b>: quicksave \"record and play:\" under its file name</li>"
           "<li><b>Left</b>, <b>Right</b>: one frame back or on in the timeline of the group you "
           "work in "
           "(\"playback:\" otherwise)</li>"
           "<li><b>Home</b>, <b>End</b>: its first and its last frame</li>"
           "<li>While the Camera page shows an open file, these four keys step through the file and go "
           "to its first and last frame instead</li>"
           "<li><b>F1</b>: this page</li>"
           "<li><b>F11</b>: open or close the output window</li>"
           "<li><b>Escape</b>: close velmora</li></ul>"
           "<p>In a text or number field only Ctrl+S, F1, F11 and Escape act; the other keys type "
           "there. "
           "A slider you clicked keeps its arrow keys. Keys do nothing in the output window.</p>";
}
