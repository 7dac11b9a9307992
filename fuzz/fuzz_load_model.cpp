// load_model on arbitrary bytes.

#include <cstdint>
#include <ostream>

#include "fuzz/fuzz_file.h"
#include "tests/support/reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz_file::scratch_path("model.txt");
    fuzz_file::write(path, data, size);
    std::ostream quiet(nullptr);

    NodeModel before;
    before.visible = true;
    before.hovered = 2;
    before.red = 0.25f;
    NodeModel m = before;
    const bool loaded = load_model(m, path, Log{quiet, quiet});
    fuzz_file::require(reader_checks::check_model(before, m, loaded));
    return 0;
}
