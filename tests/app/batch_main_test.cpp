// The batch run's command line, the settings it runs with, and its progress output.

#include "app/batch_main.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/batch_progress.h"
#include "app/command_line.h"

namespace {

bool parse(std::vector<const char*> words, TrackArgs& args, std::string& error) {
    words.insert(words.begin(), {"velmora", "track"});
    return parse_track_args(static_cast<int>(words.size()), words.data(), args, error);
}

// The settings a run gets from `words` over the options `base`.
TrackSettings applied(std::vector<const char*> words, const Options& base, std::string& error) {
    TrackArgs args;
    TrackSettings settings;
    settings.batch.options = base;
    words.insert(words.begin(), "a.mp4");
    if (!parse(words, args, error) || !apply_track_flags(args, settings, error))
        error = "refused: " + error;
    return settings;
}

}  // namespace

TEST(TrackArgs, EveryOptionInAnyOrderAroundTheSources) {
    TrackArgs a;
    std::string error;
    ASSERT_TRUE(parse({"--csv", "o.csv", "--frames", "250", "synthetic", "--model", "m.txt",
                       "--animation", "a.txt", "--options", "v.ini", "--memory", "0"},
                      a, error))
        << error;
    EXPECT_EQ(a.sources, std::vector<std::string>{"synthetic"});
    EXPECT_EQ(a.model, "m.txt");
    EXPECT_EQ(a.options, "v.ini");
    EXPECT_EQ(a.csv, "o.csv");
    EXPECT_EQ(a.animation, "a.txt");
    EXPECT_EQ(a.frames, 250);
    EXPECT_EQ(a.memory, 0);
    ASSERT_TRUE(parse({"a.mp4", "-j", "3", "b.mp4", "--out-dir", "out", "c.mp4"}, a, error))
        << error;
    EXPECT_EQ(a.sources, (std::vector<std::string>{"a.mp4", "b.mp4", "c.mp4"}));
    EXPECT_EQ(a.jobs, 3);
    EXPECT_FALSE(a.method.has_value());
    // A session may bring the source; --help needs nothing else.
    EXPECT_TRUE(parse({"--session", "s.toml"}, a, error)) << error;
    EXPECT_TRUE(parse({"--help"}, a, error) && a.help);

    // --origin's third number is the axis; nothing else may follow.
    ASSERT_TRUE(parse({"a.mp4", "--origin", "100,200,30"}, a, error)) << error;
    ASSERT_TRUE(a.origin.has_value());
    EXPECT_EQ(a.origin->origin.x, 100.0);
    EXPECT_EQ(a.origin->x_axis_deg, 30.0);
    EXPECT_FALSE(parse({"a.mp4", "--origin", "100,200,foo"}, a, error));

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

TEST_P(TrackArgsRefused, WithAOneLineReasonNamingTheFlag) {
    TrackArgs a;
    std::string error;
    EXPECT_FALSE(parse(GetParam().words, a, error));
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TrackArgsRefused,
    ::testing::Values(
        BadLine{{"--model", "m.txt"}, "no SOURCE"},
        BadLine{{"synthetic", "--model"}, "needs a value"},
        BadLine{{"synthetic", "--model", "a", "--model", "b"}, "twice"},
        BadLine{{"synthetic", "--frames", "12x"}, "above 0"},
        BadLine{{"synthetic", "--frames", "0"}, "above 0"},
        BadLine{{"synthetic", "--fps", "0"}, "above 0"},
        BadLine{{"synthetic", "--fps2", "3"}, "unknown option --fps2"},
        BadLine{{"synthetic", "--osc", "9000"}, "--osc needs HOST:PORT"},
        BadLine{{"synthetic", "--method", "cure"}, "--method needs region-grow, k-means or merge"},
        BadLine{{"synthetic", "--max-distance", "301"},
                "--max-distance needs a whole number from 0 to 300"},
        BadLine{{"synthetic", "--max-distance", "-1"}, "--max-distance needs"},
        BadLine{{"synthetic", "--min-size", "5001"},
                "--min-size needs a whole number from 0 to 5000"},
        BadLine{{"synthetic", "--max-track-distance", "1e2"}, "--max-track-distance needs"},
        BadLine{{"synthetic", "--min-node-distance", ""}, "--min-node-distance needs"},
        BadLine{{"synthetic", "--memory", "31"}, "--memory needs a whole number from 0 to 30"},
        BadLine{{"synthetic", "--threshold", "0"},
                "--threshold needs a whole number from 1 to 255, or auto"},
        BadLine{{"synthetic", "--threshold", "256"}, "--threshold needs a whole number from 1 to 255"},
        BadLine{{"synthetic", "--threshold", "Auto"}, "--threshold needs"},
        BadLine{{"synthetic", "--camera-mode", "640x480"}, "--camera-mode needs a mode"},
        BadLine{{"synthetic", "-j", "0"}, "-j needs"}, BadLine{{"a.mp4", "b.mp4"}, "--out-dir"},
        BadLine{{"a.mp4", "--out-dir", "d", "--csv", "x.csv"}, "cannot be combined"},
        BadLine{{"a.mp4", "b.mp4", "--out-dir", "d", "--animation", "x.txt"}, "single SOURCE"},
        BadLine{{"a.mp4", "--session", "s.toml", "--options", "v.ini"}, "cannot be combined"}));

// The flags land on the settings in force, whatever their order on the line:
// the per-method limits on the method in force after --method.
TEST(TrackFlags, SetTheSettingsInForceAndTheLineSaysThem) {
    const Options base = default_options();
    std::string error;
    TrackSettings s =
        applied({"--max-distance", "40", "--min-size", "7", "--method", "merge", "--memory", "4",
                 "--max-track-distance", "12", "--min-node-distance", "3"},
                base, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(s.batch.options.cluster_method, 2);
    EXPECT_EQ(s.batch.options.cure_max_distance, 40);
    EXPECT_EQ(s.batch.options.cure_min_cluster_size, 7);
    EXPECT_EQ(s.batch.options.regiongrow_max_distance, base.regiongrow_max_distance);
    EXPECT_EQ(s.batch.options.max_track_distance, 12);
    EXPECT_EQ(s.batch.options.min_node_distance, 3);
    EXPECT_TRUE(s.batch.memory.enabled);
    EXPECT_EQ(s.batch.memory.hold_frames, 4);
    s.batch.options.threshold = 181;
    s.origin = "the session s.toml";
    EXPECT_EQ(settings_line(s),
              "velmora track: threshold 181, method merge (max distance 40, min size 7), max track "
              "distance 12, "
              "min node distance 3, memory 4 frames, flip on; from the session s.toml");

    s = applied({"--threshold", "auto", "--place-nodes"}, base, error);
    EXPECT_TRUE(s.batch.setup.find_markers && s.batch.setup.place_nodes);
    EXPECT_NE(settings_line(s).find("threshold auto"), std::string::npos);
    EXPECT_NE(settings_line(s).find(", nodes placed on the first frame"), std::string::npos);
    EXPECT_EQ(applied({"--threshold", "90"}, base, error).batch.options.threshold, 90);

    s = applied({"--min-size", "9"}, base, error);
    EXPECT_EQ(s.batch.options.regiongrow_min_cluster_size, 9)
        << "region grow is the default method";
    s = applied({"--memory", "0"}, base, error);
    EXPECT_FALSE(s.batch.memory.enabled);

    for (const char* flag : {"--max-distance", "--min-size"}) {
        error.clear();
        applied({"--method", "k-means", flag, "5"}, base, error);
        EXPECT_NE(error.find(std::string(flag) + ": the method k-means has no"), std::string::npos)
            << error;
    }
}

// --help lists both forms and every flag of the table with its default.
TEST(TrackFlags, TheUsageListsEveryFlagWithItsDefault) {
    const std::string usage = program_usage();
    EXPECT_NE(usage.find("usage: velmora [SOURCE]"), std::string::npos);
    EXPECT_NE(usage.find("velmora track SOURCE..."), std::string::npos);
    for (const TrackFlag& flag : track_flags()) {
        const size_t at = usage.find("  " + std::string(flag.name) +
                                     (flag.value.empty() ? " " : " " + std::string(flag.value)));
        ASSERT_NE(at, std::string::npos) << flag.name;
        // Up to the next flag: a wide flag has its help on a line of its own.
        const std::string line = usage.substr(at, usage.find("\n  -", at + 1) - at);
        if (!flag.fallback.empty()) {
            EXPECT_NE(line.find("(default: "), std::string::npos) << line;
        }
    }
}

struct StartCase {
    std::vector<const char*> words;
    WindowStart start;
};

class WindowStartCase : public ::testing::TestWithParam<StartCase> {};

TEST_P(WindowStartCase, IsReadFromTheArguments) {
    std::vector<const char*> words = GetParam().words;
    words.insert(words.begin(), "velmora");
    std::string error;
    EXPECT_EQ(window_start(static_cast<int>(words.size()), words.data(), error), GetParam().start)
        << error;
}

INSTANTIATE_TEST_SUITE_P(Lines, WindowStartCase,
                         ::testing::Values(StartCase{{}, WindowStart::window},
                                           StartCase{{"walk.mp4"}, WindowStart::window},
                                           StartCase{{"walk.mp4", "--help"}, WindowStart::help},
                                           StartCase{{"--version"}, WindowStart::version},
                                           StartCase{{"--threshold", "5"}, WindowStart::refused},
                                           StartCase{{"a.mp4", "b.mp4"}, WindowStart::refused}));

TEST(TrackOutputs, ACsvPerSourceIsNamedAfterItsLastPart) {
    EXPECT_EQ(csv_name_for("runs/a.mp4"), "a.csv");
    EXPECT_EQ(csv_name_for("walk.take.mkv"), "walk.take.csv");
    EXPECT_EQ(csv_name_for("shots/"), "shots.csv");
    EXPECT_EQ(csv_name_for("shots.v2/"), "shots.v2.csv");
    EXPECT_EQ(csv_name_for("/dev/video0"), "video0.csv");
    EXPECT_EQ(csv_name_for(".hidden"), ".hidden.csv");
}

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
    EXPECT_EQ(out.str(),
              "2/100 frames, 1 frames/s, 2:03 left\n4/100 frames, 1 frames/s, 1:36 left\n");
}

// Many runs: a line per running run; a finished run's last line once. On a
// terminal the block is redrawn over itself, each line within 80 columns.
TEST(Progress, TheBoardShowsALinePerRunningRun) {
    std::ostringstream log;
    ProgressBoard logs(log, false, {"a.mp4", "b.mp4", "c.mp4"});
    logs.run(0).begin(100);
    logs.run(1).begin(-1);
    logs.run(0).update(50, 1.0);
    logs.run(1).update(7, 1.0);
    logs.draw(0.0, false);
    logs.draw(1.0, false);  // within two seconds: nothing
    logs.end(1, "b.mp4: 7 frames -> out/b.csv");
    logs.draw(1.5, false);
    EXPECT_EQ(log.str(),
              "a.mp4: 50/100 frames, 50 frames/s, 0:01 left\nb.mp4: 7 frames, 7 frames/s\n"
              "b.mp4: 7 frames -> out/b.csv\n");

    std::ostringstream tty;
    const std::string long_name(40, 'x');
    ProgressBoard bars(tty, true, {"a.mp4", long_name});
    bars.run(0).begin(10);
    bars.run(1).begin(10);
    bars.draw(0.1, false);
    const std::string first = tty.str();
    EXPECT_EQ(first.substr(0, 3), "\033[J");
    std::istringstream lines(first.substr(3));
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    bars.end(0, "a.mp4: 10 frames -> a.csv");
    bars.draw(0.2, false);
    EXPECT_EQ(tty.str().substr(first.size(), 7), "\033[2F\033[J")
        << "back over the two lines drawn";
    EXPECT_NE(tty.str().find("a.mp4: 10 frames -> a.csv\n..."), std::string::npos) << tty.str();
}
