// Camera sources against FFmpeg's decoding alone of the same input: what
// fitting into the grey frame and the hand-over through the mailbox add.
// BM_VideoGrab runs a sequential source (every frame, no pacing) to the end;
// BM_FfmpegDecode demuxes and decodes the same input on one thread and drops
// the pictures. Inputs are made with the ffmpeg program at the first run.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "video/camera_source.h"

namespace {

enum Input { mjpeg_640, h264_1080, png_sequence };

// The input's path (made once per process); empty when ffmpeg failed.
const std::string& input(Input which) {
    static const std::string dir = [] {
        const std::string d = (std::filesystem::temp_directory_path() / "velmora-bench-video").string();
        std::filesystem::create_directories(d);
        return d;
    }();
    static std::string paths[3];
    std::string& path = paths[which];
    if (!path.empty()) return path;
    // A scene with fine detail and noise, so the decoders have real work.
    const std::string scene = "-f lavfi -i testsrc2=size=%s:rate=30 -vf noise=alls=20:allf=t ";
    std::string out, size, codec;
    switch (which) {
        case mjpeg_640: out = dir + "/scene.avi", size = "640x480", codec = "-frames:v 300 -c:v mjpeg -q:v 3"; break;
        case h264_1080:
            out = dir + "/scene.mp4", size = "1920x1080",
            codec = "-frames:v 300 -c:v libx264 -preset veryfast -pix_fmt yuv420p";
            break;
        case png_sequence:
            std::filesystem::create_directories(dir + "/png");
            out = dir + "/png/f%04d.png", size = "640x480", codec = "-frames:v 100 -c:v png";
            break;
    }
    std::string args = scene;
    args.replace(args.find("%s"), 2, size);
    const std::string command = "ffmpeg -nostdin -loglevel error -y " + args + codec + " '" + out + "'";
    if (std::filesystem::exists(which == png_sequence ? dir + "/png/f0001.png" : out) ||
        std::system(command.c_str()) == 0)
        path = out;
    return path;
}

void BM_VideoGrab(benchmark::State& state) {
    const std::string& path = input(static_cast<Input>(state.range(0)));
    if (path.empty()) return state.SkipWithError("the ffmpeg program could not make the input");
    int64_t frames = 0;
    for (auto _ : state) {
        std::string error;
        std::unique_ptr<CameraSource> source =
            open_camera_source(path, SourceOptions{Pacing::sequential}, nullptr, error);
        if (source == nullptr) return state.SkipWithError(error.c_str());
        source->start();
        Frame frame;
        while (source->grab(frame)) ++frames;
        source->stop();
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VideoGrab)->DenseRange(mjpeg_640, png_sequence)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegDecode(benchmark::State& state) {
    const std::string& path = input(static_cast<Input>(state.range(0)));
    if (path.empty()) return state.SkipWithError("the ffmpeg program could not make the input");
    int64_t frames = 0;
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format, nullptr) < 0)
            return state.SkipWithError("cannot open the input");
        const AVCodec* decoder = nullptr;
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        AVCodecContext* codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        codec->thread_count = 1;
        avcodec_open2(codec, decoder, nullptr);
        auto receive = [&] {
            while (avcodec_receive_frame(codec, picture) >= 0) ++frames;
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
            receive();
        }
        avcodec_send_packet(codec, nullptr);
        receive();
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
    av_frame_free(&picture);
    av_packet_free(&packet);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegDecode)->DenseRange(mjpeg_640, png_sequence)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
