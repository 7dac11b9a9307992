#pragma once
// Every analysed frame to another program while it happens: OSC bundles over
// UDP (osc_bundle.h gives the address space). Whoever makes the frames (the
// window's cycle, the batch run) only copies each into a small ring kept for
// its storage; a sender thread of the stream's own resolves the host,
// serialises and sends. Nothing on the producer's side waits for the network
// or for a name server: a full ring drops its oldest frame, counted.
//
// The socket is connected, so a port where nothing listens is heard of (the
// kernel passes the ICMP answer on to the next send). A name that does not
// resolve, an unreachable host or a refused port is said once among the
// notices, and the stream goes on trying: sends go on, and a target that
// could not be reached is resolved and connected again every second.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "measure/frame_sink.h"

struct OscTarget {
    std::string host;  // a name, an IPv4 address or an IPv6 address (without brackets)
    uint16_t port = 0;
    // "host:port", with an IPv6 address in brackets.
    std::string text() const;
};

// "HOST:PORT", the port from 1 to 65535, an IPv6 address in brackets
// ("[::1]:9000"). False, with a reason of a few words, for anything else.
bool parse_osc_target(std::string_view text, OscTarget& target, std::string& error);

// What became of the frames the stream was given.
struct OscCounts {
    int64_t sent = 0;     // every bundle of the frame left
    int64_t dropped = 0;  // pushed out of the full ring before they could be sent
    int64_t unsent = 0;   // taken while the target could not be reached, or a send failed
};

class OscStream final : public FrameSink {
public:
    // Starts the sender thread; nothing is resolved before it runs.
    explicit OscStream(const OscTarget& target, size_t ring_frames = 64);
    // Stops at once, dropping what is queued. Never waits for a name server:
    // a sender still resolving is left to end by itself.
    ~OscStream() override;
    OscStream(const OscStream&) = delete;
    OscStream& operator=(const OscStream&) = delete;

    // Copies the frame into the ring and wakes the sender; never waits on it.
    // Always true: a stream that cannot send goes on trying.
    bool take(const FrameMeasure& frame) override;
    // Queued between the frames around it; never dropped for frames.
    void take_edge(TakeEdge edge, int64_t frame) override;
    // Sends what is queued, then ends the sender; a note of the frames that
    // were not sent joins the notices. True.
    bool finish() override;

    // What the operator is to hear since the last call, one line each: a
    // failure when it begins, and the stream sending again when it ends.
    std::vector<std::string> notices();
    // Whether notices() has anything; cheap enough for every cycle.
    bool has_notices() const;
    OscCounts counts() const;
    const OscTarget& target() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread sender_;
};
