// The main loop's event pass: with a video file open it waits for the file's
// next frame instead of spinning; the synthetic camera's loop never waits.
// And the source page's answers to a file: Enter opens, the camera controls rest.

#include "tests/gui/panel_fixture.h"  // first: see there

#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/x.H>

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
