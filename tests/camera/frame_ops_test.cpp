// Flip, threshold, copy and the bright-pixel list.

#include "camera/frame_ops.h"

#include <gtest/gtest.h>

#include <random>

#include "camera/videocam.h"
#include "platform/rand.h"

namespace {

Frame random_frame(uint32_t seed, int max_value = 255) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(0, max_value);
    Frame f(kFrameBytes);
    for (uint8_t& v : f) v = static_cast<uint8_t>(d(rng));
    return f;
}

Frame camera_frame(float phase) {
    platform::set_rand_state(1);
    Videocam_dummy cam(&phase);
    cam.start();
    Frame f;
    cam.grab(f);
    return f;
}

}  // namespace

TEST(Flip, SwapsRowsTopToBottomAndTwiceIsIdentity) {
    const Frame original = random_frame(1);
    Frame f = original;
    flip_frame(f);
    for (int r = 0; r < 360; ++r)
        for (int c = 0; c < 480; c += 37)
            ASSERT_EQ(f[r * 480 + c], original[(359 - r) * 480 + c]) << r << "," << c;
    flip_frame(f);
    EXPECT_TRUE(f == original);
}

TEST(Flip, PutsTheFixedSquareCentredAtRow19) {
    Frame f = camera_frame(0.0f);
    flip_frame(f);
    for (int y = 14; y <= 24; ++y) EXPECT_GE(f[y * 480 + 450], 180) << y;
    EXPECT_LE(f[13 * 480 + 450], 50);
    EXPECT_LE(f[25 * 480 + 450], 50);
}

// The threshold against a naive loop, across levels including ones beyond a
// byte, which take part by their low 8 bits.
class ThresholdLevel : public ::testing::TestWithParam<int32_t> {};

TEST_P(ThresholdLevel, MatchesTheNaiveComparison) {
    const int32_t t = GetParam();
    const Frame src = random_frame(static_cast<uint32_t>(t) + 3);
    Frame dst;
    threshold_frame(src, dst, t);
    ASSERT_EQ(dst.size(), src.size());
    const int level = t & 0xFF;
    for (size_t i = 0; i < src.size(); ++i) ASSERT_EQ(dst[i], src[i] < level ? 0 : 255) << i;
}

INSTANTIATE_TEST_SUITE_P(Levels, ThresholdLevel, ::testing::Values(1, 2, 50, 51, 127, 128, 180, 221, 254, 255, 256, 300));

TEST(Threshold, PixelEqualToTheThresholdIsBright) {
    Frame src(kFrameBytes, 0);
    src[10] = 99;
    src[11] = 100;
    src[12] = 101;
    Frame dst;
    threshold_frame(src, dst, 100);
    EXPECT_EQ(dst[10], 0);
    EXPECT_EQ(dst[11], 255);
    EXPECT_EQ(dst[12], 255);
}

TEST(Threshold, ResizesOnlyWhenTheLengthsDiffer) {
    const Frame src = random_frame(5);
    Frame dst(10, 1);
    threshold_frame(src, dst, 9);
    ASSERT_EQ(dst.size(), kFrameBytes);
    const uint8_t* storage = dst.data();
    threshold_frame(src, dst, 200);
    EXPECT_EQ(dst.data(), storage);
}

TEST(Copy, MakesAnExactCopy) {
    const Frame src = random_frame(9);
    Frame dst(5, 0);
    copy_frame(src, dst);
    EXPECT_TRUE(dst == src);
}

struct CameraThresholdCase {
    int32_t threshold;
    size_t bright_pixels;
    friend std::ostream& operator<<(std::ostream& os, const CameraThresholdCase& c) {
        return os << "threshold " << c.threshold;
    }
};

class CameraThreshold : public ::testing::TestWithParam<CameraThresholdCase> {};

// The squares are 180 to 220 and the noise at most 50: thresholds from 51 to
// 180 list exactly the 3 x 121 square pixels, 221 and above none.
TEST_P(CameraThreshold, ListsExactlyTheSquarePixels) {
    const Frame f = camera_frame(0.7f);
    Frame t;
    threshold_frame(f, t, GetParam().threshold);
    BrightPixelList list;
    list_bright_pixels(t, list);
    EXPECT_EQ(list.size(), GetParam().bright_pixels);
}

INSTANTIATE_TEST_SUITE_P(Levels, CameraThreshold,
                         ::testing::Values(CameraThresholdCase{51, 363}, CameraThresholdCase{180, 363},
                                           CameraThresholdCase{100, 363},
                                           CameraThresholdCase{221, 0}, CameraThresholdCase{255, 0}));

TEST(BrightPixels, AreListedInRasterOrderWithTheirValues) {
    Frame f(kFrameBytes, 0);
    f[0] = 7;                     // (0, 0)
    f[479] = 255;                 // (479, 0)
    f[480 + 3] = 1;               // (3, 1)
    f[359 * 480 + 479] = 200;     // last pixel
    BrightPixelList list;
    list_bright_pixels(f, list);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ((std::vector<int>{list[0].x, list[0].y, list[0].value}), (std::vector<int>{0, 0, 7}));
    EXPECT_EQ((std::vector<int>{list[1].x, list[1].y, list[1].value}), (std::vector<int>{479, 0, 255}));
    EXPECT_EQ((std::vector<int>{list[2].x, list[2].y, list[2].value}), (std::vector<int>{3, 1, 1}));
    EXPECT_EQ((std::vector<int>{list[3].x, list[3].y, list[3].value}), (std::vector<int>{479, 359, 200}));
}

TEST(BrightPixels, MatchTheNaiveListOnRandomFramesOfEveryDensity) {
    for (int density : {0, 1, 5, 50, 95, 100}) {
        std::mt19937 rng(static_cast<uint32_t>(density));
        Frame f(kFrameBytes);
        for (uint8_t& v : f) v = static_cast<int>(rng() % 100) < density ? static_cast<uint8_t>(1 + rng() % 255) : 0;
        BrightPixelList list;
        list.push_back(BrightPixel{9, 9, 9});  // old content is dropped
        list_bright_pixels(f, list);
        size_t k = 0;
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 480; ++x) {
                const uint8_t v = f[y * 480 + x];
                if (v == 0) continue;
                ASSERT_LT(k, list.size());
                ASSERT_EQ(list[k].x, x);
                ASSERT_EQ(list[k].y, y);
                ASSERT_EQ(list[k].value, v);
                ++k;
            }
        EXPECT_EQ(k, list.size()) << "density " << density;
    }
}

TEST(BrightPixels, ReuseTheListStorage) {
    Frame full(kFrameBytes, 255);
    BrightPixelList list;
    list_bright_pixels(full, list);
    ASSERT_EQ(list.size(), kFrameBytes);
    const BrightPixel* storage = list.data();
    Frame sparse(kFrameBytes, 0);
    sparse[1000] = 255;
    list_bright_pixels(sparse, list);
    EXPECT_EQ(list.size(), 1u);
    list_bright_pixels(full, list);
    EXPECT_EQ(list.data(), storage);
}
