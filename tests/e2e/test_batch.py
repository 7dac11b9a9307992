"""`velmora track`, the batch run, from the command line and without a
display: its CSV read back with Python's csv module against the animation
file it writes beside it, the options it takes by default, Ctrl-C and a kill
in the middle of a run, every way it refuses to run (an output over an input
among them), and a video file of the synthetic camera's frames, whole and cut
short."""

import csv
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import harness

# Nodes on the synthetic camera's three squares at phase 0, in model
# coordinates (the frame is flipped): square 1, the fixed square 2, square 3.
MODEL = ("3\t1\t1\t0\t1\t\n"
         + "".join(f"{x}\t{y}\t255\t\t1\t1\t{x}\t{y}\t\t0\t0\t1\t0.5\t\n"
                   for x, y in ((10, 229), (450, 19), (110, 109))))
STATES = {"tracked", "held", "placed", "predicted", ""}
# The program that writes the synthetic camera's frames and their square centres.
SYNTHETIC_FRAMES = sys.argv.pop(1) if len(sys.argv) > 1 else ""


def disc_frame(discs):
    """A 480 x 360 grey frame: a gradient from 20 to 60 with a little fixed
    noise, and anti-aliased discs (x, y, radius, peak), each pixel taking the
    share of it the disc covers (4 x 4 samples)."""
    frame = bytearray(480 * 360)
    for y in range(360):
        for x in range(480):
            frame[y * 480 + x] = 20 + x * 40 // 479 + (x * 7 + y * 13) % 5
    for cx, cy, r, peak in discs:
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                inside = sum((x - 0.375 + i / 4 - cx) ** 2 + (y - 0.375 + j / 4 - cy) ** 2 <= r * r
                             for i in range(4) for j in range(4))
                g = frame[y * 480 + x]
                frame[y * 480 + x] = round(g + inside / 16 * (peak - g))
    return bytes(frame)


def header(nodes):
    names = ["frame", "time_ms"]
    for n in range(nodes):
        names += [f"n{n}_{c}" for c in ("x", "y", "xs", "ys", "u", "v", "value", "angle_deg", "state")]
    return names


def bend_angle(points, i):
    """The bend at node i in degrees, computed here from the points alone;
    None where a link has length 0."""
    x, y = points[i]
    ax, ay = (x - points[i - 1][0], y - points[i - 1][1]) if i > 0 else (1, 0)
    bx, by = (points[i + 1][0] - x, points[i + 1][1] - y) if i + 1 < len(points) else (1, 0)
    if (ax, ay) == (0, 0) or (bx, by) == (0, 0):
        return None
    cross, dot = ax * by - ay * bx, ax * bx + ay * by
    return 180.0 if cross == 0 and dot < 0 else math.degrees(math.atan2(cross, dot))


def read_animation(path):
    with open(path) as f:
        values = f.read().split()
    count, nodes = int(values[0]), int(values[1])
    frames, i = [], 2
    for _ in range(count):
        triples = [tuple(int(v) for v in values[i + 1 + 3 * n:i + 4 + 3 * n]) for n in range(nodes)]
        frames.append((float(values[i]), triples))
        i += 1 + 3 * nodes
    return nodes, frames


class BatchTest(unittest.TestCase):
    def setUp(self):
        if not harness.BINARY:
            self.skipTest("VELMORA_BINARY is not set")
        self.dir = tempfile.mkdtemp(prefix="velmora-batch-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        # The program's own settings are those of the test's folder, never the user's.
        self.env["XDG_CONFIG_HOME"] = self.path("config")
        self.write("m.txt", MODEL)
        self.write("t180.ini", harness.options_image(threshold=180), "wb")

    def write(self, name, content, mode="w"):
        with open(self.path(name), mode) as f:
            f.write(content)

    def path(self, name):
        return os.path.join(self.dir, name)

    def track(self, *args):
        """Runs "velmora track ..." in the test's folder as the program "velmora"."""
        return subprocess.run(["velmora", "track", *args], executable=harness.BINARY, cwd=self.dir, env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)

    def read_csv(self, name):
        with open(self.path(name), newline="") as f:
            return list(csv.reader(f))

    def check_against_animation(self, rows, animation):
        nodes, frames = read_animation(self.path(animation))
        self.assertEqual(rows[0], header(nodes))
        self.assertEqual(len(rows) - 1, len(frames))
        first = frames[0][0]
        for f, (row, (stamp, triples)) in enumerate(zip(rows[1:], frames)):
            self.assertEqual(len(row), 2 + 9 * nodes)
            self.assertEqual(int(row[0]), f)
            # The file keeps six significant digits, the CSV three decimals.
            self.assertAlmostEqual(float(row[1]), stamp - first, delta=1e-5 * max(abs(stamp), 100) + 5e-4)
            points = [(int(row[2 + 9 * n]), int(row[3 + 9 * n])) for n in range(nodes)]
            # Every row is measured: a tracked node has its marker's centre, at
            # most a pixel from its position (a truncated mean).
            centres = [(float(row[4 + 9 * n]), float(row[5 + 9 * n])) if row[4 + 9 * n] else None
                       for n in range(nodes)]
            for n in range(nodes):
                self.assertEqual((points[n][0], points[n][1], int(row[8 + 9 * n])), triples[n])
                self.assertIn(row[10 + 9 * n], STATES)
                if row[10 + 9 * n] == "tracked":
                    self.assertIsNotNone(centres[n])
                    self.assertLessEqual(max(abs(c - p) for c, p in zip(centres[n], points[n])), 1)
                # The synthetic camera's pictures are the frame: its source
                # pixels are the frame's, rows counted down from the top
                # (each side rounded to three decimals).
                used = centres[n] or points[n]
                self.assertAlmostEqual(float(row[6 + 9 * n]), used[0], delta=1.1e-3)
                self.assertAlmostEqual(float(row[7 + 9 * n]), 359 - used[1], delta=1.1e-3)
                # The angle comes from the centres where the node and its neighbours have one.
                near = range(max(n - 1, 0), min(n + 2, nodes))
                measured = all(centres[j] is not None for j in near)
                angle = bend_angle(centres if measured else points, n)
                if angle is None:
                    self.assertEqual(row[9 + 9 * n], "")
                else:
                    self.assertAlmostEqual(float(row[9 + 9 * n]), angle, delta=5e-3 if measured else 6e-4)
        return nodes, frames

    def test_the_csv_reads_back_to_the_numbers_of_the_animation_file(self):
        done = self.track("synthetic", "--model", "m.txt", "--options", "t180.ini", "--frames", "600",
                          "--csv", "out.csv", "--animation", "anim.txt")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, b"")
        self.assertIn(b"600/600 frames", done.stderr)
        with open(self.path("out.csv"), "rb") as f:
            raw = f.read()
        self.assertTrue(raw.endswith(b"\r\n") and raw.count(b"\r\n") == 601, "RFC 4180 line ends")
        rows = self.read_csv("out.csv")
        self.check_against_animation(rows, "anim.txt")
        states = [row[10 + 9 * n] for row in rows[1:] for n in range(3)]
        self.assertEqual(set(states), {"tracked"}, "the nodes follow the squares")
        # Square 1 moves: its node's angle changes over the run.
        self.assertNotEqual(rows[1][9], rows[-1][9])
        with open(self.path("anim.txt.model")) as f:
            self.assertEqual(f.readline().split("\t")[0], "3")

    def test_the_programs_own_options_are_the_default_and_the_csv_can_go_to_standard_output(self):
        # Threshold 180 in the program's own options file: the nodes track.
        self.write("velmora.exe.ini", harness.options_image(threshold=180), "wb")
        for extra in ([], ["--csv", "-"]):
            done = self.track("synthetic", "--model", "m.txt", "--frames", "20", *extra)
            rows = list(csv.reader(done.stdout.decode().splitlines()))
            self.assertEqual((len(rows), rows[20][10]), (21, "tracked"), extra)

    def test_a_sequence_plays_across_gaps_timed_by_number_at_its_rate(self):
        # Frames 100 to 105 of the synthetic camera's squares, 103 missing,
        # at 30 frames a second: each row at its picture's number.
        if not SYNTHETIC_FRAMES:
            self.skipTest("no synthetic_frames program given")
        raw = self.path("synthetic.raw")
        subprocess.run([SYNTHETIC_FRAMES, "6", raw], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "gray",
                        "-s", "480x360", "-i", raw, "-start_number", "100", self.path("f%04d.pgm")], check=True)
        os.remove(self.path("f0103.pgm"))
        done = self.track("f%04d.pgm", "--model", "m.txt", "--options", "t180.ini", "--fps", "30",
                          "--csv", "seq.csv")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"5/5 frames", done.stderr)
        rows = self.read_csv("seq.csv")[1:]
        self.assertEqual([float(r[1]) for r in rows], [round(n * 1000 / 30, 3) for n in (0, 1, 2, 4, 5)])
        self.assertEqual({r[10] for r in rows}, {"tracked"})

    def test_ctrl_c_stops_the_run_and_leaves_complete_files_for_the_frames_done(self):
        err_path = self.path("stderr.txt")
        with open(err_path, "wb") as err:
            # As many frames as an animation of three nodes may hold: far more than the run gets to.
            proc = subprocess.Popen(["velmora", "track", "synthetic", "--model", "m.txt", "--options", "t180.ini",
                                     "--frames", "5000000", "--csv", "out.csv", "--animation", "anim.txt"],
                                    executable=harness.BINARY, cwd=self.dir, env=self.env,
                                    stdout=subprocess.DEVNULL, stderr=err)
            try:
                # Off a terminal the run reports every two seconds: frames are being done.
                harness.wait_until(lambda: b"frames/s" in open(err_path, "rb").read(), timeout=60,
                                   what="a progress line")
                proc.send_signal(signal.SIGINT)
                self.assertEqual(proc.wait(timeout=120), 130)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
        lines = open(err_path).read().strip().splitlines()
        self.assertTrue(lines[0].startswith("velmora track: threshold 180,"), lines[0])
        self.assertEqual(lines[1], "velmora track: the rows go to out.csv.partial, which becomes out.csv when the "
                                   "run ends")
        self.assertRegex(lines[-1], r"^velmora track: stopped after \d+ frames")
        frames_done = int(lines[-1].split("stopped after ")[1].split()[0])
        rows = self.read_csv("out.csv")
        self.assertEqual(len(rows) - 1, frames_done)
        self.assertFalse(os.path.exists(self.path("out.csv.partial")))
        self.check_against_animation(rows, "anim.txt")

    def test_a_kill_leaves_the_old_csv_and_every_finished_row_in_the_partial_file(self):
        self.write("out.csv", "the last run's rows\r\n")
        proc = subprocess.Popen(["velmora", "track", "synthetic", "--model", "m.txt", "--options", "t180.ini",
                                 "--frames", "5000000", "--csv", "out.csv"],
                                executable=harness.BINARY, cwd=self.dir, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        partial = self.path("out.csv.partial")
        try:
            # Rows reach the file at least once a second: wait for a few hundred, then kill.
            harness.wait_until(lambda: os.path.exists(partial) and os.path.getsize(partial) > 50000, timeout=120,
                               what="rows in the partial file")
            proc.kill()
            proc.wait(timeout=60)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        with open(self.path("out.csv"), "rb") as f:
            self.assertEqual(f.read(), b"the last run's rows\r\n")
        with open(partial, "rb") as f:
            lines = f.read().split(b"\r\n")[:-1]  # what follows the last line end is not a finished row
        rows = list(csv.reader(line.decode() for line in lines))
        self.assertEqual(rows[0], header(3))
        self.assertGreater(len(rows), 100)
        for f, row in enumerate(rows[1:]):
            self.assertEqual((len(row), int(row[0])), (2 + 9 * 3, f))
            self.assertEqual({row[10 + 9 * n] for n in range(3)}, {"tracked"})

    def test_an_output_over_an_input_or_another_output_is_refused_naming_both(self):
        self.write("take.txt", "not a video")
        os.mkdir(self.path("sub"))
        os.link(self.path("m.txt"), self.path("hard.txt"))
        os.symlink(self.path("t180.ini"), self.path("link.ini"))
        cases = [
            (["take.txt", "--csv", "take.txt"], '--csv "take.txt" would overwrite the source "take.txt"'),
            (["synthetic", "--csv", "./sub/../hard.txt"], 'would overwrite --model "m.txt"'),
            (["synthetic", "--animation", "link.ini"], '--animation "link.ini" would overwrite --options "t180.ini"'),
            (["synthetic", "--csv", "a.txt.model", "--animation", "a.txt"],
             '--csv "a.txt.model" and the animation\'s model "a.txt.model" are the same file'),
            (["synthetic", "--model", "m.txt.model", "--animation", "m.txt"],
             'the animation\'s model "m.txt.model" would overwrite --model "m.txt.model"'),
        ]
        self.write("m.txt.model", MODEL)
        before = {name: os.path.getsize(self.path(name)) for name in os.listdir(self.dir)}
        for args, says in cases:
            with self.subTest(args=args):
                model = [] if "--model" in args else ["--model", "m.txt"]
                done = self.track(*args, *model, "--options", "t180.ini", "--frames", "5")
                self.assertEqual(done.returncode, 2, done.stderr)
                said = done.stderr.decode()
                self.assertTrue(said.startswith("velmora track: ") and said.count("\n") == 1, said)
                self.assertIn(says, said)
                self.assertEqual({name: os.path.getsize(self.path(name)) for name in os.listdir(self.dir)}, before)

    def test_devices_take_outputs_a_full_one_stops_no_other_and_a_long_animation_is_refused_before_the_run(self):
        done = self.track("synthetic", "--model", "m.txt", "--options", "t180.ini", "--frames", "30",
                          "--csv", "/dev/null", "--animation", "anim.txt")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(read_animation(self.path("anim.txt"))[0], 3)
        self.assertEqual(len(read_animation(self.path("anim.txt"))[1]), 30)
        # A full disk under the CSV: the animation is written all the same.
        done = self.track("synthetic", "--model", "m.txt", "--options", "t180.ini", "--frames", "30",
                          "--csv", "/dev/full", "--animation", "kept.txt")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("velmora track: cannot write the CSV to /dev/full (No space left on device)\n",
                      done.stderr.decode())
        self.assertEqual(len(read_animation(self.path("kept.txt"))[1]), 30)
        # An animation holds 2^24 node entries: 5592405 frames of three nodes.
        done = self.track("synthetic", "--model", "m.txt", "--frames", "5592406", "--animation", "long.txt")
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("give --frames 5592405 or less", done.stderr.decode())
        self.assertFalse(os.path.exists(self.path("long.txt")))

    def test_a_video_file_gives_a_row_per_frame_with_the_nodes_on_its_squares(self):
        if not SYNTHETIC_FRAMES:
            self.skipTest("no synthetic_frames program given")
        frames, rate = 150, 25
        raw = self.path("synthetic.raw")
        listing = subprocess.run([SYNTHETIC_FRAMES, str(frames), raw], check=True, stdout=subprocess.PIPE,
                                 text=True).stdout
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "gray",
                        "-s", "480x360", "-r", str(rate), "-i", raw, "-c:v", "ffv1", self.path("take.mkv")],
                       check=True)
        # Camera rows to model coordinates: the frame is flipped before analysis.
        centres = [[(x, 359 - row) for x, row in zip(v[1::2], v[2::2])]
                   for v in ([int(n) for n in line.split()] for line in listing.splitlines())]

        done = self.track("take.mkv", "--model", "m.txt", "--options", "t180.ini", "--csv", "out.csv")
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = self.read_csv("out.csv")[1:]
        self.assertEqual(len(rows), frames)
        for f, row in enumerate(rows):
            self.assertEqual(float(row[1]), f * 1000 / rate, f"frame {f}: the file's own time")
            self.assertEqual([(int(row[2 + 9 * n]), int(row[3 + 9 * n])) for n in range(3)], centres[f],
                             f"frame {f}")
            self.assertEqual({row[10 + 9 * n] for n in range(3)}, {"tracked"})

        # Cut short: the whole frames before the cut are kept, and the run
        # says the file is damaged.
        with open(self.path("take.mkv"), "rb") as f:
            data = f.read()
        self.write("cut.mkv", data[:len(data) // 2], "wb")
        done = self.track("cut.mkv", "--model", "m.txt", "--options", "t180.ini", "--csv", "cut.csv")
        self.assertEqual(done.returncode, 1, done.stderr)
        last = done.stderr.decode().strip().splitlines()[-1]
        self.assertRegex(last, r"^velmora track: the source \"cut.mkv\" holds damaged data; the output holds the "
                               r"\d+ frames")
        kept = self.read_csv("cut.csv")[1:]
        self.assertIn(f"{len(kept)} frames", last)
        self.assertTrue(10 < len(kept) < frames, len(kept))
        self.assertEqual(kept[:-1], rows[:len(kept) - 1])

    def test_auto_and_place_nodes_set_up_on_the_first_frame_and_the_run_warns_and_counts(self):
        # Four discs of varied brightness and size in a chain, drifting right;
        # the last one is gone from frame 10 on (1.6 s at 25 frames a second).
        discs = [(90.3, 120.6, 5.0, 255), (170.7, 150.2, 7.0, 220), (250.5, 110.4, 4.0, 200), (330.1, 160.8, 6.0, 240)]
        frames, rate = 50, 25
        raw = bytearray()
        for f in range(frames):
            shown = discs if f < 10 else discs[:3]
            raw += disc_frame([(x + 0.4 * f, y, r, peak) for x, y, r, peak in shown])
        self.write("discs.raw", bytes(raw), "wb")
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "gray",
                        "-s", "480x360", "-r", str(rate), "-i", self.path("discs.raw"), "-c:v", "ffv1",
                        self.path("discs.mkv")], check=True)
        # Four nodes on a row far from the discs, node 0 at the left.
        self.write("four.txt", "4\t1\t1\t0\t1\t\n" + "".join(
            f"{x}\t300\t255\t\t1\t1\t{x}\t300\t\t0\t0\t1\t0.5\t\n" for x in (50, 100, 150, 200)))

        done = self.track("discs.mkv", "--model", "four.txt", "--threshold", "auto", "--place-nodes",
                          "--csv", "out.csv")
        self.assertEqual(done.returncode, 0, done.stderr)
        err = done.stderr.decode()
        self.assertRegex(err, r"velmora track: threshold \d+, max distance \d+: 4 markers\n")
        self.assertIn("velmora track: placed 4 nodes on 4 clusters\n", err)
        self.assertEqual(err.count("3 clusters for 4 nodes"), 1, err)
        self.assertRegex(err, r"warning: frame 10 \(0.40 s\): 3 clusters for 4 nodes\n")
        self.assertRegex(err, r"warning: frame 3\d \(1.\d\d s\): node 3 has held no marker for over a second\n")
        self.assertIn("velmora track: node 0: 50 tracked, 0 held, 0 predicted\n", err)
        self.assertIn("velmora track: node 3: 10 tracked, 40 held, 0 predicted\n", err)
        # Node i follows disc i (rows counted up from the bottom: the frame is flipped).
        table = self.read_csv("out.csv")
        rows = table[1:]
        for f, row in enumerate(rows[:10]):
            for n, (x, y, _r, _peak) in enumerate(discs):
                xs, ys = table[0].index(f"n{n}_xs"), table[0].index(f"n{n}_ys")
                self.assertLessEqual(abs(float(row[xs]) - (x + 0.4 * f)), 1.0, (f, n))
                self.assertLessEqual(abs(float(row[ys]) - (359 - y)), 1.0, (f, n))

        refused = self.track("discs.mkv", "--model", "four.txt", "--threshold", "256")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("--threshold needs a whole number from 1 to 255, or auto", refused.stderr.decode())

    def test_every_refusal_exits_non_zero_with_one_line_and_writes_nothing(self):
        self.write("short.ini", b"\0" * 100, "wb")
        self.write("t300.ini", harness.options_image(threshold=300), "wb")
        self.write("empty.y4m", "YUV4MPEG2 W480 H360 F25:1 Ip A1:1 Cmono\n")  # a stream without a picture
        cases = [
            (["walk.mp4", "--model", "m.txt"], 1, "cannot open source \"walk.mp4\""),
            (["synthetic", "--model", "none.txt", "--frames", "5"], 1, "cannot load model none.txt"),
            (["synthetic", "--model", "m.txt", "--frames", "5", "--options", "short.ini"], 1,
             "cannot read options file short.ini"),
            (["synthetic", "--model", "m.txt", "--frames", "5", "--csv", "out.csv", "--animation", "no/a.txt"], 1,
             "cannot write no/a.txt"),
            (["synthetic", "--model", "m.txt", "--csv", "out.csv"], 2, "--frames N is needed"),
            # No threshold set (the defaults), or one the window could not hold.
            (["synthetic", "--model", "m.txt", "--frames", "5", "--csv", "out.csv"], 1,
             "threshold 0 finds no markers"),
            (["synthetic", "--model", "m.txt", "--frames", "5", "--csv", "out.csv", "--options", "t300.ini"], 1,
             "threshold 300 lies outside 0 to 255"),
            (["empty.y4m", "--model", "m.txt", "--options", "t180.ini", "--csv", "out.csv"], 1,
             "holds no picture"),
            (["/dev/null", "--model", "m.txt", "--options", "t180.ini", "--csv", "out.csv"], 1,
             "is not a camera or a video file"),
        ]
        for args, status, reason in cases:
            with self.subTest(args=args):
                done = self.track(*args)
                self.assertEqual(done.returncode, status, done.stderr)
                first = done.stderr.decode().splitlines()[0]
                self.assertTrue(first.startswith("velmora track: ") and reason in first, done.stderr)
                self.assertFalse(os.path.exists(self.path("out.csv")))


if __name__ == "__main__":
    unittest.main()
