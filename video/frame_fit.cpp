#include "video/frame_fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
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

bool jpeg_style(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return false;
    }
}

// Where pixel (column, row) of the scaled, unturned picture (sw x sh) lands in
// the frame for a clockwise display turn: the same turn source_to_frame makes.
struct Turn {
    int rotation, sw, sh;
    void place(int column, int row, int& x, int& y) const {
        switch (rotation) {
            case 90: x = sh - 1 - row, y = column; break;
            case 180: x = sw - 1 - column, y = sh - 1 - row; break;
            case 270: x = row, y = sw - 1 - column; break;
            default: x = column, y = row; break;
        }
    }
};

}  // namespace

bool full_range_luma(const AVFrame& picture) {
    const auto format = static_cast<AVPixelFormat>(picture.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) return true;
    if ((d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER)) != 0) return true;
    if (jpeg_style(format)) return true;
    const bool grey = d->nb_components <= 2;  // luma, perhaps with alpha
    if (grey) return picture.color_range != AVCOL_RANGE_MPEG;
    return picture.color_range == AVCOL_RANGE_JPEG;
}

LumaFitter::LumaFitter() {
    for (int v = 0; v < 256; ++v) {
        identity_[static_cast<size_t>(v)] = static_cast<uint8_t>(v);
        const long full = std::lround((v - 16) * 255.0 / 219.0);
        expand_[static_cast<size_t>(v)] = static_cast<uint8_t>(std::clamp(full, 0L, 255L));
    }
}

bool LumaFitter::scale(const AVFrame& picture, int width, int height, bool& expand_later, std::string& error) {
    const auto format = static_cast<AVPixelFormat>(picture.format);
    const bool luma = luma_in_plane0(format);
    const bool full = full_range_luma(picture);
    expand_later = luma && !full;
    const AVPixelFormat in_format = luma ? AV_PIX_FMT_GRAY8 : format;
    if (!luma && sws_isSupportedInput(in_format) == 0) {
        const char* name = av_get_pix_fmt_name(format);
        error = std::string("pixel format ") + (name != nullptr ? name : "unknown") + " cannot be converted";
        return false;
    }
    // 8-bit luma is scaled as it is (its range handled by the caller's
    // table); everything else is converted to full range by the scaler.
    const ScalerKey key{in_format, picture.width, picture.height, width, height, luma || full};
    if (sws_ == nullptr || !(key == key_)) {
        sws_.reset(sws_alloc_context());
        key_ = ScalerKey{};
        if (sws_ == nullptr) {
            error = "out of memory";
            return false;
        }
        av_opt_set_int(sws_.get(), "srcw", picture.width, 0);
        av_opt_set_int(sws_.get(), "srch", picture.height, 0);
        av_opt_set_int(sws_.get(), "src_format", in_format, 0);
        av_opt_set_int(sws_.get(), "dstw", width, 0);
        av_opt_set_int(sws_.get(), "dsth", height, 0);
        av_opt_set_int(sws_.get(), "dst_format", AV_PIX_FMT_GRAY8, 0);
        av_opt_set_int(sws_.get(), "sws_flags", SWS_AREA, 0);
        av_opt_set_int(sws_.get(), "src_range", key.full ? 1 : 0, 0);
        av_opt_set_int(sws_.get(), "dst_range", 1, 0);
        if (sws_init_context(sws_.get(), nullptr, nullptr) < 0) {
            sws_.reset();
            error = "no scaler for a picture of " + std::to_string(picture.width) + " x " +
                    std::to_string(picture.height) + " pixels";
            return false;
        }
        key_ = key;
    }
    stride_ = (width + 63) / 64 * 64 + 64;
    const size_t bytes = size_t(stride_) * size_t(height + 2);
    if (scaled_.size() < bytes) scaled_.resize(bytes);
    uint8_t* dst[4] = {scaled_.data(), nullptr, nullptr, nullptr};
    const int dst_stride[4] = {stride_, 0, 0, 0};
    if (sws_scale(sws_.get(), picture.data, picture.linesize, 0, picture.height, dst, dst_stride) <= 0) {
        error = "the picture could not be scaled";
        return false;
    }
    return true;
}

bool LumaFitter::fit(const AVFrame& picture, const SourceGeometry& geometry, Frame& out, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 || picture.data[0] == nullptr) {
        error = "a picture of " + std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                " pixels";
        return false;
    }
    // The geometry of this very picture (its size may have changed mid-stream).
    const SourceGeometry g = geometry.width == picture.width && geometry.height == picture.height
                                 ? geometry
                                 : source_geometry(picture.width, picture.height, geometry.rotation,
                                                   geometry.sample_aspect);
    const FitRect& r = g.rect;
    const bool turned = g.rotation == 90 || g.rotation == 270;
    const Turn turn{g.rotation, turned ? r.height : r.width, turned ? r.width : r.height};
    if (out.size() != kFrameBytes) out.resize(kFrameBytes);

    const auto format = static_cast<AVPixelFormat>(picture.format);
    const bool whole = r.width == kFrameWidth && r.height == kFrameHeight;
    const uint8_t* rows = nullptr;
    ptrdiff_t stride = 0;
    bool expand = false;
    if (whole && g.rotation == 0 && picture.width == kFrameWidth && picture.height == kFrameHeight &&
        luma_in_plane0(format)) {
        rows = picture.data[0];
        stride = picture.linesize[0];
        expand = !full_range_luma(picture);
    } else {
        if (!scale(picture, turn.sw, turn.sh, expand, error)) return false;
        rows = scaled_.data();
        stride = stride_;
    }

    if (!whole) std::memset(out.data(), 0, kFrameBytes);
    const uint8_t* table = expand ? expand_.data() : identity_.data();
    for (int row = 0; row < turn.sh; ++row) {
        const uint8_t* in = rows + stride * row;
        if (g.rotation == 0) {
            uint8_t* to = out.data() + size_t{kFrameWidth} * size_t(r.y + row) + size_t(r.x);
            if (expand) {
                for (int column = 0; column < turn.sw; ++column) to[column] = table[in[column]];
            } else {
                std::memcpy(to, in, static_cast<size_t>(turn.sw));
            }
            continue;
        }
        for (int column = 0; column < turn.sw; ++column) {
            int x = 0, y = 0;
            turn.place(column, row, x, y);
            out[size_t{kFrameWidth} * size_t(r.y + y) + size_t(r.x + x)] = table[in[column]];
        }
    }
    return true;
}

bool LumaFitter::grey(const AVFrame& picture, std::vector<uint8_t>& out, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 || picture.data[0] == nullptr) {
        error = "a picture of " + std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                " pixels";
        return false;
    }
    bool expand = false;
    if (!scale(picture, picture.width, picture.height, expand, error)) return false;
    const uint8_t* table = expand ? expand_.data() : identity_.data();
    const size_t w = static_cast<size_t>(picture.width);
    out.resize(w * size_t(picture.height));
    for (int row = 0; row < picture.height; ++row) {
        const uint8_t* in = scaled_.data() + size_t(stride_) * size_t(row);
        uint8_t* to = out.data() + w * size_t(row);
        for (size_t column = 0; column < w; ++column) to[column] = table[in[column]];
    }
    return true;
}
