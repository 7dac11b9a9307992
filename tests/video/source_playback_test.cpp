// Files in real time: paused, stepped forward and back frame by frame, and
// started again at the end when looping. Conditions are waited for, never times.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"
#include "video/video_source.h"

using namespace video_inputs;
using testing_support::TempDir;

namespace {

class Playback : public ::testing::Test {
protected:
    Playback() {
        std::vector<Frame> frames;
        for (int i = 0; i < 30; ++i) frames.push_back(Frame(kFrameBytes, static_cast<uint8_t>(i * 5)));
        write_y4m(dir.file("in.y4m"), frames, kFrameWidth, kFrameHeight);
        // Key frames every 10 frames, so stepping back has to decode forward from one.
        EXPECT_TRUE(ffmpeg("-i " + dir.file("in.y4m") + " -c:v ffv1 -g 10 " + dir.file("in.mkv")));
        const SourceName name = classify_source(dir.file("in.mkv"));
        std::string error;
        source = VideoSource::open(name, dir.file("in.mkv"), SourceOptions{Pacing::realtime}, error);
        EXPECT_NE(source, nullptr) << error;
        source->set_frame_notify([this] { ++notified; });
    }

    // Waits for the next frame (at most 20 s); its first byte tells its index.
    int next_frame() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (source->grab(frame)) return frame[0] / 5;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "no frame came";
        return -1;
    }

    TempDir dir;
    std::unique_ptr<VideoSource> source;
    Frame frame;
    std::atomic<int> notified{0};
};

TEST_F(Playback, StepsForwardAndBackWhilePaused) {
    ASSERT_NE(source, nullptr);
    source->set_paused(true);
    source->start();
    source->step_forward();
    EXPECT_EQ(next_frame(), 0);
    for (int i = 1; i <= 12; ++i) {
        source->step_forward();
        EXPECT_EQ(next_frame(), i);
    }
    EXPECT_DOUBLE_EQ(source->frame_time_ms(), 12 * 40.0);
    for (int i = 11; i >= 8; --i) {  // across the key frame at 10
        source->step_back();
        EXPECT_EQ(next_frame(), i);
        EXPECT_DOUBLE_EQ(source->frame_time_ms(), i * 40.0);
    }
    source->step_forward();
    EXPECT_EQ(next_frame(), 9);
    EXPECT_FALSE(source->grab(frame)) << "paused: nothing comes without a step";
    EXPECT_GE(notified.load(), 18);
    EXPECT_NE(source->status_line().find("paused"), std::string::npos) << source->status_line();
}

TEST_F(Playback, AFrameNotYetGrabbedIsReplacedWithoutAnotherNotification) {
    ASSERT_NE(source, nullptr);
    source->start();
    // Nobody grabs: the first frame is announced, the later ones only replace
    // it, and then the end is announced.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (notified.load() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(source->grab(frame));
    EXPECT_EQ(frame[0] / 5, 29) << "the newest frame waits, the older ones were dropped";
    EXPECT_EQ(notified.load(), 2);
    EXPECT_TRUE(source->ended());
}

TEST_F(Playback, PlaysToTheEndAndLoopsWhenAsked) {
    ASSERT_NE(source, nullptr);
    source->start();
    int last = -1;
    while (!source->ended()) {
        if (source->grab(frame)) {
            EXPECT_GT(frame[0] / 5, last) << "frames come in order";
            last = frame[0] / 5;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(last, 29) << "the last frame is always delivered";
    EXPECT_NE(source->status_line().find("end"), std::string::npos);
    EXPECT_NE(source->status_line().find("480 x 360 gray"), std::string::npos) << source->status_line();
    source->set_loop(true);
    EXPECT_EQ(next_frame(), 0) << "looping starts again at the first frame";
    source->stop();
}

}  // namespace
