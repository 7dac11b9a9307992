// Image sequences: folders in natural order, printf patterns from whatever
// number they begin at and across gaps, each picture timed by its number at
// the rate asked for.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"
#include "video/image_sequence.h"

using namespace video_inputs;
using testing_support::TempDir;

namespace {

// A 480 x 360 grey PGM of one value.
void write_grey(const std::string& path, uint8_t value) {
    testing_support::write_whole_file(path, "P5\n480 360\n255\n" + std::string(kFrameBytes, static_cast<char>(value)));
}

TEST(NaturalOrder, NumbersCompareByValueAndTheRestByItsBytes) {
    EXPECT_TRUE(natural_less("f2.png", "f10.png"));
    EXPECT_FALSE(natural_less("f10.png", "f2.png"));
    EXPECT_TRUE(natural_less("take2_f9", "take2_f10"));
    EXPECT_TRUE(natural_less("a10", "b2"));
    EXPECT_TRUE(natural_less("f", "f1"));
    // Equal by value, still one order: no two names tie.
    EXPECT_NE(natural_less("f01", "f1"), natural_less("f1", "f01"));
}

TEST(NumberPattern, NamesOnlyItsOwnSpellingOfANumber) {
    NumberPattern p;
    std::string error;
    ASSERT_TRUE(parse_number_pattern("shots/f%04d.png", p, error)) << error;
    EXPECT_EQ(p.folder, "shots");
    EXPECT_EQ(p.name(7), "f0007.png");
    EXPECT_EQ(p.name(12345), "f12345.png");
    EXPECT_EQ(p.number_of("f0100.png"), 100);
    EXPECT_EQ(p.number_of("f12345.png"), 12345);
    EXPECT_EQ(p.number_of("f100.png"), std::nullopt);
    EXPECT_EQ(p.number_of("f0100.pngx"), std::nullopt);
    ASSERT_TRUE(parse_number_pattern("100%%_%d.pgm", p, error)) << error;
    EXPECT_EQ(p.number_of("100%_7.pgm"), 7);
    EXPECT_EQ(p.number_of("100%_07.pgm"), std::nullopt);
    EXPECT_FALSE(parse_number_pattern("f%d_%d.png", p, error)) << "one number only";
    EXPECT_FALSE(parse_number_pattern("f%s.png", p, error));
}

struct Sequence {
    const char* name;
    std::vector<int> numbers;  // the files made, "f%04d.pgm", frame value = number
    bool folder;               // opened as the folder rather than the pattern
    double fps;
    std::vector<int> order;    // the numbers as they play
    std::vector<double> times_ms;
};

class ImageSequenceSource : public ::testing::TestWithParam<Sequence> {};

TEST_P(ImageSequenceSource, PlaysItsPicturesInOrderAtTheirTimes) {
    const Sequence& s = GetParam();
    TempDir dir;
    for (int n : s.numbers) {
        char name[32];
        std::snprintf(name, sizeof name, s.folder ? "f%d.pgm" : "f%04d.pgm", n);
        write_grey(dir.file(name), static_cast<uint8_t>(n));
    }
    std::string error;
    SourceOptions options{Pacing::sequential};
    options.sequence_fps = s.fps;
    options.count_frames = true;
    const std::string text = s.folder ? dir.path() : dir.file("f%04d.pgm");
    std::unique_ptr<CameraSource> source = open_camera_source(text, options, nullptr, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->info().frame_count, static_cast<int64_t>(s.order.size()));
    const Decoded d = decode_all(*source);
    std::vector<int> order;
    for (const Frame& f : d.frames) order.push_back(f[0]);
    EXPECT_EQ(order, s.order);
    ASSERT_EQ(d.times.size(), s.times_ms.size());
    for (size_t i = 0; i < d.times.size(); ++i) EXPECT_NEAR(d.times[i], s.times_ms[i], 1e-9) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ImageSequenceSource,
    ::testing::Values(Sequence{"folder_in_natural_order", {10, 2, 1, 9}, true, 25, {1, 2, 9, 10}, {0, 40, 80, 120}},
                      Sequence{"pattern_from_100_across_a_gap", {100, 101, 102, 104, 105}, false, 25,
                               {100, 101, 102, 104, 105}, {0, 40, 80, 160, 200}},
                      Sequence{"pattern_at_its_own_rate", {7, 8, 10}, false, 30, {7, 8, 10},
                               {0, 1000.0 / 30, 3000.0 / 30}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
