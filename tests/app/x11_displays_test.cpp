// The X server's displays as the report sees them, on the test's own Xvfb.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/display_report.h"
#include "platform/displays.h"
#include "tests/support/x11_screen.h"

TEST(X11Displays, TheVirtualScreenIsOnePrimaryAdapterWithItsSizeAndDepth) {
    testing_support::X11Screen screen{};
    ASSERT_TRUE(testing_support::x11_default_screen(screen)) << "needs a display";
    const auto width = static_cast<uint32_t>(screen.width);
    const auto height = static_cast<uint32_t>(screen.height);
    const auto depth = static_cast<uint32_t>(screen.depth);

    const auto displays = open_x11_displays();
    ASSERT_NE(displays, nullptr);
    DisplayDevice adapter;
    ASSERT_TRUE(displays->adapter(0, adapter));
    EXPECT_TRUE(adapter.state_flags & kDisplayAttachedToDesktop);
    EXPECT_TRUE(adapter.state_flags & kDisplayPrimaryDevice);
    DisplayDevice more;
    EXPECT_FALSE(displays->adapter(1, more)) << "Xvfb has one output";

    DisplayMode mode;
    ASSERT_TRUE(displays->current_mode(adapter.device_name, mode));
    EXPECT_EQ(mode.width, width);
    EXPECT_EQ(mode.height, height);
    EXPECT_EQ(mode.bits_per_pixel, depth);
    EXPECT_EQ(mode.frequency, 0u) << "a mode without timings has no refresh rate";

    const uint64_t monitor = displays->monitor_from_point(0, 0);
    ASSERT_NE(monitor, 0u);
    EXPECT_EQ(displays->monitor_from_point(static_cast<int32_t>(width), 0), 0u);
    DisplayRect work;
    ASSERT_TRUE(displays->work_area(monitor, work));
    EXPECT_EQ(work.right, static_cast<int32_t>(width));
    EXPECT_EQ(work.bottom, static_cast<int32_t>(height));

    const std::string report = build_display_report(*displays);
    const std::string mode_line = "\nprimary, " + std::to_string(width) + " x " + std::to_string(height) +
                                  " pos: 0, 0 " + std::to_string(depth) + " bits @ 0 Hz\nworkspace: 0, 0 - ";
    // Named after its output: Xvfb's one output is "screen", with no provider.
    EXPECT_EQ(report.rfind("1 Default Monitor on screen\n", 0), 0u) << report;
    EXPECT_NE(report.find(mode_line), std::string::npos) << report;
    EXPECT_EQ(report.substr(report.size() - 3), "\n\n\n");
}

TEST(X11Displays, WithoutADisplayThereIsNoEnumerator) {
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved != nullptr ? saved : "";
    ::setenv("DISPLAY", ":65000", 1);  // no server listens there
    EXPECT_EQ(open_x11_displays(), nullptr);
    ::setenv("DISPLAY", display.c_str(), 1);
}
