// load_options on arbitrary bytes: the whole image when the size is right,
// the defaults otherwise. Beyond the size check the reader only copies bytes,
// so what is worth fuzzing is its file access: it runs on a scratch file.

#include <cstdint>
#include <cstring>
#include <ostream>

#include "base/options.h"
#include "fuzz/fuzz_file.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz_file::scratch_path("options.ini");
    static const Options defaults = default_options();
    fuzz_file::write(path, data, size);
    std::ostream quiet(nullptr);

    Options o = defaults;
    o.threshold = 77;
    load_options(path, o, Log{quiet, quiet});
    if (size == kOptionsFileSize) {
        if (std::memcmp(&o, data, size) != 0) fuzz_input::require("an options file of the right size must load whole");
    } else if (std::memcmp(&o, &defaults, sizeof o) != 0) {
        fuzz_input::require("an options file of the wrong size must give the defaults");
    }
    return 0;
}
