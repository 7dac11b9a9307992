#include "model/text_values.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace model_text {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Float parsing must not follow the process's LC_NUMERIC: a file written with
// '.' has to read the same whatever locale the toolkit set.
locale_t c_locale() {
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

void append_int(std::string& out, int32_t v) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void append_float(std::string& out, float v) {
    // to_chars with a precision formats as printf does in the C locale; the
    // float is widened to double exactly as printf's variadic call would.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::general, 6);
    out.append(buf, r.ptr);
}

void append_node(std::string& out, const ModelNode& node) {
    append_int(out, node.x);
    out += '\t';
    append_int(out, node.y);
    out += '\t';
    append_int(out, node.value);
    out += "\t\t";
}

bool ValueReader::fail() {
    failed_ = true;
    return false;
}

void ValueReader::skip_space() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
}

bool ValueReader::read_integer_token(bool& negative, std::string_view& digits) {
    if (failed_) return false;
    skip_space();
    negative = false;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) negative = text_[pos_++] == '-';
    const size_t first = pos_;
    while (pos_ < text_.size() && is_digit(text_[pos_])) ++pos_;
    if (pos_ == first) return fail();
    digits = text_.substr(first, pos_ - first);
    return true;
}

bool ValueReader::read(int32_t& v) {
    bool negative = false;
    std::string_view digits;
    if (!read_integer_token(negative, digits)) return false;
    // Magnitude in 64 bits; any digit string past the int32 range fails.
    int64_t magnitude = 0;
    for (const char c : digits) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{INT32_MAX} + 1) return fail();
    }
    if (negative) magnitude = -magnitude;
    if (magnitude > INT32_MAX) return fail();
    v = static_cast<int32_t>(magnitude);
    return true;
}

bool ValueReader::read(bool& v) {
    int32_t i = 0;
    if (!read(i)) return false;
    if (i != 0 && i != 1) return fail();
    v = i == 1;
    return true;
}

bool ValueReader::read(ModelNode& node) {
    // After a failed read every later one fails too, so stopping early changes nothing.
    return read(node.x) && read(node.y) && read(node.value);
}

bool ValueReader::read(float& v) {
    if (failed_) return false;
    skip_space();
    const size_t first = pos_;
    auto digits = [&] {
        const size_t from = pos_;
        while (pos_ < text_.size() && is_digit(text_[pos_])) ++pos_;
        return pos_ - from;
    };
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    size_t mantissa = digits();
    if (pos_ < text_.size() && text_[pos_] == '.') {
        ++pos_;
        mantissa += digits();
    }
    if (mantissa == 0) return fail();
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
        ++pos_;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
        if (digits() == 0) return fail();  // "1e" is no number
    }
    // Neither "nan" nor "inf" matches the pattern above, so an infinite result
    // can only be an overflow: a value a float cannot hold fails. Underflow
    // reads as 0 or a subnormal, as a stream reads it.
    const std::string token(text_.substr(first, pos_ - first));
    const float parsed = ::strtof_l(token.c_str(), nullptr, c_locale());
    if (std::isinf(parsed)) return fail();
    v = parsed;
    return true;
}

}  // namespace model_text
