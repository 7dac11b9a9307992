// What real units cost, from one run: measure_frame over a chain of 10 nodes
// with sub-pixel centres, without a context, with a 1920 x 1080 source's
// geometry (u, v), with a scale, and with a lens and a plane (each node
// corrected through OpenCV's undistortPoints); and a whole take's kinematics
// after recording (10 000 frames of 10 nodes) at a given cutoff and with
// the cutoff chosen per signal by residual analysis. Compare the rates.

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "calib/calibration.h"
#include "measure/frame_measure.h"
#include "measure/take_kinematics.h"

namespace {

constexpr int kNodes = 10;

std::vector<ModelNode> chain_nodes() {
    std::vector<ModelNode> nodes;
    for (int n = 0; n < kNodes; ++n) nodes.push_back(ModelNode{40 + 40 * n, 100 + 20 * (n % 3), 255});
    return nodes;
}

std::vector<SubPixelCentre> chain_centres() {
    std::vector<SubPixelCentre> centres;
    for (const ModelNode& n : chain_nodes()) centres.push_back(SubPixelCentre{n.x + 0.3f, n.y - 0.2f});
    return centres;
}

Calibration calibration_of(int level) {
    Calibration c;
    if (level >= 2) c.scale = ScaleLevel{{100, 100}, {500, 100}, 1000.0, "mm"};
    if (level >= 3) {
        c.lens = LensModel{1400, 1400, 960, 540, -0.25, 0.08};
        c.plane = PlaneLevel{{{{200, 200}, {0, 0}}, {{1700, 250}, {1, 0}}, {{1650, 900}, {1, 1}}, {{250, 850}, {0, 1}}},
                             "m"};
    }
    return c;
}

void BM_MeasureFrame(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    const SourceGeometry geometry = source_geometry(1920, 1080);
    CalibrationMap map;
    std::string error;
    if (level >= 2 && !compile_calibration(calibration_of(level), 1920, 1080, map, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const MeasureContext context{level >= 1 ? &geometry : nullptr, true, level >= 2 ? &map : nullptr};
    const std::vector<ModelNode> nodes = chain_nodes();
    const std::vector<SubPixelCentre> centres = chain_centres();
    const std::vector<NodeState> states(kNodes, NodeState::tracked);
    FrameMeasure out;
    int64_t frame = 0;
    for (auto _ : state) {
        measure_frame(frame++, 0.0, nodes, states, centres, context, out);
        benchmark::DoNotOptimize(out.nodes.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(level == 0 ? "frame only" : level == 1 ? "source pixels" : level == 2 ? "scale" : "lens and plane");
}
BENCHMARK(BM_MeasureFrame)->DenseRange(0, 3);

void BM_TakeKinematics(benchmark::State& state) {
    const bool automatic = state.range(0) != 0;
    FrameTable table;
    table.nodes_per_frame = kNodes;
    for (int f = 0; f < 10000; ++f) {
        table.times_ms.push_back(f * 1000.0 / 60.0);
        for (int n = 0; n < kNodes; ++n) {
            const double t = f / 60.0;
            const float x = static_cast<float>(40 + 40 * n + 20 * std::sin(2.1 * t + n));
            const float y = static_cast<float>(150 + 30 * std::cos(1.3 * t + 0.5 * n) + 0.3 * std::sin(97.0 * f));
            table.nodes.push_back(ModelNode{static_cast<int32_t>(x), static_cast<int32_t>(y), 255});
            table.states.push_back(NodeState::tracked);
            table.sub_pixel_centres.push_back(SubPixelCentre{x, y});
        }
    }
    const SourceGeometry geometry = source_geometry(480, 360);
    TakeKinematics k;
    std::string error;
    for (auto _ : state) {
        if (!take_kinematics(table, MeasureContext{&geometry, false}, automatic ? 0.0 : 6.0, k, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    state.SetLabel(automatic ? "auto cutoff" : "6 Hz");
}
BENCHMARK(BM_TakeKinematics)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
