#pragma once
// V4L2 capture devices: which ones there are, by the driver's card name, the
// modes each can capture in (pixel format, size, frame rate), and their
// brightness, gain and exposure controls driven from the Camera page's
// sliders. Capture itself goes through FFmpeg (video_source.h); these few
// ioctls are the one place the program talks to a device directly.
//
// Every system call goes through V4l2Kernel, so the logic runs against a fake
// kernel in the tests (no virtual device can be made in a container).

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
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
    // ioctl(2), retried on EINTR; -1 on failure, with errno set.
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
};

// The real system calls.
V4l2Kernel& system_v4l2_kernel();

struct CaptureDevice {
    std::string path;  // /dev/videoN
    std::string card;  // the driver's card name, e.g. "HD Pro Webcam C920"
};

// The /dev/videoN nodes that capture video in single planes, the only kind
// FFmpeg's capture reads (metadata, output and multi-plane nodes are left
// out), in the order of N.
std::vector<CaptureDevice> list_capture_devices(V4l2Kernel& kernel);

// One way a device can capture: what `--camera-mode WxH@FPS/FORMAT` names.
struct CameraMode {
    int32_t width = 0;
    int32_t height = 0;
    double fps = 0.0;     // 0: the device's own rate
    std::string format;   // four-character code as the driver names it ("MJPG", "YUYV"); empty: any
    std::string description;  // the driver's name of the format, for the list

    // "640x480@30/MJPG" (rates with decimals as needed: "@7.5").
    std::string text() const;
    // Rates as the text gives them (six digits: 30000/1001 is "29.97") count as equal.
    bool operator==(const CameraMode& other) const {
        return width == other.width && height == other.height && std::fabs(fps - other.fps) < 0.005 &&
               format == other.format;
    }
};

// The extra setting that keeps the mode chosen for the source in "source".
inline constexpr char kCameraModeKey[] = "source.camera_mode";

// "WxH@FPS" or "WxH@FPS/FORMAT" (FORMAT a four-character code, any case);
// nothing for a text that is not one, with the reason.
std::optional<CameraMode> parse_camera_mode(const std::string& text, std::string& error);

// FFmpeg's name of the pixel format or codec of a four-character code
// ("MJPG" -> "mjpeg", "YUYV" -> "yuyv422"), as its capture's input_format
// option takes it; empty when FFmpeg has none.
std::string ffmpeg_format_name(const std::string& fourcc);

// Every mode of the device at `path`, format by format in the driver's
// order, sizes and rates as the driver lists them. Sizes and rates given as
// ranges are listed at their ends and at the common sizes and rates between.
// Empty when the device cannot be opened or lists nothing.
std::vector<CameraMode> list_camera_modes(V4l2Kernel& kernel, const std::string& path);

// One device control and the slider that drives it.
struct ControlRange {
    bool present = false;  // the device has it and it may be written
    bool active = true;    // not inactive or grabbed by another user (shown greyed out otherwise)
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    bool logarithmic = false;  // the slider moves in even steps of log(value)
};

// The value a slider at `value` within [slider_min, slider_max] sets: the
// slider's range mapped onto the control's, linearly or, for a logarithmic
// control, in even ratios (so the short exposures that markers need get as
// much of the slider as the long ones), rounded to the control's step and
// kept within its range.
int32_t map_slider(double value, double slider_min, double slider_max, const ControlRange& control);
// The reverse: where the slider stands for the control's value.
double slider_position(int32_t value, double slider_min, double slider_max, const ControlRange& control);

// Brightness, gain and exposure of one open device. "shutter" drives the
// absolute exposure (or the plain exposure control where only that exists)
// and switches the device to manual exposure first; "gain" switches the
// automatic gain off first. The exposure mode the device had is restored
// when the controls are closed. Opening reads the controls and writes none.
class CameraControls {
public:
    enum Which { brightness, gain, exposure, kCount };

    // Opens `path` for its controls; a device that cannot be opened has none.
    CameraControls(V4l2Kernel& kernel, const std::string& path);
    ~CameraControls();
    CameraControls(const CameraControls&) = delete;
    CameraControls& operator=(const CameraControls&) = delete;

    const ControlRange& range(Which which) const { return ranges_[which]; }
    // The control's value when the device was opened (its minimum where it
    // could not be read).
    int32_t initial(Which which) const { return initial_[which]; }
    // Sets the control from a slider; false when the device lacks it or
    // refused the value, with the reason in last_error().
    bool apply(Which which, double value, double slider_min, double slider_max);
    const std::string& last_error() const { return error_; }

private:
    V4l2Kernel& kernel_;
    std::string path_;
    int fd_ = -1;
    ControlRange ranges_[kCount];
    uint32_t ids_[kCount] = {};
    int32_t initial_[kCount] = {};
    // Automatic exposure: the menu value to set for manual exposure (-1:
    // none), the value the device had (restored at close; -1: not read),
    // and whether it was switched.
    int32_t manual_exposure_ = -1;
    int32_t exposure_mode_before_ = -1;
    bool exposure_switched_ = false;
    bool has_auto_gain_ = false;
    bool gain_switched_ = false;
    std::string error_;

    bool query(uint32_t id, ControlRange& range, uint32_t* flags = nullptr);
    bool get(uint32_t id, int32_t& value);
    bool set(uint32_t id, int32_t value, const char* what);
};
