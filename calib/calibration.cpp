#include "calib/calibration.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include <cmath>
#include <cstdio>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

cv::Matx33d camera_matrix(const LensModel& l) { return {l.fx, 0.0, l.cx, 0.0, l.fy, l.cy, 0.0, 0.0, 1.0}; }
cv::Matx<double, 1, 5> distortion(const LensModel& l) { return {l.k1, l.k2, l.p1, l.p2, l.k3}; }

std::vector<cv::Point2d> cv_points(std::span<const PlanePoint> points) {
    std::vector<cv::Point2d> out;
    out.reserve(points.size());
    for (const PlanePoint& p : points) out.emplace_back(p.x, p.y);
    return out;
}

// Distorted source pixels to the pixels an ideal pinhole camera with the same
// intrinsics would have seen. OpenCV's default stops after 5 fixed-point
// steps, too few near the edge of a wide lens; this runs until the
// correction reprojects within a millionth of a pixel.
// Points without a place (nodes without a centre) are left as they are.
void undistort(const LensModel& lens, std::span<PlanePoint> points) {
    std::vector<cv::Point2d> in, out;
    std::vector<size_t> kept;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) continue;
        in.emplace_back(points[i].x, points[i].y);
        kept.push_back(i);
    }
    if (in.empty()) return;
    const cv::Matx33d k = camera_matrix(lens);
    cv::undistortPoints(in, out, k, distortion(lens), cv::noArray(), k,
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-6));
    for (size_t j = 0; j < kept.size(); ++j) points[kept[j]] = PlanePoint{out[j].x, out[j].y};
}

void distort(const LensModel& lens, std::span<PlanePoint> points) {
    std::vector<cv::Point3d> rays;
    std::vector<size_t> kept;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) continue;
        rays.emplace_back((points[i].x - lens.cx) / lens.fx, (points[i].y - lens.cy) / lens.fy, 1.0);
        kept.push_back(i);
    }
    if (rays.empty()) return;
    std::vector<cv::Point2d> out;
    cv::projectPoints(rays, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), camera_matrix(lens), distortion(lens), out);
    for (size_t j = 0; j < kept.size(); ++j) points[kept[j]] = PlanePoint{out[j].x, out[j].y};
}

PlanePoint through_homography(const std::array<double, 9>& h, PlanePoint p) {
    const double w = h[6] * p.x + h[7] * p.y + h[8];
    // On or past the horizon the plane has no point here.
    if (!(w > 1e-12)) return PlanePoint{kNaN, kNaN};
    return PlanePoint{(h[0] * p.x + h[1] * p.y + h[2]) / w, (h[3] * p.x + h[4] * p.y + h[5]) / w};
}

// The corrected picture to the level that scale and axes work on.
PlanePoint level_of(const CalibrationMap& m, PlanePoint corrected) {
    if (m.has_plane) return through_homography(m.to_plane, corrected);
    return PlanePoint{corrected.x, (m.height - 1) - corrected.y};
}

PlanePoint corrected_of(const CalibrationMap& m, PlanePoint level) {
    if (m.has_plane) return through_homography(m.from_plane, level);
    return PlanePoint{level.x, (m.height - 1) - level.y};
}

// Source pixels to the level that scale and axes work on, before the
// similarity is known.
PlanePoint level_of_source(const CalibrationMap& m, PlanePoint source) {
    if (m.has_lens) undistort(m.lens, std::span(&source, 1));
    return level_of(m, source);
}

bool finite(PlanePoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool all_finite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Whether the points lie on one line: their spread across the direction
// they spread most along is nothing beside the spread along it.
bool on_one_line(const std::vector<cv::Point2d>& p) {
    cv::Point2d mean(0, 0);
    for (const cv::Point2d& q : p) mean += q;
    mean *= 1.0 / static_cast<double>(p.size());
    double sxx = 0, syy = 0, sxy = 0;
    for (const cv::Point2d& q : p) {
        const cv::Point2d d = q - mean;
        sxx += d.x * d.x, syy += d.y * d.y, sxy += d.x * d.y;
    }
    // The two eigenvalues of the scatter matrix.
    const double half_trace = (sxx + syy) / 2, root = std::sqrt(std::max(0.0, half_trace * half_trace - (sxx * syy - sxy * sxy)));
    const double most = half_trace + root, least = half_trace - root;
    return !(least > 1e-12 * most);
}

bool solve_plane(const PlaneLevel& plane, CalibrationMap& m, std::string& error) {
    if (plane.marks.size() < 4) {
        error = "a plane needs 4 points or more, it has " + std::to_string(plane.marks.size());
        return false;
    }
    std::vector<PlanePoint> corrected;
    std::vector<cv::Point2d> typed;
    for (const PlaneMark& mark : plane.marks) {
        if (!finite(mark.source) || !finite(mark.plane)) {
            error = "a plane point is not a number";
            return false;
        }
        corrected.push_back(mark.source);
        typed.emplace_back(mark.plane.x, mark.plane.y);
    }
    if (m.has_lens) undistort(m.lens, corrected);
    const std::vector<cv::Point2d> picture = cv_points(corrected);
    if (on_one_line(picture) || on_one_line(typed)) {
        error = "the plane's points lie on one line";
        return false;
    }
    const cv::Mat h = cv::findHomography(picture, typed, 0);
    if (h.empty() || std::abs(cv::determinant(h)) < 1e-300) {
        error = "the plane's points fix no plane";
        return false;
    }
    const cv::Mat inverse = h.inv();
    for (int i = 0; i < 9; ++i) {
        m.to_plane[i] = h.at<double>(i / 3, i % 3);
        m.from_plane[i] = inverse.at<double>(i / 3, i % 3);
    }
    for (const PlanePoint& p : corrected) {
        if (!finite(through_homography(m.to_plane, p))) {
            error = "the plane's points do not lie on one side of its horizon";
            return false;
        }
    }
    m.has_plane = true;
    return true;
}

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

}  // namespace

std::string Calibration::unit() const {
    if (scale) return scale->unit;
    if (plane) return plane->unit;
    return "px";
}

bool valid_unit(std::string_view unit) {
    if (unit.empty() || unit.size() > 16) return false;
    for (const char ch : unit) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '.' || c == '/' || c == '-' || c >= 0x80;
        if (!ok) return false;
    }
    return true;
}

bool compile_calibration(const Calibration& c, int width, int height, CalibrationMap& out, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "the source's picture size is not known";
        return false;
    }
    if ((c.width != 0 || c.height != 0) && (c.width != width || c.height != height)) {
        error = "the calibration is for pictures of " + std::to_string(c.width) + " x " + std::to_string(c.height) +
                ", the source's are " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    CalibrationMap m;
    m.width = width;
    m.height = height;
    m.unit = c.unit();
    if (!valid_unit(m.unit)) {
        error = "\"" + m.unit + "\" cannot be a unit (letters, digits, _ . / -, at most 16)";
        return false;
    }
    if (c.lens) {
        const LensModel& l = *c.lens;
        if (!all_finite({l.fx, l.fy, l.cx, l.cy, l.k1, l.k2, l.p1, l.p2, l.k3}) || !(l.fx > 0.0) || !(l.fy > 0.0)) {
            error = "a lens needs positive focal lengths and numbers for every coefficient";
            return false;
        }
        m.has_lens = true;
        m.lens = l;
    }
    if (c.plane && !solve_plane(*c.plane, m, error)) return false;
    if (c.axes) {
        if (!finite(c.axes->origin) || !std::isfinite(c.axes->x_axis_deg)) {
            error = "the origin or the axis direction is not a number";
            return false;
        }
        m.origin = level_of_source(m, c.axes->origin);
        if (!finite(m.origin)) {
            error = "the origin lies past the plane's horizon";
            return false;
        }
        const double turn = c.axes->x_axis_deg * (M_PI / 180.0);
        m.cos_axis = std::cos(turn);
        m.sin_axis = std::sin(turn);
    }
    if (c.scale) {
        const ScaleLevel& s = *c.scale;
        if (!(s.length > 0.0) || !std::isfinite(s.length)) {
            error = "the length between the scale points must be above 0";
            return false;
        }
        const PlanePoint a = level_of_source(m, s.a), b = level_of_source(m, s.b);
        const double d = std::hypot(b.x - a.x, b.y - a.y);
        if (!finite(a) || !finite(b) || !(d > 1e-9)) {
            error = "the two scale points coincide";
            return false;
        }
        m.scale = s.length / d;
    }
    out = std::move(m);
    return true;
}

void to_world(const CalibrationMap& m, std::span<const PlanePoint> source, std::span<PlanePoint> out) {
    std::copy(source.begin(), source.end(), out.begin());
    std::span<PlanePoint> points = out.first(source.size());
    if (m.has_lens) undistort(m.lens, points);
    for (PlanePoint& p : points) {
        const PlanePoint level = level_of(m, p);
        const double dx = level.x - m.origin.x, dy = level.y - m.origin.y;
        p = PlanePoint{m.scale * (m.cos_axis * dx + m.sin_axis * dy), m.scale * (m.cos_axis * dy - m.sin_axis * dx)};
    }
}

PlanePoint to_world(const CalibrationMap& m, PlanePoint source) {
    PlanePoint out;
    to_world(m, std::span(&source, 1), std::span(&out, 1));
    return out;
}

void to_source(const CalibrationMap& m, std::span<const PlanePoint> world, std::span<PlanePoint> out) {
    std::span<PlanePoint> points = out.first(world.size());
    for (size_t i = 0; i < world.size(); ++i) {
        const double x = world[i].x / m.scale, y = world[i].y / m.scale;
        const PlanePoint level{m.origin.x + m.cos_axis * x - m.sin_axis * y,
                               m.origin.y + m.sin_axis * x + m.cos_axis * y};
        points[i] = corrected_of(m, level);
    }
    if (m.has_lens) distort(m.lens, points);
}

PlanePoint to_source(const CalibrationMap& m, PlanePoint world) {
    PlanePoint out;
    to_source(m, std::span(&world, 1), std::span(&out, 1));
    return out;
}

std::string describe(const Calibration& c) {
    std::string out;
    const auto part = [&](const std::string& text) { out += (out.empty() ? "" : ", ") + text; };
    if (c.lens) {
        if (c.lens->views > 0)
            part("lens (RMS " + fixed(c.lens->rms, 2) + " px, " + std::to_string(c.lens->views) + " views)");
        else
            part("lens");
    }
    if (c.plane) part("plane of " + std::to_string(c.plane->marks.size()) + " points");
    if (c.scale) part("scale " + fixed(c.scale->length, 3) + " " + c.scale->unit);
    if (c.axes) part("axes at " + fixed(c.axes->x_axis_deg, 1) + " deg");
    return out.empty() ? "none" : out;
}
