#pragma once
// The far end of the stream in a test: liblo reads the datagrams, so the tests
// see what any OSC program would. Every message is kept with its arguments
// and the bundle it came in.

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace osc_test {

struct Message {
    int bundle = -1;         // counted from 0
    bool immediate = false;  // its bundle's timetag
    std::string path;
    std::string types;
    std::vector<double> numbers;  // i, f and d arguments, in order
    std::string text;             // the s argument
};

class Collector {
public:
    std::vector<Message> messages() {
        const std::lock_guard lock(mutex_);
        return messages_;
    }
    // False when `done` does not hold within 30 s.
    bool wait_for(const std::function<bool(const std::vector<Message>&)>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return done(messages_); });
    }

protected:
    void attach(lo_server s) {
        lo_server_add_method(s, nullptr, nullptr, &Collector::on_message, this);
        lo_server_add_bundle_handlers(s, &Collector::on_bundle, [](void*) { return 0; }, this);
    }

private:
    template <class T>
    static double copied(const char* bytes) {
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return static_cast<double>(value);
    }
    static int on_bundle(lo_timetag tt, void* self) {
        auto& c = *static_cast<Collector*>(self);
        const std::lock_guard lock(c.mutex_);
        ++c.bundle_;
        c.immediate_ = tt.sec == 0 && tt.frac == 1;
        return 0;
    }
    static int on_message(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self) {
        auto& c = *static_cast<Collector*>(self);
        Message m{-1, false, path, types, {}, {}};
        // liblo's arguments are aligned to 4 bytes only, less than its union
        // claims: they are copied out, not read through it.
        for (int i = 0; i < argc; ++i) {
            const auto* bytes = reinterpret_cast<const char*>(argv[i]);
            if (types[i] == 's') m.text = bytes;
            if (types[i] == 'i') m.numbers.push_back(copied<int32_t>(bytes));
            if (types[i] == 'f') m.numbers.push_back(copied<float>(bytes));
            if (types[i] == 'd') m.numbers.push_back(copied<double>(bytes));
        }
        {
            const std::lock_guard lock(c.mutex_);
            m.bundle = c.bundle_;
            m.immediate = c.immediate_;
            c.messages_.push_back(std::move(m));
        }
        c.changed_.notify_all();
        return 0;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    int bundle_ = -1;
    bool immediate_ = false;
};

// A liblo server thread on a UDP port of the loopback: any free one, or `port`.
class Receiver : public Collector {
public:
    explicit Receiver(const char* port = nullptr) : thread_(lo_server_thread_new(port, nullptr)) {
        if (thread_ == nullptr) return;
        attach(lo_server_thread_get_server(thread_));
        lo_server_thread_start(thread_);
    }
    ~Receiver() {
        if (thread_ != nullptr) lo_server_thread_free(thread_);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    bool listening() const { return thread_ != nullptr; }
    uint16_t port() const { return static_cast<uint16_t>(lo_server_thread_get_port(thread_)); }

private:
    lo_server_thread thread_;
};

// Datagrams read without a network: liblo dispatches the bytes as they are.
class Decoder : public Collector {
public:
    Decoder() : server_(lo_server_new(nullptr, nullptr)) { attach(server_); }
    ~Decoder() { lo_server_free(server_); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void read(std::vector<char> datagram) {
        EXPECT_GT(lo_server_dispatch_data(server_, datagram.data(), datagram.size()), 0) << "not OSC";
    }

private:
    lo_server server_;
};

}  // namespace osc_test
