#pragma once
// From a decoded picture of any size, pixel format and luma range to grey as
// the analysis reads it: full-range 8-bit (0 black, 255 white) whatever the
// source stored, so one threshold means the same for every source. fit()
// places the picture in the 480 x 360 frame exactly as its SourceGeometry
// maps it (sample aspect ratio, display rotation, aspect kept between black
// bars), by area averaging; grey() gives it at its own resolution, as decoded.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "camera/frame.h"
#include "camera/source_geometry.h"
#include "video/frame_ptr.h"

struct AVFrame;

// Whether a picture's luma spans 0 to 255 (full range) rather than 16 to 235
// (limited). JPEG-style formats (yuvj*), grey and colour (RGB, palette)
// pictures are full range unless tagged otherwise; other YUV pictures are
// limited unless tagged full: an untagged range means limited there.
bool full_range_luma(const AVFrame& picture);

class LumaFitter {
public:
    LumaFitter();
    LumaFitter(const LumaFitter&) = delete;
    LumaFitter& operator=(const LumaFitter&) = delete;

    // Writes the picture into `out` (resized to kFrameBytes) where `geometry`
    // puts it, black around it. 8-bit luma in a plane of its own (planar YUV,
    // NV12, grey) is read from that plane and expanded through a table when
    // limited; any other format goes through libswscale, whose range
    // conversion expands it once. A 480 x 360 full-range luma plane is
    // copied byte for byte. False, with `error` set, for a picture that
    // cannot be converted (`out` then holds nothing of use).
    bool fit(const AVFrame& picture, const SourceGeometry& geometry, Frame& out, std::string& error);

    // The picture as full-range grey at its own size, unturned: width x height
    // bytes, row after row.
    bool grey(const AVFrame& picture, std::vector<uint8_t>& out, std::string& error);

private:
    // The picture's luma as full-range grey of width x height into `scaled_`,
    // rows `stride_` apart. Limited 8-bit luma is left as it is when
    // `expand_later`, for the caller's table.
    bool scale(const AVFrame& picture, int width, int height, bool& expand_later, std::string& error);

    av::ScalerPtr sws_;
    struct ScalerKey {
        int format = -1, in_width = 0, in_height = 0, out_width = 0, out_height = 0;
        bool full = false;
        bool operator==(const ScalerKey&) const = default;
    } key_;
    // The scaler writes whole SIMD blocks past the end of a row: it scales
    // into this padded picture, whose rows are then copied into the frame.
    std::vector<uint8_t> scaled_;
    int stride_ = 0;
    std::array<uint8_t, 256> expand_{};    // limited 8-bit luma to full range, rounded
    std::array<uint8_t, 256> identity_{};
};
