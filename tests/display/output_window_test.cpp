// The output window and its render thread on a private Xvfb: where the window
// goes and how it looks to a window manager, what it shows, start and stop,
// requests from outside, failed creation, and the hand-over under load.

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "display/render_hand_over.h"
#include "display/render_thread.h"
#include "loop/app_state.h"
#include "platform/gl_window.h"
#include "platform/message.h"
#include "tests/display/x_probe.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kExitLine = "normally exiting fullscreen thread";

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

int thread_count() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

std::vector<x_probe::TopLevel> viewable_windows() {
    std::vector<x_probe::TopLevel> result;
    for (const x_probe::TopLevel& w : x_probe::top_level_windows()) {
        if (w.viewable) result.push_back(w);
    }
    return result;
}

// The screen saver with a timeout of one second: without input it comes on
// within a second, unless a client holds it off.
void make_screen_saver_quick() { x_probe::set_screen_saver_timeout(1); }
bool screen_saver_comes_on() {
    return eventually([] { return x_probe::screen_saver_state().on; });
}

// Redirects a standard stream into a string for the test's lifetime. Written
// by the render thread, read only after it was joined.
class CapturedStream {
public:
    explicit CapturedStream(std::ostream& stream) : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}
    ~CapturedStream() { stream_.rdbuf(old_); }
    std::string text() const { return text_.str(); }

private:
    std::ostream& stream_;
    std::ostringstream text_;
    std::streambuf* old_;
};

// Counts the messages shown to the operator as they happen.
std::atomic<int> g_messages{0};
void count_message(const char*, const char*) { ++g_messages; }

class OutputWindowTest : public ::testing::Test {
protected:
    OutputWindowTest() {
        platform::init_x_threads();
        x_probe::hold_gl_driver();
        g_messages = 0;
        platform::set_message_sink(&count_message);
    }
    ~OutputWindowTest() override {
        stop_output_window(app);
        platform::set_message_sink(nullptr);
    }

    void set_placement(int32_t x, int32_t y, int32_t w, int32_t h) {
        app.options.fullscreen_x = x;
        app.options.fullscreen_y = y;
        app.options.fullscreen_width = w;
        app.options.fullscreen_height = h;
    }

    // Starts the thread and waits until its window is on the screen.
    x_probe::TopLevel open_window() {
        start_output_window(app);
        EXPECT_TRUE(eventually([] { return viewable_windows().size() == 1; }));
        const auto windows = viewable_windows();
        return windows.empty() ? x_probe::TopLevel{} : windows.front();
    }

    bool renders() {
        return eventually([&] { return app.render_hand_over->passes_per_second.load() > 0; });
    }

    void hand_over(const Frame& frame, const NodeModel* live = nullptr,
                   const NodeModel* playback = nullptr) {
        hand_over_to_output_window(app, live, playback, frame);
    }

    AppState app;
    CapturedStream out{std::cout};
};

// ---------------------------------------------------------------------------
// Placement, including sizes and positions X11 cannot express.

struct PlacementCase {
    const char* name;
    int32_t x, y, width, height;
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class OutputWindowPlacementTest : public OutputWindowTest,
                                  public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(OutputWindowPlacementTest, WindowSitsWhereAskedWithoutDecorationAndAboveOthers) {
    const PlacementCase c = GetParam();
    set_placement(c.x, c.y, c.width, c.height);
    const x_probe::TopLevel w = open_window();

    // X11 takes sizes of at least 1 and 16-bit positions.
    EXPECT_EQ(w.width, std::max(c.width, 1));
    EXPECT_EQ(w.height, std::max(c.height, 1));
    EXPECT_EQ(w.x, std::clamp(c.x, -32768, 32767));
    EXPECT_EQ(w.y, std::clamp(c.y, -32768, 32767));

    const std::vector<long> motif = x_probe::numeric_property(w.id, "_MOTIF_WM_HINTS");
    ASSERT_GE(motif.size(), 3u);
    EXPECT_EQ(motif[0] & 2, 2) << "the decorations field is in force";
    EXPECT_EQ(motif[2], 0) << "no decorations";
    EXPECT_EQ(x_probe::atom_property(w.id, "_NET_WM_STATE"),
              std::vector<std::string>{"_NET_WM_STATE_ABOVE"});
    const std::vector<std::string> protocols = x_probe::atom_property(w.id, "WM_PROTOCOLS");
    EXPECT_NE(std::find(protocols.begin(), protocols.end(), "WM_DELETE_WINDOW"), protocols.end());

    EXPECT_TRUE(renders()) << "the render loop keeps running";
    EXPECT_EQ(g_messages.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Placements, OutputWindowPlacementTest,
    ::testing::Values(PlacementCase{"default", 1280, 0, 800, 600},
                      PlacementCase{"scale_one", 0, 0, 960, 360},
                      PlacementCase{"zero_size", 10, 20, 0, 0},
                      PlacementCase{"negative_size", 10, 20, -5, -700},
                      PlacementCase{"beyond_x11_range", 100000, -100000, 300, 200},
                      PlacementCase{"off_screen", -5000, 3000, 640, 480}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// What the window shows.

bool is_white(x_probe::Rgb p) { return p.r > 200 && p.g > 200 && p.b > 200; }
bool is_black(x_probe::Rgb p) { return p.r < 40 && p.g < 40 && p.b < 40; }
bool is_red(x_probe::Rgb p) { return p.r > 200 && p.g < 60 && p.b < 60; }

// A frame with one bright block: rows [top, bottom) and columns [left, right).
Frame frame_with_block(int left, int right, int top, int bottom) {
    Frame f(kFrameBytes, 0);
    for (int row = top; row < bottom; ++row) {
        for (int col = left; col < right; ++col) f[static_cast<size_t>(row) * kFrameWidth + col] = 255;
    }
    return f;
}

struct ScaleCase {
    const char* name;
    int32_t width, height;
    double scale;  // worked out by hand from the window's size
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }

class OutputWindowScaleTest : public OutputWindowTest,
                              public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(OutputWindowScaleTest, FrameIsScaledToFitAndKeepsItsAspect) {
    const ScaleCase c = GetParam();
    set_placement(0, 0, c.width, c.height);
    open_window();
    const int left = 160, right = 320, top = 120, bottom = 240;
    const Frame frame = frame_with_block(left, right, top, bottom);

    // The frame fills 480 x 360 of the 512 x 512 texture, which is drawn over
    // 511 x 511 units; frame row 0 is at the bottom of the window.
    const double unit = c.scale * 511.0 / 512.0;
    const auto sx = [&](int col) { return static_cast<int>(col * unit); };
    const auto sy = [&](int row) { return c.height - static_cast<int>(row * unit); };
    const int margin = 4;
    const int cx = (sx(left) + sx(right)) / 2;
    const int cy = (sy(top) + sy(bottom)) / 2;

    x_probe::Screenshot shot;
    const bool shown = eventually([&] {
        hand_over(frame);
        shot = x_probe::grab(0, 0, c.width, c.height);
        return is_white(shot.pixel(cx, cy));
    });
    ASSERT_TRUE(shown) << "the block never appeared at " << cx << "," << cy;
    EXPECT_TRUE(is_white(shot.pixel(sx(left) + margin, cy)));
    EXPECT_TRUE(is_white(shot.pixel(sx(right) - margin, cy)));
    EXPECT_TRUE(is_white(shot.pixel(cx, sy(top) - margin)));
    EXPECT_TRUE(is_white(shot.pixel(cx, sy(bottom) + margin)));
    EXPECT_TRUE(is_black(shot.pixel(sx(left) - margin, cy)));
    EXPECT_TRUE(is_black(shot.pixel(sx(right) + margin, cy)));
    EXPECT_TRUE(is_black(shot.pixel(cx, sy(top) + margin)));
    EXPECT_TRUE(is_black(shot.pixel(cx, sy(bottom) - margin)));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, OutputWindowScaleTest,
    ::testing::Values(ScaleCase{"height_bound_960x360", 960, 360, 1.0},
                      ScaleCase{"width_bound_480x720", 480, 720, 1.0},
                      ScaleCase{"both_800x600", 800, 600, 800.0 / 480.0},
                      ScaleCase{"half_240x500", 240, 500, 0.5}),
    [](const ::testing::TestParamInfo<ScaleCase>& info) { return info.param.name; });

// Looks for a red pixel within one pixel of the left edge of a node's box
// (half-size line width + 5) in a 960 x 360 window, where the scale is 1.
bool red_box_edge_at(const x_probe::Screenshot& shot, int node_x, int node_y, int line_width) {
    const int h = line_width + 5;
    const int column = node_x - h;
    const int screen_y = 360 - node_y;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -2; dy <= 2; ++dy) {
            if (is_red(shot.pixel(column + dx, screen_y + dy))) return true;
        }
    }
    return false;
}

TEST_F(OutputWindowTest, LiveAndPlaybackModelsAreDrawnAndFollowTheHandOver) {
    set_placement(0, 0, 960, 360);
    open_window();
    app.options.line_width = 2;
    const Frame dark(kFrameBytes, 0);
    NodeModel live;
    live.set_node_count(3);
    live.nodes[0] = ModelNode{100, 120, 255};
    live.nodes[1] = ModelNode{160, 120, 255};
    live.nodes[2] = ModelNode{220, 120, 255};
    live.visible = true;
    NodeModel playback = live;
    for (ModelNode& n : playback.nodes) n.y = 260;

    x_probe::Screenshot shot;
    ASSERT_TRUE(eventually([&] {
        hand_over(dark, &live, &playback);
        shot = x_probe::grab(0, 0, 960, 360);
        return red_box_edge_at(shot, 100, 120, 2) && red_box_edge_at(shot, 100, 260, 2);
    })) << "the first node of each model is boxed in red";

    live.nodes[0] = ModelNode{400, 200, 255};
    ASSERT_TRUE(eventually([&] {
        hand_over(dark, &live, &playback);
        shot = x_probe::grab(0, 0, 960, 360);
        return red_box_edge_at(shot, 400, 200, 2) && !red_box_edge_at(shot, 100, 120, 2);
    })) << "the live model moved with the hand-over";
    EXPECT_TRUE(red_box_edge_at(shot, 100, 260, 2)) << "the playback model stayed";
}

TEST_F(OutputWindowTest, AnglesArePrintedBesideTheNodesWhenTheHandOverAsksForThem) {
    set_placement(0, 0, 960, 360);  // scale 1: window pixel (x, 360 - y) shows model point (x, y)
    open_window();
    const Frame dark(kFrameBytes, 0);
    NodeModel live;
    live.nodes = {{100, 200, 255}, {200, 200, 255}, {200, 300, 255}};
    for (AngularSensor& s : live.sensors) s.visible = false;
    live.visible = true;
    const auto yellow_beside = [](const x_probe::Screenshot& shot, int x, int y) {
        int n = 0;
        for (int sy = 360 - y - 22; sy < 360 - y - 4; ++sy)
            for (int sx = x + 13; sx < x + 60; ++sx) {
                const x_probe::Rgb c = shot.pixel(sx, sy);
                n += c.r > 200 && c.g > 200 && c.b < 80 ? 1 : 0;
            }
        return n;
    };
    x_probe::Screenshot shot;
    ASSERT_TRUE(eventually([&] {
        hand_over_to_output_window(app, &live, nullptr, dark, true);
        shot = x_probe::grab(0, 0, 960, 360);
        return yellow_beside(shot, 100, 200) > 15 && yellow_beside(shot, 200, 200) > 15 &&
               yellow_beside(shot, 200, 300) > 15;
    })) << "each node's angle beside it";
    ASSERT_TRUE(eventually([&] {
        hand_over_to_output_window(app, &live, nullptr, dark, false);
        shot = x_probe::grab(0, 0, 960, 360);
        return red_box_edge_at(shot, 100, 200, 1) && yellow_beside(shot, 100, 200) == 0;
    })) << "and none once the hand-over stops asking";
}

TEST_F(OutputWindowTest, StateMarkersFollowTheHandOversChoice) {
    set_placement(0, 0, 960, 360);  // scale 1: window pixel (x, 360 - y) shows model point (x, y)
    open_window();
    const Frame dark(kFrameBytes, 0);
    NodeModel live;
    live.nodes = {{100, 200, 255}, {200, 200, 255}};
    for (AngularSensor& s : live.sensors) s.visible = false;
    live.node_states = {NodeState::tracked, NodeState::tracked};
    live.visible = true;
    const auto cyan_left_of = [](const x_probe::Screenshot& shot, int x, int y) {
        int n = 0;
        for (int sy = 360 - y - 8; sy < 360 - y + 8; ++sy)
            for (int sx = x - 30; sx < x - 12; ++sx) {
                const x_probe::Rgb c = shot.pixel(sx, sy);
                n += c.r < 40 && c.g > 200 && c.b > 200 ? 1 : 0;
            }
        return n;
    };
    x_probe::Screenshot shot;
    ASSERT_TRUE(eventually([&] {
        hand_over_to_output_window(app, &live, nullptr, dark, false, true);
        shot = x_probe::grab(0, 0, 960, 360);
        return cyan_left_of(shot, 100, 200) > 60 && cyan_left_of(shot, 200, 200) > 60;
    })) << "a marker beside each node";
    ASSERT_TRUE(eventually([&] {
        hand_over_to_output_window(app, &live, nullptr, dark, false, false);
        shot = x_probe::grab(0, 0, 960, 360);
        return red_box_edge_at(shot, 100, 200, 1) && cyan_left_of(shot, 100, 200) == 0;
    })) << "and none once the hand-over stops asking";
}

int bright_pixels_in(const x_probe::Screenshot& shot, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) n += is_white(shot.pixel(x, y)) ? 1 : 0;
    }
    return n;
}

TEST_F(OutputWindowTest, RateLineIsPrintedAtTheLowerLeft) {
    set_placement(0, 0, 480, 360);
    open_window();
    // A dark frame, so the text is the only bright thing. Its baseline is 10
    // pixels up, its first glyph 10 pixels in, and it is one 16-pixel line high.
    const Frame dark(kFrameBytes, 0);
    x_probe::Screenshot shot;
    ASSERT_TRUE(eventually([&] {
        hand_over(dark);
        shot = x_probe::grab(0, 0, 480, 360);
        return bright_pixels_in(shot, 10, 360 - 26, 70, 360 - 10) > 20;
    })) << "\"fps: N\" at (10, 10)";
    EXPECT_EQ(bright_pixels_in(shot, 0, 0, 480, 360 - 30), 0) << "nothing bright above the line";
    EXPECT_EQ(bright_pixels_in(shot, 0, 360 - 30, 9, 360), 0) << "nothing left of it";
}

// ---------------------------------------------------------------------------
// Start and stop.

TEST_F(OutputWindowTest, ReopenLeavesOneWindowAtTheNewPlaceAndOneThread) {
    set_placement(50, 60, 320, 240);
    open_window();
    ASSERT_TRUE(renders());
    const int threads_with_one_window = thread_count();

    set_placement(400, 300, 200, 100);
    start_output_window(app);
    ASSERT_TRUE(eventually([] {
        const auto w = viewable_windows();
        return w.size() == 1 && w[0].x == 400 && w[0].y == 300;
    }));
    ASSERT_TRUE(renders());
    EXPECT_EQ(x_probe::top_level_windows().size(), 1u) << "the first window is gone, not hidden";
    EXPECT_EQ(thread_count(), threads_with_one_window);
    const auto w = viewable_windows().front();
    EXPECT_EQ(w.width, 200);
    EXPECT_EQ(w.height, 100);

    stop_output_window(app);
    EXPECT_TRUE(x_probe::top_level_windows().empty());
    EXPECT_EQ(count_of(out.text(), kExitLine), 2);
}

TEST_F(OutputWindowTest, StopJoinsTheThreadRemovesTheWindowAndLogsTheEnd) {
    stop_output_window(app);
    EXPECT_EQ(app.render_thread, nullptr) << "a stop without a thread does nothing";
    EXPECT_EQ(out.text(), "");

    set_placement(10, 10, 300, 200);
    open_window();
    ASSERT_TRUE(renders());
    stop_output_window(app);
    EXPECT_EQ(app.render_thread, nullptr);
    EXPECT_EQ(app.render_hand_over, nullptr);
    EXPECT_FALSE(app.render_thread_stop.load()) << "ready for the next start";
    EXPECT_EQ(out.text(), kExitLine);
    EXPECT_TRUE(x_probe::top_level_windows().empty());

    // Hand-overs and stops after the stop reach nothing.
    hand_over(Frame(kFrameBytes, 1));
    stop_output_window(app);
    EXPECT_EQ(out.text(), kExitLine);
}

TEST_F(OutputWindowTest, CloseRequestsAndKeysLeaveTheWindowOpenAndDrawing) {
    set_placement(0, 0, 480, 360);
    const x_probe::TopLevel w = open_window();
    x_probe::send_close_request(w.id);
    x_probe::send_key(w.id);
    x_probe::send_close_request(w.id);

    // Still drawing: a new frame handed over after the requests shows up.
    const Frame white(kFrameBytes, 255);
    ASSERT_TRUE(eventually([&] {
        hand_over(white);
        return is_white(x_probe::grab(0, 0, 480, 360).pixel(240, 180));
    }));
    const auto windows = viewable_windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].id, w.id);
    EXPECT_EQ(out.text(), "") << "the thread has not ended";
    EXPECT_EQ(g_messages.load(), 0);
}

double seconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of every thread but the calling one.
double cpu_seconds_of_other_threads() {
    rusage process{};
    rusage self{};
    getrusage(RUSAGE_SELF, &process);
    getrusage(RUSAGE_THREAD, &self);
    return seconds(process) - seconds(self);
}

TEST_F(OutputWindowTest, WindowDestroyedFromOutsideEndsTheDrawingNotTheThread) {
    set_placement(0, 0, 320, 240);
    const x_probe::TopLevel w = open_window();
    ASSERT_TRUE(renders());
    x_probe::destroy_window(w.id);

    // The thread notices and stops drawing. A pass that was under way when the
    // window went may still finish (the software renderer then works on a
    // drawable of undefined size), so wait for the other threads to fall
    // quiet; a thread that went on drawing never does.
    ASSERT_TRUE(eventually([] {
        const double before = cpu_seconds_of_other_threads();
        std::this_thread::sleep_for(200ms);
        return cpu_seconds_of_other_threads() - before < 0.02;
    })) << "the thread goes on working without its window";

    // Then it only waits: hand-overs do no harm, and a stop still ends it at once.
    const double cpu_before = cpu_seconds_of_other_threads();
    for (int i = 0; i < 50; ++i) {
        hand_over(Frame(kFrameBytes, 9));
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_LT(cpu_seconds_of_other_threads() - cpu_before, 0.1) << "no work without a window";
    EXPECT_TRUE(x_probe::top_level_windows().empty());
    make_screen_saver_quick();
    EXPECT_TRUE(screen_saver_comes_on()) << "the window went, its hold on the screen saver stayed";
    stop_output_window(app);
    EXPECT_EQ(out.text(), kExitLine);
    EXPECT_EQ(g_messages.load(), 0);
}

TEST_F(OutputWindowTest, ScreenSaverIsHeldOffWhileTheWindowExists) {
    set_placement(0, 0, 320, 240);
    open_window();
    make_screen_saver_quick();
    // Twice the timeout without input: a saver that was free would be on by now.
    ASSERT_TRUE(eventually([] { return x_probe::screen_saver_state().idle_ms >= 2000; }));
    EXPECT_FALSE(x_probe::screen_saver_state().on) << "the saver came on over the output window";

    stop_output_window(app);
    EXPECT_TRUE(screen_saver_comes_on()) << "the saver stays held off after the close";
}

// ---------------------------------------------------------------------------
// Failed window creation: reported once, no spinning, a prompt stop.

// An Xvfb of the test's own without the GLX extension.
class XvfbWithoutGlx {
public:
    XvfbWithoutGlx() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                   "-extension", "GLX", "-screen", "0", "640x480x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The number arrives once the server listens, ended by a line break.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (c == '\n' && !number.empty()) display_ = ":" + number;
    }
    ~XvfbWithoutGlx() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    XvfbWithoutGlx(const XvfbWithoutGlx&) = delete;
    XvfbWithoutGlx& operator=(const XvfbWithoutGlx&) = delete;

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

struct FailureCase {
    const char* name;
    bool without_glx;  // else no display server at all
    const char* message;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class OutputWindowFailureTest : public OutputWindowTest,
                                public ::testing::WithParamInterface<FailureCase> {
protected:
    OutputWindowFailureTest() : saved_display_(std::getenv("DISPLAY")) {}
    ~OutputWindowFailureTest() override { setenv("DISPLAY", saved_display_.c_str(), 1); }

private:
    std::string saved_display_;
};

TEST_P(OutputWindowFailureTest, FailureIsReportedOnceAndTheThreadIdlesUntilStopped) {
    const FailureCase c = GetParam();
    XvfbWithoutGlx server_without_glx;
    if (c.without_glx) {
        ASSERT_FALSE(server_without_glx.display().empty()) << "Xvfb did not start";
        setenv("DISPLAY", server_without_glx.display().c_str(), 1);
    } else {
        setenv("DISPLAY", ":65432", 1);  // no server listens there
    }
    CapturedStream err(std::cerr);

    set_placement(0, 0, 320, 240);
    start_output_window(app);
    ASSERT_TRUE(eventually([] { return g_messages.load() >= 1; }));

    // Half a second of a failed thread: no second report, next to no CPU time,
    // and hand-overs still do no harm.
    const double cpu_before = cpu_seconds_of_other_threads();
    for (int i = 0; i < 50; ++i) {
        hand_over(Frame(kFrameBytes, 7));
        std::this_thread::sleep_for(10ms);
    }
    const double cpu_used = cpu_seconds_of_other_threads() - cpu_before;
    EXPECT_EQ(g_messages.load(), 1);
    EXPECT_LT(cpu_used, 0.1) << "the failed thread must not spin";

    const auto before_stop = std::chrono::steady_clock::now();
    stop_output_window(app);
    EXPECT_LT(std::chrono::steady_clock::now() - before_stop, 1s) << "a stop ends it at once";

    EXPECT_EQ(count_of(err.text(), std::string("\nERROR: ") + c.message), 1) << err.text();
    EXPECT_EQ(out.text(), kExitLine);
    if (c.without_glx) {
        make_screen_saver_quick();
        EXPECT_TRUE(screen_saver_comes_on()) << "a window that was never made holds off the saver";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OutputWindowFailureTest,
    ::testing::Values(FailureCase{"no_display", false, "Window Creation Error."},
                      FailureCase{"no_glx", true, "Can't Find A Suitable PixelFormat."}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The hand-over under load, across restarts (run under the thread sanitizer).

TEST_F(OutputWindowTest, ThousandsOfHandOversWhileModelsChangeAcrossRestarts) {
    set_placement(0, 0, 480, 360);
    NodeModel live;
    NodeModel playback;
    Frame frame(kFrameBytes, 0);
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        open_window();
        for (int i = 0; i < 3000; ++i) {
            // Node counts change, so every copy of the lists reallocates.
            live.set_node_count(1 + i % 10);
            live.visible = true;
            for (size_t k = 0; k < live.nodes.size(); ++k) {
                live.nodes[k] = ModelNode{static_cast<int32_t>(20 + 40 * k), 20 + i % 300, 255};
            }
            playback.set_node_count(1 + (i / 7) % 10);
            playback.visible = (i % 2) == 0;
            app.options.line_width = 1 + i % 10;
            std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(i));
            hand_over(frame, &live, &playback);
            if (i % 100 == 0) std::this_thread::sleep_for(1ms);
        }
        // After the burst the window still follows the hand-over: a frame of
        // grey 200 shows as grey 200 (models hidden, so they cover nothing).
        live.visible = false;
        playback.visible = false;
        const Frame last(kFrameBytes, 200);
        ASSERT_TRUE(eventually([&] {
            hand_over(last, &live, &playback);
            const x_probe::Rgb p = x_probe::grab(0, 0, 480, 360).pixel(240, 100);
            return p.r > 190 && p.r < 210;
        }));
        stop_output_window(app);
    }
    EXPECT_EQ(count_of(out.text(), kExitLine), kRounds);
    EXPECT_EQ(g_messages.load(), 0);
}

}  // namespace
