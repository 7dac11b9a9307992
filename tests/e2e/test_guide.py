"""The user guide's walk through the program, done by the program itself: a
source, a threshold, nodes placed on the squares, a take recorded, cut,
saved and played back, the output window, a CSV export and the batch run.
Each step leaves its picture as an artifact, and, with VELMORA_GUIDE_PICTURES
naming a folder (scripts/guide-pictures gives docs/pictures), there too, so
the guide's pictures are never older than the program. The CSV header and the
batch command quoted in docs/guide.md are checked against the program."""

import csv
import os
import re
import subprocess
import unittest

import harness
import test_recording

GUIDE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "guide.md")
PICTURES = os.environ.get("VELMORA_GUIDE_PICTURES", "")

FRAME_AREA = test_recording.FRAME_AREA            # the frame's part of the preview
PAGE = (810, 0, 450, 285)                         # the tabs and the upper part of a page
RECORD_GROUP = (0, 608, 1264, 124)                # "record and play:" with its label
PLAYBACK_GROUP = (0, 733, 1264, 124)              # "playback:" with its label
STATUS_LINE = (0, 915, 1110, 32)
OUTPUT = (1300, 0, 320, 240)                      # where the guide puts the output window


def is_cyan(r, g, b):
    return r < 40 and g > 220 and b > 220


class GuideTest(harness.ProgramTest):
    # The preview helpers of the recording test.
    to_window = test_recording.RecordingTest.to_window
    model_point = test_recording.RecordingTest.model_point
    squares = test_recording.RecordingTest.squares
    ring = test_recording.RecordingTest.ring
    assert_nodes_on_squares = test_recording.RecordingTest.assert_nodes_on_squares

    def keep(self, image, name):
        """The picture as an artifact and, when asked, for the guide."""
        image.save_png(name)
        if PICTURES:
            image.save_png(name, folder=PICTURES)

    def window_picture(self, area):
        self.park_pointer()
        return self.picture(*area)

    def quoted(self, pattern):
        """The first line of the guide that matches `pattern` (a regular expression)."""
        with open(GUIDE) as f:
            for line in f:
                if re.search(pattern, line):
                    return line.strip()
        self.fail(f"the guide quotes no line like {pattern!r}")

    def test_the_guides_walk_through_the_program(self):
        # Threshold 180 from the start, as the guide's first page asks.
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(harness.options_image(threshold=180))
        program = self.start()
        self.attach(program)
        take = os.path.join(self.workdir, "take1.txt")

        # 1. The source: the Camera page with the synthetic camera open.
        self.click_tab("Camera")
        self.keep(self.window_picture(PAGE), "guide_source.png")

        # 2. The threshold: only the squares stay, each with its cluster cross.
        self.click_tab("Clustering")
        self.click(1100, 45)                       # "show thresholding"
        self.keep(self.window_picture((0, 0, 1264, 610)), "guide_threshold.png")

        # 3. Placing nodes: each dragged onto its square's path; the moving
        # squares catch theirs when they pass; each sensor disc is hidden
        # ("visible" of "Angular Sensor:" acts on the node just dragged).
        # "show tracking state" marks the nodes.
        self.click_tab("Model")
        for start, end in zip([(50, 200), (100, 200), (150, 200)],
                              [(test_recording.SQUARE1_X, 229), test_recording.SQUARE2,
                               (110, test_recording.SQUARE3_Y)]):
            self.drag(self.to_window(*start), self.to_window(*end))
            self.click(838, 285)
        self.hover(*self.to_window(302, 300))
        self.click(*self.to_window(302, 300))      # selects no node
        self.click_tab("Tracking")
        self.click(830, 201)                       # "show tracking state"
        self.park_pointer()
        def nodes_on_squares_and_marked(image):
            self.assert_nodes_on_squares(image, "placed")
            return image.crop_count(0, 0, image.width, image.height, is_cyan) >= 3 * 60
        self.keep(self.wait_for_picture(FRAME_AREA, nodes_on_squares_and_marked,
                                        what="the nodes on the squares, marked as tracked"), "guide_nodes.png")
        self.keep(self.window_picture((810, 0, 450, 220)), "guide_tracking.png")

        # 4. Recording: "record" on for 80 cycles, then off.
        self.click(44, 712)
        program.sync(passes=80)
        self.keep(self.window_picture(RECORD_GROUP), "guide_record.png")
        self.click(44, 712)

        # 5. Cutting: the end marker 30 frames back, the start marker 20 on, "cut".
        self.click(1252, 685)
        self.key("Left", repeat=30)
        self.click(15, 665)
        self.key("Right", repeat=20)
        self.keep(self.window_picture(RECORD_GROUP), "guide_markers.png")
        self.click(117, 712)                       # "cut"

        # 6. Saving: a file name (in the program's folder) and "<-quicksave";
        # the status line says what was written.
        self.fill_input(790, 713, os.path.basename(take))
        self.click(1032, 712)
        count, _nodes, _frames = test_recording.wait_for_animation(take)
        self.assertGreaterEqual(count, 20)
        self.keep(self.window_picture(STATUS_LINE), "guide_saved.png")

        # 7. Playback: "load" the take, "loop", "visible" and "play".
        self.click(42, 837)
        self.choose_file("load data from:", take)
        self.click(238, 837)
        self.click(288, 837)
        self.click(189, 837)
        self.keep(self.window_picture(PLAYBACK_GROUP), "guide_playback.png")
        self.click(189, 837)                       # "play" off

        # 8. The output window: place and size on the Fullscreen page, "(re)open".
        self.click_tab("Fullscreen")
        for (x, y), value in zip([(895, 48), (895, 73), (985, 48), (985, 73)], OUTPUT):
            self.fill_input(x, y, str(value))
        self.click(1062, 50)                       # "(re)open"
        harness.wait_until(lambda: [w for w in harness.top_level_windows(self.xvfb)
                                    if tuple(w[2:]) == OUTPUT], what="the output window")
        self.keep(self.window_picture((810, 0, 450, 125)), "guide_fullscreen.png")
        self.keep(harness.wait_until(
            lambda: (lambda image: image.crop_count(0, 0, image.width, image.height, is_cyan) > 60 and image)(
                harness.screenshot(self.xvfb, area=OUTPUT)),
            what="the output window with the marked nodes"), "guide_output.png")
        self.click(1062, 75)                       # "close"

        # 9. CSV: "export CSV" of "record and play:"; the guide quotes its header.
        table = os.path.join(self.workdir, "take1.csv")
        self.click(1132, 712)
        self.choose_file("export CSV to:", table)
        rows = harness.wait_until(lambda: os.path.exists(table) and list(csv.reader(open(table, newline=""))),
                                  what="the CSV file")
        self.assertEqual(len(rows), count + 1)
        header = ",".join(rows[0])
        quoted = self.quoted(r"^\s*frame,time_ms,")
        self.assertTrue(header.startswith(quoted.rstrip(",.")), f"{quoted!r} is not how {header!r} begins")

        # 11. Real units: "calibration" opens its window beside the panel; two
        # points 200 pixels apart are 50 mm, the origin low on the left, and
        # the axes and grid drawn over the preview. The synthetic camera's
        # pictures are the frame: source pixels are frame pixels, rows down.
        self.click(150, 874)                       # "calibration"
        _wid, _name, cx, cy, _w, _h = self.wait_for_window("Calibration")
        def fill(x, y, text):
            self.xvfb.run("xdotool", "mousemove", str(cx + x), str(cy + y), "click", "1")
            self.key("ctrl+a")
            self.type_text(text)
        for (x, y), text in zip([(70, 72), (165, 72), (275, 72), (370, 72), (100, 97), (210, 97),
                                 (110, 122), (205, 122)], ["100", "300", "300", "300", "50", "mm", "40", "320"]):
            fill(x, y, text)
        self.xvfb.run("xdotool", "mousemove", str(cx + 14), str(cy + 442), "click", "1")  # "show axes and grid"
        self.park_pointer()
        def axis_red(r, g, b):
            return r > 230 and 30 < g < 75 and 30 < b < 75
        self.keep(self.wait_for_picture(FRAME_AREA, lambda image: image.crop_count(
            0, 0, image.width, image.height, axis_red) > 40 and image, what="the calibrated axes over the frame"),
            "guide_grid.png")
        self.program.sync()
        self.keep(harness.screenshot(self.xvfb, area=(cx, cy, 460, 655)), "guide_calibration.png")
        units = os.path.join(self.workdir, "take1_mm.csv")
        self.click(1132, 712)
        self.choose_file("export CSV to:", units)
        rows = harness.wait_until(lambda: os.path.exists(units) and list(csv.reader(open(units, newline=""))),
                                  what="the calibrated CSV file")
        self.assertIn("n0_X_mm", rows[0])

        self.click(1225, 932)                      # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)

        # 10. The batch run, as the guide gives it, over the saved take's model.
        # (The shortest path at the guide's top names a video of the reader's;
        # its flags are those of the run tested with a video in test_batch.)
        command = self.quoted(r"^\s*velmora track synthetic ").split()
        shortest = self.quoted(r"^\s*velmora track \S+ --model m.txt --threshold auto --place-nodes")
        self.assertIn("--csv", shortest)
        os.rename(take + ".model", os.path.join(self.workdir, "m.txt"))
        # Started as the window was, so it reads the settings the window saved.
        result = subprocess.run(["velmora"] + command[1:], executable=harness.BINARY, cwd=self.workdir,
                                timeout=300, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        outputs = [a for a in command if a.endswith(".csv")]
        self.assertTrue(outputs, command)
        with open(os.path.join(self.workdir, outputs[0]), newline="") as f:
            batch = list(csv.reader(f))
        self.assertGreater(len(batch), 10)
        self.assertTrue(",".join(batch[0]).startswith(quoted.rstrip(",.")))


if __name__ == "__main__":
    unittest.main()
