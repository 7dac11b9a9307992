#pragma once
// Every file the program writes goes through here, so none is ever left half
// written where a good one stood: the bytes go to a temporary file in the
// target's folder, which is flushed to disk and renamed over the target.

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

// A file written piece by piece that takes its name only when complete.
class OutputFile {
public:
    // Where the pieces wait for commit().
    enum class Temp {
        hidden,  // ".NAME.tmpPID_N", removed when the file is abandoned
        partial  // "NAME.partial": a long stream the user can find after a kill
    };

    OutputFile() = default;
    // An open file that was not committed is abandoned.
    ~OutputFile() { abandon(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens a regular file (or a new name) through a temporary file of the
    // kind `temp`. A symbolic link is followed and its target replaced; an
    // existing file keeps its permission bits. A folder that takes no new file
    // but a writable target is written in place, the one way such a file can
    // be saved at all. With `into_devices`, a character device or a pipe under
    // the name (/dev/null, a FIFO) is written straight into; otherwise, as a
    // folder or any other kind of file, it is refused. False with error() set.
    bool open(const std::string& target, Temp temp = Temp::hidden, bool into_devices = false);
    // Writes straight into an open descriptor (standard output), which stays open.
    void use_descriptor(int fd, std::string name);

    // False once any write failed; later writes are refused. A failed write
    // leaves the temporary file ending after the last piece written whole.
    bool write(std::string_view data);
    // Flushes the file to disk and renames it over the target. False when any
    // write or the flush failed: the target is then untouched.
    bool commit();
    // Gives up: a hidden temporary file is removed, a partial one keeps the
    // pieces written whole (and goes when it holds none). Nothing is renamed.
    void abandon();

    const std::string& target() const { return target_; }
    // Where the bytes go until commit: the temporary file, or the target.
    const std::string& writing_to() const { return path_; }
    bool is_open() const { return fd_ >= 0; }
    // errno of the first failure, 0 while none.
    int error() const { return error_; }

private:
    void fail(int error);
    void close_fd();

    int fd_ = -1;
    bool own_fd_ = false;
    bool temporary_ = false;   // path_ is a temporary file renamed at commit
    bool keep_partial_ = false;
    bool truncatable_ = false;  // a regular file this object may cut back after a failed write
    std::string target_;     // as the caller named it
    std::string rename_to_;  // the file the temporary one replaces (a link resolved)
    std::string path_;
    uint64_t whole_bytes_ = 0;  // the file's size after the last piece written whole
    int error_ = 0;
};

// Text appended to an OutputFile in whole pieces (rows) and written through
// whenever 64 KiB gather and, by a thread of its own, at least once a period,
// so a run that is killed leaves on disk every piece appended more than a
// period before, each one whole.
class StreamWriter {
public:
    explicit StreamWriter(OutputFile& file, std::chrono::milliseconds period = std::chrono::seconds(1));
    // Writes what is left; the file is not committed.
    ~StreamWriter() { finish(); }
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    // False once a write failed; the piece is dropped then.
    bool append(std::string_view piece);
    // Writes what is left and stops the thread. False when any write failed.
    bool finish();
    // errno of the failed write, 0 while none; safe while the thread runs.
    int error() const;

private:
    void flush_locked();
    void run(std::chrono::milliseconds period);

    OutputFile& file_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::string buffer_;  // guarded by mutex_, as are the writes to file_
    bool failed_ = false;
    int error_ = 0;
    bool stopping_ = false;
    std::thread flusher_;
};

enum class WriteResult {
    ok,           // the file now holds exactly the given bytes
    open_failed,  // the file could not be created; nothing was written, the old file is untouched
    write_failed  // writing failed (disk full, I/O error); the old file is untouched
};

// A whole file at once, through an OutputFile with a hidden temporary file.
WriteResult replace_file(const std::string& path, std::string_view data);

// Reads a whole regular file into `out`. False when it cannot be opened, is not
// a regular file, is larger than `max_bytes`, or a read fails.
bool read_file(const std::string& path, std::string& out, size_t max_bytes);

// The folder part of a path ("." when it has none, "/" for a file in the root).
std::string folder_of(const std::string& path);

// The partial file of a target (OutputFile::Temp::partial): beside the file a
// symbolic link points at, with ".partial" appended.
std::string partial_file_of(const std::string& target);

// A character device or a pipe: what OutputFile writes straight into.
bool is_device(const std::string& path);

// Whether anything (a file, a folder, a dangling link) has the name, or the
// name with one of the `companions` suffixes appended.
bool name_taken(const std::string& name, std::initializer_list<std::string_view> companions = {});

// The next name after `name` that no file takes, counting on from the number
// at the end of its stem: "take1.txt" gives "take2.txt" (or "take3.txt" when
// that is taken), "walk.csv" gives "walk2.csv". Companions as for name_taken.
std::string next_free_name(const std::string& name, std::initializer_list<std::string_view> companions = {});

// Test seam: a disk that fills up or a process that dies in the middle of a
// write. Counting from the call, `after_bytes` bytes written through this
// layer succeed; the write that would pass them writes up to the mark and
// then fails with `error` (as do all later ones) or, with `kill`, the process
// kills itself there with SIGKILL. nullopt ends the fault.
struct WriteFault {
    uint64_t after_bytes = 0;
    int error = ENOSPC;
    bool kill = false;
};
void set_write_fault(std::optional<WriteFault> fault);

}  // namespace platform
