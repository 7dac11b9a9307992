#include "base/options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/file_io.h"

namespace {

constexpr char kDefaultPath[] = "output.txt";

// Reads exactly n bytes; false on a short read or an error.
bool read_exactly(int fd, void* buffer, size_t n) {
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

void reset_options(Options& o) {
    o.cluster_method = 0;
    o.show_thresholding = 0;
    o.y_invert = 1;
    std::memcpy(o.save_path, kDefaultPath, sizeof kDefaultPath);
    std::memcpy(o.load_path, kDefaultPath, sizeof kDefaultPath);
    o.frame_width = 480;
    o.frame_height = 360;
    o.camera_brightness = 512;
    o.camera_gain = 128;
    o.camera_shutter = 120;
    o.fullscreen_width = 800;
    o.fullscreen_height = 600;
    o.fullscreen_x = 1280;
    o.fullscreen_y = 0;
    o.threshold = 0;
    o.kmeans_iterations = 5;
    o.kmeans_threads = 1;
    o.kmeans_clusters = 3;
    o.regiongrow_max_distance = 80;
    o.regiongrow_max_cluster_size = 5000;
    o.regiongrow_min_cluster_size = 20;
    o.min_node_distance = 10;
    o.max_track_distance = 30;
    o.animation_buffer_frames = 1000;
    o.node_count = 3;
    o.line_width = 1;
    o.sensor_max_radius = 20;
}

Options default_options() {
    Options o;
    std::memset(&o, 0, sizeof o);
    o.cure_max_distance = 80;
    o.cure_max_cluster_size = 5000;
    o.cure_min_cluster_size = 20;
    reset_options(o);
    return o;
}

void load_options(const std::string& file_name, Options& options, Log log) {
    // A missing file (or an empty name) is the first start: silent defaults.
    struct stat st{};
    if (file_name.empty() || ::stat(file_name.c_str(), &st) != 0) {
        reset_options(options);
        return;
    }
    // Non-blocking, so a FIFO or device under this name cannot stall start-up.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat opened{};
    if (fd < 0 || ::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        if (fd >= 0) ::close(fd);
        log.err << "\ncould not open and load " << file_name;
        return;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    log.out << "\n options file size:" << static_cast<long long>(size);
    ::lseek(fd, 0, SEEK_SET);

    if (size == static_cast<off_t>(kOptionsFileSize)) {
        // Read into a scratch block first: a read that fails half-way must not
        // leave the settings half old, half new.
        Options loaded;
        if (read_exactly(fd, &loaded, sizeof loaded)) {
            options = loaded;
            log.out << "\noptions loaded from " << file_name;
        } else {
            log.err << "\ncould not open and load " << file_name;
        }
    } else {
        log.err << "\nfilesize of " << file_name << " differs from needed size of " << kOptionsFileSize
                << " bytes. Probably you have updated to a newer version of this program. simply "
                   "re-adjust your settings and restart.";
        reset_options(options);
    }
    ::close(fd);
}

bool save_options(const std::string& file_name, const Options& options, Log log) {
    log.out << "\nsize of option:" << kOptionsFileSize;
    const auto result = platform::replace_file(
        file_name, std::string_view(reinterpret_cast<const char*>(&options), sizeof options));
    if (result == platform::WriteResult::ok) {
        log.out << "\noptions saved to " << file_name;
        return true;
    }
    log.err << "\ncould NOT save options to " << file_name;
    return false;
}

bool store_path(char (&field)[1024], const std::string& path) {
    if (path.size() >= sizeof field) return false;
    std::memcpy(field, path.c_str(), path.size() + 1);
    return true;
}
