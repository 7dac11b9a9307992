#include "app/batch_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

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

namespace {

// A line of the terminal block stays within 80 columns: a wrapped line would
// throw the redraw off by a line.
constexpr int kNameWidthLimit = 20;

}  // namespace

std::string board_line(const std::string& name, int name_width, const ProgressFigures& f, bool terminal) {
    if (!terminal) return name + ": " + progress_line(f);
    std::string shown = static_cast<int>(name.size()) > name_width && name_width > 3
                            ? "..." + name.substr(name.size() - static_cast<size_t>(name_width - 3))
                            : name;
    shown.resize(static_cast<size_t>(std::max(name_width, static_cast<int>(shown.size()))), ' ');
    return shown + "  " + progress_bar(f, 10);
}

ProgressBoard::ProgressBoard(std::ostream& out, bool terminal, std::vector<std::string> names)
    : out_(out), terminal_(terminal), names_(std::move(names)), slots_(names_.size()) {
    for (const std::string& n : names_) name_width_ = std::max(name_width_, static_cast<int>(n.size()));
    name_width_ = std::min(name_width_, kNameWidthLimit);
    for (Slot& s : slots_) s.board = this;
}

void ProgressBoard::Slot::begin(int64_t total) {
    const std::lock_guard<std::mutex> lock(board->mutex_);
    figures.total = total;
    begun = true;
}

void ProgressBoard::Slot::update(int64_t done, double seconds) {
    const std::lock_guard<std::mutex> lock(board->mutex_);
    figures.done = done;
    figures.seconds = seconds;
}

void ProgressBoard::end(size_t i, const std::string& last_line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    slots_[i].ended = true;
    slots_[i].last_line = last_line;
}

void ProgressBoard::draw(double seconds, bool interrupted) {
    std::string text;
    int running = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const bool lines_due = terminal_ || seconds - shown_at_ >= 2.0;
        if (lines_due) shown_at_ = seconds;
        for (Slot& s : slots_) {
            if (!s.ended || s.told) continue;
            s.told = true;
            text += s.last_line + '\n';
        }
        for (size_t i = 0; i < slots_.size() && lines_due; ++i) {
            const Slot& s = slots_[i];
            if (!s.begun || s.ended) continue;
            text += board_line(names_[i], name_width_, s.figures, terminal_) + '\n';
            ++running;
        }
    }
    if (terminal_) {
        // Back to the block's first line and clear it and what follows; after
        // another writer, the old block stays and a new one starts below.
        if (interrupted) {
            out_ << '\n';
        } else if (drawn_ > 0) {
            out_ << "\033[" << drawn_ << 'F';
        }
        out_ << "\033[J";
        drawn_ = running;
    }
    out_ << text << std::flush;
}
