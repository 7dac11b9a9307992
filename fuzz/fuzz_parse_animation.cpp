// parse_animation on arbitrary bytes. The bytes before the first NUL are the
// animation file, those after it (when there is a NUL) its companion model
// file, which is read only when the animation was, as on loading.

#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "tests/support/reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view all = fuzz_input::text(data, size);
    const size_t nul = all.find('\0');
    const std::string_view animation_text = all.substr(0, nul);
    const bool has_companion = nul != std::string_view::npos;
    const std::string_view companion_text = has_companion ? all.substr(nul + 1) : std::string_view{};
    if (fuzz_input::huge_animation(animation_text) || fuzz_input::huge_model(companion_text)) return 0;

    // A small marked take, made once: a refused parse must leave it as it was.
    static const Animation before = [] {
        Animation b;
        b.reset(3, 2);
        b.frame_count = 2;
        b.timestamps[1] = 40.0f;
        b.frames[4].x = 9;
        return b;
    }();
    Animation a = before;
    const bool loaded = parse_animation(a, animation_text);
    const bool model_loaded = loaded && has_companion && parse_model(a.model, companion_text);
    // Checked first: the animation's workout records into the model.
    fuzz_input::require(reader_checks::check_model(before.model, a.model, model_loaded));
    fuzz_input::require(reader_checks::check_animation(before, a, loaded));
    return 0;
}
