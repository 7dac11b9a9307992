#pragma once
// How a source's pictures land in the 480 x 360 analysis frame, and the way
// back. A picture is shown as its viewer would see it: each pixel stretched
// by the sample aspect ratio, turned by the stream's display rotation, then
// scaled with its aspect kept into the largest centred rectangle of the
// frame. Positions measured in the frame map back to the source's own pixels
// through the same steps, undone.
//
// Coordinates:
//   source pixels  u to the right, v down; the centre of the top-left pixel
//                  is (0, 0), as the picture was decoded (before rotation).
//   frame          x to the right, y the buffer row; the centre of pixel
//                  (column, row) is (column, row). When the frame is flipped
//                  (y_invert), node positions count rows from the other end:
//                  y = kFrameHeight - 1 - row.

#include "camera/frame.h"

// Where a picture of width x height lands in the frame.
struct FitRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FitRect&) const = default;
};

// The largest rectangle of the picture's aspect that fits the frame, centred.
// A 640 x 480 picture fills the frame; 1920 x 1080 becomes 480 x 270 at row 45.
// Each side is at least one pixel. Width and height must be positive.
FitRect fit_rect(int width, int height);

struct SourceGeometry {
    int width = kFrameWidth;  // of the decoded picture, in its own pixels
    int height = kFrameHeight;
    int rotation = 0;            // clockwise turn for display: 0, 90, 180 or 270
    double sample_aspect = 1.0;  // width of one source pixel over its height
    FitRect rect{0, 0, kFrameWidth, kFrameHeight};  // where the shown picture lies

    bool operator==(const SourceGeometry&) const = default;
};

// The geometry of a decoded picture: its shown size (sample aspect ratio,
// then rotation) fitted into the frame. A rotation other than a multiple of
// 90 counts as 0; a sample aspect ratio that is not positive and finite as 1.
SourceGeometry source_geometry(int width, int height, int rotation = 0, double sample_aspect = 1.0);

struct PlanePoint {
    double x = 0.0;
    double y = 0.0;
};

// A position in the frame (node coordinates, flipped when `y_invert`) in the
// source's own pixels, and back. Exact inverses of each other.
PlanePoint frame_to_source(const SourceGeometry& g, PlanePoint frame, bool y_invert);
PlanePoint source_to_frame(const SourceGeometry& g, PlanePoint source, bool y_invert);
