#include "app/batch_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
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
#include "loop/batch_run.h"
#include "loop/stopwatch.h"
#include "measure/csv_file.h"
#include "model/animation_file.h"
#include "model/model_file.h"
#include "platform/message.h"
#include "platform/timer.h"
#include "video/v4l2.h"

namespace {

// Set by Ctrl-C (and a polite kill); the run stops after the frame in hand.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler may only touch a lock-free flag");

extern "C" void request_stop(int) { g_stop.store(true); }

// Counts what the source tells the operator while the run goes on (damaged
// data it decoded past, or the fault that ended it), so that its line is ended
// before progress is drawn over it. Its words are on standard error already
// (the message path writes them there, without a line end); whether the file
// was damaged the source itself says.
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

// The rate kept with the source in the window's extra settings, when the
// run's SOURCE is that source; 0 otherwise.
double remembered_fps(const ExtraSettings& extras, const std::string& source) {
    if (extras.get("source") != source) return 0;
    const std::string text = extras.get("source.fps");
    double fps = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), fps);
    return ec == std::errc() && end == text.data() + text.size() && fps > 0 && fps <= 1000 ? fps : 0;
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
    {"--fps", "N", "the rate kept with the source, else 25", "frames per second of an image sequence",
     [](TrackArgs& args, std::string_view value, std::string& error) {
         const char* end = value.data() + value.size();
         const auto [stop, ec] = std::from_chars(value.data(), end, args.fps);
         if (ec == std::errc() && stop == end && args.fps > 0 && args.fps <= 1000) return true;
         error = "needs a rate above 0 and up to 1000";
         return false;
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

}  // namespace

std::span<const TrackFlag> track_flags() { return kTrackFlags; }

std::string threshold_refusal(const Options& options) {
    const int32_t t = options.threshold;
    if (t == 0)
        return "threshold 0 finds no markers: choose one on the Clustering page of the window (it is kept in the "
               "options file) or give --threshold N";
    if (t < 0 || t > 255) return "the options file's threshold " + std::to_string(t) + " lies outside 0 to 255";
    return {};
}

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
    BatchSourceOptions source_options;
    source_options.camera_mode = parse_camera_mode(mode_text, mode_error).value_or(CameraMode{});
    const double kept_fps = remembered_fps(extras, args.source);
    source_options.sequence_fps = args.fps > 0 ? args.fps : kept_fps > 0 ? kept_fps : source_options.sequence_fps;
    std::unique_ptr<BatchSource> source = open_batch_source(args.source, error, source_options);
    if (source == nullptr) return fail(1, error);
    if (!source->ends() && args.frames < 0)
        return fail(2, "--frames N is needed: \"" + args.source + "\" is a camera and has no end");

    for (const std::string* out : {&args.csv, &args.animation}) {
        if (!out->empty() && !writable(*out)) return fail(1, "cannot write " + *out);
    }
    if (!args.animation.empty() && !writable(args.animation + ".model"))
        return fail(1, "cannot write " + args.animation + ".model");
    // The threshold in force, from the options file or the command line;
    // "auto" finds its own on the first frame.
    if (const std::string refusal = threshold_refusal(settings.options); !refusal.empty() && !args.auto_threshold)
        return fail(1, refusal);

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
    const bool damaged = source->damaged();
    const bool ends = source->ends();
    source.reset();  // stops its threads; what it read ahead may still have spoken
    platform::set_message_sink(nullptr);
    end_message_line();
    platform::time_end_period(1);

    for (const std::string& line : checks.warnings) std::cerr << "velmora track: warning: " << line << '\n';
    for (const std::string& line : tally_lines(checks.watch.tallies())) std::cerr << "velmora track: " << line << '\n';
    std::cerr << std::flush;

    // The frames done are written whatever ended the run.
    if (args.csv.empty()) {
        std::cout << format_csv(table) << std::flush;
        if (!std::cout) return fail(1, "cannot write the CSV to standard output");
    } else if (!save_csv(table, args.csv)) {
        return fail(1, "cannot write " + args.csv);
    }
    if (!args.animation.empty()) {
        Animation animation;
        if (!animation_of(table, model, animation))
            return fail(1, "too many frames for an animation file: " + std::to_string(table.frame_count()));
        if (!save_animation(animation, args.animation, silent)) return fail(1, "cannot write " + args.animation);
    }

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
            if (done == 0 && ends)
                return fail(1, "the source \"" + args.source + "\" holds no picture");
            // A file with damaged data plays what can be decoded; the run
            // says that its rows are not the whole file.
            if (damaged)
                return fail(1, "the source \"" + args.source + "\" holds damaged data; the output holds the " +
                                   std::to_string(done) + " frames that could be decoded");
            return 0;
    }
}
