#pragma once
// The preview: the GL view inside the control panel that shows the camera frame
// (raw or thresholded) through an alpha texture, the cluster crosses, the live
// model and the two animation poses, and the frame rate, and lets the operator
// drag model nodes with the mouse.

#include <FL/Fl_Gl_Window.H>
#include <GL/gl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/options.h"
#include "camera/frame.h"
#include "cluster/cluster_stats.h"
#include "cluster/records.h"
#include "measure/frame_measure.h"
#include "display/draw.h"
#include "display/gl_font.h"
#include "model/animation.h"
#include "model/node_model.h"

// The node model's view of a toolkit event.
MouseEvent mouse_event_of(int fl_event);

// A GL window that consumes the mouse events of its area, so that the toolkit
// keeps sending it drags, pointer motion and wheel turns.
class GLWINDOW : public Fl_Gl_Window {
public:
    GLWINDOW(int x, int y, int w, int h, const char* label);

    int handle(int event) override;

    int32_t last_x = 0;  // position of the last press or processed drag, window coordinates (y down)
    int32_t last_y = 0;
};

class MYWINDOW : public GLWINDOW {
public:
    // At (5, 5), 800 x 600. The recording animation is sized from the options'
    // buffer length and node count; `options` must outlive the window, which
    // reads the line width and the sensor radius from it at every draw.
    explicit MYWINDOW(const Options& options);
    ~MYWINDOW() override;

    // Every event that reaches the preview makes the model visible (the
    // toolkit's show events too); then the model hovers, selects or drags, and
    // the event is handled as a GLWINDOW's.
    int handle(int event) override;

    // Replaces the frame part of the texture with `frame` (480 x 360 grey
    // bytes). Does nothing until a draw has made the texture in the window's
    // current GL context, or for a frame of the wrong size.
    void upload_frame(const Frame& frame);

    GLuint frame_texture = 0;  // 512 x 512 alpha texture, 0 until the first draw
    glFont_Vorn_Builtin font;  // prints the frame rate
    int32_t fps = 0;           // the rate printed, set once a second by the main loop
    ClusterList clusters;      // the last clustering result, drawn as crosses
    NodeModel model;           // the live model
    Animation record_animation;
    Animation playback_animation;
    // "show angles": each drawn model's bend angles beside its nodes.
    bool show_angles = false;
    // "show tracking state": a marker beside each node of the live model.
    bool show_tracking_state = false;
    // The main loop's cluster statistics, and whether each cross gets its
    // cluster's pixel count; the counts show only while the statistics
    // describe `clusters`.
    const ClusterStatistics* statistics = nullptr;
    bool show_cluster_counts = false;
    // What may make the numbers wrong ("3 clusters for 4 nodes"), printed at
    // the top of the view; empty: nothing.
    std::string warning;
    // How the live chain's angles are measured: the source's geometry and
    // the calibration in force, as the CSV and the stream measure them.
    MeasureContext angle_context;
    // The same for the takes: each in its own source's geometry and the
    // calibration as it holds there.
    MeasureContext record_angle_context;
    MeasureContext playback_angle_context;
    // Lines drawn over the frame after the models (a calibration's axes and
    // grid), in frame coordinates.
    std::vector<OverlayLine> overlay;
    // While set: a left-button press at frame position (x, y) goes here
    // first, and is the hook's alone (no node is selected or dragged) when it
    // returns true.
    std::function<bool(double x, double y)> on_pick;

protected:
    void draw() override;

private:
    void make_gl_objects();
    void set_up_gl();
    void release_frame_texture();

    const Options& options_;
};
