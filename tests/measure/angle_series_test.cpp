// The chart's angle series: a recording's frames and the live model's last
// seconds, and the frame a click in the chart finds.

#include "measure/angle_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calib/calibration.h"

namespace {

// Frame f of a 3-node take recorded at 100 * f ms: node 2 turns by 90 degrees
// in even frames and -90 in odd ones.
Animation zigzag(int frames) {
    Animation a;
    EXPECT_TRUE(a.reset(frames + 5, 3));
    start_recording(a);
    NodeModel live;
    for (int f = 0; f < frames; ++f) {
        live.nodes = {{0, 0, 255}, {10, 0, 255}, {10, f % 2 == 0 ? 10 : -10, 255}};
        a.record_step(live, 5000.0f + 100.0f * f);
    }
    return a;
}

}  // namespace

TEST(AngleSeries, ARecordingGivesOneSamplePerFrameAndGrowsFromWhereItStopped) {
    Animation a = zigzag(4);
    AngleSeries s;
    append_frames(a, 0, s);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s.nodes, 3);
    EXPECT_DOUBLE_EQ(s.times_ms[3], 300.0);
    EXPECT_FLOAT_EQ(s.angle(0, 1), 90.0f);
    EXPECT_FLOAT_EQ(s.angle(1, 1), -90.0f);
    EXPECT_FLOAT_EQ(s.angle(1, 2), 90.0f);
    // In the take's own context, as its CSV: a scale puts y up, so the turn
    // counts the other way.
    const SourceGeometry geometry = source_geometry(kFrameWidth, kFrameHeight);
    Calibration scale;
    scale.scale = ScaleLevel{{0, 0}, {100, 0}, 10.0, "mm"};
    CalibrationMap map;
    std::string error;
    ASSERT_TRUE(compile_calibration(scale, kFrameWidth, kFrameHeight, map, error)) << error;
    AngleSeries in_plane;
    append_frames(a, 0, in_plane, MeasureContext{&geometry, false, &map});
    EXPECT_FLOAT_EQ(in_plane.angle(0, 1), -90.0f);

    NodeModel live;
    live.nodes = {{0, 0, 255}, {0, 0, 255}, {10, 0, 255}};
    a.record_step(live, 5400.0f);
    append_frames(a, 4, s);
    ASSERT_EQ(s.size(), 5u);
    EXPECT_TRUE(std::isnan(s.angle(4, 1))) << "a link of length 0 has no angle";

    // A frame whose nodes have their markers' centres is measured from
    // them, as the CSV measures it: 90 degrees at node 1 by the positions,
    // 45 by the centres (0, 0), (10, 0), (20, 10).
    live.nodes = {{0, 0, 255}, {10, 0, 255}, {10, 10, 255}};
    live.sub_pixel_centres = {{0.0f, 0.0f}, {10.0f, 0.0f}, {20.0f, 10.0f}};
    a.record_step(live, 5500.0f);
    append_frames(a, 5, s);
    ASSERT_EQ(s.size(), 6u);
    EXPECT_NEAR(s.angle(5, 1), 45.0f, 1e-4);
}

TEST(AngleSeries, LiveSamplesAreDroppedOldestFirstAndAnotherChainStartsAfresh) {
    AngleSeries s;
    NodeModel m;  // the default straight row
    FrameMeasure measured;
    measure_model(m, MeasureContext{}, measured);
    for (int t = 0; t < 10; ++t) s.append(1000.0 * t, measured);
    s.drop_before(6500.0);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_DOUBLE_EQ(s.times_ms.front(), 7000.0);
    EXPECT_EQ(s.angles.size(), 9u);
    m.set_node_count(4);
    measure_model(m, MeasureContext{}, measured);
    s.append(10000.0, measured);
    EXPECT_EQ(s.size(), 1u);
    EXPECT_EQ(s.nodes, 4);
}

TEST(AngleSeries, AClickFindsTheNearestFrameAndTheEarlierOneOnATie) {
    const Animation a = zigzag(4);  // frames at 0, 100, 200, 300 ms
    EXPECT_EQ(frame_at_time(a, -50.0), 0);
    EXPECT_EQ(frame_at_time(a, 49.0), 0);
    EXPECT_EQ(frame_at_time(a, 50.0), 0);
    EXPECT_EQ(frame_at_time(a, 51.0), 1);
    EXPECT_EQ(frame_at_time(a, 200.0), 2);
    EXPECT_EQ(frame_at_time(a, 9999.0), 3);
    EXPECT_EQ(frame_at_time(Animation{}, 0.0), -1);
}
