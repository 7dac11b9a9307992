// Files and capture devices through libavformat and libavcodec: demux,
// decode and take the pictures out in three short steps, and go to an exact
// frame by presentation time.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include "video/decoders.h"
#include "video/ffmpeg_ptr.h"

namespace {

using Clock = std::chrono::steady_clock;

// Used when a stream's rate is unknown or not believable.
constexpr double kFallbackRate = 25.0;

bool believable_rate(double fps) { return fps >= 0.1 && fps <= 1000.0; }

int clockwise_turn(const AVStream& stream) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(int32_t)) return 0;
    // The matrix turns the picture counter-clockwise by this angle for display.
    const double counter_clockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(counter_clockwise)) return 0;
    const long turn = std::lround(-counter_clockwise);
    return static_cast<int>(((turn % 360) + 360) % 360);
}

class StreamDecoder final : public VideoDecoder {
public:
    StreamDecoder(const SourceName& name, const std::string& text, const SourceOptions& options, Teller tell)
        : name_(name), options_(options), live_(name.kind == SourceKind::device) {
        info_.kind = name.kind;
        info_.name = text;
        tell_ = std::move(tell);
    }

    bool open(std::string& error);
    Result next(DecodedPicture& out) override;
    Result go_to_frame(int64_t index, DecodedPicture& out) override;
    Result go_before(double time_ms, DecodedPicture& out) override;
    bool can_seek() const override { return seekable_; }

private:
    static int interrupt_callback(void* opaque);
    bool deadline_passed() const { return has_deadline_ && Clock::now() > deadline_; }
    bool open_input(std::string& error);
    int64_t count_packets() const;
    // One picture out of the decoder, feeding it packets as it asks.
    Result decode(DecodedPicture& out);
    // One packet of the stream into the decoder, or the end of the input.
    Result feed();
    // The decoded picture with its time, number and geometry.
    Result take_picture(DecodedPicture& out);
    // The last picture whose time is below `limit_ms`, or the first picture.
    Result go_to(double limit_ms, DecodedPicture& out);
    // From where the input stands (a key frame, or the start), decodes to that
    // picture; `late` when the first picture lies beyond it already.
    enum class Landing { arrived, late, end, fault };
    Landing decode_up_to(double limit_ms, bool from_start, DecodedPicture& out);
    bool seek_input(double ms);
    bool restart();

    SourceName name_;
    SourceOptions options_;
    bool live_;
    av::InputPtr format_;
    av::CodecPtr codec_;
    av::PacketPtr packet_ = av::new_packet();
    av::FramePtr decoded_ = av::new_frame();
    int stream_ = -1;
    AVRational time_base_{1, 1000};
    int rotation_ = 0;
    bool flushed_ = false;  // the end of the input went into the decoder
    bool seekable_ = false;
    int64_t first_ts_ = AV_NOPTS_VALUE;  // the first picture's time stamp: time 0
    double last_ms_ = -1;                // of the picture decoded last; -1 unknown (after a seek)
    int64_t last_index_ = -1;
    bool timed_ = false;                 // the picture decoded last has a known time
    DecodedPicture ahead_;  // decoded but not yet handed out
    bool has_ahead_ = false;
    bool has_deadline_ = true;  // reads give up after `deadline_`
    Clock::time_point deadline_;
};

int StreamDecoder::interrupt_callback(void* opaque) {
    const auto* d = static_cast<const StreamDecoder*>(opaque);
    return d->interrupted_.load() || d->deadline_passed() ? 1 : 0;
}

bool StreamDecoder::open_input(std::string& error) {
    const std::string& text = info_.name;
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        error = text + ": out of memory";
        return false;
    }
    raw->opaque = this;
    raw->interrupt_callback.callback = &interrupt_callback;
    raw->interrupt_callback.opaque = this;
    const AVInputFormat* input = nullptr;
    AVDictionary* format_options = nullptr;
    if (live_) {
        input = av_find_input_format("video4linux2");
        // Reads return at once when no frame is ready, so a silent camera
        // cannot block the decoding thread past a stop.
        raw->flags |= AVFMT_FLAG_NONBLOCK;
        const CameraMode& mode = options_.camera_mode;
        if (mode.width > 0) {
            av_dict_set(&format_options, "video_size",
                        (std::to_string(mode.width) + "x" + std::to_string(mode.height)).c_str(), 0);
            if (mode.fps > 0) av_dict_set(&format_options, "framerate", std::to_string(mode.fps).c_str(), 0);
            const std::string format = ffmpeg_format_name(mode.format);
            if (!format.empty()) av_dict_set(&format_options, "input_format", format.c_str(), 0);
        }
    }
    int r = avformat_open_input(&raw, name_.url.c_str(), input, &format_options);
    av_dict_free(&format_options);
    if (r < 0) {  // the context is freed on failure
        error = text + ": " + (r == AVERROR_EOF ? std::string("holds no picture") : av_error_text(r));
        return false;
    }
    format_.reset(raw);

    if (!live_) {
        // Probing may decode a picture: the same size limit holds there.
        std::vector<AVDictionary*> probe(format_->nb_streams, nullptr);
        for (AVDictionary*& d : probe) av_dict_set_int(&d, "max_pixels", options_.max_pixels, 0);
        r = avformat_find_stream_info(format_.get(), probe.empty() ? nullptr : probe.data());
        for (AVDictionary*& d : probe) av_dict_free(&d);
        if (r < 0) {
            error = text + ": " + (r == AVERROR_EOF ? std::string("holds no picture") : av_error_text(r));
            return false;
        }
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream_ < 0 || codec == nullptr) {
        error = text + (stream_ == AVERROR_DECODER_NOT_FOUND ? ": no decoder for its video" : ": holds no video");
        return false;
    }
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    if (int64_t{par->width} * par->height > options_.max_pixels) {
        error = text + ": a picture of " + std::to_string(par->width) + " x " + std::to_string(par->height) +
                " pixels is too large";
        return false;
    }
    if (!live_ && (par->width <= 0 || par->height <= 0)) {
        error = text + ": its pictures have no size";
        return false;
    }
    flushed_ = false;
    has_ahead_ = false;
    last_ms_ = -1;
    last_index_ = -1;
    // Opened again from the start: the decoder it has goes on, emptied. Its
    // pictures still on their way to the frame keep their buffers.
    if (codec_ != nullptr) {
        avcodec_flush_buffers(codec_.get());
        return true;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    if (codec_ == nullptr || avcodec_parameters_to_context(codec_.get(), par) < 0) {
        error = text + ": out of memory";
        return false;
    }
    codec_->opaque = this;
    codec_->max_pixels = options_.max_pixels;
    codec_->thread_count = std::max(options_.decoder_threads, 0);
    r = avcodec_open2(codec_.get(), codec, nullptr);
    if (r < 0) {
        codec_.reset();
        error = text + ": " + av_error_text(r);
        return false;
    }
    return true;
}

bool StreamDecoder::open(std::string& error) {
    const std::string& text = info_.name;
    // Opening and probing are bounded too: a device or file that hangs must
    // not hang the caller.
    deadline_ = Clock::now() + std::chrono::milliseconds(options_.time_limit_ms > 0 ? options_.time_limit_ms : 10000);
    if (!open_input(error)) return false;

    const AVStream& st = *format_->streams[stream_];
    time_base_ = st.time_base.num > 0 && st.time_base.den > 0 ? st.time_base : AVRational{1, 1000};
    rotation_ = clockwise_turn(st);
    AVRational rate = st.avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = st.r_frame_rate;
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    if (believable_rate(fps)) {
        info_.frames_per_second = fps;
        interval_ms_ = 1000.0 / fps;
    } else {
        interval_ms_ = 1000.0 / kFallbackRate;
        if (fps > 0 && tell_)
            tell_(text + ": a rate of " + fixed_text(fps, 3) + " frames per second cannot be right; frames without " +
                  "believable time stamps are shown at " + fixed_text(kFallbackRate, 0) + " per second");
    }
    const AVCodecParameters* par = st.codecpar;
    info_.width = par->width;
    info_.height = par->height;
    const char* pixel_format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    info_.pixel_format = pixel_format != nullptr ? pixel_format : "";
    info_.geometry = source_geometry(std::max(par->width, 1), std::max(par->height, 1), rotation_,
                                     par->sample_aspect_ratio.num > 0 && par->sample_aspect_ratio.den > 0
                                         ? av_q2d(par->sample_aspect_ratio)
                                         : 1.0);
    watching_.store(true);
    // A camera's first frame comes when it comes: the decoding thread waits for it.
    if (live_) {
        has_deadline_ = options_.time_limit_ms > 0;
        return true;
    }

    // The first picture: a file without one is no source.
    DecodedPicture first;
    const Result r = decode(first);
    if (r != Result::picture) {
        error = r == Result::fault ? fault_ : text + ": holds no picture";
        return false;
    }
    info_.width = first.frame->width;
    info_.height = first.frame->height;
    pixel_format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(first.frame->format));
    info_.pixel_format = pixel_format != nullptr ? pixel_format : "";
    info_.geometry = first.geometry;
    ahead_ = std::move(first);
    has_ahead_ = true;
    has_deadline_ = options_.time_limit_ms > 0;

    // Frames are found by their time stamps; a raw elementary stream has none.
    seekable_ = first_ts_ != AV_NOPTS_VALUE && (format_->iformat->flags & AVFMT_NOTIMESTAMPS) == 0;
    if (st.duration != AV_NOPTS_VALUE && st.duration > 0)
        info_.duration_ms = static_cast<double>(st.duration) * av_q2d(time_base_) * 1000.0;
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
        info_.duration_ms = static_cast<double>(format_->duration) / 1000.0;
    if (st.nb_frames > 0) info_.frame_count = st.nb_frames;
    else if (options_.count_frames) info_.frame_count = count_packets();
    else if (info_.duration_ms > 0)
        info_.frame_count = std::max<int64_t>(1, std::llround(info_.duration_ms / interval_ms_));
    return true;
}

// Each packet of the video stream is one picture: a read of the container
// without decoding counts them.
int64_t StreamDecoder::count_packets() const {
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) return -1;
    raw->interrupt_callback.callback = &interrupt_callback;
    raw->interrupt_callback.opaque = const_cast<StreamDecoder*>(this);
    if (avformat_open_input(&raw, name_.url.c_str(), nullptr, nullptr) < 0) return -1;
    av::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || stream_ >= static_cast<int>(input->nb_streams))
        return -1;
    av::PacketPtr packet = av::new_packet();
    int64_t count = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream_) ++count;
        av_packet_unref(packet.get());
    }
    return count > 0 ? count : -1;
}

VideoDecoder::Result StreamDecoder::feed() {
    if (flushed_) return Result::end;
    for (;;) {
        if (deadline_passed()) return fail(info_.name + ": reading took too long");
        const int r = av_read_frame(format_.get(), packet_.get());
        if (r == AVERROR(EAGAIN)) {  // a camera without a frame ready
            if (interrupted_.load()) return stopped();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (r < 0) {
            if (interrupted_.load()) return stopped();
            if (deadline_passed()) return fail(info_.name + ": reading took too long");
            if (live_) return fail(info_.name + ": the camera stopped delivering (" + av_error_text(r) + ")");
            if (r != AVERROR_EOF) note_damage(av_error_text(r));
            // At the end the decoder gives up what it holds back (H.264
            // would lose its last frames otherwise).
            avcodec_send_packet(codec_.get(), nullptr);
            flushed_ = true;
            return Result::picture;
        }
        if (packet_->stream_index != stream_) {
            av_packet_unref(packet_.get());
            continue;
        }
        const int sent = avcodec_send_packet(codec_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) note_damage(av_error_text(sent));
        return Result::picture;
    }
}

VideoDecoder::Result StreamDecoder::decode(DecodedPicture& out) {
    for (;;) {
        const int r = avcodec_receive_frame(codec_.get(), decoded_.get());
        if (r >= 0) return take_picture(out);
        if (r == AVERROR_EOF) return Result::end;
        if (r != AVERROR(EAGAIN)) note_damage(av_error_text(r));
        const Result fed = feed();
        if (fed != Result::picture) return fed;
    }
}

VideoDecoder::Result StreamDecoder::take_picture(DecodedPicture& out) {
    AVFrame& f = *decoded_;
    if (f.width <= 0 || f.height <= 0 || int64_t{f.width} * f.height > options_.max_pixels)
        return fail(info_.name + ": a picture of " + std::to_string(f.width) + " x " + std::to_string(f.height) +
                    " pixels cannot be shown");
    if (f.decode_error_flags != 0 || (f.flags & AV_FRAME_FLAG_CORRUPT) != 0) note_damage(av_error_text(AVERROR_INVALIDDATA));
    const int64_t ts = f.best_effort_timestamp;
    if (ts != AV_NOPTS_VALUE && first_ts_ == AV_NOPTS_VALUE && last_index_ < 0) first_ts_ = ts;
    if (ts != AV_NOPTS_VALUE && first_ts_ != AV_NOPTS_VALUE) {
        out.time_ms = static_cast<double>(ts - first_ts_) * av_q2d(time_base_) * 1000.0;
        out.index = std::llround(out.time_ms / interval_ms_);
        timed_ = true;
    } else {  // no stamp: one nominal interval after the picture before
        timed_ = last_ms_ >= 0 || last_index_ < 0;
        out.index = last_index_ + 1;
        out.time_ms = last_ms_ < 0 ? 0.0 : last_ms_ + interval_ms_;
    }
    last_ms_ = out.time_ms;
    last_index_ = out.index;
    decoded_ms_.store(static_cast<int64_t>(out.time_ms));
    const AVRational sar = av_guess_sample_aspect_ratio(format_.get(), format_->streams[stream_], &f);
    out.geometry = source_geometry(f.width, f.height, rotation_, sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0);
    out.frame.reset(decoded_.release());
    decoded_ = av::new_frame();
    if (decoded_ == nullptr) return fail(info_.name + ": out of memory");
    return Result::picture;
}

VideoDecoder::Result StreamDecoder::next(DecodedPicture& out) {
    if (has_ahead_) {
        has_ahead_ = false;
        out = std::move(ahead_);
        return Result::picture;
    }
    if (!fault_.empty()) return Result::fault;
    return decode(out);
}

bool StreamDecoder::seek_input(double ms) {
    if (!seekable_) return false;
    // Far beyond any stream: the last key frame is the one wanted.
    const double seconds = std::min(ms, 1e12) / 1000.0;
    const double ticks = std::floor(seconds / av_q2d(time_base_));
    if (!(std::fabs(ticks) < 4e18)) return false;
    if (av_seek_frame(format_.get(), stream_, first_ts_ + static_cast<int64_t>(ticks), AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(codec_.get());
    flushed_ = false;
    has_ahead_ = false;
    last_ms_ = -1;
    timed_ = false;
    return true;
}

// From the very start: the input opened again, which every container allows
// (a key frame search towards the start may land past it in MPEG-TS).
bool StreamDecoder::restart() {
    format_.reset();
    std::string error;
    if (!open_input(error)) {
        fail(error);
        return false;
    }
    return true;
}

StreamDecoder::Landing StreamDecoder::decode_up_to(double limit_ms, bool from_start, DecodedPicture& out) {
    DecodedPicture kept;
    bool have = false;
    for (;;) {
        DecodedPicture p;
        const Result r = decode(p);
        if (r == Result::fault) return Landing::fault;
        if (r == Result::end) {
            if (!have) return from_start ? Landing::end : Landing::late;  // sought past the last picture
            out = std::move(kept);
            return Landing::arrived;
        }
        // A picture without a stamp right after a seek has no known time.
        if (!timed_ && !from_start) return Landing::late;
        if (p.time_ms < limit_ms) {
            kept = std::move(p);
            have = true;
            continue;
        }
        if (have) {
            ahead_ = std::move(p);
            has_ahead_ = true;
            out = std::move(kept);
            return Landing::arrived;
        }
        if (!from_start) return Landing::late;  // the key frame found lies after the target
        out = std::move(p);  // nothing lies before the first picture
        return Landing::arrived;
    }
}

VideoDecoder::Result StreamDecoder::go_to(double limit_ms, DecodedPicture& out) {
    if (live_) return fail(info_.name + ": a camera cannot go back");
    if (!fault_.empty()) return Result::fault;
    // A target past the end is sought from the end.
    const double seek_limit = info_.duration_ms > 0 ? std::min(limit_ms, info_.duration_ms) : limit_ms;
    struct Quiet {
        std::atomic<bool>& flag;
        ~Quiet() { flag.store(false); }
    } quiet{quiet_};
    quiet_.store(true);
    for (double back_ms = 0;; back_ms = back_ms == 0 ? std::max(1000.0, 8 * interval_ms_) : back_ms * 4) {
        const double from_ms = seek_limit - back_ms;
        const bool from_start = from_ms <= 0 || !seek_input(from_ms);
        if (from_start && !restart()) return Result::fault;
        switch (decode_up_to(limit_ms, from_start, out)) {
            case Landing::arrived: return Result::picture;
            case Landing::end: return Result::end;
            case Landing::fault: return Result::fault;
            case Landing::late: break;  // seek again, further back
        }
    }
}

// Without time stamps to seek by, both decode forward from the start.
VideoDecoder::Result StreamDecoder::go_to_frame(int64_t index, DecodedPicture& out) {
    return go_to((static_cast<double>(std::max<int64_t>(index, 0)) + 0.5) * interval_ms_, out);
}

VideoDecoder::Result StreamDecoder::go_before(double time_ms, DecodedPicture& out) { return go_to(time_ms, out); }

}  // namespace

std::unique_ptr<VideoDecoder> open_stream_decoder(const SourceName& name, const std::string& text,
                                                  const SourceOptions& options, std::string& error,
                                                  Teller tell) {
    auto decoder = std::make_unique<StreamDecoder>(name, text, options, std::move(tell));
    if (!decoder->open(error)) return nullptr;
    return decoder;
}
