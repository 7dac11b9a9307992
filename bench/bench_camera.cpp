// Costs of one frame's road from the camera to the bright-pixel list, beside a
// plain copy of one frame, the floor they are measured against.

#include <benchmark/benchmark.h>

#include <cstring>

#include "camera/frame_ops.h"
#include "camera/noise.h"
#include "camera/videocam.h"
#include "platform/rand.h"

namespace {

Frame grabbed_frame(float phase = 0.3f) {
    Videocam_dummy cam(&phase);
    cam.start();
    Frame f;
    cam.grab(f);
    return f;
}

void BM_Memcpy172800(benchmark::State& state) {
    const Frame src = grabbed_frame();
    Frame dst(kFrameBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kFrameBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy172800);

void BM_Grab(benchmark::State& state) {
    float phase = 0.0f;
    Videocam_dummy cam(&phase);
    cam.start();
    Frame f;
    for (auto _ : state) {
        cam.grab(f);
        phase += 0.01f;
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_Grab);

void BM_Flip(benchmark::State& state) {
    Frame f = grabbed_frame();
    for (auto _ : state) {
        flip_frame(f);
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Flip);

void BM_Threshold(benchmark::State& state) {
    const Frame src = grabbed_frame();
    Frame dst;
    for (auto _ : state) {
        threshold_frame(src, dst, 180);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Threshold);

// Pixel list of a thresholded frame; the argument is the threshold: 180 lists
// the three squares (sparse), 1 nearly the whole frame (dense).
void BM_BrightPixels(benchmark::State& state) {
    Frame thresholded;
    threshold_frame(grabbed_frame(), thresholded, static_cast<int32_t>(state.range(0)));
    BrightPixelList list;
    for (auto _ : state) {
        list_bright_pixels(thresholded, list);
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["pixels"] = static_cast<double>(list.size());
}
BENCHMARK(BM_BrightPixels)->Arg(180)->Arg(1);

}  // namespace

namespace {

// The camera's noise alone, the plain serial generator beside the lane kernel.
void BM_NoiseSerial(benchmark::State& state) {
    Frame f(kFrameBytes);
    for (auto _ : state) {
        camera_noise::fill_noise_serial(f.data(), 1u);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_NoiseSerial);

void BM_NoiseLanes(benchmark::State& state) {
    Frame f(kFrameBytes);
    for (auto _ : state) {
        camera_noise::fill_noise(f.data(), 1u);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_NoiseLanes);

}  // namespace
