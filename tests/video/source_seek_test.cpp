// Stepping, seeking and looping land on exact frames in every container
// FFmpeg can seek, and "<" does nothing where it cannot (a raw H.264 stream).
// Frame i of the files is a flat grey that says i. Every frame delivered is
// grabbed at once by the source's own notification, so none is ever replaced
// unseen and the order of the frames is the whole truth; nothing waits on time.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"
#include "video/pacer.h"
#include "video/video_source.h"

using namespace video_inputs;
using testing_support::TempDir;

namespace {

constexpr int kFrames = 40;

uint8_t grey_of(int i) { return static_cast<uint8_t>(10 + 5 * i); }
int index_of(const Frame& f) { return static_cast<int>(std::lround((f[kFrameBytes / 2 + 240] - 10) / 5.0)); }

struct Container {
    const char* name;
    const char* file;
    const char* arguments;  // ffmpeg's output options: key frames every 10, B-frames between
    bool seeks;
};

class Containers : public ::testing::TestWithParam<Container> {
protected:
    void SetUp() override {
        std::vector<Frame> frames;
        for (int i = 0; i < kFrames; ++i) frames.emplace_back(kFrameBytes, grey_of(i));
        // 100 frames a second, so a loop's pass takes 0.4 s.
        write_y4m(dir.file("in.y4m"), frames, 0, 0, "W480 H360 F100:1");
        const std::string file = dir.file(GetParam().file);
        ASSERT_TRUE(ffmpeg("-i " + dir.file("in.y4m") + " " + GetParam().arguments + " " + file));
        std::string error;
        SourceOptions options{Pacing::realtime};
        options.start_paused = true;
        source = VideoSource::open(classify_source(file), file, options, error);
        ASSERT_NE(source, nullptr) << error;
        source->set_frame_notify([this] {
            Frame f;
            if (!source->grab(f)) return;
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(index_of(f));
            came.notify_all();
        });
    }
    void TearDown() override {
        if (source) source->stop();
    }

    // The frames delivered after the first `from`, once there are `count` of them (at most 30 s).
    std::vector<int> wait_for(size_t from, size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        came.wait_for(lock, std::chrono::seconds(30), [&] { return seen.size() >= from + count; });
        return std::vector<int>(seen.begin() + static_cast<std::ptrdiff_t>(std::min(from, seen.size())), seen.end());
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size();
    }
    // Does `act` and returns the frame it brings.
    template <class Act>
    int after(Act act) {
        const size_t before = count();
        act();
        const std::vector<int> got = wait_for(before, 1);
        EXPECT_EQ(got.size(), 1u) << "one frame per act";
        return got.empty() ? -1 : got.front();
    }

    TempDir dir;
    std::unique_ptr<VideoSource> source;
    std::mutex mutex;
    std::condition_variable came;
    std::vector<int> seen;
};

TEST_P(Containers, StepsSeeksAndLoopsOnExactFrames) {
    ASSERT_NE(source, nullptr);
    const Container& c = GetParam();
    EXPECT_EQ(source->can_seek(), c.seeks);
    ASSERT_TRUE(source->start());
    EXPECT_EQ(wait_for(0, 1), std::vector<int>{0}) << "opened paused on its first frame";
    EXPECT_DOUBLE_EQ(source->frame_time_ms(), 0.0);
    for (int i = 1; i <= 12; ++i) ASSERT_EQ(after([&] { source->step_forward(); }), i);

    if (c.seeks) {
        for (int i = 11; i >= 8; --i) {  // back across the key frame at 10
            ASSERT_EQ(after([&] { source->step_back(); }), i);
            EXPECT_NEAR(source->frame_time_ms(), i * 10.0, 1e-6);
        }
        EXPECT_EQ(after([&] { source->go_to_frame(25); }), 25);
        EXPECT_EQ(source->position().index, 25);
        // Presses faster than a step shows its frame (a key held down) each
        // still count: three of them go three frames back.
        const size_t before = count();
        for (int i = 0; i < 3; ++i) source->step_back();
        {
            std::unique_lock<std::mutex> lock(mutex);
            came.wait_for(lock, std::chrono::seconds(30), [&] { return seen.size() > before && seen.back() == 22; });
            EXPECT_EQ(seen.back(), 22);
        }
        EXPECT_EQ(after([&] { source->go_to_frame(-1); }), kFrames - 1) << "the last frame";
        EXPECT_EQ(after([&] { source->step_back(); }), kFrames - 2);
    } else {
        source->step_back();  // nothing to find the frame before by: nothing comes
        EXPECT_EQ(after([&] { source->step_forward(); }), 13);
    }
    EXPECT_EQ(after([&] { source->go_to_frame(0); }), 0) << "every file goes back to its start";

    // Looping: every frame of each pass, the last included, then the first again.
    const size_t start = count();
    source->set_loop(true);
    source->set_paused(false);
    const std::vector<int> played = wait_for(start, kFrames + 5);
    std::vector<int> want;
    for (int i = 1; i < kFrames; ++i) want.push_back(i);
    for (int i = 0; i <= 5; ++i) want.push_back(i);
    ASSERT_GE(played.size(), want.size());
    EXPECT_EQ(std::vector<int>(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(want.size())), want);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Containers,
    ::testing::Values(Container{"ts", "c.ts", "-c:v libx264 -g 10 -bf 2", true},
                      Container{"avi_bframes", "c.avi", "-c:v mpeg4 -g 10 -bf 2 -q:v 2", true},
                      Container{"raw_h264", "c.h264", "-c:v libx264 -g 10 -bf 2", false},
                      Container{"mp4", "c.mp4", "-c:v libx264 -g 10 -bf 2", true},
                      Container{"mkv", "c.mkv", "-c:v libx264 -g 10 -bf 2", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The pacer's wall times for stream times, on a clock of the test's.
TEST(Pacer, PlaysAtTheStreamsTimesAndGivesALoopsLastFrameItsWholeInterval) {
    using Clock = Pacer::Clock;
    using std::chrono::milliseconds;
    const Clock::time_point t0{};
    Pacer pacer(40.0);
    EXPECT_EQ(pacer.due(0, Pacer::Line::restarts, t0), t0);
    EXPECT_EQ(pacer.due(40, Pacer::Line::continues, t0 + milliseconds(7)), t0 + milliseconds(40));
    EXPECT_EQ(pacer.due(80, Pacer::Line::continues, t0 + milliseconds(200)), t0 + milliseconds(80))
        << "a late picture is due at its time, not later";
    EXPECT_EQ(pacer.due(0, Pacer::Line::next_pass, t0 + milliseconds(90)), t0 + milliseconds(120))
        << "the next pass begins once the last frame had its 40 ms";
    EXPECT_EQ(pacer.due(40, Pacer::Line::continues, t0), t0 + milliseconds(160));
    EXPECT_EQ(pacer.due(9000, Pacer::Line::continues, t0), t0 + milliseconds(200)) << "a jump plays as one interval";
    EXPECT_EQ(pacer.due(500, Pacer::Line::restarts, t0 + milliseconds(1000)), t0 + milliseconds(1000));
}

}  // namespace
