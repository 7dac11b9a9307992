#pragma once
// Upper bounds on what a model, an animation or their files may ask the
// program to allocate. Counts beyond them are refused, never clamped, so no
// input can make the program allocate without bound, and frames x nodes
// never overflows an int32.

#include <cstddef>
#include <cstdint>

// Nodes of a model loaded from a file, and node entries per animation frame.
// The control panel offers at most 10.
inline constexpr int32_t kMaxModelNodes = 1000;

// Node entries of an animation buffer: 2^24 (about 200 MB), e.g. 1.6 million
// frames of 10 nodes, over 40 minutes of recording at 600 cycles a second.
inline constexpr int32_t kMaxAnimationEntries = int32_t{1} << 24;
// Frames of an animation buffer (also the length of its time-stamp list).
inline constexpr int32_t kMaxAnimationFrames = kMaxAnimationEntries;

// Files larger than these are not read at all. A model file of the largest
// model is under 100 kB; a full animation file of the largest buffer under 1 GiB.
inline constexpr size_t kMaxModelFileBytes = size_t{64} << 20;
inline constexpr size_t kMaxAnimationFileBytes = size_t{1} << 30;
