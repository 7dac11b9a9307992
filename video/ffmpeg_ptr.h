#pragma once
// FFmpeg's objects, each held by a unique_ptr with its own free function, so
// no path through the decoder frees one by hand.

#include <memory>

#include "video/frame_ptr.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace av {

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct InputClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using InputPtr = std::unique_ptr<AVFormatContext, InputClose>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;

inline FramePtr new_frame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr new_packet() { return PacketPtr(av_packet_alloc()); }

}  // namespace av
