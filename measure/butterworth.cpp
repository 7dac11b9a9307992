#include "measure/butterworth.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

// Direct form II transposed from state (z0, z1), as scipy.signal.lfilter.
void run(const Biquad& f, std::span<const double> x, std::span<double> y, double z0, double z1) {
    for (size_t i = 0; i < x.size(); ++i) {
        const double in = x[i];
        const double out = f.b[0] * in + z0;
        z0 = f.b[1] * in - f.a[1] * out + z1;
        z1 = f.b[2] * in - f.a[2] * out;
        y[i] = out;
    }
}

// The state in which a constant input of 1 passes unchanged (scipy's
// lfilter_zi): (I - A) z = B for the companion matrix A of a.
void steady_state(const Biquad& f, double& z0, double& z1) {
    const double b0 = f.b[1] - f.a[1] * f.b[0], b1 = f.b[2] - f.a[2] * f.b[0];
    z0 = (b0 + b1) / (1.0 + f.a[1] + f.a[2]);
    z1 = b1 - f.a[2] * z0;
}

double mean_square_removed(std::span<const std::span<const double>> stretches, double cutoff_hz, double rate_hz,
                           std::vector<double>& work) {
    double sum = 0.0;
    size_t count = 0;
    for (const std::span<const double> s : stretches) {
        if (s.size() < 3) continue;
        work.resize(s.size());
        zero_phase_low_pass(s, cutoff_hz, rate_hz, work);
        for (size_t i = 0; i < s.size(); ++i) sum += (s[i] - work[i]) * (s[i] - work[i]);
        count += s.size();
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

}  // namespace

Biquad butterworth_low_pass(double cutoff_hz, double rate_hz) {
    assert(cutoff_hz > 0.0 && cutoff_hz < rate_hz / 2 && "a cutoff between 0 and the Nyquist frequency");
    const double k = std::tan(std::numbers::pi * cutoff_hz / rate_hz);
    const double norm = 1.0 / (1.0 + std::numbers::sqrt2 * k + k * k);
    Biquad f{};
    f.b[0] = k * k * norm;
    f.b[1] = 2.0 * f.b[0];
    f.b[2] = f.b[0];
    f.a[0] = 1.0;
    f.a[1] = 2.0 * (k * k - 1.0) * norm;
    f.a[2] = (1.0 - std::numbers::sqrt2 * k + k * k) * norm;
    return f;
}

void filter_forward_backward(const Biquad& f, std::span<const double> x, std::span<double> out, size_t padding) {
    const size_t n = x.size();
    if (n < 2) {
        std::copy(x.begin(), x.end(), out.begin());
        return;
    }
    const size_t pad = std::min(padding, n - 1);
    // Odd reflection: the signal turned about its end point, so the padding
    // continues its slope instead of folding back.
    std::vector<double> padded(n + 2 * pad), pass(n + 2 * pad);
    for (size_t i = 0; i < pad; ++i) {
        padded[i] = 2.0 * x[0] - x[pad - i];
        padded[pad + n + i] = 2.0 * x[n - 1] - x[n - 2 - i];
    }
    std::copy(x.begin(), x.end(), padded.begin() + static_cast<std::ptrdiff_t>(pad));
    double z0 = 0.0, z1 = 0.0;
    steady_state(f, z0, z1);
    run(f, padded, pass, z0 * padded.front(), z1 * padded.front());
    std::reverse(pass.begin(), pass.end());
    run(f, pass, padded, z0 * pass.front(), z1 * pass.front());
    std::reverse(padded.begin(), padded.end());
    std::copy_n(padded.begin() + static_cast<std::ptrdiff_t>(pad), n, out.begin());
}

double highest_cutoff_hz(double rate_hz) { return 0.38 * rate_hz; }

size_t padding_for(double cutoff_hz, double rate_hz) {
    return std::max<size_t>(9, static_cast<size_t>(std::ceil(3.0 * rate_hz / cutoff_hz)));
}

void zero_phase_low_pass(std::span<const double> x, double cutoff_hz, double rate_hz, std::span<double> out) {
    filter_forward_backward(butterworth_low_pass(cutoff_hz / kDoublePassCorrection, rate_hz), x, out,
                            padding_for(cutoff_hz, rate_hz));
}

double residual_cutoff_hz(std::span<const std::span<const double>> stretches, double rate_hz) {
    size_t samples = 0;
    for (const std::span<const double> s : stretches)
        if (s.size() >= 3) samples += s.size();
    if (samples < 8 || !(rate_hz > 0.0)) return std::numeric_limits<double>::quiet_NaN();

    constexpr int kSteps = 100;
    const double step = highest_cutoff_hz(rate_hz) / kSteps;
    std::vector<double> residual(kSteps + 1), work;
    for (int k = 1; k <= kSteps; ++k) residual[k] = std::sqrt(mean_square_removed(stretches, k * step, rate_hz, work));

    // The straight line of noise alone, fitted by least squares where the
    // curve is straight: above most motions, below the top quarter where the
    // filter's warping near the Nyquist frequency bends it down. Its value at
    // cutoff 0.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int count = 0;
    for (int k = kSteps * 35 / 100; k <= kSteps * 75 / 100; ++k) {
        const double fc = k * step;
        sx += fc, sy += residual[k], sxx += fc * fc, sxy += fc * residual[k];
        ++count;
    }
    const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
    const double noise = (sy - slope * sx) / count;

    if (residual[1] <= noise) return step;
    for (int k = 2; k <= kSteps; ++k) {
        if (residual[k] <= noise) {
            // Between the two cutoffs around the crossing, on a straight line.
            const double t = (residual[k - 1] - noise) / (residual[k - 1] - residual[k]);
            return (k - 1 + t) * step;
        }
    }
    return kSteps * step;
}
