#include "app/calibrate_main.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/number_text.h"
#include "calib/calibration_file.h"
#include "calib/lens_fit.h"
#include "platform/file_io.h"
#include "video/source_text.h"
#include "video/video_decoder.h"

namespace {

// Pictures looked at, at most, spread over a stream of known length: enough
// poses for a good fit without searching every frame of a long video.
constexpr int64_t kPicturesTried = 120;
// Views handed to the fit, at most; more add time and little else.
constexpr size_t kMostViews = 40;

struct CalibrateArgs {
    std::string source;
    Checkerboard board;
    std::string out;
};

int fail(int status, const std::string& reason) {
    std::cerr << "velmora calibrate: " << reason << '\n' << std::flush;
    return status;
}

bool parse_args(int argc, const char* const* argv, CalibrateArgs& args, std::string& error) {
    bool have_board = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool flag = arg == "--checkerboard" || arg == "--square" || arg == "--out";
        if (flag && i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        if (arg == "--checkerboard") {
            std::string why;
            if (!parse_board_size(argv[++i], args.board, why)) {
                error = "--checkerboard " + why;
                return false;
            }
            have_board = true;
        } else if (arg == "--square") {
            const std::string_view v = argv[++i];
            const double size = number_of(v).value_or(0.0);
            if (!(size > 0.0)) {
                error = "--square needs the side of one square, a number above 0";
                return false;
            }
            args.board.square = size;
        } else if (arg == "--out") {
            args.out = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return false;
        } else if (!args.source.empty()) {
            error = "one SOURCE only";
            return false;
        } else {
            args.source = arg;
        }
    }
    if (args.source.empty()) error = "no SOURCE given";
    else if (!have_board) error = "--checkerboard COLSxROWS is needed";
    else if (!(args.board.square > 0.0)) error = "--square SIZE is needed";
    else if (args.out.empty()) error = "--out FILE is needed";
    else if (args.out == args.source) error = "--out would write over SOURCE";
    return error.empty();
}

// The mean distance between the corners of two views of one board, in pixels.
double moved(const std::vector<PlanePoint>& a, const std::vector<PlanePoint>& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::hypot(a[i].x - b[i].x, a[i].y - b[i].y);
    return sum / static_cast<double>(a.size());
}

}  // namespace

bool is_calibrate_command(int argc, const char* const* argv) {
    return argc >= 2 && argv[1] != nullptr && std::strcmp(argv[1], "calibrate") == 0;
}

const char* calibrate_usage() {
    return "usage: velmora calibrate SOURCE --checkerboard COLSxROWS --square SIZE --out lens.toml\n"
           "  SOURCE                  a video file, a printf pattern or a folder of images of a printed checkerboard\n"
           "  --checkerboard COLSxROWS  its inner corners across and down, such as 9x6\n"
           "  --square SIZE           the side of one square\n"
           "  --out FILE              the lens as a calibration file (TOML)\n";
}

int calibrate_main(int argc, char** argv) {
    CalibrateArgs args;
    std::string error;
    if (!parse_args(argc, argv, args, error)) {
        std::cerr << "velmora calibrate: " << error << '\n' << calibrate_usage() << std::flush;
        return 2;
    }
    // The pictures as the program decodes them, at their own size: files and
    // sequences, which end; a camera does not.
    const SourceName name = classify_source(args.source);
    if (!name.error.empty()) return fail(1, "cannot open \"" + args.source + "\": " + name.error);
    if (name.kind != SourceKind::file && name.kind != SourceKind::sequence)
        return fail(1, "cannot open \"" + args.source + "\": " + args.source +
                           ": needs a video file or a sequence of images");
    SourceOptions options;
    options.count_frames = true;  // to spread the pictures tried over the whole file
    options.decoder_threads = 0;
    std::unique_ptr<VideoDecoder> frames = open_video_decoder(name, args.source, options, error);
    if (frames == nullptr) return fail(1, "cannot open \"" + args.source + "\": " + error);

    const int64_t length = frames->info().frame_count;
    const int64_t step = length > kPicturesTried ? length / kPicturesTried : 1;
    DecodedGrey picture;
    std::vector<std::vector<PlanePoint>> views;
    int width = 0, height = 0;
    int64_t index = 0, tried = 0, other_size = 0;
    for (; frames->next_grey(picture) == VideoDecoder::Result::picture; ++index) {
        if (index % step != 0) continue;
        if (width == 0) width = picture.width, height = picture.height;
        if (picture.width != width || picture.height != height) {
            ++other_size;
            continue;
        }
        ++tried;
        std::vector<PlanePoint> corners = find_board_corners(
            GreyPicture{picture.pixels.data(), picture.width, picture.height, picture.width}, args.board);
        if (corners.empty()) continue;
        // A board that stood still gives the same view again, which adds
        // nothing but weight: a view counts when its corners moved a few
        // pixels from the last one kept.
        if (!views.empty() && moved(views.back(), corners) < 0.005 * std::hypot(width, height)) continue;
        views.push_back(std::move(corners));
    }
    if (!frames->fault().empty()) std::cerr << "velmora calibrate: " << args.source << ": " << frames->fault() << '\n';
    if (tried == 0) return fail(1, "\"" + args.source + "\" gave no picture");
    if (other_size > 0)
        std::cerr << "velmora calibrate: " << other_size << " pictures of another size than " << width << " x "
                  << height << " were left out\n";
    if (views.size() > kMostViews) {
        std::vector<std::vector<PlanePoint>> spread;
        for (size_t i = 0; i < kMostViews; ++i) spread.push_back(std::move(views[i * views.size() / kMostViews]));
        views = std::move(spread);
    }

    Calibration lens;
    lens.width = width;
    lens.height = height;
    lens.lens.emplace();
    if (!fit_lens(views, args.board, width, height, *lens.lens, error)) return fail(1, error);
    if (platform::replace_file(args.out, calibration_toml(lens)) != platform::WriteResult::ok)
        return fail(1, "cannot write " + args.out);
    char line[256];
    std::snprintf(line, sizeof line, "%s: RMS reprojection error %.3f px over %d views (of %lld pictures searched)\n",
                  args.out.c_str(), lens.lens->rms, lens.lens->views, static_cast<long long>(tried));
    std::cout << line << std::flush;
    return 0;
}
