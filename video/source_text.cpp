#include "video/source_text.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

namespace {

std::string trimmed(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), blank);
    auto end = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return begin < end ? std::string(begin, end) : std::string();
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A printf integer directive: '%', optional flags and width, 'd' (or 'i').
bool has_integer_directive(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        size_t j = i + 1;
        if (j < text.size() && text[j] == '%') {
            i = j;  // "%%" is a literal percent sign
            continue;
        }
        while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) != 0)) ++j;
        if (j < text.size() && (text[j] == 'd' || text[j] == 'i')) return true;
    }
    return false;
}

bool is_image_extension(const std::string& ext) {
    const std::string e = lower(ext);
    return e == ".png" || e == ".pgm" || e == ".jpg" || e == ".jpeg";
}

SourceName folder_source(const std::string& folder) {
    // The images by their exact extension: a sequence is pictures of one kind.
    std::map<std::string, int> by_extension;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code type_ec;
        if (!entry.is_regular_file(type_ec)) continue;
        const std::string ext = entry.path().extension().string();
        if (is_image_extension(ext)) ++by_extension[ext];
    }
    SourceName name;
    name.kind = SourceKind::sequence;
    if (ec) {
        name.error = folder + ": " + ec.message();
    } else if (by_extension.empty()) {
        name.error = folder + " holds no PNG, PGM or JPEG files";
    } else if (by_extension.size() > 1) {
        name.error = folder + " holds images of more than one kind (";
        for (auto it = by_extension.begin(); it != by_extension.end(); ++it)
            name.error += (it == by_extension.begin() ? "" : ", ") + it->first;
        name.error += "); give a pattern such as f%04d.png";
    } else {
        std::string dir = folder;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        name.url = dir;
        name.folder = true;
        name.extension = by_extension.begin()->first;
    }
    return name;
}

// Video capture devices have this major number on Linux.
constexpr unsigned kVideoMajor = 81;

}  // namespace

SourceName classify_source(const std::string& text) {
    const std::string t = trimmed(text);
    SourceName name;
    name.url = t;
    if (t.empty()) {
        name.error = "no source given";
        return name;
    }
    if (lower(t) == "synthetic") {
        name.kind = SourceKind::synthetic;
        return name;
    }
    struct stat st {};
    const bool exists = ::stat(t.c_str(), &st) == 0;
    // A file under /dev/ (a video kept in /dev/shm) is no device; a missing
    // /dev/ path is named a device, so its error comes from the device side.
    if (exists ? S_ISCHR(st.st_mode) : t.rfind("/dev/", 0) == 0) {
        name.kind = SourceKind::device;
        // A terminal or /dev/null would answer the capture requests with
        // "Inappropriate ioctl for device".
        if (exists && major(st.st_rdev) != kVideoMajor) name.error = t + " is not a camera or a video file";
        return name;
    }
    if (exists && S_ISDIR(st.st_mode)) return folder_source(t);
    if (!exists && has_integer_directive(t)) {
        name.kind = SourceKind::sequence;
        return name;
    }
    name.kind = SourceKind::file;
    if (!exists) name.error = t + ": no such file";
    // A FIFO or socket would block the opening thread (the GUI's) in open(2)
    // until a writer comes, beyond the reach of the open's time limit.
    else if (!S_ISREG(st.st_mode)) name.error = t + ": not a regular file";
    return name;
}
