#pragma once
// The program's own file name, from which the options file is named.

#include <string>
#include <string_view>

#include "base/log.h"

// The text after the last '.', found by scanning back from the end and
// stopping at a '/' or '\\' and before the first character; empty when no such
// dot exists, as for "velmora", ".exe" or "my.dir/velmora".
std::string own_name_extension(std::string_view name);

// The first argument with ".exe" ensured at its end (the comparison is
// case-sensitive). Without any argument: a warning and "velmora.exe".
std::string settle_own_name(int argc, const char* const* argv, Log log);

// The options file of a program: its own name followed by ".ini".
inline std::string options_file_name(const std::string& own_name) { return own_name + ".ini"; }
