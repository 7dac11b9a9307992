#include "app/batch_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double rate(const ProgressFigures& f) { return f.seconds > 0 ? static_cast<double>(f.done) / f.seconds : 0.0; }

// "m:ss" left at the present rate; "-:--" before there is a rate.
std::string time_left(const ProgressFigures& f) {
    const double r = rate(f);
    if (r <= 0) return "-:--";
    const auto left = static_cast<int64_t>(std::ceil(static_cast<double>(std::max<int64_t>(f.total - f.done, 0)) / r));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(left / 60), static_cast<long long>(left % 60));
    return buf;
}

std::string count(const ProgressFigures& f) {
    return f.total >= 0 ? std::to_string(f.done) + "/" + std::to_string(f.total) : std::to_string(f.done);
}

}  // namespace

std::string progress_bar(const ProgressFigures& f, int width) {
    const std::string figures = count(f) + " frames   " + std::to_string(std::llround(rate(f))) + " fps";
    if (f.total <= 0) return figures;
    const double share = std::clamp(static_cast<double>(f.done) / static_cast<double>(f.total), 0.0, 1.0);
    const int filled = static_cast<int>(share * width);
    std::string bar(1, '[');
    bar.append(static_cast<size_t>(filled), '#').append(static_cast<size_t>(width - filled), '-');
    bar.append("]   ").append(figures).append("   ").append(time_left(f)).append(" left");
    return bar;
}

std::string progress_line(const ProgressFigures& f) {
    std::string line = count(f) + " frames, " + std::to_string(std::llround(rate(f))) + " frames/s";
    if (f.total > 0) line += ", " + time_left(f) + " left";
    return line;
}

void ProgressReport::update(int64_t done, double seconds) {
    if (seconds - shown_at_ < (terminal_ ? 0.1 : 2.0)) return;
    shown_at_ = seconds;
    const ProgressFigures f{done, total_, seconds};
    // The bar is rewritten in place; the padding wipes a longer old one.
    if (terminal_) {
        out_ << '\r' << progress_bar(f, 30) << "   " << std::flush;
    } else {
        out_ << progress_line(f) << '\n' << std::flush;
    }
}

void ProgressReport::finish(int64_t done, double seconds) {
    const ProgressFigures f{done, total_, seconds};
    if (terminal_) {
        out_ << '\r' << progress_bar(f, 30) << "   \n" << std::flush;
    } else {
        out_ << progress_line(f) << '\n' << std::flush;
    }
}
