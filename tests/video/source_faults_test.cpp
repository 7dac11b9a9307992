// Inputs that are missing, not video, damaged or lying in their headers: each
// is refused at the open with a sentence for the operator, or plays what can
// be decoded and says what went wrong. Nothing crashes or hangs.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"

using namespace video_inputs;
using testing_support::TempDir;
using testing_support::write_whole_file;

namespace {

Frame grey_frame(uint8_t v) { return Frame(kFrameBytes, v); }

struct Refused {
    const char* name;
    // Makes the input in the folder and returns the text to open.
    std::string (*make)(const TempDir& dir);
    const char* says;  // part of the error
};

class RefusedInput : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedInput, IsRefusedWithAReason) {
    TempDir dir;
    const std::string text = GetParam().make(dir);
    std::string error;
    const std::unique_ptr<CameraSource> source = open_camera_source(text, SourceOptions{}, nullptr, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
    EXPECT_NE(error.find(text), std::string::npos) << "the error names the input: " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusedInput,
    ::testing::Values(
        Refused{"missing", [](const TempDir& d) { return d.file("none.mp4"); }, "no such file"},
        Refused{"text",
                [](const TempDir& d) {
                    write_whole_file(d.file("notes.txt"), "these are not pictures\n");
                    return d.file("notes.txt");
                },
                "Invalid data"},
        Refused{"text_named_mp4",
                [](const TempDir& d) {
                    write_whole_file(d.file("take.mp4"), "hello\nworld\n");
                    return d.file("take.mp4");
                },
                "Invalid data"},
        Refused{"empty",
                [](const TempDir& d) {
                    write_whole_file(d.file("empty.mkv"), "");
                    return d.file("empty.mkv");
                },
                "Invalid data"},
        Refused{"folder_without_images", [](const TempDir& d) { return d.path(); }, "holds no PNG, PGM or JPEG"},
        Refused{"fifo",  // would block the open until a writer came
                [](const TempDir& d) {
                    EXPECT_EQ(mkfifo(d.file("pipe.mp4").c_str(), 0600), 0);
                    return d.file("pipe.mp4");
                },
                "not a regular file"},
        Refused{"folder_of_mixed_images",
                [](const TempDir& d) {
                    write_whole_file(d.file("a.png"), "x");
                    write_whole_file(d.file("b.pgm"), "x");
                    return d.path();
                },
                "more than one kind"},
        Refused{"huge_header",
                [](const TempDir& d) {
                    write_y4m(d.file("huge.y4m"), {grey_frame(1)}, 0, 0, "W65535 H65535 F25:1");
                    return d.file("huge.y4m");
                },
                ""},
        Refused{"empty_header",
                [](const TempDir& d) {
                    write_y4m(d.file("none.y4m"), {grey_frame(1)}, 0, 0, "W0 H0 F25:1");
                    return d.file("none.y4m");
                },
                ""},
        Refused{"no_device", [](const TempDir&) { return std::string("/dev/video0"); }, "No such file"},
        Refused{"pattern_without_files", [](const TempDir& d) { return d.file("f%04d.png"); }, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceText, TellsDevicesFromFilesByWhatThePathIs) {
    EXPECT_EQ(classify_source(" Synthetic ").kind, SourceKind::synthetic);
    EXPECT_EQ(classify_source("/dev/null").kind, SourceKind::device);
    EXPECT_EQ(classify_source("/dev/video77").kind, SourceKind::device) << "a camera not plugged in";
    EXPECT_EQ(classify_source("/tmp/no-such-folder/f%04d.png").kind, SourceKind::sequence);
    // A video kept in the memory file system is a file, not a camera.
    std::error_code ec;
    if (!std::filesystem::is_directory("/dev/shm", ec)) GTEST_SKIP() << "no /dev/shm";
    const std::string path = "/dev/shm/velmora-test-" + std::to_string(::getpid()) + ".y4m";
    write_whole_file(path, "YUV4MPEG2 W2 H2 F25:1 Cmono\nFRAME\nabcd");
    const SourceName name = classify_source(path);
    std::filesystem::remove(path, ec);
    EXPECT_EQ(name.kind, SourceKind::file);
    EXPECT_TRUE(name.error.empty()) << name.error;
}

// Frame i of the damaged files: noise (so each frame takes many bytes of the
// file) with i in its first byte.
Frame noisy_frame(int i) {
    Frame f(kFrameBytes);
    uint32_t state = 12345u + static_cast<uint32_t>(i);
    for (uint8_t& v : f) v = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    f[0] = static_cast<uint8_t>(i);
    return f;
}

// An FFV1 file of `frames` noisy frames, each a key frame, with checksums
// over its slices so that damage can be seen.
std::string ffv1_file(const TempDir& dir, int frames) {
    std::vector<Frame> f;
    for (int i = 0; i < frames; ++i) f.push_back(noisy_frame(i));
    write_y4m(dir.file("in.y4m"), f, kFrameWidth, kFrameHeight);
    const std::string out = dir.file("in.mkv");
    EXPECT_TRUE(ffmpeg("-i " + dir.file("in.y4m") + " -c:v ffv1 -level 3 -slicecrc 1 -g 1 " + out));
    return out;
}

TEST(DamagedInput, ATruncatedFilePlaysItsWholeFramesAndEnds) {
    TempDir dir;
    const std::string path = ffv1_file(dir, 40);
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    MessageCapture messages;
    std::unique_ptr<CameraSource> source = open_or_fail(path);
    ASSERT_NE(source, nullptr);
    const Decoded d = decode_all(*source);
    EXPECT_GE(d.frames.size(), 5u);
    EXPECT_LT(d.frames.size(), 40u);
    for (const Frame& f : d.frames) EXPECT_EQ(f.size(), kFrameBytes);
    EXPECT_TRUE(source->ended());
    EXPECT_NE(messages.all().find("damaged data"), std::string::npos) << messages.all();
}

TEST(DamagedInput, GarbageInTheMiddleIsReportedAndPlayingGoesOn) {
    TempDir dir;
    const std::string path = ffv1_file(dir, 40);
    std::string bytes = testing_support::read_whole_file(path);
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 4000; ++i) bytes[i] = static_cast<char>(i * 7919 >> 3);
    write_whole_file(path, bytes);
    MessageCapture messages;
    std::unique_ptr<CameraSource> source = open_or_fail(path);
    ASSERT_NE(source, nullptr);
    const Decoded d = decode_all(*source);
    EXPECT_GE(d.frames.size(), 30u) << "the frames before and after the damage play";
    EXPECT_NE(messages.all().find("damaged data"), std::string::npos) << messages.all();
    // The last frames are whole and as written.
    ASSERT_FALSE(d.frames.empty());
    EXPECT_TRUE(d.frames.back() == noisy_frame(39));
}

TEST(DamagedInput, AnAbsurdRateIsReportedAndEveryFrameStillComes) {
    TempDir dir;
    std::vector<Frame> frames = {grey_frame(10), grey_frame(20), grey_frame(30)};
    write_y4m(dir.file("fast.y4m"), frames, 0, 0, "W480 H360 F1000000:1");
    MessageCapture messages;
    std::unique_ptr<CameraSource> source = open_or_fail(dir.file("fast.y4m"));
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->info().frames_per_second, 0.0) << "an unbelievable rate is not shown as the rate";
    EXPECT_NE(messages.all().find("frames per second cannot be right"), std::string::npos) << messages.all();
    EXPECT_EQ(decode_all(*source).frames, frames);
}

TEST(DamagedInput, ATimeLimitEndsASlowSourceWithAFault) {
    // The fuzz target's bound: reads give up once the limit has passed.
    TempDir dir;
    const std::string path = ffv1_file(dir, 20);
    std::string error;
    SourceOptions options;
    options.pacing = Pacing::sequential;
    options.time_limit_ms = 1;
    std::unique_ptr<CameraSource> source = open_camera_source(path, options, nullptr, error);
    if (source == nullptr) {
        EXPECT_FALSE(error.empty());  // the limit may pass during the open already
        return;
    }
    MessageCapture messages;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const Decoded d = decode_all(*source);
    EXPECT_LT(d.frames.size(), 20u);
    EXPECT_NE(source->fault().find("took too long"), std::string::npos) << source->fault();
}

TEST(DamagedInput, AFaultKeepsTheLoopsLastGoodFrame) {
    // The loop's frame is only ever swapped for a whole new one: after the
    // stream ends the loop keeps its last frame.
    TempDir dir;
    write_y4m(dir.file("two.y4m"), {grey_frame(7), grey_frame(9)}, kFrameWidth, kFrameHeight);
    std::unique_ptr<CameraSource> source = open_or_fail(dir.file("two.y4m"));
    ASSERT_NE(source, nullptr);
    const std::vector<CycleRecord> cycles = run_cycles(4, source.get());
    EXPECT_EQ(cycles[0].frame, grey_frame(7));
    EXPECT_EQ(cycles[1].frame, grey_frame(9));
    EXPECT_EQ(cycles[3].frame, grey_frame(9));
}

}  // namespace
