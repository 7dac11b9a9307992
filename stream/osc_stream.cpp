#include "stream/osc_stream.h"

#include <netdb.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "stream/osc_bundle.h"

namespace {

using Clock = std::chrono::steady_clock;
// How long a target that could not be reached rests before the next
// resolve and connect, and how long sends must go well after a failure
// before the stream says it sends again.
constexpr auto kRetry = std::chrono::seconds(1);
constexpr auto kRecovered = std::chrono::seconds(1);
// Take edges waiting beside a stalled ring; far more than any operator clicks.
constexpr size_t kMaxEdges = 64;

enum class Failure { none, unresolved, unreachable, refused };

}  // namespace

std::string OscTarget::text() const {
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return shown + ":" + std::to_string(port);
}

bool parse_osc_target(std::string_view text, OscTarget& target, std::string& error) {
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find("]:");
        if (close == std::string_view::npos) {
            error = "needs [ADDRESS]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos || text.find(':') != colon) {
            error = "needs HOST:PORT";
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty()) {
        error = "needs a host before the port";
        return false;
    }
    for (const char c : host) {
        if (c <= ' ' || c == '/') {
            error = "needs a host name without spaces";
            return false;
        }
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value < 1 ||
        value > 65535) {
        error = "needs a port from 1 to 65535";
        return false;
    }
    target.host = host;
    target.port = static_cast<uint16_t>(value);
    return true;
}

struct OscStream::Shared {
    struct Edge {
        int64_t after = 0;  // frames that were put in the ring before it
        TakeEdge edge = TakeEdge::start;
        int64_t frame = 0;
    };

    Shared(const OscTarget& t, size_t frames) : target(t), ring(frames) {}

    const OscTarget target;

    std::mutex mutex;
    std::condition_variable wake;
    // Under `mutex`: the ring of frames, oldest at `head`; the take edges in
    // their place among them; what the sender is told to do.
    std::vector<FrameMeasure> ring;
    size_t head = 0;
    size_t count = 0;
    int64_t pushed = 0;  // frames ever put in the ring
    int64_t taken = 0;   // frames ever taken off it, dropped ones included
    std::deque<Edge> edges;
    bool stopping = false;
    bool draining = false;   // stopping sends what is queued first
    bool resolving = false;  // the sender waits on the name server
    std::vector<std::string> told;
    std::atomic<bool> has_told{false};

    std::atomic<int64_t> sent{0};
    std::atomic<int64_t> dropped{0};
    std::atomic<int64_t> unsent{0};

    // The sender thread's own: the socket and what was last said of it.
    int socket = -1;
    Clock::time_point next_try{};
    Failure said = Failure::none;
    Clock::time_point last_failure{};

    ~Shared() {
        if (socket >= 0) ::close(socket);
    }

    void tell(std::string line) {
        const std::lock_guard lock(mutex);
        told.push_back(std::move(line));
        has_told.store(true, std::memory_order_release);
    }

    void failed(Failure kind, const std::string& line) {
        last_failure = Clock::now();
        if (said == kind) return;
        said = kind;
        tell(line);
    }

    void went_well() {
        if (said != Failure::none && Clock::now() - last_failure >= kRecovered) {
            said = Failure::none;
            tell("OSC: sending to " + target.text() + " again");
        }
    }

    void drop_socket() {
        if (socket >= 0) ::close(socket);
        socket = -1;
        next_try = Clock::now() + kRetry;
    }

    // A connected socket, resolving and connecting when the last try is a
    // second old. False while the target cannot be reached, or when the
    // stream stops before the name server is asked.
    bool connected() {
        if (socket >= 0) return true;
        if (Clock::now() < next_try) return false;
        {
            const std::lock_guard lock(mutex);
            if (stopping && !draining) return false;
            resolving = true;
        }
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        const int status = ::getaddrinfo(target.host.c_str(), std::to_string(target.port).c_str(), &hints, &found);
        {
            const std::lock_guard lock(mutex);
            resolving = false;
        }
        if (status != 0) {
            next_try = Clock::now() + kRetry;
            failed(Failure::unresolved, "OSC: cannot find host \"" + target.host + "\" (" + ::gai_strerror(status) +
                                            "); still trying");
            return false;
        }
        int error = 0;
        for (const addrinfo* a = found; a != nullptr && socket < 0; a = a->ai_next) {
            socket = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
            if (socket < 0) {
                error = errno;
            } else if (::connect(socket, a->ai_addr, a->ai_addrlen) != 0) {
                error = errno;
                ::close(socket);
                socket = -1;
            }
        }
        ::freeaddrinfo(found);
        if (socket < 0) {
            next_try = Clock::now() + kRetry;
            failed(Failure::unreachable,
                   "OSC: cannot reach " + target.text() + " (" + std::strerror(error) + "); still trying");
            return false;
        }
        return true;
    }

    bool send(const Datagram& d) {
        if (::send(socket, d.data(), d.size(), MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(d.size())) {
            went_well();
            return true;
        }
        const int error = errno;
        if (error == ECONNREFUSED) {
            // The answer to an earlier datagram; the socket stays as it is.
            failed(Failure::refused, "OSC: nothing receives on " + target.text() + " (connection refused); still sending");
        } else if (error != EAGAIN && error != EWOULDBLOCK && error != ENOBUFS) {
            // A full socket buffer loses one datagram; anything else asks for a new route.
            drop_socket();
            failed(Failure::unreachable,
                   "OSC: cannot reach " + target.text() + " (" + std::strerror(error) + "); still trying");
        }
        return false;
    }

    void send_frame(const FrameMeasure& frame, std::vector<Datagram>& bundles) {
        if (!connected()) {
            unsent.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const size_t n = frame_bundles(frame, bundles);
        bool all = true;
        for (size_t i = 0; i < n && socket >= 0; ++i) all = send(bundles[i]) && all;
        (all && socket >= 0 ? sent : unsent).fetch_add(1, std::memory_order_relaxed);
    }

    void send_edge(const Edge& e, Datagram& bundle) {
        if (!connected()) return;
        take_edge_bundle(e.edge, e.frame, bundle);
        send(bundle);
    }

    // The sender thread: frames and edges in the order they were given.
    void run() {
        FrameMeasure frame;
        std::vector<Datagram> bundles;
        Datagram edge_bundle;
        for (;;) {
            Edge edge;
            bool have_edge = false;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stopping || count > 0 || !edges.empty(); });
                if (stopping && !draining) break;
                if (!edges.empty() && edges.front().after <= taken) {
                    edge = edges.front();
                    edges.pop_front();
                    have_edge = true;
                } else if (count > 0) {
                    // The slot keeps the storage of the frame sent before.
                    std::swap(frame, ring[head]);
                    head = (head + 1) % ring.size();
                    --count;
                    ++taken;
                } else {
                    break;  // stopping, and everything is sent
                }
            }
            if (have_edge) {
                send_edge(edge, edge_bundle);
            } else {
                send_frame(frame, bundles);
            }
        }
    }
};

OscStream::OscStream(const OscTarget& target, size_t ring_frames)
    : shared_(std::make_shared<Shared>(target, ring_frames > 0 ? ring_frames : 1)) {
    sender_ = std::thread([shared = shared_] {
        // A batch thread never preempts the one it was woken by: on a busy
        // machine the cycle finishes its frame before the sender takes the core.
        const sched_param normal{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &normal);
        shared->run();
    });
}

OscStream::~OscStream() {
    if (!sender_.joinable()) return;
    bool resolving = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->draining = false;
        resolving = shared_->resolving;
    }
    shared_->wake.notify_one();
    // A name server may keep it for seconds; it holds its own share of the state.
    if (resolving) {
        sender_.detach();
    } else {
        sender_.join();
    }
}

bool OscStream::take(const FrameMeasure& frame) {
    Shared& s = *shared_;
    {
        const std::lock_guard lock(s.mutex);
        if (s.count == s.ring.size()) {
            s.head = (s.head + 1) % s.ring.size();
            --s.count;
            ++s.taken;
            s.dropped.fetch_add(1, std::memory_order_relaxed);
        }
        FrameMeasure& slot = s.ring[(s.head + s.count) % s.ring.size()];
        slot.frame = frame.frame;
        slot.time_ms = frame.time_ms;
        slot.nodes.assign(frame.nodes.begin(), frame.nodes.end());
        ++s.count;
        ++s.pushed;
    }
    s.wake.notify_one();
    return true;
}

void OscStream::take_edge(TakeEdge edge, int64_t frame) {
    Shared& s = *shared_;
    {
        const std::lock_guard lock(s.mutex);
        if (s.edges.size() >= kMaxEdges) s.edges.pop_front();
        s.edges.push_back({s.pushed, edge, frame});
    }
    s.wake.notify_one();
}

bool OscStream::finish() {
    if (!sender_.joinable()) return true;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->draining = true;
    }
    shared_->wake.notify_one();
    sender_.join();
    const OscCounts c = counts();
    const int64_t lost = c.dropped + c.unsent;
    if (lost > 0) {
        shared_->tell("OSC: " + std::to_string(lost) + " of " + std::to_string(lost + c.sent) +
                      " frames were not sent to " + shared_->target.text());
    }
    return true;
}

std::vector<std::string> OscStream::notices() {
    std::vector<std::string> out;
    const std::lock_guard lock(shared_->mutex);
    out.swap(shared_->told);
    shared_->has_told.store(false, std::memory_order_relaxed);
    return out;
}

bool OscStream::has_notices() const { return shared_->has_told.load(std::memory_order_acquire); }

OscCounts OscStream::counts() const {
    return {shared_->sent.load(std::memory_order_relaxed), shared_->dropped.load(std::memory_order_relaxed),
            shared_->unsent.load(std::memory_order_relaxed)};
}

const OscTarget& OscStream::target() const { return shared_->target; }
