// A committed corpus of hostile files (truncated, huge and negative counts,
// NaN and infinite floats, binary junk, CRLF, spaces, one line) replayed
// through the model, animation and options readers. The sanitizer build runs
// this too, so any read past a buffer or overflow shows there.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/options.h"
#include "tests/support/reader_checks.h"
#include "tests/support/test_support.h"

using testing_support::CapturedLog;
using testing_support::read_whole_file;

namespace {

const std::string kCorpus = VELMORA_HOSTILE_FILES;

std::vector<std::string> corpus_files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus))
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string path_of(const std::string& name) { return kCorpus + "/" + name; }

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string s = info.param;
    for (char& c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

// A model that differs from the default in every field, so a refused load
// that touched anything shows.
NodeModel marked_model() {
    NodeModel m;
    m.set_node_count(2);
    m.nodes = {{7, 8, 9}, {10, 11, 12}};
    m.sensors[1] = AngularSensor{false, false, 3, 4, 0.1f, 0.2f, 0.3f, 0.4f};
    m.red = 0.25f;
    m.visible = true;
    m.hovered = 1;
    m.selected = 0;
    m.cluster_claims = {1, 0};
    return m;
}

Animation marked_animation() {
    Animation a;
    EXPECT_TRUE(a.reset(6, 2));
    start_recording(a);
    NodeModel live = marked_model();
    for (int i = 0; i < 4; ++i) a.record_step(live, 100.0f * i);
    start_playing(a, true, 50.0f);
    return a;
}

class HostileFile : public ::testing::TestWithParam<std::string> {
protected:
    CapturedLog log;
};

}  // namespace

TEST_P(HostileFile, TheModelReaderLeavesASoundModel) {
    const NodeModel before = marked_model();
    NodeModel m = before;
    const bool loaded = load_model(m, path_of(GetParam()), log.log());
    EXPECT_EQ(reader_checks::check_model(before, m, loaded), "");
    EXPECT_EQ(log.out.str(), loaded ? "\n model loaded." : "");
}

TEST_P(HostileFile, TheAnimationReaderLeavesASoundAnimation) {
    const Animation before = marked_animation();
    Animation a = before;
    const bool loaded = load_animation(a, path_of(GetParam()), log.log());
    if (loaded)
        EXPECT_EQ(log.out.str().rfind("\n anim loaded.", 0), 0u) << log.out.str();
    else
        EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(reader_checks::check_animation(before, a, loaded), "");
}

TEST_P(HostileFile, TheOptionsReaderTakesTheWholeImageOrTheDefaults) {
    Options o = default_options();
    o.threshold = 77;
    load_options(path_of(GetParam()), o, log.log());
    const std::string bytes = read_whole_file(path_of(GetParam()));
    if (bytes.size() == kOptionsFileSize) {
        EXPECT_EQ(std::memcmp(&o, bytes.data(), kOptionsFileSize), 0);
    } else {
        Options defaults = default_options();
        EXPECT_EQ(std::memcmp(&o, &defaults, sizeof o), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileFile, ::testing::ValuesIn(corpus_files()), test_name);

// --- what particular files must give ------------------------------------------

class RefusedHostileModel : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusedHostileModel, IsRefused) {
    NodeModel m = marked_model();
    CapturedLog log;
    EXPECT_FALSE(load_model(m, path_of(GetParam()), log.log()));
}

INSTANTIATE_TEST_SUITE_P(Counts, RefusedHostileModel,
                         ::testing::Values("model_truncated_in_count.txt", "model_huge_count.txt",
                                           "model_count_over_limit.txt", "model_int32_max_count.txt",
                                           "model_negative_count.txt", "anim_with_bad_companion.txt.model"),
                         test_name);

class RefusedHostileAnimation : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusedHostileAnimation, IsRefused) {
    Animation a;
    CapturedLog log;
    EXPECT_FALSE(load_animation(a, path_of(GetParam()), log.log()));
}

INSTANTIATE_TEST_SUITE_P(Headers, RefusedHostileAnimation,
                         ::testing::Values("anim_header_only_frames.txt", "anim_huge_counts.txt",
                                           "anim_huge_product.txt", "anim_product_wraps_to_zero.txt",
                                           "anim_frames_over_limit.txt", "anim_negative_frames.txt",
                                           "anim_negative_nodes.txt"),
                         test_name);

TEST(HostileModel, UnreadableFloatsStopTheFillAndLeaveDefaults) {
    CapturedLog log;
    for (const char* name : {"model_nan_colour.txt", "model_float_overflow.txt"}) {
        NodeModel m;
        ASSERT_TRUE(load_model(m, path_of(name), log.log())) << name;
        EXPECT_EQ(m.red, 1.0f) << name;
        EXPECT_EQ(m.nodes.size(), 1u);
        EXPECT_EQ(m.nodes[0].x, 50) << "nothing after the failed value is read";
    }
    NodeModel m;
    ASSERT_TRUE(load_model(m, path_of("model_inf_sensor.txt"), log.log()));
    EXPECT_EQ(m.sensors[0].y, 100);
    EXPECT_EQ(m.sensors[0].red, 0.0f);
    EXPECT_EQ(m.sensors[0].alpha, 0.5f);
}

TEST(HostileModel, ATruncatedFileKeepsWhatItHeld) {
    NodeModel m;
    CapturedLog log;
    ASSERT_TRUE(load_model(m, path_of("model_truncated.txt"), log.log()));
    ASSERT_EQ(m.nodes.size(), 5u);
    EXPECT_EQ(m.sensors[0].y, 10) << "the last, cut-off number still reads";
    EXPECT_EQ(m.nodes[4].x, 250);
}

TEST(HostileAnimation, ATruncatedFileFillsWhatItHeldAndZeroesTheRest) {
    Animation a = marked_animation();
    CapturedLog log;
    ASSERT_TRUE(load_animation(a, path_of("anim_truncated.txt"), log.log()));
    EXPECT_EQ(a.frame_count, 3);
    ASSERT_EQ(a.frames.size(), 6u);
    EXPECT_EQ(a.frames[1].x, 3);
    EXPECT_EQ(a.frames[2].value, 2);
    EXPECT_EQ(a.frames[3].x, 0);
    EXPECT_EQ(a.timestamps[1], 20.0f);
    EXPECT_EQ(a.timestamps[2], 0.0f);
}

TEST(HostileAnimation, NonNumericTimesStopTheFill) {
    CapturedLog log;
    Animation a;
    ASSERT_TRUE(load_animation(a, path_of("anim_inf_time.txt"), log.log()));
    EXPECT_EQ(a.frame_count, 2);
    for (const ModelNode& n : a.frames) EXPECT_EQ(n.x, 0);
    ASSERT_TRUE(load_animation(a, path_of("anim_nan_time.txt"), log.log()));
    EXPECT_EQ(a.timestamps[0], 10.0f);
    EXPECT_EQ(a.timestamps[1], 0.0f);
    EXPECT_EQ(a.frames[2].x, 0);
}

TEST(HostileAnimation, ExtremeTimesGiveASaturatedLabel) {
    Animation a;
    CapturedLog log;
    ASSERT_TRUE(load_animation(a, path_of("anim_huge_times.txt"), log.log()));
    ASSERT_TRUE(a.seek(1, 0.0f));
    EXPECT_EQ(a.time_label(), "2147483:647");
}

TEST(HostileAnimation, ZeroFramesAndARefusedCompanionStillLoad) {
    Animation a;
    CapturedLog log;
    ASSERT_TRUE(load_animation(a, path_of("anim_zero_frames.txt"), log.log()));
    EXPECT_EQ(a.capacity_frames, 0);
    EXPECT_EQ(a.nodes_per_frame, 4);
    EXPECT_EQ(a.time_label(), "0:0");
    a.model.red = 0.5f;
    ASSERT_TRUE(load_animation(a, path_of("anim_with_bad_companion.txt"), log.log()));
    EXPECT_EQ(a.model.red, 0.5f);
    EXPECT_EQ(a.frames[0].value, 3);
}
