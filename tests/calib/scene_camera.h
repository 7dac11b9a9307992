#pragma once
// A camera the tests know everything about: a pinhole with OpenCV's lens
// distortion, looking at the plane z = 0 from a pose of their choice. It
// projects plane points to source pixels and renders a checkerboard, so the
// calibration's results are compared with the truth, written out here from the
// textbook formulas and independent of the code under test.

#include <cmath>
#include <cstdint>
#include <vector>

#include "camera/source_geometry.h"

namespace scene {

struct Lens {
    double fx, fy, cx, cy;
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0;
};

// A webcam-like lens of 640 x 480 pictures with a clear barrel distortion.
inline constexpr Lens kWebcam{560.0, 565.0, 322.5, 236.0, -0.32, 0.12, 0.0008, -0.0005, 0.0};

// Normalised ideal image coordinates to distorted pixels.
inline PlanePoint distort(const Lens& l, double x, double y) {
    const double r2 = x * x + y * y;
    const double radial = 1 + l.k1 * r2 + l.k2 * r2 * r2 + l.k3 * r2 * r2 * r2;
    const double xd = x * radial + 2 * l.p1 * x * y + l.p2 * (r2 + 2 * x * x);
    const double yd = y * radial + l.p1 * (r2 + 2 * y * y) + 2 * l.p2 * x * y;
    return PlanePoint{l.fx * xd + l.cx, l.fy * yd + l.cy};
}

// Distorted pixels back to normalised ideal coordinates, by Newton's method
// on the forward formula (the tests' own inverse, not OpenCV's).
inline PlanePoint undistort(const Lens& l, PlanePoint p) {
    double x = (p.x - l.cx) / l.fx, y = (p.y - l.cy) / l.fy;
    for (int i = 0; i < 30; ++i) {
        const PlanePoint d = distort(l, x, y);
        const double h = 1e-7;
        const PlanePoint dx = distort(l, x + h, y), dy = distort(l, x, y + h);
        const double a = (dx.x - d.x) / h, b = (dy.x - d.x) / h, c = (dx.y - d.y) / h, e = (dy.y - d.y) / h;
        const double rx = p.x - d.x, ry = p.y - d.y, det = a * e - b * c;
        const double sx = (e * rx - b * ry) / det, sy = (a * ry - c * rx) / det;
        x += sx;
        y += sy;
        if (std::abs(sx) + std::abs(sy) < 1e-15) break;
    }
    return PlanePoint{x, y};
}

// A pose: the plane's point (X, Y, 0) is at R (X, Y, 0) + t in the camera.
struct Pose {
    double r[9];
    double t[3];
};

// Turns about x, then y, then z (radians), and a translation.
inline Pose pose(double ax, double ay, double az, double tx, double ty, double tz) {
    const double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay), cz = std::cos(az),
                 sz = std::sin(az);
    // R = Rz * Ry * Rx
    return Pose{{cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx, sz * cy, sz * sy * sx + cz * cx,
                 sz * sy * cx - cz * sx, -sy, cy * sx, cy * cx},
                {tx, ty, tz}};
}

struct Camera {
    Lens lens;
    Pose pose;

    // The plane's point in source pixels.
    PlanePoint project(PlanePoint plane) const {
        const double* r = pose.r;
        const double X = r[0] * plane.x + r[1] * plane.y + pose.t[0];
        const double Y = r[3] * plane.x + r[4] * plane.y + pose.t[1];
        const double Z = r[6] * plane.x + r[7] * plane.y + pose.t[2];
        return distort(lens, X / Z, Y / Z);
    }

    // The plane's point on the ray through normalised ideal coordinates n.
    PlanePoint on_ray(PlanePoint n) const {
        // s (n.x, n.y, 1) = X r1 + Y r2 + t: three equations in X, Y, s.
        const double* r = pose.r;
        const double m[3][3] = {{r[0], r[1], -n.x}, {r[3], r[4], -n.y}, {r[6], r[7], -1.0}};
        const double rhs[3] = {-pose.t[0], -pose.t[1], -pose.t[2]};
        const auto det3 = [](const double a[3][3]) {
            return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                   a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        };
        const double d = det3(m);
        double mx[3][3], my[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) mx[i][j] = j == 0 ? rhs[i] : m[i][j], my[i][j] = j == 1 ? rhs[i] : m[i][j];
        return PlanePoint{det3(mx) / d, det3(my) / d};
    }
};

// The ideal ray of every sample of a picture (kSub x kSub per pixel), which
// depends on the lens alone: worked out once for many poses.
constexpr int kSub = 2;
inline std::vector<PlanePoint> ideal_rays(const Lens& lens, int width, int height) {
    std::vector<PlanePoint> out;
    out.reserve(static_cast<size_t>(width) * height * kSub * kSub);
    for (int v = 0; v < height; ++v)
        for (int u = 0; u < width; ++u)
            for (int a = 0; a < kSub; ++a)
                for (int b = 0; b < kSub; ++b)
                    out.push_back(undistort(lens, PlanePoint{u - 0.5 + (a + 0.5) / kSub, v - 0.5 + (b + 0.5) / kSub}));
    return out;
}

// A checkerboard of cols x rows inner corners, `square` apart, the first at
// the plane's origin, with a white margin of one square, on grey.
inline std::vector<uint8_t> render_board(const Camera& cam, const std::vector<PlanePoint>& rays, int width,
                                         int height, int cols, int rows, double square) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    for (size_t px = 0; px < out.size(); ++px) {
        int sum = 0;
        for (int s = 0; s < kSub * kSub; ++s) {
            const PlanePoint p = cam.on_ray(rays[px * kSub * kSub + s]);
            const double i = std::floor(p.x / square), j = std::floor(p.y / square);
            int grey = 128;
            if (i >= -2 && i <= cols && j >= -2 && j <= rows) grey = 235;
            if (i >= -1 && i <= cols - 1 && j >= -1 && j <= rows - 1 && (static_cast<int>(i + j) & 1) == 0) grey = 20;
            sum += grey;
        }
        out[px] = static_cast<uint8_t>(sum / (kSub * kSub));
    }
    return out;
}

// A dozen poses around a board of `cols` x `rows` squares of `square`, at
// `distance`, tilted up to about 35 degrees.
inline std::vector<Pose> board_poses(int cols, int rows, double square, double distance) {
    std::vector<Pose> out;
    const double w = (cols - 1) * square, h = (rows - 1) * square;
    const double tilts[][3] = {{0.0, 0.0, 0.0},   {0.5, 0.0, 0.1},   {-0.5, 0.1, -0.1}, {0.0, 0.55, 0.05},
                               {0.1, -0.55, 0.0}, {0.35, 0.35, 0.2}, {-0.35, 0.35, -0.2}, {0.35, -0.35, 0.3},
                               {-0.35, -0.35, 0.0}, {0.2, 0.0, 0.6}, {0.0, 0.25, -0.5}, {-0.25, -0.2, 0.25}};
    const double shifts[][2] = {{0, 0},    {0.25, 0.1}, {-0.25, -0.1}, {0.1, 0.25},  {-0.1, -0.25}, {0.3, 0.2},
                                {-0.3, 0.2}, {0.2, -0.3}, {-0.2, -0.2}, {0.0, 0.3}, {0.3, -0.1}, {-0.3, 0.0}};
    for (size_t i = 0; i < std::size(tilts); ++i) {
        Pose p = pose(tilts[i][0], tilts[i][1], tilts[i][2], 0, 0, distance);
        // The board's centre on the optical axis, then shifted across the picture.
        const double* r = p.r;
        for (int k = 0; k < 3; ++k) p.t[k] -= r[3 * k] * w / 2 + r[3 * k + 1] * h / 2;
        p.t[0] += 0.5 * shifts[i][0] * distance;
        p.t[1] += 0.5 * shifts[i][1] * distance;
        out.push_back(p);
    }
    return out;
}

}  // namespace scene
