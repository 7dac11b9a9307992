// The CSV export: the header and rows byte for byte, empty fields for what is
// not known, '.' whatever the locale, a recording turned into rows and back,
// and a save that cannot be made.

#include "measure/csv_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>

#include "model/animation_file.h"
#include "tests/support/test_support.h"

namespace {

// The model's chain as the next frame of the table, measured as a run measures it.
void append(FrameTable& t, double time_ms, const NodeModel& m) {
    FrameMeasure frame;
    measure_frame(static_cast<int64_t>(t.frame_count()), time_ms, m.nodes, m.node_states, m.sub_pixel_centres, {},
                  frame);
    t.append(frame);
}

// Two frames of three nodes: node 1 sits on node 0 in frame 1 (no angle there).
// In frame 0 nodes 1 and 2 have sub-pixel centres and node 0 has none, so
// only node 2's angle comes from centres: its links (-1, 10) and +x turn by
// -95.711 degrees where the integer positions turn by -90.
FrameTable small_table() {
    FrameTable t;
    NodeModel m;
    m.nodes = {{0, 0, 255}, {10, 0, 255}, {10, 10, 200}};
    m.node_states = {NodeState::tracked, NodeState::held, NodeState::placed};
    m.sub_pixel_centres = {{}, {10.0f, 0.5f}, {9.0f, 10.5f}};
    append(t, 0.0, m);
    m.nodes = {{5, 5, 255}, {5, 5, 255}, {8, 9, 255}};
    m.node_states = {NodeState::predicted, NodeState::unknown, NodeState::tracked};
    m.sub_pixel_centres.clear();
    append(t, 16.6666, m);
    return t;
}

constexpr char kSmallCsv[] =
    "frame,time_ms,n0_x,n0_y,n0_xs,n0_ys,n0_value,n0_angle_deg,n0_state,"
    "n1_x,n1_y,n1_xs,n1_ys,n1_value,n1_angle_deg,n1_state,"
    "n2_x,n2_y,n2_xs,n2_ys,n2_value,n2_angle_deg,n2_state\r\n"
    "0,0.000,0,0,,,255,0.000,tracked,10,0,10.000,0.500,255,90.000,held,10,10,9.000,10.500,200,-95.711,placed\r\n"
    "1,16.667,5,5,,,255,,predicted,5,5,,,255,,,8,9,,,255,-53.130,tracked\r\n";

// A numeric punctuation that writes a decimal comma, as German locales do.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(CsvFile, HeaderAndRowsAreWrittenByteForByteWithEmptyFieldsForWhatIsNotKnown) {
    EXPECT_EQ(format_csv(small_table()), kSmallCsv);
    EXPECT_EQ(csv_header(0), "frame,time_ms");
    EXPECT_EQ(format_csv(FrameTable{}), "frame,time_ms\r\n");
}

TEST(CsvFile, ValuesThatRoundToZeroAreNeverNegative) {
    FrameTable t;
    NodeModel m;
    // A bend of -0.00003 degrees at node 1.
    m.nodes = {{0, 0, 255}, {2000000, 0, 255}, {4000000, -1, 255}};
    append(t, -0.0001, m);
    EXPECT_EQ(format_csv(t).substr(csv_header(3).size() + 2, 47), "0,0.000,0,0,,,255,0.000,,2000000,0,,,255,0.000,");
}

TEST(CsvFile, TheDecimalPointIsAPointWhateverTheLocale) {
    const std::locale before = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    // Where the system has a German locale, the C library's too.
    const std::string c_before = std::setlocale(LC_ALL, nullptr);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const std::string text = format_csv(small_table());
    std::setlocale(LC_ALL, c_before.c_str());
    std::locale::global(before);
    EXPECT_EQ(text, kSmallCsv) << (german ? "with de_DE.UTF-8" : "C++ locale only");
}

TEST(CsvFile, ARecordingBecomesRowsAtTimesSinceItsFirstFrameAndBack) {
    Animation a;
    ASSERT_TRUE(a.reset(10, 2));
    start_recording(a);
    NodeModel live;
    live.set_node_count(2);
    for (int s = 0; s < 3; ++s) {
        live.nodes = {{s, 0, 255}, {s, 10, 255}};
        live.node_states = {NodeState::tracked, s == 1 ? NodeState::predicted : NodeState::held};
        // Node 0 measured from frame 1 on: the recording starts keeping centres there.
        live.sub_pixel_centres = {s == 0 ? SubPixelCentre{} : SubPixelCentre{s + 0.25f, 0.5f}, {}};
        a.record_step(live, 1000.5f + 20.0f * s);
    }
    const FrameTable t = frame_table_of(a);
    ASSERT_EQ(t.frame_count(), 3u);
    EXPECT_EQ(t.times_ms, (std::vector<double>{0.0, 20.0, 40.0}));
    EXPECT_EQ(t.nodes[2 * 2 + 1].y, 10);
    EXPECT_EQ(t.states[1 * 2 + 1], NodeState::predicted);
    ASSERT_EQ(t.sub_pixel_centres.size(), 6u);
    EXPECT_FALSE(t.sub_pixel_centres[0].known());
    EXPECT_FLOAT_EQ(t.sub_pixel_centres[2 * 2].x, 2.25f);
    EXPECT_FALSE(t.sub_pixel_centres[2 * 2 + 1].known());

    Animation back;
    ASSERT_TRUE(animation_of(t, live, back));
    EXPECT_EQ(back.frame_count, 3);
    EXPECT_EQ(back.capacity_frames, 3);
    EXPECT_EQ(back.nodes_per_frame, 2);
    EXPECT_FLOAT_EQ(back.timestamps[2], 40.0f);
    EXPECT_EQ(back.frames[4].x, 2);
    EXPECT_EQ(back.states[3], NodeState::predicted);
    EXPECT_EQ(back.model.nodes[0].x, 2);

    // A cut moves the centres with their frames.
    a.crop(1, 3);
    EXPECT_FLOAT_EQ(frame_table_of(a).sub_pixel_centres[0].x, 1.25f);

    // Counters past the buffer give only the frames the buffer holds.
    a.frame_count = 50;
    EXPECT_EQ(frame_table_of(a).frame_count(), 10u);
}

TEST(CsvFile, ATakeLoadedFromAFileHasNoSubPixelCentres) {
    Animation a;
    ASSERT_TRUE(a.reset(4, 1));
    start_recording(a);
    NodeModel live;
    live.set_node_count(1);
    live.sub_pixel_centres = {{50.5f, 200.25f}};
    a.record_step(live, 0.0f);
    ASSERT_NE(format_csv(frame_table_of(a)).find(",50,200,50.500,200.250,255,"), std::string::npos);

    ASSERT_TRUE(parse_animation(a, format_animation(a)));
    EXPECT_EQ(format_csv(frame_table_of(a)), csv_header(1) + "\r\n0,0.000,50,200,,,255,0.000,\r\n");
}

TEST(CsvFile, ASaveThatCannotBeMadeFailsAndLeavesTheOldFile) {
    testing_support::TempDir dir;
    EXPECT_FALSE(save_csv(small_table(), dir.file("missing/take.csv")));
    const std::string path = dir.file("take.csv");
    ASSERT_TRUE(save_csv(small_table(), path));
    EXPECT_EQ(testing_support::read_whole_file(path), kSmallCsv);
    // A folder under the name is never replaced.
    EXPECT_FALSE(save_csv(FrameTable{}, dir.path()));
}
