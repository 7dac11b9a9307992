#pragma once
// `velmora track`: the batch run from the command line.
//
//   velmora track SOURCE... [--model MODEL.txt] [--session FILE] [--options FILE]
//                 [--csv OUT.csv] [--animation OUT.txt] [--out-dir DIR] [-j N]
//                 [--frames N] [--fps N] [--osc HOST:PORT] [--realtime] [settings flags]
//
// Runs the analysis over each SOURCE with the settings of the options file
// (the one the program itself uses unless --options names another) or of a
// session, and the settings flags over them, starting from the model file's
// chain (or the session's, or the chain the window starts with). One source
// writes its CSV to --csv (standard output without it) and, when asked, an
// animation file with its ".model" companion; several sources (or --out-dir)
// write DIR/NAME.csv each, -j of them at once. With --osc, one source's frames
// also go to another program as they are analysed (stream/osc_bundle.h),
// paced by a file's own times with --realtime. With a calibration (--calibration,
// a session's, and the quick forms --scale and --origin over it) the CSV and
// the stream gain world positions and every angle is measured in the
// calibrated plane. The CSV is written row by row as the frames come, except
// with --fill-gaps or --filter: those need the whole take, so the run keeps a
// compact table of the nodes and writes the CSV from it once the run is over
// (measure/take_kinematics.h). Needs no display.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/output_clash.h"
#include "base/extra_settings.h"
#include "calib/calibration.h"
#include "loop/batch_run.h"
#include "measure/take_kinematics.h"
#include "stream/osc_stream.h"

#include "base/options.h"

struct TrackArgs {
    std::vector<std::string> sources;
    std::string model;      // empty: the session's, else the chain the window starts with
    std::string options;    // empty: the program's own options file
    std::string session;    // empty: none
    std::string csv;        // empty or "-": standard output
    std::string animation;  // empty: none
    std::string out_dir;    // empty: the outputs --csv and --animation name
    int64_t frames = -1;    // -1: until the source ends
    double fps = 0;         // an image sequence's rate; 0: the one kept with the source, else 25
    int jobs = 0;           // sources analysed at once; 0: one per core
    int32_t threshold = 0;  // 1 to 255; 0: the options file's
    bool auto_threshold = false;  // --threshold auto: found on the first frame
    bool place_nodes = false;     // the chain onto the first frame's clusters
    std::string camera_mode;      // WxH@FPS[/FORMAT]; empty: the remembered one, or the device's own
    std::string calibration;          // empty: none (or the session's)
    std::optional<ScaleLevel> scale;  // --scale, over the calibration's scale level
    std::optional<AxesLevel> origin;  // --origin, over the calibration's axes level
    TakeProcessing processing;        // --fill-gaps and --filter
    bool help = false;
    bool version = false;
    OscTarget osc;          // port 0: no stream
    bool realtime = false;  // a file no faster than its own times
    // Settings given on the command line, over the options file's or the
    // session's; unset: theirs.
    std::optional<int32_t> method;  // an Options::cluster_method value
    std::optional<int32_t> max_distance;
    std::optional<int32_t> min_size;
    std::optional<int32_t> max_track_distance;
    std::optional<int32_t> min_node_distance;
    std::optional<int32_t> memory;  // frames carried; 0 off
    // The flags given, in the order given.
    std::vector<std::string_view> given;
};

// What a run works with once the options file or session is read and the
// flags are applied over it.
struct TrackSettings {
    BatchSettings batch;
    ExtraSettings extras;
    std::string origin;  // where the settings came from, as the settings line says it
    OscTarget osc;       // where every frame is streamed; port 0: nowhere
    // What every number is measured with: the session's or the file's
    // calibration, the quick forms over it; empty: none. Made ready for each
    // source's pictures on its first frame.
    Calibration calibration;
    std::string calibration_from;  // the file it came from, as the settings line says it
    TakeProcessing processing;     // over the whole take, after the run
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
    // For a setting: puts the value given onto the settings in force once the
    // options file or session is read. Rows given are applied in the table's
    // order, whatever their order on the command line. False, with a reason,
    // when the value does not fit the settings it meets. Null: not a setting.
    bool (*apply)(const TrackArgs& args, TrackSettings& settings, std::string& error) = nullptr;
    // Appends ", <setting> <value in force>" to the settings line; null: the
    // line does not show it (the analysis settings are always shown).
    void (*show)(const TrackSettings& settings, std::string& line) = nullptr;
};

std::span<const TrackFlag> track_flags();

// The usage text: the command and every flag with its default, one per line.
std::string track_usage();

// The arguments after "track". False with a one-line reason for anything
// missing, unknown, repeated or malformed. --help and --version need nothing else.
bool parse_track_args(int argc, const char* const* argv, TrackArgs& args, std::string& error);

// Why the analysis cannot run with these options' threshold, or empty when it
// can: 0 runs no clustering, so no marker would ever be found, and a value
// outside 0 to 255 (only an options file can hold one) would be cut to its
// low 8 bits by the window.
std::string threshold_refusal(const Options& options);

// Every file a run reads: the sources, the model, the session or else the
// options file and its extra settings (`options_file` is the one the run reads, named or the
// program's own; `extras_beside` the options file beside which the extras lie).
std::vector<RunFile> track_inputs(const TrackArgs& args, const std::string& options_file,
                                  const std::string& extras_beside);
// Every file a run writes: the CSV (or each source's in --out-dir) and its
// partial file, the animation and its model. Standard output and absent outputs are left out.
std::vector<RunFile> track_outputs(const TrackArgs& args);

// Puts the settings flags given onto `settings`, in the table's order.
bool apply_track_flags(const TrackArgs& args, TrackSettings& settings, std::string& error);

// The settings in force, as the run's first line on standard error says them:
// threshold, method and its limits, tracking distances, memory, flip, then
// what every flag's `show` adds, and where the settings came from.
std::string settings_line(const TrackSettings& settings);

// The CSV a source gets in --out-dir: its last path component without its
// extension, ".csv" appended ("runs/a.mp4" -> "a.csv", "shots/" -> "shots.csv").
std::string csv_name_for(const std::string& source);

// Whether argv asks for the batch run rather than the program's window.
bool is_track_command(int argc, const char* const* argv);

// Exit status: 0 when every frame of every source was analysed and every
// output written; 2 for a command line it cannot use; 1 when a source, model,
// session, options file or output fails, when the threshold in force finds
// nothing (0, which runs no clustering, or one outside 0 to 255), when a file
// holds no picture, and when a file held damaged data (the outputs then hold
// the frames done, or decoded); 130 when stopped by Ctrl-C (the outputs then
// hold the frames done). Every failure writes one line to standard error.
int batch_main(int argc, char** argv);
