// Device listing and the slider-to-control mapping against a fake kernel: no
// V4L2 device can be made in a container, so the ioctls the code issues are
// answered here as a driver would answer them.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "video/v4l2.h"

namespace {

struct FakeControl {
    v4l2_queryctrl query;
    int32_t value;
};

struct FakeDevice {
    std::string card;
    uint32_t device_caps;
    std::map<uint32_t, FakeControl> controls;
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
        if (request == VIDIOC_S_CTRL) {
            auto* c = static_cast<v4l2_control*>(arg);
            const auto found = d.controls.find(c->id);
            if (found == d.controls.end()) return -1;
            found->second.value = c->value;
            writes.emplace_back(c->id, c->value);
            return 0;
        }
        return -1;
    }

    std::vector<std::string> entries;
    std::map<std::string, FakeDevice> devices;
    std::map<int, std::string> open_fds;
    std::vector<std::pair<uint32_t, int32_t>> writes;
    int next_fd = 3;
};

FakeControl integer(uint32_t id, int32_t min, int32_t max, int32_t step, uint32_t flags = 0) {
    v4l2_queryctrl q{};
    q.id = id;
    q.type = V4L2_CTRL_TYPE_INTEGER;
    q.minimum = min;
    q.maximum = max;
    q.step = step;
    q.flags = flags;
    return FakeControl{q, 0};
}

TEST(CaptureDevices, AreListedByCardNameInNodeOrderWithoutOtherNodes) {
    FakeKernel k;
    k.entries = {"video10", "null", "video2", "video1", "video0", "videoX", "video3", "media0"};
    k.devices["/dev/video0"] = {"HD Webcam", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, {}};
    k.devices["/dev/video1"] = {"HD Webcam", V4L2_CAP_META_CAPTURE, {}};  // the webcam's metadata node
    k.devices["/dev/video2"] = {"Industrial Cam", V4L2_CAP_VIDEO_CAPTURE_MPLANE, {}};
    k.devices["/dev/video10"] = {"", V4L2_CAP_VIDEO_CAPTURE, {}};
    // video3 cannot be opened (busy or no permission): left out.
    const std::vector<CaptureDevice> found = list_capture_devices(k);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].path, "/dev/video0");
    EXPECT_EQ(found[0].card, "HD Webcam");
    EXPECT_EQ(found[1].path, "/dev/video2");
    EXPECT_EQ(found[1].card, "Industrial Cam");
    EXPECT_EQ(found[2].path, "/dev/video10");
    EXPECT_EQ(found[2].card, "/dev/video10") << "a device without a card name shows its path";
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
    ::testing::Values(Mapping{0, 0, 1023, {true, -64, 64, 1}, -64}, Mapping{1023, 0, 1023, {true, -64, 64, 1}, 64},
                      Mapping{511.5, 0, 1023, {true, -64, 64, 1}, 0}, Mapping{128, 0, 255, {true, 0, 100, 1}, 50},
                      // Steps of 10 from 5: 5, 15, ... 95 (the top, 100, is not on a step).
                      Mapping{255, 0, 255, {true, 5, 100, 10}, 95}, Mapping{64, 0, 255, {true, 5, 100, 10}, 25},
                      // Shutter's slider starts at 1; values outside the slider are held to its ends.
                      Mapping{1, 1, 255, {true, 3, 2047, 1}, 3}, Mapping{300, 1, 255, {true, 3, 2047, 1}, 2047},
                      Mapping{128, 1, 255, {true, 3, 2047, 1}, 1025}, Mapping{7, 0, 10, {true, 4, 4, 1}, 4}));

TEST(CameraControls, DriveTheDevicesControlsAndSwitchExposureToManualOnce) {
    FakeKernel k;
    FakeDevice cam{"cam", V4L2_CAP_VIDEO_CAPTURE, {}};
    cam.controls[V4L2_CID_BRIGHTNESS] = integer(V4L2_CID_BRIGHTNESS, -64, 64, 1);
    cam.controls[V4L2_CID_EXPOSURE_ABSOLUTE] = integer(V4L2_CID_EXPOSURE_ABSOLUTE, 3, 2047, 1, V4L2_CTRL_FLAG_INACTIVE);
    cam.controls[V4L2_CID_EXPOSURE_AUTO] = integer(V4L2_CID_EXPOSURE_AUTO, 0, 3, 1);
    cam.controls[V4L2_CID_EXPOSURE_AUTO].query.type = V4L2_CTRL_TYPE_MENU;
    cam.controls[V4L2_CID_EXPOSURE_AUTO].value = V4L2_EXPOSURE_APERTURE_PRIORITY;
    k.devices["/dev/video0"] = cam;

    CameraControls controls(k, "/dev/video0");
    EXPECT_TRUE(controls.range(CameraControls::brightness).present);
    EXPECT_FALSE(controls.range(CameraControls::gain).present) << "the device has no gain";
    EXPECT_TRUE(controls.range(CameraControls::exposure).present) << "inactive under auto exposure, still there";

    EXPECT_TRUE(controls.apply(CameraControls::brightness, 1023, 0, 1023));
    EXPECT_FALSE(controls.apply(CameraControls::gain, 100, 0, 255));
    EXPECT_TRUE(controls.apply(CameraControls::exposure, 255, 1, 255));
    EXPECT_TRUE(controls.apply(CameraControls::exposure, 1, 1, 255));
    const std::vector<std::pair<uint32_t, int32_t>> expected = {{V4L2_CID_BRIGHTNESS, 64},
                                                                {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                                                                {V4L2_CID_EXPOSURE_ABSOLUTE, 2047},
                                                                {V4L2_CID_EXPOSURE_ABSOLUTE, 3}};
    EXPECT_EQ(k.writes, expected);
}

TEST(CameraControls, FallBackToTheOtherGainAndExposureControlsAndSkipDisabledOnes) {
    FakeKernel k;
    FakeDevice cam{"cam", V4L2_CAP_VIDEO_CAPTURE, {}};
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

}  // namespace
