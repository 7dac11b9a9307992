// The filter as a command for the SciPy comparison (butterworth_scipy_test.py):
//   filter_probe butter CUTOFF RATE          the coefficients b0 b1 b2 a0 a1 a2
//   filter_probe filtfilt CUTOFF RATE < x    one pass each way at CUTOFF, padded with 9
//   filter_probe lowpass CUTOFF RATE < x     the double pass with its cutoff corrected;
//                                            the padding it used goes to standard error
// Samples are read and written one per line, with every digit a double holds.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "measure/butterworth.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const double cutoff = std::strtod(argv[2], nullptr), rate = std::strtod(argv[3], nullptr);
    if (std::strcmp(argv[1], "butter") == 0) {
        const Biquad f = butterworth_low_pass(cutoff, rate);
        std::printf("%.17g %.17g %.17g %.17g %.17g %.17g\n", f.b[0], f.b[1], f.b[2], f.a[0], f.a[1], f.a[2]);
        return 0;
    }
    std::vector<double> x;
    double v = 0.0;
    while (std::scanf("%lf", &v) == 1) x.push_back(v);
    std::vector<double> y(x.size());
    if (std::strcmp(argv[1], "filtfilt") == 0)
        filter_forward_backward(butterworth_low_pass(cutoff, rate), x, y);
    else if (std::strcmp(argv[1], "lowpass") == 0) {
        zero_phase_low_pass(x, cutoff, rate, y);
        std::fprintf(stderr, "%zu\n", padding_for(cutoff, rate));
    }
    else
        return 2;
    for (const double s : y) std::printf("%.17g\n", s);
    return 0;
}
