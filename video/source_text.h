#pragma once
// What the text the operator gives for a source names, before anything is
// opened: the synthetic camera, a capture device, an image-file pattern, a
// folder of images or a video file.

#include <string>

enum class SourceKind { synthetic, device, sequence, file };

struct SourceName {
    SourceKind kind = SourceKind::file;
    // What FFmpeg opens: the device or file path as given, the printf pattern,
    // or for a folder a glob pattern over its images of one kind.
    std::string url;
    bool glob = false;  // `url` is a glob pattern (a folder)
    std::string error;  // non-empty when the text cannot name a source
};

// "synthetic" (any case of letters, surrounding blanks ignored) is the
// synthetic camera; a character device, or a missing path under /dev/, a
// capture device; a text with a printf integer directive (%d, %04d) an image
// sequence; a folder the PNG, PGM or JPEG files in it, in name order; anything
// else a video file. A folder without images, or with images of more than one
// kind, a missing file and one that is not a regular file (a FIFO) give an
// error.
SourceName classify_source(const std::string& text);

// The text with glob's special characters escaped, so a folder name is
// matched literally.
std::string glob_escape(const std::string& text);
