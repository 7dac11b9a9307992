#include "gui/osc_controls.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Int_Input.H>
#include <FL/Fl_Window.H>

#include <iostream>
#include <memory>
#include <string>

#include "gui/control_panel.h"
#include "gui/operator_aids.h"
#include "loop/app_state.h"
#include "stream/osc_stream.h"

struct OscControl {
    MainLoop* loop = nullptr;  // set by connect_osc
    std::unique_ptr<OscStream> stream;
};

namespace {

constexpr char kHostKey[] = "osc.host";
constexpr char kPortKey[] = "osc.port";
constexpr char kSendKey[] = "osc.send";
constexpr char kDefaultHost[] = "127.0.0.1";
constexpr int32_t kDefaultPort = 9000;

void say(ControlPanel& p, const std::string& text) {
    p.osc_note->copy_label(text.c_str());
    p.osc_note->redraw();
}

void stop_stream(ControlPanel& p) {
    OscControl& c = *p.osc;
    if (c.loop != nullptr) c.loop->stream = nullptr;
    c.stream.reset();
}

// Starts a stream to the host and port shown, in place of any before; a
// target that cannot be one leaves "send" off, said in the note.
void start_stream(ControlPanel& p) {
    stop_stream(p);
    // An IPv6 address goes in without its brackets.
    std::string host = p.osc_host_input->value();
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    OscTarget target;
    std::string why;
    if (!parse_osc_target(host + ":" + p.osc_port_input->value(), target, why)) {
        p.osc_send_check->value(0);
        say(p, "not sending: " + why);
        return;
    }
    OscControl& c = *p.osc;
    c.stream = std::make_unique<OscStream>(target);
    if (c.loop != nullptr) c.loop->stream = c.stream.get();
    say(p, "sending to " + target.text());
}

void target_changed(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    app_state.extras.set(kHostKey, p.osc_host_input->value());
    app_state.extras.set(kPortKey, p.osc_port_input->value());
    if (p.osc_send_check->value() == 0) return;
    start_stream(p);
    // A target that cannot be one switched "send" off.
    if (p.osc_send_check->value() == 0) app_state.extras.set_bool(kSendKey, false);
}

void send_switched(Fl_Widget* widget, void*) {
    ControlPanel& p = panel_of(widget);
    if (p.osc_send_check->value() != 0) {
        start_stream(p);
    } else {
        stop_stream(p);
        say(p, "off");
    }
    app_state.extras.set_bool(kSendKey, p.osc_send_check->value() != 0);
}

}  // namespace

void build_osc_controls(ControlPanel& p) {
    // One for the process, as the panel is; a panel built again starts it afresh.
    static OscControl control;
    control.stream.reset();
    control.loop = nullptr;
    p.osc = &control;
    Fl_Group* page = p.system_view->parent();
    page->begin();
    auto* window = new Fl_Window(822, 500, 408, 93);
    window->box(FL_FLAT_BOX);
    auto* group = new Fl_Group(6, 22, 396, 66, "OSC");
    group->box(FL_DOWN_BOX);
    group->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    p.osc_host_input = new Fl_Input(52, 30, 174, 25, "host:");
    p.osc_host_input->tooltip("the computer that receives the stream: a name or an address");
    p.osc_port_input = new Fl_Int_Input(270, 30, 60, 25, "port:");
    p.osc_port_input->maximum_size(5);
    p.osc_port_input->tooltip("the UDP port the receiving program listens on, 1 to 65535");
    for (Fl_Input* input : {p.osc_host_input, static_cast<Fl_Input*>(p.osc_port_input)}) {
        input->when(FL_WHEN_RELEASE | FL_WHEN_ENTER_KEY);
        input->callback(target_changed);
    }
    p.osc_send_check = new Fl_Check_Button(338, 30, 60, 25, "send");
    p.osc_send_check->tooltip("sends every analysed frame as OSC bundles over UDP");
    p.osc_send_check->callback(send_switched);
    p.osc_note = new Fl_Box(12, 58, 384, 26, "off");
    p.osc_note->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    p.osc_note->labelsize(12);
    group->end();
    window->end();
    page->end();
}

void connect_osc(ControlPanel& p, MainLoop& loop) {
    p.osc->loop = &loop;
    const ExtraSettings& extras = app_state.extras;
    p.osc_host_input->value(extras.get(kHostKey, kDefaultHost).c_str());
    p.osc_port_input->value(extras.get(kPortKey, std::to_string(kDefaultPort)).c_str());
    p.osc_send_check->value(extras.get_bool(kSendKey, false) ? 1 : 0);
    if (p.osc_send_check->value() != 0) start_stream(p);
}

void osc_after_cycle(ControlPanel& p) {
    if (p.osc == nullptr || p.osc->stream == nullptr || !p.osc->stream->has_notices()) return;
    for (const std::string& line : p.osc->stream->notices()) {
        show_status(p, line);
        say(p, line);
        std::cerr << "\n" << line << std::flush;
    }
}

void close_osc(ControlPanel& p) {
    if (p.osc != nullptr) stop_stream(p);
}
