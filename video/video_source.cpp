#include "video/video_source.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "platform/message.h"
#include "video/decoders.h"
#include "video/frame_fit.h"
#include "video/pacer.h"
#include "video/video_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kCaption[] = "video source";

void tell_operator(const std::string& text) { platform::show_message(kCaption, text.c_str()); }

// A picture on its way from the decoding to the delivering thread; one
// without a frame marks the end of the stream.
struct Queued {
    DecodedPicture picture;
    uint64_t generation = 0;
    Pacer::Line line = Pacer::Line::continues;
    bool end() const { return picture.frame == nullptr; }
};

// What the operator asked the decoder to go to.
struct Request {
    enum Kind { none, frame, back } kind = none;
    int64_t index = 0;    // frame: this frame (the last when beyond)
    // back: `steps` frames before the one at this time, or, when `chained`,
    // before the frame the back step under way finds (a key held down asks
    // again before the last step has shown its frame).
    double time_ms = 0;
    int steps = 1;
    bool chained = false;
};

// A delivered frame's place in its stream.
struct Stamp {
    double time_ms = -1;
    int64_t index = -1;
    int pixel_format = -1;
    SourceGeometry geometry;
};

enum class Job { quit, seek, decode, loop, end };

// Where the decoding thread stands in its stream.
struct Reading {
    bool at_end = false;    // the decoder gave its last picture
    bool end_told = false;  // and the end mark went into the queue
};
enum class Due { now, superseded, paused, quit };

}  // namespace

struct VideoSource::Impl {
    // --- fixed after the open
    SourceOptions options;
    std::string name;
    SourceKind kind = SourceKind::file;
    bool live = false;     // a capture device
    bool control = false;  // realtime playback of a file or sequence: pause, steps and seeks
    bool seekable = false;
    SourceInfo opened;     // as the open found it
    std::unique_ptr<VideoDecoder> decoder;  // the decoding thread's while it runs

    // --- shared by the threads, guarded by `mutex`
    mutable std::mutex mutex;
    std::condition_variable decoder_wake;  // room in the queue, a request, looping switched on, quit
    std::condition_variable picture_wake;  // a picture queued, a step, a pause, a seek, quit
    std::condition_variable mailbox_wake;  // a frame posted or taken, the end, quit
    std::deque<Queued> queue;
    uint64_t generation = 0;  // raised by every seek
    Request request;
    bool stepping_back = false;  // the decoder carries out a back step
    bool loop = false;
    bool paused = false;
    int steps = 0;             // pictures to deliver while paused
    bool restart_line = false; // playing resumed: the next picture starts a new time line
    Frame mailbox;
    bool mailbox_new = false;
    Stamp mailbox_stamp;
    Stamp posted;   // the frame put into the mailbox last
    Stamp grabbed;  // the frame grab() took last
    bool ended = false;
    std::string fault;
    std::function<void()> notify;
    bool running = false;
    bool quit = false;

    std::thread decoding;
    std::thread delivering;

    // The decoding thread and its steps.
    void decode_loop();
    Job wait_for_job(const Reading& reading, Request& taken, uint64_t& producing);
    // Queues what a decoder call gave; false when the thread is to end.
    bool queue_result(VideoDecoder::Result result, DecodedPicture& picture, Pacer::Line line, uint64_t producing,
                      Reading& reading);
    bool push(Queued item, uint64_t producing);
    // `r.steps` frames back; `found_back_ms` holds the frame the last back step found.
    VideoDecoder::Result go_back(const Request& r, DecodedPicture& picture, double& found_back_ms);

    // The delivering thread and its steps.
    void deliver_loop();
    bool take(Queued& item, bool& stepping, Clock::time_point& last_arrival, bool& stall_told);
    Due wait_until_due(Clock::time_point due, uint64_t generation_of);
    bool post(Frame& frame, const Queued& item);
    void mark_ended(uint64_t generation_of);

    // Under the lock: drop what is queued and let the decoder go to `r`.
    void request_seek(Request r) {
        ++generation;
        queue.clear();
        request = r;
        ended = false;
        decoder_wake.notify_all();
        picture_wake.notify_all();
    }

    // Stops delivery for good (until reopened) and tells the operator.
    void fail(const std::string& why) {
        std::function<void()> wake;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (quit || !fault.empty()) return;
            fault = why;
            ended = true;
            wake = notify;
        }
        decoder_wake.notify_all();
        picture_wake.notify_all();
        mailbox_wake.notify_all();
        tell_operator(why);
        if (wake) wake();
    }
};

// --- the decoding thread

// At the end of a stream the decoder waits for a seek, or for looping, and
// marks the end once while looping is off.
Job VideoSource::Impl::wait_for_job(const Reading& reading, Request& taken, uint64_t& producing) {
    std::unique_lock<std::mutex> lock(mutex);
    decoder_wake.wait(lock, [&] {
        if (quit || !fault.empty() || request.kind != Request::none) return true;
        if (reading.at_end) return loop || !reading.end_told;
        return live || queue.size() < static_cast<size_t>(kQueuedPictures);
    });
    if (quit || !fault.empty()) return Job::quit;
    if (request.kind != Request::none) {
        taken = std::exchange(request, Request{});
        producing = generation;
        stepping_back = taken.kind == Request::back;
        return Job::seek;
    }
    if (!reading.at_end) return Job::decode;
    return loop ? Job::loop : Job::end;
}

bool VideoSource::Impl::push(Queued item, uint64_t producing) {
    std::unique_lock<std::mutex> lock(mutex);
    decoder_wake.wait(lock, [&] {
        return quit || generation != producing || !fault.empty() || live ||
               queue.size() < static_cast<size_t>(kQueuedPictures);
    });
    if (quit || generation != producing || !fault.empty()) return false;
    // A camera's oldest picture gives way: the newest is what counts.
    if (queue.size() >= static_cast<size_t>(kQueuedPictures)) queue.pop_front();
    item.generation = producing;
    queue.push_back(std::move(item));
    picture_wake.notify_all();
    return true;
}

bool VideoSource::Impl::queue_result(VideoDecoder::Result result, DecodedPicture& picture, Pacer::Line line,
                                     uint64_t producing, Reading& reading) {
    switch (result) {
        case VideoDecoder::Result::picture:
            reading = Reading{};
            push(Queued{std::move(picture), 0, line}, producing);
            return true;
        case VideoDecoder::Result::end:
            reading = Reading{true, false};
            return true;
        case VideoDecoder::Result::fault:
            fail(decoder->fault());
            return false;
    }
    return false;
}

VideoDecoder::Result VideoSource::Impl::go_back(const Request& r, DecodedPicture& picture, double& found_back_ms) {
    VideoDecoder::Result result = VideoDecoder::Result::end;
    double from_ms = r.chained ? found_back_ms : r.time_ms;
    for (int i = 0; i < r.steps && result != VideoDecoder::Result::fault; ++i) {
        result = decoder->go_before(from_ms, picture);
        if (result == VideoDecoder::Result::picture) from_ms = picture.time_ms;
    }
    found_back_ms = from_ms;
    std::lock_guard<std::mutex> lock(mutex);
    stepping_back = false;
    return result;
}

void VideoSource::Impl::decode_loop() {
    uint64_t producing = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        producing = generation;
    }
    Reading reading;
    double found_back_ms = 0;  // the frame the last back step found
    for (;;) {
        Request r;
        const Job job = wait_for_job(reading, r, producing);
        DecodedPicture picture;
        VideoDecoder::Result result = VideoDecoder::Result::end;
        Pacer::Line line = Pacer::Line::continues;
        switch (job) {
            case Job::quit:
                return;
            case Job::end:
                push(Queued{}, producing);
                reading.end_told = true;
                continue;
            case Job::seek:
                result = r.kind == Request::frame ? decoder->go_to_frame(r.index, picture)
                                                  : go_back(r, picture, found_back_ms);
                line = Pacer::Line::restarts;
                break;
            case Job::decode:
                result = decoder->next(picture);
                break;
            case Job::loop:
                result = decoder->go_to_frame(0, picture);
                line = Pacer::Line::next_pass;
                // A stream that held pictures once and now has none cannot loop.
                if (result == VideoDecoder::Result::end) {
                    fail(name + ": cannot be played again from its start");
                    return;
                }
                break;
        }
        if (!queue_result(result, picture, line, producing, reading)) return;
    }
}

// --- the delivering thread

bool VideoSource::Impl::take(Queued& item, bool& stepping, Clock::time_point& last_arrival, bool& stall_told) {
    std::unique_lock<std::mutex> lock(mutex);
    const auto ready = [&] { return quit || !fault.empty() || (!queue.empty() && (!paused || steps > 0)); };
    while (live && !picture_wake.wait_until(lock, last_arrival + std::chrono::milliseconds(kStallMs), ready)) {
        lock.unlock();
        const std::string silent = name + ": no frame for " + std::to_string(kStallMs / 1000) + " seconds";
        if (options.pacing == Pacing::sequential) {
            fail(silent);
        } else if (!stall_told) {
            stall_told = true;
            tell_operator(silent + "; still waiting (press \"open\" to start it again)");
        }
        last_arrival = Clock::now();
        lock.lock();
    }
    picture_wake.wait(lock, ready);
    if (quit || !fault.empty()) return false;
    item = std::move(queue.front());
    queue.pop_front();
    decoder_wake.notify_all();  // room for the decoder
    stepping = paused;
    if (paused) --steps;
    if (restart_line) {
        restart_line = false;
        item.line = Pacer::Line::restarts;
    }
    last_arrival = Clock::now();
    stall_told = false;
    return true;
}

Due VideoSource::Impl::wait_until_due(Clock::time_point due, uint64_t generation_of) {
    std::unique_lock<std::mutex> lock(mutex);
    picture_wake.wait_until(lock, due, [&] { return quit || generation != generation_of || paused; });
    if (quit) return Due::quit;
    if (generation != generation_of) return Due::superseded;
    if (paused) return Due::paused;
    return Due::now;
}

bool VideoSource::Impl::post(Frame& frame, const Queued& item) {
    bool announce = false;
    std::function<void()> wake;
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (options.pacing == Pacing::sequential)
            mailbox_wake.wait(lock, [&] { return quit || !mailbox_new || generation != item.generation; });
        if (quit) return false;
        if (generation != item.generation) return true;
        // A frame that replaces one not yet grabbed is not announced again:
        // a waker drained once per loop cycle (FLTK's awake pipe) cannot pile
        // up while the loop runs slower than the source.
        announce = !mailbox_new;
        std::swap(frame, mailbox);
        mailbox_new = true;
        const DecodedPicture& p = item.picture;
        mailbox_stamp = Stamp{p.time_ms, p.index, p.frame->format, p.geometry};
        posted = mailbox_stamp;
        ended = false;
        wake = notify;
    }
    mailbox_wake.notify_all();
    if (wake && announce) wake();
    return true;
}

void VideoSource::Impl::mark_ended(uint64_t generation_of) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (generation_of != generation) return;
        ended = true;
        wake = notify;
    }
    mailbox_wake.notify_all();
    if (wake) wake();
}

void VideoSource::Impl::deliver_loop() {
    LumaFitter fitter;
    Frame scratch;
    Pacer pacer(decoder->interval_ms());
    const bool paced = options.pacing == Pacing::realtime && !live;
    Clock::time_point last_arrival = Clock::now();
    bool stall_told = false;
    for (;;) {
        Queued item;
        bool stepping = false;
        if (!take(item, stepping, last_arrival, stall_told)) return;
        if (item.end()) {
            mark_ended(item.generation);
            continue;
        }
        std::string error;
        if (!fitter.fit(*item.picture.frame, item.picture.geometry, scratch, error)) {
            fail(name + ": " + error);
            return;
        }
        if (paced && !stepping) {
            switch (wait_until_due(pacer.due(item.picture.time_ms, item.line, Clock::now()), item.generation)) {
                case Due::quit:
                    return;
                case Due::superseded:
                    continue;
                case Due::paused: {  // paused while it waited: it is the picture the next step shows
                    std::lock_guard<std::mutex> lock(mutex);
                    if (item.generation == generation) queue.push_front(std::move(item));
                    continue;
                }
                case Due::now:
                    break;
            }
        }
        if (!post(scratch, item)) return;
    }
}

// --- the source

VideoSource::VideoSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VideoSource::~VideoSource() { stop(); }

std::unique_ptr<VideoSource> VideoSource::open(const SourceName& name, const std::string& text,
                                               const SourceOptions& options, std::string& error) {
    auto s = std::make_unique<Impl>();
    s->decoder = open_video_decoder(name, text, options, error, &tell_operator);
    if (s->decoder == nullptr) return nullptr;
    s->options = options;
    s->name = text;
    s->kind = name.kind;
    s->live = name.kind == SourceKind::device;
    s->control = !s->live && options.pacing == Pacing::realtime;
    s->seekable = s->decoder->can_seek();
    s->opened = s->decoder->info();
    s->loop = options.loop && s->control;
    s->paused = options.start_paused && s->control;
    s->steps = s->paused ? 1 : 0;  // the first frame is shown
    return std::unique_ptr<VideoSource>(new VideoSource(std::move(s)));
}

bool VideoSource::start() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.running) return true;
        if (!s.fault.empty()) return false;
        s.running = true;
        s.quit = false;
    }
    s.decoder->resume();
    s.decoding = std::thread([&s] { s.decode_loop(); });
    s.delivering = std::thread([&s] { s.deliver_loop(); });
    return true;
}

bool VideoSource::stop() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.running) return true;
        s.quit = true;
        s.running = false;
    }
    s.decoder->interrupt();
    s.decoder_wake.notify_all();
    s.picture_wake.notify_all();
    s.mailbox_wake.notify_all();
    s.decoding.join();
    s.delivering.join();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.queue.clear();
    return true;
}

bool VideoSource::grab(Frame& frame) {
    Impl& s = *impl_;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.options.pacing == Pacing::sequential)
        s.mailbox_wake.wait(lock, [&] { return !s.running || s.mailbox_new || s.ended; });
    if (!s.mailbox_new) return false;
    std::swap(frame, s.mailbox);
    s.mailbox_new = false;
    s.grabbed = s.mailbox_stamp;
    lock.unlock();
    s.mailbox_wake.notify_all();
    return true;
}

double VideoSource::frame_time_ms() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->grabbed.time_ms;
}

bool VideoSource::ended() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->ended && !impl_->mailbox_new;
}

std::string VideoSource::fault() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->fault;
}

bool VideoSource::damaged() const { return impl_->decoder->damaged(); }

SourceInfo VideoSource::info() const {
    const Impl& s = *impl_;
    std::lock_guard<std::mutex> lock(s.mutex);
    SourceInfo info = s.opened;
    if (s.grabbed.index >= 0) {
        info.geometry = s.grabbed.geometry;
        info.width = s.grabbed.geometry.width;
        info.height = s.grabbed.geometry.height;
        const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(s.grabbed.pixel_format));
        if (format != nullptr) info.pixel_format = format;
    }
    return info;
}

SourceGeometry VideoSource::frame_geometry() const {
    const Impl& s = *impl_;
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.grabbed.index >= 0 ? s.grabbed.geometry : s.opened.geometry;
}

bool VideoSource::stream_times() const {
    return impl_->kind == SourceKind::file || impl_->kind == SourceKind::sequence;
}

void VideoSource::set_frame_notify(std::function<void()> notify) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->notify = std::move(notify);
}

void VideoSource::set_loop(bool loop) {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.loop = loop && s.control;
    }
    s.decoder_wake.notify_all();
}

void VideoSource::set_paused(bool paused) {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.control || s.paused == paused) return;
        if (!paused) {
            s.restart_line = true;
            if (s.ended && s.fault.empty()) s.request_seek(Request{Request::frame, 0});
        }
        s.paused = paused;
        s.steps = 0;
    }
    s.picture_wake.notify_all();
}

bool VideoSource::paused() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->paused;
}

void VideoSource::step_forward() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.control) return;
        s.paused = true;
        s.steps = std::min(s.steps + 1, kQueuedPictures);
    }
    s.picture_wake.notify_all();
}

void VideoSource::step_back() {
    Impl& s = *impl_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.control || !s.seekable || s.posted.index < 0 || !s.fault.empty()) return;
    s.paused = true;
    s.steps = 1;
    if (s.request.kind == Request::back) {  // not begun yet: one frame further
        ++s.request.steps;
        return;
    }
    Request r{Request::back};
    r.time_ms = s.posted.time_ms;
    r.chained = s.stepping_back;
    s.request_seek(r);
}

void VideoSource::go_to_frame(int64_t index) {
    Impl& s = *impl_;
    if (index < 0) index = std::numeric_limits<int64_t>::max() / 4;  // beyond any file: its last frame
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.control || (index > 0 && !s.seekable) || !s.fault.empty()) return;
    s.request_seek(Request{Request::frame, index});
    s.steps = s.paused ? 1 : 0;
}

bool VideoSource::can_seek() const { return impl_->control && impl_->seekable; }

VideoSource::Position VideoSource::position() const {
    const Impl& s = *impl_;
    std::lock_guard<std::mutex> lock(s.mutex);
    Position p;
    p.index = s.grabbed.index;
    p.time_ms = s.grabbed.time_ms;
    p.frame_count = s.opened.frame_count >= 0 ? std::max(s.opened.frame_count, s.grabbed.index + 1) : -1;
    p.duration_ms = s.opened.duration_ms;
    return p;
}

std::string VideoSource::status_line() const {
    const Impl& s = *impl_;
    const SourceInfo i = info();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.fault.empty()) return s.fault;
    std::string line = std::to_string(i.width) + " x " + std::to_string(i.height);
    if (!i.pixel_format.empty()) line += " " + i.pixel_format;
    if (i.frames_per_second > 0)
        line += ", " + fixed_text(i.frames_per_second, i.frames_per_second < 10 ? 2 : 1) + " fps";
    if (!s.live) {
        line += ", " + fixed_text(std::max(s.grabbed.time_ms, 0.0) / 1000.0, 2);
        if (i.duration_ms >= 0) line += " / " + fixed_text(i.duration_ms / 1000.0, 2);
        line += " s";
    }
    if (s.ended && !s.mailbox_new) line += ", end";
    else if (s.paused) line += ", paused";
    return line;
}
