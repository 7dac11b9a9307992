#pragma once
// A calibration: how a position in a source's own pixels becomes a position
// in a plane with real units. Three levels, each optional, applied in order:
//
//   lens            the camera's intrinsics and distortion in the source's own
//                   pixels (OpenCV's model: fx fy cx cy, radial k1 k2 k3,
//                   tangential p1 p2). A position is moved to where an ideal
//                   pinhole camera would have seen it; the picture never is.
//   plane           a homography from that corrected picture onto a plane,
//                   solved from four or more points whose plane coordinates
//                   were typed in (a perspective grid).
//   scale and axes  two points and the distance between them; an origin and
//                   the direction of the x axis. World y is up, a quarter turn
//                   counter-clockwise from x.
//
// Scale and axes work on what the levels before them give: the plane's own
// coordinates, or without a plane the corrected picture with y turned up
// (x = u, y = height - 1 - v, one unit per pixel). Without axes the origin is
// the plane's own, or the picture's bottom-left pixel, and x points along the
// plane's (the picture's) x.
//
// Points are kept in source pixels (u right, v down, the centre of the
// top-left pixel at (0, 0), as camera/source_geometry.h counts them), so a
// calibration holds for every picture of its size whatever the fit into the
// analysis frame.

#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camera/source_geometry.h"

struct LensModel {
    double fx = 0.0;  // focal lengths in pixels
    double fy = 0.0;
    double cx = 0.0;  // principal point, source pixels
    double cy = 0.0;
    double k1 = 0.0;  // radial
    double k2 = 0.0;
    double p1 = 0.0;  // tangential
    double p2 = 0.0;
    double k3 = 0.0;
    // How well the fit reprojects the checkerboard's corners, in pixels; NaN
    // for a lens typed in.
    double rms = std::numeric_limits<double>::quiet_NaN();
    int views = 0;  // pictures the fit used; 0 for a lens typed in
};

// A point of the plane level: where it lies in the source, and its typed
// plane coordinates.
struct PlaneMark {
    PlanePoint source;
    PlanePoint plane;
};

struct PlaneLevel {
    std::vector<PlaneMark> marks;  // at least 4, no 3 of them on one line
    std::string unit;              // of the typed coordinates
};

struct ScaleLevel {
    PlanePoint a;          // source pixels
    PlanePoint b;
    double length = 0.0;   // between a and b, in `unit`
    std::string unit;
};

struct AxesLevel {
    PlanePoint origin;        // source pixels
    double x_axis_deg = 0.0;  // counter-clockwise from the level below's x, y up
};

struct Calibration {
    int width = 0;  // the source pictures it is made for; 0 x 0: any
    int height = 0;
    std::optional<LensModel> lens;
    std::optional<PlaneLevel> plane;
    std::optional<ScaleLevel> scale;
    std::optional<AxesLevel> axes;

    bool empty() const { return !lens && !plane && !scale && !axes; }
    // The world unit: the scale's, else the plane's, else "px".
    std::string unit() const;
};

// A unit may name a CSV column: letters, digits, '_', '.', '/', '-' and
// non-ASCII letters (µm), 1 to 16 bytes.
bool valid_unit(std::string_view unit);

// A calibration made ready to apply: checked, its homography solved, the
// scale and axes reduced to one similarity. Plain numbers only.
struct CalibrationMap {
    int width = 0;
    int height = 0;
    std::string unit = "px";
    bool has_lens = false;
    LensModel lens;
    bool has_plane = false;
    std::array<double, 9> to_plane{};    // corrected source pixels to plane, row-major
    std::array<double, 9> from_plane{};  // its inverse
    // world = scale * turn(-x_axis) * (level - origin)
    PlanePoint origin;
    double scale = 1.0;
    double cos_axis = 1.0;
    double sin_axis = 0.0;
};

// Checks `c` and solves it for pictures of width x height (the calibration's
// own size when it has one; a different size is refused). False with a
// one-line reason for anything that cannot map: a lens without positive
// focal lengths, fewer than 4 plane marks or marks that fix no homography,
// scale points that coincide, a length that is not positive, a bad unit.
bool compile_calibration(const Calibration& c, int width, int height, CalibrationMap& out, std::string& error);

// Source pixels to the world, point for point (`out` as long as `source`).
// A point the plane cannot map (on or past its horizon) gives NaN.
void to_world(const CalibrationMap& map, std::span<const PlanePoint> source, std::span<PlanePoint> out);
PlanePoint to_world(const CalibrationMap& map, PlanePoint source);

// The world back to source pixels, for drawing the axes and a grid; NaN for a
// point past the plane's horizon.
void to_source(const CalibrationMap& map, std::span<const PlanePoint> world, std::span<PlanePoint> out);
PlanePoint to_source(const CalibrationMap& map, PlanePoint world);

// What a calibration holds, in a few words for the operator: "lens, plane of
// 4 points, scale 500 mm, axes".
std::string describe(const Calibration& c);
