#include "app/batch_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include "app/batch_progress.h"
#include "app/command_line.h"
#include "app/output_clash.h"
#include "app/own_name.h"
#include "base/number_text.h"
#include "base/options.h"
#include "base/settings_place.h"
#include "calib/calibration_file.h"
#include "loop/stopwatch.h"
#include "measure/animation_sink.h"
#include "measure/csv_file.h"
#include "measure/take_kinematics.h"
#include "model/model_file.h"
#include "platform/file_io.h"
#include "platform/message.h"
#include "platform/rand.h"
#include "platform/timer.h"
#include "session/session.h"
#include "video/v4l2.h"

namespace {

// Set by Ctrl-C (and a polite kill); every run stops after the frame in hand.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler may only touch a lock-free flag");

extern "C" void request_stop(int) { g_stop.store(true); }

void catch_stop_signals() {
    struct sigaction action{};
    action.sa_handler = &request_stop;
    sigemptyset(&action.sa_mask);
    // A second Ctrl-C ends the program at once, the usual way.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// What the sources tell the operator while runs go on: damaged data they
// decoded past, or the fault that ended them. Their words are on standard
// error already (the message path writes them there, without a line end);
// the sink only counts them, for the source they are about: every message of
// a source begins with its name. With one run, every message is its own.
class SourceWatch {
public:
    SourceWatch(const std::string& name, bool takes_every_message) : prefix_(name + ": "), every_(takes_every_message) {
        const std::lock_guard<std::mutex> lock(mutex());
        watches().push_back(this);
    }
    ~SourceWatch() {
        const std::lock_guard<std::mutex> lock(mutex());
        std::erase(watches(), this);
    }
    SourceWatch(const SourceWatch&) = delete;
    SourceWatch& operator=(const SourceWatch&) = delete;

    int messages() const { return messages_.load(); }

    // Every message, from whatever thread reports it.
    static void note(const char*, const char* text) {
        total().fetch_add(1);
        const std::lock_guard<std::mutex> lock(mutex());
        for (SourceWatch* w : watches())
            if (w->every_ || std::string_view(text).starts_with(w->prefix_)) w->messages_.fetch_add(1);
    }
    // Messages of any source so far: output that another writer broke into.
    static std::atomic<int>& total() {
        static std::atomic<int> count{0};
        return count;
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<SourceWatch*>& watches() {
        static std::vector<SourceWatch*> list;
        return list;
    }

    std::string prefix_;
    bool every_;
    std::atomic<int> messages_{0};
};

int fail(int status, const std::string& reason) {
    std::cerr << "velmora track: " << reason << '\n' << std::flush;
    return status;
}

// Whether a file can be made or replaced under this name: its folder takes
// new files, or it is a writable regular file, device or pipe. Checked before
// the run, so an hour of video is not analysed for an output that cannot be
// written.
bool writable(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0)
        return (S_ISREG(st.st_mode) || platform::is_device(path)) && ::access(path.c_str(), W_OK) == 0;
    const std::string folder = platform::folder_of(path);
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool to_standard_output(const std::string& csv) { return csv.empty() || csv == "-"; }

// Where the settings come from: the options file named on the command line
// with its extras beside it, or the program's own, wherever the program keeps
// them (base/settings_place.h).
struct SettingsFiles {
    std::string options;
    std::string extras;  // the options file whose ".extra" is read
};

SettingsFiles settings_files(const TrackArgs& args, const char* argv0) {
    if (!args.options.empty()) return {args.options, args.options};
    std::ostream quiet(nullptr);
    const Log silent{quiet, quiet};
    const SettingsPlace place = find_settings_place(options_file_name(settle_own_name(argv0 ? 1 : 0, &argv0, silent)));
    return {place.load_options, place.load_extras};
}

// Reads the options the run uses. An options file named on the command line
// must be one; the program's own may be missing (defaults, as at its first
// start) or broken (defaults, with a warning).
bool read_options(const TrackArgs& args, const SettingsFiles& from, TrackSettings& settings, std::string& error) {
    std::ostream quiet(nullptr);
    const Log silent{quiet, quiet};
    const std::string& file = from.options;
    struct stat st{};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    const bool usable = exists && S_ISREG(st.st_mode) && st.st_size == static_cast<off_t>(kOptionsFileSize) &&
                        ::access(file.c_str(), R_OK) == 0;
    Options& options = settings.batch.options;
    if (!usable) {
        if (!args.options.empty()) {
            error = "cannot read options file " + file + " (an options file holds " +
                    std::to_string(kOptionsFileSize) + " bytes)";
            return false;
        }
        if (exists) std::cerr << "velmora track: options file " << file << " is not usable; using the defaults\n";
        options = default_options();
        settings.origin = "the defaults (no options file " + file + ")";
    } else {
        load_options(file, options, silent);
        settings.origin = "the options file " + file;
    }
    settings.extras.load(from.extras, Log{quiet, std::cerr});
    return true;
}

// The calibration file of --calibration, over a session's.
bool read_calibration(const std::string& file, TrackSettings& settings, std::string& error) {
    std::string text;
    if (!platform::read_file(file, text, 1 << 20)) {
        error = "cannot read calibration " + file;
        return false;
    }
    Calibration calibration;
    if (!parse_calibration_toml(text, calibration, error)) {
        error = file + ": " + error;
        return false;
    }
    settings.calibration = std::move(calibration);
    settings.calibration_from = file;
    return true;
}

// The node memory the window keeps among the extra settings.
void memory_from_extras(TrackSettings& settings) {
    NodeMemorySettings& memory = settings.batch.memory;
    memory.enabled = settings.extras.get_bool("tracking.memory", false);
    memory.hold_frames = std::clamp(settings.extras.get_int("tracking.hold_frames", memory.hold_frames), 0, 30);
}

bool parse_count(std::string_view text, int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && stop == end && value > 0;
}

// Comma-separated numbers, then at most `words` words; false for anything else.
bool parse_list(std::string_view text, size_t numbers, size_t words, std::vector<double>& values,
                std::vector<std::string>& rest) {
    values.clear();
    rest.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (values.size() < numbers) {
            const std::optional<double> v = number_of(item);
            if (!v) return false;
            values.push_back(*v);
        } else {
            if (rest.size() >= words || item.empty()) return false;
            rest.emplace_back(item);
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return values.size() == numbers;
}

bool take_scale(TrackArgs& args, std::string_view value, std::string& error) {
    std::vector<double> n;
    std::vector<std::string> unit;
    if (!parse_list(value, 5, 1, n, unit)) {
        error = "needs U1,V1,U2,V2,LENGTH[,UNIT]: two points in source pixels and the length between them";
        return false;
    }
    ScaleLevel s{{n[0], n[1]}, {n[2], n[3]}, n[4], unit.empty() ? std::string("units") : unit[0]};
    if (!(s.length > 0.0)) {
        error = "needs a LENGTH above 0";
        return false;
    }
    if (!valid_unit(s.unit)) {
        error = "cannot use \"" + s.unit + "\" as a unit (letters, digits, _ . / -, at most 16)";
        return false;
    }
    args.scale = s;
    return true;
}

bool take_origin(TrackArgs& args, std::string_view value, std::string& error) {
    std::vector<double> n;
    std::vector<std::string> rest;
    if (!parse_list(value, 2, 0, n, rest) && !parse_list(value, 3, 0, n, rest)) {
        error = "needs U,V[,AXIS_DEG]: the origin in source pixels and the x axis's direction";
        return false;
    }
    args.origin = AxesLevel{{n[0], n[1]}, n.size() > 2 ? n[2] : 0.0};
    return true;
}

// A whole number from `low` to `high` into the TrackArgs field `field`.
template <std::optional<int32_t> TrackArgs::*field, int32_t low, int32_t high>
bool take_in_range(TrackArgs& args, std::string_view value, std::string& error) {
    int32_t n = 0;
    const char* end = value.data() + value.size();
    const auto [stop, ec] = std::from_chars(value.data(), end, n);
    if (ec != std::errc() || stop != end || n < low || n > high) {
        error = "needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" +
                std::string(value) + "\"";
        return false;
    }
    args.*field = n;
    return true;
}

// A flag whose value is a file name, kept in the TrackArgs field `field`.
template <std::string TrackArgs::*field>
bool take_file(TrackArgs& args, std::string_view value, std::string& error) {
    if (value.empty()) {
        error = "needs a file name";
        return false;
    }
    args.*field = value;
    return true;
}

// A settings flag's value into one field of the options.
template <std::optional<int32_t> TrackArgs::*value, int32_t Options::*field>
bool set_option(const TrackArgs& args, TrackSettings& settings, std::string&) {
    settings.batch.options.*field = *(args.*value);
    return true;
}

constexpr std::string_view kMethodNames[] = {"region-grow", "k-means", "merge"};

std::string method_name(int32_t method) {
    if (method >= 0 && method < 3) return std::string(kMethodNames[method]);
    return "none (" + std::to_string(method) + ")";
}

bool take_method(TrackArgs& args, std::string_view value, std::string& error) {
    const auto* found = std::find(std::begin(kMethodNames), std::end(kMethodNames), value);
    if (found == std::end(kMethodNames)) {
        error = "needs region-grow, k-means or merge, not \"" + std::string(value) + "\"";
        return false;
    }
    args.method = static_cast<int32_t>(found - std::begin(kMethodNames));
    return true;
}

// The field of the active method that a per-method flag sets: region grow's
// or the merge's; k-means has neither.
bool set_for_method(Options& o, int32_t value, int32_t Options::*region_grow, int32_t Options::*merge,
                    std::string_view flag, std::string_view what, std::string& error) {
    if (o.cluster_method == 0) {
        o.*region_grow = value;
    } else if (o.cluster_method == 2) {
        o.*merge = value;
    } else {
        error = std::string(flag) + ": the method " + method_name(o.cluster_method) + " has no " + std::string(what) +
                " (region-grow and merge have one)";
        return false;
    }
    return true;
}

// A quick form of a calibration level, over the file's or the session's.
void calibration_from_command_line(TrackSettings& s) {
    constexpr std::string_view kHere = "the command line";
    if (s.calibration_from.empty()) s.calibration_from = kHere;
    else if (!s.calibration_from.ends_with(kHere)) s.calibration_from.append(" and ").append(kHere);
}

// The rate kept with the source in the window's extra settings, when the
// run's SOURCE is that source; 0 otherwise.
double remembered_fps(const ExtraSettings& extras, const std::string& source) {
    if (extras.get("source") != source) return 0;
    const std::optional<double> fps = number_of(extras.get("source.fps"));
    return fps && valid_sequence_fps(*fps) ? *fps : 0;
}

constexpr TrackFlag kTrackFlags[] = {
    {"--model", "MODEL.txt", "the session's chain, else the window's first: 3 nodes in a row",
     "the chain to track, as the window's \"save\" writes it", &take_file<&TrackArgs::model>},
    {"--session", "FILE", "none",
     "source, settings and chain as the window's \"save session\" writes them; flags override it",
     &take_file<&TrackArgs::session>},
    {"--options", "FILE", "the program's own options file", "the settings of the analysis",
     &take_file<&TrackArgs::options>},
    {"--csv", "OUT.csv", "standard output", "one row per frame, written as it is done (- for standard output)",
     &take_file<&TrackArgs::csv>},
    {"--animation", "OUT.txt", "none", "also an animation file and its .model, for \"playback:\"",
     &take_file<&TrackArgs::animation>},
    {"--out-dir", "DIR", "none; needed for several sources",
     "a CSV per source: DIR/NAME.csv for SOURCE .../NAME.ext", &take_file<&TrackArgs::out_dir>},
    {"-j", "N", "one per core", "sources analysed at once",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         int64_t n = 0;
         if (parse_count(value, n) && n <= 1024) {
             args.jobs = static_cast<int>(n);
             return true;
         }
         error = "needs a whole number from 1 to 1024";
         return false;
     }},
    {"--frames", "N", "until the source ends", "analyse at most N frames (needed for a camera)",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         if (parse_count(value, args.frames)) return true;
         error = "needs a whole number above 0";
         return false;
     }},
    {"--fps", "N", "the rate kept with the source, else 25", "frames per second of an image sequence",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         const std::optional<double> fps = number_of(value);
         args.fps = fps.value_or(0.0);
         if (valid_sequence_fps(args.fps)) return true;
         error = "needs a rate above 0 and up to 1000";
         return false;
     }},
    {"--threshold", "N|auto", "as set in the window",
     "grey level from which a pixel counts, 1 to 255; auto: found on the first frame, with the method's "
     "distance",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         if (value == "auto") {
             args.auto_threshold = true;
             return true;
         }
         int64_t level = 0;
         if (parse_count(value, level) && level <= 255) {
             args.threshold = static_cast<int32_t>(level);
             return true;
         }
         error = "needs a whole number from 1 to 255, or auto";
         return false;
     },
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         if (args.auto_threshold) s.batch.setup.find_markers = true;
         else s.batch.options.threshold = args.threshold;
         return true;
     }},
    {"--place-nodes", "", "", "lay the chain onto the first frame's clusters, in the order of the shortest chain",
     [](TrackArgs& args, std::string_view, std::string&) {
         args.place_nodes = true;
         return true;
     },
     [](const TrackArgs&, TrackSettings& s, std::string&) {
         s.batch.setup.place_nodes = true;
         return true;
     },
     [](const TrackSettings& s, std::string& line) {
         if (s.batch.setup.place_nodes) line += ", nodes placed on the first frame";
     }},
    {"--camera-mode", "WxH@FPS[/FORMAT]", "the mode kept with the source, else the camera's own",
     "the size, rate and pixel format a camera captures in",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         if (!parse_camera_mode(std::string(value), error)) return false;
         args.camera_mode = value;
         return true;
     }},
    // The method comes before the flags that set its own limits.
    {"--method", "region-grow|k-means|merge", "as set in the window; region-grow at first",
     "the clustering method", &take_method,
     &set_option<&TrackArgs::method, &Options::cluster_method>},
    {"--max-distance", "N", "as set in the window; 80 at first",
     "0 to 300: the method's largest distance of a pixel from its cluster",
     &take_in_range<&TrackArgs::max_distance, 0, 300>,
     [](const TrackArgs& args, TrackSettings& s, std::string& error) {
         return set_for_method(s.batch.options, *args.max_distance, &Options::regiongrow_max_distance,
                               &Options::cure_max_distance, "--max-distance", "maximum distance", error);
     }},
    {"--min-size", "N", "as set in the window; 20 at first",
     "0 to 5000: the method's smallest cluster, in pixels",
     &take_in_range<&TrackArgs::min_size, 0, 5000>,
     [](const TrackArgs& args, TrackSettings& s, std::string& error) {
         return set_for_method(s.batch.options, *args.min_size, &Options::regiongrow_min_cluster_size,
                               &Options::cure_min_cluster_size, "--min-size", "minimum cluster size", error);
     }},
    {"--max-track-distance", "N", "as set in the window; 30 at first",
     "0 to 300: the largest move of a node from one frame to the next",
     &take_in_range<&TrackArgs::max_track_distance, 0, 300>,
     &set_option<&TrackArgs::max_track_distance, &Options::max_track_distance>},
    {"--min-node-distance", "N", "as set in the window; 10 at first",
     "0 to 300: the smallest distance between two nodes",
     &take_in_range<&TrackArgs::min_node_distance, 0, 300>,
     &set_option<&TrackArgs::min_node_distance, &Options::min_node_distance>},
    {"--memory", "N", "as set in the window; 0 at first",
     "0 to 30: frames a node whose marker is lost moves on along its last step; 0 off",
     &take_in_range<&TrackArgs::memory, 0, 30>,
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         s.batch.memory.enabled = *args.memory > 0;
         if (*args.memory > 0) s.batch.memory.hold_frames = *args.memory;
         return true;
     }},
    {"--calibration", "FILE", "the session's, else none",
     "source pixels to a plane with real units (TOML, as \"Calibration\" saves it)",
     &take_file<&TrackArgs::calibration>, nullptr,
     [](const TrackSettings& s, std::string& line) {
         if (!s.calibration.empty())
             line += ", calibration " + describe(s.calibration) + " from " + s.calibration_from;
     }},
    {"--scale", "U1,V1,U2,V2,LENGTH[,UNIT]", "the calibration's",
     "two source pixels LENGTH apart, over the calibration's scale", &take_scale,
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         s.calibration.scale = args.scale;
         calibration_from_command_line(s);
         return true;
     }},
    {"--origin", "U,V[,AXIS_DEG]", "the calibration's, else the picture's bottom-left",
     "the world origin and x direction, y up", &take_origin,
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         s.calibration.axes = args.origin;
         calibration_from_command_line(s);
         return true;
     }},
    {"--fill-gaps", "N", "none", "fill held or predicted runs of up to N frames by cubic interpolation; "
     "the CSV is then written after the run",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         int64_t n = 0;
         if (parse_count(value, n) && n <= 100000) {
             args.processing.fill_gaps = static_cast<int32_t>(n);
             return true;
         }
         error = "needs a whole number of frames from 1 to 100000";
         return false;
     },
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         s.processing.fill_gaps = args.processing.fill_gaps;
         return true;
     },
     [](const TrackSettings& s, std::string& line) {
         if (s.processing.fill_gaps > 0) line += ", gaps of up to " + std::to_string(s.processing.fill_gaps) + " frames filled";
     }},
    {"--filter", "CUTOFF_HZ|auto", "none",
     "zero-phase low-pass of angles and positions, adds angle_f_deg, omega_dps, speed; the CSV is then "
     "written after the run",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         args.processing.filter = parse_cutoff(value, args.processing.cutoff_hz);
         if (!args.processing.filter) error = "needs a cutoff in Hz above 0, or auto";
         return args.processing.filter;
     },
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         s.processing.filter = true;
         s.processing.cutoff_hz = args.processing.cutoff_hz;
         return true;
     },
     [](const TrackSettings& s, std::string& line) {
         if (!s.processing.filter) return;
         if (s.processing.cutoff_hz > 0.0) {
             std::ostringstream cutoff;
             cutoff << s.processing.cutoff_hz;
             line += ", filter " + cutoff.str() + " Hz";
         } else {
             line += ", filter with cutoffs chosen";
         }
     }},
    {"--osc", "HOST:PORT", "none", "also every frame as OSC over UDP, as it is analysed (one SOURCE)",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         return parse_osc_target(value, args.osc, error);
     },
     [](const TrackArgs& args, TrackSettings& s, std::string&) {
         s.osc = args.osc;
         return true;
     },
     [](const TrackSettings& s, std::string& line) {
         if (s.osc.port != 0) line += ", OSC to " + s.osc.host + ":" + std::to_string(s.osc.port);
     }},
    {"--realtime", "", "as fast as it is analysed", "a file at the pace of its own times",
     [](TrackArgs& args, std::string_view, std::string&) {
         args.realtime = true;
         return true;
     },
     [](const TrackArgs&, TrackSettings& s, std::string&) {
         s.batch.realtime = true;
         return true;
     },
     [](const TrackSettings& s, std::string& line) {
         if (s.batch.realtime) line += ", at the file's own pace";
     }},
    {"--help", "", "", "this text",
     [](TrackArgs& args, std::string_view, std::string&) {
         args.help = true;
         return true;
     }},
    {"--version", "", "", "the program's version",
     [](TrackArgs& args, std::string_view, std::string&) {
         args.version = true;
         return true;
     }},
};

// One source's run: the analysis over it into its outputs.
struct TrackJob {
    std::string source;
    std::string csv;        // empty or "-": standard output
    std::string animation;  // empty: none
    int decoder_threads = 0;
    bool alone = true;        // the only run: every source message is its own, its notes go out at once
    std::string camera_mode;  // WxH@FPS[/FORMAT] a camera captures in; empty: its own
    double sequence_fps = kDefaultSequenceFps;  // the rate of an image sequence
};

struct JobEnd {
    int status = 0;
    std::string failure;  // one line when status is not 0
    int64_t frames = 0;
    // What a run among others found (the set-up's choices, warnings, what
    // tracking did), one line each, said when it ends.
    std::vector<std::string> notes;
};

// A run that ended before its first frame.
JobEnd refused(int status, std::string why) { return JobEnd{status, std::move(why), 0, {}}; }

JobEnd run_track_job(const TrackJob& job, const TrackSettings& settings, NodeModel model, RunProgress& progress) {
    std::string error;
    BatchSourceOptions options;
    options.decoder_threads = job.decoder_threads;
    options.camera_mode = parse_camera_mode(job.camera_mode, error).value_or(CameraMode{});
    options.sequence_fps = job.sequence_fps;
    std::unique_ptr<BatchSource> source = open_batch_source(job.source, error, options);
    if (source == nullptr) return refused(1, error);
    if (!source->ends() && settings.batch.max_frames < 0)
        return refused(2, "--frames N is needed: \"" + job.source + "\" is a camera and has no end");
    for (const std::string* out : {&job.csv, &job.animation}) {
        if (!out->empty() && *out != "-" && !writable(*out)) return refused(1, "cannot write " + *out);
    }
    if (!job.animation.empty() && !platform::is_device(job.animation) && !writable(job.animation + ".model"))
        return refused(1, "cannot write " + job.animation + ".model");
    const int32_t nodes = static_cast<int32_t>(model.nodes.size());
    const int64_t frames = settings.batch.max_frames;
    int64_t total = frames;
    if (source->length() >= 0) total = frames >= 0 ? std::min(frames, source->length()) : source->length();
    // An animation that cannot hold the run is refused before the first frame
    // when the run's length is known; otherwise it stops where the bound is.
    const int64_t animation_frames = AnimationSink::max_frames(nodes);
    if (!job.animation.empty() && total > animation_frames)
        return refused(2, "an animation file holds at most " + std::to_string(animation_frames) + " frames of " +
                              std::to_string(nodes) + " nodes, and the run has " + std::to_string(total) +
                              ": give --frames " + std::to_string(animation_frames) +
                              " or less, or leave out --animation");
    // The threshold in force, from the settings or the command line; "auto"
    // finds its own on the first frame.
    if (const std::string refusal = threshold_refusal(settings.batch.options);
        !refusal.empty() && !settings.batch.setup.find_markers)
        return refused(1, refusal);

    // Each run sees the synthetic camera's frames of a fresh process.
    platform::set_rand_state(1);
    // Messages from opening the source (an odd frame rate) came before; from
    // here on the source speaks only of damage or failure.
    SourceWatch watch(job.source, job.alone);
    // What the run finds is said at once by the one run, and by a run among
    // others when it ends, with its source.
    std::vector<std::string> notes;
    const auto note = [&](const std::string& line) {
        if (job.alone) {
            std::cerr << "velmora track: " << line << '\n' << std::flush;
        } else {
            notes.push_back("velmora track: " + job.source + ": " + line);
        }
    };
    BatchSettings batch = settings.batch;
    BatchChecks checks;
    batch.checks = &checks;
    BatchCalibration calibration{settings.calibration, {}, false, {}};
    if (!settings.calibration.empty()) batch.calibration = &calibration;
    batch.on_setup = [&](const SceneSetupReport& report) {
        if (batch.setup.find_markers) note(auto_threshold_text(report.choice));
        if (batch.setup.place_nodes) note(place_nodes_text(report.placed));
    };
    // The CSV streams into a partial file beside its target, renamed over it
    // when the run ends in any way the program sees: a kill leaves the old
    // file as it was and every row done before in the partial one.
    platform::OutputFile csv_file;
    if (to_standard_output(job.csv)) {
        csv_file.use_descriptor(STDOUT_FILENO, "standard output");
    } else if (!csv_file.open(job.csv, platform::OutputFile::Temp::partial, true)) {
        return refused(1, "cannot write " + job.csv + " (" + std::strerror(csv_file.error()) + ")");
    }
    // Gap filling and the filter need the whole take: the run keeps its
    // nodes in a table, and the CSV is written from it when the run is over.
    // Otherwise every row goes out as its frame is done.
    const bool after_run = settings.processing.fill_gaps > 0 || settings.processing.filter;
    CsvLayout layout;
    if (!settings.calibration.empty()) layout.world_unit = settings.calibration.unit();
    std::optional<CsvSink> csv;
    FrameTable table;
    TableSink table_sink(table);
    std::vector<FrameSink*> sinks;
    if (after_run) {
        sinks.push_back(&table_sink);
    } else {
        sinks.push_back(&csv.emplace(csv_file, nodes, layout));
    }
    std::ostream quiet(nullptr);
    const Log silent{quiet, quiet};
    std::optional<AnimationSink> animation;
    if (!job.animation.empty()) animation.emplace(job.animation, model, nodes, total, silent);
    if (animation) sinks.push_back(&*animation);
    std::unique_ptr<OscStream> stream;
    if (settings.osc.port != 0) {
        stream = std::make_unique<OscStream>(settings.osc);
        sinks.push_back(stream.get());
    }

    // A line of the run's own while the progress goes on: the one run's bar,
    // drawn in place on a terminal, is ended first.
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const auto say = [&](const std::string& line) {
        if (job.alone && terminal) std::cerr << '\n';
        note(line);
    };
    // What the stream has to say (a target that refuses, frames it dropped).
    const auto tell_stream = [&] {
        if (stream == nullptr || !stream->has_notices()) return;
        for (const std::string& line : stream->notices()) say(line);
    };
    bool csv_failure_said = false;
    bool animation_full_said = false;
    progress.begin(total);
    if (after_run)
        say("the CSV is written when the run is over: gap filling and the filter need the whole take");
    else if (!to_standard_output(job.csv) && csv_file.writing_to() != job.csv)
        say("the rows go to " + csv_file.writing_to() + ", which becomes " + job.csv + " when the run ends");
    Stopwatch clock{};
    clock.start();
    int64_t done = 0;
    const BatchEnd end = run_batch(*source, batch, model, sinks, g_stop, [&](int64_t frames_done) {
        done = frames_done;
        if (animation && animation->full() && !animation_full_said) {
            animation_full_said = true;
            say("the animation is full at " + std::to_string(animation->frames()) + " frames of " +
                std::to_string(nodes) + " nodes; it keeps those, the CSV goes on");
        }
        if (csv && csv->error() != 0 && !csv_failure_said) {
            csv_failure_said = true;
            say("cannot write " + csv_file.writing_to() + " (" + std::strerror(csv->error()) + ")" +
                (animation ? "; the animation goes on" : ""));
        }
        tell_stream();
        progress.update(frames_done, clock.elapsed_ms() / 1000.0);
    });
    if (stream != nullptr) stream->finish();
    tell_stream();
    const std::string fault = source->fault();
    // Whether the file was damaged the source itself says.
    const bool damaged = source->damaged();
    const bool ends = source->ends();
    std::optional<SourceGeometry> geometry;
    if (const SourceGeometry* g = source->geometry()) geometry = *g;
    source.reset();  // stops its threads; what it read ahead may still have spoken
    progress.finish(done, clock.elapsed_ms() / 1000.0);
    if (end == BatchEnd::calibration_failed) {
        // Nothing was measured: every output stays as it was.
        csv_file.abandon();
        return JobEnd{1, "the calibration cannot be used: " + calibration.error, 0, std::move(notes)};
    }
    for (const std::string& line : checks.warnings) note("warning: " + line);
    for (const std::string& line : tally_lines(checks.watch.tallies())) note(line);

    // Over the whole take: gaps, then the filter, then the CSV's rows.
    std::string filter_failure;
    if (after_run) {
        const MeasureContext context{geometry ? &*geometry : nullptr, batch.options.y_invert != 0,
                                     calibration.ready ? &calibration.map : nullptr};
        const ProcessedTake processed = process_take(table, context, settings.processing);
        if (settings.processing.fill_gaps > 0)
            note(std::to_string(processed.filled) + " samples filled in gaps of up to " +
                 std::to_string(settings.processing.fill_gaps) + " frames");
        if (processed.filtered && settings.processing.cutoff_hz == 0.0) {
            std::ostringstream rate;
            rate << processed.kinematics.rate_hz;
            note("cutoffs chosen by residual analysis at " + rate.str() + " frames per second:");
            std::istringstream lines(describe_cutoffs(processed.kinematics));
            for (std::string line; std::getline(lines, line);) note(line);
        }
        if (settings.processing.filter && !processed.filtered)
            filter_failure = processed.filter_error + "; the CSV holds the unfiltered columns";
        layout.kinematics = processed.filtered;
        measure_take(table, context, processed.filtered ? &processed.kinematics : nullptr,
                     csv.emplace(csv_file, nodes, layout));
    }

    // Every output is completed whatever ended the run; one that fails does
    // not keep the others from being written.
    std::vector<std::string> output_failures;
    if (!csv->finish()) {
        std::string line = "cannot write the CSV to " + csv_file.target() + " (" + std::strerror(csv_file.error()) + ")";
        if (!to_standard_output(job.csv) && csv_file.writing_to() != job.csv) {
            line += "; " + job.csv + " is as it was";
            struct stat st{};
            if (::stat(csv_file.writing_to().c_str(), &st) == 0)
                line += ", " + csv_file.writing_to() + " holds the rows written before";
        }
        output_failures.push_back(line);
    }
    if (animation) {
        if (!animation->finish()) {
            output_failures.push_back("cannot write " + job.animation);
        } else if (animation->full()) {
            output_failures.push_back(job.animation + " holds the first " + std::to_string(animation->frames()) +
                                      " frames only");
        }
    }
    const bool outputs_ok = output_failures.empty();
    // Where nothing else ended the run badly, its last failed output is the
    // run's own reason; every other one is said before it.
    const bool ended_well =
        (end == BatchEnd::source_ended || end == BatchEnd::frames_done) && !damaged && !(done == 0 && ends);
    for (size_t i = 0; i < output_failures.size(); ++i)
        if (!ended_well || i + 1 < output_failures.size()) note(output_failures[i]);

    JobEnd result{0, {}, done, std::move(notes)};
    const auto failed = [&result](int status, std::string why) {
        result.status = status;
        result.failure = std::move(why);
        return result;
    };

    switch (end) {
        case BatchEnd::stopped:
            return failed(outputs_ok ? 130 : 1, "stopped after " + std::to_string(done) + " frames; the output holds them");
        case BatchEnd::outputs_failed:
            return failed(1, "no output could take more frames; stopped after " + std::to_string(done));
        case BatchEnd::source_failed:
            if (!fault.empty())
                return failed(1, "the source failed after " + std::to_string(done) + " frames (" + fault +
                                     "); the output holds those");
            return failed(1, "the source \"" + job.source + "\" gave no frame after " + std::to_string(done) +
                                 " frames; the output holds those");
        default:
            if (done == 0 && ends) return failed(1, "the source \"" + job.source + "\" holds no picture");
            // A file with damaged data plays what can be decoded; the run
            // says that its rows are not the whole file.
            if (damaged)
                return failed(1, "the source \"" + job.source + "\" holds damaged data; the output holds the " +
                                     std::to_string(done) + " frames that could be decoded");
            if (!outputs_ok) return failed(1, output_failures.back());
            if (!filter_failure.empty()) return failed(1, filter_failure);
            return result;
    }
}

// The one run's progress: the settings line when it begins (so a refusal
// before it is the only line), then the report, each message of the source
// ending its line before the bar is drawn again.
class SingleProgress final : public RunProgress {
public:
    SingleProgress(std::string settings, int64_t max_frames)
        : settings_(std::move(settings)), report_(std::cerr, ::isatty(STDERR_FILENO) != 0, max_frames) {}
    void begin(int64_t total) override {
        // Below what opening the source said (an odd frame rate).
        end_message_line();
        std::cerr << settings_ << '\n' << std::flush;
        report_.begin(total);
    }
    void update(int64_t done, double seconds) override {
        end_message_line();
        report_.update(done, seconds);
    }
    void finish(int64_t done, double seconds) override {
        end_message_line();
        report_.finish(done, seconds);
        // What the source said while it stopped.
        end_message_line();
    }

private:
    void end_message_line() {
        const int messages = SourceWatch::total().load();
        if (messages == seen_) return;
        seen_ = messages;
        std::cerr << '\n';
    }

    std::string settings_;
    ProgressReport report_;
    int seen_ = 0;
};

int cores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

// Several sources, each into DIR/NAME.csv, `jobs` at once: a thread per
// running job, each running the one source's run. Ctrl-C stops the running
// ones (their outputs keep the frames done) and starts no more.
int run_many(const std::vector<TrackJob>& jobs, int at_once, const TrackSettings& settings, const NodeModel& model) {
    std::vector<std::string> names;
    for (const TrackJob& job : jobs) names.push_back(job.source);
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    ProgressBoard board(std::cerr, terminal, names);
    std::vector<JobEnd> ends(jobs.size());
    std::mutex mutex;
    std::condition_variable finished;
    size_t next = 0;
    size_t over = 0;

    const auto worker = [&] {
        for (;;) {
            size_t i = 0;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (next == jobs.size()) return;
                i = next++;
            }
            JobEnd end;
            if (g_stop.load()) {
                end = refused(130, "not started: stopped");
            } else {
                end = run_track_job(jobs[i], settings, model, board.run(i));
            }
            std::string lines;
            for (const std::string& n : end.notes) lines += n + '\n';
            lines += end.status == 0 ? jobs[i].source + ": " + std::to_string(end.frames) + " frames -> " + jobs[i].csv
                                     : "velmora track: " + jobs[i].source + ": " + end.failure;
            board.end(i, lines);
            const std::lock_guard<std::mutex> lock(mutex);
            ends[i] = std::move(end);
            ++over;
            finished.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < at_once; ++t) threads.emplace_back(worker);

    Stopwatch clock{};
    clock.start();
    int seen = SourceWatch::total().load();
    for (;;) {
        bool all_over = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return over == jobs.size(); });
            all_over = over == jobs.size();
        }
        const int messages = SourceWatch::total().load();
        board.draw(clock.elapsed_ms() / 1000.0, messages != seen);
        seen = messages;
        if (all_over) break;
    }
    for (std::thread& t : threads) t.join();
    platform::time_end_period(1);

    const auto count = [&ends](bool (*which)(int status)) {
        return std::count_if(ends.begin(), ends.end(), [which](const JobEnd& e) { return which(e.status); });
    };
    const auto done = count([](int status) { return status == 0; });
    const auto stopped = count([](int status) { return status == 130; });
    const auto failed = static_cast<long>(jobs.size()) - done - stopped;
    std::cerr << "velmora track: " << done << " of " << jobs.size() << " sources done";
    if (failed > 0) std::cerr << ", " << failed << " failed";
    if (stopped > 0) std::cerr << ", stopped";
    std::cerr << '\n' << std::flush;
    if (stopped > 0) return 130;
    return failed > 0 ? 1 : 0;
}

}  // namespace

std::span<const TrackFlag> track_flags() { return kTrackFlags; }

// A new input is one more line here.
std::vector<RunFile> track_inputs(const TrackArgs& args, const std::string& options_file,
                                  const std::string& extras_beside) {
    std::vector<RunFile> in;
    for (const std::string& source : args.sources) in.push_back({"the source", source});
    in.push_back({"--model", args.model});
    in.push_back({"--calibration", args.calibration});
    if (!args.session.empty()) {
        in.push_back({"--session", args.session});
    } else {
        in.push_back({args.options.empty() ? "the options file" : "--options", options_file});
        in.push_back({"the extra settings", ExtraSettings::file_name(extras_beside)});
    }
    return in;
}

std::vector<RunFile> track_outputs(const TrackArgs& args) {
    std::vector<RunFile> out;
    const auto csv = [&out](const std::string& name, const std::string& file) {
        out.push_back({name, file});
        if (!platform::is_device(file)) out.push_back({"the CSV's partial file", platform::partial_file_of(file)});
    };
    if (!args.out_dir.empty()) {
        for (const std::string& source : args.sources)
            csv("the CSV of \"" + source + "\"", (std::filesystem::path(args.out_dir) / csv_name_for(source)).string());
    } else if (!to_standard_output(args.csv)) {
        csv("--csv", args.csv);
    }
    if (!args.animation.empty()) {
        out.push_back({"--animation", args.animation});
        if (!platform::is_device(args.animation)) out.push_back({"the animation's model", args.animation + ".model"});
    }
    return out;
}

std::string threshold_refusal(const Options& options) {
    const int32_t t = options.threshold;
    if (t == 0)
        return "threshold 0 finds no markers: choose one on the Clustering page of the window (it is kept in the "
               "options file) or give --threshold N";
    if (t < 0 || t > 255) return "the options file's threshold " + std::to_string(t) + " lies outside 0 to 255";
    return {};
}

std::string track_usage() {
    constexpr size_t kColumn = 24;
    std::string out = "usage: velmora track SOURCE... [FLAG VALUE ...]\n";
    for (const TrackFlag& flag : kTrackFlags) {
        const size_t start = out.size();
        out.append("  ").append(flag.name);
        if (!flag.value.empty()) out.append(" ").append(flag.value);
        // A flag too wide for its column has its help on the next line.
        if (out.size() - start + 2 > kColumn) out.append("\n");
        out.append(kColumn - (out.size() - out.rfind('\n', out.size() - 1) - 1) % kColumn, ' ');
        out += flag.help;
        if (!flag.fallback.empty()) out.append(" (default: ").append(flag.fallback).append(")");
        out += '\n';
    }
    return out;
}

bool is_track_command(int argc, const char* const* argv) {
    return argc >= 2 && argv[1] != nullptr && std::strcmp(argv[1], "track") == 0;
}

bool parse_track_args(int argc, const char* const* argv, TrackArgs& args, std::string& error) {
    args = TrackArgs{};
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto flag = std::find_if(std::begin(kTrackFlags), std::end(kTrackFlags),
                                       [&](const TrackFlag& f) { return f.name == arg; });
        if (flag != std::end(kTrackFlags)) {
            if (std::find(args.given.begin(), args.given.end(), flag->name) != args.given.end()) {
                error = std::string(arg) + " is given twice";
                return false;
            }
            args.given.push_back(flag->name);
            std::string_view value;
            if (!flag->value.empty()) {
                if (i + 1 >= argc) {
                    error = std::string(arg) + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            std::string why;
            if (!flag->take(args, value, why)) {
                error = std::string(arg) + " " + why;
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return false;
        } else if (arg.empty()) {
            error = "an empty SOURCE";
            return false;
        } else {
            args.sources.emplace_back(arg);
        }
    }
    if (args.help || args.version) return true;
    if (args.sources.empty() && args.session.empty()) {
        error = "no SOURCE given";
        return false;
    }
    if (!args.options.empty() && !args.session.empty()) {
        error = "--options and --session cannot be combined: a session holds its own settings";
        return false;
    }
    const bool many = args.sources.size() > 1;
    if (many && args.out_dir.empty()) {
        error = "several sources need --out-dir DIR for their CSVs";
        return false;
    }
    if (!args.out_dir.empty() && !args.csv.empty()) {
        error = "--csv and --out-dir cannot be combined: with --out-dir the CSV is DIR/NAME.csv";
        return false;
    }
    if (many && args.osc.port != 0) {
        error = "--osc streams one source: it needs a single SOURCE";
        return false;
    }
    if (many && !args.animation.empty()) {
        error = "--animation names one file: it needs a single SOURCE";
        return false;
    }
    return true;
}

bool apply_track_flags(const TrackArgs& args, TrackSettings& settings, std::string& error) {
    for (const TrackFlag& flag : kTrackFlags) {
        if (flag.apply == nullptr || std::find(args.given.begin(), args.given.end(), flag.name) == args.given.end())
            continue;
        if (!flag.apply(args, settings, error)) return false;
    }
    return true;
}

std::string settings_line(const TrackSettings& settings) {
    const Options& o = settings.batch.options;
    std::string line = "velmora track: threshold ";
    if (settings.batch.setup.find_markers) {
        line += "auto (found on the first frame)";
    } else {
        line += std::to_string(o.threshold) + (o.threshold < 1 ? " (no clustering: the nodes stay)" : "");
    }
    line += ", method " + method_name(o.cluster_method);
    if (o.cluster_method == 0) {
        line += " (max distance " + std::to_string(o.regiongrow_max_distance) + ", min size " +
                std::to_string(o.regiongrow_min_cluster_size) + ", max size " +
                std::to_string(o.regiongrow_max_cluster_size) + ")";
    } else if (o.cluster_method == 1) {
        line += " (" + std::to_string(o.kmeans_clusters) + " clusters, " + std::to_string(o.kmeans_iterations) +
                " iterations)";
    } else if (o.cluster_method == 2) {
        line += " (max distance " + std::to_string(o.cure_max_distance) + ", min size " +
                std::to_string(o.cure_min_cluster_size) + ")";
    }
    line += ", max track distance " + std::to_string(o.max_track_distance) + ", min node distance " +
            std::to_string(o.min_node_distance);
    const NodeMemorySettings& m = settings.batch.memory;
    line += m.enabled ? ", memory " + std::to_string(m.hold_frames) + " frames" : std::string(", memory off");
    line += o.y_invert != 0 ? ", flip on" : ", flip off";
    for (const TrackFlag& flag : kTrackFlags)
        if (flag.show != nullptr) flag.show(settings, line);
    if (!settings.origin.empty()) line += "; from " + settings.origin;
    return line;
}

std::string csv_name_for(const std::string& source) {
    std::string_view name = source;
    while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
    if (const size_t slash = name.rfind('/'); slash != std::string_view::npos && name.size() > 1)
        name.remove_prefix(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && source.back() != '/') name = name.substr(0, dot);
    return std::string(name) + ".csv";
}

int batch_main(int argc, char** argv) {
    TrackArgs args;
    std::string error;
    if (!parse_track_args(argc, argv, args, error)) {
        std::cerr << "velmora track: " << error << '\n' << track_usage() << std::flush;
        return 2;
    }
    if (args.help) {
        std::cout << program_usage() << std::flush;
        return 0;
    }
    if (args.version) {
        std::cout << version_line() << '\n' << std::flush;
        return 0;
    }

    // The settings: the session's, or the options file's; the flags over them.
    const SettingsFiles settings_from = settings_files(args, argc > 0 ? argv[0] : nullptr);
    TrackSettings settings;
    // Without --model or a session's: the chain the window starts with.
    NodeModel model;
    if (!args.session.empty()) {
        Session session;
        if (!load_session(args.session, session, error)) return fail(1, error);
        settings.batch.options = session.options;
        settings.extras = session.extras;
        settings.origin = "the session " + args.session;
        if (session.has_model) model = session.model;
        if (!session.calibration.empty()) {
            settings.calibration = session.calibration;
            settings.calibration_from = "the session " + args.session;
        }
        if (args.sources.empty()) {
            if (session.source.empty())
                return fail(2, "no SOURCE given, and the session " + args.session + " has none");
            args.sources.push_back(session.source);
        }
    }
    // No output lands on an input or on another output.
    const std::string clash = output_clash(track_inputs(args, settings_from.options, settings_from.extras),
                                           track_outputs(args));
    if (!clash.empty()) return fail(2, clash);
    if (args.session.empty() && !read_options(args, settings_from, settings, error)) return fail(1, error);
    memory_from_extras(settings);
    settings.batch.max_frames = args.frames;
    if (!args.calibration.empty() && !read_calibration(args.calibration, settings, error)) return fail(1, error);
    if (!apply_track_flags(args, settings, error)) return fail(2, error);

    if (!args.model.empty()) {
        std::ostringstream reason;
        std::ostream quiet(nullptr);
        if (!load_model(model, args.model, Log{quiet, reason})) {
            // The reader's line, "could NOT load model from NAME[: it looks like ...]".
            const std::string line = reason.str();
            const size_t why = line.find(": it looks like");
            return fail(1, "cannot load model " + args.model + (why != std::string::npos ? line.substr(why) : ""));
        }
    }

    catch_stop_signals();
    // A reader that goes away (`| head`) fails the CSV, not the whole run.
    std::signal(SIGPIPE, SIG_IGN);
    platform::set_message_sink(&SourceWatch::note);
    int status = 0;
    // A camera captures in the mode asked for, else in the one kept with it.
    const auto camera_mode = [&](const std::string& source) {
        if (!args.camera_mode.empty() || settings.extras.get("source") != source) return args.camera_mode;
        return settings.extras.get(kCameraModeKey);
    };
    // An image sequence plays at the rate asked for, else at the one kept
    // with it, else at 25.
    const auto sequence_fps = [&](const std::string& source) {
        const double kept = remembered_fps(settings.extras, source);
        return args.fps > 0 ? args.fps : kept > 0 ? kept : kDefaultSequenceFps;
    };
    if (args.out_dir.empty()) {
        const TrackJob job{args.sources[0], args.csv, args.animation, 0, true, camera_mode(args.sources[0]),
                           sequence_fps(args.sources[0])};
        SingleProgress progress(settings_line(settings), args.frames);
        const JobEnd end = run_track_job(job, settings, model, progress);
        status = end.status == 0 ? 0 : fail(end.status, end.failure);
    } else {
        std::vector<TrackJob> jobs;
        for (const std::string& source : args.sources) {
            const std::string csv = (std::filesystem::path(args.out_dir) / csv_name_for(source)).string();
            const auto clash = std::find_if(jobs.begin(), jobs.end(), [&](const TrackJob& j) { return j.csv == csv; });
            if (clash != jobs.end()) {
                platform::set_message_sink(nullptr);
                return fail(2, "\"" + clash->source + "\" and \"" + source + "\" would both write " + csv);
            }
            jobs.push_back(TrackJob{source, csv, args.animation, 0, false, camera_mode(source), sequence_fps(source)});
        }
        std::error_code ec;
        std::filesystem::create_directories(args.out_dir, ec);
        if (!std::filesystem::is_directory(args.out_dir, ec)) {
            platform::set_message_sink(nullptr);
            return fail(1, "cannot make the folder " + args.out_dir);
        }
        const int at_once = std::min(args.jobs > 0 ? args.jobs : cores(), static_cast<int>(jobs.size()));
        // One file alone decodes with FFmpeg's own threads; several at once
        // share the cores.
        const int threads = at_once == 1 ? 0 : std::max(1, cores() / at_once);
        for (TrackJob& job : jobs) {
            job.decoder_threads = threads;
            job.alone = jobs.size() == 1;
        }
        std::cerr << settings_line(settings) << '\n' << std::flush;
        status = run_many(jobs, at_once, settings, model);
    }
    platform::set_message_sink(nullptr);
    platform::time_end_period(1);
    return status;
}
