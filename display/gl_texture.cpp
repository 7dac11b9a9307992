#include "display/gl_texture.h"

#include <vector>

#include "camera/frame.h"

GLuint make_alpha_texture(GLsizei size, const uint8_t* pixels) {
    GLuint name = 0;
    glPushAttrib(GL_TEXTURE_BIT);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, size, size, 0, GL_ALPHA, GL_UNSIGNED_BYTE, pixels);
    glPopAttrib();
    return name;
}

GLuint make_frame_texture() {
    const std::vector<uint8_t> zeros(size_t{kFrameTextureSize} * kFrameTextureSize, 0);
    return make_alpha_texture(kFrameTextureSize, zeros.data());
}

void upload_frame_texture(GLuint texture, const uint8_t* frame) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kFrameWidth, kFrameHeight, GL_ALPHA, GL_UNSIGNED_BYTE, frame);
}

void draw_frame_quad(GLuint texture) {
    constexpr GLint kEdge = kFrameTextureSize - 1;
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(0, 0);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2i(kEdge, 0);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2i(kEdge, kEdge);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2i(0, kEdge);
    glEnd();
}
