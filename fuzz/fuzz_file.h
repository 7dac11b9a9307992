#pragma once
// A scratch file per fuzz process that each input is written to, for a reader
// whose work is the file access itself.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
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

}  // namespace fuzz_file
