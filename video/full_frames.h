#pragma once
// The pictures of a video file or image sequence at their full resolution, in
// grey, one after the other as decoded: not fitted into the analysis frame,
// not turned by a display rotation, so their pixels are the source pixels u, v
// of the measurements. For work that needs every source pixel, such as
// finding a checkerboard's corners for the lens fit.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One grey picture, full range (0 black, 255 white), rows packed.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height bytes, row 0 first
};

class FullFrames {
public:
    // Opens what `text` names as a source (a video file, a printf pattern or a
    // folder of images; see video/source_text.h). Null with a one-line reason
    // for anything else or what cannot be opened.
    static std::unique_ptr<FullFrames> open(const std::string& text, std::string& error);
    ~FullFrames();
    FullFrames(const FullFrames&) = delete;
    FullFrames& operator=(const FullFrames&) = delete;

    // The next picture into `out`; false at the end or when decoding failed
    // (then fault() says why).
    bool next(GreyImage& out);
    // The frames the stream says it holds; -1 when it does not say.
    int64_t length() const;
    std::string fault() const;

private:
    struct Impl;
    explicit FullFrames(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
