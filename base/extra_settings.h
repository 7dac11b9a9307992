#pragma once
// Settings that came after the options block. The block stays the fixed
// 2160-byte image its readers expect; everything newer lives in a small text
// file beside it ("<options file>.extra"), one "key=value" per line:
//
//   source=/home/me/takes/walk.mp4
//   tracking.hold_frames=5
//
// Keys are lower-case words joined by '.' and '_'. A value is the rest of its
// line, '=' included. Lines that are not of this form are skipped, a later
// line wins over an earlier one with the same key, and values never hold a
// line break. A key that was never set reads as the caller's default, so a
// program that uses none of the newer settings behaves exactly as before: no
// file is read or written and nothing is logged.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "base/log.h"

class ExtraSettings {
public:
    std::string get(std::string_view key, std::string_view fallback = {}) const;
    // The value as a decimal int32; the fallback when unset or not a number.
    int32_t get_int(std::string_view key, int32_t fallback) const;
    bool get_bool(std::string_view key, bool fallback) const { return get_int(key, fallback ? 1 : 0) != 0; }

    // False, and no change, for a malformed key or a value with a line break.
    bool set(std::string_view key, std::string_view value);
    void set_int(std::string_view key, int32_t value);
    void set_bool(std::string_view key, bool value) { set_int(key, value ? 1 : 0); }
    void erase(std::string_view key);

    bool empty() const { return values_.empty(); }
    // Every setting, in the order of its key.
    const std::map<std::string, std::string, std::less<>>& values() const { return values_; }
    // True once anything was set or erased since the last load or save.
    bool changed() const { return changed_; }

    // The file's text: the keys in order.
    std::string format() const;
    // Replaces every value with those of `text`.
    void parse(std::string_view text);

    // Reads the file beside `options_file`. A missing file is silent and
    // leaves the settings empty; one that exists but cannot be read gives
    // "\ncould not load settings from NAME" on the error stream.
    void load(const std::string& options_file, Log log);
    // Writes the file beside `options_file` when something changed since the
    // load, atomically like the options file. Silent on success; a failure
    // gives "\ncould NOT save settings to NAME" on the error stream and false.
    bool save(const std::string& options_file, Log log);

    static std::string file_name(const std::string& options_file) { return options_file + ".extra"; }
    static bool valid_key(std::string_view key);

private:
    std::map<std::string, std::string, std::less<>> values_;
    bool changed_ = false;
};
