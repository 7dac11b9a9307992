#include "video/camera_source.h"

#include "video/video_source.h"

bool SyntheticSource::grab(Frame& frame) {
    if (!camera_.grab(frame)) return false;
    ++frames_;
    return true;
}

SourceInfo SyntheticSource::info() const {
    SourceInfo i;
    i.kind = SourceKind::synthetic;
    i.name = "synthetic";
    i.width = kFrameWidth;
    i.height = kFrameHeight;
    i.pixel_format = "gray";
    return i;
}

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
