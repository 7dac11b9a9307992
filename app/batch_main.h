#pragma once
// `velmora track`: the batch run from the command line.
//
//   velmora track SOURCE --model MODEL.txt [--options FILE] [--csv OUT.csv]
//                 [--animation OUT.txt] [--frames N] [--fps N]
//
// Runs the analysis over SOURCE with the settings of the options file (the
// one the program itself uses unless --options names another) and the node
// memory kept beside it, starting from the model file's chain. Writes the CSV
// (to standard output without --csv) and, when asked, an animation file with
// its ".model" companion. Needs no display.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/options.h"

struct TrackArgs {
    std::string source;
    std::string model;
    std::string options;    // empty: the program's own options file
    std::string csv;        // empty: standard output
    std::string animation;  // empty: none
    int64_t frames = -1;    // -1: until the source ends
    double fps = 0;         // an image sequence's rate; 0: the one kept with the source, else 25
    int32_t threshold = 0;  // 1 to 255; 0: the options file's
    bool auto_threshold = false;  // --threshold auto: found on the first frame
    bool place_nodes = false;     // the chain onto the first frame's clusters
    std::string camera_mode;      // WxH@FPS[/FORMAT]; empty: the remembered one, or the device's own
};

// One flag of `velmora track`. The command line, its checks and the usage text
// all come from the one table of these (track_flags), so a new flag is one
// row and a field of TrackArgs.
struct TrackFlag {
    std::string_view name;      // "--model"
    std::string_view value;     // what its value looks like ("MODEL.txt"); empty for a switch
    std::string_view fallback;  // what holds without it, as the usage says it; empty: nothing
    std::string_view help;      // one line
    // Stores the value (empty for a switch). False, with a one-line reason
    // that names the flag, for a value it refuses.
    bool (*take)(TrackArgs& args, std::string_view value, std::string& error);
};

std::span<const TrackFlag> track_flags();

// The usage text: the command and every flag with its default, one per line.
std::string track_usage();

// The arguments after "track". False with a one-line reason for anything
// missing, unknown, repeated or malformed.
bool parse_track_args(int argc, const char* const* argv, TrackArgs& args, std::string& error);

// Why the analysis cannot run with these options' threshold, or empty when it
// can: 0 runs no clustering, so no marker would ever be found, and a value
// outside 0 to 255 (only an options file can hold one) would be cut to its
// low 8 bits by the window.
std::string threshold_refusal(const Options& options);

// Whether argv asks for the batch run rather than the program's window.
bool is_track_command(int argc, const char* const* argv);

// Exit status: 0 when every frame was analysed and every output written; 2
// for a command line it cannot use; 1 when a source, model, options file or
// output fails, when the threshold in force finds nothing (0, which runs no
// clustering, or one outside 0 to 255), when a file holds no picture, and
// when a file held damaged data (the outputs then hold the frames done, or
// decoded); 130 when stopped by Ctrl-C (the outputs then hold the frames
// done). Every failure writes one line to standard error.
int batch_main(int argc, char** argv);
