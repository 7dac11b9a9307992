#pragma once
// The one kind of texture the views use: a square single-channel alpha image,
// linearly filtered and clamped at its edges.

#include <GL/gl.h>

#include <cstdint>

// Makes a size x size GL_ALPHA texture from `pixels` (size * size bytes, row 0
// first) in the current context and returns its name. The caller's texture
// binding is left as it was.
GLuint make_alpha_texture(GLsizei size, const uint8_t* pixels);
