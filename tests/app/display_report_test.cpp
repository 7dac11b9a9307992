// The display capabilities report over adapters of every kind, and its markup.

#include "app/display_report.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

namespace {

// Adapters, monitors, modes and monitors' work areas as a test lays them out.
struct FakeAdapter {
    DisplayDevice device;
    std::vector<DisplayDevice> monitors;
    bool has_current = true;
    DisplayMode current;
    bool has_registry = false;
    DisplayMode registry;
    uint64_t monitor_handle = 0;  // found at the mode's position when attached
    DisplayRect work;
};

class FakeDisplays final : public DisplayEnumerator {
public:
    std::vector<FakeAdapter> adapters;

    bool adapter(uint32_t index, DisplayDevice& out) override {
        if (index >= adapters.size()) return false;
        out = adapters[index].device;
        return true;
    }
    bool monitor(const std::string& name, uint32_t index, DisplayDevice& out) override {
        const FakeAdapter* a = find(name);
        if (a == nullptr || index >= a->monitors.size()) return false;
        out = a->monitors[index];
        return true;
    }
    bool current_mode(const std::string& name, DisplayMode& out) override {
        const FakeAdapter* a = find(name);
        if (a == nullptr || !a->has_current) return false;
        out = a->current;
        return true;
    }
    bool registry_mode(const std::string& name, DisplayMode& out) override {
        const FakeAdapter* a = find(name);
        if (a == nullptr || !a->has_registry) return false;
        out = a->registry;
        return true;
    }
    uint64_t monitor_from_point(int32_t x, int32_t y) override {
        for (const FakeAdapter& a : adapters)
            if (a.monitor_handle != 0 && a.current.x == x && a.current.y == y) return a.monitor_handle;
        return 0;
    }
    bool work_area(uint64_t handle, DisplayRect& out) override {
        for (const FakeAdapter& a : adapters)
            if (a.monitor_handle == handle) {
                out = a.work;
                return true;
            }
        return false;
    }

private:
    const FakeAdapter* find(const std::string& name) const {
        for (const FakeAdapter& a : adapters)
            if (a.device.device_name == name) return &a;
        return nullptr;
    }
};

FakeAdapter primary_adapter() {
    FakeAdapter a;
    a.device = {"\\\\.\\DISPLAY1", "Radeon X", kDisplayAttachedToDesktop | kDisplayPrimaryDevice};
    a.monitors = {{"\\\\.\\DISPLAY1\\Monitor0", "Flat Panel", kDisplayActive}};
    a.current = {1280, 1024, 0, 0, 32, 60};
    a.monitor_handle = 0x10001;
    a.work = {0, 0, 1280, 994};
    return a;
}

FakeAdapter second_adapter() {
    FakeAdapter a;
    a.device = {"\\\\.\\DISPLAY2", "Radeon X", kDisplayAttachedToDesktop};
    a.monitors = {{"\\\\.\\DISPLAY2\\Monitor0", "Beamer", kDisplayActive}};
    a.current = {800, 600, 1280, 0, 32, 75};
    a.monitor_handle = 0x20003;
    a.work = {1280, 0, 2080, 600};
    return a;
}

const char kPrimaryBlock[] =
    "1 Flat Panel on Radeon X\n"
    "primary, 1280 x 1024 pos: 0, 0 32 bits @ 60 Hz\n"
    "workspace: 0, 0 - 1280, 994 HMONITOR: 00010001\n"
    "Device: \\\\.\\DISPLAY1\\Monitor0\n\n\n";

}  // namespace

TEST(DisplayReport, NoAdapterGivesAnEmptyReport) {
    FakeDisplays displays;
    EXPECT_EQ(build_display_report(displays), "");
}

TEST(DisplayReport, OnePrimaryAdapterGivesOneBlockEndingInThreeLineBreaks) {
    FakeDisplays displays;
    displays.adapters = {primary_adapter()};
    EXPECT_EQ(build_display_report(displays), kPrimaryBlock);
}

TEST(DisplayReport, MirroringDriverAddsTwoLineBreaksAndNoNumber) {
    FakeDisplays displays;
    FakeAdapter mirror;
    mirror.device = {"\\\\.\\DISPLAYV1", "Mirror Driver", kDisplayMirroringDriver | kDisplayAttachedToDesktop};
    displays.adapters = {primary_adapter(), mirror, second_adapter()};
    EXPECT_EQ(build_display_report(displays),
              std::string(kPrimaryBlock) + "\n\n" +
                  "2 Beamer on Radeon X\n"
                  "800 x 600 pos: 1280, 0 32 bits @ 75 Hz\n"
                  "workspace: 1280, 0 - 2080, 600 HMONITOR: 00020003\n"
                  "Device: \\\\.\\DISPLAY2\\Monitor0\n\n\n");
}

TEST(DisplayReport, DisabledAdapterHasNoWorkspaceLineAndFallsBackToTheStoredMode) {
    FakeDisplays displays;
    FakeAdapter off = second_adapter();
    off.device.state_flags = kDisplayPrimaryDevice;  // primary but not on the desktop: "disabled" wins
    off.has_current = false;
    off.has_registry = true;
    off.registry = {1024, 768, 0, 0, 16, 0};
    displays.adapters = {off};
    EXPECT_EQ(build_display_report(displays),
              "1 Beamer on Radeon X\n"
              "disabled, 1024 x 768 pos: 0, 0 16 bits @ 0 Hz\n"
              "Device: \\\\.\\DISPLAY2\\Monitor0\n\n\n");
}

TEST(DisplayReport, RemovableAdapterIsMarkedAfterPrimary) {
    FakeDisplays displays;
    FakeAdapter a = primary_adapter();
    a.device.state_flags |= kDisplayRemovable;
    displays.adapters = {a};
    EXPECT_NE(build_display_report(displays).find("\nprimary, removable, 1280 x 1024"), std::string::npos);
}

TEST(DisplayReport, MonitorWithoutDescriptionIsDefaultMonitor) {
    FakeDisplays displays;
    FakeAdapter a = primary_adapter();
    a.monitors[0].device_string.clear();
    displays.adapters = {a};
    EXPECT_EQ(build_display_report(displays).rfind("1 Default Monitor on Radeon X\n", 0), 0u);
}

TEST(DisplayReport, WithoutAnyMonitorTheAdapterNamesTheDeviceAndNoModeGivesZeros) {
    FakeDisplays displays;
    FakeAdapter a;
    a.device = {"VGA-1", "vendor", 0};
    a.has_current = false;
    displays.adapters = {a};
    EXPECT_EQ(build_display_report(displays),
              "1 Default Monitor on vendor\n"
              "disabled, 0 x 0 pos: 0, 0 0 bits @ 0 Hz\n"
              "Device: VGA-1\n\n\n");
}

TEST(DisplayReport, PrefersTheFirstActiveMonitorAndOtherwiseKeepsTheLastOneFetched) {
    FakeDisplays displays;
    FakeAdapter a = primary_adapter();
    a.monitors = {{"m0", "first", 0}, {"m1", "second", kDisplayActive}, {"m2", "third", kDisplayActive}};
    displays.adapters = {a};
    EXPECT_EQ(build_display_report(displays).rfind("1 second on", 0), 0u);

    a.monitors = {{"m0", "first", 0}, {"m1", "second", 0}};
    displays.adapters = {a};
    const std::string report = build_display_report(displays);
    EXPECT_EQ(report.rfind("1 second on", 0), 0u);
    EXPECT_NE(report.find("\nDevice: m1\n"), std::string::npos);
}

// --- over RandR outputs ---------------------------------------------------------

RandrOutput output(const char* name, const char* provider, const char* monitor, uint64_t crtc, DisplayMode mode) {
    RandrOutput o;
    o.name = name;
    o.provider = provider;
    o.connected = monitor != nullptr;
    o.monitor_name = monitor != nullptr ? monitor : "";
    o.crtc = crtc;
    o.has_mode = crtc != 0;
    o.mode = mode;
    return o;
}

TEST(DisplayReportOverOutputs, ClonesAreDisplaysOfTheirOwnNamedAfterOutputAndProvider) {
    const DisplayMode beamer_mode{1280, 720, 1920, 0, 24, 60};
    std::vector<RandrOutput> outputs = {
        output("eDP-1", "Intel", "LG Display", 0x41, {1920, 1080, 0, 0, 24, 60}),
        output("HDMI-1", "Intel", "Beamer", 0x42, beamer_mode),
        output("DP-1", "Intel", "", 0x42, beamer_mode),  // a clone of HDMI-1, without a monitor name
        output("DP-2", "", nullptr, 0, {}),               // nothing connected, no provider known
    };
    outputs[0].primary = true;
    const auto displays = make_randr_displays(outputs, std::nullopt);
    EXPECT_EQ(build_display_report(*displays),
              "1 LG Display on eDP-1 (Intel)\n"
              "primary, 1920 x 1080 pos: 0, 0 24 bits @ 60 Hz\n"
              "workspace: 0, 0 - 1920, 1080 HMONITOR: 00000041\n"
              "Device: eDP-1\\Monitor0\n\n\n"
              "2 Beamer on HDMI-1 (Intel)\n"
              "1280 x 720 pos: 1920, 0 24 bits @ 60 Hz\n"
              "workspace: 1920, 0 - 3200, 720 HMONITOR: 00000042\n"
              "Device: HDMI-1\\Monitor0\n\n\n"
              "3 Default Monitor on DP-1 (Intel)\n"
              "1280 x 720 pos: 1920, 0 24 bits @ 60 Hz\n"
              "workspace: 1920, 0 - 3200, 720 HMONITOR: 00000042\n"
              "Device: DP-1\\Monitor0\n\n\n"
              "4 Default Monitor on DP-2\n"
              "disabled, 0 x 0 pos: 0, 0 0 bits @ 0 Hz\n"
              "Device: DP-2\n\n\n");
}

TEST(DisplayReportOverOutputs, WithoutAPrimaryTheFirstOnTheDesktopIsPrimaryAndTheWorkAreaClipsEachMonitor) {
    RandrOutput off = output("VGA-1", "", "Old CRT", 0, {});
    off.has_preferred = true;  // connected but switched off: its preferred mode is shown
    off.preferred = {1024, 768, 0, 0, 24, 75};
    const std::vector<RandrOutput> outputs = {off, output("DVI-0", "", "Left", 7, {1600, 1200, 0, 0, 24, 60}),
                                              output("DVI-1", "", "Right", 9, {1600, 1200, 1600, 0, 24, 60})};
    const auto displays = make_randr_displays(outputs, DisplayRect{0, 30, 3200, 1180});
    const std::string report = build_display_report(*displays);
    EXPECT_NE(report.find("1 Old CRT on VGA-1\ndisabled, 1024 x 768 pos: 0, 0 24 bits @ 75 Hz\nDevice: VGA-1\\"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("2 Left on DVI-0\nprimary, 1600 x 1200 pos: 0, 0 24 bits @ 60 Hz\n"
                          "workspace: 0, 30 - 1600, 1180 HMONITOR: 00000007\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("3 Right on DVI-1\n1600 x 1200 pos: 1600, 0 24 bits @ 60 Hz\n"
                          "workspace: 1600, 30 - 3200, 1180 HMONITOR: 00000009\n"),
              std::string::npos)
        << report;
}

// The displays to put the output window on: numbered as the report numbers
// them, without the mirroring, disabled and mode-less adapters.
TEST(ConnectedDisplays, AreTheReportsDisplaysThatShowTheDesktop) {
    FakeDisplays displays;
    FakeAdapter mirror;
    mirror.device = {"\\\\.\\DISPLAYV1", "Mirror Driver", kDisplayMirroringDriver | kDisplayAttachedToDesktop};
    FakeAdapter off = second_adapter();
    off.device.device_name = "\\\\.\\DISPLAY3";
    off.device.state_flags = 0;
    FakeAdapter modeless = second_adapter();
    modeless.device.device_name = "\\\\.\\DISPLAY4";
    modeless.has_current = false;
    displays.adapters = {primary_adapter(), mirror, off, modeless, second_adapter()};
    const std::vector<DisplayPlace> places = connected_displays(displays);
    ASSERT_EQ(places.size(), 2u);
    EXPECT_EQ(places[0].number, 1);
    EXPECT_EQ(places[0].name, "Flat Panel on Radeon X");
    EXPECT_TRUE(places[0].primary);
    EXPECT_EQ(places[1].number, 4);
    EXPECT_EQ(places[1].name, "Beamer on Radeon X");
    EXPECT_EQ(std::make_tuple(places[1].x, places[1].y, places[1].width, places[1].height, places[1].primary),
              std::make_tuple(1280, 0, 800u, 600u, false));
}

struct MarkupCase {
    const char* report;
    const char* markup;
    friend std::ostream& operator<<(std::ostream& os, const MarkupCase& c) { return os << c.markup; }
};

class DisplayReportMarkup : public ::testing::TestWithParam<MarkupCase> {};

TEST_P(DisplayReportMarkup, TurnsLineBreaksIntoParagraphsAndBreaks) {
    EXPECT_EQ(display_report_markup(GetParam().report), GetParam().markup);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DisplayReportMarkup,
    ::testing::Values(MarkupCase{"", ""}, MarkupCase{"a\nb", "a<br>b"},
                      MarkupCase{"a\n\n\n", "a<p><p><br>"}, MarkupCase{"\n\n", "<p><br>"},
                      MarkupCase{"x\n\n\n\n\ny\nz", "x<p><p><p><p><br>y<br>z"},
                      MarkupCase{"Tom & Jerry <HDMI>", "Tom &amp; Jerry &lt;HDMI&gt;"}));

TEST(DisplayReportMarkup, OneAdapterEndsInTwoParagraphsAndOneBreak) {
    FakeDisplays displays;
    displays.adapters = {primary_adapter()};
    const std::string markup = display_report_markup(build_display_report(displays));
    EXPECT_EQ(markup.substr(markup.size() - 10), "<p><p><br>");
    EXPECT_EQ(markup.find('\n'), std::string::npos);
}
