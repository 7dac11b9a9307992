#pragma once
// All user settings in one fixed 2160-byte block, stored whole as the options
// file. The record's memory image is the file image, so its layout is fixed:
// every field at its offset, little-endian int32s, two 1024-byte NUL-terminated
// paths and three reserved bytes that keep the int32s 4-byte aligned.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/log.h"

struct Options {
    int32_t cluster_method;     // 0 region grow, 1 k-means, 2 hierarchical merge, else none
    int32_t show_thresholding;  // non-zero: the preview shows the thresholded frame
    uint8_t y_invert;           // non-zero: every grabbed frame is flipped upside down
    char save_path[1024];       // proposed by the save dialogs and used by quick-save
    char load_path[1024];       // proposed by the load dialogs
    uint8_t reserved[3];        // never read; kept as loaded
    int32_t frame_width;        // 480; not read by any operation
    int32_t frame_height;       // 360; not read by any operation
    int32_t camera_brightness;  // stored and shown only
    int32_t camera_gain;        // stored and shown only
    int32_t camera_shutter;     // stored and shown only
    int32_t fullscreen_width;
    int32_t fullscreen_height;
    int32_t fullscreen_x;
    int32_t fullscreen_y;
    int32_t threshold;          // below 1: no thresholding or clustering
    int32_t kmeans_iterations;
    int32_t kmeans_threads;
    int32_t kmeans_clusters;
    int32_t regiongrow_max_distance;
    int32_t regiongrow_max_cluster_size;
    int32_t regiongrow_min_cluster_size;
    int32_t cure_max_distance;
    int32_t cure_max_cluster_size;  // stored and shown; not passed to the merge
    int32_t cure_min_cluster_size;
    int32_t min_node_distance;
    int32_t max_track_distance;
    int32_t animation_buffer_frames;
    int32_t node_count;
    int32_t line_width;
    int32_t sensor_max_radius;
};

inline constexpr size_t kOptionsFileSize = 2160;
inline constexpr size_t kOptionsPathCapacity = sizeof(Options::save_path);  // 1023 chars + NUL

static_assert(std::endian::native == std::endian::little, "the options file image is little-endian");
static_assert(sizeof(Options) == kOptionsFileSize);
static_assert(offsetof(Options, y_invert) == 8);
static_assert(offsetof(Options, save_path) == 9);
static_assert(offsetof(Options, load_path) == 1033);
static_assert(offsetof(Options, reserved) == 2057);
static_assert(offsetof(Options, frame_width) == 2060);
static_assert(offsetof(Options, fullscreen_width) == 2080);
static_assert(offsetof(Options, threshold) == 2096);
static_assert(offsetof(Options, cure_max_distance) == 2124);
static_assert(offsetof(Options, animation_buffer_frames) == 2144);
static_assert(offsetof(Options, sensor_max_radius) == 2156);

// Every field at its default except the three cure_ fields, which keep their
// values. The paths get "output.txt" and its NUL in their first 11 bytes; the
// bytes after that and the reserved bytes are left alone.
void reset_options(Options& options);

// The block as static initialisation makes it: zeroed, the cure_ fields at
// their defaults, then reset.
Options default_options();

// Fills `options` from the file, or resets them when the file is missing or
// has the wrong size; never fails. Writes the log lines of each case.
void load_options(const std::string& file_name, Options& options, Log log);

// Writes the 2160-byte image through a temporary file, so a failed save never
// damages the file that stood there. Logs the outcome; false when it failed.
bool save_options(const std::string& file_name, const Options& options, Log log);

// Copies `path` into a path field when it fits (at most 1023 characters);
// returns false and leaves the field unchanged when it does not.
bool store_path(char (&field)[1024], const std::string& path);
