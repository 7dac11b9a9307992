#pragma once
// The "Calibration" window: the calibration of the live measurements, made
// by clicking points on the preview and typing lengths and coordinates, with
// its axes and a grid drawn over the frame; saved and loaded as its own TOML
// file. It also holds what is done with a take after recording (gap filling
// and the filter), for "export CSV" and the "angles" window.
//
// A page of the panel's tab set would not fit: the seven specified tabs use
// the whole width of their row. So the page is a window of its own, opened by
// the "calibration" button beside "angles".

#include <FL/Fl_Double_Window.H>

#include <string>

#include "calib/calibration.h"
#include "measure/take_kinematics.h"

class Fl_Box;
class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Hold_Browser;
class Fl_Input;
class MYWINDOW;
struct AppState;

// What a click on the preview sets while the window is open.
enum class CalibrationPick { nothing, scale_a, scale_b, origin, x_axis, plane_point };

class CalibrationWindow : public Fl_Double_Window {
public:
    CalibrationWindow(AppState& app, MYWINDOW& preview);
    ~CalibrationWindow() override;

    // Once per cycle: a new source geometry or flip brings the calibration
    // and the drawing over the frame up to date.
    void after_cycle();

    // The widgets show `c`, which becomes the live calibration.
    void show_calibration(const Calibration& c);
    // The live calibration as the widgets hold it.
    Calibration calibration_of_widgets() const;

    // A click at frame position (x, y); false when nothing is being picked.
    bool pick(double x, double y);

    // A calibration file in place of what the window holds; its lens
    // alone beside the rest. False, said to the operator, for a file that
    // cannot be read or holds no calibration (no lens).
    bool load_file(const std::string& path);
    bool load_lens_file(const std::string& path);
    bool save_file(const std::string& path);

    // The take processing the "after recording:" inputs say.
    TakeProcessing processing() const;

    void hide() override;

    Fl_Choice* pick_choice = nullptr;
    Fl_Input* scale_inputs[4] = {};  // u1 v1 u2 v2
    Fl_Input* length_input = nullptr;
    Fl_Input* unit_input = nullptr;
    Fl_Input* origin_inputs[2] = {};
    Fl_Input* axis_input = nullptr;
    Fl_Hold_Browser* plane_list = nullptr;
    Fl_Input* plane_x_input = nullptr;
    Fl_Input* plane_y_input = nullptr;
    Fl_Input* plane_unit_input = nullptr;
    Fl_Button* plane_set_button = nullptr;
    Fl_Button* plane_remove_button = nullptr;
    Fl_Input* lens_inputs[9] = {};  // fx fy cx cy k1 k2 p1 p2 k3
    Fl_Check_Button* grid_check = nullptr;
    Fl_Input* grid_step_input = nullptr;
    Fl_Input* fill_gaps_input = nullptr;
    Fl_Input* filter_input = nullptr;
    Fl_Box* status = nullptr;

    // Called whenever a widget changed the calibration.
    void changed();

private:
    void update_overlay();
    void list_plane_points();

    AppState& app_;
    MYWINDOW& preview_;
    Calibration edited_;           // what the widgets hold, plane points included
    LensModel fitted_;             // rms and views of a lens that was loaded, kept while unchanged
    SourceGeometry shown_for_;     // what the overlay was drawn for
    bool shown_y_invert_ = false;
};

// The "calibration" button at the bottom of the panel, and the window it
// opens; the kept calibration file (extra setting calibration.file) is read
// at start.
struct ControlPanel;
void build_calibration_controls(ControlPanel& panel);
void calibration_after_cycle(ControlPanel& panel);
