// Arbitrary bytes as a video file, through the camera source: opened, every
// frame grabbed in sequential mode (at most 64), stopped. Each input is bounded
// in time (reads give up after two seconds) and in picture size.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_file.h"
#include "fuzz/fuzz_input.h"
#include "video/camera_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // No extension: the container is found from the bytes alone.
    static const std::string path = fuzz_file::scratch_path("video");
    fuzz_file::write(path, data, size);
    // Else every input would go elsewhere (a camera) and nothing be fuzzed.
    fuzz_input::require(classify_source(path).kind == SourceKind::file ? "" : "the scratch file is not a video file");

    SourceOptions options;
    options.pacing = Pacing::sequential;
    options.time_limit_ms = 2000;
    options.max_pixels = int64_t{2048} * 2048;
    std::string error;
    std::unique_ptr<CameraSource> source = open_camera_source(path, options, nullptr, error);
    if (source == nullptr) {
        fuzz_input::require(error.empty() ? "a refused input without a reason" : "");
        return 0;
    }
    source->start();
    Frame frame;
    for (int n = 0; n < 64 && source->grab(frame); ++n)
        fuzz_input::require(frame.size() == kFrameBytes ? "" : "a frame of the wrong size");
    source->stop();
    return 0;
}
