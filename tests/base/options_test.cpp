// The options block, its defaults and reset, and the 2160-byte options file.

#include "base/options.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <random>

#include "tests/support/test_support.h"

using testing_support::CapturedLog;
using testing_support::read_whole_file;
using testing_support::TempDir;
using testing_support::write_whole_file;

namespace {

int32_t int_at(const std::string& bytes, size_t offset) {
    int32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

std::string image_of(const Options& o) { return std::string(reinterpret_cast<const char*>(&o), sizeof o); }

// A block whose every byte differs from the defaults, so a reset shows what it touches.
Options scrambled() {
    Options o;
    std::memset(&o, 0x5A, sizeof o);
    return o;
}

}  // namespace

// Offsets and defaults as the file stores them, read back from raw bytes.
TEST(OptionsDefaults, FileImageHoldsEveryDefaultAtItsOffset) {
    const std::string b = image_of(default_options());
    ASSERT_EQ(b.size(), 2160u);
    struct Field {
        size_t offset;
        int32_t value;
    };
    const Field fields[] = {{0, 0},       {4, 0},       {2060, 480},  {2064, 360},  {2068, 512},
                            {2072, 128},  {2076, 120},  {2080, 800},  {2084, 600},  {2088, 1280},
                            {2092, 0},    {2096, 0},    {2100, 5},    {2104, 1},    {2108, 3},
                            {2112, 80},   {2116, 5000}, {2120, 20},   {2124, 80},   {2128, 5000},
                            {2132, 20},   {2136, 10},   {2140, 30},   {2144, 1000}, {2148, 3},
                            {2152, 1},    {2156, 20}};
    for (const Field& f : fields) EXPECT_EQ(int_at(b, f.offset), f.value) << "offset " << f.offset;
    EXPECT_EQ(static_cast<uint8_t>(b[8]), 1) << "y_invert";
    EXPECT_EQ(std::string(b.data() + 9, 11), std::string("output.txt\0", 11));
    EXPECT_EQ(std::string(b.data() + 1033, 11), std::string("output.txt\0", 11));
    // Static initialisation zeroes the block first: the rest of the paths and
    // the reserved bytes are zero.
    EXPECT_EQ(b.find_first_not_of('\0', 9 + 11), 1033u);
    EXPECT_EQ(b.find_first_not_of('\0', 1033 + 11), 2060u);
}

TEST(OptionsReset, KeepsTheCureFieldsThePathTailsAndTheReservedBytes) {
    Options o = scrambled();
    o.cure_max_distance = 7;
    o.cure_max_cluster_size = 8;
    o.cure_min_cluster_size = 9;
    reset_options(o);

    Options expected = default_options();
    EXPECT_EQ(o.cure_max_distance, 7);
    EXPECT_EQ(o.cure_max_cluster_size, 8);
    EXPECT_EQ(o.cure_min_cluster_size, 9);
    EXPECT_EQ(o.threshold, expected.threshold);
    EXPECT_EQ(o.node_count, 3);
    EXPECT_EQ(o.y_invert, 1);
    EXPECT_EQ(o.fullscreen_x, 1280);
    EXPECT_STREQ(o.save_path, "output.txt");
    EXPECT_STREQ(o.load_path, "output.txt");
    // Bytes after the NUL of "output.txt" keep the old, longer name's tail.
    EXPECT_EQ(static_cast<uint8_t>(o.save_path[11]), 0x5A);
    EXPECT_EQ(static_cast<uint8_t>(o.load_path[1023]), 0x5A);
    for (uint8_t r : o.reserved) EXPECT_EQ(r, 0x5A);
}

TEST(OptionsPath, StoresNamesUpTo1023CharactersAndRefusesLongerOnes) {
    Options o = default_options();
    const std::string fits(1023, 'a');
    ASSERT_TRUE(store_path(o.save_path, fits));
    EXPECT_EQ(std::string(o.save_path), fits);

    const std::string too_long(1024, 'b');
    EXPECT_FALSE(store_path(o.save_path, too_long));
    EXPECT_EQ(std::string(o.save_path), fits) << "a refused name must leave the field unchanged";
}

class OptionsFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string name = dir.file("velmora.exe.ini");
    CapturedLog captured;
};

TEST_F(OptionsFile, SaveWritesTheExactImageAndLogsBothLines) {
    Options o = default_options();
    o.threshold = 180;
    o.node_count = 7;
    std::strcpy(o.load_path, "take 1.txt");
    save_options(name, o, captured.log());

    EXPECT_EQ(read_whole_file(name), image_of(o));
    EXPECT_EQ(captured.out.str(), "\nsize of option:2160\noptions saved to " + name);
    EXPECT_EQ(captured.err.str(), "");
}

TEST_F(OptionsFile, SaveThenLoadGivesBackEveryByte) {
    Options o = scrambled();
    o.cluster_method = 2;
    save_options(name, o, captured.log());
    Options back = default_options();
    load_options(name, back, captured.log());
    EXPECT_EQ(image_of(back), image_of(o));
}

TEST_F(OptionsFile, MissingFileResetsSilently) {
    Options o = scrambled();
    load_options(name, o, captured.log());
    EXPECT_EQ(o.threshold, 0);
    EXPECT_EQ(o.node_count, 3);
    EXPECT_EQ(captured.out.str(), "");
    EXPECT_EQ(captured.err.str(), "");
}

TEST_F(OptionsFile, EmptyNameResetsSilently) {
    Options o = scrambled();
    load_options("", o, captured.log());
    EXPECT_EQ(o.node_count, 3);
    EXPECT_EQ(captured.out.str() + captured.err.str(), "");
}

TEST_F(OptionsFile, ExactSizeIsTakenUnchangedWhateverItHolds) {
    std::mt19937 rng(7);
    std::string bytes(2160, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    write_whole_file(name, bytes);

    Options o = default_options();
    load_options(name, o, captured.log());
    EXPECT_EQ(image_of(o), bytes);
    EXPECT_EQ(captured.out.str(), "\n options file size:2160\noptions loaded from " + name);
    EXPECT_EQ(captured.err.str(), "");
}

class OptionsFileWrongSize : public OptionsFile, public ::testing::WithParamInterface<size_t> {};

TEST_P(OptionsFileWrongSize, IsRejectedWithTheSizeMessageAndDefaults) {
    const size_t size = GetParam();
    write_whole_file(name, std::string(size, '\x11'));
    Options o = scrambled();
    o.cure_max_distance = 33;
    load_options(name, o, captured.log());

    EXPECT_EQ(o.node_count, 3);
    EXPECT_EQ(o.threshold, 0);
    EXPECT_EQ(o.cure_max_distance, 33) << "the reset keeps the cure_ fields";
    EXPECT_EQ(captured.out.str(), "\n options file size:" + std::to_string(size));
    EXPECT_EQ(captured.err.str(),
              "\nfilesize of " + name +
                  " differs from needed size of 2160 bytes. Probably you have updated to a newer "
                  "version of this program. simply re-adjust your settings and restart.");
}

INSTANTIATE_TEST_SUITE_P(Sizes, OptionsFileWrongSize, ::testing::Values(0u, 1u, 2159u, 2161u, 100000u));

// A name that exists but cannot be read as a file keeps the block as it was.
TEST_F(OptionsFile, UnreadableFolderUnderTheNameKeepsTheValues) {
    ASSERT_EQ(::mkdir(name.c_str(), 0755), 0);
    Options o = default_options();
    o.threshold = 99;
    load_options(name, o, captured.log());
    EXPECT_EQ(o.threshold, 99);
    EXPECT_EQ(captured.err.str(), "\ncould not open and load " + name);
    EXPECT_EQ(captured.out.str(), "");
}

TEST_F(OptionsFile, PipeUnderTheNameNeitherBlocksNorLoads) {
    ASSERT_EQ(::mkfifo(name.c_str(), 0644), 0);
    Options o = default_options();
    o.threshold = 42;
    load_options(name, o, captured.log());  // would hang if the reader blocked on the pipe
    EXPECT_EQ(o.threshold, 42);
    EXPECT_EQ(captured.err.str(), "\ncould not open and load " + name);
}

TEST_F(OptionsFile, FileWithoutReadPermissionKeepsTheValues) {
    if (testing_support::running_as_root()) GTEST_SKIP() << "root reads any file";
    write_whole_file(name, std::string(2160, '\0'));
    ASSERT_EQ(::chmod(name.c_str(), 0), 0);
    Options o = default_options();
    o.threshold = 17;
    load_options(name, o, captured.log());
    EXPECT_EQ(o.threshold, 17);
    EXPECT_EQ(captured.err.str(), "\ncould not open and load " + name);
}

TEST_F(OptionsFile, SaveIntoAMissingFolderSaysSoAndWritesNothing) {
    const std::string bad = dir.file("no-such-folder/velmora.exe.ini");
    save_options(bad, default_options(), captured.log());
    EXPECT_EQ(captured.out.str(), "\nsize of option:2160");
    EXPECT_EQ(captured.err.str(), "\ncould NOT save options to " + bad);
    EXPECT_FALSE(testing_support::file_exists(bad));
}

TEST_F(OptionsFile, SaveOverAFolderSaysSoAndLeavesItAlone) {
    ASSERT_EQ(::mkdir(name.c_str(), 0755), 0);
    save_options(name, default_options(), captured.log());
    EXPECT_EQ(captured.err.str(), "\ncould NOT save options to " + name);
    struct stat st{};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// A save that fails half-way (here: the file-size limit, which binds root as
// well) reports the failure and leaves the previous file intact, with no
// temporary file left behind.
TEST_F(OptionsFile, FailedWriteKeepsThePreviousFile) {
    Options old_options = default_options();
    old_options.threshold = 11;
    save_options(name, old_options, captured.log());
    const std::string before = read_whole_file(name);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    CapturedLog second;
    Options new_options = default_options();
    new_options.threshold = 222;
    save_options(name, new_options, second.log());

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(second.err.str(), "\ncould NOT save options to " + name);
    EXPECT_EQ(second.out.str(), "\nsize of option:2160");
    EXPECT_EQ(read_whole_file(name), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary file may be left behind";
}

TEST_F(OptionsFile, SaveThroughASymbolicLinkReplacesTheLinkedFile) {
    const std::string real = dir.file("real.ini");
    write_whole_file(real, "old");
    ASSERT_EQ(::symlink(real.c_str(), name.c_str()), 0);
    const Options o = default_options();
    save_options(name, o, captured.log());
    struct stat st{};
    ASSERT_EQ(::lstat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself must survive";
    EXPECT_EQ(read_whole_file(real), image_of(o));
}

TEST_F(OptionsFile, SaveKeepsThePermissionsOfTheFileItReplaces) {
    write_whole_file(name, "x");
    ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
    save_options(name, default_options(), captured.log());
    struct stat st{};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
