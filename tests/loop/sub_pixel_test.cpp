// Sub-pixel centres in the measurements: markers with anti-aliased edges,
// drawn at known fractional positions, through the batch run's whole
// analysis. The rows' centres land within a tenth of a pixel of the truth,
// and the angles taken from them follow the true bend.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "loop/batch_run.h"
#include "measure/frame_table.h"
#include "platform/rand.h"
#include "tests/cluster/scene_frames.h"

namespace {

constexpr int kFrames = 12;

// Three markers of different size and brightness, each moving by a fraction
// of a pixel per frame, over a gradient from 10 to 90 with noise. Each lies
// nearest to another of the k-means seeds that a fresh generator draws
// ((169, 0), (242, 57), (143, 175)), so that k-means finds all three.
std::vector<scene_frames::Marker> markers_at(int f) {
    return {{160.3 + 0.37 * f, 30.6 + 0.23 * f, 5.0, 230},
            {250.7 - 0.29 * f, 110.45 + 0.41 * f, 4.5, 200},
            {120.8 + 0.13 * f, 200.1 - 0.31 * f, 5.5, 250}};
}

class DrawnMarkers final : public BatchSource {
public:
    bool next(Frame& frame) override {
        if (given_ == kFrames) return false;
        frame = scene_frames::draw(scene_frames::Background{10.0, 90.0, 3, 3u + given_}, markers_at(given_));
        ++given_;
        return true;
    }
    bool ends() const override { return true; }

private:
    int given_ = 0;
};

// The turn at the middle of three points in degrees, counter-clockwise positive.
double turn_deg(double x0, double y0, double x1, double y1, double x2, double y2) {
    const double ax = x1 - x0, ay = y1 - y0, bx = x2 - x1, by = y2 - y1;
    return std::atan2(ax * by - ay * bx, ax * bx + ay * by) * 180.0 / std::numbers::pi;
}

class SubPixelNodes : public ::testing::TestWithParam<int32_t> {};

TEST_P(SubPixelNodes, FallWithinATenthOfAPixelOfDrawnMarkersWhereTheIntegerOnesDoNot) {
    BatchSettings settings;
    settings.options.y_invert = 0;
    settings.options.threshold = 130;  // about halfway between the background and the dimmest marker
    settings.options.cluster_method = GetParam();
    settings.options.kmeans_iterations = 10;
    platform::set_rand_state(1);
    NodeModel model;
    model.nodes.clear();
    for (const scene_frames::Marker& m : markers_at(0))
        model.nodes.push_back(ModelNode{static_cast<int32_t>(m.x) + 3, static_cast<int32_t>(m.y) - 2, 255});
    DrawnMarkers source;
    FrameTable table;
    TableSink sink(table);
    FrameSink* const sinks[] = {&sink};
    const std::atomic<bool> stop{false};
    ASSERT_EQ(run_batch(source, settings, model, sinks, stop, nullptr), BatchEnd::source_ended);
    ASSERT_EQ(table.frame_count(), static_cast<size_t>(kFrames));
    ASSERT_EQ(table.sub_pixel_centres.size(), table.nodes.size());

    double worst_centre = 0.0, worst_integer = 0.0, worst_angle = 0.0, worst_integer_angle = 0.0;
    for (size_t f = 0; f < kFrames; ++f) {
        const std::vector<scene_frames::Marker> truth = markers_at(static_cast<int>(f));
        for (size_t n = 0; n < truth.size(); ++n) {
            const ModelNode& node = table.nodes[f * 3 + n];
            const SubPixelCentre& c = table.sub_pixel_centres[f * 3 + n];
            ASSERT_EQ(table.states[f * 3 + n], NodeState::tracked) << "frame " << f << " node " << n;
            ASSERT_TRUE(c.known()) << "frame " << f << " node " << n;
            worst_centre = std::max({worst_centre, std::abs(c.x - truth[n].x), std::abs(c.y - truth[n].y)});
            worst_integer = std::max({worst_integer, std::abs(node.x - truth[n].x), std::abs(node.y - truth[n].y)});
        }
        const double bend = turn_deg(truth[0].x, truth[0].y, truth[1].x, truth[1].y, truth[2].x, truth[2].y);
        const auto row = std::span(table.nodes).subspan(f * 3, 3);
        worst_angle = std::max(
            worst_angle, std::abs(bend_angle_deg(row, std::span(table.sub_pixel_centres).subspan(f * 3, 3), 1) - bend));
        worst_integer_angle = std::max(worst_integer_angle, std::abs(bend_angle_deg(row, 1) - bend));
    }
    EXPECT_LT(worst_centre, 0.1);
    EXPECT_GT(worst_integer, 0.5) << "the markers should put the integer positions visibly off";
    EXPECT_LT(worst_angle, 0.1);
    EXPECT_GT(worst_integer_angle, 3 * worst_angle);
}

// Region grow, k-means, hierarchical merge.
INSTANTIATE_TEST_SUITE_P(Methods, SubPixelNodes, ::testing::Values(0, 1, 2));

}  // namespace
