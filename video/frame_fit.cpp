#include "video/frame_fit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// 8-bit luma alone in plane 0, one byte per pixel: data[0] is a grey picture.
bool luma_in_plane0(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr || d->nb_components < 1) return false;
    if ((d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER |
                     AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_FLOAT)) != 0)
        return false;
    const AVComponentDescriptor& y = d->comp[0];
    if (y.plane != 0 || y.step != 1 || y.depth != 8 || y.shift != 0 || y.offset != 0) return false;
    // No other component may share plane 0 (packed formats such as YUYV).
    for (int c = 1; c < d->nb_components; ++c)
        if (d->comp[c].plane == 0) return false;
    return true;
}

}  // namespace

LumaFitter::~LumaFitter() { sws_freeContext(sws_); }

bool LumaFitter::fit(const AVFrame& picture, Frame& out, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 || picture.data[0] == nullptr) {
        error = "a picture of " + std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                " pixels";
        return false;
    }
    const auto format = static_cast<AVPixelFormat>(picture.format);
    const bool luma = luma_in_plane0(format);
    const FitRect r = fit_rect(picture.width, picture.height);
    if (out.size() != kFrameBytes) out.resize(kFrameBytes);

    if (luma && picture.width == kFrameWidth && picture.height == kFrameHeight) {
        for (int row = 0; row < kFrameHeight; ++row)
            std::memcpy(out.data() + size_t{kFrameWidth} * row, picture.data[0] + ptrdiff_t{picture.linesize[0]} * row,
                        kFrameWidth);
        return true;
    }

    const AVPixelFormat in_format = luma ? AV_PIX_FMT_GRAY8 : format;
    if (!luma && sws_isSupportedInput(in_format) == 0) {
        const char* name = av_get_pix_fmt_name(format);
        error = std::string("pixel format ") + (name != nullptr ? name : "unknown") + " cannot be converted";
        return false;
    }
    SwsContext* sws = sws_getCachedContext(sws_, picture.width, picture.height, in_format, r.width, r.height,
                                           AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr);
    if (sws == nullptr) {
        sws_ = nullptr;
        error = "no scaler for a picture of " + std::to_string(picture.width) + " x " +
                std::to_string(picture.height) + " pixels";
        return false;
    }
    if (sws != sws_ || source_format_ != in_format) {
        // Colour pictures become full-range grey: white stays 255, as in a grey
        // picture, so one threshold means the same for every kind of source.
        int* inv_table = nullptr;
        int* table = nullptr;
        int src_range = 0, dst_range = 0, brightness = 0, contrast = 0, saturation = 0;
        if (sws_getColorspaceDetails(sws, &inv_table, &src_range, &table, &dst_range, &brightness, &contrast,
                                     &saturation) >= 0 &&
            !luma) {
            sws_setColorspaceDetails(sws, inv_table, src_range, table, 1, brightness, contrast, saturation);
        }
        sws_ = sws;
        source_format_ = in_format;
    }

    const int stride = (r.width + 63) / 64 * 64 + 64;
    const size_t scaled_bytes = size_t(stride) * (r.height + 2);
    if (scaled_.size() < scaled_bytes) scaled_.resize(scaled_bytes);
    uint8_t* dst[4] = {scaled_.data(), nullptr, nullptr, nullptr};
    const int dst_stride[4] = {stride, 0, 0, 0};
    if (sws_scale(sws, picture.data, picture.linesize, 0, picture.height, dst, dst_stride) <= 0) {
        error = "the picture could not be scaled";
        return false;
    }
    if (r.width != kFrameWidth || r.height != kFrameHeight) std::memset(out.data(), 0, kFrameBytes);
    for (int row = 0; row < r.height; ++row)
        std::memcpy(out.data() + size_t{kFrameWidth} * (r.y + row) + r.x, scaled_.data() + size_t(stride) * row,
                    static_cast<size_t>(r.width));
    return true;
}
