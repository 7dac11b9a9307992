#pragma once
// The headless batch run: the analysis of the main loop's cycle (grab, flip,
// threshold, clustering, tracking) over the frames of one source as fast as
// they come, one measured frame per source frame. No window, no pacing, no
// recording buffer: each frame goes to the run's sinks as it is done (a CSV
// written row by row, an animation, a stream), so memory stays flat however
// long the run.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/options.h"
#include "calib/calibration.h"
#include "camera/frame.h"
#include "camera/source_geometry.h"
#include "loop/scene_setup.h"
#include "measure/frame_sink.h"
#include "measure/scene_warnings.h"
#include "model/node_model.h"
#include "model/tracking.h"
#include "video/source_info.h"

// A source of frames for the batch run.
class BatchSource {
public:
    virtual ~BatchSource() = default;
    // The next frame, every frame once; false at the end of the source or
    // when it fails.
    virtual bool next(Frame& frame) = 0;
    // The presentation time of the frame `next` gave last, for a source that
    // has one (a file); camera frames are timed by the run's stopwatch.
    virtual std::optional<double> presentation_ms() const { return std::nullopt; }
    // A file or sequence ends by itself; a camera runs for as many frames as asked.
    virtual bool ends() const = 0;
    // How many frames the source holds, when it knows; -1 otherwise.
    virtual int64_t length() const { return -1; }
    // Why the source stopped giving frames before its end; empty while sound.
    virtual std::string fault() const { return {}; }
    // True once the source decoded past damaged data: its frames are not the
    // whole file.
    virtual bool damaged() const { return false; }
    // How the picture `next` gave last lands in the frame; null before the
    // first or when unknown (positions then have no source pixels).
    virtual const SourceGeometry* geometry() const { return nullptr; }
};

// How the batch run opens its source.
struct BatchSourceOptions {
    double sequence_fps = kDefaultSequenceFps;  // the rate of an image sequence
    int decoder_threads = 1;     // FFmpeg's threads for a file; 0: its own choice
    CameraMode camera_mode{};    // a capture device captures in it when it names one (width above 0)
};

// The one place where a SOURCE text becomes a source: whatever the program
// opens as a camera source (a capture device, a video file, a printf pattern,
// a folder of images, or "synthetic"), handing over every frame once, without
// pacing. The synthetic camera's phase starts at 0 and moves on by 0.01 a
// frame as in the main loop. Files and sequences end by themselves; their
// rows carry the stream's presentation times and their length is the
// number of frames they hold (counted at the open when the file's header does
// not say). Decoding starts at the first frame asked for. A text that opens
// nothing, or a file without a picture, gives null and a one-line reason.
std::unique_ptr<BatchSource> open_batch_source(const std::string& text, std::string& reason,
                                               const BatchSourceOptions& options = {});

// What the run checks besides its rows: each frame's warnings (each kind said
// once, in `warnings`) and what tracking did with every node.
struct BatchChecks {
    SceneWatch watch;
    WarningsOnce once;
    std::vector<std::string> warnings;  // "frame 12 (0.40 s): 3 clusters for 4 nodes", in order
};

// The calibration a run measures with, made ready for the source's pictures
// on the first frame: a decoder knows their size once it has one.
struct BatchCalibration {
    Calibration calibration;  // as given
    CalibrationMap map;       // valid once `ready`
    bool ready = false;
    std::string error;        // why it cannot map the source's pictures
};

struct BatchSettings {
    Options options = default_options();  // threshold, method, distances, flip
    NodeMemorySettings memory;
    int64_t max_frames = -1;  // -1: until the source ends
    // A source with presentation times (a file) is analysed no faster than
    // those times run, from the first frame on; others come at their own pace.
    bool realtime = false;
    // "auto" and "place nodes" on the first frame, before it is analysed;
    // `on_setup` hears what they did.
    SceneSetup setup;
    std::function<void(const SceneSetupReport&)> on_setup;
    BatchChecks* checks = nullptr;  // filled frame by frame when given
    // Null: the numbers have no world positions.
    BatchCalibration* calibration = nullptr;
};

enum class BatchEnd {
    source_ended,  // a file or sequence gave its last frame
    frames_done,   // max_frames frames were analysed
    source_failed, // a camera gave no frame, or the source failed (see fault())
    stopped,       // `stop` was set
    outputs_failed, // every sink failed: nothing would keep what comes next
    calibration_failed // the calibration cannot map the source's pictures (its `error`); no frame given
};

// Analyses frame after frame, tracking `model`, measures each frame once
// (measure_frame, with the source's geometry, the flip of the options and the
// calibration) and hands it to every sink in order. A frame's time is the
// source's presentation time, or the stopwatch time since the first frame. A sink
// whose take() fails is fed no more while the run goes on for the others;
// with no sink left the run ends. The caller finishes the sinks, however the
// run ended. `progress` hears the number of frames done after each. The
// synthetic camera draws from this thread's generator: a fresh process (state
// 1) sees the frames the program's first cycles see.
BatchEnd run_batch(BatchSource& source, const BatchSettings& settings, NodeModel& model,
                   std::span<FrameSink* const> sinks, const std::atomic<bool>& stop,
                   const std::function<void(int64_t)>& progress);
