#pragma once
// FFmpeg's picture and scaler held by unique_ptrs, for headers that name them
// without including FFmpeg's own (the free functions live in the decoder).

#include <memory>

struct AVFrame;
struct SwsContext;

namespace av {
struct FrameFree {
    void operator()(AVFrame* f) const;  // av_frame_free
};
struct ScalerFree {
    void operator()(SwsContext* s) const;  // sws_freeContext
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;
}  // namespace av
