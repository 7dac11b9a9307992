// The control panel's callbacks, fired as the toolkit fires them after an
// edit: what each one stores, the rules of the node count, the markers and
// the cut, the activation states of the record group, the buffer size, the
// file choosers and the rule for file names that do not fit the options.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "model/animation_file.h"
#include "model/model_file.h"
#include "tests/support/test_support.h"

namespace {

using panel_testing::chooser_script;
using panel_testing::messages;
using panel_testing::PanelTest;
using panel_testing::script_chooser;

// --- options setters ---------------------------------------------------------------

struct Setter {
    const char* name;
    Fl_Valuator* (*widget)(ControlPanel&);
    int32_t Options::*field;
};
std::ostream& operator<<(std::ostream& os, const Setter& s) { return os << s.name; }

#define SETTER(member, field)                                                          \
    Setter {                                                                           \
        #member, [](ControlPanel& p) -> Fl_Valuator* { return p.member; }, &Options::field \
    }

class OptionSetters : public PanelTest, public ::testing::WithParamInterface<Setter> {};

// The value, truncated toward zero, lands in the widget's own field and
// nowhere else; values beyond the int32 range saturate.
TEST_P(OptionSetters, StoreTheValueTruncatedTowardZero) {
    const Setter s = GetParam();
    Fl_Valuator* w = s.widget(*p);
    for (const auto& [value, stored] : {std::pair<double, int32_t>{7.9, 7},
                                        {-7.9, -7},
                                        {1.999, 1},
                                        {0.5, 0},
                                        {3e9, INT32_MAX},
                                        {-3e9, INT32_MIN}}) {
        const Options before = app_state.options;
        w->value(value);
        w->do_callback();
        EXPECT_EQ(app_state.options.*s.field, stored) << value;
        Options expected = before;
        expected.*s.field = stored;
        EXPECT_EQ(std::memcmp(&app_state.options, &expected, sizeof expected), 0) << "another field changed";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Widgets, OptionSetters,
    ::testing::Values(SETTER(brightness_slider, camera_brightness), SETTER(gain_slider, camera_gain),
                      SETTER(shutter_slider, camera_shutter), SETTER(iterations_slider, kmeans_iterations),
                      SETTER(threads_slider, kmeans_threads), SETTER(clusters_slider, kmeans_clusters),
                      SETTER(rg_max_distance_slider, regiongrow_max_distance),
                      SETTER(rg_max_size_slider, regiongrow_max_cluster_size),
                      SETTER(rg_min_size_slider, regiongrow_min_cluster_size),
                      SETTER(cure_max_distance_slider, cure_max_distance),
                      SETTER(cure_max_size_slider, cure_max_cluster_size),
                      SETTER(cure_min_size_slider, cure_min_cluster_size), SETTER(threshold_slider, threshold),
                      SETTER(line_width_slider, line_width), SETTER(sensor_radius_slider, sensor_max_radius),
                      SETTER(min_node_distance_slider, min_node_distance),
                      SETTER(track_distance_slider, max_track_distance),
                      SETTER(fullscreen_x_input, fullscreen_x), SETTER(fullscreen_y_input, fullscreen_y),
                      SETTER(fullscreen_width_input, fullscreen_width),
                      SETTER(fullscreen_height_input, fullscreen_height)),
    [](const ::testing::TestParamInfo<Setter>& info) { return std::string(info.param.name); });

TEST_F(PanelTest, FlagsFollowTheirButtonsAndTheRadiosSetTheMethodWhateverTheirState) {
    p->y_invert_check->value(0);
    p->y_invert_check->do_callback();
    EXPECT_EQ(app_state.options.y_invert, 0);
    p->y_invert_check->value(1);
    p->y_invert_check->do_callback();
    EXPECT_EQ(app_state.options.y_invert, 1);
    p->show_thresholding_check->value(1);
    p->show_thresholding_check->do_callback();
    EXPECT_EQ(app_state.options.show_thresholding, 1);
    p->show_thresholding_check->value(0);
    p->show_thresholding_check->do_callback();
    EXPECT_EQ(app_state.options.show_thresholding, 0);

    for (const auto& [radio, method] : {std::pair<Fl_Round_Button*, int>{p->kmeans_radio, 1},
                                        {p->cure_radio, 2},
                                        {p->regiongrow_radio, 0}}) {
        for (const int state : {1, 0}) {
            app_state.options.cluster_method = 9;
            radio->value(state);
            radio->do_callback();
            EXPECT_EQ(app_state.options.cluster_method, method);
        }
    }
}

// --- number of nodes ----------------------------------------------------------------

struct NodeCountCase {
    double typed;
    int32_t nodes;  // 0: ignored
};
std::ostream& operator<<(std::ostream& os, const NodeCountCase& c) { return os << c.typed; }

class NodeCount : public PanelTest, public ::testing::WithParamInterface<NodeCountCase> {};

// Only values strictly between 1 and 11 count, truncated; anything else leaves
// the option, the model (even a node moved off its row) and the input as they are.
TEST_P(NodeCount, OnlyValuesStrictlyBetweenOneAndElevenCount) {
    const NodeCountCase c = GetParam();
    model().nodes[0] = ModelNode{333, 44, 255};
    p->node_count_input->value(c.typed);
    p->node_count_input->do_callback();
    if (c.nodes == 0) {
        EXPECT_EQ(app_state.options.node_count, 3);
        EXPECT_EQ(model().nodes.size(), 3u);
        EXPECT_EQ(model().nodes[0].x, 333);
    } else {
        EXPECT_EQ(app_state.options.node_count, c.nodes);
        ASSERT_EQ(model().nodes.size(), static_cast<size_t>(c.nodes));
        EXPECT_EQ(model().sensors.size(), static_cast<size_t>(c.nodes));
        EXPECT_EQ(model().nodes[0].x, 50);  // laid out on its row again
    }
    EXPECT_EQ(p->node_count_input->value(), c.typed);
}

INSTANTIATE_TEST_SUITE_P(Values, NodeCount,
                         ::testing::Values(NodeCountCase{2, 2}, NodeCountCase{2.5, 2}, NodeCountCase{10.99, 10},
                                           NodeCountCase{1.5, 1}, NodeCountCase{1, 0}, NodeCountCase{11, 0},
                                           NodeCountCase{25, 0}, NodeCountCase{0, 0}, NodeCountCase{-4, 0},
                                           NodeCountCase{1e12, 0}));

// --- the recording groups ---------------------------------------------------------------

// The widgets of one group and its animation.
struct GroupWidgets {
    Animation& a;
    Fl_Slider* timeline;
    Fl_Slider* from;
    Fl_Slider* to;
    Fl_Widget* cut;
};

class Groups : public PanelTest, public ::testing::WithParamInterface<bool> {
protected:
    GroupWidgets group() {
        if (GetParam()) {
            return {p->preview->record_animation, p->record_timeline, p->record_cut_from, p->record_cut_to,
                    p->record_cut_button};
        }
        return {p->preview->playback_animation, p->playback_timeline, p->playback_cut_from, p->playback_cut_to,
                button("cut", p->playback_load_button->parent())};
    }

    // Ten recorded frames: node n of frame f at (100 f + n, f, 255), frame f at 10 f ms.
    void record_ten(Animation& a) {
        ASSERT_TRUE(a.reset(20, 3));
        NodeModel live;
        a.recording = true;
        for (int f = 0; f < 10; ++f) {
            for (int n = 0; n < 3; ++n) live.nodes[static_cast<size_t>(n)] = ModelNode{100 * f + n, f, 255};
            a.record_step(live, 10.0f * static_cast<float>(f));
        }
        a.recording = false;
    }

    static void move(Fl_Slider* s, double v) {
        s->value(v);
        s->do_callback();
    }
};

TEST_P(Groups, MarkersKeepToTheRecordedFramesAndSeek) {
    GroupWidgets g = group();
    // Without frames the moved marker goes back to 0.
    move(g.from, 7);
    EXPECT_EQ(g.from->value(), 0);
    move(g.to, 7);
    EXPECT_EQ(g.to->value(), 0);

    record_ten(g.a);
    g.to->value(5);
    move(g.from, 12);  // beyond the frames: 9, then before the end marker: 4
    EXPECT_EQ(g.from->value(), 4);
    EXPECT_EQ(g.a.position, 4);
    move(g.to, 20);  // beyond the frames: 9
    EXPECT_EQ(g.to->value(), 9);
    EXPECT_EQ(g.a.position, 9);
    move(g.to, 3);  // not after the start marker: start + 1
    EXPECT_EQ(g.to->value(), 5);
    EXPECT_EQ(g.a.position, 5);
    move(g.timeline, 7.8);
    EXPECT_EQ(g.a.position, 7);
    move(g.timeline, 10);  // not a recorded frame: refused
    EXPECT_EQ(g.a.position, 7);
}

TEST_P(Groups, CutKeepsTheMarkedFramesAndResetsTheMarkers) {
    GroupWidgets g = group();
    record_ten(g.a);
    g.from->value(2);
    g.to->value(5);
    g.cut->do_callback();
    ASSERT_EQ(g.a.frame_count, 3);
    EXPECT_EQ(g.from->value(), 0);
    EXPECT_EQ(g.to->value(), 2);
    EXPECT_EQ(g.timeline->value(), 2);
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(g.a.frames[static_cast<size_t>(3 * f)].x, 100 * (f + 2)) << f;
        EXPECT_EQ(g.a.frames[static_cast<size_t>(3 * f + 2)].y, f + 2) << f;
    }
    // A range the crop refuses changes nothing but the markers.
    g.from->value(2);
    g.to->value(2);
    g.cut->do_callback();
    EXPECT_EQ(g.a.frame_count, 3);
    EXPECT_EQ(g.to->value(), 2);
}

INSTANTIATE_TEST_SUITE_P(RecordAndPlayback, Groups, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "record" : "playback");
                         });

TEST_F(PanelTest, RecordAndPlayOfTheRecordGroupExcludeEachOther) {
    Animation& a = p->preview->record_animation;
    a.frame_count = 5;
    a.position = 5;
    p->record_timeline->value(5);
    p->record_button->value(1);
    p->record_button->do_callback();
    EXPECT_TRUE(a.recording);
    EXPECT_FALSE(a.playing);
    EXPECT_EQ(a.position, 0);
    EXPECT_EQ(a.frame_count, 0);
    EXPECT_EQ(p->record_timeline->value(), 0);
    EXPECT_FALSE(p->record_save_as_button->active());
    EXPECT_FALSE(p->record_play_button->active());
    EXPECT_TRUE(p->record_button->active());

    p->record_button->value(0);
    p->record_button->do_callback();
    EXPECT_FALSE(a.recording);
    EXPECT_TRUE(p->record_save_as_button->active());
    EXPECT_TRUE(p->record_play_button->active());

    p->record_loop_check->value(1);
    p->record_play_button->value(1);
    p->record_play_button->do_callback();
    EXPECT_TRUE(a.playing);
    EXPECT_TRUE(a.loop);
    EXPECT_FALSE(a.recording);
    EXPECT_FALSE(p->record_button->active());
    EXPECT_GT(a.start_time, 0.0f);

    p->record_play_button->value(0);
    p->record_play_button->do_callback();
    EXPECT_FALSE(a.playing);
    EXPECT_FALSE(a.loop);
    EXPECT_EQ(a.start_time, 0.0f);
    EXPECT_TRUE(p->record_button->active());
}

TEST_F(PanelTest, PlayOfThePlaybackGroupChangesNoWidgetAndLeavesRecordingRunning) {
    Animation& recorded = p->preview->record_animation;
    p->record_button->value(1);
    p->record_button->do_callback();
    Animation& a = p->preview->playback_animation;
    p->playback_loop_check->value(1);
    p->playback_play_button->value(1);
    p->playback_play_button->do_callback();
    EXPECT_TRUE(a.playing);
    EXPECT_TRUE(a.loop);
    EXPECT_TRUE(recorded.recording);
    EXPECT_TRUE(p->record_button->active());
    EXPECT_TRUE(p->playback_save_as_button->active());
    p->playback_play_button->value(0);
    p->playback_play_button->do_callback();
    EXPECT_FALSE(a.playing);
    EXPECT_FALSE(a.loop);
    EXPECT_TRUE(recorded.recording);
}

TEST_F(PanelTest, VisibleShowsTheGroupsOwnAnimationModel) {
    p->playback_visible_check->value(1);
    p->playback_visible_check->do_callback();
    EXPECT_TRUE(p->preview->playback_animation.model.visible);
    EXPECT_FALSE(p->preview->record_animation.model.visible);
    p->record_visible_check->value(1);
    p->record_visible_check->do_callback();
    EXPECT_TRUE(p->preview->record_animation.model.visible);
}

// --- buffer size --------------------------------------------------------------------

TEST_F(PanelTest, BufferSizeResizesTheRecordingBufferAndTheTimeline) {
    app_state.options.node_count = 4;
    p->buffer_size_input->value(250.9);
    p->buffer_size_input->do_callback();
    EXPECT_EQ(app_state.options.animation_buffer_frames, 250);
    EXPECT_EQ(p->preview->record_animation.capacity_frames, 250);
    EXPECT_EQ(p->preview->record_animation.nodes_per_frame, 4);
    EXPECT_EQ(p->record_timeline->maximum(), 250);
}

// Sizes the buffer refuses (negative, or beyond its limit) change neither
// the option, nor the buffer, nor the timeline; the input shows the size in
// force again (not the option, which "reset all" may have changed), and the
// operator is told why.
TEST_F(PanelTest, BufferSizesTheBufferRefusesChangeNothingAndAreExplained) {
    ASSERT_TRUE(p->preview->record_animation.reset(700, 3));
    size_t shown = 0;
    for (const double frames : {-5.0, -0.5e9, 1e9, 3e10}) {
        p->buffer_size_input->value(frames);
        p->buffer_size_input->do_callback();
        EXPECT_EQ(app_state.options.animation_buffer_frames, 1000) << frames;
        EXPECT_EQ(p->preview->record_animation.capacity_frames, 700) << frames;
        EXPECT_EQ(p->preview->record_animation.frames.size(), 2100u) << frames;
        EXPECT_EQ(p->record_timeline->maximum(), 1000) << frames;
        EXPECT_EQ(p->buffer_size_input->value(), 700) << frames;
        ASSERT_EQ(messages().size(), ++shown) << frames;
        EXPECT_EQ(messages().back().caption, "buffer size [frames]");
        EXPECT_NE(messages().back().text.find("16777216"), std::string::npos) << messages().back().text;
        EXPECT_NE(messages().back().text.find("keeps its 700 frames"), std::string::npos) << messages().back().text;
    }
}

// --- reset and quit -------------------------------------------------------------------

TEST_F(PanelTest, ResetAllRestoresTheDefaultsButTheCureFieldsAndShowsThem) {
    Options& o = app_state.options;
    o.cluster_method = 1, o.threshold = 180, o.node_count = 5, o.fullscreen_width = 640;
    o.cure_max_distance = 7, o.cure_max_cluster_size = 8, o.cure_min_cluster_size = 9;
    o.animation_buffer_frames = 300;
    refresh_from_options(*p);
    p->regiongrow_radio->value(1);  // a stray second mark
    button("reset all")->do_callback();

    Options expected = default_options();
    expected.cure_max_distance = 7, expected.cure_max_cluster_size = 8, expected.cure_min_cluster_size = 9;
    EXPECT_EQ(std::memcmp(&o, &expected, sizeof o), 0);
    EXPECT_EQ(p->regiongrow_radio->value() + p->kmeans_radio->value() + p->cure_radio->value(), 1);
    EXPECT_EQ(p->regiongrow_radio->value(), 1);
    EXPECT_EQ(p->threshold_slider->value(), 0);
    EXPECT_EQ(p->cure_max_distance_slider->value(), 7);
    EXPECT_EQ(p->buffer_size_input->value(), 1000);
    EXPECT_EQ(p->record_timeline->maximum(), 1000);
}

TEST_F(PanelTest, QuitAndSaveAsksTheLoopToEnd) {
    button("quit&&save")->do_callback();
    EXPECT_TRUE(app_state.quit_requested);
}

// --- files --------------------------------------------------------------------------------

class Files : public PanelTest {
protected:
    testing_support::TempDir dir;
    std::string missing_dir_name(size_t length) {
        // A name in a folder that does not exist, so nothing can be written.
        std::string name = dir.file("missing/");
        name.append(length - name.size() - 4, 'n');
        return name + ".txt";
    }
    Fl_Widget* model_button(const char* label) { return button(label, p->node_count_input->parent()); }
};

TEST_F(Files, ChoosersHaveTheirTitlesPatternAndProposedPaths) {
    store_path(app_state.options.save_path, dir.file("proposed_save.txt"));
    store_path(app_state.options.load_path, dir.file("proposed_load.txt"));
    struct Case {
        Fl_Widget* widget;
        const char* title;
        const char* proposed;
        const char* pattern;
    };
    // A model is also the ".model" beside a saved take.
    for (const Case& c : {Case{model_button("load"), "load model from:", "proposed_load.txt", "*.{txt,model}"},
                          Case{model_button("save"), "save model to:", "proposed_save.txt", "*.txt"},
                          Case{p->record_save_as_button, "save data to:", "proposed_save.txt", "*.txt"},
                          Case{p->playback_save_as_button, "save data to:", "proposed_save.txt", "*.txt"},
                          Case{p->playback_load_button, "load data from:", "proposed_load.txt", "*.txt"}}) {
        script_chooser(c.title, "");  // cancelled: nothing happens
        c.widget->do_callback();
        EXPECT_TRUE(chooser_script().seen) << c.title;
        EXPECT_EQ(chooser_script().pattern, c.pattern) << c.title;
        EXPECT_EQ(chooser_script().proposed, dir.file(c.proposed)) << c.title;
    }
    EXPECT_EQ(std::string(app_state.options.save_path), dir.file("proposed_save.txt"));
    EXPECT_EQ(std::string(app_state.options.load_path), dir.file("proposed_load.txt"));
    EXPECT_TRUE(messages().empty());
}

// A loaded options file may leave a path field without its NUL: the proposal
// ends with the field and never takes in what lies behind it.
TEST_F(Files, AProposedPathEndsWithItsField) {
    std::memset(app_state.options.save_path, 's', sizeof app_state.options.save_path);
    std::memset(app_state.options.load_path, 'l', sizeof app_state.options.load_path);
    script_chooser("save model to:", "");
    model_button("save")->do_callback();
    ASSERT_TRUE(chooser_script().seen);
    // The chooser shows the relative name in the working folder.
    const std::string& proposed = chooser_script().proposed;
    EXPECT_EQ(proposed.substr(proposed.rfind('/') + 1), std::string(1024, 's'));
}

TEST_F(Files, SaveAsWritesTheFileAndKeepsItsName) {
    const std::string name = dir.file("take.txt");
    script_chooser("save data to:", name);
    p->record_save_as_button->do_callback();
    EXPECT_TRUE(testing_support::file_exists(name));
    EXPECT_TRUE(testing_support::file_exists(name + ".model"));
    EXPECT_EQ(std::string(app_state.options.save_path), name);
    EXPECT_EQ(std::string(p->record_file_input->value()), name);
}

TEST_F(Files, ModelFilesGoThroughTheirChoosers) {
    model().set_node_count(4);
    const std::string name = dir.file("four.txt");
    script_chooser("save model to:", name);
    model_button("save")->do_callback();
    ASSERT_TRUE(testing_support::file_exists(name));
    EXPECT_EQ(std::string(app_state.options.save_path), "output.txt");  // not kept

    // Loading replaces the model; the selection index taken before still
    // points at node 7 of a longer model and is not used.
    model().set_node_count(8);
    app_state.selected_node = 7;
    p->sensor_x_input->value(123);
    script_chooser("load model from:", name);
    model_button("load")->do_callback();
    EXPECT_EQ(model().nodes.size(), 4u);
    EXPECT_EQ(p->sensor_x_input->value(), 123);
    EXPECT_EQ(std::string(app_state.options.load_path), "output.txt");
}

TEST_F(Files, LoadIntoThePlaybackGroupKeepsTheName) {
    Animation recorded;
    recorded.frame_count = 2;
    const std::string name = dir.file("two.txt");
    ASSERT_TRUE(save_animation(recorded, name));
    script_chooser("load data from:", name);
    p->playback_load_button->do_callback();
    EXPECT_EQ(p->preview->playback_animation.frame_count, 2);
    EXPECT_EQ(std::string(app_state.options.load_path), name);
    EXPECT_STREQ(p->playback_file_input->value(), "");
}

// A save through a chooser never replaces a file unasked: the question
// offers the next free name, "replace" replaces and "cancel" saves nothing.
// "<-quicksave" writes to the name in its field without a question.
TEST_F(Files, SavesThroughAChooserAskBeforeReplacingAndOfferTheNextFreeName) {
    static std::vector<std::string> offered;
    static ReplaceAnswer answer = ReplaceAnswer::cancel;
    offered.clear();
    p->ask_about_replacing = [](const std::string&, const std::string& free_name) {
        offered.push_back(free_name);
        return answer;
    };
    struct Save {
        const char* title;
        Fl_Widget* button;
        const char* name;
        const char* free_name;
    };
    for (const Save& save : {Save{"save data to:", p->record_save_as_button, "take1.txt", "take2.txt"},
                             Save{"save data to:", p->playback_save_as_button, "take1.txt", "take2.txt"},
                             Save{"save model to:", model_button("save"), "chain9.txt", "chain10.txt"},
                             Save{"export CSV to:", p->record_export_button, "walk.csv", "walk2.csv"}}) {
        for (const ReplaceAnswer a : {ReplaceAnswer::free_name, ReplaceAnswer::replace, ReplaceAnswer::cancel}) {
            const std::string name = dir.file(save.name), free_name = dir.file(save.free_name);
            testing_support::write_whole_file(name, "old");
            std::filesystem::remove(free_name);
            std::filesystem::remove(free_name + ".model");
            answer = a;
            offered.clear();
            script_chooser(save.title, name);
            save.button->do_callback();
            ASSERT_EQ(offered, std::vector<std::string>{free_name}) << save.name;
            EXPECT_EQ(testing_support::read_whole_file(name) == "old", a != ReplaceAnswer::replace) << save.name;
            EXPECT_EQ(testing_support::file_exists(free_name), a == ReplaceAnswer::free_name) << save.name;
        }
    }
    offered.clear();
    p->record_file_input->value(dir.file("take1.txt").c_str());
    p->record_quicksave_button->do_callback();
    EXPECT_TRUE(offered.empty());
    EXPECT_NE(testing_support::read_whole_file(dir.file("take1.txt")), "old");
    p->ask_about_replacing = nullptr;
}

// 1023 characters fit the path fields; one more does not: such a name is
// refused whole, with a message, and the field keeps every byte it had. The
// names lie in a folder that does not exist, so every file operation fails
// and says so first.
TEST_F(Files, NamesLongerThan1023CharactersAreRefusedWithAMessage) {
    const Options before = app_state.options;
    const std::string fits = missing_dir_name(1023);
    const std::string too_long = missing_dir_name(1024);
    const std::string far_too_long = missing_dir_name(1500);
    auto expect_messages = [&](std::vector<std::string> captions, const char* step) {
        ASSERT_EQ(messages().size(), captions.size()) << step;
        for (size_t k = 0; k < captions.size(); ++k) EXPECT_EQ(messages()[k].caption, captions[k]) << step;
    };

    p->record_file_input->value(too_long.c_str());
    p->record_quicksave_button->do_callback();
    EXPECT_EQ(std::memcmp(app_state.options.save_path, before.save_path, 1024), 0);
    expect_messages({"file", "file name"}, "quicksave");
    EXPECT_NE(messages()[1].text.find("1023"), std::string::npos);

    script_chooser("save data to:", far_too_long);
    p->playback_save_as_button->do_callback();
    EXPECT_EQ(std::memcmp(app_state.options.save_path, before.save_path, 1024), 0);
    expect_messages({"file", "file name", "file", "file name"}, "save as");

    script_chooser("load data from:", far_too_long);
    p->playback_load_button->do_callback();
    EXPECT_EQ(std::memcmp(app_state.options.load_path, before.load_path, 1024), 0);
    expect_messages({"file", "file name", "file", "file name", "file", "file name"}, "load");

    p->playback_file_input->value(fits.c_str());
    p->playback_quicksave_button->do_callback();
    EXPECT_EQ(std::string(app_state.options.save_path), fits);
    expect_messages({"file", "file name", "file", "file name", "file", "file name", "file"}, "quicksave that fits");
    EXPECT_EQ(std::memcmp(app_state.options.load_path, before.load_path, 1024), 0);
}

// A failed save or load reaches the operator and the error stream, each once,
// in the same words; a good one and a recording without its companion model
// say nothing there.
TEST_F(Files, FailedSavesAndLoadsAreShownOnceAndLoggedOnce) {
    const std::string missing = dir.file("missing/take.txt");
    const std::string good = dir.file("good.txt");
    const std::string blocked = dir.file("blocked.txt");  // its companion name is a folder
    ASSERT_TRUE(std::filesystem::create_directory(blocked + ".model"));
    struct Step {
        std::function<void()> act;
        std::string failure;  // empty: none
    };
    const std::vector<Step> steps = {
        {[&] { script_chooser("save model to:", missing); model_button("save")->do_callback(); },
         "could NOT save model to " + missing},
        {[&] { script_chooser("load model from:", missing); model_button("load")->do_callback(); },
         "could NOT load model from " + missing},
        {[&] { script_chooser("save data to:", missing); p->record_save_as_button->do_callback(); },
         "could NOT save animation to " + missing},
        {[&] { script_chooser("load data from:", missing); p->playback_load_button->do_callback(); },
         "could NOT load animation from " + missing},
        {[&] { p->record_file_input->value(blocked.c_str()); p->record_quicksave_button->do_callback(); },
         "could NOT save model to " + blocked + ".model"},
        {[&] { p->record_file_input->value(good.c_str()); p->record_quicksave_button->do_callback(); }, ""},
        {[&] { std::filesystem::remove(good + ".model");
               script_chooser("load data from:", good); p->playback_load_button->do_callback(); }, ""},
    };
    for (const Step& step : steps) {
        messages().clear();
        ::testing::internal::CaptureStderr();
        step.act();
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (step.failure.empty()) {
            EXPECT_EQ(err, "");
            EXPECT_TRUE(messages().empty());
            continue;
        }
        EXPECT_EQ(err, "\n" + step.failure);
        ASSERT_EQ(messages().size(), 1u) << step.failure;
        EXPECT_EQ(messages()[0].caption, "file");
        EXPECT_EQ(messages()[0].text, step.failure);
    }
    EXPECT_EQ(p->preview->playback_animation.capacity_frames, 0) << "the good, empty take loaded";
}

}  // namespace
