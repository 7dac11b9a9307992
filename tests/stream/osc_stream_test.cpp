// The OSC stream as another program receives it: a batch run's bundles held
// against the CSV of the same run, value by value; a frame too large for one
// datagram; a full ring; and targets it cannot reach, each said once while
// the stream goes on trying.

#include "stream/osc_stream.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <thread>

#include "app/batch_main.h"
#include "base/options.h"
#include "stream/osc_bundle.h"
#include "tests/stream/osc_receiver.h"
#include "tests/support/test_support.h"

using osc_test::Message;

namespace {

bool is_edge(const Message& m, const std::string& which) { return m.path == "/velmora/record" && m.text == which; }

bool stopped(const std::vector<Message>& m) { return !m.empty() && is_edge(m.back(), "stop"); }

// Nodes on the synthetic camera's three squares at phase 0, as the window saves a model.
constexpr char kModel[] =
    "3\t1\t1\t0\t1\t\n"
    "10\t229\t255\t\t1\t1\t10\t229\t\t0\t0\t1\t0.5\t\n"
    "450\t19\t255\t\t1\t1\t450\t19\t\t0\t0\t1\t0.5\t\n"
    "110\t109\t255\t\t1\t1\t110\t109\t\t0\t0\t1\t0.5\t\n";

}  // namespace

TEST(OscStream, ABatchRunSendsEveryFrameAsItsCsvRowSaysIt) {
    osc_test::Receiver receiver;
    ASSERT_TRUE(receiver.listening());
    testing_support::TempDir dir;
    testing_support::write_whole_file(dir.file("m.txt"), kModel);
    Options options = default_options();
    options.threshold = 180;
    testing_support::CapturedLog log;
    save_options(dir.file("v.ini"), options, log.log());
    const std::string csv = dir.file("out.csv"), model = dir.file("m.txt"), ini = dir.file("v.ini");
    const std::string target = "127.0.0.1:" + std::to_string(receiver.port());
    const char* argv[] = {"velmora",  "track", "synthetic", "--model",   model.c_str(), "--options", ini.c_str(),
                          "--frames", "40",    "--csv",     csv.c_str(), "--osc",       target.c_str()};
    ASSERT_EQ(batch_main(static_cast<int>(std::size(argv)), const_cast<char**>(argv)), 0);
    ASSERT_TRUE(receiver.wait_for(stopped)) << "the take's stop comes last";

    std::vector<std::vector<std::string>> rows;  // frame, time_ms, then per node x,y,xs,ys,value,angle_deg,state
    std::stringstream text(testing_support::read_whole_file(csv));
    for (std::string line; std::getline(text, line, '\n');) {
        std::stringstream fields(line.substr(0, line.size() - 1));  // without the '\r'
        rows.emplace_back();
        for (std::string field; std::getline(fields, field, ',');) rows.back().push_back(field);
        if (line.size() > 1 && line[line.size() - 2] == ',') rows.back().emplace_back();
    }
    ASSERT_EQ(rows.size(), 41u);
    ASSERT_EQ(rows[0].size(), 2u + 3 * 7);
    const std::vector<Message> got = receiver.messages();
    ASSERT_EQ(got.size(), 2 + 40 * 4u);
    EXPECT_TRUE(is_edge(got.front(), "start") && got.front().numbers[0] == 0);
    EXPECT_EQ(got.back().numbers[0], 39);

    int centred = 0;
    for (size_t f = 1; f < rows.size(); ++f) {
        const std::vector<std::string>& row = rows[f];
        const Message& frame = got[1 + (f - 1) * 4];
        ASSERT_EQ(frame.path + frame.types, "/velmora/frameid");
        EXPECT_TRUE(frame.immediate);
        EXPECT_EQ(frame.numbers[0], std::stod(row[0]));
        EXPECT_NEAR(frame.numbers[1] * 1000.0, std::stod(row[1]), 0.0005) << "frame " << row[0];
        for (size_t n = 0; n < 3; ++n) {
            const Message& node = got[2 + (f - 1) * 4 + n];
            const std::string* cell = &row[2 + n * 7];
            const std::string where = "frame " + row[0] + " node " + std::to_string(n);
            ASSERT_EQ(node.path + node.types, "/velmora/nodeifffs") << where;
            EXPECT_EQ(node.bundle, frame.bundle) << "one bundle per frame";
            EXPECT_EQ(node.numbers[0], static_cast<double>(n));
            // The centre where the node has one, else the position, as the
            // source's pixels count them: the synthetic picture is the frame,
            // whose rows the flipped nodes count from its foot.
            const double x = std::stod(cell[2].empty() ? cell[0] : cell[2]);
            const double y = std::stod(cell[3].empty() ? cell[1] : cell[3]);
            EXPECT_NEAR(node.numbers[1], x, 0.0006) << where;
            EXPECT_NEAR(node.numbers[2], 359.0 - y, 0.0006) << where;
            if (cell[5].empty()) {
                EXPECT_TRUE(std::isnan(node.numbers[3])) << where;
            } else {
                EXPECT_NEAR(node.numbers[3], std::stod(cell[5]), 0.0006) << where;
            }
            EXPECT_EQ(node.text, cell[6]) << where;
            centred += !cell[2].empty();
        }
    }
    EXPECT_GT(centred, 100) << "the run followed the squares' centres";
}

namespace {

// Ten nodes: 3 and 7 without an angle, the odd ones with a place in the
// calibrated plane, only the first five with a known source position.
FrameMeasure ten_nodes(int64_t number) {
    FrameMeasure f;
    f.frame = number;
    f.time_ms = 40.0 * static_cast<double>(number);
    for (int n = 0; n < 10; ++n) {
        NodeMeasure m;
        m.state = NodeState::tracked;
        m.x = 10.25 * n;
        m.y = 5.5 * n;
        m.angle_deg = n == 3 || n == 7 ? std::nan("") : 3.0 * n - 12.0;
        if (n < 5) m.u = 2.0 * m.x, m.v = 1000.0 - m.y;
        if (n % 2 == 1) m.world_x = 0.01 * n, m.world_y = -0.02 * n;
        f.nodes.push_back(m);
    }
    return f;
}

}  // namespace

TEST(OscBundles, AFrameTooLargeForOneDatagramGoesInSeveralEachBeginningWithTheFrame) {
    const FrameMeasure frame = ten_nodes(7);
    std::vector<Datagram> datagrams;
    EXPECT_EQ(frame_bundles(frame, datagrams), 1u);
    const size_t made = frame_bundles(frame, datagrams, 300);
    ASSERT_GT(made, 2u);
    osc_test::Decoder decoder;
    for (size_t i = 0; i < made; ++i) {
        EXPECT_LE(datagrams[i].size(), 300u);
        decoder.read(datagrams[i]);
    }
    const std::vector<Message> got = decoder.messages();
    std::string order;  // f frame, n node, w its place in the plane
    for (size_t i = 0; i < got.size(); ++i) {
        const Message& m = got[i];
        const bool first = i == 0 || got[i - 1].bundle != m.bundle;
        EXPECT_EQ(m.path == "/velmora/frame", first) << i;
        order += m.path == "/velmora/frame" ? 'f' : m.path == "/velmora/node" ? 'n' : 'w';
        if (m.path == "/velmora/frame") {
            EXPECT_EQ(m.numbers, (std::vector<double>{7, 0.28}));
            continue;
        }
        const int n = static_cast<int>(m.numbers[0]);
        const NodeMeasure& want = frame.nodes[static_cast<size_t>(n)];
        const std::vector<float> sent(m.numbers.begin() + 1, m.numbers.end());
        if (m.path == "/velmora/node/world") {
            EXPECT_EQ(sent, (std::vector<float>{float(want.world_x), float(want.world_y)}));
            continue;
        }
        EXPECT_EQ(std::vector<float>(sent.begin(), sent.begin() + 2),
                  (std::vector<float>{float(n < 5 ? want.u : want.x), float(n < 5 ? want.v : want.y)}))
            << "node " << n;
        EXPECT_EQ(std::isnan(sent[2]), n == 3 || n == 7);
    }
    std::string expected;
    for (int n = 0; n < 10; ++n) expected += n % 2 == 1 ? "nw" : "n";
    order.erase(std::remove(order.begin(), order.end(), 'f'), order.end());
    EXPECT_EQ(order, expected) << "every node once, in order, its place beside it";
}

TEST(OscStream, AFullRingDropsItsOldestFramesButNeverATakesEdge) {
    osc_test::Receiver receiver;
    ASSERT_TRUE(receiver.listening());
    OscStream stream({"127.0.0.1", receiver.port()}, 4);
    stream.take_edge(TakeEdge::start, 0);
    for (int64_t f = 0; f < 300; ++f) stream.take(ten_nodes(f));
    stream.take_edge(TakeEdge::stop, 299);
    stream.finish();
    const OscCounts counts = stream.counts();
    EXPECT_EQ(counts.sent + counts.dropped + counts.unsent, 300);
    ASSERT_TRUE(receiver.wait_for(stopped));
    const std::vector<Message> got = receiver.messages();
    EXPECT_TRUE(is_edge(got.front(), "start"));
    std::vector<double> frames;
    for (const Message& m : got)
        if (m.path == "/velmora/frame") frames.push_back(m.numbers[0]);
    EXPECT_EQ(static_cast<int64_t>(frames.size()), counts.sent);
    EXPECT_TRUE(std::adjacent_find(frames.begin(), frames.end(), std::greater_equal<>()) == frames.end());
    EXPECT_EQ(frames.back(), 299) << "the newest frame is never the one dropped";
}

TEST(OscStream, TargetsAreHostColonPortWithIpv6InBrackets) {
    for (const char* good : {"localhost:9000", "[::1]:57120", "10.0.0.2:1", "h:65535"}) {
        OscTarget t;
        std::string error;
        EXPECT_TRUE(parse_osc_target(good, t, error)) << good;
        EXPECT_EQ(t.text(), good);
    }
    for (const char* bad : {"localhost", "localhost:", ":9000", "h:0", "h:65536", "h:90x", "h:-9", "::1:9000",
                            "[::1]9000", "a b:9000"}) {
        OscTarget t;
        std::string error;
        EXPECT_FALSE(parse_osc_target(bad, t, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// A target the stream cannot reach, fed a frame a millisecond as a cycle
// would, with what it said gathered.
class UnreachableTarget : public ::testing::Test {
protected:
    // Until `done` holds; false after 30 s.
    bool feed_until(OscStream& stream, const std::function<bool()>& done) {
        for (int i = 0; i < 30000; ++i) {
            stream.take(ten_nodes(fed++));
            for (std::string& line : stream.notices()) said.push_back(std::move(line));
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    int64_t fed = 0;
    std::vector<std::string> said;
};

TEST_F(UnreachableTarget, ANameThatDoesNotResolveIsSaidOnceAndTriedAgain) {
    OscStream stream({"nothing.invalid", 9000});
    ASSERT_TRUE(feed_until(stream, [&] { return !said.empty(); }));
    const auto first = std::chrono::steady_clock::now();
    feed_until(stream, [&] { return std::chrono::steady_clock::now() - first > std::chrono::milliseconds(1500); });
    ASSERT_EQ(said.size(), 1u) << "said once, though tried again a second later";
    EXPECT_EQ(said[0].rfind("OSC: cannot find host \"nothing.invalid\"", 0), 0u) << said[0];
    EXPECT_EQ(stream.counts().sent, 0);
}

TEST_F(UnreachableTarget, ARefusedPortIsSaidOnceAndAReceiverThatComesLaterGetsTheStream) {
    // A port of the loopback that nothing listens on, for now.
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(probe);
    const std::string port = std::to_string(ntohs(a.sin_port));

    OscStream stream({"127.0.0.1", ntohs(a.sin_port)});
    ASSERT_TRUE(feed_until(stream, [&] { return !said.empty(); }));
    feed_until(stream, [&] { return fed > 200; });
    ASSERT_EQ(said, std::vector<std::string>{"OSC: nothing receives on 127.0.0.1:" + port +
                                             " (connection refused); still sending"});
    osc_test::Receiver receiver(port.c_str());
    ASSERT_TRUE(receiver.listening());
    ASSERT_TRUE(feed_until(stream, [&] { return said.size() == 2; }));
    EXPECT_EQ(said[1], "OSC: sending to 127.0.0.1:" + port + " again");
    EXPECT_FALSE(receiver.messages().empty());
}
