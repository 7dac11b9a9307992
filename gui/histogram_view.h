#pragma once
// The grey-level histogram of the camera frame on a logarithmic scale, with
// the threshold as a red line. Pressing or dragging in it moves the line and
// fires the widget's callback, which sets the threshold.

#include <FL/Fl_Widget.H>

#include <cstdint>

#include "camera/histogram.h"

class HistogramView final : public Fl_Widget {
public:
    HistogramView(int x, int y, int w, int h, const char* label);

    // Redraws only what changed.
    void set_histogram(const GreyHistogram& histogram);
    void set_threshold(int32_t threshold);
    int32_t threshold() const { return threshold_; }
    const GreyHistogram& histogram() const { return histogram_; }

    // The grey value drawn at window column `x` (clamped to 0 to 255), and
    // the column where grey value `grey` starts.
    int32_t grey_at(int x) const;
    int column_of(int32_t grey) const;

    int handle(int event) override;

protected:
    void draw() override;

private:
    int plot_x() const { return x() + 1; }
    int plot_w() const { return w() - 2; }
    int plot_h() const { return h() - 2 - kScaleHeight; }

    static constexpr int kScaleHeight = 14;  // the grey-value scale under the bars

    GreyHistogram histogram_{};
    uint32_t total_ = 0;
    int32_t threshold_ = 0;
};
