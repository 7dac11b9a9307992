#include "gui/calibration_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <numbers>

#include "base/number_text.h"
#include "calib/calibration_file.h"
#include "display/preview_window.h"
#include "gui/control_panel.h"
#include "gui/file_dialog.h"
#include "gui/operator_aids.h"
#include "loop/live_measure.h"
#include "platform/file_io.h"
#include "platform/message.h"

namespace {

constexpr char kFileKey[] = "calibration.file";
constexpr char kGridKey[] = "calibration.grid";
constexpr char kFillGapsKey[] = "units.fill_gaps";
constexpr char kFilterKey[] = "units.filter";

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An input's number; NaN when it is empty or holds no number.
double number_in(const Fl_Input* input) {
    const char* text = input->value();
    return number_of(text != nullptr ? text : "").value_or(kNaN);
}

std::string text_of(double v) {
    if (!std::isfinite(v)) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

void set_number(Fl_Input* input, double v) { input->value(text_of(v).c_str()); }

CalibrationWindow& window_of(Fl_Widget* w) { return *static_cast<CalibrationWindow*>(w->window()); }

void on_change(Fl_Widget* w, void*) { window_of(w).changed(); }

// An input that changes the calibration with every key.
Fl_Input* calibration_input(Fl_Input* in, const char* tip) {
    in->when(FL_WHEN_CHANGED);
    in->callback(on_change);
    in->tooltip(tip);
    return in;
}

Fl_Input* number_input(int x, int y, int w, const char* label, const char* tip) {
    return calibration_input(new Fl_Float_Input(x, y, w, 25, label), tip);
}

Fl_Input* text_input(int x, int y, int w, const char* label, const char* tip) {
    return calibration_input(new Fl_Input(x, y, w, 25, label), tip);
}

Fl_Group* framed_group(int x, int y, int w, int h, const char* label) {
    auto* g = new Fl_Group(x, y, w, h, label);
    g->box(FL_DOWN_BOX);
    g->align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    return g;
}

// A cross of a few pixels at a source point.
void add_mark(std::vector<OverlayLine>& lines, const SourceGeometry& g, bool y_invert, PlanePoint source, float r,
              float green, float b) {
    if (!std::isfinite(source.x) || !std::isfinite(source.y)) return;
    const PlanePoint f = source_to_frame(g, source, y_invert);
    lines.push_back(OverlayLine{r, green, b, {{f.x - 4, f.y}, {f.x + 4, f.y}}});
    lines.push_back(OverlayLine{r, green, b, {{f.x, f.y - 4}, {f.x, f.y + 4}}});
}

// A round step near extent / 8: 1, 2 or 5 times a power of ten.
double nice_step(double extent) {
    const double raw = extent / 8.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10.0 * power;
}

// "load...", "save..." and "load lens...": a calibration file (TOML), asked
// for as the panel asks for every file, handed to the window.
struct FileButton {
    int x, w;
    const char* label;
    const char* tooltip;
    const char* title;
    PathKind kind;
    bool (CalibrationWindow::*take)(const std::string&);
};

FileButton kFileButtons[] = {
    {5, 80, "load...", "reads a calibration file (TOML)", "load calibration from:", PathKind::open_file,
     &CalibrationWindow::load_file},
    {90, 80, "save...", "writes the calibration as a file (TOML) for velmora track --calibration",
     "save calibration to:", PathKind::save_file, &CalibrationWindow::save_file},
    {175, 100, "load lens...", "takes the lens alone from a calibration file, such as velmora calibrate writes",
     "load lens from:", PathKind::open_file, &CalibrationWindow::load_lens_file},
};

void file_button_pressed(Fl_Widget* w, void* data) {
    const FileButton& b = *static_cast<const FileButton*>(data);
    const std::string name = choose_path(b.kind, b.title, "*.toml", {});
    if (!name.empty()) (window_of(w).*b.take)(name);
}

}  // namespace

CalibrationWindow::CalibrationWindow(AppState& app, MYWINDOW& preview)
    : Fl_Double_Window(460, 655, "Calibration"), app_(app), preview_(preview) {
    pick_choice = new Fl_Choice(200, 5, 250, 25, "a click on the preview sets:");
    for (const char* item : {"nothing (nodes are dragged)", "scale point 1", "scale point 2", "the origin",
                             "a point on the x axis", "a plane point"})
        pick_choice->add(item);
    pick_choice->value(0);
    pick_choice->tooltip("what the next left click on the preview picks, in the source's own pixels");

    framed_group(5, 55, 450, 85, "scale and axes (world y is up):");
    scale_inputs[0] = number_input(35, 60, 75, "1: u", "first scale point, source pixels from the left");
    scale_inputs[1] = number_input(130, 60, 75, "v", "first scale point, source pixels from the top");
    scale_inputs[2] = number_input(240, 60, 75, "2: u", "second scale point");
    scale_inputs[3] = number_input(335, 60, 75, "v", "second scale point");
    length_input = number_input(60, 85, 80, "length", "the distance between the two scale points");
    unit_input = text_input(180, 85, 60, "unit", "the unit of the length, such as mm");
    origin_inputs[0] = number_input(75, 110, 75, "origin u", "the world origin in source pixels; "
                                                            "without one, the picture's bottom-left pixel");
    origin_inputs[1] = number_input(170, 110, 75, "v", "the world origin, source pixels from the top");
    axis_input = number_input(330, 110, 60, "x axis [deg]", "the world x axis, counter-clockwise from the right");
    Fl_Group::current()->end();

    framed_group(5, 165, 450, 150, "plane (4 points or more with their plane coordinates):");
    plane_list = new Fl_Hold_Browser(10, 170, 270, 140);
    plane_list->tooltip("the plane points: source pixels, then their coordinates on the plane");
    plane_list->callback([](Fl_Widget* w, void*) {
        CalibrationWindow& cw = window_of(w);
        const int line = cw.plane_list->value();
        if (line < 1 || !cw.edited_.plane || static_cast<size_t>(line) > cw.edited_.plane->marks.size()) return;
        const PlaneMark& m = cw.edited_.plane->marks[static_cast<size_t>(line - 1)];
        set_number(cw.plane_x_input, m.plane.x);
        set_number(cw.plane_y_input, m.plane.y);
    });
    plane_x_input = new Fl_Float_Input(305, 170, 75, 25, "x");
    plane_x_input->tooltip("the plane x of the next point clicked, or of the chosen one with \"set\"");
    plane_y_input = new Fl_Float_Input(305, 200, 75, 25, "y");
    plane_y_input->tooltip("the plane y of the next point clicked, or of the chosen one with \"set\"");
    plane_set_button = new Fl_Button(385, 170, 65, 25, "set");
    plane_set_button->tooltip("gives the chosen point the typed x and y");
    plane_set_button->callback([](Fl_Widget* w, void*) {
        CalibrationWindow& cw = window_of(w);
        const int line = cw.plane_list->value();
        if (line < 1 || !cw.edited_.plane) return;
        cw.edited_.plane->marks[static_cast<size_t>(line - 1)].plane =
            PlanePoint{number_in(cw.plane_x_input), number_in(cw.plane_y_input)};
        cw.list_plane_points();
        cw.changed();
    });
    plane_remove_button = new Fl_Button(385, 200, 65, 25, "remove");
    plane_remove_button->tooltip("removes the chosen point");
    plane_remove_button->callback([](Fl_Widget* w, void*) {
        CalibrationWindow& cw = window_of(w);
        const int line = cw.plane_list->value();
        if (line < 1 || !cw.edited_.plane) return;
        auto& marks = cw.edited_.plane->marks;
        marks.erase(marks.begin() + (line - 1));
        if (marks.empty()) cw.edited_.plane.reset();
        cw.list_plane_points();
        cw.changed();
    });
    plane_unit_input = text_input(325, 285, 60, "unit", "the unit of the plane coordinates");
    Fl_Group::current()->end();

    framed_group(5, 340, 450, 85, "lens (source pixels; from velmora calibrate or typed):");
    const char* names[9] = {"fx", "fy", "cx", "cy", "k1", "k2", "p1", "p2", "k3"};
    for (int i = 0; i < 9; ++i) {
        const int row = i < 4 ? 0 : 1, column = i < 4 ? i : i - 4;
        lens_inputs[i] = number_input(30 + column * (row == 0 ? 110 : 88), 345 + row * 30, row == 0 ? 80 : 60,
                                      names[i], "the camera model: focal lengths and principal point in pixels, "
                                                "radial k1 k2 k3 and tangential p1 p2 distortion");
    }
    Fl_Group::current()->end();

    grid_check = new Fl_Check_Button(5, 430, 170, 25, "show axes and grid");
    grid_check->tooltip("the world axes (x red, y green) and a grid drawn over the preview");
    grid_check->callback([](Fl_Widget* w, void*) {
        CalibrationWindow& cw = window_of(w);
        cw.app_.extras.set_bool(kGridKey, cw.grid_check->value() != 0);
        cw.update_overlay();
    });
    grid_step_input = number_input(270, 430, 80, "grid step", "the grid's spacing in the world unit; empty: chosen");

    framed_group(5, 480, 450, 60, "after recording (export CSV, angles window):");
    fill_gaps_input = new Fl_Input(160, 485, 50, 25, "fill gaps [frames]");
    fill_gaps_input->type(FL_INT_INPUT);
    fill_gaps_input->tooltip("held or predicted runs up to this long are filled by cubic interpolation; "
                             "empty: none");
    fill_gaps_input->callback([](Fl_Widget* w, void*) {
        window_of(w).app_.extras.set(kFillGapsKey, static_cast<Fl_Input*>(w)->value());
    });
    fill_gaps_input->when(FL_WHEN_CHANGED);
    filter_input = new Fl_Input(330, 485, 70, 25, "filter [Hz]");
    filter_input->tooltip("zero-phase Butterworth low-pass: a cutoff, or auto (residual analysis); empty: none. "
                          "Adds the filtered angle, its rate and the speed to the CSV");
    filter_input->callback([](Fl_Widget* w, void*) {
        window_of(w).app_.extras.set(kFilterKey, static_cast<Fl_Input*>(w)->value());
    });
    filter_input->when(FL_WHEN_CHANGED);
    Fl_Group::current()->end();

    for (FileButton& b : kFileButtons) {
        auto* button = new Fl_Button(b.x, 550, b.w, 25, b.label);
        button->tooltip(b.tooltip);
        button->callback(file_button_pressed, &b);
    }
    auto* clear = new Fl_Button(280, 550, 80, 25, "clear");
    clear->tooltip("forgets the calibration: numbers in the frame's pixels again");
    clear->callback([](Fl_Widget* w, void*) { window_of(w).show_calibration(Calibration{}); });

    status = new Fl_Box(5, 585, 450, 65);
    status->box(FL_THIN_DOWN_BOX);
    status->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP);
    end();

    grid_check->value(app_.extras.get_bool(kGridKey, false) ? 1 : 0);
    fill_gaps_input->value(app_.extras.get(kFillGapsKey).c_str());
    filter_input->value(app_.extras.get(kFilterKey).c_str());
    preview_.on_pick = [this](double x, double y) { return pick(x, y); };
    show_calibration(app_.calibration);
}

// The preview may be gone already (the panel's window goes first at exit and
// in the tests): its hook and overlay are left alone.
CalibrationWindow::~CalibrationWindow() = default;

void CalibrationWindow::hide() {
    pick_choice->value(0);
    Fl_Double_Window::hide();
    update_overlay();
}

void CalibrationWindow::show_calibration(const Calibration& c) {
    edited_ = c;
    fitted_ = c.lens ? *c.lens : LensModel{};
    for (Fl_Input* in : scale_inputs) in->value("");
    length_input->value("");
    unit_input->value("");
    if (c.scale) {
        set_number(scale_inputs[0], c.scale->a.x);
        set_number(scale_inputs[1], c.scale->a.y);
        set_number(scale_inputs[2], c.scale->b.x);
        set_number(scale_inputs[3], c.scale->b.y);
        set_number(length_input, c.scale->length);
        unit_input->value(c.scale->unit.c_str());
    }
    origin_inputs[0]->value("");
    origin_inputs[1]->value("");
    axis_input->value("");
    if (c.axes) {
        set_number(origin_inputs[0], c.axes->origin.x);
        set_number(origin_inputs[1], c.axes->origin.y);
        set_number(axis_input, c.axes->x_axis_deg);
    }
    plane_unit_input->value(c.plane ? c.plane->unit.c_str() : "");
    for (Fl_Input* in : lens_inputs) in->value("");
    if (c.lens) {
        const LensModel& l = *c.lens;
        const double values[9] = {l.fx, l.fy, l.cx, l.cy, l.k1, l.k2, l.p1, l.p2, l.k3};
        for (int i = 0; i < 9; ++i) set_number(lens_inputs[i], values[i]);
    }
    list_plane_points();
    changed();
}

Calibration CalibrationWindow::calibration_of_widgets() const {
    Calibration c;
    c.width = edited_.width != 0 ? edited_.width : app_.source_geometry.width;
    c.height = edited_.height != 0 ? edited_.height : app_.source_geometry.height;
    double lens[9];
    for (int i = 0; i < 9; ++i) lens[i] = number_in(lens_inputs[i]);
    if (std::isfinite(lens[0]) || std::isfinite(lens[1])) {
        LensModel l{lens[0], lens[1], lens[2], lens[3]};
        double* coefficients[5] = {&l.k1, &l.k2, &l.p1, &l.p2, &l.k3};
        for (int i = 0; i < 5; ++i) *coefficients[i] = std::isfinite(lens[4 + i]) ? lens[4 + i] : 0.0;
        // A fitted lens keeps its report while its numbers stay as they were fitted.
        const LensModel& f = fitted_;
        if (f.views > 0 && l.fx == f.fx && l.fy == f.fy && l.cx == f.cx && l.cy == f.cy && l.k1 == f.k1 &&
            l.k2 == f.k2 && l.p1 == f.p1 && l.p2 == f.p2 && l.k3 == f.k3) {
            l.rms = f.rms;
            l.views = f.views;
        }
        c.lens = l;
    }
    if (edited_.plane) {
        c.plane = edited_.plane;
        c.plane->unit = plane_unit_input->value();
    }
    const double s[4] = {number_in(scale_inputs[0]), number_in(scale_inputs[1]), number_in(scale_inputs[2]),
                         number_in(scale_inputs[3])};
    const double length = number_in(length_input);
    if (std::isfinite(s[0]) && std::isfinite(s[1]) && std::isfinite(s[2]) && std::isfinite(s[3]) &&
        std::isfinite(length)) {
        const std::string unit = unit_input->value();
        c.scale = ScaleLevel{{s[0], s[1]}, {s[2], s[3]}, length, unit.empty() ? "units" : unit};
    }
    const double o[2] = {number_in(origin_inputs[0]), number_in(origin_inputs[1])};
    if (std::isfinite(o[0]) && std::isfinite(o[1])) {
        const double axis = number_in(axis_input);
        c.axes = AxesLevel{{o[0], o[1]}, std::isfinite(axis) ? axis : 0.0};
    }
    return c;
}

void CalibrationWindow::changed() {
    app_.calibration = calibration_of_widgets();
    if (app_.calibration.empty()) {
        app_.calibration = Calibration{};
    } else if (edited_.width == 0) {
        // Its points are pixels of the source open now: it holds for
        // pictures of this size alone from here on.
        edited_.width = app_.calibration.width;
        edited_.height = app_.calibration.height;
    }
    std::string error;
    const bool ok = recalibrate(app_, error);
    std::string text;
    if (app_.calibration.empty())
        text = "no calibration: positions in pixels, angles in the frame";
    else if (ok)
        text = "calibrated, in " + app_.calibration_map.unit + ": " + describe(app_.calibration);
    else
        text = "not in use: " + error;
    status->copy_label(text.c_str());
    shown_for_ = app_.source_geometry;
    shown_y_invert_ = app_.options.y_invert != 0;
    update_overlay();
}

void CalibrationWindow::after_cycle() {
    if (app_.source_geometry == shown_for_ && (app_.options.y_invert != 0) == shown_y_invert_) return;
    changed();
}

bool CalibrationWindow::pick(double x, double y) {
    const auto what = static_cast<CalibrationPick>(pick_choice->value());
    if (!shown() || what == CalibrationPick::nothing) return false;
    const PlanePoint p = frame_to_source(app_.source_geometry, PlanePoint{x, y}, app_.options.y_invert != 0);
    switch (what) {
        case CalibrationPick::scale_a:
            set_number(scale_inputs[0], p.x), set_number(scale_inputs[1], p.y);
            pick_choice->value(static_cast<int>(CalibrationPick::scale_b));
            break;
        case CalibrationPick::scale_b:
            set_number(scale_inputs[2], p.x), set_number(scale_inputs[3], p.y);
            pick_choice->value(0);
            break;
        case CalibrationPick::origin:
            set_number(origin_inputs[0], p.x), set_number(origin_inputs[1], p.y);
            pick_choice->value(static_cast<int>(CalibrationPick::x_axis));
            break;
        case CalibrationPick::x_axis: {
            // The direction in the level the axes turn: measured without
            // scale and axes, which change no direction of their own.
            Calibration below = calibration_of_widgets();
            if (!below.axes) break;
            const PlanePoint origin = below.axes->origin;
            below.scale.reset();
            below.axes.reset();
            CalibrationMap map;
            std::string error;
            if (compile_calibration(below, app_.source_geometry.width, app_.source_geometry.height, map, error)) {
                const PlanePoint a = to_world(map, origin), b = to_world(map, p);
                set_number(axis_input, std::atan2(b.y - a.y, b.x - a.x) * 180.0 / std::numbers::pi);
            }
            pick_choice->value(0);
            break;
        }
        case CalibrationPick::plane_point: {
            if (!edited_.plane) edited_.plane = PlaneLevel{};
            const double px = number_in(plane_x_input), py = number_in(plane_y_input);
            edited_.plane->marks.push_back(PlaneMark{p, {std::isfinite(px) ? px : 0.0, std::isfinite(py) ? py : 0.0}});
            list_plane_points();
            plane_list->value(plane_list->size());
            break;
        }
        default: break;
    }
    changed();
    return true;
}

void CalibrationWindow::list_plane_points() {
    plane_list->clear();
    if (!edited_.plane) return;
    for (const PlaneMark& m : edited_.plane->marks) {
        char line[128];
        std::snprintf(line, sizeof line, "%.1f, %.1f  ->  %g, %g", m.source.x, m.source.y, m.plane.x, m.plane.y);
        plane_list->add(line);
    }
}

void CalibrationWindow::update_overlay() {
    std::vector<OverlayLine>& lines = preview_.overlay;
    lines.clear();
    const SourceGeometry& g = app_.source_geometry;
    const bool flip = app_.options.y_invert != 0;
    const Calibration c = calibration_of_widgets();
    if (shown()) {
        if (c.scale) add_mark(lines, g, flip, c.scale->a, 1.0f, 1.0f, 0.0f), add_mark(lines, g, flip, c.scale->b, 1.0f, 1.0f, 0.0f);
        if (c.axes) add_mark(lines, g, flip, c.axes->origin, 1.0f, 1.0f, 1.0f);
        if (c.plane)
            for (const PlaneMark& m : c.plane->marks) add_mark(lines, g, flip, m.source, 0.0f, 1.0f, 1.0f);
    }
    if (grid_check->value() != 0 && app_.calibrated) {
        const CalibrationMap& map = app_.calibration_map;
        // The world seen along the picture's edge bounds the grid.
        std::vector<PlanePoint> edge;
        for (int i = 0; i <= 32; ++i) {
            const double s = i / 32.0;
            edge.push_back({s * (g.width - 1), 0.0});
            edge.push_back({s * (g.width - 1), g.height - 1.0});
            edge.push_back({0.0, s * (g.height - 1)});
            edge.push_back({g.width - 1.0, s * (g.height - 1)});
        }
        std::vector<PlanePoint> world(edge.size());
        to_world(map, edge, world);
        double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
        for (const PlanePoint& w : world) {
            if (!std::isfinite(w.x) || !std::isfinite(w.y)) continue;
            x0 = std::min(x0, w.x), x1 = std::max(x1, w.x), y0 = std::min(y0, w.y), y1 = std::max(y1, w.y);
        }
        if (x1 > x0 && y1 > y0) {
            double step = number_in(grid_step_input);
            if (!(step > 0.0)) step = nice_step(std::max(x1 - x0, y1 - y0));
            while ((x1 - x0) / step + (y1 - y0) / step > 80) step *= 2;
            const auto to_frame = [&](std::vector<PlanePoint> points) {
                std::vector<PlanePoint> source(points.size());
                to_source(map, points, source);
                for (size_t i = 0; i < points.size(); ++i) {
                    points[i] = source_to_frame(g, source[i], flip);
                    const PlanePoint& f = points[i];
                    if (!(f.x >= 0 && f.x <= kFrameWidth - 1 && f.y >= 0 && f.y <= kFrameHeight - 1))
                        points[i] = PlanePoint{kNaN, kNaN};
                }
                return points;
            };
            const auto line = [&](PlanePoint from, PlanePoint to, float r, float gr, float b) {
                std::vector<PlanePoint> points;
                for (int i = 0; i <= 48; ++i)
                    points.push_back({from.x + (to.x - from.x) * i / 48.0, from.y + (to.y - from.y) * i / 48.0});
                lines.push_back(OverlayLine{r, gr, b, to_frame(std::move(points))});
            };
            for (double x = std::ceil(x0 / step) * step; x <= x1; x += step) line({x, y0}, {x, y1}, 0.5f, 0.5f, 0.5f);
            for (double y = std::ceil(y0 / step) * step; y <= y1; y += step) line({x0, y}, {x1, y}, 0.5f, 0.5f, 0.5f);
            line({0, 0}, {2 * step, 0}, 1.0f, 0.2f, 0.2f);
            line({0, 0}, {0, 2 * step}, 0.2f, 1.0f, 0.2f);
        }
    }
    preview_.redraw();
}

namespace {

bool read_calibration(const std::string& path, const char* caption, Calibration& c) {
    std::string text, error;
    if (!platform::read_file(path, text, 1 << 20)) {
        error = "cannot read " + path;
    } else if (!parse_calibration_toml(text, c, error)) {
        error = path + ": " + error;
    }
    if (error.empty()) return true;
    platform::show_message(caption, error.c_str());
    return false;
}

}  // namespace

bool CalibrationWindow::load_file(const std::string& path) {
    Calibration c;
    if (!read_calibration(path, "load calibration", c)) return false;
    show_calibration(c);
    app_.extras.set(kFileKey, path);
    return true;
}

bool CalibrationWindow::load_lens_file(const std::string& path) {
    Calibration c;
    if (!read_calibration(path, "load lens", c)) return false;
    if (!c.lens) {
        platform::show_message("load lens", (path + " holds no lens").c_str());
        return false;
    }
    // The rest as the widgets hold it, with the file's lens and picture size.
    Calibration now = calibration_of_widgets();
    now.lens = c.lens;
    now.width = c.width;
    now.height = c.height;
    show_calibration(now);
    return true;
}

bool CalibrationWindow::save_file(const std::string& path) {
    if (platform::replace_file(path, calibration_toml(calibration_of_widgets())) != platform::WriteResult::ok) {
        platform::show_message("save calibration", ("could not write " + path).c_str());
        return false;
    }
    app_.extras.set(kFileKey, path);
    std::cout << "\n calibration saved." << std::flush;
    return true;
}

TakeProcessing CalibrationWindow::processing() const {
    TakeProcessing p;
    const double gaps = number_in(fill_gaps_input);
    p.fill_gaps = std::isfinite(gaps) && gaps > 0 ? static_cast<int32_t>(std::min(gaps, 100000.0)) : 0;
    p.filter = parse_cutoff(filter_input->value(), p.cutoff_hz);
    return p;
}

// --- the panel's side ----------------------------------------------------------------

void build_calibration_controls(ControlPanel& p) {
    Fl_Group::current(nullptr);
    delete p.calibration_window;
    p.calibration_window = nullptr;
    p.calibration_button = new Fl_Button(100, 862, 100, 25, "calibration");
    p.main_window->add(p.calibration_button);
    p.calibration_button->tooltip("real units: a scale, axes, a plane and the lens, for every number the program "
                                  "gives; gap filling and the filter after recording");
    p.calibration_button->callback([](Fl_Widget* w, void*) {
        ControlPanel& panel = panel_of(w);
        CalibrationWindow& window = *panel.calibration_window;
        // First beside the panel, so the preview stays in sight for clicks.
        const int right = panel.main_window->x() + panel.main_window->w() + 10;
        if (!window.shown() && right + window.w() <= Fl::w()) window.position(right, panel.main_window->y());
        window.show();
        window.changed();  // the picked points show while it is open
    });
    // The window exists from the start: the kept calibration file and the
    // after-recording choices apply before it is first opened.
    p.calibration_window = new CalibrationWindow(app_state, *p.preview);
    const std::string kept = app_state.extras.get(kFileKey);
    std::string text, error;
    Calibration c;
    if (!kept.empty() && platform::read_file(kept, text, 1 << 20) && parse_calibration_toml(text, c, error))
        p.calibration_window->show_calibration(c);
}

void calibration_after_cycle(ControlPanel& p) {
    if (p.calibration_window != nullptr) p.calibration_window->after_cycle();
}
