// The batch run's command line and its progress output.

#include "app/batch_main.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/batch_progress.h"

namespace {

bool parse(std::vector<const char*> words, TrackArgs& args, std::string& error) {
    words.insert(words.begin(), {"velmora", "track"});
    return parse_track_args(static_cast<int>(words.size()), words.data(), args, error);
}

}  // namespace

TEST(TrackArgs, EveryOptionInAnyOrderAroundTheSource) {
    TrackArgs a;
    std::string error;
    ASSERT_TRUE(parse({"--csv", "o.csv", "--frames", "250", "synthetic", "--model", "m.txt", "--animation", "a.txt",
                       "--options", "v.ini"},
                      a, error))
        << error;
    EXPECT_EQ(a.source, "synthetic");
    EXPECT_EQ(a.model, "m.txt");
    EXPECT_EQ(a.options, "v.ini");
    EXPECT_EQ(a.csv, "o.csv");
    EXPECT_EQ(a.animation, "a.txt");
    EXPECT_EQ(a.frames, 250);
    ASSERT_TRUE(parse({"take.mp4", "--model", "m.txt"}, a, error));
    EXPECT_EQ(a.frames, -1);
    EXPECT_TRUE(a.csv.empty());

    const char* track[] = {"velmora", "track"};
    const char* other[] = {"velmora", "tracks"};
    EXPECT_TRUE(is_track_command(2, track));
    EXPECT_FALSE(is_track_command(2, other));
    EXPECT_FALSE(is_track_command(1, track));
}

struct BadLine {
    std::vector<const char*> words;
    const char* says;
};

class TrackArgsRefused : public ::testing::TestWithParam<BadLine> {};

TEST_P(TrackArgsRefused, WithAOneLineReason) {
    TrackArgs a;
    std::string error;
    EXPECT_FALSE(parse(GetParam().words, a, error));
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TrackArgsRefused,
    ::testing::Values(BadLine{{"--model", "m.txt"}, "no SOURCE"}, BadLine{{"synthetic"}, "--model"},
                      BadLine{{"synthetic", "--model"}, "needs a value"},
                      BadLine{{"synthetic", "--model", "a", "--model", "b"}, "twice"},
                      BadLine{{"synthetic", "--model", "a", "--frames", "12x"}, "above 0"},
                      BadLine{{"synthetic", "--model", "a", "--frames", "0"}, "above 0"},
                      BadLine{{"synthetic", "--model", "a", "--fps", "0"}, "above 0"},
                      BadLine{{"synthetic", "--model", "a", "--speed", "3"}, "unknown option --speed"},
                      BadLine{{"synthetic", "--model", "a", "--threshold", "0"}, "--threshold needs a whole number from 1 to 255, or auto"},
                      BadLine{{"synthetic", "--model", "a", "--threshold", "256"}, "--threshold needs a whole number from 1 to 255"},
                      BadLine{{"synthetic", "--model", "a", "--threshold", "Auto"}, "--threshold needs"},
                      BadLine{{"synthetic", "--model", "a", "--camera-mode", "640x480"}, "--camera-mode needs a mode"}));

TEST(TrackArgs, ThresholdIsANumberOrAutoAndPlaceNodesASwitch) {
    TrackArgs a;
    std::string error;
    ASSERT_TRUE(parse({"synthetic", "--model", "m.txt", "--threshold", "255", "--place-nodes"}, a, error)) << error;
    EXPECT_EQ(a.threshold, 255);
    EXPECT_FALSE(a.auto_threshold);
    EXPECT_TRUE(a.place_nodes);
    ASSERT_TRUE(parse({"synthetic", "--model", "m.txt", "--threshold", "auto", "--camera-mode", "640x480@30/yuyv"}, a,
                      error)) << error;
    EXPECT_TRUE(a.auto_threshold);
    EXPECT_FALSE(a.place_nodes);
    EXPECT_EQ(a.camera_mode, "640x480@30/yuyv");
}

TEST(Progress, ABarWithCountsRateAndTimeLeftAndAPlainLineForLogs) {
    const ProgressFigures half{5000, 10000, 0.25};  // 20000 frames/s, 0.25 s left
    EXPECT_EQ(progress_bar(half, 10), "[#####-----]   5000/10000 frames   20000 fps   0:01 left");
    EXPECT_EQ(progress_line(half), "5000/10000 frames, 20000 frames/s, 0:01 left");
    const ProgressFigures endless{90000, -1, 3.0};
    EXPECT_EQ(progress_bar(endless, 10), "90000 frames   30000 fps");
    EXPECT_EQ(progress_line(endless), "90000 frames, 30000 frames/s");
    EXPECT_EQ(progress_line({10, 5000, 0.0}), "10/5000 frames, 0 frames/s, -:-- left");
    EXPECT_EQ(progress_line({600, 4200, 10.0}), "600/4200 frames, 60 frames/s, 1:00 left");

    // Off a terminal, a line only every two seconds, and the last figures at the end.
    std::ostringstream out;
    ProgressReport report(out, false, 100);
    report.update(1, 0.5);
    report.update(2, 2.5);
    report.update(3, 3.0);
    report.finish(4, 4.0);
    EXPECT_EQ(out.str(), "2/100 frames, 1 frames/s, 2:03 left\n4/100 frames, 1 frames/s, 1:36 left\n");
}
