#pragma once
// Camera sources: the synthetic camera, V4L2 capture devices, video files and
// image sequences behind one interface, opened from the text the operator
// gives. Every source is a Videocam, so nothing after the grab learns where a
// frame came from.
//
// Two ways to deliver frames:
//   realtime    for the GUI loop: files and sequences play at their own rate
//               by their time stamps; a camera delivers frames as they come.
//               The newest frame waits in a one-frame mailbox; a frame the
//               loop did not take in time is replaced by the next (dropped).
//               grab() never waits: false means no new frame since the last.
//   sequential  for batch runs: every decoded frame is handed over exactly
//               once, without pacing or dropping. grab() waits for the next
//               frame and returns false only once the stream has ended (or
//               failed: see fault()).
//
// Batch use, one row per source frame:
//
//   std::string error;
//   auto source = open_camera_source(text, SourceOptions{Pacing::sequential}, &app.time_phase, error);
//   if (!source) return report(error);
//   source->start();
//   while (source->grab(app.camera_frame)) write_row(source->frame_time_ms(), ...);
//   if (!source->fault().empty()) report(source->fault());
//
// The synthetic camera never ends; it numbers its frames and gives frame n the
// time n x 10 ms (its phase, which the caller advances, moves 0.01 per frame).
// Its frames depend on the shared generator and the phase exactly as the main
// loop's own synthetic camera does.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "camera/source_geometry.h"
#include "camera/videocam.h"
#include "video/source_text.h"
#include "video/v4l2.h"

enum class Pacing { realtime, sequential };

struct SourceOptions {
    Pacing pacing = Pacing::realtime;
    // Files and sequences: start again from the first frame at the end
    // (realtime only; it can be switched while playing).
    bool loop = false;
    // Upper bound on the pixels of one decoded picture: headers that claim
    // more are refused before anything that size is allocated.
    int64_t max_pixels = int64_t{8192} * 4608;
    // When positive, every read gives up this many milliseconds after the
    // open: a bound on the time one source may take (used by the fuzz target).
    int64_t time_limit_ms = 0;
    // FFmpeg's decoding threads for a file; 0 lets FFmpeg choose (one per
    // core). One by default: fitting runs beside it on a thread of its own,
    // and the window's loop or the other jobs of a batch keep the other cores.
    int decoder_threads = 1;
    // Capture devices: the size, rate and pixel format to capture in; none
    // (width 0): the device's own.
    CameraMode camera_mode{};
};

// What the source delivers, as far as it is known after the open.
struct SourceInfo {
    SourceKind kind = SourceKind::synthetic;
    std::string name;          // the text it was opened from
    int width = 0;             // of the decoded picture, before fitting
    int height = 0;
    std::string pixel_format;  // FFmpeg's name of the decoded format, e.g. "yuyv422"
    double frames_per_second = 0;  // nominal rate; 0 when unknown
    double duration_ms = -1;       // files and sequences; -1 when unknown or live
    // How the pictures land in the frame, for mapping positions back to the
    // source's own pixels.
    SourceGeometry geometry;
};

class CameraSource : public Videocam {
public:
    virtual ~CameraSource() = default;

    // Videocam: start() begins delivering (threads start here), stop() ends it
    // and joins every thread; both may be called any number of times. grab()
    // as described above.

    // Presentation time of the frame last grabbed, in milliseconds from the
    // start of the stream (the first frame is 0); -1 before the first grab.
    virtual double frame_time_ms() const = 0;
    // True once the stream has ended (end of file without looping) or failed.
    // In sequential mode a grab returns false exactly then.
    virtual bool ended() const = 0;
    // The reason the source stopped delivering, empty while it is sound. Every
    // fault is also shown to the operator once, through platform::show_message.
    virtual std::string fault() const = 0;
    virtual SourceInfo info() const = 0;
    // Called on the delivering thread when a frame is ready to grab and none
    // was waiting (a frame that replaces one not yet grabbed brings no second
    // call), when the stream ends and when it fails. Must return at once; set
    // it before start(). A GUI loop uses it to wake from its wait (Fl::awake)
    // instead of polling; at most one call is outstanding per grab, so such a
    // waker never fills up while the loop runs slower than the source.
    virtual void set_frame_notify(std::function<void()> notify) { (void)notify; }
};

// Opens the source the text names (see classify_source): "synthetic", a
// device path such as /dev/video0, a video file, a printf pattern such as
// shots/f%04d.png, or a folder of images. The source is opened and checked
// (container, stream, decoder) but not started. Null, with `error` set to a
// sentence for the operator, when it cannot be opened; nothing is shown to the
// operator here, the caller decides. `phase` is read by the synthetic camera.
std::unique_ptr<CameraSource> open_camera_source(const std::string& text, const SourceOptions& options,
                                                 const float* phase, std::string& error);

// The synthetic camera as a source of its own (sequential time stamps, never
// ends), for batch runs over the same frames the GUI loop shows.
class SyntheticSource final : public CameraSource {
public:
    explicit SyntheticSource(const float* phase) : camera_(phase) {}
    bool start() override { return camera_.start(); }
    bool stop() override { return camera_.stop(); }
    bool grab(Frame& frame) override;
    double frame_time_ms() const override { return frames_ > 0 ? 10.0 * static_cast<double>(frames_ - 1) : -1; }
    bool ended() const override { return false; }
    std::string fault() const override { return {}; }
    SourceInfo info() const override;

private:
    Videocam_dummy camera_;
    int64_t frames_ = 0;
};
