#include "video/v4l2.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

class SystemKernel final : public V4l2Kernel {
public:
    std::vector<std::string> dev_entries() override {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/dev", ec))
            names.push_back(entry.path().filename().string());
        return names;
    }
    int open(const std::string& path) override { return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }
    void close(int fd) override { ::close(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override {
        int r;
        do {
            r = ::ioctl(fd, request, arg);
        } while (r == -1 && errno == EINTR);
        return r;
    }
};

// N of "videoN", or -1.
int video_number(const std::string& entry) {
    if (entry.rfind("video", 0) != 0 || entry.size() == 5 || entry.size() > 9) return -1;
    int n = 0;
    for (size_t i = 5; i < entry.size(); ++i) {
        if (entry[i] < '0' || entry[i] > '9') return -1;
        n = n * 10 + (entry[i] - '0');
    }
    return n;
}

std::string fixed_text(const uint8_t* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), size));
}

}  // namespace

V4l2Kernel& system_v4l2_kernel() {
    static SystemKernel kernel;
    return kernel;
}

std::vector<CaptureDevice> list_capture_devices(V4l2Kernel& kernel) {
    std::vector<std::pair<int, std::string>> nodes;
    for (const std::string& entry : kernel.dev_entries()) {
        const int n = video_number(entry);
        if (n >= 0) nodes.emplace_back(n, "/dev/" + entry);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<CaptureDevice> devices;
    for (const auto& [number, path] : nodes) {
        const int fd = kernel.open(path);
        if (fd < 0) continue;
        v4l2_capability cap{};
        const bool queried = kernel.ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        kernel.close(fd);
        if (!queried) continue;
        // A node's own capabilities, where the driver tells them apart from
        // the whole device's (a camera has a metadata node beside it).
        const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? cap.device_caps : cap.capabilities;
        if ((caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) == 0) continue;
        std::string card = fixed_text(cap.card, sizeof cap.card);
        devices.push_back(CaptureDevice{path, card.empty() ? path : card});
    }
    return devices;
}

int32_t map_slider(double value, double slider_min, double slider_max, const ControlRange& control) {
    const double span = slider_max - slider_min;
    const double fraction = span > 0 ? std::clamp((value - slider_min) / span, 0.0, 1.0) : 0.0;
    const double low = control.minimum;
    const double high = std::max(control.maximum, control.minimum);
    const double step = control.step > 0 ? control.step : 1;
    double v = low + fraction * (high - low);
    v = low + std::round((v - low) / step) * step;
    // A range that is not a whole number of steps: the last step below the top.
    while (v > high) v -= step;
    return static_cast<int32_t>(std::clamp(v, low, high));
}

CameraControls::CameraControls(V4l2Kernel& kernel, const std::string& path) : kernel_(kernel) {
    fd_ = kernel_.open(path);
    if (fd_ < 0) return;
    ids_[brightness] = V4L2_CID_BRIGHTNESS;
    query(V4L2_CID_BRIGHTNESS, ranges_[brightness]);
    ids_[gain] = V4L2_CID_GAIN;
    if (!query(V4L2_CID_GAIN, ranges_[gain])) {
        ids_[gain] = V4L2_CID_ANALOGUE_GAIN;
        query(V4L2_CID_ANALOGUE_GAIN, ranges_[gain]);
    }
    ids_[exposure] = V4L2_CID_EXPOSURE_ABSOLUTE;
    if (!query(V4L2_CID_EXPOSURE_ABSOLUTE, ranges_[exposure])) {
        ids_[exposure] = V4L2_CID_EXPOSURE;
        query(V4L2_CID_EXPOSURE, ranges_[exposure]);
    }
    ControlRange automatic;
    has_auto_exposure_ = query(V4L2_CID_EXPOSURE_AUTO, automatic);
}

CameraControls::~CameraControls() {
    if (fd_ >= 0) kernel_.close(fd_);
}

bool CameraControls::query(uint32_t id, ControlRange& range) {
    v4l2_queryctrl q{};
    q.id = id;
    if (kernel_.ioctl(fd_, VIDIOC_QUERYCTRL, &q) != 0) return false;
    if ((q.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) != 0) return false;
    if (q.type != V4L2_CTRL_TYPE_INTEGER && q.type != V4L2_CTRL_TYPE_MENU) return false;
    range.present = true;
    range.minimum = q.minimum;
    range.maximum = std::max(q.maximum, q.minimum);
    range.step = q.step > 0 ? q.step : 1;
    return true;
}

bool CameraControls::set(uint32_t id, int32_t value) {
    v4l2_control c{};
    c.id = id;
    c.value = value;
    return kernel_.ioctl(fd_, VIDIOC_S_CTRL, &c) == 0;
}

bool CameraControls::apply(Which which, double value, double slider_min, double slider_max) {
    const ControlRange& range = ranges_[which];
    if (!range.present) return false;
    if (which == exposure && has_auto_exposure_ && !manual_exposure_set_)
        manual_exposure_set_ = set(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
    return set(ids_[which], map_slider(value, slider_min, slider_max, range));
}
