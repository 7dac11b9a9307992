#include "platform/message.h"

#include <atomic>
#include <iostream>
#include <string>

namespace platform {
namespace {

std::atomic<MessageSink> g_sink{nullptr};

}  // namespace

void show_message(const char* caption, const char* text) {
    // One insertion, so a line of the main thread's log cannot land inside it.
    std::string line = "\n";
    line.append(caption).append(": ").append(text);
    std::cerr << line << std::flush;
    show_logged_message(caption, text);
}

void show_logged_message(const char* caption, const char* text) {
    if (MessageSink sink = g_sink.load()) sink(caption, text);
}

void set_message_sink(MessageSink sink) { g_sink.store(sink); }

}  // namespace platform
