"""The command line as a user meets it: --help and --version without a
display, a usage error, a window start without a display; many videos at once
into one folder, each CSV against the squares drawn into its video; and a
session saved in the window that a batch run reads and the window loads back."""

import csv
import os
import shutil
import subprocess
import tempfile
import tomllib
import unittest

import harness

SIZE = (480, 360)
# Two white squares (x, y, width, height in frame rows, row 0 first): A moves
# `step` pixels right a frame, B stays.
SQUARE_A = (100, 100, 12, 12)
SQUARE_B = (300, 200, 16, 16)
FRAMES = 40


def make_video(path, step):
    """A lossless grey video of the two squares, 25 frames a second."""
    data = bytearray()
    for f in range(FRAMES):
        frame = bytearray(SIZE[0] * SIZE[1])
        for x0, y0, w, h in ((SQUARE_A[0] + step * f,) + SQUARE_A[1:], SQUARE_B):
            for y in range(y0, y0 + h):
                frame[y * SIZE[0] + x0:y * SIZE[0] + x0 + w] = b"\xff" * w
        data += frame
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "gray",
                    "-s", f"{SIZE[0]}x{SIZE[1]}", "-r", "25", "-i", "-", "-c:v", "ffv1", path],
                   input=bytes(data), check=True)


def centre(square, f=0, step=0):
    """Where tracking puts a node on the square in frame f: the truncated mean
    of its pixels, in model coordinates (the frame is flipped, y up)."""
    x0, y0, w, h = square
    x0 += step * f
    return (x0 + (w - 1) // 2, SIZE[1] - 1 - (y0 + h - 1) + (h - 1) // 2)


def model_text():
    """A chain of two nodes on the squares' centres in frame 0."""
    lines = ["2\t1\t1\t0\t1"]
    for x, y in (centre(SQUARE_A), centre(SQUARE_B)):
        lines.append(f"{x}\t{y}\t255\t\t1\t1\t{x}\t{y}\t\t0\t0\t1\t0.5\t")
    return "\n".join(lines) + "\n"


def run(args, cwd, display=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    if display:
        env["DISPLAY"] = display
    return subprocess.run(["velmora", *args], executable=harness.BINARY, cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=300)


class CsvChecks:
    def assert_rows_follow_the_squares(self, path, step):
        with open(path, newline="") as f:
            rows = list(csv.reader(f))[1:]
        self.assertEqual(len(rows), FRAMES, path)
        for f, row in enumerate(rows):
            nodes = [(int(row[2 + 7 * n]), int(row[3 + 7 * n]), row[8 + 7 * n]) for n in range(2)]
            self.assertEqual(nodes, [centre(SQUARE_A, f, step) + ("tracked",), centre(SQUARE_B) + ("tracked",)],
                             f"{path}, frame {f}")


class CommandLineTest(unittest.TestCase, CsvChecks):
    def setUp(self):
        if not harness.BINARY:
            self.skipTest("VELMORA_BINARY is not set")
        self.dir = tempfile.mkdtemp(prefix="velmora-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_help_and_version_need_no_display_and_a_wrong_start_is_a_usage_error(self):
        for command in ([], ["track"]):
            help_run = run([*command, "--help"], self.dir)
            self.assertEqual(help_run.returncode, 0, help_run.stderr)
            self.assertIn("usage: velmora [SOURCE]", help_run.stdout)
            self.assertIn("velmora track SOURCE...", help_run.stdout)
            version = run([*command, "--version"], self.dir)
            self.assertEqual((version.returncode, version.stdout.split()[0]), (0, "velmora"))
        usage = run(["--help"], self.dir).stdout
        # Every flag of velmora track's own usage, with its default.
        flags = [line.split()[0] for line in run(["track", "--help"], self.dir).stdout.splitlines()
                 if line.startswith("  -")]
        self.assertIn("--out-dir", flags)
        for flag in flags:
            self.assertIn("  " + flag, usage)

        for args, first in ((["--threshold", "5"], "velmora: unknown option --threshold"),
                            (["track", "a.mp4", "--nodes", "3"], "velmora track: unknown option --nodes"),
                            ([], "no display: velmora needs X11; for a run without a window use velmora track")):
            with self.subTest(args=args):
                done = run(args, self.dir)
                self.assertEqual(done.returncode, 2, done.stderr)
                lines = done.stderr.splitlines()
                self.assertTrue(lines[0].startswith(first), lines[0])
                self.assertTrue(lines[1].startswith("usage: velmora"), lines[1])

    def test_many_videos_at_once_each_into_its_csv_in_the_folder(self):
        for name, step in (("moving.mkv", 2), ("still.mkv", 0), ("back.mkv", -1)):
            make_video(self.path(name), step)
        with open(self.path("m.txt"), "w") as f:
            f.write(model_text())
        with open(self.path("t.ini"), "wb") as f:
            f.write(harness.options_image(threshold=128))
        done = run(["track", "moving.mkv", "still.mkv", "back.mkv", "--out-dir", "out", "-j", "2", "--model",
                    "m.txt", "--options", "t.ini"], self.dir)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["back.csv", "moving.csv", "still.csv"])
        for name, step in (("moving", 2), ("still", 0), ("back", -1)):
            self.assert_rows_follow_the_squares(self.path(f"out/{name}.csv"), step)
            self.assertIn(f"{name}.mkv: {FRAMES} frames -> out/{name}.csv", done.stderr)
        self.assertTrue(done.stderr.startswith("velmora track: threshold 128,"), done.stderr)
        self.assertEqual(done.stderr.splitlines()[-1], "velmora track: 3 of 3 sources done")

        # One that cannot be opened fails alone; the others are written.
        done = run(["track", "missing.mkv", "still.mkv", "--out-dir", "out2", "--model", "m.txt", "--options",
                    "t.ini"], self.dir)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("velmora track: missing.mkv: cannot open source \"missing.mkv\"", done.stderr)
        self.assertEqual(done.stderr.splitlines()[-1], "velmora track: 1 of 2 sources done, 1 failed")
        self.assert_rows_follow_the_squares(self.path("out2/still.csv"), 0)
        self.assertFalse(os.path.exists(self.path("out2/missing.csv")))


class SessionTest(harness.ProgramTest, CsvChecks):
    def path(self, name):
        return os.path.join(self.workdir, name)

    def save_session(self, name):
        self.click(1207, 874)                       # "save session"
        self.choose_file("save session to:", self.path(name))
        harness.wait_until(lambda: os.path.exists(self.path(name)), what=f"{name} written")
        with open(self.path(name), "rb") as f:
            return tomllib.load(f)

    def test_a_session_saved_in_the_window_runs_the_batch_and_brings_the_window_back(self):
        # A still scene, so the window's tracking leaves the chain where the
        # model file put it, on the squares.
        make_video(self.path("still.mkv"), 0)
        with open(self.path("m.txt"), "w") as f:
            f.write(model_text())
        with open(self.path("velmora.exe.ini"), "wb") as f:
            f.write(harness.options_image(threshold=128, min_node_distance=4))
        program = self.start("still.mkv")
        self.attach(program)
        # The desktop finds the window by its class (the title is the frame rate).
        self.assertIn('"velmora"', self.xvfb.run("xprop", "-id", program.main_window()[0], "WM_CLASS"))
        self.click(1152, 587)                       # "load" on the Model page
        self.choose_file("load model from:", self.path("m.txt"))
        self.click_tab("Tracking")
        self.click(830, 139)                        # "memory" on
        saved = self.save_session("s.toml")
        self.assertEqual(saved["source"], "still.mkv")
        self.assertEqual((saved["options"]["threshold"], saved["options"]["min_node_distance"]), (128, 4))
        self.assertEqual(saved["extra"]["tracking.memory"], 1)
        self.assertEqual([(n["x"], n["y"]) for n in saved["model"]["nodes"]], [centre(SQUARE_A), centre(SQUARE_B)])

        # The batch run takes source, settings and chain from the session.
        done = run(["track", "--session", "s.toml", "--csv", "out.csv"], self.workdir)
        self.assertEqual(done.returncode, 0, done.stderr)
        first = done.stderr.splitlines()[0]
        self.assertTrue(first.startswith("velmora track: threshold 128,") and "min node distance 4" in first
                        and "memory 5 frames" in first and first.endswith("from the session s.toml"), first)
        self.assert_rows_follow_the_squares(self.path("out.csv"), 0)

        # Changed in the window, then the session loaded: as it was saved.
        self.click_tab("Clustering")
        self.nudge_slider(820, 35, 25, -28)         # " threshold" 128 -> 100
        self.click_tab("Tracking")
        self.click(830, 139)                        # "memory" off
        self.click(1097, 874)                       # "load session"
        self.choose_file("load session from:", self.path("s.toml"))
        program.sync()
        self.assertEqual(self.save_session("again.toml"), saved)
        self.click(1225, 932)                       # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        with open(program.options_path, "rb") as f:
            self.assertEqual(f.read(), harness.options_image(threshold=128, min_node_distance=4))


if __name__ == "__main__":
    unittest.main()
