#pragma once
// A calibration as TOML text, the file `velmora calibrate` writes and the
// "Calibration" page saves and loads:
//
//   width = 1920                 # the source pictures it is made for
//   height = 1080
//   fx = 1402.5                  # the lens, at the top level: fx fy cx cy
//   ...                          # k1 k2 p1 p2 k3, and rms and views of a fit
//   [plane]
//   unit = "mm"
//   points = [[u, v, x, y], ...] # source pixels, then the typed plane coordinates
//   [scale]
//   a = [u, v]
//   b = [u, v]
//   length = 500.0
//   unit = "mm"
//   [axes]
//   origin = [u, v]
//   x_axis_deg = 0.0
//
// Every level is optional; a lens file is a calibration of the lens alone.
// Inside another file (a session) the same keys make one table, its levels
// tables below it: [calibration], [calibration.plane], ...

#include <string>
#include <string_view>

#include "calib/calibration.h"

// The calibration as TOML, numbers in their shortest exact form; with a
// `table`, as that table and the tables below it.
std::string calibration_toml(const Calibration& c, std::string_view table = {});

// Reads what calibration_toml writes (from the named `table` of the text,
// when given). False, with `out` unchanged and a one-line reason, for text
// that is not TOML, a missing table, a key of the wrong type, a level with a
// key missing, or numbers that are not finite. Unknown keys are ignored. The
// levels are not checked against each other: compile_calibration does that.
bool parse_calibration_toml(std::string_view text, Calibration& out, std::string& error,
                            std::string_view table = {});
