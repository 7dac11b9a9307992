#include "display/gl_font.h"

#include <cstdio>
#include <cstring>

#include "display/builtin_font_data.h"
#include "display/gl_texture.h"

namespace {

constexpr int kGlyphCount = 256;
constexpr int kCell = 16;           // glyph cell size in the atlas, pixels
constexpr int kAtlasSize = 256;     // atlas width and height, pixels
constexpr float kTexel = 1.0f / kAtlasSize;

}  // namespace

// --- glFont -----------------------------------------------------------------

glFont::~glFont() { release(); }

void glFont::release() {
    // Only names that exist in the current context are ours to delete: after
    // the context was lost, a stale name may already belong to someone else.
    if (texture != 0 && glIsTexture(texture)) glDeleteTextures(1, &texture);
    if (list_base != 0 && glIsList(list_base)) glDeleteLists(list_base, kGlyphCount);
    texture = 0;
    list_base = 0;
    loaded = false;
}

void glFont::print(int32_t x, int32_t y, const char* text) {
    if (!loaded || text == nullptr) return;
    glPushMatrix();
    glListBase(list_base);
    glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), 0.0f);
    draw_text(text);
    glPopMatrix();
}

void glFont::draw_text(const char* text) {
    if (!loaded || text == nullptr) return;
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
}

void glFont::draw_char(unsigned char code) {
    if (!loaded) return;
    glCallLists(1, GL_UNSIGNED_BYTE, &code);
}

void glFont::print_wrapped(int32_t x, int32_t y, const char* text, int32_t max_width) {
    if (!loaded || text == nullptr) return;
    glPushMatrix();
    glListBase(list_base);
    glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), 0.0f);
    int32_t running = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto code = static_cast<unsigned char>(*p);
        running += char_width(code);
        if (running > max_width) {
            // The character that did not fit starts the next line; its width
            // is not counted there.
            y -= line_height();
            glPopMatrix();
            glPushMatrix();
            glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), 0.0f);
            running = 0;
        }
        draw_char(code);
    }
    glPopMatrix();
}

// --- glFont_Vorn ------------------------------------------------------------

glFont_Vorn::~glFont_Vorn() { widths.clear(); }

void glFont_Vorn::build(const uint8_t* image) {
    release();
    bits_per_pixel = 8;
    line_height_ = kCell;
    widths.assign(kBuiltinGlyphWidths, kBuiltinGlyphWidths + kGlyphCount);
    if (image == nullptr) return;

    texture = make_alpha_texture(kAtlasSize, image);
    list_base = glGenLists(kGlyphCount);
    if (list_base == 0) {  // out of list names: leave the font unbuilt
        release();
        return;
    }
    for (int c = 0; c < kGlyphCount; ++c) {
        const int w = widths[c];
        const int column = c % 16;
        const int row = c / 16;
        glNewList(list_base + c, GL_COMPILE);
        if (c != ' ') {
            // The advance box is centred in the cell; the cell's first image
            // row is the glyph's top and lands at y = 16.
            const int left = column * kCell + kCell / 2 - w / 2;
            const float s0 = static_cast<float>(left) * kTexel;
            const float s1 = static_cast<float>(left + w) * kTexel;
            const float t0 = static_cast<float>(row * kCell) * kTexel;
            const float t1 = static_cast<float>(row * kCell + kCell) * kTexel;
            glBegin(GL_QUADS);
            glNormal3f(0.0f, 0.0f, 1.0f);
            glTexCoord2f(s0, t0);
            glVertex2i(0, kCell);
            glTexCoord2f(s1, t0);
            glVertex2i(w, kCell);
            glTexCoord2f(s1, t1);
            glVertex2i(w, 0);
            glTexCoord2f(s0, t1);
            glVertex2i(0, 0);
            glEnd();
        }
        glTranslatef(static_cast<GLfloat>(w), 0.0f, 0.0f);
        glEndList();
    }
    loaded = true;
}

int32_t glFont_Vorn::line_height() const { return line_height_; }

int32_t glFont_Vorn::char_width(unsigned char code) const {
    return widths.empty() ? 0 : widths[code];
}

int32_t glFont_Vorn::text_width(const char* text) const {
    if (text == nullptr) return 0;
    float sum = 0.0f;
    for (const char* p = text; *p != '\0'; ++p) {
        sum += static_cast<float>(char_width(static_cast<unsigned char>(*p)));
    }
    return static_cast<int32_t>(sum);
}

// --- built-in glyphs --------------------------------------------------------

std::vector<uint8_t> make_builtin_glyph_image() {
    std::vector<uint8_t> image(kAtlasSize * kAtlasSize);
    for (size_t n = 0; n < image.size(); ++n) {
        image[n] = (kBuiltinGlyphBitmap[n / 8] >> (n % 8)) & 1u ? 255 : 0;
    }
    return image;
}

const uint8_t* builtin_glyph_widths() { return kBuiltinGlyphWidths; }

// --- 2D text mode -----------------------------------------------------------

void enter_2d_mode() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glOrtho(viewport[0], viewport[0] + viewport[2], viewport[1], viewport[1] + viewport[3], -1.0,
            1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glPushAttrib(GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT |
                 GL_LIST_BIT | GL_TEXTURE_BIT);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
}

void begin_text(glFont& font) {
    glGetIntegerv(GL_BLEND_SRC, &font.saved_blend_src);
    glGetIntegerv(GL_BLEND_DST, &font.saved_blend_dst);
    font.saved_lighting = glIsEnabled(GL_LIGHTING) == GL_TRUE;
    font.saved_texturing = glIsEnabled(GL_TEXTURE_2D) == GL_TRUE;
    if (!font.saved_texturing) glEnable(GL_TEXTURE_2D);
    // An unbuilt font prints nothing, so it binds nothing either.
    if (font.loaded) glBindTexture(GL_TEXTURE_2D, font.texture);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    glNormal3f(0.0f, 0.0f, 1.0f);
}

void end_text(glFont& font) {
    if (font.saved_lighting) glEnable(GL_LIGHTING);
    if (!font.saved_texturing) glDisable(GL_TEXTURE_2D);
    glBlendFunc(static_cast<GLenum>(font.saved_blend_src), static_cast<GLenum>(font.saved_blend_dst));
}

void leave_2d_mode() {
    glPopAttrib();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void print_frame_rate(glFont& font, int32_t fps) {
    begin_text(font);
    char line[32];
    std::snprintf(line, sizeof line, "fps: %d", static_cast<int>(fps));
    font.print(10, 10, line);
    end_text(font);
}
