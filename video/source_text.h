#pragma once
// What the text the operator gives for a source names, before anything is
// opened: the synthetic camera, a capture device, an image-file pattern, a
// folder of images or a video file.

#include <string>

enum class SourceKind { synthetic, device, sequence, file };

struct SourceName {
    SourceKind kind = SourceKind::file;
    // The device or file path as given, the printf pattern, or the folder.
    std::string url;
    bool folder = false;    // a sequence: `url` is a folder of images
    std::string extension;  // a folder's: the one extension its images have, "." included
    std::string error;  // non-empty when the text cannot name a source
};

// "synthetic" (any case of letters, surrounding blanks ignored) is the
// synthetic camera; a video character device (/dev/video0), or a missing path
// under /dev/, a capture device; a text with a printf integer directive (%d,
// %04d) an image sequence; a folder the PNG, PGM or JPEG files in it, in
// natural order; anything else a video file. A folder without images, or
// with images of more than one kind, a missing file, another character
// device (/dev/null) and anything that is not a regular file (a FIFO) give
// an error.
SourceName classify_source(const std::string& text);
