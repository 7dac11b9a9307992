#pragma once
// Small helpers shared by the tests: a private temporary folder, captured log
// streams, whole-file reads and writes, and a stand-in for the platform clocks.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/log.h"
#include "platform/timer.h"

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Both log streams captured as text.
struct CapturedLog {
    std::ostringstream out;
    std::ostringstream err;
    Log log() { return Log{out, err}; }
};

inline std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_whole_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The process's resident memory in bytes, from /proc; 0 when unknown.
inline uint64_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

inline bool file_exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

// Clocks that a test sets by hand. Install with platform::set_timer_source;
// the guard puts the real clocks back.
struct FakeClocks {
    static inline bool has_counter = true;
    static inline int64_t counter = 0;
    static inline uint32_t milliseconds = 0;
    static inline int64_t wall = 0;

    static int64_t read_counter() { return counter; }
    static uint32_t read_milliseconds() { return milliseconds; }
    static int64_t read_wall() { return wall; }
};

class FakeClockGuard {
public:
    explicit FakeClockGuard(bool has_counter) {
        FakeClocks::has_counter = has_counter;
        FakeClocks::counter = 0;
        FakeClocks::milliseconds = 0;
        FakeClocks::wall = 0;
        source_ = platform::TimerSource{has_counter, &FakeClocks::read_counter,
                                        &FakeClocks::read_milliseconds, &FakeClocks::read_wall};
        platform::set_timer_source(&source_);
    }
    ~FakeClockGuard() { platform::set_timer_source(nullptr); }
    FakeClockGuard(const FakeClockGuard&) = delete;
    FakeClockGuard& operator=(const FakeClockGuard&) = delete;

private:
    platform::TimerSource source_{};
};

inline bool running_as_root() { return ::geteuid() == 0; }

}  // namespace testing_support
