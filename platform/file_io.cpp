#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>

namespace platform {
namespace {

// --- the fault seam ------------------------------------------------------------

std::atomic<bool> g_fault_on{false};
std::mutex g_fault_mutex;
std::optional<WriteFault> g_fault;  // guarded by g_fault_mutex
uint64_t g_fault_written = 0;       // guarded by g_fault_mutex

// How many of `size` bytes may be written; sets `strike` when the fault
// strikes within them.
size_t fault_allowance(size_t size, bool& strike, WriteFault& fault) {
    if (!g_fault_on.load(std::memory_order_relaxed)) return size;
    const std::lock_guard lock(g_fault_mutex);
    if (!g_fault) return size;
    const uint64_t left = g_fault->after_bytes > g_fault_written ? g_fault->after_bytes - g_fault_written : 0;
    size_t allowed = size;
    if (left < size) {
        allowed = static_cast<size_t>(left);
        strike = true;
        fault = *g_fault;
    }
    g_fault_written += allowed;
    return allowed;
}

// Writes all of `data`; false with `error` set when a write fails.
bool write_all(int fd, std::string_view data, int& error) {
    bool strike = false;
    WriteFault fault;
    const char* p = data.data();
    size_t left = fault_allowance(data.size(), strike, fault);
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (strike) {
        if (fault.kill) ::raise(SIGKILL);
        error = fault.error;
        return false;
    }
    return true;
}

// The last component of a path.
std::string name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

// A rename is durable only once its folder is on disk as well.
void sync_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

int open_temporary(const std::string& target, OutputFile::Temp temp, std::string& path) {
    if (temp == OutputFile::Temp::partial) {
        path = target + ".partial";  // the link is resolved already
        // Not through a link, and not into a pipe someone left under the name.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        struct stat st{};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            errno = EEXIST;
            return -1;
        }
        return fd;
    }
    static std::atomic<unsigned> counter{0};
    const std::string prefix = folder_of(target) + "/." + name_of(target) + ".tmp" + std::to_string(::getpid()) + "_";
    for (int attempt = 0; attempt < 16; ++attempt) {
        path = prefix + std::to_string(counter++);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string partial_file_of(const std::string& target) { return resolve_target(target) + ".partial"; }

bool is_device(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

bool name_taken(const std::string& name, std::initializer_list<std::string_view> companions) {
    struct stat st{};
    if (::lstat(name.c_str(), &st) == 0) return true;
    for (const std::string_view suffix : companions) {
        if (::lstat((name + std::string(suffix)).c_str(), &st) == 0) return true;
    }
    return false;
}

std::string next_free_name(const std::string& name, std::initializer_list<std::string_view> companions) {
    const size_t slash = name.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    // The extension starts at the last dot of the last component, not at its first character.
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot <= base) dot = name.size();
    size_t digits = dot;
    while (digits > base && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    const std::string stem = name.substr(0, digits), extension = name.substr(dot);
    // A long run of digits is a date or a serial, not a count to go on from.
    uint64_t number = 1;
    if (digits < dot && dot - digits <= 9) number = std::stoull(name.substr(digits, dot - digits));
    else if (digits < dot) return next_free_name(name.substr(0, dot) + "_" + extension, companions);
    for (;;) {
        const std::string candidate = stem + std::to_string(++number) + extension;
        if (!name_taken(candidate, companions)) return candidate;
    }
}

void set_write_fault(std::optional<WriteFault> fault) {
    const std::lock_guard lock(g_fault_mutex);
    g_fault = fault;
    g_fault_written = 0;
    g_fault_on.store(fault.has_value());
}

// --- OutputFile -------------------------------------------------------------------

bool OutputFile::open(const std::string& target_in, Temp temp, bool into_devices) {
    abandon();
    error_ = 0;
    whole_bytes_ = 0;
    target_ = target_in;
    if (target_in.empty()) {
        error_ = ENOENT;
        return false;
    }
    const std::string target = resolve_target(target_in);
    struct stat old{};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        if (!into_devices || !(S_ISCHR(old.st_mode) || S_ISFIFO(old.st_mode))) {
            error_ = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error_ = errno;
            return false;
        }
        own_fd_ = true;
        path_ = target_in;
        return true;
    }

    fd_ = open_temporary(target, temp, path_);
    if (fd_ < 0) {
        error_ = errno;
        // The folder takes no new file; a writable existing file can still be saved in place.
        if (!exists || ::access(target.c_str(), W_OK) != 0) return false;
        fd_ = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) {
            error_ = errno;
            return false;
        }
        error_ = 0;
        own_fd_ = truncatable_ = true;
        path_ = target_in;
        return true;
    }
    if (exists) (void)::fchmod(fd_, old.st_mode & 07777);
    own_fd_ = temporary_ = truncatable_ = true;
    keep_partial_ = temp == Temp::partial;
    rename_to_ = target;
    return true;
}

void OutputFile::use_descriptor(int fd, std::string name) {
    abandon();
    error_ = 0;
    whole_bytes_ = 0;
    fd_ = fd;
    target_ = path_ = std::move(name);
}

void OutputFile::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    // A piece cut short by a full disk must not stand as if it were whole.
    if (truncatable_ && fd_ >= 0) (void)::ftruncate(fd_, static_cast<off_t>(whole_bytes_));
}

bool OutputFile::write(std::string_view data) {
    if (fd_ < 0) {
        if (error_ == 0) error_ = EBADF;
        return false;
    }
    if (error_ != 0) return false;
    int error = 0;
    if (!write_all(fd_, data, error)) {
        fail(error);
        return false;
    }
    whole_bytes_ += data.size();
    return true;
}

void OutputFile::close_fd() {
    if (fd_ >= 0 && own_fd_ && ::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    own_fd_ = false;
    truncatable_ = false;
}

bool OutputFile::commit() {
    if (fd_ < 0 || error_ != 0) {
        if (error_ == 0) error_ = EBADF;
        abandon();
        return false;
    }
    // Devices and standard output are not flushed to a disk.
    if (truncatable_ && ::fsync(fd_) != 0) fail(errno);
    close_fd();
    if (error_ != 0) {
        abandon();
        return false;
    }
    if (temporary_) {
        temporary_ = false;
        if (::rename(path_.c_str(), rename_to_.c_str()) != 0) {
            error_ = errno;
            ::unlink(path_.c_str());
            return false;
        }
        sync_folder(folder_of(rename_to_));
    }
    return true;
}

void OutputFile::abandon() {
    close_fd();
    if (!temporary_) return;
    temporary_ = false;
    if (!keep_partial_ || whole_bytes_ == 0) ::unlink(path_.c_str());
}

// --- StreamWriter -------------------------------------------------------------------

namespace {
constexpr size_t kStreamChunk = size_t{64} << 10;
}

StreamWriter::StreamWriter(OutputFile& file, std::chrono::milliseconds period) : file_(file) {
    buffer_.reserve(kStreamChunk);
    flusher_ = std::thread([this, period] { run(period); });
}

void StreamWriter::flush_locked() {
    if (!buffer_.empty() && !failed_ && !file_.write(buffer_)) {
        failed_ = true;
        error_ = file_.error();
    }
    buffer_.clear();
}

int StreamWriter::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

void StreamWriter::run(std::chrono::milliseconds period) {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, period, [this] { return stopping_; });
        flush_locked();
    }
}

bool StreamWriter::append(std::string_view piece) {
    const std::lock_guard lock(mutex_);
    if (failed_) return false;
    buffer_.append(piece);
    if (buffer_.size() >= kStreamChunk) flush_locked();
    return !failed_;
}

bool StreamWriter::finish() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    const std::lock_guard lock(mutex_);
    flush_locked();
    return !failed_;
}

// --- whole files ------------------------------------------------------------------

WriteResult replace_file(const std::string& path, std::string_view data) {
    OutputFile file;
    if (!file.open(path)) return WriteResult::open_failed;
    return file.write(data) && file.commit() ? WriteResult::ok : WriteResult::write_failed;
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
