#pragma once
// The Camera page's list of the modes of the camera named in "source:" (pixel
// format, size, frame rate, from the device's own enumeration). Choosing one
// opens the camera in it; the choice is kept with the source.

#include <string>

struct ControlPanel;

// The "camera mode:" choice, at (1110, 55, 140, 25) with its label above, right
// of the "brightness" slider's label.
void build_camera_mode_widgets(ControlPanel& panel);

// Lists the modes of the device at `path`, the one kept with the source
// chosen; a path that names no device (or an empty one) empties the list.
void show_camera_modes(ControlPanel& panel, const std::string& path);
