#pragma once
// A scratch file per fuzz process that each input is written to, so the
// readers run exactly as the program runs them: on a named regular file.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_file {

inline std::string scratch_path(const char* what) {
    return (std::filesystem::temp_directory_path() /
            ("velmora-fuzz-" + std::to_string(::getpid()) + "-" + what))
        .string();
}

inline void write(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) std::abort();
        data += n;
        size -= static_cast<size_t>(n);
    }
    ::close(fd);
}

// Stops the run with the violation, so libFuzzer keeps the input.
inline void require(const std::string& violation) {
    if (violation.empty()) return;
    std::fprintf(stderr, "reader check failed: %s\n", violation.c_str());
    std::abort();
}

}  // namespace fuzz_file
