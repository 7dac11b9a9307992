#pragma once
// Where the options file and the extra settings live. Beside the program, as
// ever, while its folder takes new files. The folder of an installed program
// (/usr/bin) does not: its settings then live in the user's configuration
// folder, $XDG_CONFIG_HOME/velmora (~/.config/velmora when that is not set),
// under the same names and in the same formats.

#include <string>

struct SettingsPlace {
    std::string load_options;  // the options file read at start (it may not exist)
    std::string load_extras;   // the options file whose ".extra" is read at start
    std::string save;          // the options file written at exit, the extras beside it
};

// `own_file`: the options file named after the program (own name + ".ini").
// `config_folder`: the user's (user_config_folder()); empty when unknown.
// The settings are saved beside the program while `own_folder_writable`, else
// in the configuration folder. Each file is read where it is saved when it
// exists there, else from the other place when it exists there: the
// program's folder first while it takes the files, as ever, and a settings
// file that came with a read-only program is read until the user's own copy
// exists.
SettingsPlace settings_place(const std::string& own_file, const std::string& config_folder,
                             bool own_folder_writable);

// The same for this user and this file system.
SettingsPlace find_settings_place(const std::string& own_file);

// $XDG_CONFIG_HOME/velmora when that is an absolute path, else
// $HOME/.config/velmora; empty when neither is known.
std::string user_config_folder();

// Makes the folder of `file` and its parents, private to the user, where they
// are missing. False when it cannot.
bool make_folder_for(const std::string& file);
