#include "app/output_clash.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace {

// What makes two names one file.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;  // where no file exists

    bool operator==(const Identity& o) const {
        if (exists != o.exists) return false;
        return exists ? device == o.device && inode == o.inode : path == o.path;
    }
};

std::optional<Identity> identity_of(const std::string& path) {
    if (path.empty() || path == "-") return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) return Identity{true, st.st_dev, st.st_ino, {}};
    std::error_code ec;
    std::filesystem::path normal = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    if (ec) normal = std::filesystem::absolute(path, ec).lexically_normal();
    return Identity{false, 0, 0, normal.string()};
}

bool is_null_device(const Identity& id) {
    struct stat st{};
    return id.exists && ::stat("/dev/null", &st) == 0 && st.st_dev == id.device && st.st_ino == id.inode;
}

std::string named(const RunFile& f) { return f.what + " \"" + f.path + "\""; }

}  // namespace

std::string output_clash(std::span<const RunFile> inputs, std::span<const RunFile> outputs) {
    std::vector<std::optional<Identity>> input_ids;
    for (const RunFile& in : inputs) input_ids.push_back(identity_of(in.path));
    std::vector<std::optional<Identity>> output_ids;
    for (size_t o = 0; o < outputs.size(); ++o) {
        std::optional<Identity> id = identity_of(outputs[o].path);
        if (id && is_null_device(*id)) id.reset();
        output_ids.push_back(id);
        if (!id) continue;
        for (size_t i = 0; i < inputs.size(); ++i) {
            if (input_ids[i] && *input_ids[i] == *id)
                return named(outputs[o]) + " would overwrite " + named(inputs[i]);
        }
        for (size_t e = 0; e < o; ++e) {
            if (output_ids[e] && *output_ids[e] == *id)
                return named(outputs[e]) + " and " + named(outputs[o]) + " are the same file";
        }
    }
    return {};
}
