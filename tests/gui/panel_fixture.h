#pragma once
// A freshly built control panel over the process's application state, with
// the live model and the recording animation published as start-up does, and
// operator messages caught instead of shown. Callbacks are fired with
// do_callback(), as the toolkit would after an edit.

// Before the toolkit's headers: the file chooser's pull in Xlib, whose None
// macro would clash with the test framework's.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "display/preview_window.h"
#include "gui/control_panel.h"
#include "loop/app_state.h"
#include "loop/stopwatch.h"
#include "platform/message.h"

namespace panel_testing {

struct Message {
    std::string caption;
    std::string text;
};

inline std::vector<Message>& messages() {
    static std::vector<Message> caught;
    return caught;
}

inline void catch_message(const char* caption, const char* text) { messages().push_back({caption, text}); }

// A widget of the tree below `group` by its label (the first in creation
// order), optionally only among the children of `parent`.
inline Fl_Widget* find_labelled(Fl_Group* group, const char* label, const Fl_Group* parent = nullptr) {
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* w = group->child(i);
        if (w->label() != nullptr && std::strcmp(w->label(), label) == 0 &&
            (parent == nullptr || w->parent() == parent)) {
            return w;
        }
        if (Fl_Group* inner = w->as_group()) {
            if (Fl_Widget* found = find_labelled(inner, label, parent)) return found;
        }
    }
    return nullptr;
}

// What the next file chooser is asked and answers. The answer goes in from a
// timeout while the chooser's own event loop runs: the chooser is the shown
// window with the expected title, and its window's user data is the chooser.
// On a loaded machine the chooser can come up again after the first hide (the
// hide lands while it is still being shown), so the timeout keeps watching
// and answers it again until the next script or the end of the test.
struct ChooserScript {
    std::string title;       // expected title
    std::string answer;      // the name to answer; empty: cancel
    bool seen = false;       // a chooser with that title came up
    std::string pattern;     // its pattern, when it first came up
    std::string proposed;    // the name it first proposed, as the chooser shows it (absolute)
    std::chrono::steady_clock::time_point give_up{};
};

inline ChooserScript& chooser_script() {
    static ChooserScript script;
    return script;
}

inline void answer_chooser(void*) {
    ChooserScript& s = chooser_script();
    Fl_Window* w = Fl::first_window();
    while (w != nullptr && !(w->shown() && w->label() != nullptr && s.title == w->label())) {
        w = Fl::next_window(w);
    }
    if (w != nullptr) {
        auto* chooser = static_cast<Fl_File_Chooser*>(w->user_data());
        if (!s.seen) {
            s.seen = true;
            s.pattern = chooser->filter() != nullptr ? chooser->filter() : "";
            s.proposed = chooser->value() != nullptr ? chooser->value() : "";
        }
        chooser->value(s.answer.c_str());  // an empty name is what Cancel leaves
        chooser->hide();
    }
    // A chooser with another title is left to time the test out.
    if (std::chrono::steady_clock::now() < s.give_up) Fl::add_timeout(0.02, answer_chooser);
}

// Arms the answer for the next chooser titled `title`.
inline void script_chooser(const std::string& title, const std::string& answer) {
    Fl::remove_timeout(answer_chooser);
    ChooserScript& s = chooser_script();
    s = ChooserScript{};
    s.title = title;
    s.answer = answer;
    s.give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    Fl::add_timeout(0.02, answer_chooser);
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The toolkit's own chooser, which the scripts answer, even where a
        // desktop dialog is installed.
        Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
        app_state.options = default_options();
        app_state.selected_node = -1;
        app_state.quit_requested = false;
        p = &build_control_panel(app_state);
        refresh_from_options(*p);
        app_state.node_model = &p->preview->model;
        app_state.record_animation = &p->preview->record_animation;
        stopwatch.start();
        app_state.stopwatch = &stopwatch;
        platform::set_message_sink(&catch_message);
        messages().clear();
    }

    void TearDown() override {
        Fl::remove_timeout(answer_chooser);
        platform::set_message_sink(nullptr);
        app_state.stopwatch = nullptr;
        app_state.node_model = nullptr;
        app_state.record_animation = nullptr;
        delete p->main_window;  // and with it every widget of the panel
    }

    NodeModel& model() { return p->preview->model; }
    Fl_Widget* button(const char* label, const Fl_Group* parent = nullptr) {
        Fl_Widget* w = find_labelled(p->main_window, label, parent);
        EXPECT_NE(w, nullptr) << label;
        return w;
    }

    ControlPanel* p = nullptr;
    Stopwatch stopwatch{};
};

}  // namespace panel_testing
