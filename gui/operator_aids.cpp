// The operator's aids on the panel: their widgets in the free space of the
// panel, tooltips for every control, the freeze, the choice of display for
// the output window and the scrolling on small screens.

#include "gui/operator_aids.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "display/render_thread.h"
#include "gui/control_panel.h"

namespace {

void freeze_switched(Fl_Widget* widget, void*) {
    set_freeze(panel_of(widget), static_cast<Fl_Button*>(widget)->value() != 0);
}

std::string place_text(const DisplayPlace& d) {
    return std::to_string(d.width) + " x " + std::to_string(d.height) + " at " +
           std::to_string(d.x) + ", " + std::to_string(d.y);
}

// "use": the four inputs take the chosen display's place, and through their
// own callbacks the options, as if typed.
void use_chosen_display(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    const int line = p.display_list->value();
    if (line < 1 || static_cast<size_t>(line) > p.displays.size()) {
        show_status(p, "choose a display in the list first");
        return;
    }
    const DisplayPlace& d = p.displays[static_cast<size_t>(line) - 1];
    const std::pair<Fl_Value_Input*, double> fields[] = {{p.fullscreen_x_input, d.x},
                                                         {p.fullscreen_y_input, d.y},
                                                         {p.fullscreen_width_input, d.width},
                                                         {p.fullscreen_height_input, d.height}};
    for (const auto& [input, value] : fields) {
        input->value(value);
        input->do_callback();
    }
    show_status(p, "output window set to display " + std::to_string(d.number) + ", " +
                       place_text(d) + ": \"(re)open\" or F11 shows it there");
}

// The window's close button and the toolkit's Escape.
void close_main_window(Fl_Widget* window, void*) {
    if (take_may_be_dropped(panel_of(window), TakeAction::close)) window->hide();
}

// The direct child of `group` with this label.
Fl_Widget* child_labelled(Fl_Group* group, const char* label) {
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* w = group->child(i);
        if (w->label() != nullptr && std::strcmp(w->label(), label) == 0) return w;
    }
    return nullptr;
}

// Gives `w` a tooltip unless it has one already (the specified ones stay).
void tip(Fl_Widget* w, const char* text) {
    if (w != nullptr && w->tooltip() == nullptr) w->tooltip(text);
}

void add_tooltips(ControlPanel& p) {
    // Camera
    tip(p.y_invert_check, "turns the camera frame upside down before it is analysed");
    tip(p.freeze_check,
        "holds the current camera frame (key F); tracking, drawing and recording go on over it");
    // Clustering
    tip(p.iterations_slider, "k-means passes per frame (0 to 20)");
    tip(p.threads_slider,
        "threads that share the k-means work (1 to 8); the clusters do not depend on it");
    tip(p.clusters_slider, "number of k-means clusters (0 to 20)");
    tip(p.kmeans_radio, "clusters with k-means");
    tip(p.regiongrow_radio, "clusters with region grow");
    tip(p.cure_radio, "clusters with hierarchical merge");
    tip(p.show_thresholding_check,
        "shows the thresholded frame in the preview instead of the camera frame");
    // Model
    tip(p.node_count_input, "number of nodes of the live model (2 to 10)");
    tip(p.line_width_slider, "width of the model's lines in pixels (1 to 10; whole pixels count)");
    tip(p.sensor_radius_slider,
        "radius of a bend sensor's disc at the sharpest bend, in pixels (1 to 100)");
    tip(p.model_red_slider, "red share of the model's colour (0 to 1)");
    tip(p.model_green_slider, "green share of the model's colour (0 to 1)");
    tip(p.model_blue_slider, "blue share of the model's colour (0 to 1)");
    tip(p.model_alpha_slider, "opacity of the model (0 invisible to 1 opaque)");
    tip(p.sensor_visible_check, "shows the bend sensor of the node selected in the preview");
    tip(p.sensor_relative_check,
        "places the sensor's disc relative to its node instead of in the frame");
    tip(p.sensor_x_input, "x of the sensor's disc in pixels");
    tip(p.sensor_y_input, "y of the sensor's disc in pixels");
    tip(p.sensor_red_slider, "red share of the selected sensor's colour (0 to 1)");
    tip(p.sensor_green_slider, "green share of the selected sensor's colour (0 to 1)");
    tip(p.sensor_blue_slider, "blue share of the selected sensor's colour (0 to 1)");
    tip(p.sensor_alpha_slider, "opacity of the selected sensor (0 invisible to 1 opaque)");
    Fl_Group* model_page = p.node_count_input->parent();
    tip(child_labelled(model_page, "load"), "loads a model file (*.txt) into the live model");
    tip(child_labelled(model_page, "save"), "saves the live model to a model file (*.txt)");
    // Fullscreen
    tip(p.fullscreen_x_input,
        "left edge of the output window on the desktop, in pixels; used at the next (re)open");
    tip(p.fullscreen_y_input,
        "top edge of the output window on the desktop, in pixels; used at the next (re)open");
    tip(p.fullscreen_width_input,
        "width of the output window in pixels; used at the next (re)open");
    tip(p.fullscreen_height_input,
        "height of the output window in pixels; used at the next (re)open");
    Fl_Group* fullscreen_page = p.fullscreen_x_input->parent();
    tip(child_labelled(fullscreen_page, "(re)open"),
        "opens the output window where the four fields say (F11)");
    tip(child_labelled(fullscreen_page, "close"), "closes the output window (F11)");
    tip(p.display_list, "the displays that show the desktop; choose one for the output window");
    tip(p.use_display_button,
        "puts the chosen display's place and size into xpos, ypos, width and height");
    // Recording groups
    tip(p.record_button, "records the live model from frame 0, one frame per cycle (R)");
    tip(p.record_loop_check, "play starts again at frame 0 after the last frame");
    tip(p.record_save_as_button,
        "saves the take to a file you choose (*.txt, with its model in *.txt.model)");
    tip(p.record_play_button, "plays the take at its recorded pace");
    tip(p.buffer_size_input, "buffer size in frames; Enter applies it and empties the buffer");
    tip(p.record_cut_button, "keeps the frames from the upper marker up to the lower marker");
    tip(p.record_timeline, "the frame shown, from 0; Left, Right, Home and End step through it");
    tip(p.record_cut_from, "first frame the cut keeps");
    tip(p.record_cut_to, "first frame the cut drops after the kept ones");
    tip(p.record_visible_check, "shows the take's pose in the preview");
    tip(p.record_file_input, "file name for <-quicksave (Ctrl+S)");
    tip(p.record_quicksave_button, "saves the take under the file name at its left (Ctrl+S)");
    tip(p.playback_load_button, "loads an animation file (*.txt) for playback");
    tip(p.playback_loop_check, "play starts again at frame 0 after the last frame");
    tip(p.playback_save_as_button,
        "saves the animation to a file you choose (*.txt, with its model in *.txt.model)");
    tip(p.playback_play_button,
        "plays the animation at its recorded pace from frame 0 (Space pauses)");
    tip(child_labelled(p.playback_timeline->parent(), "cut"),
        "keeps the frames from the upper marker up to the lower marker");
    tip(p.playback_timeline, "the frame shown, from 0; Left, Right, Home and End step through it");
    tip(p.playback_cut_from, "first frame the cut keeps");
    tip(p.playback_cut_to, "first frame the cut drops after the kept ones");
    tip(p.playback_visible_check, "shows the animation's pose in the preview");
    tip(p.playback_file_input, "file name for <-quicksave");
    tip(p.playback_quicksave_button, "saves the animation under the file name at its left");
    tip(child_labelled(p.main_window, "reset all"), "sets every setting back to its default");
    tip(child_labelled(p.main_window, "quit&&save"),
        "ends velmora and keeps the settings for the next start");
}

}  // namespace

void build_operator_aids(ControlPanel& p) {
    p.displays.clear();
    p.scroll = nullptr;
    p.take_changed = false;
    p.ask_about_take = nullptr;

    p.main_window->begin();
    p.status_line = new Fl_Box(5, 920, 1100, 25);
    p.status_line->box(FL_THIN_DOWN_BOX);
    p.status_line->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    p.status_line->labelsize(13);
    p.main_window->end();

    Fl_Group* camera_page = p.y_invert_check->parent();
    camera_page->begin();
    p.freeze_check = new Fl_Check_Button(1000, 125, 120, 25, "freeze");
    p.freeze_check->down_box(FL_DOWN_BOX);
    p.freeze_check->callback(freeze_switched);
    camera_page->end();

    Fl_Group* fullscreen_page = p.fullscreen_x_input->parent();
    fullscreen_page->begin();
    p.display_list = new Fl_Hold_Browser(820, 120, 430, 110, "connected displays:");
    p.display_list->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    p.display_list->textsize(13);
    p.use_display_button = new Fl_Button(820, 235, 64, 25, "use");
    p.use_display_button->callback(use_chosen_display);
    p.display_note = new Fl_Box(890, 235, 360, 60);
    p.display_note->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    p.display_note->labelsize(13);
    fullscreen_page->end();

    p.main_window->callback(close_main_window);
    // Every keystroke used to reset the buffer; now only Enter applies a size.
    // (The inner text field takes the setting from the input at its first event.)
    p.buffer_size_input->when(FL_WHEN_ENTER_KEY);
    p.buffer_size_input->input.when(FL_WHEN_ENTER_KEY);
    add_tooltips(p);
    show_connected_displays(p, {});
    install_panel_keys(p);
}

void show_connected_displays(ControlPanel& p, std::vector<DisplayPlace> displays) {
    p.displays = std::move(displays);
    p.display_list->clear();
    int chosen = 0;
    for (size_t i = 0; i < p.displays.size(); ++i) {
        const DisplayPlace& d = p.displays[i];
        // "@." ends the browser's formatting codes: a name may hold an '@'.
        p.display_list->add(("@." + std::to_string(d.number) + ": " + place_text(d) +
                             (d.primary ? ", primary" : "") + "  (" + d.name + ")")
                                .c_str());
        if (chosen == 0 && !d.primary) chosen = static_cast<int>(i) + 1;
    }
    if (chosen == 0 && !p.displays.empty()) chosen = 1;
    if (chosen != 0) p.display_list->value(chosen);
    if (p.displays.empty()) {
        p.use_display_button->deactivate();
        p.display_note->copy_label(
            "No display found: enter the place of the output window by hand.");
    } else {
        p.use_display_button->activate();
        p.display_note->copy_label(
            p.displays.size() == 1
                ? "Only one display is connected: the output window will cover part of this panel. "
                  "F11 opens and closes it from here."
                : "");
    }
}

void set_freeze(ControlPanel& p, bool on) {
    app_state.frame_frozen = on;
    p.freeze_check->value(on ? 1 : 0);
    show_status(
        p, on ? "frame frozen: tracking, drawing and recording go on over it" : "frame released");
}

void toggle_output_window(ControlPanel& p) {
    if (app_state.render_thread != nullptr) {
        stop_output_window(app_state);
        show_status(p, "output window closed");
        return;
    }
    start_output_window(app_state);
    const Options& o = app_state.options;
    show_status(p, "output window opened, " + std::to_string(o.fullscreen_width) + " x " +
                       std::to_string(o.fullscreen_height) + " at " +
                       std::to_string(o.fullscreen_x) + ", " + std::to_string(o.fullscreen_y) +
                       " (F11 closes it)");
}

void fit_panel_to_screen(ControlPanel& p, int screen_w, int screen_h) {
    Fl_Double_Window* window = p.main_window;
    const int panel_w = window->w();
    const int panel_h = window->h();
    if (p.scroll != nullptr || (screen_w >= panel_w && screen_h >= panel_h)) return;

    // Room for a scroll bar across the side that does not fit, when the
    // screen has it, so the other side need not scroll as well.
    const int bar = Fl::scrollbar_size();
    const int w = std::min(screen_w, panel_w + (screen_h < panel_h ? bar : 0));
    const int h = std::min(screen_h, panel_h + (w < panel_w ? bar : 0));

    // The content moves, unchanged, into a scrolling area as large as the
    // window was. A sheet of the panel's size keeps the scrolled extent the
    // whole panel, margins included.
    Fl_Group::current(nullptr);
    auto* scroll = new Fl_Scroll(0, 0, panel_w, panel_h);
    new Fl_Box(0, 0, panel_w, panel_h);
    scroll->end();
    while (window->children() > 0) scroll->add(window->child(0));
    window->add(scroll);
    window->resizable(scroll);
    window->init_sizes();
    window->size_range(std::min(w, 320), std::min(h, 240), panel_w + bar, panel_h + bar);
    window->size(w, h);
    p.scroll = scroll;
}
