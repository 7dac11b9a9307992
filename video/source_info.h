#pragma once
// What a camera source is opened with, and what it says about itself.

#include <cstdint>
#include <string>

#include "camera/source_geometry.h"
#include "video/source_text.h"
#include "video/v4l2.h"

enum class Pacing { realtime, sequential };

// Image sequences carry no rate of their own: this one unless told otherwise.
inline constexpr double kDefaultSequenceFps = 25.0;
// A rate an image sequence may be played at.
inline constexpr bool valid_sequence_fps(double fps) { return fps > 0 && fps <= 1000; }

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
    // The rate of an image sequence, frames per second.
    double sequence_fps = kDefaultSequenceFps;
    // Realtime files and sequences open paused on their first frame, which
    // is delivered once; steps, seeks and set_paused(false) go on from there.
    bool start_paused = false;
    // A file whose header does not say how many frames it holds is counted
    // at the open, by reading (not decoding) it once: for a progress total.
    bool count_frames = false;
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
    // Files and sequences: how many frames they hold, counted or from the
    // header, else estimated from the duration; -1 when unknown or live.
    int64_t frame_count = -1;
    // How the pictures land in the frame, for mapping positions back to the
    // source's own pixels: of the first picture until a frame is grabbed,
    // then of the frame last grabbed (a stream may change its size).
    SourceGeometry geometry;
};
