#pragma once
// The pictures of an image sequence in the order they play, and the time each
// is shown at. A folder's images play in natural order (f2 before f10), one
// frame interval apart. A printf pattern (shots/f%04d.png) plays the files it
// names from whatever number they begin at, across gaps in the numbering,
// each picture at the time its number gives: f0100, f0101 and f0103 at 25
// frames per second are shown at 0, 40 and 120 ms.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SequencePicture {
    std::string path;
    int64_t number = 0;  // the pattern's number; the place in the folder's order
};

struct ImageSequence {
    std::vector<SequencePicture> pictures;  // in playing order, at least one
    // Milliseconds from the first picture to picture i at `fps` frames per second.
    double time_ms(size_t i, double fps) const;
};

// Natural order: runs of digits compare by their value, everything else by
// its bytes; names equal that way fall back to plain byte order.
bool natural_less(std::string_view a, std::string_view b);

// A file name pattern with one integer directive ("%d", "%04d", "%5i"); "%%"
// is a percent sign. Only the file's name may hold the number.
struct NumberPattern {
    std::string folder;  // "" for the current folder
    std::string prefix;  // the name before the number and after it, "%%" undone
    std::string suffix;
    int width = 0;       // at least this many characters, padded with
    bool zeros = false;  // zeros rather than blanks

    // The file name of a number.
    std::string name(int64_t number) const;
    // The number a file name holds, when it is one of this pattern's names.
    std::optional<int64_t> number_of(std::string_view name) const;
};

// False, with `error` for the operator, when `text` is not such a pattern.
bool parse_number_pattern(const std::string& text, NumberPattern& out, std::string& error);

// The images of `folder` whose extension is `extension` ("." included),
// in natural order. False, with `error`, when there are none.
bool list_folder(const std::string& folder, const std::string& extension, ImageSequence& out, std::string& error);

// The files a pattern names, by number. False, with `error`, when none exists.
bool list_pattern(const std::string& pattern, ImageSequence& out, std::string& error);
