#include "video/video_source.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include "platform/message.h"
#include "video/frame_fit.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr char kCaption[] = "video source";
// Used when a stream's rate is unknown or not believable.
constexpr double kFallbackRate = 25.0;
// Gaps between time stamps beyond this are played as one nominal interval:
// a jump in the stamps must not stall playback.
constexpr double kLongestGapMs = 5000.0;

std::string av_error_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void library_log(void* context, int level, const char* format, va_list arguments);

void init_ffmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The library's own chatter would interleave with the program's log;
        // its errors reach the operator through the source's messages instead.
        av_log_set_callback(&library_log);
        avdevice_register_all();
    });
}

bool believable_rate(double fps) { return fps >= 0.1 && fps <= 1000.0; }

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// One decoded picture on its way from the decoding to the delivering thread.
struct Picture {
    AVFrame* frame = nullptr;  // null for the end-of-stream mark
    double time_ms = 0;
    uint64_t generation = 0;
    bool anchor = false;  // the first picture after a start, seek or loop: its time line starts anew
};

void release(std::deque<Picture>& queue) {
    for (Picture& p : queue) av_frame_free(&p.frame);
    queue.clear();
}

}  // namespace

struct VideoSource::Impl {
    ~Impl() {
        release(queue);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    // --- fixed after the open
    SourceOptions options;
    SourceKind kind = SourceKind::file;
    std::string name;
    bool live = false;  // a capture device
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    int stream = -1;
    AVRational time_base{1, 1};
    int64_t start_pts = 0;
    double interval_ms = 1000.0 / kFallbackRate;  // nominal time between frames
    bool seekable = false;
    bool has_deadline = false;  // reads give up after `deadline`
    Clock::time_point deadline;
    std::atomic<bool> quit{false};  // also read by FFmpeg's interrupt callback

    // --- shared by the threads, guarded by `mutex`
    mutable std::mutex mutex;
    std::condition_variable changed;
    SourceInfo info;
    int info_format = -1;  // the pixel format `info` names
    std::deque<Picture> queue;
    uint64_t generation = 0;  // raised by every seek; older pictures are dropped
    bool seek_pending = false;
    double seek_target_ms = 0;
    bool seek_before = false;  // the last picture earlier than the target, not the first at it
    bool loop = false;
    bool paused = false;
    int steps = 0;          // pictures to deliver while paused
    bool reanchor = false;  // playing resumed: the next picture starts a new time line
    Frame mailbox;
    bool mailbox_new = false;
    double mailbox_ms = -1;
    double grabbed_ms = -1;
    bool ended = false;
    std::string fault;
    std::function<void()> notify;
    bool running = false;

    std::thread decoder;
    std::thread deliverer;

    void decode_loop();
    void deliver_loop();

    // Stops delivery for good (until reopened) and tells the operator.
    void fail(const std::string& why) {
        std::function<void()> wake;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!fault.empty()) return;
            fault = why;
            ended = true;
            wake = notify;
        }
        changed.notify_all();
        platform::show_message(kCaption, why.c_str());
        if (wake) wake();
    }

    void warn(const std::string& what) { platform::show_message(kCaption, what.c_str()); }

    // Damaged data, seen by the decoding thread or reported by the library
    // (which conceals much of it and only says so in its log): told once per
    // opening, and what can be decoded plays on.
    std::atomic<bool> watching{false};  // set while the threads run
    std::atomic<bool> damage_told{false};
    std::atomic<int64_t> decoded_ms{0};
    void note_damage(const std::string& what) {
        if (!watching.load() || damage_told.exchange(true)) return;
        warn(name + ": damaged data near " + fixed(static_cast<double>(decoded_ms.load()) / 1000.0, 1) + " s (" +
             what + "); what can be decoded plays on");
    }

    // Under the lock: drop what is queued and let the decoder seek.
    void request_seek(double target_ms, bool before) {
        ++generation;
        release(queue);
        seek_pending = true;
        seek_target_ms = target_ms;
        seek_before = before;
        ended = false;
        changed.notify_all();
    }

    double time_of(const AVFrame& picture, double previous_ms) const {
        const int64_t ts = picture.best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE) return previous_ms < 0 ? 0.0 : previous_ms + interval_ms;
        return static_cast<double>(ts - start_pts) * av_q2d(time_base) * 1000.0;
    }

    // Decoding thread: puts a picture into the queue, waiting for room unless
    // the source is live (a camera's oldest queued picture is dropped instead).
    // False when the picture is not wanted any more (quit, seek or fault).
    bool push(Picture p, uint64_t producing) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] {
            return quit || generation != producing || !fault.empty() || live ||
                   queue.size() < static_cast<size_t>(kQueuedPictures);
        });
        if (quit || generation != producing || !fault.empty()) {
            av_frame_free(&p.frame);
            return false;
        }
        if (queue.size() >= static_cast<size_t>(kQueuedPictures)) {
            av_frame_free(&queue.front().frame);
            queue.pop_front();
        }
        p.generation = producing;
        queue.push_back(p);
        changed.notify_all();
        return true;
    }
};

namespace {

// Error lines of the library about one of a source's own contexts are damage
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
    static_cast<VideoSource::Impl*>(owner)->note_damage(text);
}

int interrupt_callback(void* opaque) {
    const auto* s = static_cast<const VideoSource::Impl*>(opaque);
    if (s->quit.load()) return 1;
    return s->has_deadline && Clock::now() > s->deadline ? 1 : 0;
}

}  // namespace

void VideoSource::Impl::decode_loop() {
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    AVFrame* held = nullptr;  // stepping back: the latest picture before the target so far
    double held_ms = 0;
    double hold_before_ms = -1;  // >= 0 while stepping back
    uint64_t producing = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        producing = generation;
    }
    bool anchor = true;
    bool at_end = false;
    int64_t pictures_since_start = 0;
    double last_ms = -1;

    auto tell_damage = [&](int code) { note_damage(av_error_text(code)); };
    auto seek_to = [&](double target_ms, bool before) {
        const double seek_ms = before ? target_ms - interval_ms / 2 : target_ms;
        const int64_t ts = start_pts + static_cast<int64_t>(std::floor(seek_ms / 1000.0 / av_q2d(time_base)));
        if (av_seek_frame(format, stream, std::max<int64_t>(ts, start_pts), AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(format, stream, start_pts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec);
        av_frame_free(&held);
        hold_before_ms = before ? target_ms : -1;
        anchor = true;
        at_end = false;
        pictures_since_start = 0;
    };
    // Queues one decoded picture (moved out of `picture`). False: stop decoding this generation.
    auto deliver = [&](AVFrame* decoded) -> bool {
        if (decoded->width <= 0 || decoded->height <= 0 ||
            int64_t{decoded->width} * decoded->height > options.max_pixels) {
            fail(name + ": a picture of " + std::to_string(decoded->width) + " x " +
                 std::to_string(decoded->height) + " pixels cannot be shown");
            return false;
        }
        const double t = time_of(*decoded, last_ms);
        if (decoded->decode_error_flags != 0 || (decoded->flags & AV_FRAME_FLAG_CORRUPT) != 0)
            tell_damage(AVERROR_INVALIDDATA);
        AVFrame* mine = av_frame_alloc();
        av_frame_move_ref(mine, decoded);
        if (hold_before_ms >= 0) {
            if (t < hold_before_ms - 0.5) {
                av_frame_free(&held);
                held = mine;
                held_ms = t;
                return true;
            }
            hold_before_ms = -1;
            if (held != nullptr) {
                if (!push(Picture{held, held_ms, 0, std::exchange(anchor, false)}, producing)) {
                    held = nullptr;
                    av_frame_free(&mine);
                    return false;
                }
                held = nullptr;
            }
        }
        last_ms = t;
        decoded_ms.store(static_cast<int64_t>(t));
        ++pictures_since_start;
        return push(Picture{mine, t, 0, std::exchange(anchor, false)}, producing);
    };
    auto drain = [&]() -> bool {
        avcodec_send_packet(codec, nullptr);
        int r;
        while ((r = avcodec_receive_frame(codec, picture)) >= 0)
            if (!deliver(picture)) return false;
        if (hold_before_ms >= 0 && held != nullptr) {  // the target lay beyond the last picture
            hold_before_ms = -1;
            AVFrame* last = std::exchange(held, nullptr);
            if (!push(Picture{last, held_ms, 0, std::exchange(anchor, false)}, producing)) return false;
        }
        return true;
    };

    while (!quit.load()) {
        bool seek = false;
        double target = 0;
        bool before = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (at_end)
                changed.wait(lock, [&] {
                    return quit || seek_pending || !fault.empty() || (loop && seekable && pictures_since_start > 0);
                });
            if (quit || !fault.empty()) break;
            if (seek_pending) {
                seek = true;
                target = seek_target_ms;
                before = seek_before;
                seek_pending = false;
                producing = generation;
            } else if (at_end) {  // looping: from the start again
                seek = true;
            }
        }
        if (seek) seek_to(target, before);
        if (has_deadline && Clock::now() > deadline) {
            fail(name + ": reading took too long");
            break;
        }

        const int r = av_read_frame(format, packet);
        if (r == AVERROR(EAGAIN)) {  // a camera without a frame ready
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (r < 0) {
            if (quit.load()) break;
            if (has_deadline && Clock::now() > deadline) {
                fail(name + ": reading took too long");
                break;
            }
            if (live) {
                fail(name + ": the camera stopped delivering (" + av_error_text(r) + ")");
                break;
            }
            if (r != AVERROR_EOF) tell_damage(r);
            if (!drain()) continue;
            at_end = true;
            bool looping;
            {
                std::lock_guard<std::mutex> lock(mutex);
                looping = loop && seekable && pictures_since_start > 0;
            }
            if (!looping) push(Picture{nullptr, last_ms, 0, false}, producing);
            continue;
        }
        if (packet->stream_index != stream) {
            av_packet_unref(packet);
            continue;
        }
        int sent = avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) tell_damage(sent);
        int received;
        bool wanted = true;
        while (wanted && (received = avcodec_receive_frame(codec, picture)) >= 0) wanted = deliver(picture);
        if (wanted && received != AVERROR(EAGAIN) && received != AVERROR_EOF) tell_damage(received);
    }
    av_frame_free(&held);
    av_frame_free(&picture);
    av_packet_free(&packet);
}

void VideoSource::Impl::deliver_loop() {
    LumaFitter fitter;
    Frame scratch;
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(mutex);
        wake = notify;
    }
    const bool paced = options.pacing == Pacing::realtime && !live;
    bool anchored = false;
    Clock::time_point anchor_wall;
    double anchor_ms = 0;
    double last_ms = -1;
    Clock::time_point last_arrival = Clock::now();
    bool stall_told = false;

    while (true) {
        Picture p;
        bool while_paused = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            const auto ready = [&] {
                return quit || (!queue.empty() && (!paused || steps > 0)) || !fault.empty();
            };
            if (live) {
                if (!changed.wait_until(lock, last_arrival + std::chrono::milliseconds(kStallMs), ready)) {
                    const bool sequential = options.pacing == Pacing::sequential;
                    lock.unlock();
                    if (sequential) {
                        fail(name + ": no frame for " + std::to_string(kStallMs / 1000) + " seconds");
                    } else if (!stall_told) {
                        stall_told = true;
                        warn(name + ": no frame for " + std::to_string(kStallMs / 1000) +
                             " seconds; still waiting (press \"open\" to start it again)");
                    }
                    last_arrival = Clock::now();
                    continue;
                }
            } else {
                changed.wait(lock, ready);
            }
            if (quit || !fault.empty()) break;
            p = queue.front();
            queue.pop_front();
            changed.notify_all();  // room for the decoder
            while_paused = paused;
            if (paused) --steps;
            if (reanchor) {
                reanchor = false;
                anchored = false;
            }
        }
        last_arrival = Clock::now();
        stall_told = false;

        if (p.frame == nullptr) {  // the end of the stream
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (p.generation == generation) ended = true;
            }
            changed.notify_all();
            if (wake) wake();
            continue;
        }

        std::string error;
        if (!fitter.fit(*p.frame, scratch, error)) {
            av_frame_free(&p.frame);
            fail(name + ": " + error);
            break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (p.frame->width != info.width || p.frame->height != info.height || p.frame->format != info_format) {
                info_format = p.frame->format;
                info.width = p.frame->width;
                info.height = p.frame->height;
                info.geometry = source_geometry(info.width, info.height);
                const char* fmt = av_get_pix_fmt_name(static_cast<AVPixelFormat>(p.frame->format));
                info.pixel_format = fmt != nullptr ? fmt : "";
            }
        }

        if (paced && !while_paused) {
            const double gap = p.time_ms - last_ms;
            if (!anchored || p.anchor || gap <= 0.0 || gap > kLongestGapMs) {
                // A new time line, or stamps that cannot be believed: this
                // picture is due one nominal interval after the last one.
                anchor_wall = anchored && !p.anchor ? anchor_wall + std::chrono::duration_cast<Clock::duration>(
                                                                        Ms(last_ms - anchor_ms + interval_ms))
                                                    : Clock::now();
                anchor_ms = p.time_ms;
                anchored = true;
            }
            const auto due = anchor_wall + std::chrono::duration_cast<Clock::duration>(Ms(p.time_ms - anchor_ms));
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait_until(lock, due, [&] { return quit || generation != p.generation || paused; });
            if (quit) {
                av_frame_free(&p.frame);
                break;
            }
            if (generation != p.generation) {
                av_frame_free(&p.frame);
                continue;
            }
            if (paused) {  // paused while it waited: it is the next picture a step shows
                queue.push_front(p);
                continue;
            }
        }

        bool announce = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (options.pacing == Pacing::sequential)
                changed.wait(lock, [&] { return quit || !mailbox_new || generation != p.generation; });
            if (quit) {
                av_frame_free(&p.frame);
                break;
            }
            if (generation != p.generation) {
                av_frame_free(&p.frame);
                continue;
            }
            // A frame that replaces one not yet grabbed is not announced
            // again: a waker drained once per loop cycle (FLTK's awake pipe)
            // cannot pile up while the loop runs slower than the source.
            announce = !mailbox_new;
            std::swap(scratch, mailbox);
            mailbox_new = true;
            mailbox_ms = p.time_ms;
            ended = false;
        }
        changed.notify_all();
        av_frame_free(&p.frame);
        last_ms = p.time_ms;
        if (wake && announce) wake();
    }
}

VideoSource::VideoSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VideoSource::~VideoSource() { stop(); }

std::unique_ptr<VideoSource> VideoSource::open(const SourceName& name, const std::string& text,
                                               const SourceOptions& options, std::string& error) {
    init_ffmpeg();
    auto s = std::make_unique<Impl>();
    s->options = options;
    s->kind = name.kind;
    s->name = text;
    s->live = name.kind == SourceKind::device;
    s->loop = options.loop && options.pacing == Pacing::realtime;
    // Opening and probing are bounded too: a device or file that hangs must
    // not hang the caller.
    s->has_deadline = true;
    s->deadline = Clock::now() + std::chrono::milliseconds(options.time_limit_ms > 0 ? options.time_limit_ms : 10000);

    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
        error = text + ": out of memory";
        return nullptr;
    }
    format->opaque = s.get();
    format->interrupt_callback.callback = &interrupt_callback;
    format->interrupt_callback.opaque = s.get();
    const AVInputFormat* input = nullptr;
    AVDictionary* format_options = nullptr;
    if (name.kind == SourceKind::device) {
        input = av_find_input_format("video4linux2");
        const CameraMode& mode = options.camera_mode;
        if (mode.width > 0) {
            av_dict_set(&format_options, "video_size", (std::to_string(mode.width) + "x" + std::to_string(mode.height)).c_str(), 0);
            if (mode.fps > 0) av_dict_set(&format_options, "framerate", std::to_string(mode.fps).c_str(), 0);
            const std::string format = ffmpeg_format_name(mode.format);
            if (!format.empty()) av_dict_set(&format_options, "input_format", format.c_str(), 0);
        }
        // Reads return at once when no frame is ready, so a silent camera
        // cannot block the decoding thread past a stop.
        format->flags |= AVFMT_FLAG_NONBLOCK;
    } else if (name.kind == SourceKind::sequence) {
        input = av_find_input_format("image2");
        if (name.glob) av_dict_set(&format_options, "pattern_type", "glob", 0);
    }
    int r = avformat_open_input(&format, name.url.c_str(), input, &format_options);
    av_dict_free(&format_options);
    if (r < 0) {  // the context is freed on failure
        error = text + ": " + av_error_text(r);
        return nullptr;
    }
    s->format = format;

    if (!s->live) {
        // Probing may decode a picture: the same size limit holds there.
        std::vector<AVDictionary*> probe(format->nb_streams, nullptr);
        for (AVDictionary*& d : probe) av_dict_set_int(&d, "max_pixels", options.max_pixels, 0);
        r = avformat_find_stream_info(format, probe.empty() ? nullptr : probe.data());
        for (AVDictionary*& d : probe) av_dict_free(&d);
        if (r < 0) {
            error = text + ": " + av_error_text(r);
            return nullptr;
        }
    }
    const AVCodec* decoder = nullptr;
    s->stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s->stream < 0 || decoder == nullptr) {
        error = text + (s->stream == AVERROR_DECODER_NOT_FOUND ? ": no decoder for its video" : ": holds no video");
        return nullptr;
    }
    AVStream* st = format->streams[s->stream];
    const AVCodecParameters* par = st->codecpar;
    if (int64_t{par->width} * par->height > options.max_pixels) {
        error = text + ": a picture of " + std::to_string(par->width) + " x " + std::to_string(par->height) +
                " pixels is too large";
        return nullptr;
    }
    if (!s->live && (par->width <= 0 || par->height <= 0)) {
        error = text + ": its pictures have no size";
        return nullptr;
    }

    s->codec = avcodec_alloc_context3(decoder);
    if (s->codec == nullptr || avcodec_parameters_to_context(s->codec, par) < 0) {
        error = text + ": out of memory";
        return nullptr;
    }
    s->codec->opaque = s.get();
    s->codec->max_pixels = options.max_pixels;
    // Fitting runs beside the decoder on the delivering thread; how many
    // threads the decoder itself takes is the caller's choice.
    s->codec->thread_count = std::max(0, options.decoder_threads);
    r = avcodec_open2(s->codec, decoder, nullptr);
    if (r < 0) {
        error = text + ": " + av_error_text(r);
        return nullptr;
    }

    s->time_base = st->time_base.num > 0 && st->time_base.den > 0 ? st->time_base : AVRational{1, 1000};
    s->start_pts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    AVRational rate = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    SourceInfo& info = s->info;
    info.kind = name.kind;
    info.name = text;
    info.width = par->width;
    info.height = par->height;
    info.geometry = source_geometry(info.width, info.height);
    const char* fmt = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    info.pixel_format = fmt != nullptr ? fmt : "";
    s->info_format = par->format;
    if (believable_rate(fps)) {
        info.frames_per_second = fps;
        s->interval_ms = 1000.0 / fps;
    } else if (fps > 0) {
        s->warn(text + ": a rate of " + fixed(fps, 3) + " frames per second cannot be right; frames without " +
                "believable time stamps are shown at " + fixed(kFallbackRate, 0) + " per second");
    }
    if (!s->live) {
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            info.duration_ms = static_cast<double>(st->duration) * av_q2d(s->time_base) * 1000.0;
        else if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
            info.duration_ms = static_cast<double>(format->duration) / 1000.0;
        s->seekable = true;
    }
    s->has_deadline = options.time_limit_ms > 0;
    return std::unique_ptr<VideoSource>(new VideoSource(std::move(s)));
}

bool VideoSource::start() {
    Impl& s = *impl_;
    if (s.running) return true;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.fault.empty()) return false;
        s.running = true;
    }
    s.quit.store(false);
    s.watching.store(true);
    s.decoder = std::thread([&s] { s.decode_loop(); });
    s.deliverer = std::thread([&s] { s.deliver_loop(); });
    return true;
}

bool VideoSource::stop() {
    Impl& s = *impl_;
    if (!s.running) return true;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.quit.store(true);
        s.running = false;
    }
    s.changed.notify_all();
    s.decoder.join();
    s.deliverer.join();
    s.watching.store(false);
    std::lock_guard<std::mutex> lock(s.mutex);
    release(s.queue);
    return true;
}

bool VideoSource::grab(Frame& frame) {
    Impl& s = *impl_;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.options.pacing == Pacing::sequential)
        s.changed.wait(lock, [&] { return !s.running || s.mailbox_new || s.ended; });
    if (!s.mailbox_new) return false;
    std::swap(frame, s.mailbox);
    s.mailbox_new = false;
    s.grabbed_ms = s.mailbox_ms;
    lock.unlock();
    s.changed.notify_all();
    return true;
}

double VideoSource::frame_time_ms() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->grabbed_ms;
}

bool VideoSource::ended() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->ended && !impl_->mailbox_new;
}

std::string VideoSource::fault() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->fault;
}

SourceInfo VideoSource::info() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->info;
}

void VideoSource::set_frame_notify(std::function<void()> notify) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->notify = std::move(notify);
}

void VideoSource::set_loop(bool loop) {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.loop = loop && s.options.pacing == Pacing::realtime;
    }
    s.changed.notify_all();
}

void VideoSource::set_paused(bool paused) {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.live || s.options.pacing != Pacing::realtime) return;
        if (s.paused && !paused) s.reanchor = true;
        s.paused = paused;
        s.steps = 0;
    }
    s.changed.notify_all();
}

bool VideoSource::paused() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->paused;
}

void VideoSource::step_forward() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.live || s.options.pacing != Pacing::realtime) return;
        s.paused = true;
        s.steps = std::min(s.steps + 1, kQueuedPictures);
    }
    s.changed.notify_all();
}

void VideoSource::step_back() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.seekable || s.options.pacing != Pacing::realtime || s.grabbed_ms < 0) return;
        s.paused = true;
        s.request_seek(s.grabbed_ms, true);
        s.steps = 1;
    }
    s.changed.notify_all();
}

bool VideoSource::can_seek() const { return impl_->seekable && impl_->options.pacing == Pacing::realtime; }

std::string VideoSource::status_line() const {
    const Impl& s = *impl_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.fault.empty()) return s.fault;
    const SourceInfo& i = s.info;
    std::string line = std::to_string(i.width) + " x " + std::to_string(i.height);
    if (!i.pixel_format.empty()) line += " " + i.pixel_format;
    if (i.frames_per_second > 0) line += ", " + fixed(i.frames_per_second, i.frames_per_second < 10 ? 2 : 1) + " fps";
    if (!s.live) {
        line += ", " + fixed(std::max(s.grabbed_ms, 0.0) / 1000.0, 2);
        if (i.duration_ms >= 0) line += " / " + fixed(i.duration_ms / 1000.0, 2);
        line += " s";
    }
    if (s.ended && !s.mailbox_new) line += ", end";
    else if (s.paused) line += ", paused";
    return line;
}
