#pragma once
// The pictures of a video file, an image sequence or a capture device, one by
// one in presentation order, at full resolution. A decoder can also go to an
// exact frame: it seeks to a key frame at or before the frame, decodes forward
// by presentation time, and checks that it arrived; when the container's
// index put it after the frame (MPEG-TS has no index, AVI indexes by decode
// time) it seeks again further back, and from the very start when it must.
// Image sequences go to a frame by its place in the list.
//
// A decoder is driven by one thread; only interrupt() may be called from
// another. VideoSource runs one on its decoding thread; a tool that wants the
// pictures themselves (a calibration) takes them with next_grey().
//
//   std::string error;
//   auto decoder = open_video_decoder("take.mp4", SourceOptions{}, error);
//   DecodedGrey picture;
//   while (decoder && decoder->next_grey(picture) == VideoDecoder::Result::picture) use(picture);

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera/source_geometry.h"
#include "video/frame_fit.h"
#include "video/frame_ptr.h"
#include "video/source_info.h"

// One decoded picture and where it sits in its stream.
struct DecodedPicture {
    av::FramePtr frame;  // full resolution, as decoded
    double time_ms = 0;      // presentation time; the first picture is 0
    int64_t index = 0;       // frame number from 0
    SourceGeometry geometry;  // how it lands in the analysis frame
};

// A picture as full-range grey (0 black, 255 white) at its own size, unturned:
// its pixels are the source pixels of source_geometry.h.
struct DecodedGrey {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width x height, row after row
    double time_ms = 0;
    int64_t index = 0;
    SourceGeometry geometry;
};

class VideoDecoder {
public:
    enum class Result { picture, end, fault };

    virtual ~VideoDecoder() = default;

    // The next picture in presentation order. `end` at the end of the stream,
    // `fault` when the stream cannot go on (see fault()); damaged data that
    // could be decoded past is noted (damaged()) and decoding goes on.
    virtual Result next(DecodedPicture& out) = 0;
    // The picture of frame `index` (the last one when the stream is shorter);
    // next() then gives the one after it. Needs can_seek(), except for frame
    // 0, which every file and sequence can go back to.
    virtual Result go_to_frame(int64_t index, DecodedPicture& out) = 0;
    // The last picture shown before `time_ms` (the first picture when none
    // is): the frame before the one at that time. Needs can_seek().
    virtual Result go_before(double time_ms, DecodedPicture& out) = 0;
    // Whether frames can be found by their time: sequences, and files whose
    // pictures carry time stamps (a raw .h264 stream carries none).
    virtual bool can_seek() const = 0;

    // The next picture as full-range grey at its own size.
    Result next_grey(DecodedGrey& out);

    const SourceInfo& info() const { return info_; }
    // The nominal time between two frames.
    double interval_ms() const { return interval_ms_; }
    bool damaged() const { return damaged_.load(); }
    // Why the stream cannot go on; empty while it can.
    const std::string& fault() const { return fault_; }
    // From any thread: a read that waits (a camera without a frame) gives up,
    // and the decoder reports a fault until resume().
    void interrupt() { interrupted_.store(true); }
    void resume();

protected:
    VideoDecoder() = default;
    // Notes damage; the first note is told through the decoder's Teller.
    void note_damage(const std::string& what);
    Result fail(const std::string& why);
    // The fault of an interrupted read, which resume() takes back.
    Result stopped();

    SourceInfo info_;
    double interval_ms_ = 1000.0 / kDefaultSequenceFps;
    std::string fault_;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> damaged_{false};
    // Set once the stream is probed: what the library logs before that
    // (while it guesses at a format) is no damage.
    std::atomic<bool> watching_{false};
    // Set while a seek decodes its way to the frame: pictures that refer to
    // what lies before the key frame found are no damage of the file.
    std::atomic<bool> quiet_{false};
    std::atomic<int64_t> decoded_ms_{0};  // the time reached, for the damage note
    std::function<void(const std::string&)> tell_;
    bool stopped_ = false;
    LumaFitter grey_fitter_;  // next_grey()'s

    friend void note_library_damage(void* owner, const std::string& what);
};

// How a decoder tells the operator something, one sentence at a time: the
// first damage it meets, a rate that cannot be right.
using Teller = std::function<void(const std::string&)>;

// Opens what `text` names (a file, an image pattern or folder, a device), reads
// its first picture, and leaves it to be the first next(). Null, with `error`
// set to a sentence for the operator, when it cannot be opened or holds no
// picture at all. The synthetic camera is no decoder's source.
std::unique_ptr<VideoDecoder> open_video_decoder(const SourceName& name, const std::string& text,
                                                 const SourceOptions& options, std::string& error,
                                                 Teller tell = {});
std::unique_ptr<VideoDecoder> open_video_decoder(const std::string& text, const SourceOptions& options,
                                                 std::string& error, Teller tell = {});
