#pragma once
// The far end of the stream in a test: liblo reads the datagrams, so what the
// tests see is what any OSC program would see. Every message is kept with its
// arguments and the bundle it came in.

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

struct Arg {
    char type = 0;
    double number = 0;  // i, f, d
    std::string text;   // s
};

struct Message {
    int bundle = -1;          // which bundle, counted from 0; -1 outside one
    bool immediate = false;   // its bundle's timetag said "at once"
    std::string path;
    std::string types;
    std::vector<Arg> args;
};

// Collects messages from liblo's handlers; shared by both receivers below.
class Collector {
public:
    std::vector<Message> messages() {
        const std::lock_guard lock(mutex_);
        return messages_;
    }
    // Waits until `done` holds for the messages so far; false after `seconds`.
    bool wait_for(const std::function<bool(const std::vector<Message>&)>& done, double seconds = 30) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return done(messages_); });
    }

protected:
    void attach(lo_server s) {
        lo_server_add_method(s, nullptr, nullptr, &Collector::on_message, this);
        lo_server_add_bundle_handlers(s, &Collector::on_bundle_start, &Collector::on_bundle_end, this);
    }

private:
    static int on_bundle_start(lo_timetag tt, void* self) {
        auto& c = *static_cast<Collector*>(self);
        const std::lock_guard lock(c.mutex_);
        c.in_bundle_ = c.bundles_++;
        c.immediate_ = tt.sec == 0 && tt.frac == 1;
        return 0;
    }
    static int on_bundle_end(void* self) {
        auto& c = *static_cast<Collector*>(self);
        const std::lock_guard lock(c.mutex_);
        c.in_bundle_ = -1;
        return 0;
    }
    static int on_message(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self) {
        auto& c = *static_cast<Collector*>(self);
        Message m{-1, false, path, types, {}};
        for (int i = 0; i < argc; ++i) {
            Arg a{types[i], 0, {}};
            switch (types[i]) {
                case 'i': a.number = argv[i]->i; break;
                case 'f': a.number = argv[i]->f; break;
                case 'd': a.number = argv[i]->d; break;
                case 's': a.text = &argv[i]->s; break;
                default: break;
            }
            m.args.push_back(a);
        }
        {
            const std::lock_guard lock(c.mutex_);
            m.bundle = c.in_bundle_;
            m.immediate = c.immediate_;
            c.messages_.push_back(std::move(m));
        }
        c.changed_.notify_all();
        return 0;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    int bundles_ = 0;
    int in_bundle_ = -1;
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
        if (thread_ == nullptr) return;
        lo_server_thread_stop(thread_);
        lo_server_thread_free(thread_);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    bool listening() const { return thread_ != nullptr; }
    int port() const { return lo_server_thread_get_port(thread_); }

private:
    lo_server_thread thread_;
};

// Datagrams read without a network: liblo dispatches the bytes directly.
class Decoder : public Collector {
public:
    Decoder() : server_(lo_server_new(nullptr, nullptr)) { attach(server_); }
    ~Decoder() { lo_server_free(server_); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void read(const std::vector<char>& datagram) {
        std::vector<char> copy = datagram;
        EXPECT_GT(lo_server_dispatch_data(server_, copy.data(), copy.size()), 0) << "not an OSC packet";
    }

private:
    lo_server server_;
};

}  // namespace osc_test
