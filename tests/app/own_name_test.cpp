// The program's own name, from which the options file is named.

#include "app/own_name.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

struct NameCase {
    const char* argv0;
    const char* own_name;
    friend std::ostream& operator<<(std::ostream& os, const NameCase& c) { return os << '"' << c.argv0 << '"'; }
};

class OwnName : public ::testing::TestWithParam<NameCase> {};

TEST_P(OwnName, EnsuresExeCaseSensitivelyAndOnlyOnTheLastComponent) {
    testing_support::CapturedLog captured;
    const char* argv[] = {GetParam().argv0, nullptr};
    EXPECT_EQ(settle_own_name(1, argv, captured.log()), GetParam().own_name);
    EXPECT_EQ(captured.out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Examples, OwnName,
    ::testing::Values(NameCase{"D:\\tools\\velmora.exe", "D:\\tools\\velmora.exe"},
                      NameCase{"velmora", "velmora.exe"},
                      NameCase{"velmora.EXE", "velmora.EXE.exe"},
                      NameCase{"my.dir\\velmora", "my.dir\\velmora.exe"},
                      NameCase{"my.dir/velmora", "my.dir/velmora.exe"},
                      NameCase{"./velmora", "./velmora.exe"},
                      NameCase{"/opt/velmora.exe", "/opt/velmora.exe"},
                      NameCase{".exe", ".exe.exe"},
                      NameCase{"velmora.exe.bak", "velmora.exe.bak.exe"},
                      NameCase{"", ".exe"}));

TEST(OwnNameExtension, StopsAtSeparatorsAndBeforeTheFirstCharacter) {
    EXPECT_EQ(own_name_extension("a.b.c"), "c");
    EXPECT_EQ(own_name_extension("dir.x/file"), "");
    EXPECT_EQ(own_name_extension("dir.x\\file"), "");
    EXPECT_EQ(own_name_extension(".hidden"), "");
    EXPECT_EQ(own_name_extension("trailing."), "");
    EXPECT_EQ(own_name_extension(""), "");
}

TEST(OwnName, WithoutArgumentsWarnsAndFallsBack) {
    testing_support::CapturedLog captured;
    EXPECT_EQ(settle_own_name(0, nullptr, captured.log()), "velmora.exe");
    EXPECT_EQ(captured.out.str(), "\nwarning: cannot determine my own filename.");
    EXPECT_EQ(captured.err.str(), "");
    EXPECT_EQ(options_file_name("velmora.exe"), "velmora.exe.ini");
}
