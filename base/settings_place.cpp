#include "base/settings_place.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/extra_settings.h"
#include "platform/file_io.h"

namespace {

bool exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

std::string name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SettingsPlace settings_place(const std::string& own_file, const std::string& config_folder,
                             bool own_folder_writable) {
    const std::string config_file = config_folder.empty() ? std::string() : config_folder + "/" + name_of(own_file);
    const bool in_config = !own_folder_writable && !config_file.empty();
    const std::string& saved = in_config ? config_file : own_file;
    const std::string& other = in_config ? own_file : config_file;
    // Where a file of this suffix is read: where it is saved, else the other place.
    const auto read_from = [&](const std::string& suffix) {
        if (!exists(saved + suffix) && !other.empty() && exists(other + suffix)) return other;
        return saved;
    };
    return SettingsPlace{read_from(""), read_from(ExtraSettings::file_name("")), saved};
}

SettingsPlace find_settings_place(const std::string& own_file) {
    const std::string folder = platform::folder_of(own_file);
    return settings_place(own_file, user_config_folder(), ::access(folder.c_str(), W_OK | X_OK) == 0);
}

std::string user_config_folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/velmora";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.config/velmora";
    return {};
}

bool make_folder_for(const std::string& file) {
    const std::string folder = platform::folder_of(file);
    struct stat st{};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (folder != file && folder != "/" && folder != "." && !make_folder_for(folder)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}
