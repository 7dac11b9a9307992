#include "camera/source_geometry.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    int width, height, rotation;
    double sample_aspect;
    FitRect rect;
};

class SourceGeometryTest : public ::testing::TestWithParam<Case> {};

TEST_P(SourceGeometryTest, FitsTheShownPictureAndMapsBothWaysExactly) {
    const Case c = GetParam();
    const SourceGeometry g = source_geometry(c.width, c.height, c.rotation, c.sample_aspect);
    EXPECT_EQ(g.rect, c.rect);
    for (bool flip : {false, true}) {
        for (PlanePoint p : {PlanePoint{0, 0}, PlanePoint{c.width - 1.0, 0}, PlanePoint{13.25, c.height - 7.5}}) {
            const PlanePoint back = frame_to_source(g, source_to_frame(g, p, flip), flip);
            EXPECT_NEAR(back.x, p.x, 1e-9);
            EXPECT_NEAR(back.y, p.y, 1e-9);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, SourceGeometryTest,
    ::testing::Values(Case{480, 360, 0, 1.0, {0, 0, 480, 360}}, Case{640, 480, 0, 1.0, {0, 0, 480, 360}},
                      Case{1920, 1080, 0, 1.0, {0, 45, 480, 270}},
                      // PAL widescreen: 720 x 576 pixels shown 16:9.
                      Case{720, 576, 0, 64.0 / 45.0, {0, 45, 480, 270}},
                      // A phone held upright: stored 1920 x 1080, shown turned.
                      Case{1920, 1080, 90, 1.0, {138, 0, 203, 360}}, Case{1920, 1080, 270, 1.0, {138, 0, 203, 360}},
                      Case{640, 480, 180, 1.0, {0, 0, 480, 360}}));

// Hand-computed from the pixel edges: the centre of source pixel u lies at
// (u + 0.5) * scale - 0.5 in the frame, plus the bar.
TEST(SourceGeometry, PlacesKnownPixelsWhereTheScaleAndBarsPutThem) {
    const SourceGeometry wide = source_geometry(1920, 1080);
    const PlanePoint p = source_to_frame(wide, {295, 187}, false);
    EXPECT_DOUBLE_EQ(p.x, 295.5 * 0.25 - 0.5);
    EXPECT_DOUBLE_EQ(p.y, 45 + 187.5 * 0.25 - 0.5);
    EXPECT_DOUBLE_EQ(source_to_frame(wide, {295, 187}, true).y, 359 - p.y);

    // Turned clockwise a quarter: the stored picture's top-left corner shows
    // at the top-right, its top edge runs down the right side.
    const SourceGeometry upright = source_geometry(1920, 1080, 90);
    const PlanePoint corner = source_to_frame(upright, {-0.5, -0.5}, false);
    EXPECT_NEAR(corner.x, 138 + 203 - 0.5, 1e-9);
    EXPECT_NEAR(corner.y, -0.5, 1e-9);

    const SourceGeometry pal = source_geometry(720, 576, 0, 64.0 / 45.0);
    EXPECT_NEAR(source_to_frame(pal, {359.5, 287.5}, false).x, 239.5, 1e-9);
    EXPECT_NEAR(source_to_frame(pal, {719.5, 0}, false).x, 480 - 0.5, 1e-9);
}

}  // namespace
