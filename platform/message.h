#pragma once
// Messages to the operator from code that may run on any thread. The text goes
// to standard error at once; where a GUI runs, it registers a sink that shows
// the message on the GUI thread as well. Neither ever blocks the caller: the
// main thread may be waiting in a join for the very thread that reports.

namespace platform {

// Called with the caption and text of each message, on the reporting thread.
// A sink must return at once; it may only hand the message over to its own
// thread.
using MessageSink = void (*)(const char* caption, const char* text);

// Writes "\n<caption>: <text>" to standard error as one write, then passes
// the message to the sink, if one is registered.
void show_message(const char* caption, const char* text);

// Passes the message to the sink only: for a failure the caller has already
// written to standard error in the log's own words, which must not appear
// there twice.
void show_logged_message(const char* caption, const char* text);

// Registers the sink (nullptr removes it). The GUI sets it once at start-up.
void set_message_sink(MessageSink sink);

}  // namespace platform
