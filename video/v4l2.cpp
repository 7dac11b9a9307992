#include "video/v4l2.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
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

std::string fourcc_text(uint32_t code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) text += static_cast<char>((code >> shift) & 0xff);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The sizes and rates listed between the ends of a range a driver gives.
constexpr int32_t kCommonSizes[][2] = {{160, 120}, {320, 240}, {640, 480}, {800, 600},
                                       {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
constexpr double kCommonRates[] = {5, 10, 15, 20, 25, 30, 50, 60, 90, 120};

bool on_steps(int32_t v, uint32_t min, uint32_t max, uint32_t step) {
    return v >= static_cast<int64_t>(min) && v <= static_cast<int64_t>(max) &&
           (step == 0 || (static_cast<uint32_t>(v) - min) % step == 0);
}

std::string errno_text(int error) { return std::strerror(error); }

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
        // FFmpeg's capture reads single-plane buffers only.
        if ((caps & V4L2_CAP_VIDEO_CAPTURE) == 0) continue;
        std::string card = fixed_text(cap.card, sizeof cap.card);
        devices.push_back(CaptureDevice{path, card.empty() ? path : card});
    }
    return devices;
}

std::string CameraMode::text() const {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", fps);
    std::string t = std::to_string(width) + "x" + std::to_string(height) + "@" + rate;
    if (!format.empty()) t += "/" + format;
    return t;
}

std::optional<CameraMode> parse_camera_mode(const std::string& text, std::string& error) {
    CameraMode mode;
    const size_t x = text.find('x'), at = text.find('@', x == std::string::npos ? 0 : x);
    const size_t slash = text.find('/', at == std::string::npos ? 0 : at);
    const auto whole = [](const std::string& t, int32_t& v) {
        if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos) return false;
        v = std::stoi(t);
        return v > 0;
    };
    bool ok = x != std::string::npos && at != std::string::npos && whole(text.substr(0, x), mode.width) &&
              whole(text.substr(x + 1, at - x - 1), mode.height);
    if (ok) {
        const std::string rate = text.substr(at + 1, slash == std::string::npos ? std::string::npos : slash - at - 1);
        char* end = nullptr;
        mode.fps = rate.empty() || rate.size() > 8 ? 0.0 : std::strtod(rate.c_str(), &end);
        ok = end != nullptr && *end == '\0' && mode.fps > 0 && mode.fps <= 1000;
    }
    if (ok && slash != std::string::npos) {
        mode.format = text.substr(slash + 1);
        ok = !mode.format.empty() && mode.format.size() <= 4;
        for (char& c : mode.format) {
            ok = ok && std::isalnum(static_cast<unsigned char>(c));
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (!ok) {
        error = "needs a mode such as 640x480@30 or 1280x720@60/MJPG";
        return std::nullopt;
    }
    return mode;
}

std::string ffmpeg_format_name(const std::string& fourcc) {
    static const std::pair<const char*, const char*> names[] = {
        {"MJPG", "mjpeg"},   {"JPEG", "mjpeg"},   {"H264", "h264"},    {"YUYV", "yuyv422"}, {"UYVY", "uyvy422"},
        {"YVYU", "yvyu422"}, {"GREY", "gray"},    {"Y16", "gray16le"}, {"NV12", "nv12"},    {"NV21", "nv21"},
        {"YU12", "yuv420p"}, {"YV12", "yuv420p"}, {"RGB3", "rgb24"},   {"BGR3", "bgr24"},   {"422P", "yuv422p"}};
    for (const auto& [code, name] : names)
        if (fourcc == code) return name;
    return {};
}

std::vector<CameraMode> list_camera_modes(V4l2Kernel& kernel, const std::string& path) {
    std::vector<CameraMode> modes;
    const int fd = kernel.open(path);
    if (fd < 0) return modes;
    const auto add_rates = [&](CameraMode mode, uint32_t pixel_format) {
        v4l2_frmivalenum ival{};
        ival.pixel_format = pixel_format;
        ival.width = static_cast<uint32_t>(mode.width);
        ival.height = static_cast<uint32_t>(mode.height);
        const auto rate = [](const v4l2_fract& f) { return f.numerator > 0 ? double(f.denominator) / f.numerator : 0.0; };
        const size_t before = modes.size();
        for (ival.index = 0; kernel.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) == 0; ++ival.index) {
            if (ival.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                mode.fps = rate(ival.discrete);
                modes.push_back(mode);
                continue;
            }
            // A range of intervals: the fastest rate, the common ones, the slowest.
            const double fastest = rate(ival.stepwise.min), slowest = rate(ival.stepwise.max);
            std::vector<double> rates{fastest};
            for (auto it = std::rbegin(kCommonRates); it != std::rend(kCommonRates); ++it)
                if (*it < fastest && *it > slowest) rates.push_back(*it);
            if (slowest > 0 && slowest < fastest) rates.push_back(slowest);
            for (const double fps : rates) {
                mode.fps = fps;
                modes.push_back(mode);
            }
            break;
        }
        if (modes.size() == before) {  // no rates listed: the device's own
            mode.fps = 0.0;
            modes.push_back(mode);
        }
    };
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; kernel.ioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        CameraMode mode;
        mode.format = fourcc_text(format.pixelformat);
        mode.description = fixed_text(format.description, sizeof format.description);
        v4l2_frmsizeenum size{};
        size.pixel_format = format.pixelformat;
        for (size.index = 0; kernel.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                mode.width = static_cast<int32_t>(size.discrete.width);
                mode.height = static_cast<int32_t>(size.discrete.height);
                add_rates(mode, format.pixelformat);
                continue;
            }
            // A range of sizes: the common sizes within it, then its largest.
            const v4l2_frmsize_stepwise& r = size.stepwise;
            for (const auto& [w, h] : kCommonSizes) {
                if (!on_steps(w, r.min_width, r.max_width, r.step_width) ||
                    !on_steps(h, r.min_height, r.max_height, r.step_height))
                    continue;
                mode.width = w;
                mode.height = h;
                add_rates(mode, format.pixelformat);
            }
            if (mode.width != static_cast<int32_t>(r.max_width) || mode.height != static_cast<int32_t>(r.max_height)) {
                mode.width = static_cast<int32_t>(r.max_width);
                mode.height = static_cast<int32_t>(r.max_height);
                add_rates(mode, format.pixelformat);
            }
            break;
        }
    }
    kernel.close(fd);
    return modes;
}

int32_t map_slider(double value, double slider_min, double slider_max, const ControlRange& control) {
    const double span = slider_max - slider_min;
    const double fraction = span > 0 ? std::clamp((value - slider_min) / span, 0.0, 1.0) : 0.0;
    const double low = control.minimum;
    const double high = std::max(control.maximum, control.minimum);
    const double step = control.step > 0 ? control.step : 1;
    double v = low + fraction * (high - low);
    if (control.logarithmic && high > low) {
        // Even ratios from the lowest value above 0 (shifted where the range
        // starts at or below 0).
        const double shift = low < 1 ? 1 - low : 0;
        v = (low + shift) * std::pow((high + shift) / (low + shift), fraction) - shift;
    }
    v = low + std::round((v - low) / step) * step;
    // A range that is not a whole number of steps: the last step below the top.
    while (v > high) v -= step;
    return static_cast<int32_t>(std::clamp(v, low, high));
}

double slider_position(int32_t value, double slider_min, double slider_max, const ControlRange& control) {
    const double low = control.minimum;
    const double high = std::max(control.maximum, control.minimum);
    if (high <= low) return slider_min;
    const double v = std::clamp(static_cast<double>(value), low, high);
    double fraction = (v - low) / (high - low);
    if (control.logarithmic) {
        const double shift = low < 1 ? 1 - low : 0;
        fraction = std::log((v + shift) / (low + shift)) / std::log((high + shift) / (low + shift));
    }
    return slider_min + fraction * (slider_max - slider_min);
}

CameraControls::CameraControls(V4l2Kernel& kernel, const std::string& path) : kernel_(kernel), path_(path) {
    fd_ = kernel_.open(path);
    if (fd_ < 0) return;

    // Automatic exposure: manual where its menu has it, else shutter
    // priority (exposure time fixed, the rest automatic).
    ControlRange automatic;
    if (query(V4L2_CID_EXPOSURE_AUTO, automatic) && get(V4L2_CID_EXPOSURE_AUTO, exposure_mode_before_)) {
        for (const int32_t item : {int32_t{V4L2_EXPOSURE_MANUAL}, int32_t{V4L2_EXPOSURE_SHUTTER_PRIORITY}}) {
            v4l2_querymenu menu{};
            menu.id = V4L2_CID_EXPOSURE_AUTO;
            menu.index = static_cast<uint32_t>(item);
            if (item < automatic.minimum || item > automatic.maximum) continue;
            if (kernel_.ioctl(fd_, VIDIOC_QUERYMENU, &menu) != 0) continue;
            manual_exposure_ = item;
            break;
        }
    }
    ControlRange auto_gain;
    has_auto_gain_ = query(V4L2_CID_AUTOGAIN, auto_gain);

    const auto take = [&](Which which, std::initializer_list<uint32_t> ids, bool switchable) {
        for (const uint32_t id : ids) {
            uint32_t flags = 0;
            if (!query(id, ranges_[which], &flags)) continue;
            ids_[which] = id;
            // Inactive because the automatic mode is on, which a slider move
            // switches off: still for the operator to set.
            const bool inactive = (flags & V4L2_CTRL_FLAG_INACTIVE) != 0 && !switchable;
            ranges_[which].active = !inactive && (flags & V4L2_CTRL_FLAG_GRABBED) == 0;
            if (!get(id, initial_[which])) initial_[which] = ranges_[which].minimum;
            return;
        }
    };
    take(brightness, {V4L2_CID_BRIGHTNESS}, false);
    take(gain, {V4L2_CID_GAIN, V4L2_CID_ANALOGUE_GAIN}, has_auto_gain_);
    take(exposure, {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE}, manual_exposure_ >= 0);
    ranges_[exposure].logarithmic = ranges_[exposure].present;
}

CameraControls::~CameraControls() {
    if (fd_ < 0) return;
    if (exposure_switched_ && exposure_mode_before_ >= 0) (void)set(V4L2_CID_EXPOSURE_AUTO, exposure_mode_before_, "exposure mode");
    kernel_.close(fd_);
}

bool CameraControls::query(uint32_t id, ControlRange& range, uint32_t* flags) {
    v4l2_queryctrl q{};
    q.id = id;
    if (kernel_.ioctl(fd_, VIDIOC_QUERYCTRL, &q) != 0) return false;
    if ((q.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) != 0) return false;
    if (q.type != V4L2_CTRL_TYPE_INTEGER && q.type != V4L2_CTRL_TYPE_MENU && q.type != V4L2_CTRL_TYPE_BOOLEAN)
        return false;
    range.present = true;
    range.minimum = q.minimum;
    range.maximum = std::max(q.maximum, q.minimum);
    range.step = q.step > 0 ? q.step : 1;
    if (flags != nullptr) *flags = q.flags;
    return true;
}

bool CameraControls::get(uint32_t id, int32_t& value) {
    v4l2_control c{};
    c.id = id;
    if (kernel_.ioctl(fd_, VIDIOC_G_CTRL, &c) != 0) return false;
    value = c.value;
    return true;
}

bool CameraControls::set(uint32_t id, int32_t value, const char* what) {
    v4l2_control c{};
    c.id = id;
    c.value = value;
    if (kernel_.ioctl(fd_, VIDIOC_S_CTRL, &c) == 0) return true;
    error_ = std::string("could not set ") + what + " of " + path_ + " to " + std::to_string(value) + ": " +
             errno_text(errno);
    return false;
}

bool CameraControls::apply(Which which, double value, double slider_min, double slider_max) {
    static const char* const names[] = {"brightness", "gain", "exposure"};
    error_.clear();
    const ControlRange& range = ranges_[which];
    if (!range.present) {
        error_ = path_ + " has no " + names[which] + " control";
        return false;
    }
    if (which == exposure && manual_exposure_ >= 0 && !exposure_switched_) {
        if (!set(V4L2_CID_EXPOSURE_AUTO, manual_exposure_, "exposure mode")) return false;
        exposure_switched_ = true;
    }
    if (which == gain && has_auto_gain_ && !gain_switched_) {
        if (!set(V4L2_CID_AUTOGAIN, 0, "automatic gain")) return false;
        gain_switched_ = true;
    }
    return set(ids_[which], map_slider(value, slider_min, slider_max, range), names[which]);
}
