"""The zero-phase Butterworth filter against SciPy's butter and filtfilt, to
1e-9 of the signal's size, on signals that stress it: white noise, a sine in
noise, a step, a ramp, and signals shorter than the padding."""

import math
import subprocess
import sys
import unittest

import numpy as np
from scipy import signal

PROBE = sys.argv.pop(1)


def run_probe(mode, cutoff, rate, x=None):
    text = "" if x is None else "\n".join(repr(float(v)) for v in x)
    return subprocess.run([PROBE, mode, repr(cutoff), repr(rate)], input=text, capture_output=True, text=True,
                          check=True)


def probe(mode, cutoff, rate, x=None):
    return np.array([float(v) for v in run_probe(mode, cutoff, rate, x).stdout.split()])


def signals():
    rng = np.random.default_rng(7)
    t = np.arange(300) / 100.0
    yield "noise", rng.normal(size=500)
    yield "sine in noise", 40 * np.sin(2 * np.pi * 1.5 * t) + rng.normal(scale=2, size=t.size)
    yield "step", np.where(np.arange(120) < 60, -3.0, 170.0)
    yield "ramp", 0.5 * np.arange(64) + 12
    yield "ten samples", rng.normal(size=10)
    yield "three samples", np.array([1.0, 4.0, -2.0])


class ButterworthAgainstScipy(unittest.TestCase):
    def test_coefficients(self):
        for cutoff, rate in [(6.0, 100.0), (0.5, 30.0), (45.0, 100.0), (12.5, 240.0)]:
            b, a = signal.butter(2, cutoff / (rate / 2))
            np.testing.assert_allclose(probe("butter", cutoff, rate), np.concatenate([b, a]), rtol=0, atol=1e-12)

    def test_forward_backward(self):
        for name, x in signals():
            for cutoff, rate in [(6.0, 100.0), (20.0, 60.0)]:
                b, a = signal.butter(2, cutoff / (rate / 2))
                # SciPy pads 9 samples; a shorter signal takes n - 1.
                want = signal.filtfilt(b, a, x, padlen=min(9, x.size - 1))
                got = probe("filtfilt", cutoff, rate, x)
                scale = max(1.0, np.max(np.abs(x)))
                self.assertLessEqual(np.max(np.abs(got - want)), 1e-9 * scale, f"{name} at {cutoff} Hz")

    def test_double_pass_cutoff_is_corrected_and_padded_by_its_periods(self):
        _, x = next(signals())
        for cutoff, rate in [(6.0, 100.0), (0.5, 60.0)]:
            done = run_probe("lowpass", cutoff, rate, x)
            padding = int(done.stderr)
            self.assertEqual(padding, max(9, math.ceil(3 * rate / cutoff)))
            b, a = signal.butter(2, (cutoff / 0.802) / (rate / 2))
            want = signal.filtfilt(b, a, x, padlen=min(padding, x.size - 1))
            np.testing.assert_allclose([float(v) for v in done.stdout.split()], want, rtol=0, atol=1e-9)


if __name__ == "__main__":
    unittest.main()
