// parse_model on arbitrary bytes, then the workout of the loaded model.

#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "tests/support/reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz_input::text(data, size);
    if (fuzz_input::huge_model(text)) return 0;
    NodeModel before;
    before.visible = true;
    before.hovered = 2;
    before.red = 0.25f;
    NodeModel m = before;
    const bool loaded = parse_model(m, text);
    fuzz_input::require(reader_checks::check_model(before, m, loaded));
    return 0;
}
