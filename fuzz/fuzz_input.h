#pragma once
// What the parser targets share: bytes as text, inputs skipped for their size,
// and how a violated check stops the run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/animation.h"
#include "model/model_limits.h"
#include "model/text_values.h"

namespace fuzz_input {

inline std::string_view text(const uint8_t* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Counts the readers accept but that would have each input allocate and walk
// up to 2^24 entries (hundreds of MB) are skipped: they keep the fuzzer
// allocating instead of exploring. The limits themselves are covered by the
// tests. Counts beyond the limits are still run: they are refused at once.
inline constexpr int64_t kMaxEntries = 64;

inline bool huge_model(std::string_view text) {
    model_text::ValueReader in(text);
    int32_t count = 0;
    return in.read(count) && count > kMaxEntries && count <= kMaxModelNodes;
}

inline bool huge_animation(std::string_view text) {
    model_text::ValueReader in(text);
    int32_t frames = 0, nodes = 0;
    if (!in.read(frames) || !in.read(nodes) || !animation_size_allowed(frames, nodes)) return false;
    return int64_t{frames} * (int64_t{nodes} + 1) > kMaxEntries || nodes > kMaxEntries;
}

// Stops the run with the violation, so libFuzzer keeps the input.
inline void require(const std::string& violation) {
    if (violation.empty()) return;
    std::fprintf(stderr, "reader check failed: %s\n", violation.c_str());
    std::abort();
}

}  // namespace fuzz_input
