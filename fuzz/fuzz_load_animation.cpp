// load_animation on arbitrary bytes. The bytes before the first NUL are the
// animation file, those after it (when there is a NUL) its companion model file.
//
// Headers that the reader accepts but that ask for more than 2^20 entries are
// skipped: each costs a zero-filled buffer of up to 200 MB and would keep the
// fuzzer busy allocating. The limits themselves are covered by the tests.

#include <cstdint>
#include <cstring>
#include <ostream>

#include "fuzz/fuzz_file.h"
#include "model/text_values.h"
#include "tests/support/reader_checks.h"

namespace {

bool huge_but_accepted(const uint8_t* data, size_t size) {
    model_text::ValueReader header(std::string_view(reinterpret_cast<const char*>(data), size));
    int32_t frames = 0, nodes = 0;
    if (!header.read(frames) || !header.read(nodes) || frames < 0 || nodes < 0) return false;
    return int64_t{frames} * (int64_t{nodes} + 1) > (int64_t{1} << 20) && animation_size_allowed(frames, nodes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz_file::scratch_path("animation.txt");
    const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t animation_size = nul != nullptr ? static_cast<size_t>(nul - data) : size;
    if (huge_but_accepted(data, animation_size)) return 0;
    fuzz_file::write(path, data, animation_size);
    if (nul != nullptr)
        fuzz_file::write(path + ".model", nul + 1, size - animation_size - 1);
    else
        ::unlink((path + ".model").c_str());
    std::ostream quiet(nullptr);

    Animation before;
    before.frame_count = 2;
    before.timestamps[1] = 40.0f;
    before.frames[4].x = 9;
    Animation a = before;
    const bool loaded = load_animation(a, path, Log{quiet, quiet});
    // The companion's load is not reported: a model that changed must look
    // loaded, one that did not is checked as refused. (Checked first: the
    // animation's workout records into the model.)
    const bool model_changed = !reader_checks::same_model(before.model, a.model);
    fuzz_file::require(reader_checks::check_model(before.model, a.model, model_changed));
    fuzz_file::require(reader_checks::check_animation(before, a, loaded));
    return 0;
}
