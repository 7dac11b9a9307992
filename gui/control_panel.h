#pragma once
// The control panel: the main window with the preview at its left, a tab set
// of settings at its right and the two recording groups below. The record only
// points at the widgets; the toolkit's widget tree owns them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "loop/app_state.h"
#include "loop/main_loop.h"
#include "platform/displays.h"

class Fl_Box;
class Fl_Browser;
class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Double_Window;
class Fl_Help_View;
class Fl_Hold_Browser;
class Fl_Input;
class Fl_Int_Input;
class Fl_Light_Button;
class Fl_Output;
class Fl_Round_Button;
class Fl_Scroll;
class Fl_Slider;
class Fl_Value_Input;
class Fl_Value_Slider;
class Fl_Widget;
class HistogramView;
class MYWINDOW;
class AnglesWindow;
class CalibrationWindow;
struct SourceControl;
struct OscControl;
struct ClusterStatistics;
class SceneWatch;

// What to do with an unsaved take before an action would drop it.
enum class TakeAnswer { save, discard, cancel };
// What to do when a chosen file name is taken: save under the next free name
// (the default), replace the file, or save nothing.
enum class ReplaceAnswer { free_name, replace, cancel };

struct ControlPanel {
    Fl_Double_Window* main_window = nullptr;
    MYWINDOW* preview = nullptr;
    // Camera
    Fl_Value_Slider* brightness_slider = nullptr;
    Fl_Value_Slider* gain_slider = nullptr;
    Fl_Value_Slider* shutter_slider = nullptr;
    Fl_Check_Button* y_invert_check = nullptr;
    // Clustering
    Fl_Value_Slider* iterations_slider = nullptr;
    Fl_Value_Slider* threads_slider = nullptr;
    Fl_Value_Slider* clusters_slider = nullptr;
    Fl_Value_Slider* rg_max_distance_slider = nullptr;
    Fl_Value_Slider* rg_max_size_slider = nullptr;
    Fl_Value_Slider* rg_min_size_slider = nullptr;
    Fl_Value_Slider* cure_max_distance_slider = nullptr;
    Fl_Value_Slider* cure_max_size_slider = nullptr;
    Fl_Value_Slider* cure_min_size_slider = nullptr;
    Fl_Value_Slider* threshold_slider = nullptr;
    Fl_Round_Button* kmeans_radio = nullptr;
    Fl_Round_Button* regiongrow_radio = nullptr;
    Fl_Round_Button* cure_radio = nullptr;
    Fl_Check_Button* show_thresholding_check = nullptr;
    // Model
    Fl_Value_Input* node_count_input = nullptr;
    Fl_Check_Button* sensor_visible_check = nullptr;
    Fl_Value_Slider* sensor_alpha_slider = nullptr;
    Fl_Check_Button* sensor_relative_check = nullptr;
    Fl_Value_Input* sensor_x_input = nullptr;
    Fl_Value_Input* sensor_y_input = nullptr;
    Fl_Value_Slider* sensor_green_slider = nullptr;
    Fl_Value_Slider* sensor_red_slider = nullptr;
    Fl_Value_Slider* sensor_blue_slider = nullptr;
    Fl_Value_Slider* line_width_slider = nullptr;
    Fl_Value_Slider* model_alpha_slider = nullptr;
    Fl_Value_Slider* model_green_slider = nullptr;
    Fl_Value_Slider* model_red_slider = nullptr;
    Fl_Value_Slider* model_blue_slider = nullptr;
    Fl_Value_Slider* sensor_radius_slider = nullptr;
    // Tracking
    Fl_Value_Slider* min_node_distance_slider = nullptr;
    Fl_Value_Slider* track_distance_slider = nullptr;
    // Fullscreen
    Fl_Value_Input* fullscreen_x_input = nullptr;
    Fl_Value_Input* fullscreen_y_input = nullptr;
    Fl_Value_Input* fullscreen_width_input = nullptr;
    Fl_Value_Input* fullscreen_height_input = nullptr;
    // System and Help
    Fl_Help_View* system_view = nullptr;
    Fl_Help_View* help_view = nullptr;
    // "record and play:"
    Fl_Light_Button* record_button = nullptr;
    Fl_Check_Button* record_loop_check = nullptr;
    Fl_Button* record_save_as_button = nullptr;
    Fl_Light_Button* record_play_button = nullptr;
    Fl_Value_Input* buffer_size_input = nullptr;
    Fl_Button* record_cut_button = nullptr;
    Fl_Slider* record_timeline = nullptr;
    Fl_Slider* record_cut_from = nullptr;
    Fl_Slider* record_cut_to = nullptr;
    Fl_Check_Button* record_visible_check = nullptr;
    Fl_Input* record_file_input = nullptr;
    Fl_Button* record_quicksave_button = nullptr;
    // "playback:"
    Fl_Button* playback_load_button = nullptr;
    Fl_Check_Button* playback_loop_check = nullptr;
    Fl_Button* playback_save_as_button = nullptr;
    Fl_Light_Button* playback_play_button = nullptr;
    Fl_Slider* playback_timeline = nullptr;
    Fl_Slider* playback_cut_from = nullptr;
    Fl_Slider* playback_cut_to = nullptr;
    Fl_Check_Button* playback_visible_check = nullptr;
    Fl_Input* playback_file_input = nullptr;
    Fl_Button* playback_quicksave_button = nullptr;
    // Measurements (gui/measure_controls.cpp)
    Fl_Check_Button* show_angles_check = nullptr;
    Fl_Output* selected_angle_output = nullptr;
    Fl_Check_Button* memory_check = nullptr;
    Fl_Value_Slider* hold_frames_slider = nullptr;
    Fl_Check_Button* show_tracking_state_check = nullptr;  // on the Tracking page
    Fl_Button* record_export_button = nullptr;
    Fl_Button* playback_export_button = nullptr;
    Fl_Button* angles_button = nullptr;
    AnglesWindow* angles_window = nullptr;  // made by the first press of "angles"
    // The calibration compiled for each take's source, for its angle labels
    // and chart: compiled again when the calibration or the take's source changed.
    struct TakeCalibration {
        uint64_t version = ~uint64_t{0};  // of the application state's calibration
        std::optional<SourceGeometry> geometry;
        bool calibrated = false;
        CalibrationMap map;
    } record_calibration, playback_calibration;
    // Real units (gui/calibration_window.h): the button beside "angles" and
    // the "Calibration" window it opens, made with the panel.
    Fl_Button* calibration_button = nullptr;
    CalibrationWindow* calibration_window = nullptr;
    // Camera source (gui/source_page.h), on the Camera page
    Fl_Input* source_input = nullptr;
    Fl_Button* source_browse_button = nullptr;
    Fl_Button* source_open_button = nullptr;
    Fl_Choice* source_device_choice = nullptr;
    Fl_Box* source_status = nullptr;
    Fl_Check_Button* source_loop_check = nullptr;
    Fl_Light_Button* source_pause_button = nullptr;
    Fl_Button* source_back_button = nullptr;
    Fl_Button* source_forward_button = nullptr;
    Fl_Button* source_first_button = nullptr;  // "|<"
    Fl_Slider* source_seek_slider = nullptr;
    Fl_Button* source_last_button = nullptr;   // ">|"
    Fl_Box* source_position_box = nullptr;     // frame number and time
    Fl_Value_Input* source_rate_input = nullptr;  // "rate [fps]" of image sequences
    SourceControl* source = nullptr;  // the open source and its device controls; set by connect_source_page
    // Scene aids (gui/scene_aids.cpp): automatic threshold, cluster
    // statistics, histogram.
    Fl_Button* auto_threshold_button = nullptr;
    Fl_Check_Button* keep_auto_check = nullptr;
    Fl_Check_Button* cluster_counts_check = nullptr;
    // Sessions (gui/session_controls.h), below the playback group.
    Fl_Button* load_session_button = nullptr;
    Fl_Button* save_session_button = nullptr;
    Fl_Browser* cluster_table = nullptr;
    HistogramView* histogram_view = nullptr;
    ClusterStatistics* statistics = nullptr;  // the main loop's, once attached
    const SceneWatch* scene_watch = nullptr;  // the main loop's warnings, once attached
    std::string shown_warning;                // what the preview and the status line said last
    ClusterList table_clusters;               // the clusters the cluster table was built for
    Fl_Button* place_nodes_button = nullptr;  // Model page
    Fl_Choice* camera_mode_choice = nullptr;  // Camera page: the modes of the open camera

    // Operator aids (gui/operator_aids.h).
    Fl_Box* status_line = nullptr;                 // outcome of the last save, load, cut, record...
    Fl_Check_Button* freeze_check = nullptr;       // Camera page: holds the current frame
    Fl_Hold_Browser* display_list = nullptr;       // Fullscreen page: the connected displays
    Fl_Button* use_display_button = nullptr;       // their place into xpos, ypos, width, height
    Fl_Box* display_note = nullptr;                // says when there is only one display
    std::vector<DisplayPlace> displays;            // one per line of display_list
    Fl_Scroll* scroll = nullptr;                   // holds the content on a screen smaller than it; else null
    // The record group's take was recorded or cut since it was last saved.
    bool take_changed = false;
    // Asks what to do with an unsaved take; null asks with the toolkit's dialog.
    TakeAnswer (*ask_about_take)(const std::string& question) = nullptr;
    // Asks whether a save replaces a file, offering `free_name`; null asks
    // with the toolkit's dialog.
    ReplaceAnswer (*ask_about_replacing)(const std::string& question, const std::string& free_name) = nullptr;

    // The "OSC" group of the System page (gui/osc_controls.h).
    Fl_Input* osc_host_input = nullptr;
    Fl_Int_Input* osc_port_input = nullptr;
    Fl_Check_Button* osc_send_check = nullptr;
    Fl_Box* osc_note = nullptr;  // what the stream does, or why it does not
    OscControl* osc = nullptr;   // the stream and the loop it feeds
};

// Builds the whole widget tree once, in its fixed order, with no group left
// open; the main window's user data is the panel. The panel lives until the
// program ends.
ControlPanel& build_control_panel(AppState& app);
void show_control_panel(ControlPanel& panel);

// The panel a widget belongs to, from its main window's user data.
ControlPanel& panel_of(Fl_Widget* widget);

// Every option widget shows the options block; the Help page gets its text.
void refresh_from_options(ControlPanel& panel);
// Every room's widgets that show a kept choice of the extra settings, after
// they changed under them (a session was loaded).
void refresh_from_extras(ControlPanel& panel);
// The model colour and the selected node's sensor onto their widgets.
void refresh_model_widgets(ControlPanel& panel);
// The reverse: the twelve model widgets into the live model.
void write_model_widgets(ControlPanel& panel);

// The display capabilities report, as help-view markup, onto the System page.
void show_system_report(ControlPanel& panel, const std::string& markup);

// The cycle's window steps: the hand-over to the output window, the frame
// upload and redraw of the preview, the timelines, the model widgets when the
// selection changed, and the rate in the preview and the title.
class PanelCycleView final : public CycleView {
public:
    explicit PanelCycleView(ControlPanel& panel) : panel_(panel) {}
    void hand_over(const Frame& camera_frame) override;
    void upload_frame(const Frame& frame) override;
    void request_redraw() override;
    void show_rate(int32_t cycles_per_second) override;
    void show_timeline(Timeline which, int32_t position, const std::string& label) override;
    void refresh_model_widgets() override;

private:
    ControlPanel& panel_;
    std::string shown_record_label_;  // the timeline texts last drawn
    std::string shown_playback_label_;
};

// The quick-start text of the Help page.
extern const char kQuickStartHtml[];
