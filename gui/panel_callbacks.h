#pragma once
// The control panel's widget callbacks. They run on the GUI thread between
// main-loop cycles and change the options, the live model, the animations and
// the output window directly.

#include <FL/Fl_Valuator.H>
#include <FL/Fl_Widget.H>

#include <cstdint>

#include "loop/app_state.h"
#include "model/animation.h"

namespace panel_callbacks {

// Stores the valuator's value, truncated toward zero (and saturated: a value
// input takes any number), in one int32 field of the options.
template <int32_t Options::*Field>
void store_option(Fl_Widget* widget, void*) {
    app_state.options.*Field = truncate_to_int32(static_cast<Fl_Valuator*>(widget)->value());
}

void y_invert(Fl_Widget* widget, void*);
void show_thresholding(Fl_Widget* widget, void*);
void method_kmeans(Fl_Widget* widget, void*);
void method_region_grow(Fl_Widget* widget, void*);
void method_cure(Fl_Widget* widget, void*);

void node_count(Fl_Widget* widget, void*);
void model_colour(Fl_Widget* widget, void*);
void sensor(Fl_Widget* widget, void*);
void load_model(Fl_Widget* widget, void*);
void save_model(Fl_Widget* widget, void*);

void reopen_output(Fl_Widget* widget, void*);
void close_output(Fl_Widget* widget, void*);

void record(Fl_Widget* widget, void*);
void play(Fl_Widget* widget, void*);
void timeline(Fl_Widget* widget, void*);
void cut_from(Fl_Widget* widget, void*);
void cut_to(Fl_Widget* widget, void*);
void cut(Fl_Widget* widget, void*);
void visible(Fl_Widget* widget, void*);
void buffer_size(Fl_Widget* widget, void*);
void save_as(Fl_Widget* widget, void*);
void quicksave(Fl_Widget* widget, void*);
void load_animation(Fl_Widget* widget, void*);

void reset_all(Fl_Widget* widget, void*);
void quit_and_save(Fl_Widget* widget, void*);

}  // namespace panel_callbacks
