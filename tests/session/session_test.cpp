// The session file: what the window and the batch run keep and read back.

#include "session/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

// Every setting of the block a session carries, changed from its default.
Options unusual_options() {
    Options o = default_options();
    int32_t v = 1000;
    for (int32_t Options::*f : {&Options::cluster_method,
                                &Options::show_thresholding,
                                &Options::camera_brightness,
                                &Options::camera_gain,
                                &Options::camera_shutter,
                                &Options::fullscreen_width,
                                &Options::fullscreen_height,
                                &Options::fullscreen_x,
                                &Options::fullscreen_y,
                                &Options::threshold,
                                &Options::kmeans_iterations,
                                &Options::kmeans_threads,
                                &Options::kmeans_clusters,
                                &Options::regiongrow_max_distance,
                                &Options::regiongrow_max_cluster_size,
                                &Options::regiongrow_min_cluster_size,
                                &Options::cure_max_distance,
                                &Options::cure_max_cluster_size,
                                &Options::cure_min_cluster_size,
                                &Options::min_node_distance,
                                &Options::max_track_distance,
                                &Options::animation_buffer_frames,
                                &Options::node_count,
                                &Options::line_width,
                                &Options::sensor_max_radius})
        o.*f = v++;
    o.fullscreen_x = -1920;
    o.y_invert = 0;
    EXPECT_TRUE(store_path(o.save_path, "takes/walk \"1\".txt"));
    EXPECT_TRUE(store_path(o.load_path, "/tmp/é.txt"));
    return o;
}

NodeModel unusual_model() {
    NodeModel m;
    m.set_node_count(4);
    m.red = 0.1f, m.green = 0.37f, m.blue = 1.0f / 3.0f, m.alpha = 0.0f;
    for (int i = 0; i < 4; ++i) {
        m.nodes[i] = ModelNode{10 * i - 5, 359 - i, 200 + i};
        m.sensors[i] =
            AngularSensor{i % 2 == 0, i % 3 == 0, -i, 7 * i, 0.01f * i, 1e-7f, 0.5f, 0.99f};
    }
    return m;
}

void expect_same_options(const Options& a, const Options& b) {
    // The block's bytes, but for the text after each path's end and the two
    // frame sizes, which no session carries.
    Options x = a, y = b;
    for (Options* o : {&x, &y}) {
        const size_t s = strnlen(o->save_path, sizeof o->save_path),
                     l = strnlen(o->load_path, sizeof o->load_path);
        std::memset(o->save_path + s, 0, sizeof o->save_path - s);
        std::memset(o->load_path + l, 0, sizeof o->load_path - l);
    }
    EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
}

void expect_same_model(const NodeModel& a, const NodeModel& b) {
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    ASSERT_EQ(a.sensors.size(), b.sensors.size());
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        EXPECT_EQ(std::memcmp(&a.nodes[i], &b.nodes[i], sizeof(ModelNode)), 0) << i;
        const AngularSensor &s = a.sensors[i], &t = b.sensors[i];
        EXPECT_EQ(std::tie(s.visible, s.at_node, s.x, s.y),
                  std::tie(t.visible, t.at_node, t.x, t.y))
            << i;
        // Exactly, not to six digits as the model file keeps them.
        EXPECT_EQ(std::tie(s.red, s.green, s.blue, s.alpha),
                  std::tie(t.red, t.green, t.blue, t.alpha))
            << i;
    }
    EXPECT_EQ(std::tie(a.red, a.green, a.blue, a.alpha), std::tie(b.red, b.green, b.blue, b.alpha));
}

}  // namespace

TEST(Session, ARoundTripGivesBackEverySettingTheModelAndTablesItDoesNotRead) {
    Session s;
    s.source = "/videos/walk 2.mp4";
    s.options = unusual_options();
    s.extras.set("tracking.memory", "1");
    s.extras.set("tracking.hold_frames", "12");
    s.extras.set("osc.host", "10.0.0.7");
    s.extras.set("sequence.fps", "29.97");
    s.extras.set("scene.label", "007");  // not a number's own spelling: stays text
    s.extras.set("a.empty", "");
    s.has_model = true;
    s.model = unusual_model();
    s.other_tables.emplace_back("calibration", "[calibration]\nscale = 0.25\n");

    Session back;
    std::string error;
    ASSERT_TRUE(parse_session(format_session(s), back, error)) << error << "\n"
                                                               << format_session(s);
    EXPECT_EQ(back.source, s.source);
    expect_same_options(back.options, s.options);
    EXPECT_EQ(back.extras.format(), s.extras.format());
    ASSERT_TRUE(back.has_model);
    expect_same_model(back.model, s.model);
    ASSERT_EQ(back.other_tables.size(), 1u);
    EXPECT_EQ(back.other_tables[0].first, "calibration");
    // A table no part reads is written back as it came.
    Session again;
    ASSERT_TRUE(parse_session(format_session(back), again, error)) << error;
    EXPECT_EQ(format_session(again), format_session(back));
    EXPECT_NE(format_session(back).find("scale = 0.25"), std::string::npos);
}

// What a person opening the file sees: one setting a line, one node a line.
TEST(Session, TheFileReadsAsSettingsAndANodeALine) {
    Session s;
    s.options.threshold = 180;
    s.has_model = true;
    s.model.set_node_count(2);
    const std::string text = format_session(s);
    EXPECT_EQ(text.find("version = 1\n"), text.find('\n') + 1) << text;
    EXPECT_NE(text.find("\n[options]\n"), std::string::npos);
    EXPECT_NE(text.find("\nthreshold = 180\n"), std::string::npos);
    EXPECT_NE(text.find("\n  {x = 50, y = 200, value = 255, sensor = {visible = true, at_node = "
                        "true, x = 50, y = 100, "
                        "colour = [0.0,0.0,1.0,0.5]}},\n"),
              std::string::npos)
        << text;
}

TEST(Session, AnythingNotGivenKeepsItsDefault) {
    Session s;
    std::string error;
    ASSERT_TRUE(parse_session(
        "version = 1\n[options]\nthreshold = 99\n[extra]\n\"tracking.memory\" = true\n", s, error))
        << error;
    Options expected = default_options();
    expected.threshold = 99;
    expect_same_options(s.options, expected);
    EXPECT_EQ(s.extras.get("tracking.memory"), "1");
    EXPECT_FALSE(s.has_model);
    EXPECT_TRUE(s.source.empty());
    // Brackets in a text are no lists.
    const std::string brackets(100, '[');
    ASSERT_TRUE(parse_session("version = 1 # [[[\nsource = \"" + brackets + "\"\n", s, error)) << error;
    EXPECT_EQ(s.source, brackets);
    ASSERT_TRUE(parse_session("version = 1\n[model]\nnodes = [{x = 1, y = 2}]\n", s, error))
        << error;
    ASSERT_EQ(s.model.nodes.size(), 1u);
    EXPECT_EQ(s.model.nodes[0].value, 255);
    EXPECT_TRUE(s.model.sensors[0].visible);
    EXPECT_EQ(s.model.red, 1.0f);
}

struct Refusal {
    std::string text;
    const char* says;
};

class SessionRefused : public ::testing::TestWithParam<Refusal> {};

TEST_P(SessionRefused, WithAOneLineReasonNamingWhatIsWrong) {
    Session s;
    std::string error;
    EXPECT_FALSE(parse_session(GetParam().text, s, error));
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SessionRefused,
    ::testing::Values(
        Refusal{"version = 1\nsource = \"a\"\nthreshold = [1,\n", "not TOML at line"},
        Refusal{"3\t1\t1\t0\t1\n", "not TOML at line 1"},
        Refusal{"[options]\nthreshold = 1\n", "no version"},
        Refusal{"version = 2\n", "session version 2; this one reads up to 1"},
        Refusal{"version = \"1\"\n", "version needs a whole number"},
        Refusal{"version = 1\n[options]\nthreshhold = 1\n", "unknown setting options.threshhold"},
        Refusal{"version = 1\n[options]\nthreshold = 1.5\n",
                "options.threshold needs a whole number"},
        Refusal{"version = 1\n[options]\nthreshold = 4294967296\n", "options.threshold needs"},
        Refusal{"version = 1\n[options]\ny_invert = 256\n", "options.y_invert needs"},
        Refusal{"version = 1\nthreshold = 5\n", "unknown setting threshold"},
        Refusal{"version = 1\nsource = 5\n", "source needs a text"},
        Refusal{"version = 1\n[extra]\n\"Bad Key\" = 1\n", "extra.\"Bad Key\" is not"},
        Refusal{"version = 1\n[extra]\n\"a.b\" = [1]\n", "extra.\"a.b\" needs"},
        Refusal{"version = 1\n[model]\ncolour = [1, 1, 1]\n", "model.colour needs a list of 4"},
        // The library reads nested lists recursively: no stack is deep enough for any file.
        Refusal{"version = 1\nx = " + std::string(200000, '[') + std::string(200000, ']') + "\n",
                "nest deeper"},
        Refusal{"version = 1\n[model]\ncolour = [1, 1, 1, 1e300]\n", "model.colour needs a number a float"},
        Refusal{"version = 1\n[model]\nnodes = [{x = 1}]\n",
                "model.nodes[0] needs a table with x and y"},
        Refusal{"version = 1\n[model]\nnodes = [{x = 1, y = 2, sensor = {size = 3}}]\n",
                "unknown setting model.nodes[0].sensor.size"}));

TEST(Session, AFileIsWrittenWholeAndReadBackOrRefusedByName) {
    testing_support::TempDir dir;
    Session s;
    s.source = "synthetic";
    std::string error;
    ASSERT_TRUE(save_session(s, dir.file("s.toml"), error)) << error;
    Session back;
    ASSERT_TRUE(load_session(dir.file("s.toml"), back, error)) << error;
    EXPECT_EQ(back.source, "synthetic");
    EXPECT_FALSE(load_session(dir.file("none.toml"), back, error));
    EXPECT_EQ(error, "session " + dir.file("none.toml") + ": cannot be read");
    testing_support::write_whole_file(dir.file("m.txt"), "3\t1\t1\t0\t1\n");
    EXPECT_FALSE(load_session(dir.file("m.txt"), back, error));
    EXPECT_EQ(error.rfind("session " + dir.file("m.txt") + ": not TOML", 0), 0u) << error;
    EXPECT_FALSE(save_session(s, dir.file("no/s.toml"), error));
}
