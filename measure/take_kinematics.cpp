#include "measure/take_kinematics.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <functional>
#include <cstdio>
#include <span>

#include "base/number_text.h"
#include "measure/butterworth.h"
#include "measure/frame_sink.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// [first, last) of the frames of one gap-free stretch.
struct Stretch {
    size_t first;
    size_t last;
};

// The runs of consecutive valid samples.
std::vector<Stretch> stretches_of(const std::vector<char>& valid) {
    std::vector<Stretch> out;
    for (size_t f = 0; f < valid.size();) {
        if (!valid[f]) {
            ++f;
            continue;
        }
        size_t e = f;
        while (e < valid.size() && valid[e]) ++e;
        out.push_back(Stretch{f, e});
        f = e;
    }
    return out;
}

// One signal of one node over the take: its samples (meaningful where valid)
// and the stretches it falls into.
struct Signal {
    std::vector<double> samples;
    std::vector<Stretch> stretches;
};

double filter_signal(Signal& s, double cutoff_hz, double rate_hz, std::vector<double>& out) {
    if (!(cutoff_hz > 0.0)) {
        std::vector<std::span<const double>> pieces;
        for (const Stretch& st : s.stretches)
            pieces.emplace_back(std::span<const double>(s.samples).subspan(st.first, st.last - st.first));
        cutoff_hz = residual_cutoff_hz(pieces, rate_hz);
    }
    out.assign(s.samples.size(), kNaN);
    if (!std::isfinite(cutoff_hz)) return cutoff_hz;
    for (const Stretch& st : s.stretches) {
        const size_t n = st.last - st.first;
        zero_phase_low_pass(std::span<const double>(s.samples).subspan(st.first, n), cutoff_hz, rate_hz,
                            std::span<double>(out).subspan(st.first, n));
    }
    return cutoff_hz;
}

// Central differences per second inside each stretch; NaN at its ends.
std::vector<double> rate_of_change(const std::vector<double>& v, const std::vector<Stretch>& stretches,
                                   const std::vector<double>& times_ms) {
    std::vector<double> out(v.size(), kNaN);
    for (const Stretch& st : stretches)
        for (size_t f = st.first + 1; f + 1 < st.last; ++f)
            out[f] = (v[f + 1] - v[f - 1]) / ((times_ms[f + 1] - times_ms[f - 1]) / 1000.0);
    return out;
}

double wrapped(double degrees) {
    const double r = std::remainder(degrees, 360.0);
    return r <= -180.0 ? r + 360.0 : r;
}

double median_interval_ms(const std::vector<double>& times_ms) {
    std::vector<double> d;
    for (size_t f = 1; f < times_ms.size(); ++f) d.push_back(times_ms[f] - times_ms[f - 1]);
    if (d.empty()) return kNaN;
    std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
    return d[d.size() / 2];
}

std::string hz(double v) {
    if (!std::isfinite(v)) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f Hz", v);
    return buf;
}

// The position a sample's numbers are taken from.
PlanePoint used_position(const FrameTable& t, size_t i) {
    if (i < t.sub_pixel_centres.size() && t.sub_pixel_centres[i].known())
        return PlanePoint{t.sub_pixel_centres[i].x, t.sub_pixel_centres[i].y};
    return PlanePoint{static_cast<double>(t.nodes[i].x), static_cast<double>(t.nodes[i].y)};
}

// The polynomial through (ts[j], vs[j]) at t (Lagrange's form).
double through(const std::vector<double>& ts, const std::vector<double>& vs, double t) {
    double sum = 0.0;
    for (size_t j = 0; j < ts.size(); ++j) {
        double term = vs[j];
        for (size_t m = 0; m < ts.size(); ++m)
            if (m != j) term *= (t - ts[m]) / (ts[j] - ts[m]);
        sum += term;
    }
    return sum;
}

}  // namespace

bool is_gap(NodeState state) { return state == NodeState::held || state == NodeState::predicted; }

int64_t fill_gaps(FrameTable& t, int32_t max_frames) {
    const size_t k = static_cast<size_t>(std::max(t.nodes_per_frame, 0));
    const size_t frames = t.frame_count();
    if (max_frames <= 0 || k == 0 || t.states.size() < frames * k || t.nodes.size() < frames * k) return 0;
    int64_t filled = 0;
    for (size_t n = 0; n < k; ++n) {
        const auto at = [&](size_t f) { return f * k + n; };
        // A measurement that can carry the curve: not a gap, not filled itself.
        const auto support = [&](size_t f) { return !is_gap(t.states[at(f)]) && t.states[at(f)] != NodeState::filled; };
        for (size_t f = 0; f < frames;) {
            if (!is_gap(t.states[at(f)])) {
                ++f;
                continue;
            }
            size_t end = f;
            while (end < frames && is_gap(t.states[at(end)])) ++end;
            const size_t first = f;
            f = end;
            if (first == 0 || end == frames || end - first > static_cast<size_t>(max_frames)) continue;
            if (!support(first - 1) || !support(end)) continue;
            std::vector<double> ts, xs, ys;
            const auto take = [&](size_t g) {
                const PlanePoint p = used_position(t, at(g));
                ts.push_back(t.times_ms[g]);
                xs.push_back(p.x);
                ys.push_back(p.y);
            };
            if (first >= 2 && support(first - 2)) take(first - 2);
            take(first - 1);
            take(end);
            if (end + 1 < frames && support(end + 1)) take(end + 1);
            if (t.sub_pixel_centres.size() < frames * k) t.sub_pixel_centres.resize(frames * k);
            const int32_t value = t.nodes[at(first - 1)].value;
            for (size_t g = first; g < end; ++g) {
                const double x = through(ts, xs, t.times_ms[g]), y = through(ts, ys, t.times_ms[g]);
                t.sub_pixel_centres[at(g)] = SubPixelCentre{static_cast<float>(x), static_cast<float>(y)};
                t.nodes[at(g)] = ModelNode{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)), value};
                t.states[at(g)] = NodeState::filled;
                ++filled;
            }
        }
    }
    return filled;
}

bool take_kinematics(const FrameTable& t, const MeasureContext& context, double cutoff_hz, TakeKinematics& out,
                     std::string& error) {
    const size_t k = static_cast<size_t>(std::max(t.nodes_per_frame, 0));
    const size_t frames = t.frame_count();
    const double interval = median_interval_ms(t.times_ms);
    if (frames < 2 || !(interval > 0.0)) {
        error = "cannot filter a take whose frame times do not rise";
        return false;
    }
    const double rate = 1000.0 / interval;
    if (cutoff_hz > 0.0 && !(cutoff_hz < highest_cutoff_hz(rate))) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "a cutoff of %g Hz is too high for %.3g frames per second (at most %.3g Hz)",
                      cutoff_hz, rate, highest_cutoff_hz(rate));
        error = buf;
        return false;
    }

    TakeKinematics r;
    r.nodes = static_cast<int32_t>(k);
    r.rate_hz = rate;
    r.angle_deg.assign(frames * k, kNaN);
    r.angle_f_deg.assign(frames * k, kNaN);
    r.omega_dps.assign(frames * k, kNaN);
    r.speed.assign(frames * k, kNaN);
    r.angle_cutoff_hz.assign(k, kNaN);
    r.x_cutoff_hz.assign(k, kNaN);
    r.y_cutoff_hz.assign(k, kNaN);

    // Every frame measured once, as the CSV measures it.
    std::vector<Signal> angle(k), x(k), y(k);
    std::vector<std::vector<char>> angle_valid(k, std::vector<char>(frames)), position_valid = angle_valid;
    const bool world = context.geometry != nullptr && context.calibration != nullptr;
    for (size_t n = 0; n < k; ++n) angle[n].samples.resize(frames), x[n].samples.resize(frames), y[n].samples.resize(frames);
    // The table's frames as measure_take gives them to the CSV.
    class Collect final : public FrameSink {
    public:
        explicit Collect(const std::function<void(const FrameMeasure&)>& each) : each_(each) {}
        bool take(const FrameMeasure& m) override {
            each_(m);
            return true;
        }

    private:
        const std::function<void(const FrameMeasure&)>& each_;
    };
    const std::function<void(const FrameMeasure&)> each = [&](const FrameMeasure& m) {
        const auto f = static_cast<size_t>(m.frame);
        for (size_t n = 0; n < k; ++n) {
            const NodeMeasure& node = m.nodes[n];
            const double px = world ? node.world_x : node.u, py = world ? node.world_y : node.v;
            x[n].samples[f] = px;
            y[n].samples[f] = py;
            position_valid[n][f] = !is_gap(node.state) && std::isfinite(px) && std::isfinite(py);
            angle[n].samples[f] = node.angle_deg;
            r.angle_deg[f * k + n] = node.angle_deg;
            bool measured = std::isfinite(node.angle_deg);
            for (size_t j = n > 0 ? n - 1 : n; measured && j <= std::min(n + 1, k - 1); ++j)
                measured = !is_gap(m.nodes[j].state);
            angle_valid[n][f] = measured;
        }
    };
    Collect collect(each);
    measure_take(t, context, nullptr, collect);

    std::vector<double> filtered, fx, fy;
    for (size_t n = 0; n < k; ++n) {
        // Angles unwrapped inside each stretch, so a turn through 180 is no jump.
        Signal& a = angle[n];
        a.stretches = stretches_of(angle_valid[n]);
        for (const Stretch& st : a.stretches)
            for (size_t f = st.first + 1; f < st.last; ++f)
                a.samples[f] = a.samples[f - 1] + wrapped(a.samples[f] - a.samples[f - 1]);
        r.angle_cutoff_hz[n] = filter_signal(a, cutoff_hz, rate, filtered);
        const std::vector<double> omega = rate_of_change(filtered, a.stretches, t.times_ms);
        for (size_t f = 0; f < frames; ++f) {
            r.angle_f_deg[f * k + n] = std::isfinite(filtered[f]) ? wrapped(filtered[f]) : kNaN;
            r.omega_dps[f * k + n] = omega[f];
        }

        x[n].stretches = y[n].stretches = stretches_of(position_valid[n]);
        r.x_cutoff_hz[n] = filter_signal(x[n], cutoff_hz, rate, fx);
        r.y_cutoff_hz[n] = filter_signal(y[n], cutoff_hz, rate, fy);
        const std::vector<double> vx = rate_of_change(fx, x[n].stretches, t.times_ms);
        const std::vector<double> vy = rate_of_change(fy, y[n].stretches, t.times_ms);
        for (size_t f = 0; f < frames; ++f) r.speed[f * k + n] = std::hypot(vx[f], vy[f]);
    }
    out = std::move(r);
    return true;
}

void apply_kinematics(const TakeKinematics& k, size_t frame, FrameMeasure& m) {
    const size_t nodes = static_cast<size_t>(k.nodes);
    if ((frame + 1) * nodes > k.angle_f_deg.size()) return;
    for (size_t n = 0; n < std::min(nodes, m.nodes.size()); ++n) {
        m.nodes[n].angle_f_deg = k.angle_f_deg[frame * nodes + n];
        m.nodes[n].omega_dps = k.omega_dps[frame * nodes + n];
        m.nodes[n].speed = k.speed[frame * nodes + n];
    }
}

bool measure_take(const FrameTable& table, const MeasureContext& context, const TakeKinematics* kinematics,
                  FrameSink& sink) {
    const size_t k = static_cast<size_t>(std::max(table.nodes_per_frame, 0));
    const size_t count = table.frame_count();
    assert(table.nodes.size() == count * k && table.states.size() == count * k && "a table of whole frames");
    if (table.nodes.size() < count * k || table.states.size() < count * k) return true;
    // A table filled without centres has none in any frame.
    const bool centres = table.sub_pixel_centres.size() >= count * k;
    FrameMeasure frame;
    for (size_t f = 0; f < count; ++f) {
        measure_frame(static_cast<int64_t>(f), table.times_ms[f], std::span(table.nodes).subspan(f * k, k),
                      std::span(table.states).subspan(f * k, k),
                      centres ? std::span(table.sub_pixel_centres).subspan(f * k, k)
                              : std::span<const SubPixelCentre>{},
                      context, frame);
        if (kinematics != nullptr) apply_kinematics(*kinematics, f, frame);
        if (!sink.take(frame)) return false;
    }
    return true;
}

std::string describe_cutoffs(const TakeKinematics& k) {
    std::string out;
    for (size_t n = 0; n < static_cast<size_t>(k.nodes); ++n)
        out.append("n").append(std::to_string(n)).append(": angle ").append(hz(k.angle_cutoff_hz[n]))
            .append(", x ").append(hz(k.x_cutoff_hz[n])).append(", y ").append(hz(k.y_cutoff_hz[n])).append("\n");
    return out;
}

bool parse_cutoff(std::string_view text, double& cutoff_hz) {
    if (text == "auto") {
        cutoff_hz = 0.0;
        return true;
    }
    const double hz = number_of(text).value_or(0.0);
    if (!(hz > 0.0)) return false;
    cutoff_hz = hz;
    return true;
}

ProcessedTake process_take(FrameTable& table, const MeasureContext& context, const TakeProcessing& processing) {
    ProcessedTake out;
    if (processing.fill_gaps > 0) out.filled = fill_gaps(table, processing.fill_gaps);
    if (processing.filter)
        out.filtered = take_kinematics(table, context, processing.cutoff_hz, out.kinematics, out.filter_error);
    return out;
}
