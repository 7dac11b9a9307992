#pragma once
// `velmora calibrate`: the lens from a video or image sequence of a printed
// checkerboard.
//
//   velmora calibrate SOURCE --checkerboard COLSxROWS --square SIZE --out lens.toml
//
// Finds the board's inner corners (COLSxROWS, counted as OpenCV counts them)
// in the full-resolution pictures of SOURCE, fits the camera model and writes
// it as a calibration file of the lens alone. Says the reprojection error and
// the number of views used; refuses a fit from fewer than 8 views.

// Whether argv asks for the lens fit.
bool is_calibrate_command(int argc, const char* const* argv);

// The usage text.
const char* calibrate_usage();

// Exit status: 0 with the file written; 2 for a command line it cannot use;
// 1 when the source cannot be read, the board is found in too few pictures,
// the fit fails or the file cannot be written. Every failure writes one line
// to standard error.
int calibrate_main(int argc, char** argv);
