// The model file: layout, round trips, lenient reading, refused counts and
// what a failed save or load leaves behind.

#include "model/model_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "model/model_limits.h"
#include "tests/model/file_test_support.h"
#include "tests/support/test_support.h"

using file_test_support::kDefaultModelText;
using file_test_support::six_digits;
using testing_support::CapturedLog;
using testing_support::read_whole_file;
using testing_support::TempDir;
using testing_support::write_whole_file;

namespace {

NodeModel unusual_model() {
    NodeModel m;
    m.set_node_count(4);
    for (int i = 0; i < 4; ++i) {
        m.nodes[i] = ModelNode{-7 + 131 * i, 359 - 17 * i, 100 + i};
        m.sensors[i] = AngularSensor{i % 2 == 0, i % 3 == 0, 1000 * i - 5, -i, 1.0f / 3.0f, 0.1f * i,
                                     2.0f / 7.0f, 0.123456789f};
    }
    m.red = 0.2f;
    m.green = 1.0f / 7.0f;
    m.blue = 0.0f;
    m.alpha = 0.75f;
    return m;
}

void expect_same_model(const NodeModel& a, const NodeModel& b) {
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    ASSERT_EQ(a.sensors.size(), b.sensors.size());
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        EXPECT_EQ(a.nodes[i].x, b.nodes[i].x) << i;
        EXPECT_EQ(a.nodes[i].y, b.nodes[i].y) << i;
        EXPECT_EQ(a.nodes[i].value, b.nodes[i].value) << i;
        const AngularSensor& s = a.sensors[i];
        const AngularSensor& t = b.sensors[i];
        EXPECT_EQ(s.visible, t.visible) << i;
        EXPECT_EQ(s.at_node, t.at_node) << i;
        EXPECT_EQ(s.x, t.x) << i;
        EXPECT_EQ(s.y, t.y) << i;
        EXPECT_EQ(s.red, t.red) << i;
        EXPECT_EQ(s.green, t.green) << i;
        EXPECT_EQ(s.blue, t.blue) << i;
        EXPECT_EQ(s.alpha, t.alpha) << i;
    }
    EXPECT_EQ(a.red, b.red);
    EXPECT_EQ(a.green, b.green);
    EXPECT_EQ(a.blue, b.blue);
    EXPECT_EQ(a.alpha, b.alpha);
    EXPECT_EQ(a.visible, b.visible);
    EXPECT_EQ(a.hovered, b.hovered);
    EXPECT_EQ(a.selected, b.selected);
}

class ModelFile : public ::testing::Test {
protected:
    TempDir dir;
    CapturedLog log;
};

}  // namespace

TEST_F(ModelFile, TheDefaultModelIsWrittenByteForByte) {
    const std::string path = dir.file("model.txt");
    ASSERT_TRUE(save_model(NodeModel(), path, log.log()));
    EXPECT_EQ(read_whole_file(path), kDefaultModelText);
    EXPECT_EQ(log.out.str(), "\n model saved.");
    EXPECT_EQ(log.err.str(), "");
}

TEST_F(ModelFile, ARoundTripGivesBackEveryFieldWithFloatsToSixDigits) {
    const NodeModel original = unusual_model();
    const std::string path = dir.file("m.txt");
    ASSERT_TRUE(save_model(original, path, log.log()));

    NodeModel loaded;
    loaded.visible = true;
    loaded.hovered = 1;
    loaded.selected = 2;
    ASSERT_TRUE(load_model(loaded, path, log.log()));

    NodeModel expected = original;
    for (AngularSensor& s : expected.sensors)
        for (float* c : {&s.red, &s.green, &s.blue, &s.alpha}) *c = six_digits(*c);
    for (float* c : {&expected.red, &expected.green, &expected.blue, &expected.alpha}) *c = six_digits(*c);
    expected.visible = false;  // a load hides the model
    expected.hovered = -1;
    expected.selected = -1;
    expect_same_model(loaded, expected);
    EXPECT_EQ(log.out.str(), "\n model saved.\n model loaded.");
}

TEST_F(ModelFile, AModelWithoutNodesIsTheModelLineAlone) {
    NodeModel empty;
    empty.set_node_count(0);
    const std::string path = dir.file("empty.txt");
    ASSERT_TRUE(save_model(empty, path, log.log()));
    EXPECT_EQ(read_whole_file(path), "0\t1\t1\t0\t1\n");
    NodeModel loaded;
    ASSERT_TRUE(load_model(loaded, path, log.log()));
    EXPECT_TRUE(loaded.nodes.empty());
    EXPECT_TRUE(loaded.sensors.empty());
}

struct LenientCase {
    const char* name;
    const char* text;
};
void PrintTo(const LenientCase& c, std::ostream* os) { *os << c.name; }

class ModelFileLenient : public ModelFile, public ::testing::WithParamInterface<LenientCase> {};

// Every variant holds the values of the default model, so each must load into
// what the exact file gives.
TEST_P(ModelFileLenient, ReadsValuesInOrderWhateverTheWhiteSpace) {
    const std::string path = dir.file("in.txt");
    write_whole_file(path, GetParam().text);
    NodeModel loaded = unusual_model();
    ASSERT_TRUE(load_model(loaded, path, log.log()));
    NodeModel expected;
    expected.sensors[0].visible = true;
    expect_same_model(loaded, expected);
    EXPECT_EQ(log.out.str(), "\n model loaded.");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ModelFileLenient,
    ::testing::Values(
        LenientCase{"exact", "3\t1\t1\t0\t1\n50\t200\t255\t\t1\t1\t50\t100\t\t0\t0\t1\t0.5\t\n"
                             "100\t200\t255\t\t1\t1\t100\t100\t\t0\t0\t1\t0.5\t\n"
                             "150\t200\t255\t\t1\t1\t150\t100\t\t0\t0\t1\t0.5\t\n"},
        LenientCase{"single_spaces_no_empty_fields", "3 1 1 0 1\n50 200 255 1 1 50 100 0 0 1 0.5\n"
                                                     "100 200 255 1 1 100 100 0 0 1 0.5\n"
                                                     "150 200 255 1 1 150 100 0 0 1 0.5\n"},
        LenientCase{"one_line", "3 1 1 0 1 50 200 255 1 1 50 100 0 0 1 0.5 100 200 255 1 1 100 100 0 0 1 0.5 "
                                "150 200 255 1 1 150 100 0 0 1 0.5"},
        LenientCase{"crlf", "3\t1\t1\t0\t1\r\n50\t200\t255\t\t1\t1\t50\t100\t\t0\t0\t1\t0.5\t\r\n"
                            "100\t200\t255\t\t1\t1\t100\t100\t\t0\t0\t1\t0.5\t\r\n"
                            "150\t200\t255\t\t1\t1\t150\t100\t\t0\t0\t1\t0.5\t\r\n"},
        LenientCase{"other_float_spellings_and_trailing_text",
                    "  +3 1.0 1e0 0.0 10E-1\n50 200 255 1 1 50 100 0 -0 1 5e-1\n"
                    "100 200 255 1 1 100 100 0.000 0 1.00000000 .5\n"
                    "150 200 255 1 1 150 100 0 0 1 0.5 and anything after the last node\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModelFile, AShortFileLeavesTheUnreadNodesInTheDefaultLayout) {
    const std::string path = dir.file("short.txt");
    write_whole_file(path, "5\t0.5\t0.5\t0.5\t0.5\n1\t2\t3\t\t0\t0\t4\t5\t\t0.1\t0.2\t0.3\t0.4\t\n"
                           "6\t7\t8\t\t1\t0\t9\t10\t\t0.5\t0.6\t0.7\t0.8\t\n");
    NodeModel m;
    m.sensors[2].red = 0.9f;  // kept: sensors survive the resize
    ASSERT_TRUE(load_model(m, path, log.log()));
    ASSERT_EQ(m.nodes.size(), 5u);
    EXPECT_EQ(m.nodes[1].x, 6);
    EXPECT_EQ(m.sensors[1].y, 10);
    for (int i = 2; i < 5; ++i) {
        EXPECT_EQ(m.nodes[i].x, 50 + 50 * i);
        EXPECT_EQ(m.nodes[i].y, 200);
        EXPECT_EQ(m.nodes[i].value, 255);
        EXPECT_EQ(m.sensors[i].x, 50 + 50 * i);
        EXPECT_EQ(m.sensors[i].y, 100);
    }
    EXPECT_EQ(m.sensors[2].red, 0.9f);
    EXPECT_EQ(m.sensors[3].blue, 1.0f);
    EXPECT_EQ(log.out.str(), "\n model loaded.");
}

TEST_F(ModelFile, AValueThatCannotBeReadStopsTheFillThere) {
    const std::string path = dir.file("bad.txt");
    // Node 1's y is not a number; its x before it is read, nothing after it.
    write_whole_file(path, "3 0.5 0.5 0.5 0.5\n1 2 3 0 0 4 5 0.1 0.2 0.3 0.4\n6 oops 8 1 0 9 10 0.5 0.6 0.7 0.8\n"
                           "11 12 13 0 0 14 15 0 0 0 0\n");
    NodeModel m;
    ASSERT_TRUE(load_model(m, path, log.log()));
    EXPECT_EQ(m.red, 0.5f);
    EXPECT_EQ(m.nodes[0].x, 1);
    EXPECT_FALSE(m.sensors[0].visible);
    EXPECT_EQ(m.nodes[1].x, 6);
    EXPECT_EQ(m.nodes[1].y, 200);
    EXPECT_EQ(m.nodes[1].value, 255);
    EXPECT_EQ(m.nodes[2].x, 150);
    EXPECT_TRUE(m.sensors[2].visible);
}

TEST_F(ModelFile, ASensorFlagOtherThanZeroOrOneStopsTheFill) {
    const std::string path = dir.file("flag.txt");
    write_whole_file(path, "1 1 1 0 1\n5 6 7 2 0 8 9 0 0 0 0\n");
    NodeModel m;
    ASSERT_TRUE(load_model(m, path, log.log()));
    EXPECT_EQ(m.nodes[0].value, 7);
    EXPECT_TRUE(m.sensors[0].visible);
    EXPECT_TRUE(m.sensors[0].at_node);
    EXPECT_EQ(m.sensors[0].x, 50);
}

class ModelFileRefusedCount : public ModelFile, public ::testing::WithParamInterface<const char*> {};

TEST_P(ModelFileRefusedCount, LeavesTheModelExactlyAsItWasAndSaysSo) {
    const std::string path = dir.file("refused.txt");
    write_whole_file(path, GetParam());
    const NodeModel before = unusual_model();
    NodeModel m = before;
    m.visible = true;
    m.hovered = 2;
    EXPECT_FALSE(load_model(m, path, log.log()));
    NodeModel expected = before;
    expected.visible = true;
    expected.hovered = 2;
    expect_same_model(m, expected);
    EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(log.err.str(), "\ncould NOT load model from " + path);
}

INSTANTIATE_TEST_SUITE_P(Counts, ModelFileRefusedCount,
                         ::testing::Values("", "   \n", "abc 1 1 0 1", "-1\t1\t1\t0\t1\n", "-2147483648 1 1 0 1",
                                           "16777217 1 1 0 1", "2147483647", "99999999999 1 1 0 1", "+ 3",
                                           "\xef\xbb\xbf" "3 1 1 0 1"));

// Files that are plainly something else are refused before anything is
// read, and the line says what they look like: a take given as a model would
// otherwise become a chain of as many nodes as it has frames.
struct OtherFile {
    std::string text;
    const char* looks_like;
};

class ModelFileNotAModel : public ModelFile, public ::testing::WithParamInterface<OtherFile> {};

TEST_P(ModelFileNotAModel, IsRefusedSayingWhatItLooksLike) {
    const std::string path = dir.file("other.txt");
    write_whole_file(path, GetParam().text);
    const NodeModel before = unusual_model();
    NodeModel m = before;
    EXPECT_FALSE(load_model(m, path, log.log()));
    expect_same_model(m, before);
    EXPECT_EQ(log.err.str(),
              "\ncould NOT load model from " + path + ": it looks like " + GetParam().looks_like);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ModelFileNotAModel,
    ::testing::Values(
        OtherFile{"301\t3\n0\t10\t229\t255\t\t450\t19\t255\t\t110\t109\t255\t\t\n",
                  "an animation file (301 frames of 3 nodes; its chain is in its .model file)"},
        OtherFile{"frame,time_ms,n0_x,n0_y\r\n0,0.000,1,2\r\n", "a CSV table of tracked frames"},
        OtherFile{"3,1,1,0,1\n", "a CSV table"},
        OtherFile{"# velmora session\nversion = 1\n", "a settings or session file (key = value)"},
        OtherFile{"tracking.memory=1\n", "a settings or session file (key = value)"},
        OtherFile{std::string("\0\0\0\x20" "ftypisom\0\0\x02\0", 16), "an MP4 or QuickTime video"},
        OtherFile{"\x1a\x45\xdf\xa3\x9f\x42\x86\x81\x01", "a Matroska or WebM video"},
        OtherFile{std::string("RIFF\x24\x10\0\0AVI LIST", 16), "an AVI video"},
        OtherFile{"\x89PNG\r\n\x1a\n", "a PNG picture"},
        OtherFile{"3\t1\t1\t0\t1\n\x01\x02 junk", "a binary file"}));

// Any count an animation frame may hold loads; a short file keeps the default
// layout for the nodes it does not hold.
TEST_F(ModelFile, CountsFarBeyondTheControlPanelsLoad) {
    const std::string path = dir.file("big.txt");
    for (const int32_t count : {1001, 200000}) {
        write_whole_file(path, std::to_string(count) + " 1 1 0 1\n7 8 9 0 1 2 3 0 0 0 0\n");
        NodeModel m;
        ASSERT_TRUE(load_model(m, path, log.log())) << count;
        ASSERT_EQ(m.nodes.size(), static_cast<size_t>(count));
        EXPECT_EQ(m.nodes[0].x, 7);
        EXPECT_FALSE(m.sensors[0].visible);
        EXPECT_EQ(m.nodes.back().x, 50 + 50 * (count - 1));
        EXPECT_TRUE(m.sensors.back().visible);
    }
    EXPECT_EQ(log.err.str(), "");
}

TEST_F(ModelFile, AFileThatCannotBeOpenedLeavesTheModelUnchanged) {
    NodeModel m = unusual_model();
    EXPECT_FALSE(load_model(m, dir.file("missing.txt"), log.log()));
    EXPECT_FALSE(load_model(m, dir.path(), log.log())) << "a folder";
    EXPECT_FALSE(load_model(m, "", log.log()));
    expect_same_model(m, unusual_model());
    EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(log.err.str(), "\ncould NOT load model from " + dir.file("missing.txt") +
                                 "\ncould NOT load model from " + dir.path() + "\ncould NOT load model from ");
}

TEST_F(ModelFile, APipeIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    NodeModel m;
    EXPECT_FALSE(load_model(m, fifo, log.log()));
    EXPECT_EQ(m.nodes.size(), 3u);
}

TEST_F(ModelFile, ASaveThatCannotOpenItsFileWritesNothingAndSaysSo) {
    EXPECT_FALSE(save_model(NodeModel(), dir.file("no/such/folder/m.txt"), log.log()));
    EXPECT_FALSE(save_model(NodeModel(), "", log.log()));
    EXPECT_FALSE(save_model(NodeModel(), dir.path(), log.log())) << "a folder is not replaced";
    EXPECT_EQ(log.out.str(), "");
    EXPECT_EQ(log.err.str(), "\ncould NOT save model to " + dir.file("no/such/folder/m.txt") +
                                 "\ncould NOT save model to \ncould NOT save model to " + dir.path());
}

TEST_F(ModelFile, ASaveIntoAReadOnlyFolderLeavesTheOldFileWhole) {
    if (testing_support::running_as_root()) GTEST_SKIP() << "root writes anywhere";
    const std::string path = dir.file("old.txt");
    write_whole_file(path, "old content");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    EXPECT_FALSE(save_model(NodeModel(), path, log.log()));
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(read_whole_file(path), "old content");
    EXPECT_EQ(log.out.str(), "");
}

TEST_F(ModelFile, ASaveReplacesTheOldFileWhole) {
    const std::string path = dir.file("m.txt");
    write_whole_file(path, std::string(10000, 'x'));
    ASSERT_TRUE(save_model(NodeModel(), path, log.log()));
    EXPECT_EQ(read_whole_file(path), kDefaultModelText);
}
