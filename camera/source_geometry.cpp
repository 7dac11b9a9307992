#include "camera/source_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The picture as shown before fitting: sample aspect applied, then turned.
struct Shown {
    double width;
    double height;
};

Shown shown_size(const SourceGeometry& g) {
    const double w = g.width * g.sample_aspect, h = g.height;
    return g.rotation == 90 || g.rotation == 270 ? Shown{h, w} : Shown{w, h};
}

int normal_rotation(int rotation) {
    const int r = ((rotation % 360) + 360) % 360;
    return r % 90 == 0 ? r : 0;
}

}  // namespace

FitRect fit_rect(int width, int height) {
    FitRect r;
    const int64_t w = width, h = height;
    if (w * kFrameHeight >= h * kFrameWidth) {  // as wide or wider than 4:3
        r.width = kFrameWidth;
        r.height = static_cast<int>(std::clamp<int64_t>((h * kFrameWidth + w / 2) / w, 1, kFrameHeight));
    } else {
        r.height = kFrameHeight;
        r.width = static_cast<int>(std::clamp<int64_t>((w * kFrameHeight + h / 2) / h, 1, kFrameWidth));
    }
    r.x = (kFrameWidth - r.width) / 2;
    r.y = (kFrameHeight - r.height) / 2;
    return r;
}

SourceGeometry source_geometry(int width, int height, int rotation, double sample_aspect) {
    SourceGeometry g;
    g.width = std::max(width, 1);
    g.height = std::max(height, 1);
    g.rotation = normal_rotation(rotation);
    g.sample_aspect = std::isfinite(sample_aspect) && sample_aspect > 0.0 ? sample_aspect : 1.0;
    const Shown s = shown_size(g);
    // The shown size rounded to whole pixels only chooses the rectangle; the
    // mappings below scale by the rectangle over the exact shown size.
    g.rect = fit_rect(std::max(1, static_cast<int>(std::lround(s.width))),
                      std::max(1, static_cast<int>(std::lround(s.height))));
    return g;
}

// Both directions work on pixel edges: the centre of pixel i is at i + 0.5.
PlanePoint frame_to_source(const SourceGeometry& g, PlanePoint frame, bool y_invert) {
    const Shown s = shown_size(g);
    const double row = y_invert ? kFrameHeight - 1 - frame.y : frame.y;
    // Frame edges to the shown picture's edges.
    const double sx = (frame.x + 0.5 - g.rect.x) * s.width / g.rect.width;
    const double sy = (row + 0.5 - g.rect.y) * s.height / g.rect.height;
    // Undo the turn: shown (sx, sy) back to the stretched picture (X, Y).
    const double w = g.width * g.sample_aspect, h = g.height;
    double X = sx, Y = sy;
    switch (g.rotation) {
        case 90: X = sy, Y = h - sx; break;
        case 180: X = w - sx, Y = h - sy; break;
        case 270: X = w - sy, Y = sx; break;
        default: break;
    }
    return PlanePoint{X / g.sample_aspect - 0.5, Y - 0.5};
}

PlanePoint source_to_frame(const SourceGeometry& g, PlanePoint source, bool y_invert) {
    const Shown s = shown_size(g);
    const double w = g.width * g.sample_aspect, h = g.height;
    const double X = (source.x + 0.5) * g.sample_aspect, Y = source.y + 0.5;
    double sx = X, sy = Y;
    switch (g.rotation) {
        case 90: sx = h - Y, sy = X; break;
        case 180: sx = w - X, sy = h - Y; break;
        case 270: sx = Y, sy = w - X; break;
        default: break;
    }
    const double x = g.rect.x + sx * g.rect.width / s.width - 0.5;
    const double row = g.rect.y + sy * g.rect.height / s.height - 0.5;
    return PlanePoint{x, y_invert ? kFrameHeight - 1 - row : row};
}
