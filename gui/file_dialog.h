#pragma once
// The one way the panel asks for a file or a folder: the desktop's own dialog
// where one is installed (GTK, through the toolkit's native chooser), the
// toolkit's own chooser otherwise.
//
// The toolkit's own chooser garbles a name typed over its proposal: it shows
// the proposal as a whole path, all of it selected with the cursor at its
// start, so the first key replaces the path by one letter; it then makes that
// relative name absolute against the program's working folder and puts the
// cursor back at the start, where every further key lands in front
// ("t", "a", "k", "e" become ".../e/.../k/.../a/.../t"). Here its cursor is
// put at the end with only the file's own name selected, so typing replaces
// the name and keeps the folder.

#include <string>

enum class PathKind { open_file, save_file, folder };

// Asks with `title`; `patterns` as the toolkit's native chooser takes them
// ("*.txt", "*.{txt,model}", or lines "Name\t*.ext"); `proposed` the name to
// start from (made absolute here). Empty when cancelled.
std::string choose_path(PathKind kind, const char* title, const std::string& patterns, const std::string& proposed);
