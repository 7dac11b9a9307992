// The preview window: its picture read back from a real GL context, the life
// of its texture and font across lost contexts, and its event rules.

#include "display/preview_window.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <cmath>

#include "tests/display/gl_probe.h"

namespace {

using gl_probe::Pixels;
using gl_probe::Rgb;

// The preview with its picture kept: reads the back buffer after every draw.
class ProbedPreview : public MYWINDOW {
public:
    using MYWINDOW::MYWINDOW;

    Pixels render() {
        drawn_ = false;
        gl_probe::flush_until_drawn(*this, drawn_);
        return pixels_;
    }
    int draws = 0;

protected:
    void draw() override {
        MYWINDOW::draw();
        pixels_ = gl_probe::read_back(w(), h());
        drawn_ = true;
        ++draws;
    }

private:
    Pixels pixels_;
    bool drawn_ = false;
};

bool near(Rgb a, Rgb b, int tolerance = 1) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// Frame pixel (x, y) as the preview shows it: 512 texels over 511 pixels.
int shown_at(int frame_coordinate) { return frame_coordinate * 511 / 512; }

// A frame with three grey blocks over a dark ground, one in a corner near row 0.
Frame test_frame() {
    Frame f(kFrameBytes, 30);
    auto fill = [&](int x0, int y0, int x1, int y1, uint8_t v) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) f[static_cast<size_t>(y) * kFrameWidth + x] = v;
    };
    fill(0, 300, 100, 360, 200);  // top-left of the picture: the frame's last rows
    fill(380, 0, 480, 60, 100);   // bottom-right: the frame's first rows
    fill(200, 150, 260, 210, 255);
    return f;
}

class Preview : public ::testing::Test {
protected:
    Options options = default_options();
    ProbedPreview preview{options};

    void TearDown() override { preview.hide(); }
};

// --- the picture ----------------------------------------------------------------

TEST_F(Preview, UploadBeforeTheFirstDrawDoesNothing) {
    preview.upload_frame(test_frame());
    EXPECT_EQ(preview.frame_texture, 0u);
    EXPECT_EQ(preview.context(), nullptr);
}

TEST_F(Preview, FirstDrawShowsBlackThenTheUploadedFrameInGrey) {
    const Pixels before = preview.render();
    ASSERT_NE(preview.frame_texture, 0u);
    EXPECT_TRUE(preview.font.loaded);
    // Black everywhere but the frame-rate text and the live model, which being
    // shown made visible: three nodes at y 200 with their discs.
    auto lit = [](Rgb c) { return c.r + c.g + c.b > 0; };
    EXPECT_TRUE(preview.model.visible);
    EXPECT_GT(before.count(0, 150, 200, 250, lit), 0);
    EXPECT_EQ(before.count(0, 40, 800, 150, lit) + before.count(200, 150, 800, 250, lit) +
                  before.count(0, 250, 800, 600, lit),
              0);

    preview.upload_frame(test_frame());
    const Pixels p = preview.render();
    EXPECT_TRUE(near(p.at(shown_at(50), shown_at(330)), {200, 200, 200}));
    EXPECT_TRUE(near(p.at(shown_at(430), shown_at(30)), {100, 100, 100}));
    EXPECT_TRUE(near(p.at(shown_at(230), shown_at(180)), {255, 255, 255}));
    EXPECT_TRUE(near(p.at(shown_at(300), shown_at(100)), {30, 30, 30}));
    // The block's edges stay within a pixel of the frame's.
    EXPECT_TRUE(near(p.at(shown_at(199) - 1, 180), {30, 30, 30}));
    EXPECT_TRUE(near(p.at(shown_at(200) + 1, 180), {255, 255, 255}));
    // Outside the frame: the texture's empty part and the rest of the window are black.
    EXPECT_TRUE(near(p.at(495, 200), {0, 0, 0}));
    EXPECT_TRUE(near(p.at(300, 450), {0, 0, 0}));
    EXPECT_EQ(p.count(512, 0, 800, 600, [](Rgb c) { return c.r + c.g + c.b > 0; }), 0);
}

TEST_F(Preview, UploadOfAFrameOfTheWrongSizeIsRefused) {
    preview.render();
    preview.upload_frame(test_frame());
    preview.upload_frame(Frame(100, 255));
    preview.upload_frame(Frame{});
    const Pixels p = preview.render();
    EXPECT_TRUE(near(p.at(shown_at(50), shown_at(330)), {200, 200, 200}));
}

TEST_F(Preview, FrameRateTextStandsAtTheLowerLeft) {
    preview.fps = 60;
    const Pixels p = preview.render();
    const int width = preview.font.text_width("fps: 60");
    auto lit = [](Rgb c) { return c.r > 127 && c.g > 127 && c.b > 127; };
    EXPECT_GT(p.count(10, 10, 10 + width, 26, lit), 40);
    EXPECT_EQ(p.count(10 + width, 0, 200, 40, lit), 0);
    EXPECT_EQ(p.count(0, 26, 200, 60, lit), 0);

    // A longer number takes more room.
    preview.fps = 1234;
    const Pixels q = preview.render();
    EXPECT_GT(q.count(10 + width, 10, 10 + width + 20, 26, lit), 0);
}

TEST_F(Preview, CrossesAndAllThreeModelsAreDrawnOverTheFrame) {
    options.line_width = 1;
    preview.render();
    preview.upload_frame(Frame(kFrameBytes, 0));
    preview.clusters.push_back({400, 400, 255});
    preview.model.visible = true;                    // nodes at y 200, x 50, 100, 150
    preview.record_animation.model.visible = false;  // hidden: draws nothing
    preview.record_animation.model.nodes[0] = {300, 300, 255};
    preview.playback_animation.model.visible = true;
    for (ModelNode& n : preview.playback_animation.model.nodes) n.y = 100;

    const Pixels p = preview.render();
    const Rgb red{255, 0, 0}, green{0, 255, 0};
    auto any_near = [&](int x, int y, Rgb c) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (near(p.at(x + dx, y + dy), c)) return true;
        return false;
    };
    EXPECT_TRUE(any_near(400 + 5, 400, red));   // the cross
    EXPECT_TRUE(any_near(50, 200 - 6, red));    // live model, node 0
    EXPECT_TRUE(any_near(100, 200 - 6, green));
    EXPECT_TRUE(any_near(100, 100 - 6, green));  // playback pose
    EXPECT_FALSE(any_near(300, 300 - 6, red));  // hidden recording pose
}

// --- lost and resized contexts --------------------------------------------------

TEST_F(Preview, ANewContextRebuildsTheFontAndTheTexture) {
    preview.fps = 7;
    preview.render();
    preview.upload_frame(test_frame());
    preview.render();

    preview.hide();  // the toolkit drops the context with the window
    EXPECT_EQ(preview.context(), nullptr);
    preview.upload_frame(test_frame());  // no context: nothing to upload into

    const Pixels p = preview.render();
    ASSERT_NE(preview.context(), nullptr);
    EXPECT_TRUE(preview.font.loaded);
    bool texture_exists = false, lists_exist = false;
    preview.make_current();
    texture_exists = glIsTexture(preview.frame_texture) && glIsTexture(preview.font.texture);
    lists_exist = glIsList(preview.font.list_base) && glIsList(preview.font.list_base + 255);
    EXPECT_TRUE(texture_exists);
    EXPECT_TRUE(lists_exist);
    EXPECT_NE(preview.frame_texture, preview.font.texture);
    // The new texture starts black, the text is there again, and uploads work.
    EXPECT_TRUE(near(p.at(shown_at(230), shown_at(180)), {0, 0, 0}));
    EXPECT_GT(p.count(10, 10, 60, 26, [](Rgb c) { return c.r > 127; }), 20);
    preview.upload_frame(test_frame());
    const Pixels q = preview.render();
    EXPECT_TRUE(near(q.at(shown_at(230), shown_at(180)), {255, 255, 255}));
}

TEST_F(Preview, AResizeSetsTheViewAgainAndKeepsTheFrame) {
    preview.render();
    preview.upload_frame(test_frame());
    preview.render();
    const GLuint texture = preview.frame_texture;
    preview.size(640, 520);
    const Pixels p = preview.render();
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(preview.frame_texture, texture);
    // Still one unit per pixel from the bottom-left.
    EXPECT_TRUE(near(p.at(shown_at(230), shown_at(180)), {255, 255, 255}));
    EXPECT_TRUE(near(p.at(shown_at(50), shown_at(330)), {200, 200, 200}));
    EXPECT_EQ(p.count(512, 0, 640, 520, [](Rgb c) { return c.r + c.g + c.b > 0; }), 0);
}

// --- events ---------------------------------------------------------------------

// Sets the toolkit's current event as the X event dispatch would.
void pointer_at(int x, int y, int button = 0) {
    Fl::e_x = x;
    Fl::e_y = y;
    if (button != 0) Fl::e_keysym = FL_Button + button;
}

class PreviewEvents : public Preview {
protected:
    void SetUp() override {
        preview.render();
        Fl::flush();
        preview.model.visible = false;
    }
    // Model coordinates count y up from the bottom of the 600-pixel window.
    int window_y(int model_y) const { return preview.h() - model_y; }
};

TEST_F(PreviewEvents, EveryEventShowsTheModelAndMotionHovers) {
    // The toolkit's own show events count: the model is drawn from the start,
    // with the pointer nowhere near the preview.
    preview.hide();
    preview.render();
    EXPECT_TRUE(preview.model.visible);

    preview.model.visible = false;
    pointer_at(700, 50);
    EXPECT_EQ(preview.handle(FL_ENTER), 1);
    EXPECT_TRUE(preview.model.visible);
    pointer_at(100 + 20, window_y(200) - 20);  // 28 pixels from node 1 at (100, 200)
    EXPECT_EQ(preview.handle(FL_MOVE), 1);
    EXPECT_EQ(preview.model.hovered, 1);
    pointer_at(700, 50);
    preview.handle(FL_MOVE);
    EXPECT_EQ(preview.model.hovered, -1);

    // Entering right over a node hovers it: a press with no move between selects it.
    preview.handle(FL_LEAVE);
    pointer_at(150, window_y(200));
    preview.handle(FL_ENTER);
    EXPECT_EQ(preview.model.hovered, 2);
    pointer_at(150, window_y(200), 1);
    preview.handle(FL_PUSH);
    EXPECT_EQ(preview.model.selected, 2);
}

class DragButton : public PreviewEvents, public ::testing::WithParamInterface<int> {};

TEST_P(DragButton, PressSelectsAndDragMovesTheHoveredNode) {
    const int button = GetParam();
    pointer_at(150, window_y(200));
    preview.handle(FL_MOVE);
    ASSERT_EQ(preview.model.hovered, 2);
    pointer_at(150, window_y(200), button);
    EXPECT_EQ(preview.handle(FL_PUSH), 1);
    EXPECT_EQ(preview.model.selected, 2);
    pointer_at(420, window_y(330), button);
    EXPECT_EQ(preview.handle(FL_DRAG), 1);
    pointer_at(410, window_y(320), button);
    preview.handle(FL_DRAG);
    EXPECT_EQ(preview.model.nodes[2].x, 410);
    EXPECT_EQ(preview.model.nodes[2].y, 320);
    EXPECT_EQ(preview.model.nodes[2].value, 255);
    EXPECT_EQ(preview.model.nodes[1].x, 100);  // the others stay
    preview.handle(FL_RELEASE);

    // A press away from every node selects none, and its drag moves nothing.
    pointer_at(700, 50);
    preview.handle(FL_MOVE);
    pointer_at(700, 50, button);
    preview.handle(FL_PUSH);
    EXPECT_EQ(preview.model.selected, -1);
    pointer_at(100, window_y(200), button);
    preview.handle(FL_DRAG);
    EXPECT_EQ(preview.model.nodes[1].x, 100);
    EXPECT_EQ(preview.model.nodes[1].y, 200);
}

INSTANTIATE_TEST_SUITE_P(Buttons, DragButton, ::testing::Values(1, 2, 3));

TEST_F(PreviewEvents, RedrawRulesOfPressDragAndWheel) {
    auto damaged_by = [&](int event, int x, int y, int button) {
        Fl::flush();
        EXPECT_EQ(preview.damage(), 0);
        pointer_at(x, y, button);
        EXPECT_EQ(preview.handle(event), 1);
        return preview.damage() != 0;
    };
    EXPECT_FALSE(damaged_by(FL_PUSH, 300, 300, 1));
    EXPECT_FALSE(damaged_by(FL_DRAG, 300, 300, 1));  // left drag where the press was
    EXPECT_TRUE(damaged_by(FL_DRAG, 301, 300, 1));
    EXPECT_FALSE(damaged_by(FL_DRAG, 301, 300, 1));  // where the last drag was
    EXPECT_TRUE(damaged_by(FL_DRAG, 301, 300, 3));   // right and middle drags always redraw
    EXPECT_TRUE(damaged_by(FL_DRAG, 301, 300, 2));
    EXPECT_FALSE(damaged_by(FL_DRAG, 320, 300, 4));  // other buttons never
    EXPECT_TRUE(damaged_by(FL_MOUSEWHEEL, 320, 300, 1));
    EXPECT_EQ(preview.last_x, 301);
    EXPECT_EQ(preview.last_y, 300);
}

}  // namespace

TEST_F(Preview, ShowAnglesPrintsEachVisibleModelsAnglesBesideItsNodes) {
    const auto yellow = [](Rgb c) { return c.r > 200 && c.g > 200 && c.b < 80; };
    preview.render();
    preview.upload_frame(Frame(kFrameBytes, 0));
    NodeModel& m = preview.model;
    m.visible = true;
    m.nodes = {{100, 200, 255}, {200, 200, 255}, {200, 300, 255}};  // 0, 90 and -90 degrees
    for (AngularSensor& s : m.sensors) s.visible = false;
    preview.record_animation.model.visible = false;
    preview.record_animation.model.nodes[0] = ModelNode{400, 450, 255};
    EXPECT_EQ(preview.render().count_all(yellow), 0) << "off by default";

    preview.show_angles = true;
    const Pixels p = preview.render();
    // "0.0", "90.0" and "-90.0", each starting 13 pixels right of its node.
    for (const ModelNode& n : m.nodes) EXPECT_GT(p.count(n.x + 13, n.y + 5, n.x + 60, n.y + 22, yellow), 15) << n.x;
    EXPECT_GT(p.count(213, 305, 260, 322, yellow), p.count(113, 205, 160, 222, yellow)) << "-90.0 is longer than 0.0";
    EXPECT_EQ(p.count(380, 430, 480, 480, yellow), 0) << "a hidden model shows no angles";
}
