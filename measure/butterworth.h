#pragma once
// The zero-phase low-pass filter of biomechanics: a 2nd-order Butterworth run
// forward and then backward, so the output keeps the timing of its input, and
// the cutoff chosen from the data by residual analysis when asked.

#include <cstddef>
#include <span>

// One 2nd-order section, a[0] = 1.
struct Biquad {
    double b[3];
    double a[3];
};

// The 2nd-order Butterworth low-pass with its -3 dB point at `cutoff_hz` for
// samples `rate_hz` apart, by the bilinear transform with the cutoff
// prewarped: the coefficients of scipy.signal.butter(2, cutoff / (rate / 2)).
// The cutoff must lie between 0 and rate / 2.
Biquad butterworth_low_pass(double cutoff_hz, double rate_hz);

// The filter forward, then backward over its own output, as
// scipy.signal.filtfilt(b, a, x, padlen=padding) does: each end is padded by
// odd reflection (2 x[0] - x[k]) over `padding` samples (n - 1 for a shorter
// signal), and each pass starts from the filter's steady state for its first
// sample. `out` is as long as `x`.
void filter_forward_backward(const Biquad& f, std::span<const double> x, std::span<double> out, size_t padding = 9);

// The padding a double pass at `cutoff_hz` gets: three of its periods, so
// the start of each pass has died away before the signal begins (a ramp
// then passes unbent), and never fewer than SciPy's 9 samples.
size_t padding_for(double cutoff_hz, double rate_hz);

// Two passes of a 2nd-order filter fall to -3 dB at 0.802 of the cutoff of
// one: the cutoff of each pass is the wanted one divided by this.
constexpr double kDoublePassCorrection = 0.802;

// The highest cutoff a double pass can have for samples at `rate_hz`: its
// corrected cutoff stays below the Nyquist frequency.
double highest_cutoff_hz(double rate_hz);

// x low-passed at `cutoff_hz` (the double pass's own -3 dB point) with zero
// phase, for samples at `rate_hz`, padded as padding_for says.
void zero_phase_low_pass(std::span<const double> x, double cutoff_hz, double rate_hz, std::span<double> out);

// The cutoff by residual analysis: the root mean square of what filtering at
// a cutoff takes away falls as the cutoff rises, and beyond the signal's own
// frequencies falls along a straight line of noise alone (fitted between 35
// and 75 % of the highest cutoff). Where that line meets the cutoff 0 lies
// the residual of the noise; the cutoff is where the residual curve comes
// down to it. `stretches` are the signal's gap-free
// pieces, pooled; the cutoff is searched from highest_cutoff_hz / 100 up to
// highest_cutoff_hz. NaN when there are fewer than 8 samples in pieces of 3
// or more.
double residual_cutoff_hz(std::span<const std::span<const double>> stretches, double rate_hz);
