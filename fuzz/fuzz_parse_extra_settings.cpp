// ExtraSettings::parse on arbitrary bytes: every key it keeps is valid, no
// value holds a line break, and the written text reads back to itself.

#include <cstdint>
#include <string>

#include "base/extra_settings.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ExtraSettings settings;
    settings.parse(fuzz_input::text(data, size));
    const std::string text = settings.format();
    size_t line_start = 0;
    while (line_start < text.size()) {
        const size_t end = text.find('\n', line_start);
        const std::string line = text.substr(line_start, end - line_start);
        line_start = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos || !ExtraSettings::valid_key(line.substr(0, eq)))
            fuzz_input::require("a kept key is not a valid key: " + line);
        const std::string key = line.substr(0, eq);
        if (line.find('\r') != std::string::npos) fuzz_input::require("a kept value holds a line break");
        if (settings.get(key, "\n") != line.substr(eq + 1)) fuzz_input::require("a key does not read its value");
        (void)settings.get_int(key, 0);
    }
    ExtraSettings again;
    again.parse(text);
    if (again.format() != text) fuzz_input::require("the written settings do not read back to themselves");
    if (settings.changed() || again.changed()) fuzz_input::require("parsing marks the settings changed");
    return 0;
}
