#include "video/video_decoder.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavdevice/avdevice.h>
}

#include "video/decoders.h"
#include "video/ffmpeg_ptr.h"
#include "video/frame_fit.h"

void av::FrameFree::operator()(AVFrame* f) const { av_frame_free(&f); }
void av::ScalerFree::operator()(SwsContext* s) const { sws_freeContext(s); }

namespace {

// Error lines of the library about one of a decoder's own contexts are damage
// reports; everything else it says is dropped.
void library_log(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR || context == nullptr) return;
    const AVClass* kind = *static_cast<const AVClass* const*>(context);
    void* owner = nullptr;
    if (kind == avcodec_get_class()) owner = static_cast<AVCodecContext*>(context)->opaque;
    else if (kind == avformat_get_class()) owner = static_cast<AVFormatContext*>(context)->opaque;
    if (owner == nullptr) return;
    char line[256];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '!')) text.pop_back();
    note_library_damage(owner, text);
}

}  // namespace

void init_ffmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The library's own chatter would interleave with the program's log;
        // its errors reach the operator through the decoders' damage notes.
        av_log_set_callback(&library_log);
        avdevice_register_all();
    });
}

std::string av_error_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string fixed_text(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void note_library_damage(void* owner, const std::string& what) {
    auto* decoder = static_cast<VideoDecoder*>(owner);
    if (decoder->watching_.load()) decoder->note_damage(what);
}

void VideoDecoder::note_damage(const std::string& what) {
    if (quiet_.load() || damaged_.exchange(true)) return;
    if (tell_)
        tell_(info_.name + ": damaged data near " + fixed_text(static_cast<double>(decoded_ms_.load()) / 1000.0, 1) +
              " s (" + what + "); what can be decoded plays on");
}

VideoDecoder::Result VideoDecoder::fail(const std::string& why) {
    if (fault_.empty()) fault_ = why;
    return Result::fault;
}

VideoDecoder::Result VideoDecoder::stopped() {
    if (fault_.empty()) {
        stopped_ = true;
        fault_ = info_.name + ": stopped";
    }
    return Result::fault;
}

void VideoDecoder::resume() {
    interrupted_.store(false);
    if (stopped_) fault_.clear();
    stopped_ = false;
}

VideoDecoder::Result VideoDecoder::next_grey(DecodedGrey& out) {
    DecodedPicture picture;
    const Result r = next(picture);
    if (r != Result::picture) return r;
    std::string error;
    if (!grey_fitter_.grey(*picture.frame, out.pixels, error)) return fail(info_.name + ": " + error);
    out.width = picture.frame->width;
    out.height = picture.frame->height;
    out.time_ms = picture.time_ms;
    out.index = picture.index;
    out.geometry = picture.geometry;
    return Result::picture;
}

std::unique_ptr<VideoDecoder> open_video_decoder(const SourceName& name, const std::string& text,
                                                 const SourceOptions& options, std::string& error,
                                                 Teller tell) {
    init_ffmpeg();
    switch (name.kind) {
        case SourceKind::synthetic:
            error = text + ": the synthetic camera has no pictures to decode";
            return nullptr;
        case SourceKind::sequence:
            return open_sequence_decoder(name, text, options, error, std::move(tell));
        default:
            return open_stream_decoder(name, text, options, error, std::move(tell));
    }
}

std::unique_ptr<VideoDecoder> open_video_decoder(const std::string& text, const SourceOptions& options,
                                                 std::string& error, Teller tell) {
    const SourceName name = classify_source(text);
    if (!name.error.empty()) {
        error = name.error;
        return nullptr;
    }
    return open_video_decoder(name, text, options, error, std::move(tell));
}
