// The main loop's control and the steps of one cycle, run headless.

#include "loop/main_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/frame_ops.h"
#include "platform/rand.h"
#include "tests/support/test_support.h"

using testing_support::FakeClockGuard;
using testing_support::FakeClocks;

namespace {

// Records what the cycle asked of the window side, in order.
class RecordingView final : public CycleView {
public:
    explicit RecordingView(const AppState& app) : app_(app) {}
    void hand_over(const Frame& frame) override {
        calls.push_back(&frame == &app_.camera_frame ? "hand_over(camera)" : "hand_over(?)");
    }
    void upload_frame(const Frame& frame) override {
        calls.push_back(&frame == &app_.camera_frame      ? "upload(camera)"
                        : &frame == &app_.threshold_frame ? "upload(threshold)"
                                                          : "upload(?)");
    }
    void request_redraw() override { calls.push_back("redraw"); }
    void show_rate(int32_t n) override { rates.push_back(n); }

    std::vector<std::string> calls;
    std::vector<int32_t> rates;

private:
    const AppState& app_;
};

class MainLoopTest : public ::testing::Test {
protected:
    MainLoopTest() {
        platform::set_rand_state(1);
        loop.camera.start();
        prepare_main_loop(app, loop);
    }
    ~MainLoopTest() override { platform::time_end_period(1); }

    AppState app;
    MainLoop loop{app};
    RecordingView view{app};
};

}  // namespace

TEST_F(MainLoopTest, QuitRequestedBeforeTheFirstCycleRunsNoCycle) {
    app.quit_requested = true;
    int passes = 0;
    run_main_loop(app, loop, view, [&] { return ++passes, true; });
    EXPECT_EQ(passes, 1) << "events are processed once before the loop";
    EXPECT_TRUE(app.camera_frame.empty()) << "no grab may happen";
}

TEST_F(MainLoopTest, NoWindowShownBeforeTheLoopRunsNoCycle) {
    run_main_loop(app, loop, view, [] { return false; });
    EXPECT_TRUE(app.camera_frame.empty());
}

TEST_F(MainLoopTest, QuitDuringEventsEndsTheLoopBeforeTheNextGrab) {
    int passes = 0;
    run_main_loop(app, loop, view, [&] {
        if (++passes == 4) app.quit_requested = true;  // after the third cycle
        return true;
    });
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "redraw"), 3);
}

TEST_F(MainLoopTest, LastWindowClosedEndsTheLoopAtTheEndOfTheCycle) {
    int passes = 0;
    run_main_loop(app, loop, view, [&] { return ++passes < 6; });
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "redraw"), 5);
}

TEST_F(MainLoopTest, PhaseIsTheFloatSumOfItsSteps) {
    float expected = 0.0f;
    for (int i = 0; i < 500; ++i) {
        run_cycle(app, loop, view);
        expected = static_cast<float>(static_cast<double>(expected) + 0.01);
    }
    EXPECT_EQ(app.time_phase, expected);
    EXPECT_NE(app.time_phase, 500 * 0.01f) << "n steps of 0.01 differ from n x 0.01";
}

TEST_F(MainLoopTest, ThresholdZeroCopiesTheRawFrameAndKeepsThePixelList) {
    app.options.threshold = 0;
    app.options.show_thresholding = 1;
    loop.bright_pixels.push_back(BrightPixel{1, 2, 3});
    run_cycle(app, loop, view);
    EXPECT_EQ(app.threshold_frame, app.camera_frame);
    ASSERT_EQ(loop.bright_pixels.size(), 1u) << "the pixel list keeps the last cycle's content";
    EXPECT_EQ(loop.bright_pixels[0].value, 3);
}

TEST_F(MainLoopTest, ThresholdListsTheThreeSquaresOfTheFlippedFrame) {
    app.options.threshold = 180;
    app.options.y_invert = 1;
    run_cycle(app, loop, view);
    ASSERT_EQ(loop.bright_pixels.size(), 363u);
    // The fixed square at row 340 of the camera lies centred at row 19 after the flip.
    int fixed = 0;
    for (const BrightPixel& p : loop.bright_pixels) {
        EXPECT_EQ(p.value, 255);
        if (p.x >= 445 && p.x <= 455) {
            EXPECT_GE(p.y, 14);
            EXPECT_LE(p.y, 24);
            ++fixed;
        }
    }
    EXPECT_EQ(fixed, 121);
}

TEST_F(MainLoopTest, CycleHandsOverUploadsTheChosenFrameAndRedrawsInOrder) {
    app.options.threshold = 100;
    app.options.show_thresholding = 1;
    run_cycle(app, loop, view);
    app.options.show_thresholding = 0;
    run_cycle(app, loop, view);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"hand_over(camera)", "upload(threshold)", "redraw",
                                                    "hand_over(camera)", "upload(camera)", "redraw"}));
}

TEST_F(MainLoopTest, SteadyStateReusesEveryBuffer) {
    app.options.threshold = 1;  // nearly the whole frame is listed
    run_cycle(app, loop, view);
    const uint8_t* camera = app.camera_frame.data();
    const uint8_t* thresholded = app.threshold_frame.data();
    const BrightPixel* pixels = loop.bright_pixels.data();
    for (int i = 0; i < 20; ++i) {
        app.options.threshold = i % 2 == 0 ? 180 : 1;
        run_cycle(app, loop, view);
        EXPECT_EQ(app.camera_frame.data(), camera);
        EXPECT_EQ(app.threshold_frame.data(), thresholded);
        EXPECT_EQ(loop.bright_pixels.data(), pixels);
        EXPECT_EQ(app.camera_frame.size(), kFrameBytes);
    }
}

TEST(MainLoopRate, ShowsTheCyclesOfEachIntervalOfAtLeastOneSecond) {
    FakeClockGuard clocks(true);
    AppState app;
    MainLoop loop(app);
    RecordingView view(app);
    FakeClocks::wall = 5000;
    prepare_main_loop(app, loop);  // rate mark = 5000

    for (int i = 0; i < 7; ++i) run_cycle(app, loop, view);
    FakeClocks::wall = 5999;
    run_cycle(app, loop, view);
    EXPECT_TRUE(view.rates.empty()) << "999 ms is not yet a second";
    FakeClocks::wall = 6000;
    run_cycle(app, loop, view);
    EXPECT_EQ(view.rates, std::vector<int32_t>{9});

    FakeClocks::wall = 6500;
    run_cycle(app, loop, view);
    run_cycle(app, loop, view);
    FakeClocks::wall = 7000;
    run_cycle(app, loop, view);
    EXPECT_EQ(view.rates, (std::vector<int32_t>{9, 3})) << "the counter restarts after each display";
    platform::time_end_period(1);
}

// A frozen frame stays as it was grabbed and flipped, the camera's phase and
// generator stand still, and on release the cycles go on with the frames an
// unfrozen run would have had next.
TEST(MainLoopFreeze, HoldsFramePhaseAndCameraThenContinuesWhereItStopped) {
    auto run = [](int before, int frozen, int after, std::vector<Frame>& frames) {
        platform::set_rand_state(1);
        AppState app;
        app.options.y_invert = 1;
        MainLoop loop{app};
        loop.camera.start();
        prepare_main_loop(app, loop);
        RecordingView view{app};
        for (int i = 0; i < before; ++i) run_cycle(app, loop, view);
        const Frame held = app.camera_frame;
        const float phase = app.time_phase;
        app.frame_frozen = frozen > 0;
        for (int i = 0; i < frozen; ++i) {
            run_cycle(app, loop, view);
            EXPECT_EQ(app.camera_frame, held);
            EXPECT_EQ(app.time_phase, phase);
        }
        app.frame_frozen = false;
        for (int i = 0; i < after; ++i) {
            run_cycle(app, loop, view);
            frames.push_back(app.camera_frame);
        }
        platform::time_end_period(1);
        return app.time_phase;
    };
    std::vector<Frame> unfrozen, released;
    const float phase_unfrozen = run(3, 0, 2, unfrozen);
    const float phase_released = run(3, 4, 2, released);
    EXPECT_EQ(released, unfrozen);
    EXPECT_EQ(phase_released, phase_unfrozen);
}
