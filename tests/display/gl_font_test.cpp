// The texture font: the built-in data, the lists it compiles, and what it
// prints into a real GL context.

#include "display/gl_font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "display/builtin_font_data.h"
#include "tests/display/gl_probe.h"

namespace {

using gl_probe::Pixels;
using gl_probe::ProbeWindow;
using gl_probe::Rgb;

bool glyph_bit(const std::vector<uint8_t>& image, int x, int y) { return image[y * 256 + x] != 0; }

// Ink rows of the glyph of `code` within its cell (cell row 0 first).
std::pair<int, int> ink_rows(const std::vector<uint8_t>& image, int code) {
    int first = 16, last = -1;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            if (glyph_bit(image, (code % 16) * 16 + c, (code / 16) * 16 + r)) {
                first = std::min(first, r);
                last = std::max(last, r);
            }
    return {first, last};
}

// --- the built-in data --------------------------------------------------------

struct FixedWidth {
    int code;
    int width;
};

class BuiltinWidths : public ::testing::TestWithParam<FixedWidth> {};

TEST_P(BuiltinWidths, MatchTheWidthsTextLayoutReliesOn) {
    EXPECT_EQ(builtin_glyph_widths()[GetParam().code], GetParam().width);
}

std::vector<FixedWidth> fixed_widths() {
    std::vector<FixedWidth> v = {{9, 56}, {10, 0}, {13, 0}, {' ', 4}, {'!', 6}, {'A', 10},
                                 {'M', 12}, {'W', 14}, {'i', 4}, {'l', 4}, {'m', 14}, {127, 13}};
    for (int c = 0; c < 32; ++c)
        if (c != 9 && c != 10 && c != 13) v.push_back({c, 13});
    for (int c = '0'; c <= '9'; ++c) v.push_back({c, 9});
    return v;
}
INSTANTIATE_TEST_SUITE_P(Table, BuiltinWidths, ::testing::ValuesIn(fixed_widths()));

TEST(BuiltinGlyphs, InkStaysInsideEachGlyphsAdvanceBox) {
    const std::vector<uint8_t> image = make_builtin_glyph_image();
    ASSERT_EQ(image.size(), 65536u);
    for (int code = 0; code < 256; ++code) {
        const int w = builtin_glyph_widths()[code];
        const int left = 8 - w / 2;
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) {
                const bool inside = c >= left && c < left + w;
                if (!inside) {
                    EXPECT_FALSE(glyph_bit(image, (code % 16) * 16 + c, (code / 16) * 16 + r))
                        << "code " << code << " has ink at cell column " << c << ", box " << left
                        << " + " << w;
                }
            }
    }
}

TEST(BuiltinGlyphs, EveryPrintableCodeHasInkAndBlankCodesHaveNone) {
    const std::vector<uint8_t> image = make_builtin_glyph_image();
    for (int code = 0; code < 256; ++code) {
        const bool has_ink = ink_rows(image, code).second >= 0;
        // Space, no-break space and the codes a tab's quad reaches into stay blank.
        const bool blank = code == ' ' || code == 0xA0 || (code >= 7 && code <= 11) || code == 13;
        EXPECT_EQ(has_ink, !blank) << "code " << code;
    }
}

TEST(BuiltinGlyphs, GlyphTopsFaceTheCellsFirstRowAndPixelsRunLeftToRight) {
    const std::vector<uint8_t> image = make_builtin_glyph_image();
    const auto caret = ink_rows(image, '^');
    const auto underscore = ink_rows(image, '_');
    const auto capital = ink_rows(image, 'E');
    const auto descender = ink_rows(image, 'g');
    EXPECT_LT(caret.second, capital.second);       // a caret stands high
    EXPECT_GT(underscore.first, capital.second);   // an underscore lies below the baseline
    EXPECT_GT(descender.second, capital.second);   // g reaches below the capitals' baseline
    EXPECT_EQ(capital.second, ink_rows(image, 'x').second);  // one baseline

    // '/' rises to the right: its top row's ink lies right of its bottom row's.
    const int x0 = ('/' % 16) * 16, y0 = ('/' / 16) * 16;
    const auto [top, bottom] = ink_rows(image, '/');
    int top_x = -1, bottom_x = -1;
    for (int c = 0; c < 16; ++c) {
        if (glyph_bit(image, x0 + c, y0 + top)) top_x = c;
        if (glyph_bit(image, x0 + c, y0 + bottom) && bottom_x < 0) bottom_x = c;
    }
    EXPECT_GT(top_x, bottom_x);
}

// --- the font in a GL context -------------------------------------------------

class FontInGl : public ::testing::Test {
protected:
    static constexpr int kW = 320;
    static constexpr int kH = 96;
    ProbeWindow window{kW, kH};
    std::unique_ptr<glFont_Vorn_Builtin> owned = std::make_unique<glFont_Vorn_Builtin>();
    glFont_Vorn_Builtin& font = *owned;

    // The font's names belong to the window's context: release them with it current.
    void TearDown() override {
        window.render([this] { owned.reset(); });
    }

    void build() {
        window.render([this] { font.build(make_builtin_glyph_image().data()); });
        ASSERT_TRUE(font.loaded);
    }

    Pixels print_white(int x, int y, const char* text) {
        return window.render([&] {
            enter_2d_mode();
            glColor4f(1, 1, 1, 1);
            begin_text(font);
            font.print(x, y, text);
            end_text(font);
            leave_2d_mode();
        });
    }
};

// One polygon captured in feedback mode: window x, y and texture s, t per vertex.
struct FedVertex {
    float x, y, s, t;
};
using FedPolygon = std::vector<FedVertex>;

std::vector<FedPolygon> feedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    std::vector<FedPolygon> polygons;
    for (GLint i = 0; i < n;) {
        const auto token = static_cast<GLint>(buffer[i++]);
        if (token == GL_POLYGON_TOKEN) {
            const auto count = static_cast<int>(buffer[i++]);
            FedPolygon p;
            for (int v = 0; v < count; ++v, i += 11) p.push_back({buffer[i], buffer[i + 1], buffer[i + 7], buffer[i + 8]});
            // A rasteriser may hand a quad back as two triangles: join them.
            if (p.size() == 3 && !polygons.empty() && polygons.back().size() == 3) {
                polygons.back().insert(polygons.back().end(), p.begin(), p.end());
            } else {
                polygons.push_back(p);
            }
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return polygons;
}

// The quad's corners as drawn, whatever vertex the rasteriser lists first.
struct Box {
    float x0, y0, x1, y1, s0, t0, s1, t1;
};
Box box_of(const FedPolygon& p) {
    Box b{1e9f, 1e9f, -1e9f, -1e9f, 0, 0, 0, 0};
    for (const FedVertex& v : p) {
        b.x0 = std::min(b.x0, v.x);
        b.y0 = std::min(b.y0, v.y);
        b.x1 = std::max(b.x1, v.x);
        b.y1 = std::max(b.y1, v.y);
    }
    for (const FedVertex& v : p) {
        // The top-left corner carries (s0, t0), the bottom-right (s1, t1).
        if (v.x == b.x0 && v.y == b.y1) b.s0 = v.s, b.t0 = v.t;
        if (v.x == b.x1 && v.y == b.y0) b.s1 = v.s, b.t1 = v.t;
    }
    return b;
}

TEST_F(FontInGl, EachGlyphsQuadSamplesItsAdvanceBoxAndThePenMovesByItsWidth) {
    build();
    window.render([this] {
        enter_2d_mode();
        for (int code = 0; code < 256; ++code) {
            const int w = builtin_glyph_widths()[code];
            const std::vector<FedPolygon> polys = feedback([&] {
                glPushMatrix();
                glTranslatef(20, 20, 0);
                glCallList(font.list_base + code);
                glCallList(font.list_base + 'I');  // shows where the pen stands after `code`
                glPopMatrix();
            });
            ASSERT_FALSE(polys.empty()) << "code " << code;
            const Box after = box_of(polys.back());
            EXPECT_FLOAT_EQ(after.x0, 20.0f + w) << "advance of code " << code;
            if (code == ' ') {  // a space only moves the pen
                EXPECT_EQ(polys.size(), 1u);
                continue;
            }
            ASSERT_EQ(polys.size(), 2u) << "code " << code;
            const Box q = box_of(polys.front());
            const int left = (code % 16) * 16 + 8 - w / 2;
            const int top = (code / 16) * 16;
            EXPECT_FLOAT_EQ(q.x0, 20.0f) << code;
            EXPECT_FLOAT_EQ(q.x1, 20.0f + w) << code;
            EXPECT_FLOAT_EQ(q.y0, 20.0f) << code;
            EXPECT_FLOAT_EQ(q.y1, 36.0f) << code;
            EXPECT_FLOAT_EQ(q.s0, left / 256.0f) << code;
            EXPECT_FLOAT_EQ(q.s1, (left + w) / 256.0f) << code;
            EXPECT_FLOAT_EQ(q.t0, top / 256.0f) << code;
            EXPECT_FLOAT_EQ(q.t1, (top + 16) / 256.0f) << code;
        }
        leave_2d_mode();
    });
}

TEST_F(FontInGl, PrintedTextShowsTheGlyphBitmapUprightAtItsPosition) {
    build();
    const char* text = "fps: 60";
    const int x = 12, y = 30;
    const Pixels p = print_white(x, y, text);

    // The expected picture, composed from the bitmap and the width table alone.
    const std::vector<uint8_t> image = make_builtin_glyph_image();
    std::vector<std::vector<bool>> lit(kH, std::vector<bool>(kW, false));
    int pen = x;
    for (const char* c = text; *c; ++c) {
        const int code = static_cast<unsigned char>(*c);
        const int w = builtin_glyph_widths()[code];
        const int left = (code % 16) * 16 + 8 - w / 2;
        for (int i = 0; i < w && code != ' '; ++i)
            for (int r = 0; r < 16; ++r)
                if (glyph_bit(image, left + i, (code / 16) * 16 + r)) lit[y + 15 - r][pen + i] = true;
        pen += w;
    }
    int lit_count = 0, mismatches = 0;
    for (int py = 0; py < kH; ++py)
        for (int px = 0; px < kW; ++px) {
            const Rgb c = p.at(px, py);
            const bool white = c.r > 127 && c.g > 127 && c.b > 127;
            if (white != lit[py][px]) ++mismatches;
            if (lit[py][px]) ++lit_count;
        }
    EXPECT_GT(lit_count, 40);
    EXPECT_EQ(mismatches, 0);
}

TEST_F(FontInGl, WrappedTextBreaksWhenTheRunningWidthPassesTheLimit) {
    build();
    std::vector<FedPolygon> polys;
    window.render([&] {
        enter_2d_mode();
        polys = feedback([&] { font.print_wrapped(40, 60, "AAAA", 25); });
        leave_2d_mode();
    });
    // Widths 10: 10, 20, then 30 > 25 breaks before the third A; the fourth
    // follows it on the new line.
    const std::vector<std::pair<float, float>> expected = {{40, 60}, {50, 60}, {40, 44}, {50, 44}};
    ASSERT_EQ(polys.size(), expected.size());
    for (size_t i = 0; i < polys.size(); ++i) {
        EXPECT_FLOAT_EQ(box_of(polys[i]).x0, expected[i].first) << i;
        EXPECT_FLOAT_EQ(box_of(polys[i]).y0, expected[i].second) << i;
    }
}

TEST_F(FontInGl, WrapLimitBelowTheFirstWidthStartsOneLineLower) {
    build();
    std::vector<FedPolygon> polys;
    window.render([&] {
        enter_2d_mode();
        polys = feedback([&] { font.print_wrapped(40, 60, "M", 5); });
        leave_2d_mode();
    });
    ASSERT_EQ(polys.size(), 1u);
    EXPECT_FLOAT_EQ(box_of(polys[0]).x0, 40.0f);
    EXPECT_FLOAT_EQ(box_of(polys[0]).y0, 44.0f);
}

TEST_F(FontInGl, MetricsFollowTheWidthTable) {
    build();
    EXPECT_EQ(font.line_height(), 16);
    EXPECT_EQ(font.text_width(""), 0);
    EXPECT_EQ(font.text_width("10 Mil!"), 9 + 9 + 4 + 12 + 4 + 4 + 6);
    EXPECT_EQ(font.char_width('\t'), 56);
    EXPECT_EQ(font.text_width("\r\n"), 0);
}

TEST_F(FontInGl, TextModeRestoresTheCallersState) {
    build();
    GLint src = 0, dst = 0, depth_func = 0;
    GLboolean lighting = GL_FALSE, texturing = GL_TRUE, depth_test = GL_FALSE;
    GLfloat projection[16] = {};
    GLfloat before_projection[16] = {};
    window.render([&] {
        glEnable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_GREATER);
        glBlendFunc(GL_ONE, GL_ZERO);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glScalef(2, 3, 4);
        glGetFloatv(GL_PROJECTION_MATRIX, before_projection);
        glMatrixMode(GL_MODELVIEW);

        enter_2d_mode();
        begin_text(font);
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        font.print(0, 0, "x");
        end_text(font);
        leave_2d_mode();

        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        glGetIntegerv(GL_DEPTH_FUNC, &depth_func);
        lighting = glIsEnabled(GL_LIGHTING);
        texturing = glIsEnabled(GL_TEXTURE_2D);
        depth_test = glIsEnabled(GL_DEPTH_TEST);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glDisable(GL_LIGHTING);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    });
    EXPECT_EQ(src, GL_ONE);
    EXPECT_EQ(dst, GL_ZERO);
    EXPECT_EQ(depth_func, GL_GREATER);
    EXPECT_TRUE(lighting);
    EXPECT_FALSE(texturing);
    EXPECT_TRUE(depth_test);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(projection[i], before_projection[i]) << i;
}

TEST_F(FontInGl, AnUnbuiltFontPrintsNothing) {
    const Pixels p = print_white(10, 10, "fps: 60");
    EXPECT_EQ(p.count_all([](Rgb c) { return c.r + c.g + c.b > 0; }), 0);
    EXPECT_EQ(font.text_width("fps"), 0);
}

TEST_F(FontInGl, RebuildAndDestructionReleaseTheTextureAndLists) {
    build();
    const GLuint first_texture = font.texture, first_lists = font.list_base;
    bool lists_exist = false, texture_exists = false;
    window.render([&] {
        texture_exists = glIsTexture(first_texture);
        lists_exist = glIsList(first_lists) && glIsList(first_lists + 255);
    });
    EXPECT_TRUE(texture_exists);
    EXPECT_TRUE(lists_exist);

    // A second font takes names while the first one's are still held, then the
    // first font rebuilds: both stay intact and distinct.
    auto other = std::make_unique<glFont_Vorn_Builtin>();
    window.render([&] { other->build(make_builtin_glyph_image().data()); });
    build();
    EXPECT_NE(font.texture, other->texture);
    EXPECT_NE(font.list_base, other->list_base);

    const GLuint other_texture = other->texture, other_lists = other->list_base;
    window.render([&] {
        other.reset();
        texture_exists = glIsTexture(other_texture);
        lists_exist = glIsList(other_lists) || glIsList(other_lists + 255);
    });
    EXPECT_FALSE(texture_exists);
    EXPECT_FALSE(lists_exist);
    window.render([&] {
        texture_exists = glIsTexture(font.texture);
        lists_exist = glIsList(font.list_base + 255);
    });
    EXPECT_TRUE(texture_exists);
    EXPECT_TRUE(lists_exist);
}

}  // namespace
