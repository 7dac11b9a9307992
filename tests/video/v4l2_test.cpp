// Device listing, modes, and the slider-to-control mapping against a fake
// kernel: no V4L2 device can be made in a container, so the ioctls the code
// issues are answered here as a driver would answer them.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "video/v4l2.h"

namespace {

struct FakeControl {
    v4l2_queryctrl query;
    int32_t value;
};

struct FakeFormat {
    uint32_t fourcc;
    std::string description;
    // Discrete sizes, each with discrete rates (frames per second); or, when
    // `stepwise` is set, one range of sizes and one of rates.
    std::vector<std::pair<std::pair<uint32_t, uint32_t>, std::vector<uint32_t>>> sizes;
    bool stepwise = false;
};

struct FakeDevice {
    std::string card;
    uint32_t device_caps;
    std::map<uint32_t, FakeControl> controls;
    std::vector<FakeFormat> formats;
    std::vector<uint32_t> menu_items;  // of the exposure mode menu
    std::vector<uint32_t> refused;     // controls whose writes fail with EBUSY
};

class FakeKernel final : public V4l2Kernel {
public:
    std::vector<std::string> dev_entries() override { return entries; }
    int open(const std::string& path) override {
        const auto it = devices.find(path);
        if (it == devices.end()) return -1;
        open_fds[next_fd] = path;
        return next_fd++;
    }
    void close(int fd) override { open_fds.erase(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override {
        const auto it = open_fds.find(fd);
        if (it == open_fds.end()) return -1;
        FakeDevice& d = devices[it->second];
        if (request == VIDIOC_QUERYCAP) {
            auto* cap = static_cast<v4l2_capability*>(arg);
            std::memcpy(cap->card, d.card.c_str(), std::min(d.card.size() + 1, sizeof cap->card));
            cap->capabilities = d.device_caps | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_DEVICE_CAPS;
            cap->device_caps = d.device_caps;
            return 0;
        }
        if (request == VIDIOC_QUERYCTRL) {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            const auto c = d.controls.find(q->id);
            if (c == d.controls.end()) return -1;
            *q = c->second.query;
            return 0;
        }
        if (request == VIDIOC_S_CTRL || request == VIDIOC_G_CTRL) {
            auto* c = static_cast<v4l2_control*>(arg);
            const auto found = d.controls.find(c->id);
            if (found == d.controls.end()) return fail(EINVAL);
            if (request == VIDIOC_G_CTRL) {
                c->value = found->second.value;
                return 0;
            }
            if (std::count(d.refused.begin(), d.refused.end(), c->id)) return fail(EBUSY);
            found->second.value = c->value;
            writes.emplace_back(c->id, c->value);
            return 0;
        }
        if (request == VIDIOC_QUERYMENU) {
            auto* m = static_cast<v4l2_querymenu*>(arg);
            return std::count(d.menu_items.begin(), d.menu_items.end(), m->index) ? 0 : fail(EINVAL);
        }
        if (request == VIDIOC_ENUM_FMT) {
            auto* f = static_cast<v4l2_fmtdesc*>(arg);
            if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index >= d.formats.size()) return fail(EINVAL);
            const FakeFormat& ff = d.formats[f->index];
            f->pixelformat = ff.fourcc;
            std::memcpy(f->description, ff.description.c_str(), ff.description.size() + 1);
            return 0;
        }
        if (request == VIDIOC_ENUM_FRAMESIZES) {
            auto* z = static_cast<v4l2_frmsizeenum*>(arg);
            const FakeFormat* ff = format(d, z->pixel_format);
            if (ff == nullptr || (ff->stepwise ? z->index > 0 : z->index >= ff->sizes.size())) return fail(EINVAL);
            if (ff->stepwise) {
                z->type = V4L2_FRMSIZE_TYPE_STEPWISE;
                z->stepwise = {16, 1920, 16, 16, 1080, 8};
            } else {
                z->type = V4L2_FRMSIZE_TYPE_DISCRETE;
                z->discrete = {ff->sizes[z->index].first.first, ff->sizes[z->index].first.second};
            }
            return 0;
        }
        if (request == VIDIOC_ENUM_FRAMEINTERVALS) {
            auto* v = static_cast<v4l2_frmivalenum*>(arg);
            const FakeFormat* ff = format(d, v->pixel_format);
            if (ff == nullptr) return fail(EINVAL);
            if (ff->stepwise) {
                if (v->index > 0) return fail(EINVAL);
                v->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
                v->stepwise = {{1, 30}, {1, 5}, {1, 1}};  // 30 down to 5 frames a second
                return 0;
            }
            for (const auto& [size, rates] : ff->sizes) {
                if (size.first != v->width || size.second != v->height) continue;
                if (v->index >= rates.size()) return fail(EINVAL);
                v->type = V4L2_FRMIVAL_TYPE_DISCRETE;
                v->discrete = {1, rates[v->index]};
                return 0;
            }
            return fail(EINVAL);
        }
        return fail(ENOTTY);
    }

    static int fail(int error) {
        errno = error;
        return -1;
    }
    static const FakeFormat* format(const FakeDevice& d, uint32_t fourcc) {
        for (const FakeFormat& f : d.formats)
            if (f.fourcc == fourcc) return &f;
        return nullptr;
    }

    std::vector<std::string> entries;
    std::map<std::string, FakeDevice> devices;
    std::map<int, std::string> open_fds;
    std::vector<std::pair<uint32_t, int32_t>> writes;
    int next_fd = 3;
};

FakeControl integer(uint32_t id, int32_t min, int32_t max, int32_t step, uint32_t flags = 0, int32_t value = 0) {
    v4l2_queryctrl q{};
    q.id = id;
    q.type = V4L2_CTRL_TYPE_INTEGER;
    q.minimum = min;
    q.maximum = max;
    q.step = step;
    q.flags = flags;
    return FakeControl{q, value};
}

FakeControl menu(uint32_t id, int32_t max, int32_t value) {
    FakeControl c = integer(id, 0, max, 1, 0, value);
    c.query.type = V4L2_CTRL_TYPE_MENU;
    return c;
}

TEST(CaptureDevices, AreListedByCardNameInNodeOrderWithoutOtherNodes) {
    FakeKernel k;
    k.entries = {"video10", "null", "video2", "video1", "video0", "videoX", "video3", "media0"};
    k.devices["/dev/video0"] = {"HD Webcam", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, {}, {}, {}, {}};
    k.devices["/dev/video1"] = {"HD Webcam", V4L2_CAP_META_CAPTURE, {}, {}, {}, {}};  // the webcam's metadata node
    k.devices["/dev/video2"] = {"Industrial Cam", V4L2_CAP_VIDEO_CAPTURE_MPLANE, {}, {}, {}, {}};
    k.devices["/dev/video10"] = {"", V4L2_CAP_VIDEO_CAPTURE, {}, {}, {}, {}};
    // video3 cannot be opened (busy or no permission): left out.
    const std::vector<CaptureDevice> found = list_capture_devices(k);
    // The multi-plane camera is left out: FFmpeg's capture cannot read it.
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, "/dev/video0");
    EXPECT_EQ(found[0].card, "HD Webcam");
    EXPECT_EQ(found[1].path, "/dev/video10");
    EXPECT_EQ(found[1].card, "/dev/video10") << "a device without a card name shows its path";
    EXPECT_TRUE(k.open_fds.empty()) << "every node opened is closed again";
}

TEST(CaptureDevices, TheSystemListRunsWithoutDevices) {
    // This machine has no /dev/video nodes; the real calls must cope.
    for (const CaptureDevice& d : list_capture_devices(system_v4l2_kernel())) EXPECT_FALSE(d.path.empty());
}

struct Mapping {
    double value, low, high;
    ControlRange control;
    int32_t expected;
};

class SliderMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(SliderMapping, IsLinearOntoTheControlsStepsAndRange) {
    const Mapping& m = GetParam();
    EXPECT_EQ(map_slider(m.value, m.low, m.high, m.control), m.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SliderMapping,
    ::testing::Values(Mapping{0, 0, 1023, {true, true, -64, 64, 1}, -64}, Mapping{1023, 0, 1023, {true, true, -64, 64, 1}, 64},
                      Mapping{511.5, 0, 1023, {true, true, -64, 64, 1}, 0}, Mapping{128, 0, 255, {true, true, 0, 100, 1}, 50},
                      // Steps of 10 from 5: 5, 15, ... 95 (the top, 100, is not on a step).
                      Mapping{255, 0, 255, {true, true, 5, 100, 10}, 95}, Mapping{64, 0, 255, {true, true, 5, 100, 10}, 25},
                      // Shutter's slider starts at 1; values outside the slider are held to its ends.
                      Mapping{1, 1, 255, {true, true, 3, 2047, 1}, 3}, Mapping{300, 1, 255, {true, true, 3, 2047, 1}, 2047},
                      Mapping{128, 1, 255, {true, true, 3, 2047, 1}, 1025}, Mapping{7, 0, 10, {true, true, 4, 4, 1}, 4},
                      // Exposure in even ratios: the middle of 1 to 10000 is 100, a quarter 10.
                      Mapping{128, 1, 255, {true, true, 1, 10000, 1, true}, 100},
                      Mapping{64.5, 1, 255, {true, true, 1, 10000, 1, true}, 10},
                      Mapping{255, 1, 255, {true, true, 1, 10000, 1, true}, 10000}));

TEST_P(SliderMapping, AndBackLandsOnTheSameValue) {
    const Mapping& m = GetParam();
    EXPECT_EQ(map_slider(slider_position(m.expected, m.low, m.high, m.control), m.low, m.high, m.control), m.expected);
}

// A webcam as drivers give it: exposure automatic (aperture priority) with
// the absolute exposure inactive under it, automatic gain on.
FakeDevice webcam() {
    FakeDevice cam{"cam", V4L2_CAP_VIDEO_CAPTURE, {}, {}, {V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_APERTURE_PRIORITY}, {}};
    cam.controls[V4L2_CID_BRIGHTNESS] = integer(V4L2_CID_BRIGHTNESS, -64, 64, 1, 0, 12);
    cam.controls[V4L2_CID_GAIN] = integer(V4L2_CID_GAIN, 0, 100, 1, V4L2_CTRL_FLAG_INACTIVE, 40);
    cam.controls[V4L2_CID_AUTOGAIN] = integer(V4L2_CID_AUTOGAIN, 0, 1, 1, 0, 1);
    cam.controls[V4L2_CID_EXPOSURE_ABSOLUTE] = integer(V4L2_CID_EXPOSURE_ABSOLUTE, 3, 2047, 1, V4L2_CTRL_FLAG_INACTIVE, 156);
    cam.controls[V4L2_CID_EXPOSURE_AUTO] = menu(V4L2_CID_EXPOSURE_AUTO, 3, V4L2_EXPOSURE_APERTURE_PRIORITY);
    return cam;
}

TEST(CameraControls, OpeningReadsWithoutWritingAndClosingRestoresTheExposureMode) {
    FakeKernel k;
    k.devices["/dev/video0"] = webcam();
    {
        CameraControls controls(k, "/dev/video0");
        EXPECT_TRUE(k.writes.empty()) << "opening sets nothing";
        EXPECT_EQ(controls.initial(CameraControls::brightness), 12);
        EXPECT_EQ(controls.initial(CameraControls::exposure), 156);
        // Inactive only because the automatic modes are on: the sliders switch them off.
        EXPECT_TRUE(controls.range(CameraControls::gain).active);
        EXPECT_TRUE(controls.range(CameraControls::exposure).active);

        EXPECT_TRUE(controls.apply(CameraControls::gain, 255, 0, 255));
        EXPECT_TRUE(controls.apply(CameraControls::exposure, 255, 1, 255));
        EXPECT_TRUE(controls.apply(CameraControls::exposure, 1, 1, 255));
        EXPECT_TRUE(controls.apply(CameraControls::brightness, 1023, 0, 1023));
    }
    const std::vector<std::pair<uint32_t, int32_t>> expected = {{V4L2_CID_AUTOGAIN, 0},
                                                                {V4L2_CID_GAIN, 100},
                                                                {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                                                                {V4L2_CID_EXPOSURE_ABSOLUTE, 2047},
                                                                {V4L2_CID_EXPOSURE_ABSOLUTE, 3},
                                                                {V4L2_CID_BRIGHTNESS, 64},
                                                                {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY}};
    EXPECT_EQ(k.writes, expected);
    EXPECT_TRUE(k.open_fds.empty());
}

TEST(CameraControls, TakeShutterPriorityWhereTheMenuHasNoManualMode) {
    FakeKernel k;
    FakeDevice cam = webcam();
    cam.menu_items = {V4L2_EXPOSURE_SHUTTER_PRIORITY, V4L2_EXPOSURE_APERTURE_PRIORITY};
    k.devices["/dev/video0"] = cam;
    {
        CameraControls controls(k, "/dev/video0");
        EXPECT_TRUE(controls.apply(CameraControls::exposure, 1, 1, 255));
    }
    ASSERT_GE(k.writes.size(), 1u);
    EXPECT_EQ(k.writes.front(), std::make_pair(uint32_t{V4L2_CID_EXPOSURE_AUTO}, int32_t{V4L2_EXPOSURE_SHUTTER_PRIORITY}));
}

TEST(CameraControls, ShowGrabbedAndOtherwiseInactiveControlsInactiveAndReportRefusedWrites) {
    FakeKernel k;
    FakeDevice cam = webcam();
    cam.controls.erase(V4L2_CID_AUTOGAIN);  // the gain is inactive for another reason
    cam.controls[V4L2_CID_BRIGHTNESS].query.flags = V4L2_CTRL_FLAG_GRABBED;
    cam.refused = {V4L2_CID_EXPOSURE_AUTO};
    k.devices["/dev/video0"] = cam;
    CameraControls controls(k, "/dev/video0");
    EXPECT_FALSE(controls.range(CameraControls::brightness).active);
    EXPECT_FALSE(controls.range(CameraControls::gain).active);
    EXPECT_FALSE(controls.apply(CameraControls::exposure, 100, 1, 255));
    EXPECT_EQ(controls.last_error(), "could not set exposure mode of /dev/video0 to 1: Device or resource busy");
    EXPECT_TRUE(k.writes.empty());
}

TEST(CameraControls, FallBackToTheOtherGainAndExposureControlsAndSkipDisabledOnes) {
    FakeKernel k;
    FakeDevice cam{"cam", V4L2_CAP_VIDEO_CAPTURE, {}, {}, {}, {}};
    cam.controls[V4L2_CID_BRIGHTNESS] = integer(V4L2_CID_BRIGHTNESS, 0, 255, 1, V4L2_CTRL_FLAG_DISABLED);
    cam.controls[V4L2_CID_ANALOGUE_GAIN] = integer(V4L2_CID_ANALOGUE_GAIN, 0, 480, 16);
    cam.controls[V4L2_CID_EXPOSURE] = integer(V4L2_CID_EXPOSURE, 1, 1000, 1);
    k.devices["/dev/video4"] = cam;

    CameraControls controls(k, "/dev/video4");
    EXPECT_FALSE(controls.range(CameraControls::brightness).present);
    EXPECT_TRUE(controls.apply(CameraControls::gain, 255, 0, 255));
    EXPECT_TRUE(controls.apply(CameraControls::exposure, 1, 1, 255));
    const std::vector<std::pair<uint32_t, int32_t>> expected = {{V4L2_CID_ANALOGUE_GAIN, 480},
                                                                {V4L2_CID_EXPOSURE, 1}};
    EXPECT_EQ(k.writes, expected) << "no manual switch where there is no auto exposure";
}

TEST(CameraControls, ADeviceThatCannotBeOpenedHasNone) {
    FakeKernel k;
    CameraControls controls(k, "/dev/video9");
    for (auto w : {CameraControls::brightness, CameraControls::gain, CameraControls::exposure})
        EXPECT_FALSE(controls.range(w).present);
    EXPECT_FALSE(controls.apply(CameraControls::gain, 1, 0, 255));
}

TEST(CameraModes, AreListedFormatBySizeByRateAndRangesAtTheirEndsAndCommonValues) {
    FakeKernel k;
    FakeDevice cam{"cam", V4L2_CAP_VIDEO_CAPTURE, {}, {}, {}, {}};
    cam.formats.push_back({v4l2_fourcc('M', 'J', 'P', 'G'), "Motion-JPEG", {{{1280, 720}, {60, 30}}, {{640, 480}, {30}}}});
    cam.formats.push_back({v4l2_fourcc('G', 'R', 'E', 'Y'), "8-bit Greyscale", {}, true});
    k.devices["/dev/video0"] = cam;
    std::vector<std::string> texts;
    for (const CameraMode& m : list_camera_modes(k, "/dev/video0")) texts.push_back(m.text());
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3),
              (std::vector<std::string>{"1280x720@60/MJPG", "1280x720@30/MJPG", "640x480@30/MJPG"}));
    // Sizes from 16x16 to 1920x1080 in steps of 16 and 8, rates from 30 to 5:
    // the common sizes on the steps, then the largest, each at 30, 25, 20, 15, 10 and 5.
    const std::vector<std::string> grey(texts.begin() + 3, texts.end());
    for (const char* expected : {"160x120@30/GREY", "640x480@5/GREY", "1280x720@25/GREY", "1920x1080@30/GREY"})
        EXPECT_NE(std::find(grey.begin(), grey.end(), expected), grey.end()) << expected;
    EXPECT_EQ(std::find(grey.begin(), grey.end(), "800x600@60/GREY"), grey.end()) << "no rate beyond the range";
    EXPECT_EQ(grey.size(), 8u * 6u) << "eight common sizes on the steps (the largest among them), six rates each";
    EXPECT_TRUE(list_camera_modes(k, "/dev/video7").empty());
    EXPECT_TRUE(k.open_fds.empty());
}

TEST(CameraModes, ParseFromTheCommandLineAndNameFfmpegsFormats) {
    std::string error;
    const auto mode = parse_camera_mode("1280x720@59.94/mjpg", error);
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(mode->width, 1280);
    EXPECT_EQ(mode->height, 720);
    EXPECT_DOUBLE_EQ(mode->fps, 59.94);
    EXPECT_EQ(mode->format, "MJPG");
    EXPECT_EQ(mode->text(), "1280x720@59.94/MJPG");
    EXPECT_EQ(parse_camera_mode("640x480@30", error)->text(), "640x480@30");
    for (const char* bad : {"", "640x480", "640x@30", "x480@30", "640x480@0", "640x480@30/", "640x480@30/MJPEG",
                            "-640x480@30", "640x480@abc", "640x480@30/M-PG"})
        EXPECT_FALSE(parse_camera_mode(bad, error).has_value()) << bad;
    EXPECT_EQ(error, "needs a mode such as 640x480@30 or 1280x720@60/MJPG");
    EXPECT_EQ(ffmpeg_format_name("MJPG"), "mjpeg");
    EXPECT_EQ(ffmpeg_format_name("YUYV"), "yuyv422");
    EXPECT_EQ(ffmpeg_format_name("ABCD"), "");
}

}  // namespace
