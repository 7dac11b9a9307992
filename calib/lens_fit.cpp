#include "calib/lens_fit.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>

bool parse_board_size(std::string_view text, Checkerboard& board, std::string& error) {
    const size_t x = text.find_first_of("xX");
    int cols = 0, rows = 0;
    const auto whole = [](std::string_view t, int& v) {
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        return ec == std::errc() && end == t.data() + t.size();
    };
    if (x == std::string_view::npos || !whole(text.substr(0, x), cols) || !whole(text.substr(x + 1), rows)) {
        error = "needs COLSxROWS, the inner corners across and down, such as 9x6";
        return false;
    }
    if (cols < 3 || rows < 3 || cols > 100 || rows > 100) {
        error = "needs 3 to 100 inner corners each way";
        return false;
    }
    board.cols = cols;
    board.rows = rows;
    return true;
}

std::vector<PlanePoint> find_board_corners(const GreyPicture& picture, const Checkerboard& board) {
    std::vector<PlanePoint> out;
    if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0) return out;
    try {
        const cv::Mat grey(picture.height, picture.width, CV_8UC1, const_cast<uint8_t*>(picture.pixels),
                           static_cast<size_t>(picture.stride));
        std::vector<cv::Point2f> corners;
        const cv::Size size(board.cols, board.rows);
        // The fast check turns a picture without a board down in a few
        // milliseconds instead of a full search.
        const int flags = cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK;
        if (!cv::findChessboardCorners(grey, size, corners, flags)) return out;
        // The refining window must stay inside the squares around a corner:
        // a little under half the shortest side between two neighbours.
        double side = 1e9;
        for (int r = 0; r < board.rows; ++r) {
            for (int c = 0; c < board.cols; ++c) {
                const cv::Point2f p = corners[r * board.cols + c];
                if (c + 1 < board.cols) side = std::min(side, cv::norm(corners[r * board.cols + c + 1] - p));
                if (r + 1 < board.rows) side = std::min(side, cv::norm(corners[(r + 1) * board.cols + c] - p));
            }
        }
        const int half = std::clamp(static_cast<int>(side * 0.4), 2, 11);
        cv::cornerSubPix(grey, corners, cv::Size(half, half), cv::Size(-1, -1),
                         cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 50, 0.001));
        for (const cv::Point2f& p : corners) out.push_back(PlanePoint{p.x, p.y});
    } catch (const cv::Exception&) {
        out.clear();
    }
    return out;
}

bool fit_lens(const std::vector<std::vector<PlanePoint>>& views, const Checkerboard& board, int width, int height,
              LensModel& out, std::string& error) {
    const size_t corners = static_cast<size_t>(board.cols) * static_cast<size_t>(board.rows);
    std::vector<std::vector<cv::Point2f>> image_points;
    for (const std::vector<PlanePoint>& v : views) {
        if (v.size() != corners) continue;
        std::vector<cv::Point2f>& points = image_points.emplace_back();
        for (const PlanePoint& p : v) points.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    if (image_points.size() < static_cast<size_t>(kMinLensViews)) {
        error = "the checkerboard was found in " + std::to_string(image_points.size()) + " pictures; at least " +
                std::to_string(kMinLensViews) + " are needed";
        return false;
    }
    std::vector<cv::Point3f> grid;
    for (int r = 0; r < board.rows; ++r)
        for (int c = 0; c < board.cols; ++c)
            grid.emplace_back(static_cast<float>(c * board.square), static_cast<float>(r * board.square), 0.0f);
    const std::vector<std::vector<cv::Point3f>> object_points(image_points.size(), grid);
    try {
        cv::Mat k, d;
        std::vector<cv::Mat> rotations, translations;
        const double rms = cv::calibrateCamera(object_points, image_points, cv::Size(width, height), k, d, rotations,
                                               translations, 0,
                                               cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100,
                                                                1e-12));
        d = d.reshape(1, 1);
        if (!std::isfinite(rms) || d.cols < 5) {
            error = "the lens fit did not converge";
            return false;
        }
        LensModel l;
        l.fx = k.at<double>(0, 0);
        l.fy = k.at<double>(1, 1);
        l.cx = k.at<double>(0, 2);
        l.cy = k.at<double>(1, 2);
        l.k1 = d.at<double>(0, 0);
        l.k2 = d.at<double>(0, 1);
        l.p1 = d.at<double>(0, 2);
        l.p2 = d.at<double>(0, 3);
        l.k3 = d.at<double>(0, 4);
        l.rms = rms;
        l.views = static_cast<int>(image_points.size());
        out = l;
        return true;
    } catch (const cv::Exception& e) {
        error = "the lens fit failed: " + e.msg;
        return false;
    }
}
