// No output of `velmora track` lands on an input or on another output: the
// same file by any name (a hard link, a symbolic link, another spelling, a
// linked folder), or the same name where no file exists yet.

#include "app/output_clash.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/batch_main.h"
#include "tests/support/test_support.h"

namespace {

struct Clash {
    const char* csv;        // "" for standard output
    const char* animation;  // "" for none
    const char* says;       // both names in the sentence; "" for no clash
};
std::ostream& operator<<(std::ostream& os, const Clash& c) { return os << c.csv << " | " << c.animation; }

class OutputClash : public ::testing::TestWithParam<Clash> {
protected:
    // Inputs: take.mkv, m.txt, v.ini, each a file; v.ini.extra does not exist.
    // hard.mkv and link.mkv are take.mkv by a hard and a symbolic link,
    // alias/ is out/ by a link.
    void SetUp() override {
        for (const char* name : {"take.mkv", "m.txt", "v.ini"}) testing_support::write_whole_file(dir.file(name), "x");
        std::filesystem::create_hard_link(dir.file("take.mkv"), dir.file("hard.mkv"));
        std::filesystem::create_symlink(dir.file("take.mkv"), dir.file("link.mkv"));
        std::filesystem::create_directory(dir.file("out"));
        std::filesystem::create_directory_symlink(dir.file("out"), dir.file("alias"));
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    }
    void TearDown() override { (void)::chdir("/"); }
    testing_support::TempDir dir;
};

}  // namespace

TEST_P(OutputClash, IsRefusedNamingBothFiles) {
    const Clash c = GetParam();
    TrackArgs args;
    args.sources = {"take.mkv"};
    args.model = "m.txt";
    args.options = "v.ini";
    args.csv = c.csv;
    args.animation = c.animation;
    const std::string said = output_clash(track_inputs(args, "v.ini", "v.ini"), track_outputs(args));
    if (std::string(c.says).empty()) {
        EXPECT_EQ(said, "");
        return;
    }
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OutputClash,
    ::testing::Values(
        Clash{"take.mkv", "", "--csv \"take.mkv\" would overwrite the source \"take.mkv\""},
        Clash{"out/../take.mkv", "", "the source \"take.mkv\""},
        Clash{"hard.mkv", "", "--csv \"hard.mkv\" would overwrite the source"},
        Clash{"", "link.mkv", "--animation \"link.mkv\" would overwrite the source"},
        Clash{"m.txt", "", "would overwrite --model \"m.txt\""},
        Clash{"", "m.txt.csv", ""},
        Clash{"", "m", ""},
        Clash{"m.txt.partial", "v.ini", "--animation \"v.ini\" would overwrite --options \"v.ini\""},
        Clash{"v.ini.extra", "", "would overwrite the extra settings \"v.ini.extra\""},
        Clash{"same.txt", "same.txt", "--csv \"same.txt\" and --animation \"same.txt\" are the same file"},
        Clash{"a.txt.model", "a.txt", "--csv \"a.txt.model\" and the animation's model \"a.txt.model\""},
        Clash{"b.csv", "b.csv.partial", "the CSV's partial file"},
        Clash{"alias/new.csv", "out/new.csv", "are the same file"},
        Clash{"", "", ""}, Clash{"-", "out.txt", ""}, Clash{"out.csv", "out.txt", ""},
        Clash{"/dev/null", "/dev/null", ""}));
