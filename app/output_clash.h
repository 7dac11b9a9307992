#pragma once
// A run must never write over a file it reads, nor two of its outputs over
// each other: `velmora track take.mkv --csv take.mkv` would lose the video.

#include <span>
#include <string>

// A file a run reads or writes, with the words that name it in a message.
struct RunFile {
    std::string what;  // "the source", "--csv", "the animation's model"
    std::string path;  // empty: not used in this run
};

// The first output that is the same file as an input or as another output,
// as a one-line sentence that names both; empty when none is. Two names are
// the same file when they reach the same device and inode (so links and
// other spellings count) or, where no file exists yet, the same normalised
// path with every link of its existing folders resolved. Standard output
// ("-") and the null device clash with nothing.
std::string output_clash(std::span<const RunFile> inputs, std::span<const RunFile> outputs);
