// What a source's pictures look like in the frame: the same grey from every
// encoding of one picture, and a dot where the geometry says it lands for a
// turned file and one of non-square pixels. Truth comes from the pictures
// made here, and for the turn from the ffmpeg program's own autorotation.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"
#include "video/video_decoder.h"

using namespace video_inputs;
using testing_support::TempDir;

namespace {

// A grey picture as a binary PGM: `background` with `value` in a square of
// `half` pixels either way of (cx, cy).
void write_pgm(const std::string& path, int width, int height, uint8_t background, int cx, int cy, int half,
               uint8_t value) {
    std::string bytes = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    const size_t start = bytes.size();
    bytes.append(size_t(width) * size_t(height), static_cast<char>(background));
    for (int y = cy - half; y <= cy + half; ++y)
        for (int x = cx - half; x <= cx + half; ++x) bytes[start + size_t(y) * size_t(width) + size_t(x)] = static_cast<char>(value);
    testing_support::write_whole_file(path, bytes);
}

// The brightness-weighted centre of the pixels above `floor`.
PlanePoint centre_above(const uint8_t* pixels, int width, int height, int floor) {
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = pixels[size_t(y) * size_t(width) + size_t(x)] - floor;
            if (v <= 0) continue;
            sum += v, sx += double(v) * x, sy += double(v) * y;
        }
    return sum > 0 ? PlanePoint{sx / sum, sy / sum} : PlanePoint{-1, -1};
}

// --- grey range

struct Encoding {
    const char* name;
    const char* file;
    const char* arguments;  // ffmpeg's output options for the picture
};

class GreyRange : public ::testing::TestWithParam<Encoding> {};

// Background 40 and a square of 230 in full-range grey, stored as each
// encoding stores luma (limited 16 to 235, or full; 8 or 10 bits), reads back
// as 40 and 230: expanded once where limited, kept where full.
TEST_P(GreyRange, EveryEncodingGivesTheFullRangeGreyOfThePicture) {
    const Encoding& e = GetParam();
    TempDir dir;
    write_pgm(dir.file("in.pgm"), kFrameWidth, kFrameHeight, 40, 240, 180, 30, 230);
    const std::string out = dir.file(e.file);
    ASSERT_TRUE(ffmpeg("-i " + dir.file("in.pgm") + " " + e.arguments + " " + out)) << e.name;
    std::unique_ptr<CameraSource> source = open_or_fail(out);
    ASSERT_NE(source, nullptr);
    const Decoded d = decode_all(*source);
    ASSERT_EQ(d.frames.size(), 1u);
    const Frame& f = d.frames[0];
    EXPECT_NEAR(f[180 * kFrameWidth + 240], 230, 2) << e.name << " (" << source->info().pixel_format << ")";
    EXPECT_NEAR(f[20 * kFrameWidth + 20], 40, 2) << e.name << " (" << source->info().pixel_format << ")";
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, GreyRange,
    ::testing::Values(Encoding{"yuv420p", "p.mp4", "-c:v libx264 -qp 0 -pix_fmt yuv420p"},
                      Encoding{"yuvj420p", "p.avi", "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"},
                      Encoding{"yuv420p10le_limited", "l10.mkv", "-vf format=yuv420p10le -c:v ffv1"},
                      Encoding{"yuv420p10le_full", "f10.mkv",
                               "-vf scale=out_range=full,format=yuv420p10le -color_range pc -c:v ffv1"},
                      Encoding{"gray_png", "p.png", "-c:v png -pix_fmt gray"},
                      Encoding{"ffv1", "p.mkv", "-vf format=yuv420p -c:v ffv1"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- geometry

struct GeometryCase {
    const char* name;
    int width, height;
    int dot_u, dot_v;        // the dot's centre in the source's own pixels
    const char* encode;      // ffmpeg's options from the PGM
    const char* rewrap;      // then these with stream copy into `file`; empty: none
    const char* file;
    int rotation;            // the clockwise turn the file asks for
    double sample_aspect;
    FitRect rect;            // where the shown picture lies in the frame
};

class PictureGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(PictureGeometry, ADotLandsWhereTheMappingPutsItToATenthOfAPixel) {
    const GeometryCase& c = GetParam();
    TempDir dir;
    write_pgm(dir.file("in.pgm"), c.width, c.height, 0, c.dot_u, c.dot_v, 3, 250);
    const std::string encoded = dir.file(*c.rewrap != 0 ? "encoded.mkv" : c.file);
    ASSERT_TRUE(ffmpeg("-i " + dir.file("in.pgm") + " " + c.encode + " " + encoded));
    const std::string file = dir.file(c.file);
    if (*c.rewrap != 0) {
        ASSERT_TRUE(ffmpeg("-i " + encoded + " -c copy " + c.rewrap + " " + file));
    }

    std::unique_ptr<CameraSource> source = open_or_fail(file);
    ASSERT_NE(source, nullptr);
    const SourceGeometry g = source->info().geometry;
    EXPECT_EQ(g.rotation, c.rotation);
    EXPECT_NEAR(g.sample_aspect, c.sample_aspect, 1e-9);
    EXPECT_EQ(g.rect, c.rect);
    const Decoded d = decode_all(*source);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(source->frame_geometry(), g) << "the frame grabbed has the stream's geometry";

    // The decoder's own pictures are the source pixels themselves, unturned.
    std::string error;
    const std::unique_ptr<VideoDecoder> decoder = open_video_decoder(file, SourceOptions{}, error);
    ASSERT_NE(decoder, nullptr) << error;
    DecodedGrey picture;
    ASSERT_EQ(decoder->next_grey(picture), VideoDecoder::Result::picture);
    EXPECT_EQ(picture.width, c.width);
    EXPECT_EQ(picture.height, c.height);
    EXPECT_EQ(picture.geometry, g);
    EXPECT_EQ(picture.pixels[size_t(c.dot_v) * size_t(c.width) + size_t(c.dot_u)], 250);
    EXPECT_EQ(picture.pixels[size_t(c.dot_v) * size_t(c.width) + size_t(c.dot_u + 4)], 0);
    EXPECT_EQ(decoder->next_grey(picture), VideoDecoder::Result::end);

    const PlanePoint want = source_to_frame(g, PlanePoint{double(c.dot_u), double(c.dot_v)}, false);
    const PlanePoint got = centre_above(d.frames[0].data(), kFrameWidth, kFrameHeight, 2);
    EXPECT_NEAR(got.x, want.x, 0.1);
    EXPECT_NEAR(got.y, want.y, 0.1);

    if (c.rotation == 0) return;
    // The turn is the one the ffmpeg program applies when it shows the file:
    // its autorotated picture has the dot where the turn puts it.
    const std::string raw = dir.file("shown.gray");
    ASSERT_TRUE(ffmpeg("-i " + file + " -f rawvideo -pix_fmt gray " + raw));
    const std::string shown = testing_support::read_whole_file(raw);
    const bool turned = c.rotation == 90 || c.rotation == 270;
    const int sw = turned ? c.height : c.width, sh = turned ? c.width : c.height;
    ASSERT_EQ(shown.size(), size_t(sw) * size_t(sh));
    const PlanePoint dot = centre_above(reinterpret_cast<const uint8_t*>(shown.data()), sw, sh, 2);
    const SourceGeometry full{c.width, c.height, c.rotation, 1.0, FitRect{0, 0, sw, sh}};
    const PlanePoint at = source_to_frame(full, PlanePoint{double(c.dot_u), double(c.dot_v)}, false);
    EXPECT_NEAR(dot.x, at.x, 0.01);
    EXPECT_NEAR(dot.y, at.y, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PictureGeometry,
    ::testing::Values(
        // A phone-style file: stored 640 x 480, shown turned, 270 x 360 in the frame.
        GeometryCase{"turned", 640, 480, 150, 100, "-c:v ffv1", "-metadata:s:v:0 rotate=90", "turned.mov", 270, 1.0,
                     FitRect{105, 0, 270, 360}},
        // PAL widescreen: 720 x 576 pixels of 64:45 shown 16:9, 480 x 270.
        GeometryCase{"wide_pixels", 720, 576, 500, 300, "-vf setsar=64/45 -c:v ffv1", "", "wide.mkv", 0, 64.0 / 45.0,
                     FitRect{0, 45, 480, 270}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
