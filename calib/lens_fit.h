#pragma once
// The lens from pictures of a printed checkerboard: its inner corners are
// found in each full-resolution picture, refined to a fraction of a pixel,
// and the camera model that best reprojects them all is fitted.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calib/calibration.h"

// A checkerboard as OpenCV counts it: inner corners across and down, and the
// side of one square in the calibration's unit.
struct Checkerboard {
    int cols = 0;
    int rows = 0;
    double square = 0.0;
};

// "9x6" into cols and rows (3 to 100 each). False with a reason otherwise.
bool parse_board_size(std::string_view text, Checkerboard& board, std::string& error);

// A grey picture: width x height bytes, rows `stride` bytes apart.
struct GreyPicture {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// The board's inner corners in source pixels, row by row as OpenCV orders
// them; empty when the whole board is not found.
std::vector<PlanePoint> find_board_corners(const GreyPicture& picture, const Checkerboard& board);

// A fit needs at least this many views of the board.
constexpr int kMinLensViews = 8;

// The lens that reprojects the corners of `views` (each as find_board_corners
// gives them) best, for pictures of width x height; its rms and views are
// set. False with a reason for fewer than kMinLensViews views or a fit that
// fails.
bool fit_lens(const std::vector<std::vector<PlanePoint>>& views, const Checkerboard& board, int width, int height,
              LensModel& out, std::string& error);
