// The synthetic camera's frames written as video and image files and read
// back through the camera source: lossless codecs give back every frame byte
// for byte, and so the main loop finds the same clusters and tracks the same
// way; lossy codecs keep every cluster within a pixel. Pictures of other sizes
// are fitted with their aspect kept, between black bars.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/support/test_support.h"
#include "tests/video/video_inputs.h"
#include "video/frame_fit.h"

using namespace video_inputs;
using testing_support::TempDir;

namespace {

constexpr int kFrames = 200;

// The reference run and its frames, made once for every test here.
class SyntheticFrames : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        reference_ = new std::vector<CycleRecord>(run_cycles(kFrames, nullptr));
        dir_ = new TempDir;
        write_y4m(dir_->file("synthetic.y4m"), frames_of(*reference_), kFrameWidth, kFrameHeight);
    }
    static void TearDownTestSuite() {
        delete reference_;
        delete dir_;
    }
    static std::string y4m() { return dir_->file("synthetic.y4m"); }
    static std::string file(const std::string& name) { return dir_->file(name); }

    static std::vector<CycleRecord>* reference_;
    static TempDir* dir_;
};
std::vector<CycleRecord>* SyntheticFrames::reference_ = nullptr;
TempDir* SyntheticFrames::dir_ = nullptr;

struct Encoding {
    const char* name;
    const char* output;     // file or pattern under the test folder
    const char* arguments;  // ffmpeg's output options
    bool lossless;
};

class EncodedSynthetic : public SyntheticFrames, public ::testing::WithParamInterface<Encoding> {};

TEST_P(EncodedSynthetic, DecodesToTheSyntheticFramesAndTheirClusters) {
    const Encoding& e = GetParam();
    const std::string out = file(e.output);
    ASSERT_TRUE(ffmpeg("-i " + y4m() + " " + e.arguments + " '" + out + "'")) << e.name;

    std::unique_ptr<CameraSource> source = open_or_fail(out);
    ASSERT_NE(source, nullptr);
    const SourceInfo info = source->info();
    EXPECT_EQ(info.width, kFrameWidth);
    EXPECT_EQ(info.height, kFrameHeight);
    EXPECT_NEAR(info.frames_per_second, 25.0, 1e-6);

    // Through the main loop: one cycle per source frame, then the end.
    const std::vector<CycleRecord> got = run_cycles(kFrames, source.get());
    Frame after;
    EXPECT_FALSE(source->grab(after)) << "the stream holds exactly the frames written";
    EXPECT_TRUE(source->ended());
    EXPECT_DOUBLE_EQ(source->frame_time_ms(), (kFrames - 1) * 40.0);
    source->stop();

    for (int i = 0; i < kFrames; ++i) {
        const CycleRecord& want = (*reference_)[i];
        const CycleRecord& have = got[i];
        ASSERT_EQ(have.clusters.size(), want.clusters.size()) << "frame " << i;
        if (e.lossless) {
            ASSERT_TRUE(have.frame == want.frame) << "frame " << i << " differs";
            for (size_t c = 0; c < want.clusters.size(); ++c) {
                ASSERT_EQ(have.clusters[c].x, want.clusters[c].x) << i;
                ASSERT_EQ(have.clusters[c].y, want.clusters[c].y) << i;
            }
            for (size_t n = 0; n < want.nodes.size(); ++n) {
                ASSERT_EQ(have.nodes[n].x, want.nodes[n].x) << i;
                ASSERT_EQ(have.nodes[n].y, want.nodes[n].y) << i;
            }
        } else {
            // Each reference cluster has one within a pixel (the list's order may differ).
            for (const Cluster& c : want.clusters) {
                const bool near = std::any_of(have.clusters.begin(), have.clusters.end(), [&](const Cluster& h) {
                    return std::abs(h.x - c.x) <= 1 && std::abs(h.y - c.y) <= 1;
                });
                ASSERT_TRUE(near) << e.name << " frame " << i << ": no cluster near (" << c.x << ", " << c.y << ")";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, EncodedSynthetic,
    ::testing::Values(Encoding{"ffv1", "synthetic.mkv", "-c:v ffv1", true},
                      Encoding{"pgm", "f%04d.pgm", "-start_number 1 -c:v pgm", true},
                      Encoding{"h264", "synthetic.mp4", "-c:v libx264 -preset veryfast -pix_fmt yuv420p -crf 12", false},
                      Encoding{"mjpeg", "synthetic.avi", "-c:v mjpeg -pix_fmt yuvj420p -q:v 3", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyntheticFrames, AFolderOfImagesPlaysInNameOrder) {
    const std::string folder = file("shots [1]");  // glob's brackets must be taken literally
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(ffmpeg("-i " + y4m() + " -frames:v 12 -c:v png '" + folder + "/f%03d.png'"));
    std::unique_ptr<CameraSource> source = open_or_fail(folder);
    ASSERT_NE(source, nullptr);
    const Decoded d = decode_all(*source);
    ASSERT_EQ(d.frames.size(), 12u);
    for (size_t i = 0; i < d.frames.size(); ++i) {
        EXPECT_TRUE(d.frames[i] == (*reference_)[i].frame) << i;
        EXPECT_DOUBLE_EQ(d.times[i], 40.0 * static_cast<double>(i));
    }
}

// A picture of a size other than 480 x 360: a bright block at a known place,
// fitted into the frame.
struct FitCase {
    int width, height;
    FitRect rect;  // where the picture lands, from the geometry
};

class FittedPicture : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittedPicture, IsScaledWithItsAspectBetweenBlackBars) {
    const FitCase& c = GetParam();
    EXPECT_EQ(fit_rect(c.width, c.height), c.rect);
    // Mid grey with a white block over the picture's middle half.
    Frame picture(size_t(c.width) * c.height, 100);
    for (int y = c.height / 4; y < c.height * 3 / 4; ++y)
        for (int x = c.width / 4; x < c.width * 3 / 4; ++x) picture[size_t(y) * c.width + x] = 250;
    TempDir dir;
    write_y4m(dir.file("picture.y4m"), {picture}, c.width, c.height);
    std::unique_ptr<CameraSource> source = open_or_fail(dir.file("picture.y4m"));
    ASSERT_NE(source, nullptr);
    const Decoded d = decode_all(*source);
    ASSERT_EQ(d.frames.size(), 1u);
    const Frame& f = d.frames[0];
    const FitRect r = c.rect;
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            const uint8_t v = f[size_t(y) * kFrameWidth + x];
            const bool inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
            if (!inside) {
                ASSERT_EQ(v, 0) << "bar at " << x << ", " << y;
                continue;
            }
            // Away from the block's edges the area average is the plain value.
            const double u = (x - r.x + 0.5) / r.width, w = (y - r.y + 0.5) / r.height;
            const auto near = [](double a, double b) { return std::abs(a - b) < 0.03; };
            if (near(u, 0.25) || near(u, 0.75) || near(w, 0.25) || near(w, 0.75)) continue;
            const bool block = u > 0.25 && u < 0.75 && w > 0.25 && w < 0.75;
            ASSERT_NEAR(v, block ? 250 : 100, 1) << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FittedPicture,
                         ::testing::Values(FitCase{1920, 1080, {0, 45, 480, 270}},
                                           FitCase{320, 240, {0, 0, 480, 360}},
                                           FitCase{640, 480, {0, 0, 480, 360}},
                                           FitCase{360, 640, {138, 0, 203, 360}}));

TEST(FitRect, KeepsAtLeastOnePixelOfAnExtremePicture) {
    EXPECT_EQ(fit_rect(100000, 1), (FitRect{0, 179, 480, 1}));
    EXPECT_EQ(fit_rect(1, 100000), (FitRect{239, 0, 1, 360}));
}

TEST(ColourPicture, BecomesFullRangeGrey) {
    // An RGB image (PPM): black, mid grey and white stay 0, 128 and 255.
    TempDir dir;
    std::string ppm = "P6\n480 360\n255\n";
    for (int y = 0; y < kFrameHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x) {
            const char v = static_cast<char>(x < 160 ? 0 : x < 320 ? 128 : 255);
            ppm += std::string(3, v);
        }
    testing_support::write_whole_file(dir.file("grey.ppm"), ppm);
    std::unique_ptr<CameraSource> source = open_or_fail(dir.file("grey.ppm"));
    ASSERT_NE(source, nullptr);
    const Decoded d = decode_all(*source);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0][100 * kFrameWidth + 10], 0);
    EXPECT_NEAR(d.frames[0][100 * kFrameWidth + 240], 128, 1);
    EXPECT_EQ(d.frames[0][100 * kFrameWidth + 470], 255);
}

}  // namespace
