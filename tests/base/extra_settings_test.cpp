// The settings file beside the options file.

#include "base/extra_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/test_support.h"

using testing_support::CapturedLog;
using testing_support::file_exists;
using testing_support::read_whole_file;
using testing_support::TempDir;
using testing_support::write_whole_file;

TEST(ExtraSettings, TextRoundTripsValuesWithEqualsSignsAndSpaces) {
    ExtraSettings s;
    ASSERT_TRUE(s.set("source", "/takes/a=b c.mp4"));
    s.set_int("tracking.hold_frames", -7);
    s.set_bool("angles.show", true);
    ExtraSettings back;
    back.parse(s.format());
    EXPECT_EQ(back.get("source"), "/takes/a=b c.mp4");
    EXPECT_EQ(back.get_int("tracking.hold_frames", 0), -7);
    EXPECT_TRUE(back.get_bool("angles.show", false));
    EXPECT_FALSE(back.changed());
}

TEST(ExtraSettings, ReaderSkipsMalformedLinesAndTheLaterLineWins) {
    ExtraSettings s;
    s.parse("junk\nBad.Key=1\n=2\nn=1\r\nn=2\nnumber=12x\n\xff\xfe\nm=1\r2\n");
    EXPECT_EQ(s.get_int("n", 0), 2);
    EXPECT_EQ(s.get_int("number", 5), 5) << "not a number: the fallback";
    EXPECT_EQ(s.get("bad.key", "unset"), "unset");
    EXPECT_EQ(s.get("m", "unset"), "unset") << "a carriage return inside a value";
    EXPECT_EQ(s.format(), "n=2\nnumber=12x\n");
}

TEST(ExtraSettings, RefusesKeysAndValuesTheFileCannotHold) {
    ExtraSettings s;
    EXPECT_FALSE(s.set("source", "two\nlines"));
    EXPECT_FALSE(s.set("with space", "x"));
    EXPECT_FALSE(s.set("", "x"));
    EXPECT_TRUE(s.empty());
    EXPECT_FALSE(s.changed());
}

TEST(ExtraSettings, NothingIsWrittenOrLoggedUntilASettingChanges) {
    TempDir dir;
    const std::string options = dir.file("velmora.exe.ini");
    CapturedLog log;
    ExtraSettings s;
    s.load(options, log.log());
    EXPECT_TRUE(s.save(options, log.log()));
    EXPECT_FALSE(file_exists(ExtraSettings::file_name(options)));

    s.set("source", "synthetic");
    s.set("source", "synthetic");
    EXPECT_TRUE(s.save(options, log.log()));
    EXPECT_EQ(read_whole_file(options + ".extra"), "source=synthetic\n");
    EXPECT_EQ(log.out.str() + log.err.str(), "");

    ExtraSettings again;
    again.load(options, log.log());
    EXPECT_EQ(again.get("source"), "synthetic");
}

TEST(ExtraSettings, ReportsAFileItCannotReadOrWrite) {
    TempDir dir;
    const std::string options = dir.file("velmora.exe.ini");
    ASSERT_EQ(::mkdir(ExtraSettings::file_name(options).c_str(), 0700), 0);
    CapturedLog log;
    ExtraSettings s;
    s.load(options, log.log());
    EXPECT_EQ(log.err.str(), "\ncould not load settings from " + options + ".extra");
    s.set_int("n", 1);
    EXPECT_FALSE(s.save(options, log.log()));
    EXPECT_NE(log.err.str().find("\ncould NOT save settings to " + options + ".extra"), std::string::npos);
}
