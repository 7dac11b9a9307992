#include "app/own_name.h"

std::string own_name_extension(std::string_view name) {
    // Scan backwards down to, but not including, index 0.
    for (size_t i = name.size(); i-- > 1;) {
        const char c = name[i];
        if (c == '/' || c == '\\') return {};
        if (c == '.') return std::string(name.substr(i + 1));
    }
    return {};
}

std::string settle_own_name(int argc, const char* const* argv, Log log) {
    std::string name;
    if (argc < 1 || argv == nullptr || argv[0] == nullptr) {
        log.out << "\nwarning: cannot determine my own filename.";
        name = "velmora.exe";
    } else {
        name = argv[0];
    }
    if (own_name_extension(name) != "exe") name += ".exe";
    return name;
}
