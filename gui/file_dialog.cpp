#include "gui/file_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Window.H>
#include <FL/filename.H>

#include <cstring>

namespace {

// The title of the chooser being shown, while its cursor still awaits repair.
std::string g_repairing;
int g_tries = 0;

// Inside the chooser's own event loop: once the toolkit's chooser is up (the
// desktop's dialog is no toolkit window and is left alone), its name field has
// the focus; the cursor goes to the end and the selection to the name.
void repair_cursor(void*) {
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (!w->shown() || w->label() == nullptr || g_repairing != w->label()) continue;
        auto* field = dynamic_cast<Fl_Input_*>(Fl::focus());
        if (field == nullptr || field->window() != w) break;
        const char* text = field->value();
        const char* slash = std::strrchr(text, '/');
        const int end = static_cast<int>(std::strlen(text));
        field->position(end, slash != nullptr ? static_cast<int>(slash - text) + 1 : 0);
        return;
    }
    if (++g_tries < 200) Fl::repeat_timeout(0.01, repair_cursor);
}

}  // namespace

std::string choose_path(PathKind kind, const char* title, const std::string& patterns, const std::string& proposed) {
    Fl_Native_File_Chooser chooser(kind == PathKind::folder      ? Fl_Native_File_Chooser::BROWSE_DIRECTORY
                                   : kind == PathKind::save_file ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                                                                 : Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title(title);
    if (!patterns.empty() && kind != PathKind::folder) chooser.filter(patterns.c_str());
    if (!proposed.empty()) {
        char absolute[FL_PATH_MAX];
        fl_filename_absolute(absolute, sizeof absolute, proposed.c_str());
        std::string folder = absolute;
        const size_t slash = folder.rfind('/');
        if (kind != PathKind::folder && slash != std::string::npos) folder.resize(slash == 0 ? 1 : slash);
        chooser.directory(folder.c_str());
        if (kind != PathKind::folder) chooser.preset_file(absolute);
    }
    g_repairing = title;
    g_tries = 0;
    Fl::add_timeout(0.0, repair_cursor);
    const int shown = chooser.show();
    Fl::remove_timeout(repair_cursor);
    g_repairing.clear();
    if (shown != 0 || chooser.filename() == nullptr) return {};
    return chooser.filename();
}
