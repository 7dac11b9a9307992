#include "app/batch_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string_view>
#include <vector>

#include "app/batch_progress.h"
#include "app/own_name.h"
#include "base/extra_settings.h"
#include "base/options.h"
#include "calib/calibration_file.h"
#include "loop/batch_run.h"
#include "loop/stopwatch.h"
#include "measure/csv_file.h"
#include "measure/take_kinematics.h"
#include "model/animation_file.h"
#include "model/model_file.h"
#include "platform/file_io.h"
#include "platform/message.h"
#include "platform/timer.h"
#include "video/v4l2.h"

namespace {

// Set by Ctrl-C (and a polite kill); the run stops after the frame in hand.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler may only touch a lock-free flag");

extern "C" void request_stop(int) { g_stop.store(true); }

// Counts what the source tells the operator while the run goes on: damaged
// data it decoded past, or the fault that ended it. Its words are on standard
// error already (the message path writes them there, without a line end).
std::atomic<int> g_source_messages{0};

void note_source_message(const char*, const char*) { g_source_messages.fetch_add(1); }

void catch_stop_signals() {
    struct sigaction action{};
    action.sa_handler = &request_stop;
    sigemptyset(&action.sa_mask);
    // A second Ctrl-C ends the program at once, the usual way.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int fail(int status, const std::string& reason) {
    std::cerr << "velmora track: " << reason << '\n' << std::flush;
    return status;
}

// Whether a file can be made or replaced under this name: its folder takes
// new files, or it is a writable regular file. Checked before the run, so an
// hour of video is not analysed for an output that cannot be written.
bool writable(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode) && ::access(path.c_str(), W_OK) == 0;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// Reads the options the run uses. An options file named on the command line
// must be one; the program's own may be missing (defaults, as at its first
// start) or broken (defaults, with a warning).
bool read_options(const TrackArgs& args, const char* argv0, Options& options, std::string& file, std::string& error) {
    std::ostream quiet(nullptr);
    const Log silent{quiet, quiet};
    file = !args.options.empty() ? args.options : options_file_name(settle_own_name(argv0 ? 1 : 0, &argv0, silent));
    struct stat st{};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    const bool usable = exists && S_ISREG(st.st_mode) && st.st_size == static_cast<off_t>(kOptionsFileSize) &&
                        ::access(file.c_str(), R_OK) == 0;
    if (!usable) {
        if (!args.options.empty()) {
            error = "cannot read options file " + file + " (an options file holds " +
                    std::to_string(kOptionsFileSize) + " bytes)";
            return false;
        }
        if (exists) std::cerr << "velmora track: options file " << file << " is not usable; using the defaults\n";
        options = default_options();
        return true;
    }
    load_options(file, options, silent);
    return true;
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
            double v = 0.0;
            const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), v);
            if (ec != std::errc() || end != item.data() + item.size() || !std::isfinite(v)) return false;
            values.push_back(v);
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
    if (!parse_list(value, 2, 1, n, rest) && !parse_list(value, 3, 0, n, rest)) {
        error = "needs U,V[,AXIS_DEG]: the origin in source pixels and the x axis's direction";
        return false;
    }
    args.origin = AxesLevel{{n[0], n[1]}, n.size() > 2 ? n[2] : 0.0};
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

constexpr TrackFlag kTrackFlags[] = {
    {"--model", "MODEL.txt", "", "the chain to track, as the window saves it (needed)", &take_file<&TrackArgs::model>},
    {"--options", "FILE", "the program's own options file", "the settings of the analysis",
     &take_file<&TrackArgs::options>},
    {"--csv", "OUT.csv", "standard output", "one row per frame", &take_file<&TrackArgs::csv>},
    {"--animation", "OUT.txt", "none", "also an animation file and its .model, for \"playback:\"",
     &take_file<&TrackArgs::animation>},
    {"--frames", "N", "until the source ends", "analyse at most N frames (needed for a camera)",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         if (parse_count(value, args.frames)) return true;
         error = "needs a whole number above 0";
         return false;
     }},
    {"--calibration", "FILE", "none", "source pixels to a plane with real units (TOML, as \"Calibration\" saves it)",
     &take_file<&TrackArgs::calibration>},
    {"--scale", "U1,V1,U2,V2,LENGTH[,UNIT]", "none", "two source pixels LENGTH apart (over the calibration's scale)",
     &take_scale},
    {"--origin", "U,V[,AXIS_DEG]", "the picture's bottom-left", "the world origin and x direction, y up",
     &take_origin},
    {"--fill-gaps", "N", "none", "fill held or predicted runs of up to N frames by cubic interpolation",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         int64_t n = 0;
         if (parse_count(value, n) && n <= 100000) {
             args.processing.fill_gaps = static_cast<int32_t>(n);
             return true;
         }
         error = "needs a whole number of frames from 1 to 100000";
         return false;
     }},
    {"--filter", "CUTOFF_HZ|auto", "none",
     "zero-phase low-pass of angles and positions, adds angle_f_deg, omega_dps, speed",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         args.processing.filter = parse_cutoff(value, args.processing.cutoff_hz);
         if (!args.processing.filter) error = "needs a cutoff in Hz above 0, or auto";
         return args.processing.filter;
     }},
    {"--threshold", "N|auto", "the options file's", "grey level from which a pixel counts, 1 to 255; auto: found on "
     "the first frame, with the method's distance",
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
     }},
    {"--place-nodes", "", "", "lay the chain onto the first frame's clusters, in the order of the shortest chain",
     [](TrackArgs& args, std::string_view, std::string&) {
         args.place_nodes = true;
         return true;
     }},
    {"--camera-mode", "WxH@FPS[/FORMAT]", "the mode kept with the source, else the camera's own",
     "the size, rate and pixel format a camera captures in",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         if (!parse_camera_mode(std::string(value), error)) return false;
         args.camera_mode = value;
         return true;
     }},
};

// The calibration the run measures with: the file, its scale and axes levels
// replaced by the quick forms. False with a reason when it cannot map this
// source's pictures.
bool run_calibration(const TrackArgs& args, const SourceGeometry& geometry, Calibration& calibration,
                     CalibrationMap& map, std::string& error) {
    if (!args.calibration.empty()) {
        std::string text;
        if (!platform::read_file(args.calibration, text, 1 << 20)) {
            error = "cannot read calibration " + args.calibration;
            return false;
        }
        if (!parse_calibration_toml(text, calibration, error)) {
            error = args.calibration + ": " + error;
            return false;
        }
    }
    if (args.scale) calibration.scale = args.scale;
    if (args.origin) calibration.axes = args.origin;
    if (calibration.empty()) return true;
    if (!compile_calibration(calibration, geometry.width, geometry.height, map, error)) {
        error = "the calibration cannot be used: " + error;
        return false;
    }
    return true;
}

}  // namespace

std::span<const TrackFlag> track_flags() { return kTrackFlags; }

std::string track_usage() {
    std::string out = "usage: velmora track SOURCE --model MODEL.txt [FLAG VALUE ...]\n";
    for (const TrackFlag& flag : kTrackFlags) {
        const size_t start = out.size();
        out.append("  ").append(flag.name);
        if (!flag.value.empty()) out.append(" ").append(flag.value);
        out.append(out.size() - start < 24 ? 24 - (out.size() - start) : 2, ' ');
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
    bool have_source = false;
    std::vector<std::string_view> seen;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto flag = std::find_if(std::begin(kTrackFlags), std::end(kTrackFlags),
                                       [&](const TrackFlag& f) { return f.name == arg; });
        if (flag != std::end(kTrackFlags)) {
            if (std::find(seen.begin(), seen.end(), arg) != seen.end()) {
                error = std::string(arg) + " is given twice";
                return false;
            }
            seen.push_back(arg);
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
        } else if (have_source) {
            error = "one SOURCE only, got \"" + args.source + "\" and \"" + std::string(arg) + "\"";
            return false;
        } else {
            args.source = arg;
            have_source = true;
        }
    }
    if (!have_source || args.source.empty()) {
        error = "no SOURCE given";
        return false;
    }
    if (args.model.empty()) {
        error = "--model MODEL.txt is needed";
        return false;
    }
    return true;
}

int batch_main(int argc, char** argv) {
    TrackArgs args;
    std::string error;
    if (!parse_track_args(argc, argv, args, error)) {
        std::cerr << "velmora track: " << error << '\n' << track_usage() << std::flush;
        return 2;
    }

    std::ostream quiet(nullptr);
    const Log silent{quiet, quiet};
    BatchSettings settings;
    std::string options_file;
    if (!read_options(args, argc > 0 ? argv[0] : nullptr, settings.options, options_file, error)) return fail(1, error);
    ExtraSettings extras;
    extras.load(options_file, Log{quiet, std::cerr});
    settings.memory.enabled = extras.get_bool("tracking.memory", false);
    settings.memory.hold_frames = extras.get_int("tracking.hold_frames", settings.memory.hold_frames);
    settings.max_frames = args.frames;
    if (args.threshold > 0) settings.options.threshold = args.threshold;
    settings.setup = SceneSetup{args.auto_threshold, args.place_nodes};
    settings.on_setup = [&args](const SceneSetupReport& report) {
        if (args.auto_threshold) std::cerr << "velmora track: " << auto_threshold_text(report.choice) << '\n';
        if (args.place_nodes) std::cerr << "velmora track: " << place_nodes_text(report.placed) << '\n';
        std::cerr << std::flush;
    };
    BatchChecks checks;
    settings.checks = &checks;

    NodeModel model;
    if (!load_model(model, args.model, silent)) return fail(1, "cannot load model " + args.model);

    // A camera captures in the mode asked for, else in the one kept with it.
    std::string mode_text = args.camera_mode;
    if (mode_text.empty() && extras.get("source") == args.source) mode_text = extras.get(kCameraModeKey);
    std::string mode_error;
    const CameraMode mode = parse_camera_mode(mode_text, mode_error).value_or(CameraMode{});
    std::unique_ptr<BatchSource> source = open_batch_source(args.source, error, mode);
    if (source == nullptr) return fail(1, error);
    if (!source->ends() && args.frames < 0)
        return fail(2, "--frames N is needed: \"" + args.source + "\" is a camera and has no end");

    const SourceGeometry geometry = source->geometry();
    Calibration calibration;
    CalibrationMap calibration_map;
    if (!run_calibration(args, geometry, calibration, calibration_map, error)) return fail(1, error);
    const MeasureContext context{&geometry, settings.options.y_invert != 0,
                                 calibration.empty() ? nullptr : &calibration_map};

    for (const std::string* out : {&args.csv, &args.animation}) {
        if (!out->empty() && !writable(*out)) return fail(1, "cannot write " + *out);
    }
    if (!args.animation.empty() && !writable(args.animation + ".model"))
        return fail(1, "cannot write " + args.animation + ".model");

    catch_stop_signals();
    // Messages from opening the source (an odd frame rate) came before; from
    // here on the source speaks only of damage or failure.
    g_source_messages.store(0);
    platform::set_message_sink(&note_source_message);
    // Ends the line of a message the source wrote, before progress is drawn
    // over it.
    int messages_seen = 0;
    const auto end_message_line = [&] {
        const int messages = g_source_messages.load();
        if (messages == messages_seen) return;
        messages_seen = messages;
        std::cerr << '\n';
    };
    int64_t total = args.frames;
    if (source->length() >= 0) total = args.frames >= 0 ? std::min(args.frames, source->length()) : source->length();
    ProgressReport report(std::cerr, ::isatty(STDERR_FILENO) != 0, total);
    Stopwatch clock{};
    clock.start();
    FrameTable table;
    int64_t done = 0;
    const BatchEnd end = run_batch(*source, settings, model, table, g_stop, [&](int64_t frames) {
        done = frames;
        end_message_line();
        report.update(frames, clock.elapsed_ms() / 1000.0);
    });
    end_message_line();
    report.finish(done, clock.elapsed_ms() / 1000.0);
    const std::string fault = source->fault();
    const bool damaged = messages_seen > 0;
    source.reset();  // stops its threads; what it read ahead may still have spoken
    platform::set_message_sink(nullptr);
    end_message_line();
    platform::time_end_period(1);

    for (const std::string& line : checks.warnings) std::cerr << "velmora track: warning: " << line << '\n';
    for (const std::string& line : tally_lines(checks.watch.tallies())) std::cerr << "velmora track: " << line << '\n';
    std::cerr << std::flush;

    // The frames done are written whatever ended the run. The animation holds
    // what tracking did; the gaps are filled for the CSV alone.
    if (!args.animation.empty()) {
        Animation animation;
        if (!animation_of(table, model, animation))
            return fail(1, "too many frames for an animation file: " + std::to_string(table.frame_count()));
        if (!save_animation(animation, args.animation, silent)) return fail(1, "cannot write " + args.animation);
    }

    // After the run, over the whole take: gaps, then the filter.
    const ProcessedTake processed = process_take(table, context, args.processing);
    if (args.processing.fill_gaps > 0)
        std::cerr << "velmora track: " << processed.filled << " samples filled in gaps of up to "
                  << args.processing.fill_gaps << " frames\n";
    if (processed.filtered && args.processing.cutoff_hz == 0.0)
        std::cerr << "velmora track: cutoffs chosen by residual analysis at " << processed.kinematics.rate_hz
                  << " frames per second:\n"
                  << describe_cutoffs(processed.kinematics) << std::flush;
    const TakeKinematics* kinematics = processed.filtered ? &processed.kinematics : nullptr;
    if (args.csv.empty()) {
        std::cout << format_csv(table, context, kinematics) << std::flush;
        if (!std::cout) return fail(1, "cannot write the CSV to standard output");
    } else if (!save_csv(table, args.csv, context, kinematics)) {
        return fail(1, "cannot write " + args.csv);
    }
    if (args.processing.filter && !processed.filtered)
        return fail(1, processed.filter_error + "; the CSV holds the unfiltered columns");

    switch (end) {
        case BatchEnd::stopped:
            return fail(130, "stopped after " + std::to_string(done) + " frames; the output holds them");
        case BatchEnd::source_failed:
            if (!fault.empty())
                return fail(1, "the source failed after " + std::to_string(done) + " frames (" + fault +
                                   "); the output holds those");
            return fail(1, "the source \"" + args.source + "\" gave no frame after " + std::to_string(done) +
                               " frames; the output holds those");
        default:
            // A file with damaged data plays what can be decoded; the run
            // says that its rows are not the whole file.
            if (damaged)
                return fail(1, "the source \"" + args.source + "\" holds damaged data; the output holds the " +
                                   std::to_string(done) + " frames that could be decoded");
            return 0;
    }
}
