// The control panel's widget tree as built, before anything refreshes it:
// every widget of the layout in its place with its label, size, range, step
// and first value; and, for every widget of the tree (those added later in
// free space included), no label drawn over a neighbouring widget or label.

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Valuator.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/fl_draw.H>
#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "display/preview_window.h"
#include "gui/control_panel.h"
#include "loop/app_state.h"

namespace {

struct Rect {
    int x, y, w, h;
    bool overlaps(const Rect& o) const {
        return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
    }
};

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}

Rect box_of(Fl_Widget* w) { return {w->x(), w->y(), w->w(), w->h()}; }

std::string kind_name(const std::type_info& type) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 ? name.get() : type.name();
}

// A widget as a failure message names it: its class, label and box.
std::string describe(Fl_Widget* w) {
    std::ostringstream os;
    os << kind_name(typeid(*w));
    if (w->label() != nullptr) os << " \"" << w->label() << "\"";
    os << " " << box_of(w);
    return os.str();
}

// --- the layout as specified ------------------------------------------------------

struct Range {
    double low, high, step;
};

// One widget of the layout. Rows are in creation order; a row's parent is the
// nearest row above it with a depth one less.
struct Row {
    int depth;
    const std::type_info* kind;
    const char* label;  // nullptr: none
    Rect box;
    std::optional<Range> range = std::nullopt;  // valuators
    std::optional<double> initial = std::nullopt;  // valuators and buttons
};

// The range a value input has when nothing sets it.
Range toolkit_default_input_range() {
    Fl_Group* const current = Fl_Group::current();
    Fl_Group::current(nullptr);
    const Fl_Value_Input probe(0, 0, 10, 10);
    Fl_Group::current(current);
    return {probe.minimum(), probe.maximum(), probe.step()};
}

std::vector<Row> specified_layout() {
    const std::type_info* const window = &typeid(Fl_Double_Window);
    const std::type_info* const preview = &typeid(MYWINDOW);
    const std::type_info* const tabs = &typeid(Fl_Tabs);
    const std::type_info* const group = &typeid(Fl_Group);
    const std::type_info* const vslider = &typeid(Fl_Value_Slider);
    const std::type_info* const slider = &typeid(Fl_Slider);
    const std::type_info* const check = &typeid(Fl_Check_Button);
    const std::type_info* const round = &typeid(Fl_Round_Button);
    const std::type_info* const vinput = &typeid(Fl_Value_Input);
    const std::type_info* const input = &typeid(Fl_Input);
    const std::type_info* const button = &typeid(Fl_Button);
    const std::type_info* const light = &typeid(Fl_Light_Button);
    const std::type_info* const help = &typeid(Fl_Help_View);
    const Range in = toolkit_default_input_range();
    const Range unit{0, 1, 0.01};
    const Range frames{0, 1000, 1};
    // Both limit pages of "Clustering" hold the same three sliders.
    auto limits = [&](std::vector<Row>& rows) {
        rows.push_back({5, vslider, "max distance", {830, 155, 200, 25}, Range{0, 300, 1}, 0});
        rows.push_back({5, vslider, "max cluster size", {830, 185, 200, 25}, Range{0, 15000, 1}, 0});
        rows.push_back({5, vslider, "min cluster size", {830, 215, 200, 25}, Range{0, 5000, 1}, 0});
    };
    std::vector<Row> rows = {
        {0, window, nullptr, {0, 0, 1264, 950}},
        {1, preview, "preview window", {5, 5, 800, 600}},
        {1, tabs, nullptr, {810, 5, 450, 600}},
        {2, group, "Camera", {810, 25, 450, 580}},
        {3, vslider, "brightness", {820, 35, 200, 25}, Range{0, 1023, 1}, 0},
        {3, vslider, "gain", {820, 65, 200, 25}, Range{0, 255, 1}, 0},
        {3, vslider, "shutter", {820, 95, 200, 25}, Range{1, 255, 1}, 0},
        {3, check, "y - invert frame buffer", {820, 125, 160, 25}, {}, 0},
        {2, group, "Clustering", {810, 25, 450, 580}},
        {3, tabs, nullptr, {820, 125, 335, 140}},
        {4, group, "k-means", {820, 145, 335, 110}},
        {5, vslider, " iterations", {830, 185, 200, 25}, Range{0, 20, 1}, 5},
        {5, vslider, " threads", {830, 215, 200, 25}, Range{1, 8, 1}, 1},
        {5, vslider, "clusters", {830, 155, 200, 25}, Range{0, 20, 1}, 5},
        {4, group, "region-grow", {820, 145, 335, 115}},
    };
    limits(rows);
    rows.push_back({4, group, "cure", {820, 145, 335, 110}});
    limits(rows);
    const std::vector<Row> rest = {
        {3, vslider, " threshold", {820, 35, 200, 25}, Range{0, 255, 1}, 0},
        {3, round, "k-means", {820, 65, 100, 20}, {}, 0},
        {3, round, "region grow", {820, 80, 100, 20}, {}, 0},
        {3, round, "cure: hierarchical merge", {820, 95, 100, 20}, {}, 0},
        {3, check, "show thresholding", {1090, 35, 145, 20}, {}, 0},
        {2, group, "Model", {810, 25, 450, 580}},
        {3, vinput, "number of nodes", {820, 36, 40, 24}, in, 0},
        {3, group, "Angular Sensor:", {820, 265, 365, 285}},
        {4, check, "visible", {830, 275, 64, 20}, {}, 0},
        {4, vslider, "transparency", {830, 445, 240, 25}, unit, 0},
        {4, check, "position relative to node", {830, 295, 190, 20}, {}, 0},
        {4, vinput, "x position", {830, 316, 35, 24}, in, 0},
        {4, vinput, "y position", {830, 341, 35, 24}, in, 0},
        {4, vslider, "green", {830, 395, 240, 25}, unit, 0},
        {4, vslider, "red", {830, 370, 240, 25}, unit, 0},
        {4, vslider, "blue", {830, 420, 240, 25}, unit, 0},
        {3, button, "load", {1120, 575, 64, 25}, {}, 0},
        {3, button, "save", {1190, 575, 64, 25}, {}, 0},
        {3, vslider, "line width", {820, 65, 240, 25}, Range{1, 10, 0.1}, 1},
        {3, vslider, "transparency", {820, 205, 240, 25}, unit, 0},
        {3, vslider, "green", {820, 155, 240, 25}, unit, 0},
        {3, vslider, "red", {820, 130, 240, 25}, unit, 0},
        {3, vslider, "blue", {820, 180, 240, 25}, unit, 0},
        {3, vslider, "sensor max radius", {820, 90, 240, 25}, Range{1, 100, 1}, 20},
        {2, group, "Tracking", {810, 25, 450, 580}},
        {3, vslider, "min node  distance", {820, 60, 200, 25}, Range{0, 300, 1}, 0},
        {3, vslider, "next neighbour max d.", {820, 90, 200, 25}, Range{0, 300, 1}, 0},
        {2, group, "Fullscreen", {810, 25, 450, 580}},
        {3, vinput, "xpos:", {875, 36, 40, 24}, in, 1280},
        {3, vinput, "ypos:", {875, 61, 40, 24}, in, 0},
        {3, vinput, "width:", {965, 36, 40, 24}, in, 800},
        {3, vinput, "height:", {965, 61, 40, 24}, in, 600},
        {3, button, "(re)open", {1030, 40, 64, 20}, {}, 0},
        {3, button, "close", {1030, 65, 64, 20}, {}, 0},
        {2, group, "System", {810, 25, 450, 580}},
        {3, help, nullptr, {820, 35, 430, 560}},
        {2, group, "Help", {810, 25, 450, 580}},
        {3, help, "Help:", {820, 45, 430, 550}},
        {1, group, "record and play:", {5, 625, 1255, 105}},
        {2, light, "record", {10, 700, 68, 25}, {}, 0},
        {2, check, "loop", {231, 702, 64, 20}, {}, 0},
        {2, button, "save as", {1190, 700, 64, 25}, {}, 0},
        {2, light, "play", {156, 700, 68, 25}, {}, 0},
        {2, vinput, "buffer size [frames]", {349, 701, 40, 24}, in, 0},
        {2, button, "cut", {85, 700, 64, 25}, {}, 0},
        {2, slider, "timeline", {10, 630, 1245, 25}, frames, 0},
        {2, slider, nullptr, {10, 655, 1245, 20}, frames, 0},
        {2, slider, nullptr, {10, 675, 1245, 20}, frames, 0},
        {2, check, "visible", {281, 702, 64, 20}, {}, 0},
        {2, input, "file name:", {590, 701, 400, 25}},
        {2, button, "<-quicksave", {990, 700, 85, 25}, {}, 0},
        {1, button, "reset all", {1115, 920, 70, 25}, {}, 0},
        {1, button, "quit&&save", {1190, 920, 70, 25}, {}, 0},
        {1, group, "playback:", {5, 750, 1255, 105}},
        {2, button, "load", {10, 825, 64, 25}, {}, 0},
        {2, check, "loop", {230, 827, 64, 20}, {}, 0},
        {2, button, "save as", {1190, 825, 64, 25}, {}, 0},
        {2, light, "play", {155, 825, 68, 25}, {}, 0},
        {2, button, "cut", {80, 825, 64, 25}, {}, 0},
        {2, slider, "timeline", {10, 755, 1245, 25}, frames, 0},
        {2, slider, nullptr, {10, 780, 1245, 20}, frames, 0},
        {2, slider, nullptr, {10, 800, 1245, 20}, frames, 0},
        {2, check, "visible", {280, 827, 64, 20}, {}, 0},
        {2, input, "file name:", {590, 825, 400, 25}},
        {2, button, "<-quicksave", {995, 824, 85, 25}, {}, 0},
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

bool same_label(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::strcmp(a, b) == 0;
}

// The child of `parent` that plays `row`: the n-th child of the row's kind
// and label, where n counts the rows of that kind and label before it under
// the same parent. Widgets added beside the specified ones change nothing.
Fl_Widget* find_child(Fl_Group* parent, const Row& row, int ordinal) {
    for (int i = 0; i < parent->children(); ++i) {
        Fl_Widget* c = parent->child(i);
        if (typeid(*c) == *row.kind && same_label(c->label(), row.label) && ordinal-- == 0) return c;
    }
    return nullptr;
}

// --- where the toolkit draws a label ----------------------------------------------

// FLTK 1.3's rules: a label outside its widget is drawn by the parent in the
// strip beside the widget, up to the parent's edge (draw_outside_label); one
// inside is drawn in the widget's box less its frame, 3 pixels in when aligned
// to a side (Fl_Widget::draw_label); a light, check or round button leaves
// its light or box at the left (Fl_Light_Button::draw); a slider draws it on
// its knob, which travels the whole track. The text is placed in that area by
// its alignment, and may run out of it: the toolkit does not clip labels.
struct LabelArea {
    Rect area;
    Fl_Align align;
    bool on_knob = false;  // the text starts anywhere in the area and runs on to the right
};

std::optional<LabelArea> label_area(Fl_Widget* w) {
    if (w->label() == nullptr || w->label()[0] == '\0' || w->labeltype() == FL_NO_LABEL) return std::nullopt;
    const Fl_Align a = w->align();
    const Rect r = box_of(w);
    if ((a & 15) != 0 && (a & FL_ALIGN_INSIDE) == 0) {
        Fl_Group* parent = w->parent();
        const bool in_window = parent->as_window() != nullptr;
        const int px = in_window ? 0 : parent->x();
        const int py = in_window ? 0 : parent->y();
        const Rect left{px, r.y, r.x - px - 3, r.h};
        const Rect right{r.x + r.w + 3, r.y, px + parent->w() - (r.x + r.w + 3), r.h};
        const Fl_Align keep = a & ~15u;
        switch (a & 15) {
            case FL_ALIGN_LEFT_TOP: return LabelArea{left, keep | FL_ALIGN_TOP_RIGHT};
            case FL_ALIGN_LEFT_BOTTOM: return LabelArea{left, keep | FL_ALIGN_BOTTOM_RIGHT};
            case FL_ALIGN_RIGHT_TOP: return LabelArea{right, keep | FL_ALIGN_TOP_LEFT};
            case FL_ALIGN_RIGHT_BOTTOM: return LabelArea{right, keep | FL_ALIGN_BOTTOM_LEFT};
            default: break;
        }
        const Fl_Align flip_vertical = a ^ (FL_ALIGN_BOTTOM | FL_ALIGN_TOP);
        if (a & FL_ALIGN_TOP) return LabelArea{{r.x, py, r.w, r.y - py}, flip_vertical};
        if (a & FL_ALIGN_BOTTOM) return LabelArea{{r.x, r.y + r.h, r.w, py + parent->h() - (r.y + r.h)}, flip_vertical};
        return LabelArea{(a & FL_ALIGN_LEFT) ? left : right, a ^ (FL_ALIGN_LEFT | FL_ALIGN_RIGHT)};
    }
    // A window inside the panel (the GL preview) draws over its own label.
    if (w->as_window() != nullptr) return std::nullopt;
    const int bx = Fl::box_dx(w->box());
    if (dynamic_cast<Fl_Light_Button*>(w) != nullptr) {
        const auto* b = static_cast<Fl_Button*>(w);
        const int size = w->labelsize();
        const int dx = bx + 2;
        const int lx = b->down_box() ? dx + size + 2 : dx + size / 2 + 1 + 2;
        return LabelArea{{r.x + lx, r.y, r.w - lx - bx, r.h}, a};
    }
    Rect inner{r.x + bx, r.y + Fl::box_dy(w->box()), r.w - Fl::box_dw(w->box()), r.h - Fl::box_dh(w->box())};
    if (const auto* s = dynamic_cast<Fl_Slider*>(w); s != nullptr && (s->type() & FL_HORIZONTAL)) {
        // The knob is at least half the track's height plus one wide; from
        // one end of the track to the other the label covers the whole track.
        const int knob = std::max(static_cast<int>(s->slider_size() * inner.w + 0.5), inner.h / 2 + 1);
        return LabelArea{{inner.x, inner.y, inner.w - knob, inner.h}, a, true};
    }
    if (inner.w > 11 && (a & (FL_ALIGN_LEFT | FL_ALIGN_RIGHT))) inner = {inner.x + 3, inner.y, inner.w - 6, inner.h};
    return LabelArea{inner, a};
}

// The text a label shows: a button draws "&&" as "&" and drops a single "&".
std::string shown_text(Fl_Widget* w) {
    const std::string label = w->label();
    if (dynamic_cast<Fl_Button*>(w) == nullptr) return label;
    std::string shown;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) ++i;
        shown += label[i];
    }
    return shown;
}

// The pixels a label's text covers (its glyphs' ink, which a line's cell of
// fl_height() exceeds by the leading), or nothing for a label not drawn. The
// text sits in its area as fl_draw puts it: by its alignment, the line's cell
// (fl_measure) at the area's top, bottom or middle, the baseline a descent
// above the cell's bottom.
std::optional<Rect> label_extent(Fl_Widget* w) {
    const std::optional<LabelArea> la = label_area(w);
    if (!la) return std::nullopt;
    fl_font(w->labelfont(), w->labelsize());
    const std::string text = shown_text(w);
    int cell_w = 0;
    int cell_h = 0;
    fl_measure(text.c_str(), cell_w, cell_h, 0);
    int ink_x = 0;
    int ink_y = 0;
    int ink_w = 0;
    int ink_h = 0;
    fl_text_extents(text.c_str(), ink_x, ink_y, ink_w, ink_h);
    const Rect& r = la->area;
    const Fl_Align a = la->align;
    const int x = la->on_knob || (a & FL_ALIGN_LEFT) ? r.x
                  : (a & FL_ALIGN_RIGHT)            ? r.x + r.w - cell_w
                                                    : r.x + (r.w - cell_w) / 2;
    const int top = (a & FL_ALIGN_TOP) ? r.y : (a & FL_ALIGN_BOTTOM) ? r.y + r.h - cell_h : r.y + (r.h - cell_h) / 2;
    const int baseline = top + cell_h - fl_descent();
    return Rect{x + ink_x, baseline + ink_y, (la->on_knob ? r.w : 0) + ink_w, ink_h};
}

// The tabs of a tab set side by side as the toolkit lays them out: each as
// wide as its label and 10, with 2 between. Wider than the set, they are
// pushed over each other. Returns the first tab that does not fit, or -1.
int first_tab_past_the_edge(Fl_Tabs* tabs, int& needed) {
    needed = Fl::box_dx(tabs->box());
    for (int i = 0; i < tabs->children(); ++i) {
        int tw = 0;
        int th = 0;
        fl_draw_shortcut = 1;
        fl_font(tabs->child(i)->labelfont(), tabs->child(i)->labelsize());
        fl_measure(tabs->child(i)->label(), tw, th, 0);
        fl_draw_shortcut = 0;
        needed += tw + 10 + 2;
        if (needed > tabs->w()) return i;
    }
    return -1;
}

// Something a widget draws: its box or a part of it, or a label.
struct Drawn {
    Rect rect;
    Fl_Widget* owner;
    bool label;
};

// What a widget draws on its parent besides its own label: its whole box, or
// without a box only its parts: a check or round button its little box at the
// left, a group its children with their labels.
void drawn_parts(Fl_Widget* w, std::vector<Drawn>& out) {
    if (w->box() != FL_NO_BOX) {
        out.push_back({box_of(w), w, false});
    } else if (auto* b = dynamic_cast<Fl_Light_Button*>(w); b != nullptr && b->down_box()) {
        const int size = w->labelsize();
        out.push_back({{w->x() + 2, w->y() + (w->h() - size) / 2, size, size}, w, false});
    } else if (Fl_Group* g = w->as_group(); g != nullptr && g->as_window() == nullptr) {
        for (int i = 0; i < g->children(); ++i) {
            drawn_parts(g->child(i), out);
            if (const std::optional<Rect> l = label_extent(g->child(i))) out.push_back({*l, g->child(i), true});
        }
    } else {
        out.push_back({box_of(w), w, false});
    }
}

// Every label of the tree below `group` against what its siblings draw,
// their labels included.
void check_labels(Fl_Group* group, std::vector<std::string>& faults) {
    auto* tabs = dynamic_cast<Fl_Tabs*>(group);
    if (tabs != nullptr) {
        int needed = 0;
        const int i = first_tab_past_the_edge(tabs, needed);
        if (i > 0) {
            faults.push_back("tab " + describe(tabs->child(i)) + " runs over tab " + describe(tabs->child(i - 1)) +
                             ": the tabs need " + std::to_string(needed) + " pixels of " + describe(tabs));
        }
    }
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* c = group->child(i);
        // The labels of a tab set's pages are its tabs.
        const std::optional<Rect> label = tabs != nullptr ? std::nullopt : label_extent(c);
        for (int j = 0; label && j < group->children(); ++j) {
            Fl_Widget* d = group->child(j);
            if (j == i) continue;
            std::vector<Drawn> drawn;
            drawn_parts(d, drawn);
            // Two labels side by side are reported once.
            if (j > i)
                if (const std::optional<Rect> l = label_extent(d)) drawn.push_back({*l, d, true});
            for (const Drawn& part : drawn) {
                if (!label->overlaps(part.rect)) continue;
                std::ostringstream fault;
                fault << "label of " << describe(c) << " at " << *label << " runs over "
                      << (part.label ? "the label of " : "") << describe(part.owner) << " at " << part.rect;
                faults.push_back(fault.str());
            }
        }
        if (Fl_Group* inner = c->as_group()) check_labels(inner, faults);
    }
}

class PanelLayout : public ::testing::Test {
protected:
    void SetUp() override {
        fl_open_display();
        app_state.options = default_options();
        panel = &build_control_panel(app_state);
    }
    void TearDown() override { delete panel->main_window; }

    ControlPanel* panel = nullptr;
};

TEST_F(PanelLayout, EverySpecifiedWidgetHasItsPlaceLabelRangeAndFirstValue) {
    const std::vector<Row> rows = specified_layout();
    std::vector<Fl_Widget*> found(rows.size(), nullptr);
    found[0] = panel->main_window;
    EXPECT_EQ(box_of(panel->main_window).w, rows[0].box.w);
    EXPECT_EQ(box_of(panel->main_window).h, rows[0].box.h);
    for (size_t i = 1; i < rows.size(); ++i) {
        const Row& row = rows[i];
        size_t parent = i - 1;
        while (rows[parent].depth != row.depth - 1) --parent;
        const std::string what = kind_name(*row.kind) + " \"" + (row.label ? row.label : "") + "\" (row " +
                                 std::to_string(i) + ")";
        Fl_Group* group = found[parent] != nullptr ? found[parent]->as_group() : nullptr;
        if (group == nullptr) {
            ADD_FAILURE() << what << ": its parent is missing";
            continue;
        }
        int ordinal = 0;
        for (size_t k = parent + 1; k < i; ++k) {
            if (rows[k].depth == row.depth && *rows[k].kind == *row.kind && same_label(rows[k].label, row.label))
                ++ordinal;
        }
        Fl_Widget* w = find_child(group, row, ordinal);
        found[i] = w;
        if (w == nullptr) {
            ADD_FAILURE() << what << " is missing from " << describe(group);
            continue;
        }
        const Rect box = box_of(w);
        EXPECT_TRUE(box.x == row.box.x && box.y == row.box.y && box.w == row.box.w && box.h == row.box.h)
            << what << " is at " << box << ", not " << row.box;
        if (row.range) {
            const auto* v = dynamic_cast<Fl_Valuator*>(w);
            ASSERT_NE(v, nullptr) << what;
            EXPECT_DOUBLE_EQ(v->minimum(), row.range->low) << what;
            EXPECT_DOUBLE_EQ(v->maximum(), row.range->high) << what;
            EXPECT_DOUBLE_EQ(v->step(), row.range->step) << what;
        }
        if (row.initial) {
            if (const auto* v = dynamic_cast<Fl_Valuator*>(w)) {
                EXPECT_DOUBLE_EQ(v->value(), *row.initial) << what;
            } else {
                const auto* b = dynamic_cast<Fl_Button*>(w);
                ASSERT_NE(b, nullptr) << what;
                EXPECT_EQ(b->value(), *row.initial) << what;
            }
        }
    }
}

TEST_F(PanelLayout, NoLabelRunsOverAnotherWidgetOrLabel) {
    std::vector<std::string> faults;
    check_labels(panel->main_window, faults);
    for (const std::string& fault : faults) ADD_FAILURE() << fault;
}

}  // namespace
