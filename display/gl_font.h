#pragma once
// A texture font for short text lines in GL windows: one 256 x 256 alpha
// texture with 256 glyphs in a 16 x 16 grid, and 256 display lists, one per
// byte, each drawing its glyph as a quad and moving the pen right by the
// glyph's width. Build, use and destroy a font with its GL context current.

#include <GL/gl.h>

#include <cstdint>
#include <vector>

class glFont {
public:
    glFont() = default;
    glFont(const glFont&) = delete;
    glFont& operator=(const glFont&) = delete;
    virtual ~glFont();  // deletes the texture and lists

    // Draws the text with its lower-left corner at (x, y).
    virtual void print(int32_t x, int32_t y, const char* text);
    // Calls the lists of the text's bytes; the list base must already be set.
    virtual void draw_text(const char* text);
    virtual void draw_char(unsigned char code);
    // Like print, starting a new line (line_height lower) whenever the running
    // width would pass max_width.
    virtual void print_wrapped(int32_t x, int32_t y, const char* text, int32_t max_width);

    virtual int32_t line_height() const = 0;
    virtual int32_t text_width(const char* text) const = 0;
    virtual int32_t char_width(unsigned char code) const = 0;

    bool saved_lighting = false;  // state at begin_text, restored by end_text
    bool saved_texturing = false;
    GLint saved_blend_src = 0;
    GLint saved_blend_dst = 0;
    GLuint texture = 0;    // glyph texture, 0 when none
    GLuint list_base = 0;  // first of 256 lists, 0 when none
    bool loaded = false;   // true after a successful build
    int32_t bits_per_pixel = 0;

protected:
    void release();  // deletes what exists of the texture and lists
};

// The proportional font built from a 256 x 256 8-bit image and the built-in
// width table.
class glFont_Vorn : public glFont {
public:
    ~glFont_Vorn() override;

    // (Re)builds texture and lists from a 65536-byte image in the current context.
    void build(const uint8_t* image);

    int32_t line_height() const override;
    int32_t text_width(const char* text) const override;
    int32_t char_width(unsigned char code) const override;

    int32_t line_height_ = 0;      // 16 after build
    std::vector<uint8_t> widths;  // advance of every code; empty until build
};

// A glFont_Vorn whose image is the built-in bitmap.
class glFont_Vorn_Builtin final : public glFont_Vorn {};

// The built-in 1-bit bitmap expanded to 65536 bytes of 0 or 255.
std::vector<uint8_t> make_builtin_glyph_image();

// The built-in width table (256 entries).
const uint8_t* builtin_glyph_widths();

// 2D text mode: orthographic projection over the viewport, one unit per pixel,
// origin bottom-left; matrices and attribute groups saved for leave_2d_mode.
void enter_2d_mode();
void begin_text(glFont& font);
void end_text(glFont& font);
void leave_2d_mode();

// The rate line of both views, "fps: N" at (10, 10), between begin_text and
// end_text. Call it in 2D mode.
void print_frame_rate(glFont& font, int32_t fps);
