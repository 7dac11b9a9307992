#pragma once
// What the preview and the output window set up alike: the view's base GL
// state, and the one kind of texture they use, a square single-channel alpha
// image, linearly filtered and clamped at its edges.

#include <GL/gl.h>

#include <cstdint>

// Viewport over width x height, a 45 degree perspective, smooth shading, black
// clear colour, depth test with GL_LEQUAL; leaves the modelview matrix current
// and reset. Everything is drawn in the 2D mode over it.
void set_up_view(int32_t width, int32_t height);

// Alpha textures (the frame and the glyphs) draw in the current colour with the
// texel as its opacity, blended over what is there: white over black gives the
// grey picture.
void enable_alpha_texturing();

// Makes a size x size GL_ALPHA texture from `pixels` (size * size bytes, row 0
// first) in the current context and returns its name. The caller's texture
// binding is left as it was.
GLuint make_alpha_texture(GLsizei size, const uint8_t* pixels);

// The frame texture of both views: 512 x 512 texels of alpha, all 0 at first;
// a 480 x 360 frame fills texels [0, 480) x [0, 360), byte r * 480 + c in
// texel (c, r), and the rest stays transparent.
inline constexpr GLsizei kFrameTextureSize = 512;
GLuint make_frame_texture();

// Replaces the frame part of the texture with a 480 x 360 frame.
void upload_frame_texture(GLuint texture, const uint8_t* frame);

// The texture on a quad from (0, 0) to (511, 511): the 512 texels stretched
// over 511 units, frame row 0 at the bottom. Texturing must be on.
void draw_frame_quad(GLuint texture);
