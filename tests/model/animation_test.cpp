// Recording, playback, seek, crop, time labels and what the recording controls do.

#include "model/animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// A live model whose node n of step s stands at (1000 * s + n, s, 255), so a
// recorded entry tells which step and node it came from.
NodeModel live_at_step(int32_t step, int32_t nodes = 3) {
    NodeModel m;
    m.set_node_count(nodes);
    for (int32_t n = 0; n < nodes; ++n) m.nodes[n] = ModelNode{1000 * step + n, step, 255};
    return m;
}

// Records `count` frames, frame s at time s * interval_ms.
Animation recorded(int32_t count, float interval_ms, int32_t capacity = 1000) {
    Animation a;
    EXPECT_TRUE(a.reset(capacity, 3));
    start_recording(a);
    for (int32_t s = 0; s < count; ++s) a.record_step(live_at_step(s), s * interval_ms);
    stop_recording(a);
    return a;
}

// The recorded step that the animation's model shows.
int32_t shown_step(const Animation& a) { return a.model.nodes.at(0).x / 1000; }

}  // namespace

// --- construction and reset --------------------------------------------------

TEST(AnimationReset, ConstructionGivesAThousandEmptyFramesOfThreeNodes) {
    const Animation a;
    EXPECT_EQ(a.capacity_frames, 1000);
    EXPECT_EQ(a.nodes_per_frame, 3);
    ASSERT_EQ(a.frames.size(), 3000u);
    ASSERT_EQ(a.timestamps.size(), 1000u);
    for (const ModelNode& n : a.frames) ASSERT_TRUE(n.x == 0 && n.y == 0 && n.value == 0);
    for (float t : a.timestamps) ASSERT_EQ(t, 0.0f);
    EXPECT_EQ(a.frame_count, 0);
    EXPECT_EQ(a.position, 0);
    EXPECT_EQ(a.start_time, 0.0f);
    EXPECT_FALSE(a.playing || a.recording || a.loop);
    EXPECT_EQ(a.model.nodes.size(), 3u);
    EXPECT_FALSE(a.model.visible);
}

TEST(AnimationReset, NewSizeKeepsEntriesInPlaceAddsZerosAndGoesIdle) {
    Animation a = recorded(4, 10.0f, 4);
    start_playing(a, true, 5.0f);
    a.model.visible = true;
    ASSERT_TRUE(a.reset(6, 2));
    EXPECT_EQ(a.capacity_frames, 6);
    EXPECT_EQ(a.nodes_per_frame, 2);
    ASSERT_EQ(a.frames.size(), 12u);
    // The first 12 entries were 4 frames of 3 nodes: they stay where they were.
    EXPECT_EQ(a.frames[5].x, 1002);
    EXPECT_EQ(a.frames[11].x, 3002);
    ASSERT_EQ(a.timestamps.size(), 6u);
    EXPECT_EQ(a.timestamps[3], 30.0f);
    EXPECT_EQ(a.timestamps[5], 0.0f);
    EXPECT_EQ(a.frame_count, 0);
    EXPECT_EQ(a.position, 0);
    EXPECT_EQ(a.start_time, 0.0f);
    EXPECT_FALSE(a.playing || a.recording || a.loop);
    EXPECT_TRUE(a.model.visible) << "reset leaves the model alone";
}

TEST(AnimationReset, SameSizeKeepsTheOldTakeInTheBuffer) {
    Animation a = recorded(3, 10.0f, 5);
    ASSERT_TRUE(a.reset(5, 3));
    EXPECT_EQ(a.frames[3].x, 1000);
    EXPECT_EQ(a.frame_count, 0);
}

struct RefusedSize {
    int32_t c, k;
};

class AnimationRefusedReset : public ::testing::TestWithParam<RefusedSize> {};

TEST_P(AnimationRefusedReset, ChangesNothing) {
    Animation a = recorded(5, 10.0f, 8);
    start_playing(a, true, 1.0f);
    ASSERT_FALSE(a.reset(GetParam().c, GetParam().k));
    EXPECT_EQ(a.capacity_frames, 8);
    EXPECT_EQ(a.nodes_per_frame, 3);
    EXPECT_EQ(a.frames.size(), 24u);
    EXPECT_EQ(a.timestamps.size(), 8u);
    EXPECT_EQ(a.frame_count, 5);
    EXPECT_TRUE(a.playing);
    EXPECT_TRUE(a.loop);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AnimationRefusedReset,
    ::testing::Values(RefusedSize{-1, 3}, RefusedSize{10, -1}, RefusedSize{-2147483647 - 1, 3},
                      RefusedSize{kMaxAnimationFrames + 1, 0}, RefusedSize{kMaxAnimationFrames, 2},
                      RefusedSize{1, kMaxModelNodes + 1},
                      // 65536 x 65536 is 0 in 32-bit arithmetic.
                      RefusedSize{65536, 65536}, RefusedSize{2147483647, 2147483647}));

TEST(AnimationReset, ZeroFramesIsAnEmptyBufferThatEveryOperationTolerates) {
    Animation a;
    ASSERT_TRUE(a.reset(0, 3));
    EXPECT_TRUE(a.frames.empty());
    EXPECT_TRUE(a.timestamps.empty());
    EXPECT_EQ(a.time_label(), "0:0");
    start_recording(a);
    a.record_step(live_at_step(1), 10.0f);
    EXPECT_EQ(a.frame_count, 0);
    EXPECT_EQ(a.model.nodes[0].x, 1000) << "the model still follows the live one";
    stop_recording(a);
    start_playing(a, false, 0.0f);
    a.play_step(100.0f);
    EXPECT_EQ(a.position, 0);
    EXPECT_FALSE(a.seek(0, 0.0f));
    a.crop(0, 1);
    EXPECT_EQ(a.frame_count, 0);
}

// --- recording ---------------------------------------------------------------

TEST(Recording, TenCyclesGiveTenFramesWithTheirNodesAndTimes) {
    Animation a;
    start_recording(a);
    a.model.visible = true;
    for (int32_t s = 0; s < 10; ++s) a.record_step(live_at_step(s), 100.0f + 40.0f * s);
    EXPECT_EQ(a.frame_count, 10);
    EXPECT_EQ(a.position, 10);
    for (int32_t s = 0; s < 10; ++s) {
        EXPECT_EQ(a.timestamps[s], 100.0f + 40.0f * s);
        for (int32_t n = 0; n < 3; ++n) {
            const ModelNode& e = a.frames[s * 3 + n];
            EXPECT_EQ(e.x, 1000 * s + n);
            EXPECT_EQ(e.y, s);
            EXPECT_EQ(e.value, 255);
        }
    }
    // The next slot carries the newest time: the label shows first to tenth frame.
    EXPECT_EQ(a.timestamps[10], 100.0f + 40.0f * 9);
    EXPECT_EQ(a.time_label(), "0:360");
    EXPECT_TRUE(a.model.visible) << "recording keeps the animation model's own visibility";
    EXPECT_EQ(a.model.nodes[2].x, 9002);
}

TEST(Recording, NothingIsStoredWhileNotRecording) {
    Animation a;
    a.record_step(live_at_step(5), 10.0f);
    EXPECT_EQ(a.frame_count, 0);
    EXPECT_EQ(a.frames[0].x, 0);
    EXPECT_EQ(a.model.nodes[0].x, 50) << "the model is not copied either";
}

TEST(Recording, AFullBufferStopsStoringButStaysOnAndLabelsTheLastFrame) {
    Animation a;
    ASSERT_TRUE(a.reset(5, 3));
    start_recording(a);
    for (int32_t s = 0; s < 8; ++s) a.record_step(live_at_step(s), 10.0f * s);
    EXPECT_TRUE(a.recording);
    EXPECT_EQ(a.frame_count, 5);
    EXPECT_EQ(a.position, 5);
    EXPECT_EQ(a.frames[14].x, 4002);
    EXPECT_EQ(a.timestamps[4], 40.0f);
    EXPECT_EQ(a.time_label(), "0:40") << "the label reads the last stamp, not past it";
    EXPECT_EQ(a.model.nodes[0].x, 7000) << "the model keeps following the live one";
    a.play_step(90.0f);  // not playing, position past the buffer: nothing shown
    EXPECT_EQ(a.model.nodes[0].x, 7000);
}

TEST(Recording, WithLoopTheWritePositionWrapsAtTheEndOfTheBuffer) {
    Animation a;
    ASSERT_TRUE(a.reset(3, 3));
    start_recording(a);
    a.loop = true;
    for (int32_t s = 0; s < 3; ++s) a.record_step(live_at_step(s), 10.0f * s);
    EXPECT_EQ(a.position, 0);
    EXPECT_EQ(a.frame_count, 3);
    a.record_step(live_at_step(3), 30.0f);
    EXPECT_EQ(a.frames[0].x, 0) << "a full buffer is not overwritten";
}

TEST(Recording, ANodeCountChangeWidensTheFollowingFrames) {
    Animation a;
    ASSERT_TRUE(a.reset(10, 3));
    start_recording(a);
    a.record_step(live_at_step(0, 3), 0.0f);
    a.record_step(live_at_step(1, 3), 10.0f);
    a.record_step(live_at_step(2, 4), 20.0f);
    EXPECT_EQ(a.nodes_per_frame, 4);
    ASSERT_EQ(a.frames.size(), 40u);
    // Frame 2 is written with the new stride, at entries 8 to 11.
    for (int32_t n = 0; n < 4; ++n) EXPECT_EQ(a.frames[8 + n].x, 2000 + n);
    // The earlier frames are not re-laid out: frame 1 of the new stride starts
    // at entry 4, which holds the second take's first node.
    EXPECT_EQ(a.frames[3].x, 1000);
    EXPECT_EQ(a.frames[4].x, 1001);
}

TEST(Recording, ACutDuringATakeNeverWritesPastTheBuffer) {
    Animation a;
    ASSERT_TRUE(a.reset(4, 3));
    start_recording(a);
    for (int32_t s = 0; s < 4; ++s) a.record_step(live_at_step(s), 10.0f * s);
    a.crop(0, 2);  // frame_count 2, position still 4 = capacity
    a.record_step(live_at_step(9), 90.0f);
    EXPECT_EQ(a.frame_count, 2);
    EXPECT_EQ(a.frames.size(), 12u);
}

TEST(Recording, IdleStepShowsTheSlotTheNextRecordingFills) {
    Animation a;
    ASSERT_TRUE(a.reset(5, 3));
    start_recording(a);
    a.record_step(live_at_step(1), 0.0f);
    a.play_step(1.0f);  // position 1: a fresh, zero slot
    EXPECT_EQ(a.model.nodes[0].x, 0);
    stop_recording(a);
    a.position = 0;
    a.play_step(2.0f);
    EXPECT_EQ(a.model.nodes[0].x, 1000);
}

// --- playback ----------------------------------------------------------------

class PlaybackPace : public ::testing::TestWithParam<float> {};

// A 20 frames-per-second recording played by a loop of another rate shows, at
// playback time e, the first frame whose time is not below e: ceil(e / 50).
TEST_P(PlaybackPace, FollowsTheRecordedTimesWhateverTheLoopRate) {
    const float hz = GetParam();
    Animation a = recorded(40, 50.0f);
    const float t0 = 12345.0f;
    start_playing(a, false, t0);
    std::vector<int32_t> shown, expected;
    for (int i = 0; i * (1000.0 / hz) < 39 * 50.0; ++i) {
        const double e = i * 1000.0 / hz;
        a.play_step(t0 + static_cast<float>(e));
        shown.push_back(shown_step(a));
        expected.push_back(static_cast<int32_t>(std::ceil(e / 50.0 - 1e-3)));
    }
    EXPECT_EQ(shown, expected);
}

INSTANTIATE_TEST_SUITE_P(LoopRates, PlaybackPace, ::testing::Values(60.0f, 10.0f, 20.0f, 7.0f));

TEST(Playback, WithoutLoopTheLastFrameIsHeldAndPlayingStaysOn) {
    Animation a = recorded(5, 50.0f);
    start_playing(a, false, 1000.0f);
    a.play_step(1000.0f + 10000.0f);
    EXPECT_TRUE(a.playing);
    EXPECT_EQ(a.position, 4);
    EXPECT_EQ(shown_step(a), 4);
    a.play_step(1000.0f + 20000.0f);
    EXPECT_EQ(a.position, 4);
}

TEST(Playback, WithLoopPassingTheLastFrameRestartsFromFrameZeroAndTheClock) {
    Animation a = recorded(5, 50.0f);  // last frame at 200 ms
    start_playing(a, true, 1000.0f);
    a.play_step(1200.0f);
    EXPECT_EQ(a.position, 4);
    a.play_step(1200.5f);
    EXPECT_EQ(a.position, 0);
    EXPECT_EQ(a.start_time, 1200.5f);
    EXPECT_EQ(shown_step(a), 0);
    a.play_step(1200.5f + 75.0f);
    EXPECT_EQ(a.position, 2);
}

TEST(Playback, AnEmptyAnimationNeverMovesBelowFrameZeroAndShowsNothing) {
    for (bool loop : {false, true}) {
        Animation a;
        a.model.nodes[0].x = 77;
        start_playing(a, loop, 0.0f);
        for (float now : {0.0f, 5.0f, 5000.0f}) a.play_step(now);
        EXPECT_EQ(a.position, 0) << loop;
        EXPECT_EQ(a.model.nodes[0].x, 77) << loop;
        EXPECT_EQ(a.time_label(), "0:0");
    }
}

TEST(Playback, TheModelIsBroughtToTheFrameWidthAndStaleIndicesAreCleared) {
    Animation a = recorded(3, 50.0f);
    a.model.set_node_count(6);
    a.model.hovered = 5;
    a.model.selected = 1;
    a.model.sensors[1].red = 0.5f;
    a.position = 2;
    a.play_step(0.0f);
    ASSERT_EQ(a.model.nodes.size(), 3u);
    ASSERT_EQ(a.model.sensors.size(), 3u);
    EXPECT_EQ(a.model.hovered, -1);
    EXPECT_EQ(a.model.selected, 1);
    EXPECT_EQ(a.model.sensors[1].red, 0.5f);
    EXPECT_EQ(a.model.nodes[2].x, 2002);

    a.nodes_per_frame = 3;
    a.model.set_node_count(1);
    a.play_step(0.0f);
    ASSERT_EQ(a.model.sensors.size(), 3u);
    EXPECT_EQ(a.model.sensors[2].blue, 1.0f) << "added sensors have the defaults";
}

TEST(Playback, SeekContinuesFromTheChosenFrameAtTheRecordedPace) {
    Animation a = recorded(20, 50.0f);
    start_playing(a, false, 0.0f);
    a.play_step(120.0f);
    ASSERT_TRUE(a.seek(10, 130.0f));
    EXPECT_EQ(a.position, 10);
    EXPECT_EQ(a.start_time, 130.0f - 500.0f);
    a.play_step(130.0f + 101.0f);  // 101 ms after frame 10: frame 13 (the first at or past)
    EXPECT_EQ(shown_step(a), 13);
}

TEST(Playback, SeekRefusesFramesOutsideTheRecording) {
    Animation a = recorded(5, 50.0f);
    a.position = 2;
    for (int32_t f : {-1, 5, 999, 2147483647}) {
        EXPECT_FALSE(a.seek(f, 10.0f)) << f;
        EXPECT_EQ(a.position, 2);
        EXPECT_EQ(a.start_time, 0.0f);
    }
    EXPECT_TRUE(a.seek(4, 1000.0f));
    EXPECT_EQ(a.start_time, 800.0f);
}

TEST(Playback, ACutDuringPlaybackKeepsThePositionInsideTheRecording) {
    Animation a = recorded(10, 50.0f);
    start_playing(a, false, 0.0f);
    a.play_step(400.0f);
    ASSERT_EQ(a.position, 8);
    a.crop(0, 3);
    a.play_step(401.0f);
    EXPECT_EQ(a.position, 2);
}

// --- crop --------------------------------------------------------------------

struct CropCase {
    const char* name;
    int32_t start, end;
    int32_t frame_count;           // afterwards
    std::vector<int32_t> first;    // steps now held by frames 0, 1, ...
};
void PrintTo(const CropCase& c, std::ostream* os) { *os << c.name; }

class Crop : public ::testing::TestWithParam<CropCase> {};

TEST_P(Crop, KeepsStartToEndMinusOne) {
    const CropCase& c = GetParam();
    Animation a = recorded(10, 50.0f);
    a.position = 7;
    a.crop(c.start, c.end);
    EXPECT_EQ(a.frame_count, c.frame_count);
    for (size_t i = 0; i < c.first.size(); ++i) {
        for (int32_t n = 0; n < 3; ++n) EXPECT_EQ(a.frames[i * 3 + n].x, 1000 * c.first[i] + n);
        EXPECT_EQ(a.timestamps[i], 50.0f * c.first[i]) << "time stamps keep their values";
    }
    EXPECT_EQ(a.position, 7) << "crop leaves the position alone";
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Crop,
    ::testing::Values(CropCase{"from_2_to_5", 2, 5, 3, {2, 3, 4, 3, 4, 5}},
                      CropCase{"from_0_to_5_only_counts", 0, 5, 5, {0, 1, 2, 3, 4, 5, 6}},
                      CropCase{"from_9_to_10_keeps_the_last", 9, 10, 1, {9, 1}},
                      CropCase{"from_5_to_5", 5, 5, 10, {0, 1, 2, 3, 4, 5}},
                      CropCase{"from_6_to_5", 6, 5, 10, {0, 1, 2}},
                      CropCase{"negative_start", -1, 5, 10, {0, 1}},
                      CropCase{"negative_end", 0, -3, 10, {0}},
                      CropCase{"end_past_the_recording", 2, 11, 10, {0, 1, 2}},
                      CropCase{"end_past_the_buffer_frames", 2, 2500, 10, {0, 1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CropEmpty, AnAnimationWithoutFramesIsNotCut) {
    Animation a;
    a.crop(0, 2);
    EXPECT_EQ(a.frame_count, 0);
}

// --- time label --------------------------------------------------------------

struct LabelCase {
    float first, current;
    const char* text;
};

class TimeLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(TimeLabel, ShowsSecondsColonMillisecondsOfTheTimeSinceFrameZero) {
    Animation a;
    a.timestamps[0] = GetParam().first;
    a.timestamps[3] = GetParam().current;
    a.position = 3;
    EXPECT_EQ(a.time_label(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Texts, TimeLabel,
                         ::testing::Values(LabelCase{0.0f, 0.0f, "0:0"}, LabelCase{5.0f, 1004.0f, "0:999"},
                                           LabelCase{0.0f, 61005.7f, "61:5"},
                                           LabelCase{1000.0f, 1000.9f, "0:0"},
                                           LabelCase{2000.0f, 500.0f, "-1:-500"},
                                           LabelCase{-3e38f, 3e38f, "2147483:647"}));

// --- the controls ---------------------------------------------------------------

TEST(Controls, RecordOnStartsAFreshTakeAndOffOnlyStopsIt) {
    Animation a = recorded(5, 10.0f);
    start_playing(a, true, 3.0f);
    start_recording(a);
    EXPECT_TRUE(a.recording);
    EXPECT_FALSE(a.playing);
    EXPECT_EQ(a.position, 0);
    EXPECT_EQ(a.frame_count, 0);
    EXPECT_TRUE(a.loop) << "record does not touch loop";
    a.position = 3;
    stop_recording(a);
    EXPECT_FALSE(a.recording);
    EXPECT_EQ(a.position, 3);
}

TEST(Controls, PlayOnStartsAtFrameZeroNowAndOffGoesIdle) {
    Animation a = recorded(5, 10.0f);
    start_recording(a);
    a.position = 4;
    start_playing(a, true, 250.0f);
    EXPECT_TRUE(a.playing);
    EXPECT_FALSE(a.recording);
    EXPECT_TRUE(a.loop);
    EXPECT_EQ(a.start_time, 250.0f);
    EXPECT_EQ(a.position, 0);
    a.position = 2;
    stop_playing(a);
    EXPECT_FALSE(a.playing || a.recording || a.loop);
    EXPECT_EQ(a.start_time, 0.0f);
    EXPECT_EQ(a.position, 0);
}

struct MarkerCase {
    const char* name;
    bool start_marker;  // which marker moved
    int32_t frames;
    double start, end;
    double shown;   // the moved marker's value afterwards
    int32_t position;  // after the seek (-1: refused, position stays 7)
};
void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }

class Markers : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(Markers, ClampToTheRecordingAndSeek) {
    const MarkerCase& c = GetParam();
    Animation a = recorded(c.frames, 10.0f);
    a.position = 7;
    const double shown = c.start_marker ? move_start_marker(a, c.start, c.end, 100.0f)
                                        : move_end_marker(a, c.start, c.end, 100.0f);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(a.position, c.position == -1 ? 7 : c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Markers,
    ::testing::Values(MarkerCase{"start_inside", true, 10, 3, 8, 3, 3},
                      MarkerCase{"start_past_the_recording", true, 10, 12, 20, 9, 9},
                      MarkerCase{"start_at_or_past_end", true, 10, 6, 6, 5, 5},
                      MarkerCase{"start_clamped_then_below_end", true, 10, 12, 4, 3, 3},
                      MarkerCase{"start_to_minus_one_is_refused", true, 10, 0, 0, -1, -1},
                      MarkerCase{"start_without_frames_no_seek", true, 0, 5, 8, 0, -1},
                      MarkerCase{"end_inside", false, 10, 2, 8, 8, 8},
                      MarkerCase{"end_past_the_recording", false, 10, 2, 15, 9, 9},
                      MarkerCase{"end_at_or_before_start", false, 10, 6, 4, 7, 7},
                      MarkerCase{"end_to_frame_count_is_refused", false, 10, 9, 9, 10, -1},
                      MarkerCase{"end_without_frames_no_seek", false, 0, 0, 3, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Controls, CutCropsBetweenTheMarkersAndReturnsTheNewLastFrame) {
    Animation a = recorded(10, 10.0f);
    EXPECT_EQ(cut(a, 2.0, 5.0), 2);
    EXPECT_EQ(a.frame_count, 3);
    EXPECT_EQ(a.frames[0].x, 2000);
    Animation empty;
    EXPECT_EQ(cut(empty, 0.0, 0.0), -1);
}

TEST(Controls, BufferSizeResetsTheBufferAndStoresOnlyAcceptedSizes) {
    Animation a = recorded(5, 10.0f);
    Options options = default_options();
    options.node_count = 4;
    EXPECT_TRUE(set_buffer_size(a, options, 250.9));
    EXPECT_EQ(options.animation_buffer_frames, 250);
    EXPECT_EQ(a.capacity_frames, 250);
    EXPECT_EQ(a.nodes_per_frame, 4);
    EXPECT_EQ(a.frame_count, 0);
    for (double refused : {-1.0, -5.5, 1e12, 2e7}) {
        EXPECT_FALSE(set_buffer_size(a, options, refused)) << refused;
        EXPECT_EQ(options.animation_buffer_frames, 250);
        EXPECT_EQ(a.capacity_frames, 250);
    }
}

TEST(Controls, TruncationGoesTowardZeroAndSaturates) {
    EXPECT_EQ(truncate_to_int32(2.9), 2);
    EXPECT_EQ(truncate_to_int32(-2.9), -2);
    EXPECT_EQ(truncate_to_int32(1e300), 2147483647);
    EXPECT_EQ(truncate_to_int32(-1e300), -2147483647 - 1);
    EXPECT_EQ(truncate_to_int32(std::numeric_limits<double>::quiet_NaN()), 0);
}

// --- node states beside the positions -------------------------------------------

TEST(RecordedStates, EachFrameKeepsItsNodesStatesThroughAWideningAndACut) {
    Animation a;
    ASSERT_TRUE(a.reset(10, 2));
    start_recording(a);
    const NodeState cycle[] = {NodeState::tracked, NodeState::held, NodeState::placed, NodeState::predicted};
    for (int32_t s = 0; s < 6; ++s) {
        NodeModel live = live_at_step(s, s < 3 ? 2 : 3);  // a third node from step 3 on
        live.node_states.assign(live.nodes.size(), cycle[s % 4]);
        if (s == 5) live.node_states.pop_back();  // a node nobody reported on
        a.record_step(live, 10.0f * s);
    }
    ASSERT_EQ(a.nodes_per_frame, 3);
    ASSERT_EQ(a.states.size(), a.frames.size());
    EXPECT_EQ(a.states[4 * 3 + 2], NodeState::tracked);
    EXPECT_EQ(a.states[5 * 3 + 1], NodeState::held);
    EXPECT_EQ(a.states[5 * 3 + 2], NodeState::unknown);

    a.crop(3, 6);
    EXPECT_EQ(a.frame_count, 3);
    for (int32_t f = 0; f < 3; ++f) {
        EXPECT_EQ(a.frames[f * 3].x, 1000 * (f + 3)) << f;
        EXPECT_EQ(a.states[f * 3], cycle[(f + 3) % 4]) << f;
    }
}
