#pragma once
// V4L2 capture devices: which ones there are, by the driver's card name, and
// their brightness, gain and exposure controls driven from the Camera page's
// sliders. Capture itself goes through FFmpeg (video_source.h); these few
// ioctls are the one place the program talks to a device directly.
//
// Every system call goes through V4l2Kernel, so the logic runs against a fake
// kernel in the tests (no virtual device can be made in a container).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class V4l2Kernel {
public:
    virtual ~V4l2Kernel() = default;
    // Entry names of /dev (not full paths).
    virtual std::vector<std::string> dev_entries() = 0;
    // open(2) read-write and non-blocking; -1 on failure.
    virtual int open(const std::string& path) = 0;
    virtual void close(int fd) = 0;
    // ioctl(2), retried on EINTR; -1 on failure.
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
};

// The real system calls.
V4l2Kernel& system_v4l2_kernel();

struct CaptureDevice {
    std::string path;  // /dev/videoN
    std::string card;  // the driver's card name, e.g. "HD Pro Webcam C920"
};

// The /dev/videoN nodes that capture video (metadata and output nodes are
// left out), in the order of N.
std::vector<CaptureDevice> list_capture_devices(V4l2Kernel& kernel);

// One device control and the slider that drives it.
struct ControlRange {
    bool present = false;  // the device has it and it may be written
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
};

// The value a slider at `value` within [slider_min, slider_max] sets: the
// slider's range mapped linearly onto the control's, rounded to the
// control's step and kept within its range.
int32_t map_slider(double value, double slider_min, double slider_max, const ControlRange& control);

// Brightness, gain and exposure of one open device. "shutter" drives the
// absolute exposure (or the plain exposure control where only that exists)
// and switches the device to manual exposure first.
class CameraControls {
public:
    enum Which { brightness, gain, exposure, kCount };

    // Opens `path` for its controls; a device that cannot be opened has none.
    CameraControls(V4l2Kernel& kernel, const std::string& path);
    ~CameraControls();
    CameraControls(const CameraControls&) = delete;
    CameraControls& operator=(const CameraControls&) = delete;

    const ControlRange& range(Which which) const { return ranges_[which]; }
    // Sets the control from a slider; false when the device lacks it or
    // refused the value.
    bool apply(Which which, double value, double slider_min, double slider_max);

private:
    V4l2Kernel& kernel_;
    int fd_ = -1;
    ControlRange ranges_[kCount];
    uint32_t ids_[kCount] = {};
    bool has_auto_exposure_ = false;
    bool manual_exposure_set_ = false;

    bool query(uint32_t id, ControlRange& range);
    bool set(uint32_t id, int32_t value);
};
