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
#include "video/source_info.h"
#include "video/source_text.h"

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
    // True once the source decoded past damaged data (the operator was told
    // once): what it delivered is not the whole stream.
    virtual bool damaged() const { return false; }
    virtual SourceInfo info() const = 0;
    // How the frame last grabbed lies in the frame buffer (info().geometry,
    // without copying the rest of the info): what maps its positions back to
    // the source's own pixels.
    virtual SourceGeometry frame_geometry() const { return info().geometry; }
    // True when frame_time_ms() is the stream's own time of the frame (files
    // and sequences); false when it only counts frames (the synthetic camera)
    // or follows the arrival of a live picture (a device).
    virtual bool stream_times() const { return false; }
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
