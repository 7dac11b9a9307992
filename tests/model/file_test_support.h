#pragma once
// Expectations shared by the model and animation file tests, written out by hand.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace file_test_support {

// The default three-node model as the model file must hold it.
inline const std::string kDefaultModelText =
    "3\t1\t1\t0\t1\n"
    "50\t200\t255\t\t1\t1\t50\t100\t\t0\t0\t1\t0.5\t\n"
    "100\t200\t255\t\t1\t1\t100\t100\t\t0\t0\t1\t0.5\t\n"
    "150\t200\t255\t\t1\t1\t150\t100\t\t0\t0\t1\t0.5\t\n";

// A float as it comes back from a file: rounded to six significant digits by
// printf and read back by strtof.
inline float six_digits(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return std::strtof(buf, nullptr);
}

}  // namespace file_test_support
