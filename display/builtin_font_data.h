#pragma once
// The built-in glyph data of the texture font (generated, see
// scripts/make-builtin-font).

#include <cstddef>
#include <cstdint>

// 256 x 256 pixels at 1 bit per pixel, row-major, 32 bytes per row, image row 0
// first; the least significant bit of a byte is its leftmost pixel. Cell c of
// the 16 x 16 grid of 16 x 16 cells holds the glyph of code c, centred
// horizontally, its top toward the cell's first row.
inline constexpr size_t kBuiltinGlyphBitmapBytes = 8192;
extern const uint8_t kBuiltinGlyphBitmap[kBuiltinGlyphBitmapBytes];

// Advance width in pixels of every code.
extern const uint8_t kBuiltinGlyphWidths[256];
