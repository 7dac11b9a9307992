#include "video/image_sequence.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

namespace {

bool digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// -1, 0, 1 as the digit runs a and b compare by value.
int compare_numbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool regular_file(const std::filesystem::directory_entry& entry) {
    std::error_code ec;
    return entry.is_regular_file(ec);
}

}  // namespace

double ImageSequence::time_ms(size_t i, double fps) const {
    if (pictures.empty() || i >= pictures.size() || !(fps > 0)) return 0.0;
    return static_cast<double>(pictures[i].number - pictures.front().number) * 1000.0 / fps;
}

bool natural_less(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t ie = i, je = j;
            while (ie < a.size() && digit(a[ie])) ++ie;
            while (je < b.size() && digit(b[je])) ++je;
            const int c = compare_numbers(a.substr(i, ie - i), b.substr(j, je - j));
            if (c != 0) return c < 0;
            i = ie, j = je;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i, ++j;
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    return a < b;  // "f01" and "f1": one order, always the same
}

std::string NumberPattern::name(int64_t number) const {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), zeros ? '0' : ' ');
    return prefix + digits + suffix;
}

std::optional<int64_t> NumberPattern::number_of(std::string_view name) const {
    if (name.size() < prefix.size() + suffix.size() + 1) return std::nullopt;
    if (name.substr(0, prefix.size()) != prefix || name.substr(name.size() - suffix.size()) != suffix)
        return std::nullopt;
    std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    while (!zeros && !middle.empty() && middle.front() == ' ') middle.remove_prefix(1);
    if (middle.empty() || !std::all_of(middle.begin(), middle.end(), digit)) return std::nullopt;
    int64_t number = 0;
    const auto [end, ec] = std::from_chars(middle.data(), middle.data() + middle.size(), number);
    if (ec != std::errc() || end != middle.data() + middle.size()) return std::nullopt;
    // f7.png and f007.png are not both names of %03d: only the exact spelling is.
    if (this->name(number) != name) return std::nullopt;
    return number;
}

bool parse_number_pattern(const std::string& text, NumberPattern& out, std::string& error) {
    out = NumberPattern{};
    const size_t slash = text.rfind('/');
    out.folder = slash == std::string::npos ? "" : text.substr(0, slash == 0 ? 1 : slash);
    const std::string file = slash == std::string::npos ? text : text.substr(slash + 1);
    bool found = false;
    std::string* part = &out.prefix;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] != '%') {
            *part += file[i];
            continue;
        }
        if (i + 1 < file.size() && file[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        const bool zeros = j < file.size() && file[j] == '0';
        while (j < file.size() && digit(file[j])) ++j;
        if (found || j >= file.size() || (file[j] != 'd' && file[j] != 'i')) {
            error = text + ": a pattern holds one number, written %d or %04d";
            return false;
        }
        const std::string width = file.substr(i + 1, j - i - 1);
        out.zeros = zeros;
        out.width = width.empty() ? 0 : std::min(std::stoi(width.substr(0, 3)), 64);
        found = true;
        part = &out.suffix;
        i = j;
    }
    if (!found) {
        error = text + ": the file's name holds no number, written %d or %04d";
        return false;
    }
    return true;
}

bool list_folder(const std::string& folder, const std::string& extension, ImageSequence& out, std::string& error) {
    out.pictures.clear();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (regular_file(entry) && entry.path().extension().string() == extension)
            out.pictures.push_back(SequencePicture{entry.path().string(), 0});
    }
    if (ec) {
        error = folder + ": " + ec.message();
        return false;
    }
    if (out.pictures.empty()) {
        error = folder + " holds no " + extension + " files";
        return false;
    }
    std::sort(out.pictures.begin(), out.pictures.end(), [](const SequencePicture& a, const SequencePicture& b) {
        return natural_less(std::filesystem::path(a.path).filename().string(),
                            std::filesystem::path(b.path).filename().string());
    });
    for (size_t i = 0; i < out.pictures.size(); ++i) out.pictures[i].number = static_cast<int64_t>(i);
    return true;
}

bool list_pattern(const std::string& pattern, ImageSequence& out, std::string& error) {
    out.pictures.clear();
    NumberPattern p;
    if (!parse_number_pattern(pattern, p, error)) return false;
    std::error_code ec;
    const std::filesystem::path folder = p.folder.empty() ? std::filesystem::path(".") : std::filesystem::path(p.folder);
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!regular_file(entry)) continue;
        const std::string name = entry.path().filename().string();
        if (const std::optional<int64_t> n = p.number_of(name))
            out.pictures.push_back(SequencePicture{p.folder.empty() ? name : (folder / name).string(), *n});
    }
    if (ec) {
        error = pattern + ": " + ec.message();
        return false;
    }
    if (out.pictures.empty()) {
        error = pattern + ": no file of this pattern exists";
        return false;
    }
    std::sort(out.pictures.begin(), out.pictures.end(),
              [](const SequencePicture& a, const SequencePicture& b) { return a.number < b.number; });
    return true;
}
