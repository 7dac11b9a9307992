// parse_session on arbitrary bytes: no crash or hang, and a session it takes
// is written as text that reads back to the same text.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "session/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session session;
    std::string error;
    if (!parse_session(fuzz_input::text(data, size), session, error)) {
        if (error.empty() || error.find('\n') != std::string::npos)
            fuzz_input::require("a refusal without its one line: " + error);
        return 0;
    }
    const std::string text = format_session(session);
    Session again;
    if (!parse_session(text, again, error)) fuzz_input::require("a written session is refused: " + error);
    if (format_session(again) != text) fuzz_input::require("a written session does not read back to itself");
    return 0;
}
