// A message from the render thread reaches the operator: on standard error at
// once, and as an alert on the GUI thread, without the reporting thread ever
// waiting for the GUI (the main thread holds the GUI lock, and may be joining
// that very thread).

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "gui/control_panel.h"
#include "loop/app_state.h"
#include "platform/message.h"

// Last: X11's macros would otherwise reach the test framework's headers.
#include <FL/x.H>

namespace {

using namespace std::chrono_literals;

// Set while the alert is up: its window label and its text's presence.
std::string g_alert_title;

void close_alert(void*) {
    // The modal alert is FLTK's current modal window; hiding it ends its loop.
    if (Fl_Window* alert = Fl::modal()) {
        g_alert_title = alert->label() != nullptr ? alert->label() : "";
        alert->hide();
    }
}

TEST(OperatorMessage, ReachesTheGuiAsAnAlertWithoutBlockingTheReporter) {
    AppState app;
    build_control_panel(app);  // registers the GUI's message sink and takes the GUI lock

    std::ostringstream err;
    std::streambuf* const old_err = std::cerr.rdbuf(err.rdbuf());
    // The main thread holds the GUI lock and runs no event loop while the
    // reporter works, as in a join: the reporter must finish on its own.
    std::thread reporter([] { platform::show_message("ERROR", "Window Creation Error."); });
    reporter.join();
    std::cerr.rdbuf(old_err);
    EXPECT_EQ(err.str(), "\nERROR: Window Creation Error.");

    // The next event pass shows the alert; a second awake callback, queued
    // from another thread once the alert is up, closes it again.
    std::atomic<bool> done{false};
    std::thread closer([&] {
        while (!done.load()) {
            Fl::awake(&close_alert, nullptr);
            std::this_thread::sleep_for(50ms);
        }
    });
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (g_alert_title.empty() && std::chrono::steady_clock::now() < end) Fl::wait(0.05);
    done.store(true);
    closer.join();
    EXPECT_EQ(g_alert_title, "ERROR");

    // Leave the display as it was found for the tests after this one in the
    // same process: FLTK's connection goes, and every window of it with it.
    while (Fl_Window* w = Fl::first_window()) w->hide();
    fl_close_display();
    fl_display = nullptr;
}

}  // namespace
