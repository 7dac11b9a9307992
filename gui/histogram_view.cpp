#include "gui/histogram_view.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <numeric>
#include <string>

HistogramView::HistogramView(int x, int y, int w, int h, const char* label) : Fl_Widget(x, y, w, h, label) {
    box(FL_DOWN_BOX);
    align(FL_ALIGN_TOP | FL_ALIGN_LEFT);
    when(FL_WHEN_CHANGED);
}

void HistogramView::set_histogram(const GreyHistogram& histogram) {
    if (histogram == histogram_) return;
    histogram_ = histogram;
    total_ = std::accumulate(histogram_.begin(), histogram_.end(), 0u);
    redraw();
}

void HistogramView::set_threshold(int32_t threshold) {
    threshold = std::clamp(threshold, 0, 255);
    if (threshold == threshold_) return;
    threshold_ = threshold;
    redraw();
}

// The grey value whose bar covers column x: the largest g with column_of(g) <= x.
int32_t HistogramView::grey_at(int x) const {
    const int d = std::max(x - plot_x(), 0);
    return std::clamp(static_cast<int32_t>(((d + 1) * 256 - 1) / plot_w()), 0, 255);
}

int HistogramView::column_of(int32_t grey) const { return plot_x() + grey * plot_w() / 256; }

int HistogramView::handle(int event) {
    switch (event) {
        case FL_PUSH:
        case FL_DRAG: {
            const int32_t t = grey_at(Fl::event_x());
            if (t != threshold_) {
                set_threshold(t);
                do_callback();
            }
            return 1;
        }
        case FL_RELEASE:
            return 1;
        default:
            return Fl_Widget::handle(event);
    }
}

void HistogramView::draw() {
    draw_box();
    const int top = y() + 1;
    const int bottom = top + plot_h();  // one past the lowest bar row
    fl_push_clip(x() + 1, top, w() - 2, h() - 2);
    fl_color(FL_BLACK);
    fl_rectf(plot_x(), top, plot_w(), plot_h());
    // Bars: grey below the threshold, light yellow for what passes it.
    for (int32_t g = 0; g < 256; ++g) {
        const int height = static_cast<int>(log_bar_height(histogram_[static_cast<size_t>(g)], total_) * plot_h() + 0.5);
        if (height <= 0) continue;
        const int left = column_of(g);
        const int width = std::max(1, column_of(g + 1) - left);
        fl_color(threshold_ >= 1 && g >= threshold_ ? fl_rgb_color(230, 220, 120) : fl_rgb_color(170, 170, 170));
        fl_rectf(left, bottom - height, width, height);
    }
    // The threshold line, two pixels wide.
    fl_color(FL_RED);
    const int line = column_of(threshold_);
    fl_rectf(line, top, 2, plot_h());
    fl_font(FL_HELVETICA, 11);
    const std::string label = std::to_string(threshold_);
    const int text_w = static_cast<int>(fl_width(label.c_str()));
    const int text_x = line + 4 + text_w < plot_x() + plot_w() ? line + 4 : line - 3 - text_w;
    fl_draw(label.c_str(), text_x, top + 12);
    // The grey-value scale.
    fl_color(FL_FOREGROUND_COLOR);
    for (const int32_t g : {0, 64, 128, 192, 255}) {
        const std::string mark = std::to_string(g);
        const int cx = column_of(g) + (g == 255 ? plot_w() / 256 : 0);
        fl_line(cx, bottom, cx, bottom + 3);
        const int mw = static_cast<int>(fl_width(mark.c_str()));
        fl_draw(mark.c_str(), std::clamp(cx - mw / 2, plot_x(), plot_x() + plot_w() - mw), bottom + kScaleHeight - 2);
    }
    fl_pop_clip();
}
