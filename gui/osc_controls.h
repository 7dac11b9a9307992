#pragma once
// The "OSC" group of the System page: host, port and "send". While "send" is
// on, the main loop hands every analysed new frame, and the recording's starts
// and stops, to an OSC stream (stream/osc_stream.h). Host, port and "send"
// are kept with the extra settings as osc.host, osc.port and osc.send; "send"
// is off until the operator switches it on.
//
// The group sits in a small window of its own over the unused foot of the
// System page's report (x 822 to 1230, y 500 to 593), clear of the report's
// scrollbar: the report view covers the whole page, and a window is the one
// thing the view cannot draw over when it redraws itself alone.

#include "loop/main_loop.h"

struct ControlPanel;

// Builds the group on the System page. Called once, while the panel is built.
void build_osc_controls(ControlPanel& panel);

// Shows the kept host, port and "send", and gives the group the loop whose
// stream it sets; starts sending when "send" was kept on.
void connect_osc(ControlPanel& panel, MainLoop& loop);

// Once per cycle: what the stream has to say goes to the status line, the
// group's note and the error stream, each line once.
void osc_after_cycle(ControlPanel& panel);

// At shut-down: the loop sends no more; the stream stops.
void close_osc(ControlPanel& panel);
