#pragma once
// The console log: progress and most error lines go to the error stream, the
// success lines of the options and file operations to the output stream.
// Every entry begins with a line break and has none at its end.

#include <iostream>
#include <ostream>

struct Log {
    std::ostream& out;  // standard output
    std::ostream& err;  // standard error
};

// The process's standard streams.
inline Log console_log() { return Log{std::cout, std::cerr}; }
