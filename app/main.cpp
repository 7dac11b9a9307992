#include <iostream>
#include <string>

#include "app/batch_main.h"
#include "app/command_line.h"
#include "app/velmora_main.h"
#include "platform/displays.h"

int main(int argc, char** argv) {
    // "velmora track ..." analyses without a window; anything else is the program.
    if (is_track_command(argc, argv)) return batch_main(argc, argv);
    std::string error;
    switch (window_start(argc, argv, error)) {
        case WindowStart::help:
            std::cout << program_usage() << std::flush;
            return 0;
        case WindowStart::version:
            std::cout << version_line() << '\n' << std::flush;
            return 0;
        case WindowStart::refused:
            std::cerr << "velmora: " << error << '\n' << program_usage() << std::flush;
            return 2;
        case WindowStart::window:
            break;
    }
    // The toolkit would end the process with a bare "Can't open display" and 0.
    if (!display_reachable()) {
        std::cerr << kNoDisplayLine << '\n' << program_usage() << std::flush;
        return 2;
    }
    return velmora_main(argc, argv);
}
