#pragma once
// Inputs for the source tests, made in the test: the synthetic camera's
// frames as the main loop sees them, raw grey frames written as YUV4MPEG
// (which FFmpeg reads without any encoder), and encodings by the ffmpeg program.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "camera/frame_ops.h"
#include "loop/main_loop.h"
#include "model/node_model.h"
#include "platform/message.h"
#include "platform/rand.h"
#include "platform/timer.h"
#include "video/camera_source.h"

namespace video_inputs {

// What one cycle of the main loop saw and made.
struct CycleRecord {
    Frame frame;  // the camera's frame before the flip
    ClusterList clusters;
    std::vector<ModelNode> nodes;
};

// Options of the runs: squares only (threshold 180), region grow, flipped.
inline void set_run_options(AppState& app) {
    app.options.threshold = 180;
    app.options.y_invert = 1;
    app.options.cluster_method = 0;
}

// Three nodes on the squares of the first synthetic frame (phase 0), in model
// coordinates (the flipped frame).
inline NodeModel model_on_squares() {
    NodeModel m;
    m.nodes = {{10, 359 - square1_row(0.0f), 255},
               {kSquare2Column, 359 - kSquare2Row, 255},
               {square3_column(0.0f), 359 - 250, 255}};
    return m;
}

// Runs `cycles` cycles of the main loop on `source` (null: the synthetic
// camera, generator from its start) and records each.
inline std::vector<CycleRecord> run_cycles(int cycles, CameraSource* source) {
    platform::set_rand_state(1);
    AppState app;
    set_run_options(app);
    MainLoop loop(app);
    loop.camera.start();
    loop.source = source;
    if (source != nullptr) source->start();
    NodeModel model = model_on_squares();
    loop.scene.model = &model;
    prepare_main_loop(app, loop);
    struct Headless final : CycleView {
    } view;
    std::vector<CycleRecord> records;
    for (int i = 0; i < cycles; ++i) {
        run_cycle(app, loop, view);
        CycleRecord r{app.camera_frame, loop.clusters, model.nodes};
        flip_frame(r.frame);
        records.push_back(std::move(r));
    }
    platform::time_end_period(1);
    return records;
}

// Frames as a grey YUV4MPEG stream, full range as the program's frames are;
// `header` replaces the picture fields of the stream header when given (to
// claim what the frames are not).
inline void write_y4m(const std::string& path, const std::vector<Frame>& frames, int width, int height,
                      const std::string& header = "") {
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 "
        << (header.empty() ? "W" + std::to_string(width) + " H" + std::to_string(height) + " F25:1" : header)
        << " Ip A1:1 Cmono XCOLORRANGE=FULL\n";
    for (const Frame& f : frames) {
        out << "FRAME\n";
        out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    }
}

inline std::vector<Frame> frames_of(const std::vector<CycleRecord>& records) {
    std::vector<Frame> frames;
    for (const CycleRecord& r : records) frames.push_back(r.frame);
    return frames;
}

// Runs the ffmpeg program quietly; true on success.
inline bool ffmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -loglevel error -y " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Opens a source or fails the test.
inline std::unique_ptr<CameraSource> open_or_fail(const std::string& text, Pacing pacing = Pacing::sequential) {
    std::string error;
    std::unique_ptr<CameraSource> source = open_camera_source(text, SourceOptions{pacing}, nullptr, error);
    EXPECT_NE(source, nullptr) << error;
    return source;
}

// Every frame of a sequential source with its time.
struct Decoded {
    std::vector<Frame> frames;
    std::vector<double> times;
};
inline Decoded decode_all(CameraSource& source, size_t at_most = 100000) {
    Decoded d;
    source.start();
    Frame f;
    while (d.frames.size() < at_most && source.grab(f)) {
        d.frames.push_back(f);
        d.times.push_back(source.frame_time_ms());
    }
    source.stop();
    return d;
}

// Operator messages shown while it lives (from any thread).
class MessageCapture {
public:
    MessageCapture() {
        std::lock_guard<std::mutex> lock(mutex());
        store().clear();
        platform::set_message_sink(&sink);
    }
    ~MessageCapture() { platform::set_message_sink(nullptr); }
    std::vector<std::string> texts() const {
        std::lock_guard<std::mutex> lock(mutex());
        return store();
    }
    std::string all() const {
        std::string joined;
        for (const std::string& t : texts()) joined += t + "\n";
        return joined;
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& store() {
        static std::vector<std::string> t;
        return t;
    }
    static void sink(const char*, const char* text) {
        std::lock_guard<std::mutex> lock(mutex());
        store().push_back(text);
    }
};

}  // namespace video_inputs
