#pragma once
// Flip, threshold and the bright-pixel list: the road from the raw frame to the
// input of clustering. Each is one pass without allocation in the steady state.

#include <cstdint>

#include "camera/frame.h"
#include "cluster/records.h"

// Turns the frame upside down in place: row r then holds what row
// (rows - 1 - r) held. Works on whole rows of kFrameWidth bytes.
void flip_frame(Frame& frame);

// dst[i] = src[i] < t ? 0 : 255, with t taking part by its low 8 bits, so a
// pixel equal to the threshold is bright. dst is resized to src's length first
// when the lengths differ.
void threshold_frame(const Frame& src, Frame& dst, int32_t t);

// dst becomes an exact copy of src (used when the threshold is below 1).
void copy_frame(const Frame& src, Frame& dst);

// Empties the list and appends {x, y, v} for every byte v > 0 of `frame`, in
// raster order (row by row from row 0, each row from column 0).
void list_bright_pixels(const Frame& frame, BrightPixelList& pixels);
