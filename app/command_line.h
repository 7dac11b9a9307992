#pragma once
// The program's command line: `velmora [SOURCE]` starts the window,
// `velmora track ...` runs the analysis without one (app/batch_main.h), and
// --help and --version answer without either.

#include <string>

// "velmora 1.0.0".
std::string version_line();

// Both forms, every flag with its default, the exit codes: what --help prints.
std::string program_usage();

enum class WindowStart {
    window,   // start the window, with argv[1] as its SOURCE when there is one
    help,     // print the usage on standard output, exit 0
    version,  // print the version line, exit 0
    refused   // a usage error: one line (`error`), then the usage, exit 2
};

// What `velmora ...` (not `velmora track`) asks for.
WindowStart window_start(int argc, const char* const* argv, std::string& error);

// The line a window start without a display gets (then the usage, exit 2).
inline constexpr char kNoDisplayLine[] =
    "no display: velmora needs X11; for a run without a window use velmora track";
