#pragma once
// Whole-file writes that never leave a half-written file where a good one stood.

#include <string>
#include <string_view>

namespace platform {

enum class WriteResult {
    ok,           // the file now holds exactly the given bytes
    open_failed,  // the file could not be created; nothing was written, the old file is untouched
    write_failed  // writing failed (disk full, I/O error); the old file is untouched
};

// Writes `data` to a temporary file in the target's folder, flushes it to disk
// and renames it over the target, so a failed or interrupted save leaves the
// old file as it was. A symbolic link is followed and its target replaced. An
// existing file keeps its permission bits. When the folder does not allow a new
// file but the target itself is writable, the target is overwritten in place,
// which is the only way such a file can be saved at all.
WriteResult replace_file(const std::string& path, std::string_view data);

// Reads a whole regular file into `out`. False when it cannot be opened, is not
// a regular file, is larger than `max_bytes`, or a read fails.
bool read_file(const std::string& path, std::string& out, size_t max_bytes);

}  // namespace platform
