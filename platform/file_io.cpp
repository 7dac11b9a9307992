#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

bool write_all(int fd, std::string_view data) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Splits a path into its folder ("." when none) and its last component.
void split_path(const std::string& path, std::string& folder, std::string& name) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// The file a save really replaces: a symbolic link is resolved so the link
// itself survives and the file it points at gets the new content.
std::string resolve_target(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char buf[PATH_MAX];
        if (::realpath(path.c_str(), buf) != nullptr) return buf;
    }
    return path;
}

WriteResult overwrite_in_place(const std::string& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return WriteResult::open_failed;
    const bool ok = write_all(fd, data);
    const bool closed = ::close(fd) == 0;
    return ok && closed ? WriteResult::ok : WriteResult::write_failed;
}

}  // namespace

WriteResult replace_file(const std::string& path_in, std::string_view data) {
    if (path_in.empty()) return WriteResult::open_failed;
    const std::string path = resolve_target(path_in);

    struct stat old{};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    // Only regular files are replaced: a folder, a device or a pipe under this
    // name is not a file the user meant to overwrite.
    if (exists && !S_ISREG(old.st_mode)) return WriteResult::open_failed;

    static std::atomic<unsigned> counter{0};
    std::string folder, name;
    split_path(path, folder, name);
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = folder + "/." + name + ".tmp" + std::to_string(::getpid()) + "_" +
              std::to_string(counter++);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        // The folder takes no new file; a writable existing file can still be saved in place.
        if (exists && ::access(path.c_str(), W_OK) == 0) return overwrite_in_place(path, data);
        return WriteResult::open_failed;
    }
    if (exists) (void)::fchmod(fd, old.st_mode & 07777);

    bool ok = write_all(fd, data);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return WriteResult::write_failed;
    }
    return WriteResult::ok;
}

bool read_file(const std::string& path, std::string& out, size_t max_bytes) {
    // Non-blocking, so a pipe under this name cannot stall the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > max_bytes) {
        ::close(fd);
        return false;
    }
    out.clear();
    char buf[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        if (out.size() + static_cast<size_t>(n) > max_bytes) {
            ok = false;
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace platform
