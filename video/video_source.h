#pragma once
// A capture device, video file or image sequence as a camera source: a
// VideoDecoder hands out the pictures, a Pacer says when each is due.
//
// Threads: the decoding thread runs the decoder into a short queue (at most
// kQueuedPictures pictures, so memory stays bounded) and carries out seeks;
// the delivering thread fits each picture into a Frame, waits until it is due
// (realtime files) and puts it into the one-frame mailbox, from which grab()
// swaps it out under the lock. The GUI loop therefore never waits on a device
// or a decoder, and fitting runs beside decoding instead of after it. What the
// threads share is behind one mutex, with one condition for each of the three
// things waited for: room or work for the decoder, a picture (or a step) for
// the deliverer, and the mailbox.
//
// Seeking: every seek raises a generation number and empties the queue;
// pictures of an older generation are dropped wherever they are met.
//
// Faults (a device that disappears or sends nothing for two seconds, a
// picture too large or of no size) stop delivery: the last good frame stays
// where the loop has it, fault() says why, the operator is told once, and the
// source can be opened again. Damaged data that can be decoded past is told
// once and noted (damaged()); playing goes on.

#include <cstdint>
#include <memory>

#include "video/camera_source.h"

class VideoSource final : public CameraSource {
public:
    static constexpr int kQueuedPictures = 3;
    // A camera that delivers nothing for this long is reported.
    static constexpr int kStallMs = 2000;

    // Opens and checks the source the classified name gives, and decodes its
    // first picture. Null, with `error` set, when it cannot be opened or holds
    // no picture.
    static std::unique_ptr<VideoSource> open(const SourceName& name, const std::string& text,
                                             const SourceOptions& options, std::string& error);
    ~VideoSource() override;
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    bool start() override;
    bool stop() override;
    bool grab(Frame& frame) override;
    double frame_time_ms() const override;
    bool ended() const override;
    std::string fault() const override;
    bool damaged() const override;
    SourceInfo info() const override;
    SourceGeometry frame_geometry() const override;
    bool stream_times() const override;
    void set_frame_notify(std::function<void()> notify) override;

    // Playback of files and sequences in realtime mode (ignored otherwise).
    void set_loop(bool loop);
    // Playing on from the end of a file that does not loop starts it again
    // at its first frame.
    void set_paused(bool paused);
    bool paused() const;
    // Each pauses first. Forward: the next frame. Back: exactly the frame
    // before the one delivered last (needs can_seek()).
    void step_forward();
    void step_back();
    // Shows frame `index` (the last one when the file is shorter; -1 for the
    // last), paused or playing on from it. Frame 0 can always be gone to;
    // others need can_seek().
    void go_to_frame(int64_t index);
    // Whether frames can be found by their time; a raw H.264 stream cannot.
    bool can_seek() const;

    // Where playback stands: the frame last grabbed.
    struct Position {
        int64_t index = -1;       // its number from 0; -1 before the first grab
        double time_ms = -1;      // its time since the first frame
        int64_t frame_count = -1; // of the file, where known
        double duration_ms = -1;
    };
    Position position() const;

    // One line for the operator: size, pixel format, rate, and for files the
    // position and duration, or the fault.
    std::string status_line() const;

    struct Impl;

private:
    explicit VideoSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
