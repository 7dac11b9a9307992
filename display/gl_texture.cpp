#include "display/gl_texture.h"

#include <GL/glu.h>

#include <vector>

#include "camera/frame.h"

void set_up_view(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // X11 windows are never 0 high, but a size event is outside data.
    gluPerspective(45.0, height > 0 ? static_cast<double>(width) / height : 1.0, 0.1, 100.0);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void enable_alpha_texturing() {
    glEnable(GL_NORMALIZE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
}

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
