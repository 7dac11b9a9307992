#pragma once
// From a decoded picture of any size and pixel format to the 480 x 360 grey
// Frame: the luma scaled to fit with its aspect kept, centred between black
// bars, by area averaging.

#include <string>
#include <vector>

#include "camera/frame.h"
#include "camera/source_geometry.h"

struct AVFrame;
struct SwsContext;

class LumaFitter {
public:
    LumaFitter() = default;
    ~LumaFitter();
    LumaFitter(const LumaFitter&) = delete;
    LumaFitter& operator=(const LumaFitter&) = delete;

    // Writes the picture into `out` (resized to kFrameBytes). A picture whose
    // format keeps 8-bit luma in a plane of its own (planar YUV, NV12, grey) is
    // read from that plane as it is; any other format goes through libswscale
    // to full-range grey. A 480 x 360 luma plane is copied byte for byte.
    // False, with `error` set, for a picture that cannot be converted (`out`
    // then holds nothing of use).
    bool fit(const AVFrame& picture, Frame& out, std::string& error);

private:
    SwsContext* sws_ = nullptr;
    // The scaler writes whole SIMD blocks past the end of a row: it scales
    // into this padded picture, whose rows are then copied into the frame.
    std::vector<uint8_t> scaled_;
    int source_format_ = -1;  // the pixel format sws_ was made for
};
