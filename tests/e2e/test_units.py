"""Real units from the command line, against pictures whose truth is known:
a bright dot drawn by FFmpeg at known source pixels comes back in nI_u,nI_v
for a 4:3 and a 16:9 video; a scale puts it into millimetres; a marker lost
for two frames is filled; the zero-phase filter gives its speed; and
`velmora calibrate` finds the lens that rendered a checkerboard."""

import csv
import math
import os
import shutil
import subprocess
import sys
import tempfile
import tomllib
import unittest

import harness

BOARD_PICTURES = sys.argv.pop(1) if len(sys.argv) > 1 else ""

FRAMES, RATE = 24, 25
# The dot's centre in source pixels at frame n, and the frames it is gone.
START, STEP = (0.31, 0.42), (0.0123, -0.0071)   # as fractions of the picture's size
GONE = (9, 10)


def dot_at(width, height, n):
    return (START[0] * width + STEP[0] * width * n, START[1] * height + STEP[1] * height * n)


def model_file(x, y):
    return "1\t1\t1\t0\t1\t\n" + f"{x}\t{y}\t255\t\t1\t1\t{x}\t{y}\t\t0\t0\t1\t0.5\t\n"


class UnitsTest(unittest.TestCase):
    def setUp(self):
        if not harness.BINARY:
            self.skipTest("VELMORA_BINARY is not set")
        self.dir = tempfile.mkdtemp(prefix="velmora-units-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        with open(self.path("t100.ini"), "wb") as f:
            f.write(harness.options_image(threshold=100))

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_velmora(self, *args):
        return subprocess.run(["velmora", *args], executable=harness.BINARY, cwd=self.dir, env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=600)

    def dot_video(self, width, height, sigma):
        """A dot of grey 255 with a Gaussian profile on black, drawn at its
        exact sub-pixel centre (geq evaluates each pixel at its centre), gone
        in the GONE frames; stored lossless."""
        u0, v0 = dot_at(width, height, 0)
        du, dv = STEP[0] * width, STEP[1] * height
        lum = (f"if(between(N,{GONE[0]},{GONE[-1]}),0,"
               f"255*exp(-(pow(X-({u0}+{du}*N),2)+pow(Y-({v0}+{dv}*N),2))/{2 * sigma * sigma}))")
        name = self.path(f"dot{width}x{height}.mkv")
        if os.path.exists(name):
            return name
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                        f"nullsrc=size={width}x{height}:rate={RATE},format=gray,geq=lum='{lum}'",
                        "-frames:v", str(FRAMES), "-c:v", "ffv1", name], check=True)
        return name

    def track_dot(self, width, height, sigma, *flags):
        video = self.dot_video(width, height, sigma)
        # The node starts on the dot: its source pixel in the frame (fitted
        # with its aspect, centred), flipped as the options flip the frame.
        scale = min(480 / width, 360 / height)
        left, top = (480 - round(width * scale)) // 2, (360 - round(height * scale)) // 2
        u, v = dot_at(width, height, 0)
        x, row = left + (u + 0.5) * scale - 0.5, top + (v + 0.5) * scale - 0.5
        with open(self.path("dot.txt"), "w") as f:
            f.write(model_file(round(x), round(359 - row)))
        done = self.run_velmora("track", video, "--model", "dot.txt", "--options", "t100.ini", "--csv", "out.csv",
                                *flags)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(self.path("out.csv"), newline="") as f:
            rows = list(csv.DictReader(f))
        self.assertEqual(len(rows), FRAMES)
        return rows, done.stderr

    def test_a_dot_comes_back_at_its_source_pixel(self):
        for width, height, sigma in ((640, 480, 8.0), (1920, 1080, 12.0)):
            rows, _ = self.track_dot(width, height, sigma)
            for n, row in enumerate(rows):
                if n in GONE:
                    self.assertEqual(row["n0_state"], "held")
                    continue
                self.assertEqual(row["n0_state"], "tracked", f"{width}x{height} frame {n}")
                u, v = dot_at(width, height, n)
                self.assertAlmostEqual(float(row["n0_u"]), u, delta=0.1, msg=f"{width}x{height} frame {n}")
                self.assertAlmostEqual(float(row["n0_v"]), v, delta=0.1, msg=f"{width}x{height} frame {n}")

    def test_scale_gap_filling_and_filter_give_millimetres_and_speeds(self):
        width, height = 640, 480
        rows, err = self.track_dot(width, height, 8.0, "--scale", "100,50,300,50,100,mm", "--fill-gaps", "2",
                                   "--filter", "4")
        mm = 100 / 200
        speed = mm * math.hypot(STEP[0] * width, STEP[1] * height) * RATE
        self.assertIn("2 samples filled", err)
        for n, row in enumerate(rows):
            u, v = dot_at(width, height, n)
            # The origin is the bottom-left pixel; y is up.
            self.assertAlmostEqual(float(row["n0_X_mm"]), mm * u, delta=0.05)
            self.assertAlmostEqual(float(row["n0_Y_mm"]), mm * (height - 1 - v), delta=0.05)
            # A straight path: the cubic through the neighbours lies on it.
            self.assertEqual(row["n0_state"], "filled" if n in GONE else "tracked")
            if 0 < n < FRAMES - 1:
                self.assertAlmostEqual(float(row["n0_speed"]), speed, delta=0.01 * speed, msg=f"frame {n}")
        self.assertEqual(rows[0]["n0_speed"], "", "no central difference at the ends")

        # "auto" says what it chose.
        _, err = self.track_dot(width, height, 8.0, "--filter", "auto")
        self.assertIn("cutoffs chosen by residual analysis", err)
        self.assertRegex(err, r"n0: angle [-0-9.]+ Hz|n0: angle -")

    def test_flags_that_cannot_be_used_are_refused(self):
        with open(self.path("m.txt"), "w") as f:
            f.write(model_file(100, 100))
        with open(self.path("bad.toml"), "w") as f:
            f.write("[scale]\na = [1.0, 2.0]\n")
        video = self.dot_video(160, 120, 4.0)
        for flags, status, message in ((["--scale", "1,2,3,4"], 2, "--scale needs"),
                                       (["--scale", "1,2,1,2,5,mm"], 1, "coincide"),
                                       (["--origin", "1,x"], 2, "--origin needs"),
                                       (["--filter", "0"], 2, "--filter needs"),
                                       (["--fill-gaps", "-1"], 2, "--fill-gaps needs"),
                                       (["--calibration", "bad.toml"], 1, "has no \"b\""),
                                       (["--filter", "20"], 1, "too high for 25 frames per second")):
            done = self.run_velmora("track", video, "--model", "m.txt", "--csv", "o.csv", "--options", "t100.ini",
                                    *flags)
            self.assertEqual(done.returncode, status, (flags, done.stderr))
            self.assertIn(message, done.stderr, flags)

    def test_calibrate_finds_the_lens_that_rendered_a_checkerboard(self):
        if not BOARD_PICTURES:
            self.skipTest("no board_pictures program given")
        os.mkdir(self.path("boards"))
        truth = subprocess.run([BOARD_PICTURES, self.path("boards"), "12"], check=True, stdout=subprocess.PIPE,
                               text=True).stdout.split()
        fx, fy, cx, cy = (float(v) for v in truth)
        done = self.run_velmora("calibrate", self.path("boards"), "--checkerboard", "9x6", "--square", "30",
                                "--out", "lens.toml")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertRegex(done.stdout, r"lens.toml: RMS reprojection error 0\.\d+ px over 12 views")
        with open(self.path("lens.toml"), "rb") as f:
            lens = tomllib.load(f)
        self.assertEqual((lens["width"], lens["height"], lens["views"]), (640, 480, 12))
        self.assertLess(lens["rms"], 0.25)
        self.assertAlmostEqual(lens["fx"], fx, delta=0.01 * fx)
        self.assertAlmostEqual(lens["fy"], fy, delta=0.01 * fy)
        self.assertAlmostEqual(lens["cx"], cx, delta=3)
        self.assertAlmostEqual(lens["cy"], cy, delta=3)
        for key in ("k1", "k2", "p1", "p2", "k3"):
            self.assertIn(key, lens)

        # Seven views are too few: refused, nothing written.
        for name in sorted(os.listdir(self.path("boards")))[7:]:
            os.remove(os.path.join(self.path("boards"), name))
        done = self.run_velmora("calibrate", self.path("boards"), "--checkerboard", "9x6", "--square", "30",
                                "--out", "few.toml")
        self.assertEqual(done.returncode, 1)
        self.assertIn("found in 7 pictures; at least 8 are needed", done.stderr)
        self.assertFalse(os.path.exists(self.path("few.toml")))


if __name__ == "__main__":
    unittest.main()
