#pragma once
// A capture device, video file or image sequence decoded by FFmpeg. One
// decoding path serves all three: libavformat opens the device, file or
// pattern; libavcodec decodes; the picture is fitted into the grey Frame.
//
// Threads: a decoding thread reads and decodes into a short queue (at most
// kQueuedPictures pictures, so memory stays bounded); a delivering thread
// fits each picture into a Frame, paces it (realtime files) and puts it into
// the one-frame mailbox, from which grab() swaps it out under the lock. The
// GUI loop therefore never waits on a device or a decoder, and fitting runs
// beside decoding instead of after it. Everything the threads share is behind
// one mutex.
//
// Faults (a file that ends in damaged data, a device that disappears or sends
// nothing for two seconds, a picture too large or of no size) stop delivery:
// the last good frame stays where the loop has it, fault() says why, the
// operator is told once, and the source can be opened again.

#include <memory>

#include "video/camera_source.h"

class VideoSource final : public CameraSource {
public:
    static constexpr int kQueuedPictures = 3;
    // A camera that delivers nothing for this long is reported.
    static constexpr int kStallMs = 2000;

    // Opens and checks the source the classified name gives. Null, with
    // `error` set, when it cannot be opened.
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
    SourceInfo info() const override;
    void set_frame_notify(std::function<void()> notify) override;

    // Playback of files and sequences in realtime mode (ignored otherwise).
    void set_loop(bool loop);
    void set_paused(bool paused);
    bool paused() const;
    // While paused: the next frame, or the one before the frame last grabbed.
    // A step while playing pauses first.
    void step_forward();
    void step_back();
    bool can_seek() const;

    // One line for the operator: size, pixel format, rate, and for files the
    // position and duration, or the fault.
    std::string status_line() const;

    struct Impl;

private:
    explicit VideoSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
