#pragma once
// The camera source part of the Camera page: a "source:" input with a file
// chooser, the V4L2 cameras found, "open", a status line, and for files loop,
// pause, frame steps, the first and last frame, a seek slider, the frame
// number and time, and the rate of image sequences. Files open paused on
// their first frame. Opening a source hands it to the main loop; a device
// source also takes the "brightness", "gain" and "shutter" sliders.

#include <string>

#include "loop/app_state.h"
#include "loop/main_loop.h"
#include "video/v4l2.h"

struct ControlPanel;

// Builds the widgets inside the open Camera page (x 815 to 1255, y 160 to
// 340). The file's own row: "|<" at (820, 285), the seek slider at (855,
// 285, 320 wide), ">|" at (1180, 285); the frame number and time at (820,
// 315, 260 wide) and "rate [fps]" at (1190, 315, 60 wide).
void build_source_widgets(ControlPanel& panel);

// Gives the page the loop whose source it sets; before any open.
void connect_source_page(ControlPanel& panel, AppState& app, MainLoop& loop);

// At start-up: opens `argument` when it is not empty, else the remembered
// source, if any. One that cannot be opened leaves the synthetic camera
// running and is reported to the operator. Without either nothing happens.
void open_start_source(ControlPanel& panel, const std::string& argument);

// Opens the source the text names and, on success, hands it to the loop and
// remembers it; false (reported to the operator) leaves the current source.
bool open_source_text(ControlPanel& panel, const std::string& text);
// The same in a camera mode (width 0: the device's own), which is then
// remembered with the source. A device open now is closed first when the
// text names it again.
bool open_source_in_mode(ControlPanel& panel, const std::string& text, const CameraMode& mode);

// Once per cycle: the seek slider and the frame number and time follow the
// frame the loop has.
void source_after_cycle(ControlPanel& panel);

// Left, Right, Home and End for an open file while the Camera page is shown:
// "<", ">", "|<" and ">|". False (nothing done) otherwise, so the keys go to
// the recordings' timelines.
enum class SourceKey { back, forward, first, last };
bool source_key(ControlPanel& panel, SourceKey key);

// At shut-down: stops the source's threads; the loop goes back to the
// synthetic camera.
void close_source_page(ControlPanel& panel);

// The longest the main loop waits for events between two cycles: 0 with the
// synthetic camera, whose loop never waits; else one frame interval of the
// source open now (1/30 s when its rate is unknown, at most 0.1 s).
double source_wait_seconds(const ControlPanel& panel);

// The main loop's event pass. With the synthetic camera it is the toolkit's
// non-blocking pass (Fl::check) every cycle. With another source it waits for
// the next event, at most source_wait_seconds: a frame that becomes ready
// wakes it at once (the source's frame notify calls Fl::awake), so a loop
// without new frames sleeps instead of spinning. False once no window is shown.
bool source_event_pass(const ControlPanel& panel);
