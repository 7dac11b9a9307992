// The OSC stream as another program receives it: a batch run's bundles held
// against the CSV of the same run, value by value; a frame too large for one
// datagram; a full ring; and the targets it cannot reach, each said once
// while the stream goes on trying.

#include "stream/osc_stream.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_main.h"
#include "base/options.h"
#include "stream/osc_bundle.h"
#include "tests/stream/osc_receiver.h"
#include "tests/support/test_support.h"

using osc_test::Message;

namespace {

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, sep);) out.push_back(field);
    if (!line.empty() && line.back() == sep) out.emplace_back();
    return out;
}

bool is_edge(const Message& m, const char* which) {
    return m.path == "/velmora/record" && m.args.size() == 2 && m.args[0].text == which;
}

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
    const std::string csv = dir.file("out.csv");
    const std::string target = "127.0.0.1:" + std::to_string(receiver.port());
    const std::string model = dir.file("m.txt");
    const std::string ini = dir.file("v.ini");
    const char* argv[] = {"velmora",  "track", "synthetic", "--model", model.c_str(), "--options", ini.c_str(),
                          "--frames", "40",    "--csv",     csv.c_str(), "--osc",   target.c_str()};
    ASSERT_EQ(batch_main(static_cast<int>(std::size(argv)), const_cast<char**>(argv)), 0);
    ASSERT_TRUE(receiver.wait_for([](const std::vector<Message>& m) { return !m.empty() && is_edge(m.back(), "stop"); }))
        << "the take's stop comes last";

    std::vector<std::vector<std::string>> rows;
    std::stringstream text(testing_support::read_whole_file(csv));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        rows.push_back(split(line, ','));
    }
    ASSERT_EQ(rows.size(), 41u);
    const std::vector<std::string>& header = rows[0];
    const size_t per_node = 7;
    const size_t nodes = (header.size() - 2) / per_node;
    ASSERT_EQ(nodes, 3u);

    const std::vector<Message> got = receiver.messages();
    ASSERT_EQ(got.size(), 2 + 40 * (1 + nodes));
    EXPECT_TRUE(is_edge(got.front(), "start") && got.front().args[1].number == 0);
    EXPECT_EQ(got.back().args[1].number, 39);
    size_t at = 1;
    int tracked = 0;
    for (size_t f = 1; f < rows.size(); ++f) {
        const std::vector<std::string>& row = rows[f];
        const Message& frame = got[at++];
        ASSERT_EQ(frame.path, "/velmora/frame");
        ASSERT_EQ(frame.types, "id");
        EXPECT_TRUE(frame.immediate);
        EXPECT_EQ(frame.args[0].number, std::stod(row[0]));
        EXPECT_NEAR(frame.args[1].number * 1000.0, std::stod(row[1]), 0.0005) << "frame " << row[0];
        for (size_t n = 0; n < nodes; ++n) {
            const Message& node = got[at++];
            ASSERT_EQ(node.path, "/velmora/node");
            ASSERT_EQ(node.types, "ifffs");
            EXPECT_EQ(node.bundle, frame.bundle) << "one bundle per frame";
            EXPECT_EQ(node.args[0].number, static_cast<double>(n));
            const std::string* cells = &row[2 + n * per_node];  // x, y, xs, ys, value, angle_deg, state
            // Where the node has a centre, the stream sends it; else the position.
            const double x = cells[2].empty() ? std::stod(cells[0]) : std::stod(cells[2]);
            const double y = cells[3].empty() ? std::stod(cells[1]) : std::stod(cells[3]);
            // The synthetic camera's picture is the frame; node rows count
            // from its foot (the frame is flipped), picture rows from its top.
            EXPECT_NEAR(node.args[1].number, x, 0.0006) << "frame " << row[0] << " node " << n;
            EXPECT_NEAR(node.args[2].number, 359.0 - y, 0.0006) << "frame " << row[0] << " node " << n;
            if (cells[5].empty()) {
                EXPECT_TRUE(std::isnan(node.args[3].number));
            } else {
                EXPECT_NEAR(node.args[3].number, std::stod(cells[5]), 0.0006) << "frame " << row[0] << " node " << n;
            }
            EXPECT_EQ(node.args[4].text, cells[6]);
            tracked += cells[6] == "tracked" && !cells[2].empty();
        }
    }
    EXPECT_GT(tracked, 60) << "the run followed the squares, with sub-pixel centres";
}

namespace {

// Ten nodes with a centre each; nodes 3 and 7 have no angle, the odd ones a
// place in the calibrated plane, and only the first five a known source position.
FrameMeasure ten_nodes(int64_t number) {
    FrameMeasure f;
    f.frame = number;
    f.time_ms = 40.0 * static_cast<double>(number);
    for (int n = 0; n < 10; ++n) {
        NodeMeasure m;
        m.node = ModelNode{10 * n, 5 * n, 255};
        m.state = NodeState::tracked;
        m.x = 10.25 * n;
        m.y = 5.5 * n;
        m.angle_deg = n == 3 || n == 7 ? std::nan("") : 3.0 * n - 12.0;
        if (n < 5) {
            m.u = 2.0 * m.x;
            m.v = 1000.0 - m.y;
        }
        if (n % 2 == 1) {
            m.world_x = 0.01 * n;
            m.world_y = -0.02 * n;
        }
        f.nodes.push_back(m);
    }
    return f;
}

}  // namespace

TEST(OscBundles, AFrameTooLargeForOneDatagramGoesInSeveralEachBeginningWithTheFrame) {
    const FrameMeasure frame = ten_nodes(7);
    std::vector<Datagram> datagrams;
    const size_t made = frame_bundles(frame, datagrams, 300);
    ASSERT_GT(made, 2u);
    osc_test::Decoder decoder;
    for (size_t i = 0; i < made; ++i) {
        EXPECT_LE(datagrams[i].size(), 300u);
        decoder.read(datagrams[i]);
    }
    const std::vector<Message> got = decoder.messages();
    int bundle = -1;
    int next_node = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const Message& m = got[i];
        EXPECT_TRUE(m.immediate);
        if (m.bundle != bundle) {
            bundle = m.bundle;
            ASSERT_EQ(m.path, "/velmora/frame") << "bundle " << bundle;
            EXPECT_EQ(m.args[0].number, 7);
            EXPECT_EQ(m.args[1].number, 0.28);
            continue;
        }
        ASSERT_EQ(m.path, "/velmora/node");
        const int n = next_node++;
        EXPECT_EQ(m.args[0].number, n);
        const NodeMeasure& want = frame.nodes[static_cast<size_t>(n)];
        EXPECT_FLOAT_EQ(static_cast<float>(m.args[1].number), static_cast<float>(n < 5 ? want.u : want.x)) << n;
        EXPECT_FLOAT_EQ(static_cast<float>(m.args[2].number), static_cast<float>(n < 5 ? want.v : want.y)) << n;
        EXPECT_EQ(std::isnan(m.args[3].number), n == 3 || n == 7) << n;
        EXPECT_EQ(m.args[4].text, "tracked");
        const bool world = i + 1 < got.size() && got[i + 1].path == "/velmora/node/world";
        ASSERT_EQ(world, n % 2 == 1) << "node " << n << " and its place in the plane";
        if (world) {
            const Message& w = got[++i];
            EXPECT_EQ(w.bundle, bundle) << "a node and its place stay together";
            EXPECT_EQ(w.types, "iff");
            EXPECT_EQ(w.args[0].number, n);
            EXPECT_FLOAT_EQ(static_cast<float>(w.args[1].number), static_cast<float>(want.world_x));
            EXPECT_FLOAT_EQ(static_cast<float>(w.args[2].number), static_cast<float>(want.world_y));
        }
    }
    EXPECT_EQ(next_node, 10);
    EXPECT_EQ(bundle + 1, static_cast<int>(made));
    EXPECT_EQ(frame_bundles(frame, datagrams), 1u) << "one datagram holds it";
}

TEST(OscStream, AFullRingDropsItsOldestFramesButNeverATakesEdge) {
    osc_test::Receiver receiver;
    ASSERT_TRUE(receiver.listening());
    OscStream stream({"127.0.0.1", static_cast<uint16_t>(receiver.port())}, 4);
    stream.take_edge(TakeEdge::start, 0);
    for (int64_t f = 0; f < 300; ++f) stream.take(ten_nodes(f));
    stream.take_edge(TakeEdge::stop, 299);
    stream.finish();
    const OscCounts counts = stream.counts();
    EXPECT_EQ(counts.sent + counts.dropped + counts.unsent, 300);
    ASSERT_TRUE(receiver.wait_for([](const std::vector<Message>& m) { return !m.empty() && is_edge(m.back(), "stop"); }));
    const std::vector<Message> got = receiver.messages();
    EXPECT_TRUE(is_edge(got.front(), "start"));
    std::vector<double> frames;
    for (const Message& m : got)
        if (m.path == "/velmora/frame") frames.push_back(m.args[0].number);
    EXPECT_EQ(static_cast<int64_t>(frames.size()), counts.sent);
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()) &&
                std::adjacent_find(frames.begin(), frames.end()) == frames.end());
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), 299) << "the newest frame is never the one dropped";
}

TEST(OscStream, TargetsAreHostColonPortWithIpv6InBrackets) {
    struct Case {
        const char* text;
        const char* host;  // null: refused
        int port;
    };
    const Case cases[] = {{"localhost:9000", "localhost", 9000}, {"[::1]:57120", "::1", 57120},
                          {"10.0.0.2:1", "10.0.0.2", 1},          {"h:65535", "h", 65535},
                          {"localhost", nullptr, 0},              {"localhost:", nullptr, 0},
                          {":9000", nullptr, 0},                  {"h:0", nullptr, 0},
                          {"h:65536", nullptr, 0},                {"h:90x", nullptr, 0},
                          {"h:-9", nullptr, 0},                   {"::1:9000", nullptr, 0},
                          {"[::1]9000", nullptr, 0},              {"a b:9000", nullptr, 0}};
    for (const Case& c : cases) {
        OscTarget t;
        std::string error;
        EXPECT_EQ(parse_osc_target(c.text, t, error), c.host != nullptr) << c.text;
        if (c.host == nullptr) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(t.host, c.host);
        EXPECT_EQ(t.port, c.port);
        EXPECT_EQ(t.text(), c.text);
    }
}

// A target the stream cannot reach: frames are fed, as a cycle would, until
// the stream has something to say.
class UnreachableTarget : public ::testing::Test {
protected:
    // Feeds frames until `done` holds, one a millisecond; false after 30 s.
    template <class Done>
    bool feed_until(OscStream& stream, Done done) {
        for (int i = 0; i < 30000; ++i) {
            stream.take(ten_nodes(next_++));
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // Notices gathered so far.
    std::vector<std::string> said(OscStream& stream) {
        for (std::string& line : stream.notices()) said_.push_back(std::move(line));
        return said_;
    }

    int64_t next_ = 0;
    std::vector<std::string> said_;
};

// A UDP port of the loopback that nothing listens on, for now.
uint16_t free_port() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

TEST_F(UnreachableTarget, ANameThatDoesNotResolveIsSaidOnceAndTriedAgain) {
    OscStream stream({"nothing.invalid", 9000});
    ASSERT_TRUE(feed_until(stream, [&] { return stream.has_notices(); }));
    const auto before = std::chrono::steady_clock::now();
    // Past the next try, a second later.
    feed_until(stream, [&] { return std::chrono::steady_clock::now() - before > std::chrono::milliseconds(1500); });
    const std::vector<std::string> lines = said(stream);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("OSC: cannot find host \"nothing.invalid\"", 0), 0u) << lines[0];
    EXPECT_EQ(stream.counts().sent, 0);
    EXPECT_GT(stream.counts().unsent, 0);
}

TEST_F(UnreachableTarget, ARefusedPortIsSaidOnceAndAReceiverThatComesLaterGetsTheStream) {
    const uint16_t port = free_port();
    OscStream stream({"127.0.0.1", port});
    ASSERT_TRUE(feed_until(stream, [&] { return stream.has_notices(); }));
    feed_until(stream, [&] { return next_ > 200; });
    std::vector<std::string> lines = said(stream);
    ASSERT_EQ(lines.size(), 1u) << "said once, however often refused";
    EXPECT_EQ(lines[0], "OSC: nothing receives on 127.0.0.1:" + std::to_string(port) +
                            " (connection refused); still sending");

    osc_test::Receiver receiver(std::to_string(port).c_str());
    ASSERT_TRUE(receiver.listening());
    ASSERT_TRUE(feed_until(stream, [&] { return said(stream).size() == 2; }));
    EXPECT_EQ(said_[1], "OSC: sending to 127.0.0.1:" + std::to_string(port) + " again");
    EXPECT_FALSE(receiver.messages().empty());
}
