// The operator's aids on a built panel: the question before an unsaved take
// is lost (each action both ways), the buffer size on Enter, the keys and
// their focus rules, the status line, a tooltip on every control, the display
// choice and the panel on a small screen.

// clang-format off
#include "tests/gui/panel_fixture.h"  // first: see there
// clang-format on

#include <FL/Fl_Box.H>
#include <FL/Fl_Browser_.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Value_Input.H>
#include <FL/fl_draw.H>

#include <map>
#include <string>
#include <tuple>

#include "gui/operator_aids.h"
#include "model/animation.h"
#include "tests/support/test_support.h"

namespace {

using panel_testing::PanelTest;
using panel_testing::script_chooser;

void set(Fl_Button* b, int value) {
    b->value(value);
    b->do_callback();
}

// A key as the X server would deliver it to the panel's window.
void press(Fl_Window* window, int key, const char* text = "", int state = 0) {
    Fl::e_keysym = key;
    Fl::e_state = state;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = static_cast<int>(std::strlen(text));
    Fl::handle(FL_KEYBOARD, window);
}

class Operator : public PanelTest {
  protected:
    void SetUp() override {
        PanelTest::SetUp();
        p->ask_about_take = [](const std::string&) {
            ++questions;
            return answer;
        };
        questions = 0;
        answer = TakeAnswer::cancel;
    }

    Animation& take() { return p->preview->record_animation; }

    // A take recorded through "record", one frame every 10 ms.
    void record(int frames) {
        set(p->record_button, 1);
        for (int f = 0; f < frames; ++f) take().record_step(model(), 10.0f * static_cast<float>(f));
        set(p->record_button, 0);
    }

    void quicksave(const std::string& name) {
        p->record_file_input->value(name.c_str());
        p->record_quicksave_button->do_callback();
    }

    std::string status() const {
        return p->status_line->label() != nullptr ? p->status_line->label() : "";
    }

    static inline int questions = 0;
    static inline TakeAnswer answer = TakeAnswer::cancel;
    testing_support::TempDir dir;
};

// --- the unsaved take, for each action that would drop it ------------------------------

class TakeGuard : public Operator, public ::testing::WithParamInterface<TakeAction> {
  protected:
    void SetUp() override {
        Operator::SetUp();
        if (GetParam() == TakeAction::close) p->main_window->show();
    }
    void fire() {
        switch (GetParam()) {
            case TakeAction::close:
                p->main_window->do_callback();
                break;
            case TakeAction::quit:
                button("quit&&save")->do_callback();
                break;
            case TakeAction::record:
                set(p->record_button, 1);
                break;
            case TakeAction::buffer_size:
                p->buffer_size_input->value(50);
                p->buffer_size_input->do_callback();
                break;
            case TakeAction::reset_all:
                app_state.options.threshold = 99;
                button("reset all")->do_callback();
                break;
        }
    }
    // Whether the action did what it does without the question.
    bool went_on() {
        switch (GetParam()) {
            case TakeAction::close:
                return !p->main_window->visible();
            case TakeAction::quit:
                return app_state.quit_requested;
            case TakeAction::record:
                return take().recording && p->record_button->value() == 1;
            case TakeAction::buffer_size:
                return take().capacity_frames == 50;
            case TakeAction::reset_all:
                return app_state.options.threshold == 0;
        }
        return false;
    }
};

TEST_P(TakeGuard, ASavedTakeAsksNothing) {
    record(5);
    quicksave(dir.file("saved.txt"));
    fire();
    EXPECT_EQ(questions, 0);
    EXPECT_TRUE(went_on());
}

TEST_P(TakeGuard, CancelKeepsTheTakeAndEverythingElse) {
    record(5);
    fire();
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(went_on());
    EXPECT_EQ(take().frame_count, 5);
    EXPECT_TRUE(take_unsaved(*p));
    EXPECT_EQ(p->record_button->value(), 0);
    EXPECT_EQ(p->buffer_size_input->value(), 1000);  // the size in force, shown again
    EXPECT_EQ(app_state.options.threshold, GetParam() == TakeAction::reset_all ? 99 : 0);
}

TEST_P(TakeGuard, DiscardGoesOn) {
    record(5);
    answer = TakeAnswer::discard;
    fire();
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(went_on());
    // "reset all" keeps a take; the answer "discard" drops it.
    if (GetParam() == TakeAction::reset_all) {
        EXPECT_EQ(take().frame_count, 0);
    }
}

TEST_P(TakeGuard, SaveGoesOnOnlyOnceTheTakeIsInAFile) {
    record(5);
    answer = TakeAnswer::save;
    script_chooser("save data to:", "");  // cancelled
    fire();
    EXPECT_FALSE(went_on());
    EXPECT_TRUE(take_unsaved(*p));

    const std::string name = dir.file("kept.txt");
    script_chooser("save data to:", name);
    fire();
    EXPECT_TRUE(testing_support::file_exists(name));
    EXPECT_TRUE(went_on());
    EXPECT_EQ(questions, 2);
}

std::string action_name(const ::testing::TestParamInfo<TakeAction>& info) {
    switch (info.param) {
        case TakeAction::close:
            return "close";
        case TakeAction::quit:
            return "quit";
        case TakeAction::record:
            return "record";
        case TakeAction::buffer_size:
            return "buffer_size";
        case TakeAction::reset_all:
            return "reset_all";
    }
    return "unknown";
}

INSTANTIATE_TEST_SUITE_P(Actions, TakeGuard,
                         ::testing::Values(TakeAction::close, TakeAction::quit, TakeAction::record,
                                           TakeAction::buffer_size, TakeAction::reset_all),
                         action_name);

TEST_F(Operator, UnsavedMeansRecordedOrCutSinceTheLastSave) {
    record(0);
    EXPECT_FALSE(take_unsaved(*p)) << "an empty take";
    record(6);
    EXPECT_TRUE(take_unsaved(*p));
    quicksave("");
    EXPECT_TRUE(take_unsaved(*p)) << "a failed save";
    EXPECT_EQ(status(), "could NOT save animation to an empty file name");
    quicksave(dir.file("a.txt"));
    EXPECT_FALSE(take_unsaved(*p));
    EXPECT_EQ(status(), "saved 6 frames (0.05 s) to " + dir.file("a.txt"));

    p->record_cut_from->value(1);
    p->record_cut_to->value(4);
    p->record_cut_button->do_callback();
    EXPECT_TRUE(take_unsaved(*p));
    EXPECT_EQ(status(), "cut to 3 frames (0.02 s)");
    quicksave(dir.file("b.txt"));

    // Saved while recording: the frames that follow are not in the file.
    set(p->record_button, 1);
    take().record_step(model(), 0.0f);
    quicksave(dir.file("c.txt"));
    take().record_step(model(), 10.0f);
    watch_recording(*p);
    EXPECT_TRUE(take_unsaved(*p));

    // A size the buffer refuses drops nothing, so it asks nothing.
    set(p->record_button, 0);
    p->buffer_size_input->value(-5);
    p->buffer_size_input->do_callback();
    EXPECT_EQ(questions, 0);
    EXPECT_TRUE(take_unsaved(*p));
}

TEST_F(Operator, AFullBufferSwitchesRecordOffAndSaysSo) {
    p->buffer_size_input->value(4);
    p->buffer_size_input->do_callback();
    set(p->record_button, 1);
    for (int f = 0; f < 4; ++f) {
        take().record_step(model(), 10.0f * static_cast<float>(f));
        watch_recording(*p);
    }
    EXPECT_FALSE(take().recording);
    EXPECT_EQ(p->record_button->value(), 0);
    EXPECT_TRUE(p->record_save_as_button->active());
    EXPECT_TRUE(p->record_play_button->active());
    EXPECT_EQ(status(), "buffer full: recording stopped at 4 frames");
}

// --- keys and the focus ----------------------------------------------------------------

TEST(PanelKeys, ActUnlessTheFocusedWidgetNeedsThem) {
    struct Case {
        int key, state;
        KeyFocus focus;
        PanelKey action;
    };
    for (const Case& c : {Case{' ', 0, KeyFocus::other, PanelKey::play_pause},
                          Case{' ', 0, KeyFocus::text, PanelKey::none},
                          Case{'r', FL_SHIFT, KeyFocus::valuator, PanelKey::record},
                          Case{'r', 0, KeyFocus::text, PanelKey::none},
                          Case{'r', FL_CTRL, KeyFocus::other, PanelKey::none},
                          Case{'f', FL_ALT, KeyFocus::other, PanelKey::none},
                          Case{'f', FL_NUM_LOCK, KeyFocus::other, PanelKey::freeze},
                          Case{'s', FL_CTRL, KeyFocus::text, PanelKey::quicksave},
                          Case{'s', FL_CTRL | FL_SHIFT, KeyFocus::other, PanelKey::quicksave},
                          Case{'s', 0, KeyFocus::other, PanelKey::none},
                          Case{FL_Left, 0, KeyFocus::other, PanelKey::frame_back},
                          Case{FL_Right, 0, KeyFocus::valuator, PanelKey::none},
                          Case{FL_End, 0, KeyFocus::text, PanelKey::none},
                          Case{FL_Home, 0, KeyFocus::other, PanelKey::first_frame},
                          Case{FL_F + 1, 0, KeyFocus::text, PanelKey::help},
                          Case{FL_F + 11, 0, KeyFocus::valuator, PanelKey::output_window},
                          Case{FL_F + 11, FL_CTRL, KeyFocus::other, PanelKey::none}}) {
        EXPECT_EQ(panel_key(c.key, c.state, c.focus), c.action)
            << "key " << c.key << " state " << c.state << " focus " << static_cast<int>(c.focus);
    }
}

class ShownPanel : public Operator {
  protected:
    void SetUp() override {
        Operator::SetUp();
        p->main_window->show();
        Fl::check();
    }
};

TEST_F(ShownPanel, KeysTypeInInputsAndNeverPressTheFocusedButton) {
    Fl_Window* w = p->main_window;
    ASSERT_TRUE(p->record_file_input->take_focus());
    press(w, 'r', "r");
    EXPECT_STREQ(p->record_file_input->value(), "r");
    EXPECT_FALSE(take().recording);

    ASSERT_TRUE(p->playback_loop_check->take_focus());
    press(w, ' ', " ");
    EXPECT_EQ(p->playback_loop_check->value(), 0) << "Space pressed the focused button";
    EXPECT_TRUE(p->preview->playback_animation.playing);
    press(w, 'r', "r");
    EXPECT_TRUE(take().recording);
    press(w, 'r', "r");
    press(w, 'f', "f");
    EXPECT_TRUE(app_state.frame_frozen);
    EXPECT_EQ(p->freeze_check->value(), 1);
    press(w, 'f', "f");
    EXPECT_FALSE(app_state.frame_frozen);

    press(w, FL_F + 1);
    Fl_Group* help_page = p->help_view->parent();
    EXPECT_EQ(static_cast<Fl_Tabs*>(help_page->parent())->value(), help_page);

    p->record_file_input->value(dir.file("keyed.txt").c_str());
    ASSERT_TRUE(p->record_file_input->take_focus());
    press(w, 's', "\x13", FL_CTRL);
    EXPECT_TRUE(testing_support::file_exists(dir.file("keyed.txt")));
    EXPECT_FALSE(take_unsaved(*p));
}

TEST_F(ShownPanel, ArrowsStepTheTimelineOfTheFocusedGroupButLeaveAClickedSliderItsOwn) {
    Fl_Window* w = p->main_window;
    Animation& shown = p->preview->playback_animation;
    ASSERT_TRUE(shown.reset(10, 3));
    shown.frame_count = 10;
    ASSERT_TRUE(p->playback_loop_check->take_focus());
    press(w, FL_Right);
    press(w, FL_Right);
    EXPECT_EQ(shown.position, 2);
    press(w, FL_End);
    EXPECT_EQ(shown.position, 9);
    press(w, FL_Right);
    EXPECT_EQ(shown.position, 9);
    press(w, FL_Home);
    EXPECT_EQ(shown.position, 0);
    // Space pauses on the frame shown and goes on from it.
    press(w, FL_Right);
    press(w, ' ', " ");
    EXPECT_TRUE(shown.playing);
    EXPECT_EQ(shown.position, 1);
    press(w, ' ', " ");
    EXPECT_FALSE(shown.playing);
    EXPECT_EQ(shown.position, 1);
    EXPECT_EQ(p->playback_play_button->value(), 0);

    // The focus in the record group steps its (empty) take, not the playback.
    ASSERT_TRUE(p->record_loop_check->take_focus());
    press(w, FL_Right);
    EXPECT_EQ(shown.position, 1);

    // A marker slider with the focus moves itself.
    p->playback_cut_to->value(5);
    ASSERT_TRUE(p->playback_cut_to->take_focus());
    press(w, FL_Left);
    EXPECT_EQ(p->playback_cut_to->value(), 4);
    EXPECT_EQ(shown.position, 4);  // the marker's own seek
}

TEST_F(ShownPanel, BufferSizeTakesEffectOnEnterAndLeavingItShowsTheSizeInForce) {
    Fl_Window* w = p->main_window;
    Fl_Input& text = p->buffer_size_input->input;
    ASSERT_TRUE(p->buffer_size_input->take_focus());
    text.position(0, text.size());
    press(w, '2', "2");
    press(w, '5', "5");
    EXPECT_STREQ(text.value(), "25");
    EXPECT_EQ(take().capacity_frames, 1000) << "a keystroke reset the buffer";
    press(w, FL_Enter, "\r");
    EXPECT_EQ(take().capacity_frames, 25);
    EXPECT_EQ(app_state.options.animation_buffer_frames, 25);

    text.position(text.size());
    press(w, '0', "0");
    press(w, FL_Tab, "\t");  // the focus moves on without Enter
    EXPECT_NE(Fl::focus(), &text);
    EXPECT_STREQ(text.value(), "25");
    EXPECT_EQ(take().capacity_frames, 25);
}

// --- tooltips, display choice, small screens --------------------------------------------

// Whether the operator works the widget: a button, slider, input or list.
// (The tabs' labels say what they open.)
bool is_control(Fl_Widget* w) {
    if (dynamic_cast<Fl_Scrollbar*>(w) != nullptr) return false;  // part of its scrolling parent
    return dynamic_cast<Fl_Button*>(w) != nullptr || dynamic_cast<Fl_Valuator*>(w) != nullptr ||
           dynamic_cast<Fl_Input_*>(w) != nullptr || dynamic_cast<Fl_Browser_*>(w) != nullptr;
}

void collect(Fl_Group* group, std::vector<Fl_Widget*>& out) {
    for (int i = 0; i < group->children(); ++i) {
        out.push_back(group->child(i));
        if (Fl_Group* g = group->child(i)->as_group()) collect(g, out);
    }
}

TEST_F(Operator, EveryControlHasATooltip) {
    std::vector<Fl_Widget*> all;
    collect(p->main_window, all);
    int controls = 0;
    for (Fl_Widget* w : all) {
        if (!is_control(w)) continue;
        ++controls;
        EXPECT_TRUE(w->tooltip() != nullptr && *w->tooltip() != '\0')
            << "no tooltip: " << (w->label() != nullptr ? w->label() : "(unlabelled)") << " at "
            << w->x() << ", " << w->y();
    }
    EXPECT_GT(controls, 60);
}

TEST_F(Operator, UseTakesThePlaceOfTheChosenDisplay) {
    show_connected_displays(*p, {DisplayPlace{1, "A on X", 0, 0, 1366, 768, true},
                                 DisplayPlace{2, "B on X", 1366, 0, 1920, 1080, false}});
    EXPECT_EQ(p->display_list->size(), 2);
    EXPECT_EQ(p->display_list->value(), 2) << "the second display is proposed";
    p->use_display_button->do_callback();
    const Options& o = app_state.options;
    EXPECT_EQ(
        std::make_tuple(o.fullscreen_x, o.fullscreen_y, o.fullscreen_width, o.fullscreen_height),
        std::make_tuple(1366, 0, 1920, 1080));
    EXPECT_EQ(p->fullscreen_width_input->value(), 1920);
    EXPECT_STREQ(p->display_note->label(), "");

    show_connected_displays(*p, {DisplayPlace{1, "A on X", 0, 0, 1366, 768, true}});
    EXPECT_NE(std::string(p->display_note->label()).find("Only one display"), std::string::npos);
    show_connected_displays(*p, {});
    EXPECT_FALSE(p->use_display_button->active());
}

// "freeze" starts right of where the "y - invert frame buffer" label ends.
TEST_F(Operator, FreezeClearsTheLabelBeforeIt) {
    Fl_Check_Button* y_invert = p->y_invert_check;
    fl_font(y_invert->labelfont(), y_invert->labelsize());
    // A check button draws its label after a box as wide as the label size, 2 pixels apart.
    const int label_end =
        y_invert->x() + y_invert->labelsize() + 4 + static_cast<int>(fl_width(y_invert->label()));
    EXPECT_LT(label_end, p->freeze_check->x());
    EXPECT_EQ(p->freeze_check->parent(), y_invert->parent());
}

TEST_F(Operator, OnASmallScreenTheContentScrollsInPlace) {
    std::vector<Fl_Widget*> all;
    collect(p->main_window, all);
    std::map<Fl_Widget*, std::tuple<int, int, int, int>> before;
    for (Fl_Widget* w : all) before[w] = {w->x(), w->y(), w->w(), w->h()};

    fit_panel_to_screen(*p, 1920, 1200);
    EXPECT_EQ(p->scroll, nullptr);
    EXPECT_EQ(std::make_pair(p->main_window->w(), p->main_window->h()), std::make_pair(1264, 950));

    fit_panel_to_screen(*p, 1366, 768);
    ASSERT_NE(p->scroll, nullptr);
    EXPECT_EQ(std::make_pair(p->main_window->w(), p->main_window->h()),
              std::make_pair(1264 + Fl::scrollbar_size(), 768));
    EXPECT_EQ(p->main_window->children(), 1);
    for (Fl_Widget* w : all) {
        EXPECT_TRUE(p->scroll->contains(w));
        // Lists and views lay out their own scroll bars when they are sized.
        if (dynamic_cast<Fl_Scrollbar*>(w) != nullptr) continue;
        EXPECT_EQ(before[w], std::make_tuple(w->x(), w->y(), w->w(), w->h())) << w->label();
    }
    p->scroll->scroll_to(0, 950 - 768);
    EXPECT_EQ(p->status_line->y(), 920 - (950 - 768));
}

}  // namespace
