#include "base/extra_settings.h"

#include <sys/stat.h>

#include <charconv>

#include "platform/file_io.h"

namespace {

// Far beyond any real settings file; a larger one is not ours.
constexpr size_t kMaxSettingsFileBytes = size_t{1} << 20;

}  // namespace

bool ExtraSettings::valid_key(std::string_view key) {
    if (key.empty() || key.size() > 64) return false;
    for (const char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_')) return false;
    return true;
}

std::string ExtraSettings::get(std::string_view key, std::string_view fallback) const {
    const auto it = values_.find(key);
    return it != values_.end() ? it->second : std::string(fallback);
}

int32_t ExtraSettings::get_int(std::string_view key, int32_t fallback) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return fallback;
    const std::string& text = it->second;
    int32_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    return error == std::errc() && end == text.data() + text.size() ? v : fallback;
}

bool ExtraSettings::set(std::string_view key, std::string_view value) {
    if (!valid_key(key) || value.find_first_of("\r\n") != std::string_view::npos) return false;
    const auto it = values_.find(key);
    if (it != values_.end() && it->second == value) return true;
    values_.insert_or_assign(std::string(key), std::string(value));
    changed_ = true;
    return true;
}

void ExtraSettings::set_int(std::string_view key, int32_t value) { set(key, std::to_string(value)); }

void ExtraSettings::erase(std::string_view key) {
    const auto it = values_.find(key);
    if (it == values_.end()) return;
    values_.erase(it);
    changed_ = true;
}

std::string ExtraSettings::format() const {
    std::string text;
    for (const auto& [key, value] : values_) text += key + "=" + value + "\n";
    return text;
}

void ExtraSettings::parse(std::string_view text) {
    values_.clear();
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        // A carriage return inside a value is a line break that set() refuses.
        if (valid_key(key) && value.find('\r') == std::string_view::npos)
            values_.insert_or_assign(std::string(key), std::string(value));
    }
    changed_ = false;
}

void ExtraSettings::load(const std::string& options_file, Log log) {
    const std::string name = file_name(options_file);
    struct stat st{};
    values_.clear();
    changed_ = false;
    if (::stat(name.c_str(), &st) != 0) return;
    std::string text;
    if (!platform::read_file(name, text, kMaxSettingsFileBytes)) {
        log.err << "\ncould not load settings from " << name;
        return;
    }
    parse(text);
}

bool ExtraSettings::save(const std::string& options_file, Log log) {
    if (!changed_) return true;
    const std::string name = file_name(options_file);
    if (platform::replace_file(name, format()) != platform::WriteResult::ok) {
        log.err << "\ncould NOT save settings to " << name;
        return false;
    }
    changed_ = false;
    return true;
}
