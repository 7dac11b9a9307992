#include "calib/lens_fit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scene_camera.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kCols = 9, kRows = 6;
constexpr double kSquare = 30.0;

constexpr scene::Lens kTruth = scene::kWebcam;

std::vector<std::vector<PlanePoint>> rendered_views(size_t count) {
    static const std::vector<PlanePoint> rays = scene::ideal_rays(kTruth, kWidth, kHeight);
    std::vector<std::vector<PlanePoint>> views;
    for (const scene::Pose& p : scene::board_poses(kCols, kRows, kSquare, 520.0)) {
        if (views.size() == count) break;
        const std::vector<uint8_t> picture =
            scene::render_board(scene::Camera{kTruth, p}, rays, kWidth, kHeight, kCols, kRows, kSquare);
        std::vector<PlanePoint> corners =
            find_board_corners(GreyPicture{picture.data(), kWidth, kHeight, kWidth}, Checkerboard{kCols, kRows, kSquare});
        if (!corners.empty()) views.push_back(std::move(corners));
    }
    return views;
}

}  // namespace

// A checkerboard rendered through a known camera: the fitted lens corrects
// the picture as the true lens does, everywhere in it.
TEST(LensFit, RecoversTheCameraThatRenderedTheBoard) {
    const std::vector<std::vector<PlanePoint>> views = rendered_views(12);
    ASSERT_GE(views.size(), 10u) << "the board is found in most renderings";
    LensModel fit;
    std::string error;
    ASSERT_TRUE(fit_lens(views, Checkerboard{kCols, kRows, kSquare}, kWidth, kHeight, fit, error)) << error;
    EXPECT_EQ(fit.views, static_cast<int>(views.size()));
    EXPECT_LT(fit.rms, 0.25);
    EXPECT_NEAR(fit.fx, kTruth.fx, kTruth.fx * 0.01);
    EXPECT_NEAR(fit.fy, kTruth.fy, kTruth.fy * 0.01);
    EXPECT_NEAR(fit.cx, kTruth.cx, 3.0);
    EXPECT_NEAR(fit.cy, kTruth.cy, 3.0);

    // The coefficients trade off against each other; what counts is the
    // measurement they make. A floor seen by the true camera from a pose of
    // its own, four marks typed in: points between them come back where they
    // lie, far closer than without the lens.
    const scene::Camera floor{kTruth, scene::pose(0.45, -0.2, 0.15, -130, -90, 560)};
    const auto worst_error = [&](bool with_lens) {
        Calibration c;
        if (with_lens) c.lens = fit;
        c.plane = PlaneLevel{{}, "mm"};
        for (const PlanePoint p : {PlanePoint{0, 0}, PlanePoint{270, 0}, PlanePoint{270, 180}, PlanePoint{0, 180}})
            c.plane->marks.push_back(PlaneMark{floor.project(p), p});
        CalibrationMap map;
        std::string why;
        EXPECT_TRUE(compile_calibration(c, kWidth, kHeight, map, why)) << why;
        double worst = 0.0;
        for (double x = 30; x < 270; x += 40) {
            for (double y = 20; y < 180; y += 40) {
                const PlanePoint w = to_world(map, floor.project(PlanePoint{x, y}));
                worst = std::max(worst, std::hypot(w.x - x, w.y - y));
            }
        }
        return worst;
    };
    const double corrected = worst_error(true), uncorrected = worst_error(false);
    EXPECT_LT(corrected, 0.15) << "mm on a floor of 270 x 180 mm";
    EXPECT_LT(corrected * 10, uncorrected);
}

TEST(LensFit, RefusesFewerViewsThanItNeeds) {
    std::vector<std::vector<PlanePoint>> views = rendered_views(kMinLensViews);
    ASSERT_EQ(views.size(), static_cast<size_t>(kMinLensViews));
    views.pop_back();
    LensModel fit;
    fit.fx = 7;
    std::string error;
    EXPECT_FALSE(fit_lens(views, Checkerboard{kCols, kRows, kSquare}, kWidth, kHeight, fit, error));
    EXPECT_NE(error.find("found in 7 pictures"), std::string::npos) << error;
    EXPECT_EQ(fit.fx, 7);
}

TEST(LensFit, FindsNoBoardInAPictureWithoutOne) {
    const std::vector<uint8_t> grey(static_cast<size_t>(kWidth) * kHeight, 128);
    EXPECT_TRUE(find_board_corners(GreyPicture{grey.data(), kWidth, kHeight, kWidth}, Checkerboard{kCols, kRows, 1})
                    .empty());
}

TEST(LensFit, ReadsTheBoardSizeAsInnerCorners) {
    Checkerboard b;
    std::string error;
    EXPECT_TRUE(parse_board_size("9x6", b, error));
    EXPECT_EQ(b.cols, 9);
    EXPECT_EQ(b.rows, 6);
    for (const char* bad : {"9", "9x", "x6", "2x6", "9x6x1", "nine x six", "9 x 6"}) {
        EXPECT_FALSE(parse_board_size(bad, b, error)) << bad;
    }
}
