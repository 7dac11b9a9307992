// The animation file and its companion model file.

#include "model/animation_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "model/model_file.h"
#include "tests/model/file_test_support.h"
#include "tests/support/test_support.h"

using file_test_support::kDefaultModelText;
using file_test_support::six_digits;
using testing_support::CapturedLog;
using testing_support::file_exists;
using testing_support::read_whole_file;
using testing_support::TempDir;
using testing_support::write_whole_file;

namespace {

// Two frames of three nodes recorded at 1234.5 and 1301.25 ms.
Animation two_frames() {
    Animation a;
    start_recording(a);
    NodeModel live;
    live.nodes = {{1, 2, 255}, {30, 40, 255}, {-5, 6, 7}};
    a.record_step(live, 1234.5f);
    live.nodes = {{11, 12, 255}, {130, 140, 255}, {-15, 16, 17}};
    a.record_step(live, 1301.25f);
    stop_recording(a);
    return a;
}

class AnimationFile : public ::testing::Test {
protected:
    TempDir dir;
    CapturedLog log;
};

}  // namespace

TEST_F(AnimationFile, TwoFramesOfThreeNodesAreWrittenByteForByteWithTheirModel) {
    const std::string path = dir.file("walk.txt");
    ASSERT_TRUE(save_animation(two_frames(), path, log.log()));
    EXPECT_EQ(read_whole_file(path),
              "2\t3\n"
              "1234.5\t1\t2\t255\t\t30\t40\t255\t\t-5\t6\t7\t\t\n"
              "1301.25\t11\t12\t255\t\t130\t140\t255\t\t-15\t16\t17\t\t\n");
    // The animation's model is the live model the last recording step copied.
    NodeModel live;
    live.nodes = {{11, 12, 255}, {130, 140, 255}, {-15, 16, 17}};
    EXPECT_EQ(read_whole_file(path + ".model"), format_model(live));
    EXPECT_EQ(log.out.str(), "\n animation saved.\n model saved.");
}

TEST_F(AnimationFile, TheCompanionOfANameWithoutExtensionIsNamedWithModelAppended) {
    ASSERT_TRUE(save_animation(Animation(), dir.file("take1"), log.log()));
    EXPECT_TRUE(file_exists(dir.file("take1.model")));
    EXPECT_EQ(read_whole_file(dir.file("take1.model")), kDefaultModelText);
}

TEST_F(AnimationFile, AnEmptyRecordingIsTheHeaderAloneWithTheCurrentNodeCount) {
    Animation a;
    ASSERT_TRUE(a.reset(50, 7));
    ASSERT_TRUE(save_animation(a, dir.file("empty.txt"), log.log()));
    EXPECT_EQ(read_whole_file(dir.file("empty.txt")), "0\t7\n");
}

TEST_F(AnimationFile, LateTimeStampsAreWrittenInExponentForm) {
    Animation a;
    start_recording(a);
    a.record_step(NodeModel(), 1234567.0f);
    const std::string text = format_animation(a);
    EXPECT_EQ(text.substr(0, text.find('\t', 3)), "1\t3\n1.23457e+06");
}

TEST_F(AnimationFile, ARoundTripGivesTheSameFramesTimesToSixDigitsAndTheModel) {
    Animation original = two_frames();
    original.model.sensors[1].red = 0.1234567f;
    original.model.red = 0.25f;
    const std::string path = dir.file("rt.txt");
    ASSERT_TRUE(save_animation(original, path, log.log()));

    Animation loaded;
    ASSERT_TRUE(loaded.reset(77, 5));
    start_playing(loaded, true, 5.0f);
    loaded.position = 9;
    loaded.model.visible = true;
    ASSERT_TRUE(load_animation(loaded, path, log.log()));

    EXPECT_EQ(loaded.capacity_frames, 2) << "the buffer is exactly as long as the recording";
    EXPECT_EQ(loaded.nodes_per_frame, 3);
    EXPECT_EQ(loaded.frame_count, 2);
    ASSERT_EQ(loaded.frames.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(loaded.frames[i].x, original.frames[i].x) << i;
        EXPECT_EQ(loaded.frames[i].y, original.frames[i].y) << i;
        EXPECT_EQ(loaded.frames[i].value, original.frames[i].value) << i;
    }
    EXPECT_EQ(loaded.timestamps[0], six_digits(1234.5f));
    EXPECT_EQ(loaded.timestamps[1], six_digits(1301.25f));
    EXPECT_FALSE(loaded.playing || loaded.recording || loaded.loop);
    EXPECT_EQ(loaded.position, 0);
    EXPECT_EQ(loaded.start_time, 0.0f);
    EXPECT_EQ(loaded.model.sensors[1].red, six_digits(0.1234567f));
    EXPECT_EQ(loaded.model.red, 0.25f);
    EXPECT_EQ(loaded.model.nodes[2].value, 17);
    EXPECT_FALSE(loaded.model.visible) << "the companion load hides the model";
    EXPECT_TRUE(loaded.seek(1, 0.0f));
    EXPECT_FALSE(loaded.seek(2, 0.0f)) << "seek accepts exactly the loaded frames";
    EXPECT_EQ(log.out.str(), "\n animation saved.\n model saved.\n anim loaded.\n model loaded.");
}

TEST_F(AnimationFile, AHeaderOfFiveHundredFramesMakesTheBufferFiveHundredLong) {
    const std::string path = dir.file("h.txt");
    write_whole_file(path, "500\t2\n");
    Animation a;
    ASSERT_TRUE(load_animation(a, path, log.log()));
    EXPECT_EQ(a.capacity_frames, 500);
    EXPECT_EQ(a.frame_count, 500);
    EXPECT_EQ(a.frames.size(), 1000u);
    EXPECT_EQ(a.timestamps.size(), 500u);
    EXPECT_EQ(a.time_label(), "0:0");
}

TEST_F(AnimationFile, FramesWithSpacesOnOneLineOrWithCrlfLoadTheSame) {
    const std::string exact = "2\t2\n10\t1\t2\t3\t\t4\t5\t6\t\t\n20.5\t7\t8\t9\t\t10\t11\t12\t\t\n";
    for (const std::string& text :
         {exact, std::string("2 2\n10 1 2 3 4 5 6\n20.5 7 8 9 10 11 12\n"),
          std::string("2 2 10 1 2 3 4 5 6 20.5 7 8 9 10 11 12"),
          std::string("2\t2\r\n10\t1\t2\t3\t\t4\t5\t6\t\t\r\n20.5\t7\t8\t9\t\t10\t11\t12\t\t\r\n")}) {
        const std::string path = dir.file("v.txt");
        write_whole_file(path, text);
        Animation a;
        ASSERT_TRUE(load_animation(a, path, log.log()));
        ASSERT_EQ(a.frames.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(a.frames[i].x, 1 + 3 * i);
            EXPECT_EQ(a.frames[i].y, 2 + 3 * i);
            EXPECT_EQ(a.frames[i].value, 3 + 3 * i);
        }
        EXPECT_EQ(a.timestamps[1], 20.5f);
    }
}

TEST_F(AnimationFile, AShortFileFillsWhatItHoldsAndLeavesZerosNotAnOlderTake) {
    Animation a;
    ASSERT_TRUE(a.reset(5, 2));
    start_recording(a);
    NodeModel live;
    live.nodes = {{99, 99, 99}, {98, 98, 98}};
    for (int i = 0; i < 5; ++i) a.record_step(live, 1000.0f + i);
    const std::string path = dir.file("short.txt");
    write_whole_file(path, "5 2\n10 1 2 3 4 5 6\n20 7");
    ASSERT_TRUE(load_animation(a, path, log.log()));
    EXPECT_EQ(a.frame_count, 5);
    EXPECT_EQ(a.frames[2].x, 7);
    EXPECT_EQ(a.frames[2].y, 0);
    for (size_t i = 3; i < a.frames.size(); ++i) EXPECT_EQ(a.frames[i].x, 0) << i;
    EXPECT_EQ(a.timestamps[1], 20.0f);
    EXPECT_EQ(a.timestamps[4], 0.0f);
    EXPECT_EQ(log.out.str(), "\n anim loaded.");
}

TEST_F(AnimationFile, ANonNumberInAFrameStopsTheFillThere) {
    for (const char* bad : {"nan", "inf", "1e40", "x"}) {
        const std::string path = dir.file("bad.txt");
        write_whole_file(path, std::string("2 1\n10 1 2 3\n") + bad + " 4 5 6\n");
        Animation a;
        ASSERT_TRUE(load_animation(a, path, log.log())) << bad;
        EXPECT_EQ(a.timestamps[1], 0.0f) << bad;
        EXPECT_EQ(a.frames[1].x, 0) << bad;
        EXPECT_EQ(a.frames[0].value, 3) << bad;
    }
}

class AnimationFileRefusedHeader : public AnimationFile, public ::testing::WithParamInterface<const char*> {};

TEST_P(AnimationFileRefusedHeader, LeavesTheAnimationAsItWasWithoutResizingAndSaysSo) {
    Animation a = two_frames();
    start_playing(a, true, 42.0f);
    const std::string path = dir.file("refused.txt");
    write_whole_file(path, GetParam());
    write_whole_file(path + ".model", "1 0 0 0 0\n");
    EXPECT_FALSE(load_animation(a, path, log.log()));
    EXPECT_EQ(a.capacity_frames, 1000);
    EXPECT_EQ(a.nodes_per_frame, 3);
    EXPECT_EQ(a.frames.size(), 3000u);
    EXPECT_EQ(a.frame_count, 2);
    EXPECT_EQ(a.frames[3].x, 11);
    EXPECT_EQ(a.timestamps[1], 1301.25f);
    EXPECT_TRUE(a.playing);
    EXPECT_EQ(a.start_time, 42.0f);
    EXPECT_EQ(a.model.nodes.size(), 3u) << "the companion is not loaded either";
    EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(log.err.str(), "\ncould NOT load animation from " + path);
}

INSTANTIATE_TEST_SUITE_P(Headers, AnimationFileRefusedHeader,
                         ::testing::Values("", "5", "-1\t3\n", "3\t-1\n", "x 3", "3 x", "1.5e3 2",
                                           "-2147483648 -2147483648", "16777217 0", "16777216 2",
                                           "100000 1000", "1 16777217", "0 16777217", "2147483647 2147483647",
                                           "65536 65536", "99999999999 1"));

// A missing companion is normal and passes in silence; a refused one is
// reported, and the frames load all the same.
TEST_F(AnimationFile, AMissingOrRefusedCompanionLeavesTheModelAndStillLoads) {
    const std::string path = dir.file("a.txt");
    write_whole_file(path, "1 2\n5 1 2 3 4 5 6\n");
    Animation a;
    a.model.red = 0.5f;
    ASSERT_TRUE(load_animation(a, path, log.log()));
    EXPECT_EQ(a.model.red, 0.5f);
    EXPECT_EQ(a.model.nodes.size(), 3u);
    EXPECT_EQ(log.err.str(), "");
    write_whole_file(path + ".model", "-4 0 0 0 0\n");
    ASSERT_TRUE(load_animation(a, path, log.log()));
    EXPECT_EQ(a.model.nodes.size(), 3u);
    EXPECT_EQ(log.out.str(), "\n anim loaded.\n anim loaded.");
    EXPECT_EQ(log.err.str(), "\ncould NOT load model from " + path + ".model");
    // Playback brings the model to the frame's width.
    a.play_step(0.0f);
    EXPECT_EQ(a.model.nodes.size(), 2u);
    EXPECT_EQ(a.model.nodes[1].x, 4);
}

TEST_F(AnimationFile, AFileThatCannotBeOpenedChangesNothing) {
    Animation a = two_frames();
    EXPECT_FALSE(load_animation(a, dir.file("missing.txt"), log.log()));
    EXPECT_FALSE(load_animation(a, dir.path(), log.log()));
    EXPECT_FALSE(load_animation(a, "/dev/zero", log.log())) << "a device is not read";
    EXPECT_EQ(a.frame_count, 2);
    EXPECT_EQ(a.capacity_frames, 1000);
    EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(log.err.str(), "\ncould NOT load animation from " + dir.file("missing.txt") +
                                 "\ncould NOT load animation from " + dir.path() +
                                 "\ncould NOT load animation from /dev/zero");
}

TEST_F(AnimationFile, ASaveThatCannotOpenItsFileWritesNoCompanionAndSaysSo) {
    const std::string path = dir.file("gone/a.txt");
    EXPECT_FALSE(save_animation(two_frames(), path, log.log()));
    EXPECT_FALSE(save_animation(two_frames(), "", log.log()));
    EXPECT_FALSE(file_exists(path + ".model"));
    EXPECT_FALSE(file_exists(".model"));
    EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(log.err.str(), "\ncould NOT save animation to " + path + "\ncould NOT save animation to ");
}

// The frames are saved, but the take's model is lost: that is said once.
TEST_F(AnimationFile, ACompanionThatCannotBeWrittenIsReported) {
    const std::string path = dir.file("take.txt");
    ASSERT_EQ(::mkdir((path + ".model").c_str(), 0755), 0);
    EXPECT_TRUE(save_animation(two_frames(), path, log.log()));
    EXPECT_TRUE(file_exists(path));
    EXPECT_EQ(log.out.str(), "\n animation saved.");
    EXPECT_EQ(log.err.str(), "\ncould NOT save model to " + path + ".model");
}

TEST_F(AnimationFile, ASaveOverADirectoryLeavesItAndWritesNoCompanion) {
    const std::string path = dir.file("folder");
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    EXPECT_FALSE(save_animation(two_frames(), path, log.log()));
    EXPECT_FALSE(file_exists(path + ".model"));
}

TEST_F(AnimationFile, ALoadedTakeHasUnknownStatesEvenWhereAnOlderTakeHadSome) {
    Animation a;
    ASSERT_TRUE(a.reset(2, 3));
    a.states.assign(a.states.size(), NodeState::tracked);
    ASSERT_TRUE(parse_animation(a, "2\t3\n1\t1\t2\t3\t\t4\t5\t6\t\t7\t8\t9\t\t\n2\t1\t2\t3\t\t4\t5\t6\t\t7\t8\t9\t\t\n"));
    ASSERT_EQ(a.states.size(), 6u);
    for (NodeState s : a.states) EXPECT_EQ(s, NodeState::unknown);
}
