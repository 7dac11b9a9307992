#include "video/full_frames.h"

#include <cstring>

#include "video/decoders.h"
#include "video/frame_fit.h"
#include "video/ffmpeg_ptr.h"
#include "video/image_sequence.h"
#include "video/source_text.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// The full-range twins of the deprecated JPEG formats: the scaler wants the
// plain format and the range said apart (full_range_luma says it).
AVPixelFormat plain_format(AVPixelFormat f) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
        default: return f;
    }
}

}  // namespace

struct FullFrames::Impl {
    av::InputPtr format;
    av::CodecPtr codec;
    av::FramePtr picture = av::new_frame();
    av::PacketPtr packet = av::new_packet();
    av::ScalerPtr scaler;
    int stream = -1;
    int64_t length = -1;
    bool draining = false;  // the demuxer has ended; the decoder gives what it holds
    bool failed = false;    // decoding or conversion failed: no more pictures
    std::string fault;
    // A sequence's pictures after the one open, each a file of its own.
    std::vector<std::string> files;
    size_t next_file = 0;

    // Opens `url` as the one being decoded, `text` naming it in a reason.
    bool open(const std::string& url, const std::string& text, std::string& error);

    // The decoder's next picture into `picture`; false at the end or on a fault.
    bool decode();
    // `picture` as full-range grey.
    bool convert(GreyImage& out);
};

FullFrames::FullFrames(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FullFrames::~FullFrames() = default;

std::unique_ptr<FullFrames> FullFrames::open(const std::string& text, std::string& error) {
    const SourceName name = classify_source(text);
    if (!name.error.empty()) {
        error = name.error;
        return nullptr;
    }
    if (name.kind != SourceKind::file && name.kind != SourceKind::sequence) {
        error = text + ": needs a video file or a sequence of images";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    if (impl->picture == nullptr || impl->packet == nullptr) {
        error = text + ": out of memory";
        return nullptr;
    }
    if (name.kind == SourceKind::sequence) {
        ImageSequence sequence;
        if (!(name.folder ? list_folder(name.url, name.extension, sequence, error)
                          : list_pattern(name.url, sequence, error))) {
            error = text + ": " + error;
            return nullptr;
        }
        for (const SequencePicture& picture : sequence.pictures) impl->files.push_back(picture.path);
        impl->next_file = 1;
        if (!impl->open(impl->files[0], text, error)) return nullptr;
        impl->length = static_cast<int64_t>(impl->files.size());
    } else {
        if (!impl->open(name.url, text, error)) return nullptr;
        const int64_t frames = impl->format->streams[impl->stream]->nb_frames;
        impl->length = frames > 0 ? frames : -1;
    }
    return std::unique_ptr<FullFrames>(new FullFrames(std::move(impl)));
}

bool FullFrames::Impl::open(const std::string& url, const std::string& text, std::string& error) {
    codec.reset();
    format.reset();
    draining = false;
    AVFormatContext* opened = nullptr;
    int r = avformat_open_input(&opened, url.c_str(), nullptr, nullptr);
    if (r < 0) {
        error = text + ": " + av_error_text(r);
        return false;
    }
    format.reset(opened);
    if ((r = avformat_find_stream_info(opened, nullptr)) < 0) {
        error = text + ": " + av_error_text(r);
        return false;
    }
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr) {
        error = text + ": holds no video that can be decoded";
        return false;
    }
    const AVStream* st = opened->streams[stream];
    codec.reset(avcodec_alloc_context3(decoder));
    if (codec == nullptr || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0) {
        error = text + ": out of memory";
        return false;
    }
    // Every core: nothing else runs beside the lens fit.
    codec->thread_count = 0;
    if ((r = avcodec_open2(codec.get(), decoder, nullptr)) < 0) {
        error = text + ": " + av_error_text(r);
        return false;
    }
    return true;
}

bool FullFrames::Impl::decode() {
    for (;;) {
        int r = avcodec_receive_frame(codec.get(), picture.get());
        if (r == 0) return true;
        if (r == AVERROR_EOF) return false;
        if (r != AVERROR(EAGAIN)) {
            fault = "decoding failed: " + av_error_text(r);
            failed = true;
            return false;
        }
        if (draining) return false;
        r = av_read_frame(format.get(), packet.get());
        if (r < 0) {
            // What was read before a read error is still decoded.
            if (r != AVERROR_EOF) fault = "reading failed: " + av_error_text(r);
            draining = true;
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == stream) {
            // A damaged packet is skipped: the next pictures may still hold a board.
            (void)avcodec_send_packet(codec.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
}

bool FullFrames::Impl::convert(GreyImage& out) {
    const AVFrame& p = *picture;
    // The tracker's rule: untagged grey is full range, untagged colour limited.
    const bool full_range = full_range_luma(p);
    const AVPixelFormat in = plain_format(static_cast<AVPixelFormat>(p.format));
    if (sws_isSupportedInput(in) == 0) {
        const char* fmt = av_get_pix_fmt_name(in);
        fault = std::string("pixel format ") + (fmt != nullptr ? fmt : "unknown") + " cannot be converted";
        return false;
    }
    SwsContext* s = sws_getCachedContext(scaler.release(), p.width, p.height, in, p.width, p.height,
                                         AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr);
    scaler.reset(s);
    if (s == nullptr) {
        fault = "no converter for a picture of " + std::to_string(p.width) + " x " + std::to_string(p.height);
        return false;
    }
    // Limited-range luma (16 to 235) stretched to 0 to 255, so black and white
    // are the same numbers whatever the source.
    int *inv_table = nullptr, *table = nullptr;
    int src_range = 0, dst_range = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(s, &inv_table, &src_range, &table, &dst_range, &brightness, &contrast,
                                 &saturation) >= 0)
        sws_setColorspaceDetails(s, inv_table, full_range ? 1 : 0, table, 1, brightness, contrast, saturation);
    // The scaler may write whole SIMD blocks past a row's end: rows padded.
    const int stride = (p.width + 63) / 64 * 64;
    std::vector<uint8_t> padded(static_cast<size_t>(stride) * (p.height + 1));
    uint8_t* dst[4] = {padded.data(), nullptr, nullptr, nullptr};
    const int dst_stride[4] = {stride, 0, 0, 0};
    if (sws_scale(s, p.data, p.linesize, 0, p.height, dst, dst_stride) <= 0) {
        fault = "a picture could not be converted";
        return false;
    }
    out.width = p.width;
    out.height = p.height;
    out.pixels.resize(static_cast<size_t>(p.width) * p.height);
    for (int row = 0; row < p.height; ++row)
        std::memcpy(out.pixels.data() + static_cast<size_t>(p.width) * row, padded.data() + size_t(stride) * row,
                    static_cast<size_t>(p.width));
    return true;
}

bool FullFrames::next(GreyImage& out) {
    Impl& s = *impl_;
    if (s.failed) return false;
    while (!s.decode()) {
        // The sequence's next picture, where one is left.
        if (s.failed || s.next_file >= s.files.size()) return false;
        const std::string& file = s.files[s.next_file++];
        std::string error;
        if (!s.open(file, file, error)) {
            s.fault = error;
            s.failed = true;
            return false;
        }
    }
    s.failed = !s.convert(out);
    av_frame_unref(s.picture.get());
    return !s.failed;
}

int64_t FullFrames::length() const { return impl_->length; }
std::string FullFrames::fault() const { return impl_->fault; }
