// Every file the program writes goes through one layer, so a full disk or a
// kill in the middle of a save leaves the file that stood there as it was.
// The fault seam fails (or kills) a write part-way through each of the
// program's writers; a stream leaves its finished pieces whole in its partial
// file; a taken name gets the next free one.

#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "base/options.h"
#include "measure/csv_file.h"
#include "model/animation_file.h"
#include "model/model_file.h"
#include "tests/support/test_support.h"

using testing_support::read_whole_file;
using testing_support::TempDir;
using testing_support::write_whole_file;

namespace {

std::set<std::string> names_in(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// A long take: 20000 frames of 10 nodes, a few MB of text in several pieces.
Animation long_take(int frames) {
    Animation a;
    EXPECT_TRUE(a.reset(frames, 10));
    a.frame_count = frames;
    for (int f = 0; f < frames; ++f) {
        a.timestamps[f] = 1000.0f + 16.5f * static_cast<float>(f);
        for (int n = 0; n < 10; ++n) a.frames[static_cast<size_t>(f) * 10 + n] = ModelNode{f % 480, n * 30, 255};
    }
    return a;
}

// One of the program's writers: writes the old or the new version of its
// file. The options stand for every whole-file save (model, extra settings,
// CSV export): they share replace_file; the animation is written in pieces.
struct Writer {
    const char* name;
    std::function<bool(const std::string& path, bool newer)> save;
};
std::ostream& operator<<(std::ostream& os, const Writer& w) { return os << w.name; }

Log quiet_log() {
    static std::ostringstream sink;
    return Log{sink, sink};
}

const Writer kWriters[] = {
    {"options",
     [](const std::string& path, bool newer) {
         Options o = default_options();
         o.threshold = newer ? 200 : 100;
         return save_options(path, o, quiet_log());
     }},
    {"animation",
     [](const std::string& path, bool newer) {
         return save_animation(long_take(newer ? 20000 : 2), path, quiet_log());
     }},
    {"csv",
     [](const std::string& path, bool newer) {
         return save_csv(frame_table_of(long_take(newer ? 20000 : 2)), path);
     }},
};

class EveryWriter : public ::testing::TestWithParam<Writer> {
protected:
    void SetUp() override {
        target = dir.file(std::string(GetParam().name) + ".txt");
        ASSERT_TRUE(GetParam().save(dir.file("scratch"), true));
        const std::string new_bytes = read_whole_file(dir.file("scratch"));
        new_size = new_bytes.size();
        std::filesystem::remove(dir.file("scratch"));
        std::filesystem::remove(dir.file("scratch.model"));
        ASSERT_TRUE(GetParam().save(target, false));
        old_bytes = read_whole_file(target);
        ASSERT_NE(old_bytes, new_bytes);
        before = names_in(dir.path());
    }
    void TearDown() override { platform::set_write_fault(std::nullopt); }

    TempDir dir;
    std::string target, old_bytes;
    uintmax_t new_size = 0;
    std::set<std::string> before;
};

}  // namespace

TEST_P(EveryWriter, ADiskThatFillsUpHalfWayLeavesTheOldFileAndNoOther) {
    platform::set_write_fault(platform::WriteFault{new_size / 2, ENOSPC, false});
    EXPECT_FALSE(GetParam().save(target, true));
    platform::set_write_fault(std::nullopt);
    EXPECT_EQ(read_whole_file(target), old_bytes);
    EXPECT_EQ(names_in(dir.path()), before) << "no temporary file is left behind";
}

TEST_P(EveryWriter, AKillHalfWayLeavesTheOldFile) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::set_write_fault(platform::WriteFault{new_size / 2, 0, true});
        GetParam().save(target, true);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "killed in the middle of the save";
    EXPECT_EQ(read_whole_file(target), old_bytes);
    // What the kill leaves is one hidden temporary file, never under the name.
    std::set<std::string> after = names_in(dir.path());
    for (const std::string& name : before) after.erase(name);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.begin()->front(), '.') << *after.begin();
}

INSTANTIATE_TEST_SUITE_P(Writers, EveryWriter, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OutputFile, AStreamKeepsItsWholePiecesInThePartialFileWhenTheDiskFills) {
    TempDir dir;
    const std::string target = dir.file("out.csv");
    write_whole_file(target, "old\r\n");
    platform::OutputFile file;
    ASSERT_TRUE(file.open(target, platform::OutputFile::Temp::partial));
    EXPECT_EQ(file.writing_to(), target + ".partial");
    ASSERT_TRUE(file.write("row 0\r\n"));
    ASSERT_TRUE(file.write("row 1\r\n"));
    platform::set_write_fault(platform::WriteFault{3, ENOSPC, false});
    EXPECT_FALSE(file.write("row 2\r\n"));
    platform::set_write_fault(std::nullopt);
    EXPECT_EQ(file.error(), ENOSPC);
    EXPECT_FALSE(file.write("row 3\r\n")) << "nothing after a failure";
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(read_whole_file(target), "old\r\n");
    EXPECT_EQ(read_whole_file(target + ".partial"), "row 0\r\nrow 1\r\n") << "no piece cut short";

    // A stream that ends well takes the name; its partial file goes.
    ASSERT_TRUE(file.open(target, platform::OutputFile::Temp::partial));
    ASSERT_TRUE(file.write("new\r\n"));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(read_whole_file(target), "new\r\n");
    EXPECT_FALSE(testing_support::file_exists(target + ".partial"));
}

TEST(OutputFile, DevicesAreWrittenStraightIntoOnlyWhenAskedAndFoldersNever) {
    TempDir dir;
    platform::OutputFile file;
    ASSERT_TRUE(file.open("/dev/null", platform::OutputFile::Temp::partial, true));
    EXPECT_EQ(file.writing_to(), "/dev/null");
    EXPECT_TRUE(file.write("anything"));
    EXPECT_TRUE(file.commit());
    EXPECT_FALSE(testing_support::file_exists("/dev/null.partial"));
    EXPECT_FALSE(file.open("/dev/null"));
    EXPECT_FALSE(file.open(dir.path(), platform::OutputFile::Temp::hidden, true));
    EXPECT_EQ(file.error(), EISDIR);
}

// Pieces reach the file within the writer's period with nothing more
// appended: a run that stalls or is killed keeps what it finished.
TEST(StreamWriter, APieceReachesTheFileWithinAPeriodWithoutAnotherAfterIt) {
    TempDir dir;
    platform::OutputFile file;
    ASSERT_TRUE(file.open(dir.file("out.csv"), platform::OutputFile::Temp::partial));
    platform::StreamWriter writer(file, std::chrono::milliseconds(50));
    ASSERT_TRUE(writer.append("frame,time_ms\r\n0,0.000\r\n"));
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (read_whole_file(dir.file("out.csv.partial")).empty() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(read_whole_file(dir.file("out.csv.partial")), "frame,time_ms\r\n0,0.000\r\n");
    EXPECT_TRUE(writer.finish());
    EXPECT_TRUE(file.commit());
}

struct FreeName {
    std::vector<std::string> taken;
    std::string name;
    std::string expected;
};

TEST(NextFreeName, CountsOnFromTheNumberAtTheEndOfTheStem) {
    const FreeName cases[] = {
        {{"take1.txt"}, "take1.txt", "take2.txt"},
        {{"take1.txt", "take2.txt"}, "take1.txt", "take3.txt"},
        {{"t9.txt"}, "t9.txt", "t10.txt"},
        {{"take"}, "take", "take2"},
        {{"1700000000.txt"}, "1700000000.txt", "1700000000_2.txt"},  // a time stamp, not a count
        {{"a.txt", "a2.txt.model"}, "a.txt", "a3.txt"},  // a take's model counts
    };
    for (const FreeName& c : cases) {
        TempDir dir;
        for (const std::string& name : c.taken) write_whole_file(dir.file(name), "x");
        EXPECT_EQ(platform::next_free_name(dir.file(c.name), {".model"}), dir.file(c.expected)) << c.name;
    }
    TempDir dir;
    std::filesystem::create_directory(dir.file("dir.d"));
    EXPECT_EQ(platform::next_free_name(dir.file("dir.d/x")), dir.file("dir.d/x2")) << "a dot in a folder name";
}
