#pragma once
// What the panel does for its operator beyond its fixed widgets: a status line
// that says what the last action did, a question before an unsaved take is
// lost, keys, tooltips, "freeze", a choice of display for the output window,
// and scrolling on a screen smaller than the panel.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "gui/control_panel.h"
#include "platform/displays.h"

struct Animation;

// --- construction (operator_aids.cpp) -------------------------------------------

// Adds the status line, "freeze" and the display choice to the built panel,
// gives every control without a tooltip one, and takes over the main window's
// close and the panel's keys. Called once, at the end of the panel's build.
void build_operator_aids(ControlPanel& p);

// On a screen (work area) smaller than the panel, moves the panel's content
// into a scrolling area and fits the window to the screen; the window can
// then be resized up to the whole panel. On a screen large enough nothing
// changes: the window keeps its fixed size and every widget its place.
void fit_panel_to_screen(ControlPanel& p, int screen_w, int screen_h);

// Fills the display list of the Fullscreen page and selects the display the
// output window most likely belongs on: the first that is not the primary.
void show_connected_displays(ControlPanel& p, std::vector<DisplayPlace> displays);

// "freeze" switched to `on`, by its check button or its key.
void set_freeze(ControlPanel& p, bool on);

// "F11": opens the output window, or closes it when it is open.
void toggle_output_window(ControlPanel& p);

// --- status line (status_line.cpp) ----------------------------------------------

void show_status(ControlPanel& p, const std::string& text);

// "503 frames (1.45 s)": the recorded frames and the time from the first to the last.
std::string take_summary(const Animation& a);

// What the panel does after each action on a recording group's animation:
// says what happened on the status line and keeps track of whether the
// record group's take is saved.
void after_save(ControlPanel& p, const Animation& a, const std::string& name, bool saved);
void after_load(ControlPanel& p, const Animation& a, const std::string& name, bool loaded);
void after_cut(ControlPanel& p, const Animation& a, int32_t frames_before);
void after_record_switch(ControlPanel& p);
void after_buffer_size(ControlPanel& p, bool accepted);
void after_model_file(ControlPanel& p, bool loading, const std::string& name, bool ok);

// Once per cycle, after recording: a full buffer switches "record" off.
void watch_recording(ControlPanel& p);

// --- the unsaved take (take_guard.cpp) --------------------------------------------

// Recorded or cut since the last save of the record group, and not empty.
bool take_unsaved(const ControlPanel& p);

enum class TakeAction { close, quit, record, buffer_size, reset_all };

// Before an action that would drop the record group's take: true when the
// action may go on. With an unsaved take the operator is asked first: "save"
// runs "save as" and goes on only when the take was saved, "discard" goes on
// (and for "reset all" drops the take, as the answer says), "cancel" stops.
// With nothing unsaved: true, no question.
bool take_may_be_dropped(ControlPanel& p, TakeAction action);

// A save under a name the operator chose in a file chooser, which proposed
// a name of its own: the name to save under, or empty when nothing is to be
// saved. A name that a file takes (or one of `companions` beside it, such as
// a take's ".model") is not replaced without a question, which offers the
// next free name ("take2.txt") as its default. "<-quicksave" does not ask: it
// writes to the name in its field.
std::string name_to_save(ControlPanel& p, const std::string& chosen,
                         std::initializer_list<std::string_view> companions = {});

// The record group's buttons after its animation changed under them: the
// lights show whether it records and plays, and "record" excludes "play".
void sync_record_buttons(ControlPanel& p);

// Leaving "buffer size [frames]" without Enter: the input shows the size in
// force again, since only Enter applies a new one.
void restore_unapplied_buffer_size(ControlPanel& p);

// --- keys (keys.cpp) ----------------------------------------------------------------

enum class PanelKey {
    none,
    play_pause,     // Space: "play" of "playback:"
    record,         // R
    freeze,         // F
    quicksave,      // Ctrl+S: "<-quicksave" of "record and play:"
    frame_back,     // Left
    frame_forward,  // Right
    first_frame,    // Home
    last_frame,     // End
    help,           // F1
    output_window,  // F11
};

// What has the keyboard focus, as far as the keys care.
enum class KeyFocus {
    other,     // a button, the preview, nothing
    text,      // a text or number input: it takes the keys that type or edit
    valuator,  // a slider other than a timeline: it takes the arrows, Home and End
};

// The action of a key (the toolkit's key code) with the modifier state.
PanelKey panel_key(int key, int state, KeyFocus focus);

// The toolkit's events to the panel pass here first (Fl::event_dispatch).
void install_panel_keys(ControlPanel& p);

// The Help page: the quick-start text, then the keys.
std::string help_html();
