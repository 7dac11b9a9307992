// Image sequences: each picture a file of its own, read whole and decoded by
// one decoder chosen from the first file's extension. Going to a frame is
// going to its place in the list.

#include <algorithm>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "video/decoders.h"
#include "video/ffmpeg_ptr.h"
#include "video/image_sequence.h"

namespace {

// A picture file larger than this is taken for damage, not read.
constexpr int64_t kLargestPictureFile = int64_t{1} << 30;

class SequenceDecoder final : public VideoDecoder {
public:
    SequenceDecoder(const std::string& text, const SourceOptions& options, Teller tell) : options_(options) {
        info_.kind = SourceKind::sequence;
        info_.name = text;
        tell_ = std::move(tell);
    }

    bool open(const SourceName& name, std::string& error);
    Result next(DecodedPicture& out) override;
    Result go_to_frame(int64_t index, DecodedPicture& out) override;
    Result go_before(double time_ms, DecodedPicture& out) override;
    bool can_seek() const override { return true; }

private:
    // Picture i of the list, decoded; false (damage noted) when it cannot be.
    bool decode(size_t i, DecodedPicture& out);
    bool read_file(const std::string& path);

    SourceOptions options_;
    ImageSequence sequence_;
    double fps_ = kDefaultSequenceFps;
    size_t next_ = 0;  // the picture next() decodes
    av::CodecPtr codec_;
    av::PacketPtr packet_ = av::new_packet();
};

bool SequenceDecoder::open(const SourceName& name, std::string& error) {
    const std::string& text = info_.name;
    if (!(name.folder ? list_folder(name.url, name.extension, sequence_, error) : list_pattern(name.url, sequence_, error)))
        return false;
    fps_ = valid_sequence_fps(options_.sequence_fps) ? options_.sequence_fps : kDefaultSequenceFps;
    interval_ms_ = 1000.0 / fps_;

    const AVOutputFormat* images = av_guess_format("image2", nullptr, nullptr);
    const AVCodecID id = images != nullptr ? av_guess_codec(images, nullptr, sequence_.pictures.front().path.c_str(),
                                                            nullptr, AVMEDIA_TYPE_VIDEO)
                                           : AV_CODEC_ID_NONE;
    const AVCodec* codec = id != AV_CODEC_ID_NONE ? avcodec_find_decoder(id) : nullptr;
    if (codec == nullptr) {
        error = text + ": no decoder for pictures like " + sequence_.pictures.front().path;
        return false;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    if (codec_ == nullptr || packet_ == nullptr) {
        error = text + ": out of memory";
        return false;
    }
    codec_->opaque = this;
    codec_->max_pixels = options_.max_pixels;
    // One picture in, one out: threads only within a picture.
    codec_->thread_count = std::max(options_.decoder_threads, 0);
    codec_->thread_type = FF_THREAD_SLICE;
    if (const int r = avcodec_open2(codec_.get(), codec, nullptr); r < 0) {
        error = text + ": " + av_error_text(r);
        return false;
    }
    watching_.store(true);

    // The first picture that decodes fills the info; a sequence of none is no source.
    for (size_t i = 0; i < sequence_.pictures.size(); ++i) {
        DecodedPicture first;
        if (!decode(i, first)) continue;
        const char* pixel_format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(first.frame->format));
        info_.width = first.frame->width;
        info_.height = first.frame->height;
        info_.pixel_format = pixel_format != nullptr ? pixel_format : "";
        info_.geometry = first.geometry;
        info_.frames_per_second = fps_;
        info_.frame_count = static_cast<int64_t>(sequence_.pictures.size());
        info_.duration_ms = sequence_.time_ms(sequence_.pictures.size() - 1, fps_) + interval_ms_;
        next_ = i;
        return true;
    }
    error = text + ": holds no picture that can be decoded";
    return false;
}

bool SequenceDecoder::read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size <= 0 || size > kLargestPictureFile) return false;
    av_packet_unref(packet_.get());
    if (av_new_packet(packet_.get(), static_cast<int>(size)) < 0) return false;
    // Each file is a picture of its own: the PNG decoder would add a
    // packet not marked as a key frame to the picture before.
    packet_->flags |= AV_PKT_FLAG_KEY;
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(packet_->data), size));
}

bool SequenceDecoder::decode(size_t i, DecodedPicture& out) {
    const SequencePicture& picture = sequence_.pictures[i];
    out.time_ms = sequence_.time_ms(i, fps_);
    out.index = static_cast<int64_t>(i);
    decoded_ms_.store(static_cast<int64_t>(out.time_ms));
    if (!read_file(picture.path)) {
        note_damage(picture.path + " cannot be read");
        return false;
    }
    av::FramePtr frame = av::new_frame();
    int r = avcodec_send_packet(codec_.get(), packet_.get());
    if (r >= 0) r = frame != nullptr ? avcodec_receive_frame(codec_.get(), frame.get()) : AVERROR(ENOMEM);
    if (r < 0) {
        note_damage(picture.path + ": " + av_error_text(r));
        avcodec_flush_buffers(codec_.get());
        return false;
    }
    if (frame->width <= 0 || frame->height <= 0 || int64_t{frame->width} * frame->height > options_.max_pixels) {
        note_damage(picture.path + " is a picture of " + std::to_string(frame->width) + " x " +
                    std::to_string(frame->height) + " pixels");
        return false;
    }
    out.geometry = source_geometry(frame->width, frame->height);
    out.frame = std::move(frame);
    return true;
}

VideoDecoder::Result SequenceDecoder::next(DecodedPicture& out) {
    while (next_ < sequence_.pictures.size()) {
        if (decode(next_++, out)) return Result::picture;
    }
    return Result::end;
}

VideoDecoder::Result SequenceDecoder::go_to_frame(int64_t index, DecodedPicture& out) {
    const int64_t last = static_cast<int64_t>(sequence_.pictures.size()) - 1;
    next_ = static_cast<size_t>(std::clamp<int64_t>(index, 0, last));
    return next(out);
}

VideoDecoder::Result SequenceDecoder::go_before(double time_ms, DecodedPicture& out) {
    const std::vector<SequencePicture>& p = sequence_.pictures;
    const int64_t first = p.front().number;
    const auto later = std::partition_point(p.begin() + 1, p.end(), [&](const SequencePicture& s) {
        return static_cast<double>(s.number - first) * 1000.0 / fps_ < time_ms;
    });
    next_ = static_cast<size_t>(later - p.begin()) - 1;
    return next(out);
}

}  // namespace

std::unique_ptr<VideoDecoder> open_sequence_decoder(const SourceName& name, const std::string& text,
                                                    const SourceOptions& options, std::string& error,
                                                    Teller tell) {
    auto decoder = std::make_unique<SequenceDecoder>(text, options, std::move(tell));
    if (!decoder->open(name, error)) return nullptr;
    return decoder;
}
