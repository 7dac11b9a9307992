// Where the options file and the extra settings are read and saved: beside
// the program while its folder takes files, else in the user's configuration
// folder, each read from where it is saved when it is there, else from the
// other place.

#include "base/settings_place.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_support.h"

namespace {

struct Place {
    const char* name;
    bool own_folder_writable;
    std::vector<std::string> present;  // "own/..." or "config/..." files that exist
    const char* load_options;          // "own" or "config"
    const char* load_extras;
    const char* save;
};

std::ostream& operator<<(std::ostream& os, const Place& p) { return os << p.name; }

class SettingsPlaces : public ::testing::TestWithParam<Place> {};

}  // namespace

TEST_P(SettingsPlaces, ReadWhereSavedWhenThereElseFromTheOtherPlace) {
    const Place c = GetParam();
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir.file("own"));
    std::filesystem::create_directories(dir.file("config/velmora"));
    for (const std::string& name : c.present) testing_support::write_whole_file(dir.file(name), "x");
    const std::string own = dir.file("own/velmora.exe.ini");
    const std::string config = dir.file("config/velmora/velmora.exe.ini");
    const auto where = [&](const char* place) { return std::string(place) == "own" ? own : config; };

    const SettingsPlace got = settings_place(own, dir.file("config/velmora"), c.own_folder_writable);
    EXPECT_EQ(got.load_options, where(c.load_options));
    EXPECT_EQ(got.load_extras, where(c.load_extras));
    EXPECT_EQ(got.save, where(c.save));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPlaces,
    ::testing::Values(
        // A writable program folder works as ever, and finds a copy saved elsewhere only when it has none.
        Place{"FirstStart", true, {}, "own", "own", "own"},
        Place{"BothPlaces", true, {"own/velmora.exe.ini", "config/velmora/velmora.exe.ini"}, "own", "own", "own"},
        Place{"OnlyTheUsers", true, {"config/velmora/velmora.exe.ini", "config/velmora/velmora.exe.ini.extra"},
              "config", "config", "own"},
        // A read-only one: the user's copy first, a file that came with the program until there is one.
        Place{"ReadOnlyFirstStart", false, {}, "config", "config", "config"},
        Place{"ReadOnlyShipped", false, {"own/velmora.exe.ini", "own/velmora.exe.ini.extra"}, "own", "own", "config"},
        Place{"ReadOnlyUsersCopy", false,
              {"own/velmora.exe.ini", "config/velmora/velmora.exe.ini", "own/velmora.exe.ini.extra"}, "config", "own",
              "config"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsPlace, TheConfigurationFolderFollowsXdgConfigHomeThenHome) {
    const char* const saved_config = std::getenv("XDG_CONFIG_HOME");
    const char* const saved_home = std::getenv("HOME");
    const std::string config = saved_config ? saved_config : "", home = saved_home ? saved_home : "";
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(user_config_folder(), "/cfg/velmora");
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not absolute: ignored
    EXPECT_EQ(user_config_folder(), "/home/u/.config/velmora");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(user_config_folder(), "/home/u/.config/velmora");
    ::unsetenv("HOME");
    EXPECT_EQ(user_config_folder(), "");
    // Without a configuration folder the settings stay beside the program.
    EXPECT_EQ(settings_place("bin/velmora.exe.ini", "", false).save, "bin/velmora.exe.ini");
    saved_config ? ::setenv("XDG_CONFIG_HOME", config.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    saved_home ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");

    testing_support::TempDir dir;
    EXPECT_TRUE(make_folder_for(dir.file("a/b/velmora/velmora.exe.ini")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/velmora")));
    testing_support::write_whole_file(dir.file("plain"), "x");
    EXPECT_FALSE(make_folder_for(dir.file("plain/velmora/velmora.exe.ini"))) << "a file stands in the way";
}
