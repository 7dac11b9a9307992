// A calibration file's text as arbitrary bytes: what is read writes back to
// text that reads as the same, and whatever compiles maps points without
// crashing, however deep or large the text.

#include <cstdint>
#include <string>

#include "calib/calibration_file.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Calibration c;
    std::string error;
    if (!parse_calibration_toml(fuzz_input::text(data, size), c, error)) {
        if (error.empty()) fuzz_input::require("a refused text gives no reason");
        return 0;
    }
    const std::string text = calibration_toml(c);
    Calibration again;
    if (!parse_calibration_toml(text, again, error)) fuzz_input::require("a written calibration is refused: " + error);
    if (calibration_toml(again) != text) fuzz_input::require("a written calibration does not read back to itself");
    CalibrationMap map;
    const int width = c.width > 0 ? c.width : 640, height = c.height > 0 ? c.height : 480;
    if (compile_calibration(c, width, height, map, error)) {
        for (const PlanePoint p : {PlanePoint{0, 0}, PlanePoint{width / 2.0, height / 2.0}})
            (void)to_source(map, to_world(map, p));
    }
    return 0;
}
