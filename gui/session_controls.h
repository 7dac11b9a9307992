#pragma once
// "save session" and "load session", below the "playback:" group: the
// window's source, settings (the options and every extra setting) and live
// chain to a session file (session/session.h), and back, so the window, or a
// `velmora track --session` run, starts from the same state.

#include "session/session.h"

struct ControlPanel;

// Adds the two buttons to the built panel.
void build_session_controls(ControlPanel& panel);

// The window's state as a session.
Session session_of_panel(const ControlPanel& panel);

// Brings the window to the session's state: the options and extra settings
// with every widget that shows them, the live chain (when the session has
// one), then its source (the synthetic camera when it names none). False
// when the source cannot be opened: that is told to the operator, the
// source open before stays, and the rest of the session is in force.
bool apply_session(ControlPanel& panel, const Session& session);
