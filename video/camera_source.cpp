#include "video/camera_source.h"

#include "video/video_source.h"

namespace {

// The synthetic camera as a source of its own (sequential time stamps, never
// ends), for batch runs over the same frames the GUI loop shows. Kept out of
// the header: the main loop, which knows camera sources only by their
// interface, is built without the video room.
class SyntheticSource final : public CameraSource {
public:
    explicit SyntheticSource(const float* phase) : camera_(phase) {}
    bool start() override { return camera_.start(); }
    bool stop() override { return camera_.stop(); }
    bool grab(Frame& frame) override {
        if (!camera_.grab(frame)) return false;
        ++frames_;
        return true;
    }
    double frame_time_ms() const override { return frames_ > 0 ? 10.0 * static_cast<double>(frames_ - 1) : -1; }
    bool ended() const override { return false; }
    std::string fault() const override { return {}; }
    SourceInfo info() const override {
        SourceInfo i;
        i.kind = SourceKind::synthetic;
        i.name = "synthetic";
        i.width = kFrameWidth;
        i.height = kFrameHeight;
        i.pixel_format = "gray";
        return i;
    }

private:
    Videocam_dummy camera_;
    int64_t frames_ = 0;
};

}  // namespace

std::unique_ptr<CameraSource> open_camera_source(const std::string& text, const SourceOptions& options,
                                                 const float* phase, std::string& error) {
    const SourceName name = classify_source(text);
    if (!name.error.empty()) {
        error = name.error;
        return nullptr;
    }
    if (name.kind == SourceKind::synthetic) return std::make_unique<SyntheticSource>(phase);
    return VideoSource::open(name, text, options, error);
}
