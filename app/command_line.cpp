#include "app/command_line.h"

#include <string_view>

#include "app/batch_main.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

std::string version_line() {
    return std::string("velmora ") + VELMORA_VERSION;
}

std::string program_usage() {
    return "usage: velmora [SOURCE]\n"
           "       velmora track SOURCE... [FLAG VALUE ...]\n"
           "       velmora --help | --version\n"
           "\n"
           "velmora [SOURCE] opens the window and analyses SOURCE: a video file, a printf\n"
           "pattern such as shots/f%04d.png, a folder of images, a V4L2 device such as\n"
           "/dev/video0, or synthetic (default: the source last opened, else synthetic).\n"
           "It needs an X11 display.\n"
           "\n"
           "velmora track runs the analysis without a window over each SOURCE, -j at once;\n"
           "its settings are the window's (its options file), a session's, and the flags:\n" +
           track_usage().substr(track_usage().find('\n') + 1) +
           "\n"
           "Exit status: 0 done; 1 a source, model, session, options file or output failed,\n"
           "or a file held damaged data; 2 a command line that cannot be used, or no display\n"
           "for the window; 130 stopped by Ctrl-C. See velmora(1).\n";
}

WindowStart window_start(int argc, const char* const* argv, std::string& error) {
    bool have_source = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "--help" || arg == "-h") return WindowStart::help;
        if (arg == "--version") return WindowStart::version;
        if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg) +
                    " (the window takes only a SOURCE; flags are for velmora track)";
            return WindowStart::refused;
        }
        if (have_source) {
            error = "one SOURCE only, got \"" + std::string(argv[1]) + "\" and \"" +
                    std::string(arg) + "\"";
            return WindowStart::refused;
        }
        have_source = true;
    }
    return WindowStart::window;
}
