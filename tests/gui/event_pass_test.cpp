// The main loop's event pass: with a video file open it waits for the file's
// next frame instead of spinning; the synthetic camera's loop never waits.
// And the source page's answers to a file: Enter opens, the camera controls rest.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Box.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/x.H>

#include <chrono>
#include <string>
#include <vector>

#include "gui/source_page.h"
#include "loop/main_loop.h"
#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"

namespace {

class EventPass : public panel_testing::PanelTest {
protected:
    void TearDown() override {
        close_source_page(*p);
        app_state.extras = ExtraSettings{};
        PanelTest::TearDown();
    }

    MainLoop loop{app_state};  // outlives the source page, which points at it
};

}  // namespace

TEST_F(EventPass, WithAFileOpenTheLoopTakesAboutOnePassPerFrame) {
    fl_open_display();
    connect_source_page(*p, app_state, loop);
    EXPECT_EQ(source_wait_seconds(*p), 0) << "the synthetic camera's loop never waits";

    // 60 frames at 25 a second, each a little brighter than the last.
    testing_support::TempDir dir;
    std::vector<Frame> frames;
    for (int i = 0; i < 60; ++i) frames.emplace_back(kFrameBytes, static_cast<uint8_t>(2 * i));
    const std::string file = dir.file("ramp.y4m");
    video_inputs::write_y4m(file, frames, kFrameWidth, kFrameHeight);
    EXPECT_FALSE(open_source_text(*p, dir.file("missing.mkv")));
    EXPECT_EQ(std::string(p->status_line->label()).rfind("could not open", 0), 0u) << p->status_line->label();
    ASSERT_TRUE(open_source_text(*p, file));
    EXPECT_EQ(std::string(p->status_line->label()).rfind("opened ", 0), 0u) << p->status_line->label();
    EXPECT_DOUBLE_EQ(source_wait_seconds(*p), 0.04);
    EXPECT_EQ(p->source_pause_button->value(), 1) << "a file opens paused";
    p->source_pause_button->value(0);
    p->source_pause_button->do_callback();

    Animation& take = p->preview->record_animation;
    loop.scene = Scene{&p->preview->model, &take, nullptr, nullptr};
    prepare_main_loop(app_state, loop);
    start_recording(take);  // one recorded frame per new source frame
    struct : CycleView {
    } view;
    int passes = 0;
    // The panel is not shown, so the pass's answer "no window" is left aside.
    run_main_loop(app_state, loop, view, [&] {
        ++passes;
        (void)source_event_pass(*p);
        return take.frame_count < 10 && passes < 5000;
    });
    EXPECT_EQ(take.frame_count, 10);
    // A loop that spins makes hundreds of passes per frame. One that waits
    // makes one per frame, one more where its wait ran out just before the
    // frame came, and one for each of the panel's timers.
    EXPECT_LT(passes, 40);
    app_state.stopwatch = nullptr;
}

// A file opens paused on its first frame; the Camera page's row and keys go
// to exact frames and show the frame number and time; a file without time
// stamps to seek by offers no "<".
TEST_F(EventPass, AFileOpensPausedOnItsFirstFrameAndTheSeekRowGoesToExactFrames) {
    fl_open_display();
    connect_source_page(*p, app_state, loop);
    testing_support::TempDir dir;
    std::vector<Frame> frames;
    for (int i = 0; i < 60; ++i) frames.emplace_back(kFrameBytes, static_cast<uint8_t>(2 * i));
    video_inputs::write_y4m(dir.file("ramp.y4m"), frames, kFrameWidth, kFrameHeight);
    ASSERT_TRUE(open_source_text(*p, dir.file("ramp.y4m")));
    loop.scene = Scene{&p->preview->model, nullptr, nullptr, nullptr};
    prepare_main_loop(app_state, loop);
    PanelCycleView view(*p);
    const auto shows = [&](int frame, const std::string& position) {
        // The decoder seeks on its own thread: a loaded machine needs more
        // passes, so the bound is a generous time, not a count.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < give_up) {
            run_cycle(app_state, loop, view);
            if (app_state.camera_frame[0] == 2 * frame && p->source_position_box->label() != nullptr &&
                position == p->source_position_box->label())
                return true;
            (void)source_event_pass(*p);
        }
        ADD_FAILURE() << "frame " << frame << " not shown; the box says "
                      << (p->source_position_box->label() ? p->source_position_box->label() : "nothing");
        return false;
    };
    ASSERT_TRUE(shows(0, "frame 0 of 60, 0.000 s"));
    EXPECT_EQ(p->source_pause_button->value(), 1);
    EXPECT_TRUE(p->source_back_button->active());

    EXPECT_FALSE(source_key(*p, SourceKey::last)) << "the keys belong to the recordings while the page is hidden";
    Fl_Group* camera_page = p->brightness_slider->parent();
    static_cast<Fl_Tabs*>(camera_page->parent())->value(camera_page);
    ASSERT_TRUE(source_key(*p, SourceKey::last));
    ASSERT_TRUE(shows(59, "frame 59 of 60, 2.360 s"));
    EXPECT_EQ(p->source_seek_slider->value(), 59);
    ASSERT_TRUE(source_key(*p, SourceKey::back));
    ASSERT_TRUE(shows(58, "frame 58 of 60, 2.320 s"));
    p->source_seek_slider->value(30);
    p->source_seek_slider->do_callback();
    ASSERT_TRUE(shows(30, "frame 30 of 60, 1.200 s"));
    ASSERT_TRUE(source_key(*p, SourceKey::first));
    ASSERT_TRUE(shows(0, "frame 0 of 60, 0.000 s"));

    ASSERT_TRUE(video_inputs::ffmpeg("-i " + dir.file("ramp.y4m") + " -c:v libx264 " + dir.file("raw.h264")));
    ASSERT_TRUE(open_source_text(*p, dir.file("raw.h264")));
    EXPECT_FALSE(p->source_back_button->active());
    EXPECT_FALSE(p->source_seek_slider->active());
    EXPECT_TRUE(p->source_first_button->active());
    EXPECT_NE(std::string(p->source_back_button->tooltip()).find("no time stamps"), std::string::npos);
    app_state.stopwatch = nullptr;
}

// A file has no brightness, gain or shutter, and no camera modes; Enter in
// "source:" opens what it names, as "open" does.
TEST_F(EventPass, EnterInSourceOpensAndAFileLeavesTheCameraControlsInactive) {
    fl_open_display();
    connect_source_page(*p, app_state, loop);
    testing_support::TempDir dir;
    const std::string file = dir.file("grey.y4m");
    video_inputs::write_y4m(file, std::vector<Frame>(3, Frame(kFrameBytes, 90)), kFrameWidth, kFrameHeight);
    Fl_Widget* const sliders[] = {p->brightness_slider, p->gain_slider, p->shutter_slider};
    for (Fl_Widget* s : sliders) EXPECT_TRUE(s->active());

    p->source_input->value(file.c_str());
    ASSERT_EQ(p->source_input->when() & FL_WHEN_ENTER_KEY, FL_WHEN_ENTER_KEY);
    p->source_input->do_callback();
    EXPECT_EQ(std::string(p->status_line->label()).rfind("opened ", 0), 0u) << p->status_line->label();
    for (Fl_Widget* s : sliders) EXPECT_FALSE(s->active());
    EXPECT_FALSE(p->camera_mode_choice->active());

    ASSERT_TRUE(open_source_text(*p, "synthetic"));
    for (Fl_Widget* s : sliders) EXPECT_TRUE(s->active());
}
