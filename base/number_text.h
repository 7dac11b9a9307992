#pragma once
// A number typed by the operator or kept as text: the whole text, nothing
// before or after it, and finite. Flags, inputs and kept settings all read
// numbers this one way.

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

inline std::optional<double> number_of(std::string_view text) {
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}
