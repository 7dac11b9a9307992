#pragma once
// `velmora track`: the batch run from the command line.
//
//   velmora track SOURCE --model MODEL.txt [--options FILE] [--csv OUT.csv]
//                 [--animation OUT.txt] [--frames N] [--osc HOST:PORT] [--realtime]
//
// Runs the analysis over SOURCE with the settings of the options file (the
// one the program itself uses unless --options names another) and the node
// memory kept beside it, starting from the model file's chain. Writes the CSV
// (to standard output without --csv) and, when asked, an animation file with
// its ".model" companion; with --osc, streams every frame to another program
// as it is analysed (stream/osc_bundle.h), paced by a file's own times with
// --realtime. Needs no display.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "stream/osc_stream.h"

struct TrackArgs {
    std::string source;
    std::string model;
    std::string options;    // empty: the program's own options file
    std::string csv;        // empty: standard output
    std::string animation;  // empty: none
    int64_t frames = -1;    // -1: until the source ends
    int32_t threshold = 0;  // 1 to 255; 0: the options file's
    bool auto_threshold = false;  // --threshold auto: found on the first frame
    bool place_nodes = false;     // the chain onto the first frame's clusters
    std::string camera_mode;      // WxH@FPS[/FORMAT]; empty: the remembered one, or the device's own
    OscTarget osc;          // port 0: no stream
    bool realtime = false;  // a file no faster than its own times
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

// Whether argv asks for the batch run rather than the program's window.
bool is_track_command(int argc, const char* const* argv);

// Exit status: 0 when every frame was analysed and every output written; 2
// for a command line it cannot use; 1 when a source, model, options file or
// output fails, and when a file held damaged data (the outputs then hold the
// frames done, or decoded); 130 when stopped by Ctrl-C (the outputs then hold
// the frames done). Every failure writes one line to standard error.
int batch_main(int argc, char** argv);
