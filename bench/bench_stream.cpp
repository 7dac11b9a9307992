// The OSC stream and the main loop's cycle, with a chain of ten nodes at
// threshold 180 on the synthetic camera:
//
// BM_CycleStream: the headless cycle without and with the stream (to a
// receiver on the loopback that reads everything), in turns. The counters:
// cycle_us a cycle without it, added_us what the stream adds to a cycle (its
// hand-off, and the cluster statistics that give every streamed node its
// sub-pixel centre), wall time and, as *_cpu_us, the cycle thread's CPU time,
// which other threads and programs on a busy machine do not inflate.
//
// BM_StreamHandOff: that hand-off alone, measuring the frame and copying it
// into the stream's ring.
//
// BM_StreamLatency: a frame handed to the cycle (its grab copies it in)
// until its bundle is read from the receiving socket, one frame at a time;
// the counters median_us and p99_us are the latency.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "camera/frame_ops.h"
#include "loop/main_loop.h"
#include "platform/rand.h"
#include "platform/timer.h"
#include "stream/osc_stream.h"
#include "video/camera_source.h"

namespace {

// A UDP socket on the loopback; optionally a thread that reads and drops
// whatever arrives, as a receiving program keeps up.
class Receiver {
public:
    explicit Receiver(bool drain) {
        socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
        const timeval second{1, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
        if (drain) reader_ = std::thread([this] {
            while (!stop_.load()) receive();
        });
    }
    ~Receiver() {
        stop_.store(true);
        if (reader_.joinable()) reader_.join();
        ::close(socket_);
    }
    OscTarget target() const { return {"127.0.0.1", port_}; }
    // One datagram; false after a second without one.
    bool receive() { return ::recv(socket_, buffer_, sizeof buffer_, 0) > 0; }

private:
    int socket_ = -1;
    uint16_t port_ = 0;
    char buffer_[65536];
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

// Ten nodes: three on the camera's squares at phase 0, seven along its foot.
NodeModel ten_nodes() {
    NodeModel m;
    m.nodes = {{10, 359 - square1_row(0.0f), 255}, {kSquare2Column, 359 - kSquare2Row, 255},
               {square3_column(0.0f), 359 - 250, 255}};
    for (int n = 0; n < 7; ++n) m.nodes.push_back({40 + 55 * n, 20, 255});
    return m;
}

class NoView final : public CycleView {};

// The headless loop over the synthetic camera, the chain in its scene.
struct Cycle {
    Cycle() : loop(app) {
        platform::set_rand_state(1);
        app.options.threshold = 180;
        loop.scene.model = &model;
        loop.camera.start();
        prepare_main_loop(app, loop);
    }
    ~Cycle() { platform::time_end_period(1); }
    void run() { run_cycle(app, loop, view); }

    AppState app;
    MainLoop loop;
    NodeModel model = ten_nodes();
    NoView view;
};

// The thread's own CPU time, in microseconds.
double thread_cpu_us() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

void BM_CycleStream(benchmark::State& state) {
    Receiver receiver(true);
    Cycle cycle;
    OscStream stream(receiver.target());
    // Runs of cycles without and with the stream take turns, so a machine
    // whose load drifts weighs on both alike.
    constexpr int kRun = 20;
    double wall[2] = {}, cpu[2] = {};
    for (auto _ : state) {
        for (int with = 0; with < 2; ++with) {
            cycle.loop.stream = with != 0 ? &stream : nullptr;
            const auto wall_start = std::chrono::steady_clock::now();
            const double cpu_start = thread_cpu_us();
            for (int i = 0; i < kRun; ++i) cycle.run();
            cpu[with] += thread_cpu_us() - cpu_start;
            wall[with] += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wall_start).count();
        }
    }
    cycle.loop.stream = nullptr;
    const double cycles = static_cast<double>(state.iterations()) * kRun;
    state.counters["cycle_us"] = wall[0] / cycles;
    state.counters["added_us"] = (wall[1] - wall[0]) / cycles;
    state.counters["cycle_cpu_us"] = cpu[0] / cycles;
    state.counters["added_cpu_us"] = (cpu[1] - cpu[0]) / cycles;
}
BENCHMARK(BM_CycleStream)->Unit(benchmark::kMillisecond);

void BM_StreamHandOff(benchmark::State& state) {
    Receiver receiver(true);
    OscStream stream(receiver.target());
    const NodeModel model = ten_nodes();
    const std::vector<NodeState> states(model.nodes.size(), NodeState::tracked);
    std::vector<SubPixelCentre> centres(model.nodes.size());
    for (size_t n = 0; n < centres.size(); ++n)
        centres[n] = {static_cast<float>(model.nodes[n].x) + 0.25f, static_cast<float>(model.nodes[n].y) - 0.5f};
    const SourceGeometry geometry;
    FrameMeasure measured;
    int64_t frame = 0;
    for (auto _ : state) {
        measure_frame(frame, 40.0 * static_cast<double>(frame), model.nodes, states, centres,
                      MeasureContext{&geometry, true}, measured);
        stream.take(measured);
        ++frame;
    }
}
BENCHMARK(BM_StreamHandOff)->Unit(benchmark::kNanosecond);

// The synthetic camera's first frame, handed over again at every grab.
class StillCamera final : public CameraSource {
public:
    explicit StillCamera(const Frame& frame) : frame_(frame) {}
    bool start() override { return true; }
    bool stop() override { return true; }
    bool grab(Frame& frame) override {
        copy_frame(frame_, frame);
        return true;
    }
    double frame_time_ms() const override { return 0; }
    bool ended() const override { return false; }
    std::string fault() const override { return {}; }
    SourceInfo info() const override { return {}; }

private:
    const Frame& frame_;
};

void BM_StreamLatency(benchmark::State& state) {
    Receiver receiver(false);
    Cycle cycle;
    Frame still;
    cycle.loop.camera.grab(still);
    StillCamera camera(still);
    cycle.loop.source = &camera;
    OscStream stream(receiver.target());
    cycle.loop.stream = &stream;
    std::vector<double> micros;
    int64_t lost = 0;
    for (auto _ : state) {
        const auto handed = std::chrono::steady_clock::now();
        cycle.run();
        if (!receiver.receive()) {
            ++lost;
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - handed).count());
    }
    cycle.loop.stream = nullptr;
    cycle.loop.source = nullptr;
    std::sort(micros.begin(), micros.end());
    if (!micros.empty()) {
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    }
    state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_StreamLatency)->Iterations(3000)->Unit(benchmark::kMicrosecond);

}  // namespace
