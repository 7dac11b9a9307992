#include "gui/source_page.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/number_text.h"
#include "gui/camera_modes.h"
#include "gui/control_panel.h"
#include "gui/file_dialog.h"
#include "gui/operator_aids.h"
#include "gui/panel_callbacks.h"
#include "platform/message.h"
#include "platform/timer.h"
#include "video/camera_source.h"
#include "video/v4l2.h"
#include "video/video_source.h"

namespace {

constexpr char kCaption[] = "video source";
constexpr char kSourceKey[] = "source";
constexpr char kRateKey[] = "source.fps";  // an image sequence's rate, kept with the source
constexpr double kStatusSeconds = 0.25;
constexpr char kBackTip[] = "one frame back";
constexpr char kNoSeekTip[] =
    "this file carries no time stamps to find a frame by (a raw H.264 or similar stream): "
    "\"|<\" plays it again from the start";

}  // namespace

// What the page keeps besides its widgets.
struct SourceControl {
    AppState* app = nullptr;
    MainLoop* loop = nullptr;
    std::unique_ptr<CameraSource> source;  // null: the loop's own synthetic camera
    VideoSource* video = nullptr;          // `source` when it is decoded by FFmpeg
    std::unique_ptr<CameraControls> controls;
    std::vector<CaptureDevice> devices;
    std::string status;  // the text the status line shows
    double wait_seconds = 0;  // see source_wait_seconds()
    std::string position;     // the text the position box shows
    int64_t shown_index = -2; // the frame the seek slider and the position box show
    int64_t sought_index = -1; // a frame the seek slider was put on and the file has not shown yet
    int64_t sought_until_ms = 0; // the slider waits for it no longer than this
};

namespace {

// The device list is read again each time it is opened: cameras come and go.
class DeviceChoice final : public Fl_Choice {
public:
    DeviceChoice(int x, int y, int w, int h, const char* label) : Fl_Choice(x, y, w, h, label) {}
    int handle(int event) override {
        if (event == FL_PUSH) rescan();
        return Fl_Choice::handle(event);
    }
    void rescan();
};

// A menu label is parsed for submenus and shortcuts: '/', '\\', '&' and a
// leading '_' are escaped.
std::string menu_text(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '/' || c == '\\' || c == '_') out += '\\';
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

void DeviceChoice::rescan() {
    SourceControl* s = panel_of(this).source;
    if (s == nullptr) return;
    s->devices = list_capture_devices(system_v4l2_kernel());
    clear();
    for (const CaptureDevice& d : s->devices) add(menu_text(d.card + "  (" + d.path + ")").c_str());
    if (s->devices.empty()) {
        add("no camera found");
        mode(0, FL_MENU_INACTIVE);
    }
    value(-1);
}

void set_status(ControlPanel& p, const std::string& text) {
    if (p.source->status == text) return;
    p.source->status = text;
    p.source_status->copy_label(text.c_str());
    p.source_status->redraw();
}

std::string status_of(const SourceControl& s) {
    if (s.video != nullptr) return s.video->status_line();
    return "synthetic camera, 480 x 360";
}

// Files and sequences have no brightness, gain or shutter; a device's
// sliders are active where it has the control and lets it be set; the
// synthetic camera leaves them as they always were.
void show_controls(ControlPanel& p) {
    const CameraControls* c = p.source->controls.get();
    const bool file = p.source->video != nullptr && c == nullptr;
    Fl_Value_Slider* sliders[] = {p.brightness_slider, p.gain_slider, p.shutter_slider};
    const CameraControls::Which which[] = {CameraControls::brightness, CameraControls::gain,
                                           CameraControls::exposure};
    for (int i = 0; i < 3; ++i) {
        const bool usable = c != nullptr ? c->range(which[i]).present && c->range(which[i]).active : !file;
        if (usable) sliders[i]->activate();
        else sliders[i]->deactivate();
    }
}

void apply_control(ControlPanel& p, Fl_Value_Slider* slider, CameraControls::Which which) {
    if (p.source == nullptr || p.source->controls == nullptr) return;
    CameraControls& c = *p.source->controls;
    if (!c.apply(which, slider->value(), slider->minimum(), slider->maximum())) show_status(p, c.last_error());
}

// A device just opened: the sliders show what it is set to (nothing is
// written to it until one moves).
void show_device_values(ControlPanel& p) {
    const CameraControls& c = *p.source->controls;
    Fl_Value_Slider* sliders[] = {p.brightness_slider, p.gain_slider, p.shutter_slider};
    const CameraControls::Which which[] = {CameraControls::brightness, CameraControls::gain,
                                           CameraControls::exposure};
    for (int i = 0; i < 3; ++i) {
        if (!c.range(which[i]).present) continue;
        Fl_Value_Slider* slider = sliders[i];
        slider->value(slider->round(slider_position(c.initial(which[i]), slider->minimum(), slider->maximum(),
                                                    c.range(which[i]))));
    }
    Options& o = p.source->app->options;
    o.camera_brightness = static_cast<int32_t>(p.brightness_slider->value());
    o.camera_gain = static_cast<int32_t>(p.gain_slider->value());
    o.camera_shutter = static_cast<int32_t>(p.shutter_slider->value());
}

void brightness_changed(Fl_Widget* w, void* data) {
    panel_callbacks::store_option<&Options::camera_brightness>(w, data);
    ControlPanel& p = panel_of(w);
    apply_control(p, p.brightness_slider, CameraControls::brightness);
}

void gain_changed(Fl_Widget* w, void* data) {
    panel_callbacks::store_option<&Options::camera_gain>(w, data);
    ControlPanel& p = panel_of(w);
    apply_control(p, p.gain_slider, CameraControls::gain);
}

void shutter_changed(Fl_Widget* w, void* data) {
    panel_callbacks::store_option<&Options::camera_shutter>(w, data);
    ControlPanel& p = panel_of(w);
    apply_control(p, p.shutter_slider, CameraControls::exposure);
}

// "...": a file, or a folder of images, as the operator picks from a menu.
void browse(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    Fl_Menu_Item kinds[3] = {};
    kinds[0].label("a video or image file...");
    kinds[1].label("a folder of images...");
    const Fl_Menu_Item* kind = kinds[0].popup(w->x(), w->y() + w->h());
    if (kind == nullptr) return;
    const bool folder = kind == &kinds[1];
    const std::string name = choose_path(folder ? PathKind::folder : PathKind::open_file,
                                         folder ? "open a folder of images:" : "open video or image:", "*",
                                         p.source_input->value());
    if (!name.empty()) p.source_input->value(name.c_str());
}

void device_chosen(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    const int i = p.source_device_choice->value();
    if (p.source != nullptr && i >= 0 && i < static_cast<int>(p.source->devices.size())) {
        p.source_input->value(p.source->devices[static_cast<size_t>(i)].path.c_str());
        show_camera_modes(p, p.source_input->value());
    }
}

void open_pressed(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    if (p.source != nullptr) open_source_text(p, p.source_input->value());
}

void loop_changed(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    if (p.source != nullptr && p.source->video != nullptr) p.source->video->set_loop(p.source_loop_check->value() != 0);
}

void pause_changed(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    if (p.source != nullptr && p.source->video != nullptr) p.source->video->set_paused(p.source_pause_button->value() != 0);
}

VideoSource* video_of(const ControlPanel& p) { return p.source != nullptr ? p.source->video : nullptr; }

// A step or a jump since the slider was let go: the slider follows the file again.
void stop_waiting_for_seek(ControlPanel& p) {
    if (p.source != nullptr) p.source->sought_index = -1;
}

void step_back(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    VideoSource* video = video_of(p);
    if (video == nullptr || !video->can_seek()) return;
    video->step_back();
    stop_waiting_for_seek(p);
    p.source_pause_button->value(1);
}

void step_forward(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    VideoSource* video = video_of(p);
    if (video == nullptr) return;
    video->step_forward();
    stop_waiting_for_seek(p);
    p.source_pause_button->value(1);
}

void go_to_first(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    if (VideoSource* video = video_of(p)) video->go_to_frame(0);
    stop_waiting_for_seek(p);
}

void go_to_last(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    if (VideoSource* video = video_of(p)) video->go_to_frame(-1);
    stop_waiting_for_seek(p);
}

void seek_moved(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    VideoSource* video = video_of(p);
    if (video == nullptr || !video->can_seek()) return;
    const auto index = static_cast<int64_t>(p.source_seek_slider->value());
    video->go_to_frame(index);
    // The slider stays where it was put until the frame comes, or for two
    // seconds at most (a seek the file cannot carry out).
    SourceControl& s = *p.source;
    s.sought_index = index == s.shown_index ? -1 : index;
    s.sought_until_ms = platform::clock_ms() + 2000;
}

// The rate input's value, when it is one a sequence can play at.
double rate_of(const ControlPanel& p) {
    const double fps = p.source_rate_input->value();
    return valid_sequence_fps(fps) ? fps : kDefaultSequenceFps;
}

void rate_changed(Fl_Widget* w, void*) {
    ControlPanel& p = panel_of(w);
    if (p.source == nullptr) return;
    const double fps = rate_of(p);
    char text[32];
    std::snprintf(text, sizeof text, "%g", fps);
    p.source->app->extras.set(kRateKey, text);
    // A sequence open now plays at the new rate from its first frame.
    if (p.source->source != nullptr && p.source->source->info().kind == SourceKind::sequence)
        open_source_text(p, p.source->source->info().name);
}

// Frame number and time of the frame the loop has, "frame 12 of 300, 0.480 s".
std::string position_text(const VideoSource::Position& at) {
    if (at.index < 0) return {};
    std::string text = "frame " + std::to_string(at.index);
    if (at.frame_count > 0) text += " of " + std::to_string(at.frame_count);
    char time[48];
    std::snprintf(time, sizeof time, ", %.3f s", at.time_ms / 1000.0);
    return text + time;
}

// The file controls act on files and sequences; "<", the seek slider and
// ">|" need a file whose frames can be found by time.
void show_playback_controls(ControlPanel& p) {
    const VideoSource* video = video_of(p);
    const bool file = video != nullptr && video->info().kind != SourceKind::device;
    const bool seek = file && video->can_seek();
    for (Fl_Widget* w : {static_cast<Fl_Widget*>(p.source_loop_check), static_cast<Fl_Widget*>(p.source_pause_button),
                         static_cast<Fl_Widget*>(p.source_forward_button),
                         static_cast<Fl_Widget*>(p.source_first_button)}) {
        if (file) w->activate();
        else w->deactivate();
    }
    for (Fl_Widget* w : {static_cast<Fl_Widget*>(p.source_back_button), static_cast<Fl_Widget*>(p.source_seek_slider),
                         static_cast<Fl_Widget*>(p.source_last_button)}) {
        if (seek) w->activate();
        else w->deactivate();
    }
    p.source_back_button->tooltip(file && !seek ? kNoSeekTip : kBackTip);
    p.source->shown_index = -2;
    p.source->sought_index = -1;
}

// Four times a second: the status line follows the source.
void refresh_status(void* data) {
    auto& p = *static_cast<ControlPanel*>(data);
    set_status(p, status_of(*p.source));
    Fl::repeat_timeout(kStatusSeconds, &refresh_status, data);
}

// Hands `next` (null: the synthetic camera) to the loop in place of the current source.
void replace_source(ControlPanel& p, std::unique_ptr<CameraSource> next) {
    SourceControl& s = *p.source;
    s.loop->source = nullptr;
    s.controls.reset();
    if (s.source != nullptr) s.source->stop();
    s.source.reset();
    s.video = nullptr;
    s.wait_seconds = 0;
    if (next != nullptr && next->info().kind != SourceKind::synthetic) {
        s.video = static_cast<VideoSource*>(next.get());
        s.video->set_loop(p.source_loop_check->value() != 0);
        // Files open paused on their first frame.
        p.source_pause_button->value(s.video->paused() ? 1 : 0);
        // Wakes the GUI thread when it waits for events.
        s.video->set_frame_notify([] { Fl::awake(); });
        const double fps = next->info().frames_per_second;
        s.wait_seconds = std::clamp(fps > 0 ? 1.0 / fps : 1.0 / 30, 0.001, 0.1);
        s.source = std::move(next);
        s.source->start();
        s.loop->source = s.source.get();
        if (s.source->info().kind == SourceKind::device) {
            s.controls = std::make_unique<CameraControls>(system_v4l2_kernel(), s.source->info().name);
            show_device_values(p);
        }
    }
    // The live measurements map through the new source's pictures.
    s.app->source_geometry = s.source != nullptr ? s.source->info().geometry : SourceGeometry{};
    show_controls(p);
    show_playback_controls(p);
    set_status(p, status_of(s));
}

// What a source is opened with from the page.
SourceOptions page_options(const ControlPanel& p) {
    SourceOptions options;
    options.loop = p.source_loop_check->value() != 0;
    options.start_paused = true;
    options.sequence_fps = rate_of(p);
    return options;
}

// The file's own row under the playback buttons.
void build_seek_widgets(ControlPanel& p) {
    p.source_first_button = new Fl_Button(820, 285, 30, 25, "|<");
    p.source_first_button->tooltip("the first frame (key Home while this page is shown)");
    p.source_first_button->callback(go_to_first);
    p.source_seek_slider = new Fl_Slider(855, 285, 320, 25);
    p.source_seek_slider->type(FL_HOR_SLIDER);
    p.source_seek_slider->bounds(0, 0);
    p.source_seek_slider->step(1);
    p.source_seek_slider->tooltip("the frame of the file to show");
    p.source_seek_slider->callback(seek_moved);
    p.source_last_button = new Fl_Button(1180, 285, 30, 25, ">|");
    p.source_last_button->tooltip("the last frame (key End while this page is shown)");
    p.source_last_button->callback(go_to_last);
    p.source_position_box = new Fl_Box(820, 315, 260, 25);
    p.source_position_box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    p.source_position_box->tooltip("the number of the frame shown, from 0, and its time in the file");
    p.source_rate_input = new Fl_Value_Input(1190, 315, 60, 25, "rate [fps]");
    p.source_rate_input->bounds(0.1, 1000);
    p.source_rate_input->value(kDefaultSequenceFps);
    p.source_rate_input->tooltip("frames per second of an image sequence, which has no rate of its own; "
                                 "kept with the source");
    p.source_rate_input->when(FL_WHEN_ENTER_KEY | FL_WHEN_RELEASE);
    p.source_rate_input->callback(rate_changed);
}

}  // namespace

void build_source_widgets(ControlPanel& p) {
    p.source_input = new Fl_Input(885, 165, 265, 25, "source:");
    p.source_input->tooltip("a camera (/dev/video0), a video file, an image pattern (shots/f%04d.png), "
                            "a folder of images, or synthetic; Enter opens it");
    // Enter opens, as "open" does.
    p.source_input->when(FL_WHEN_ENTER_KEY_ALWAYS);
    p.source_input->callback(open_pressed);
    p.source_browse_button = new Fl_Button(1155, 165, 30, 25, "...");
    p.source_browse_button->tooltip("choose a video or image file, or a folder of images");
    p.source_browse_button->callback(browse);
    p.source_open_button = new Fl_Button(1190, 165, 60, 25, "open");
    p.source_open_button->tooltip("open the source named above in place of the one open now");
    p.source_open_button->callback(open_pressed);
    p.source_device_choice = new DeviceChoice(885, 195, 365, 25, "cameras:");
    p.source_device_choice->tooltip("the cameras found; choosing one names it as the source");
    p.source_device_choice->callback(device_chosen);
    p.source_status = new Fl_Box(820, 225, 430, 25, "synthetic camera, 480 x 360");
    p.source_status->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    p.source_loop_check = new Fl_Check_Button(820, 255, 60, 25, "loop");
    p.source_loop_check->down_box(FL_DOWN_BOX);
    p.source_loop_check->tooltip("play files again from the start at their end");
    p.source_loop_check->callback(loop_changed);
    p.source_pause_button = new Fl_Light_Button(885, 255, 70, 25, "pause");
    p.source_pause_button->tooltip("hold a video file at its current frame");
    p.source_pause_button->callback(pause_changed);
    p.source_back_button = new Fl_Button(960, 255, 30, 25, "<");
    p.source_back_button->tooltip("one frame back");
    p.source_back_button->callback(step_back);
    p.source_forward_button = new Fl_Button(995, 255, 30, 25, ">");
    p.source_forward_button->tooltip("one frame forward");
    p.source_forward_button->callback(step_forward);
    build_seek_widgets(p);

    build_camera_mode_widgets(p);

    p.brightness_slider->callback(brightness_changed);
    p.gain_slider->callback(gain_changed);
    p.shutter_slider->callback(shutter_changed);
}

void connect_source_page(ControlPanel& p, AppState& app, MainLoop& loop) {
    p.source = new SourceControl;
    p.source->app = &app;
    p.source->loop = &loop;
    if (const std::optional<double> fps = number_of(app.extras.get(kRateKey)); fps && valid_sequence_fps(*fps))
        p.source_rate_input->value(*fps);
    show_playback_controls(p);
    static_cast<DeviceChoice*>(p.source_device_choice)->rescan();
    Fl::add_timeout(kStatusSeconds, &refresh_status, &p);
}

bool open_source_text(ControlPanel& p, const std::string& text) {
    SourceControl& s = *p.source;
    // A camera opens in the mode kept with it.
    std::string mode_error;
    const CameraMode mode = s.app->extras.get(kSourceKey) == text
                                ? parse_camera_mode(s.app->extras.get(kCameraModeKey), mode_error).value_or(CameraMode{})
                                : CameraMode{};
    return open_source_in_mode(p, text, mode);
}

bool open_source_in_mode(ControlPanel& p, const std::string& text, const CameraMode& mode) {
    SourceControl& s = *p.source;
    std::string error;
    SourceOptions options = page_options(p);
    options.camera_mode = mode;
    // A device can be open once only: the one open now is let go first, or
    // opening it again (in another mode) would find it busy.
    const bool same_device = s.source != nullptr && s.source->info().kind == SourceKind::device &&
                             classify_source(text).kind == SourceKind::device && s.source->info().name == text;
    if (same_device) replace_source(p, nullptr);
    std::unique_ptr<CameraSource> next = open_camera_source(text, options, &s.app->time_phase, error);
    if (next == nullptr) {
        const std::string instead = same_device ? "; the synthetic camera runs instead" : "; the source open before stays";
        platform::show_message(kCaption, ("could not open " + error).c_str());
        show_status(p, "could not open " + error + instead);
        return false;
    }
    const bool synthetic = next->info().kind == SourceKind::synthetic;
    replace_source(p, synthetic ? nullptr : std::move(next));
    if (synthetic) s.app->extras.erase(kSourceKey);
    else s.app->extras.set(kSourceKey, text);
    if (mode.width > 0) s.app->extras.set(kCameraModeKey, mode.text());
    else s.app->extras.erase(kCameraModeKey);
    p.source_input->value(text.c_str());
    show_camera_modes(p, synthetic ? std::string() : text);
    show_status(p, "opened " + status_of(s));
    return true;
}

void open_start_source(ControlPanel& p, const std::string& argument) {
    const std::string remembered = p.source->app->extras.get(kSourceKey);
    const std::string text = argument.empty() ? remembered : argument;
    if (text.empty()) return;
    std::string error;
    SourceOptions options = page_options(p);
    // The remembered camera opens in the mode kept with it.
    ExtraSettings& extras = p.source->app->extras;
    if (text == remembered) options.camera_mode = parse_camera_mode(extras.get(kCameraModeKey), error).value_or(CameraMode{});
    else extras.erase(kCameraModeKey);
    std::unique_ptr<CameraSource> next = open_camera_source(text, options, &p.source->app->time_phase, error);
    if (next == nullptr) {
        platform::show_message(kCaption, ("could not open " + error + "; the synthetic camera runs instead").c_str());
        show_status(p, "could not open " + error + "; the synthetic camera runs instead");
        p.source_input->value(text.c_str());
        return;
    }
    const bool synthetic = next->info().kind == SourceKind::synthetic;
    replace_source(p, synthetic ? nullptr : std::move(next));
    // A source given on the command line is remembered like one opened on the page.
    if (!argument.empty() && !synthetic) p.source->app->extras.set(kSourceKey, argument);
    if (!argument.empty() && synthetic && !remembered.empty()) p.source->app->extras.erase(kSourceKey);
    p.source_input->value(text.c_str());
    show_camera_modes(p, synthetic ? std::string() : text);
}

void source_after_cycle(ControlPanel& p) {
    VideoSource* video = video_of(p);
    if (video == nullptr) {
        if (p.source != nullptr && !p.source->position.empty()) {
            p.source->position.clear();
            p.source_position_box->copy_label("");
        }
        return;
    }
    const VideoSource::Position at = video->position();
    SourceControl& s = *p.source;
    if (s.sought_index >= 0 && platform::clock_ms() > s.sought_until_ms) {
        s.sought_index = -1;
        s.shown_index = -2;  // the slider goes back to the frame shown, paused or not
    }
    if (at.index == s.shown_index) return;
    s.shown_index = at.index;
    if (at.index == s.sought_index) s.sought_index = -1;
    const double last = static_cast<double>(std::max<int64_t>(at.frame_count - 1, at.index));
    if (p.source_seek_slider->maximum() != last) p.source_seek_slider->bounds(0, std::max(last, 0.0));
    // The slider the operator drags follows the pointer, not the file, and
    // stays where it was let go until the file gets there.
    if (Fl::pushed() != p.source_seek_slider && s.sought_index < 0 && at.index >= 0)
        p.source_seek_slider->value(static_cast<double>(at.index));
    s.position = position_text(at);
    p.source_position_box->copy_label(s.position.c_str());
    p.source_position_box->redraw();
}

bool source_key(ControlPanel& p, SourceKey key) {
    VideoSource* video = video_of(p);
    if (video == nullptr || !p.brightness_slider->parent()->visible() || video->info().kind == SourceKind::device)
        return false;
    switch (key) {
        case SourceKey::back:
            p.source_back_button->do_callback();
            break;
        case SourceKey::forward:
            p.source_forward_button->do_callback();
            break;
        case SourceKey::first:
            p.source_first_button->do_callback();
            break;
        case SourceKey::last:
            if (p.source_last_button->active()) p.source_last_button->do_callback();
            break;
    }
    return true;
}

double source_wait_seconds(const ControlPanel& p) { return p.source != nullptr ? p.source->wait_seconds : 0; }

bool source_event_pass(const ControlPanel& p) {
    const double wait = source_wait_seconds(p);
    if (wait <= 0) return Fl::check() != 0;
    Fl::wait(wait);
    return Fl::first_window() != nullptr;
}

void close_source_page(ControlPanel& p) {
    if (p.source == nullptr) return;
    Fl::remove_timeout(&refresh_status, &p);
    replace_source(p, nullptr);
    delete p.source;
    p.source = nullptr;
}
