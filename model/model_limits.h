#pragma once
// Upper bounds on what a model, an animation or their files may ask the
// program to allocate. Counts beyond them are refused, never clamped, so no
// input can make the program allocate without bound, and frames x nodes
// never overflows an int32.

#include <cstddef>
#include <cstdint>

// Node entries of an animation buffer: 2^24 (about 200 MB), e.g. 1.6 million
// frames of 10 nodes, over 40 minutes of recording at 600 cycles a second.
inline constexpr int32_t kMaxAnimationEntries = int32_t{1} << 24;

// Nodes of a model loaded from a file, and node entries per animation frame:
// as many as one animation buffer holds (a model of that size takes about
// 670 MB). The control panel offers at most 10; files may bring more.
inline constexpr int32_t kMaxModelNodes = kMaxAnimationEntries;
// Frames of an animation buffer (also the length of its time-stamp list).
inline constexpr int32_t kMaxAnimationFrames = kMaxAnimationEntries;

// Files larger than these are not read at all. A model file takes about 50
// bytes a node as the program writes it (at most 120 with the widest values),
// so 1 GiB holds the largest model; a full animation file of the largest
// buffer is under 1 GiB as well.
inline constexpr size_t kMaxModelFileBytes = size_t{1} << 30;
inline constexpr size_t kMaxAnimationFileBytes = size_t{1} << 30;
