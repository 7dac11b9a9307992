"""Angles in the running program: "show angles" prints them in the preview,
the "angles" window charts a recording as it grows, "export CSV" writes it,
and the choice is kept for the next start."""

import csv
import math
import os
import unittest

import harness

PREVIEW = (5, 5, 800, 600)
ROW = [(50, 200), (100, 200), (150, 200)]   # the model's nodes after start-up
LAST_TRACE = (44, 160, 44)                   # node 2's colour: its trace is drawn last


def is_yellow(r, g, b):
    return r > 200 and g > 200 and b < 80


class AnglesTest(harness.ProgramTest):
    def preview_point(self, x, y):
        """Window position of a model point of the preview."""
        return PREVIEW[0] + x, PREVIEW[1] + PREVIEW[3] - y

    def labels_shown(self):
        """Yellow pixels where each node's label stands, right of its box."""
        picture = self.picture(0, 0, 810, 610)
        counts = []
        for x, y in ROW:
            wx, wy = self.preview_point(x + 13, y + 4)
            counts.append(picture.crop_count(wx, wy - 16, wx + 30, wy + 2, is_yellow))
        return min(counts) > 10

    def test_labels_chart_and_csv_export(self):
        self.attach(self.start())
        # Motion over the preview shows the model.
        self.move(*self.preview_point(300, 400))
        self.move(*self.preview_point(302, 400))
        self.assertFalse(self.labels_shown())
        self.click(1008, 48)                      # "show angles"
        harness.wait_until(self.labels_shown, what="the angle labels in the preview")
        self.picture(0, 0, 810, 610).save_png("angles_preview.png")

        self.click(50, 874)                       # "angles"
        _wid, _name, x, y, _w, _h = self.wait_for_window("angles")
        self.click(44, 712)                       # "record" on
        self.program.sync()                       # the chart now shows the take, not the live angles
        # The chart spans at least a second: once the trace of the straight
        # row (0 degrees at every node, node 2's drawn over the others)
        # reaches the last tenth of it, the take is 0.9 s long or more.
        plot_left, plot_right, zero_row = 53, 693, 229

        def trace_near_the_end():
            picture = harness.screenshot(self.xvfb, area=(x, y, 830, 440))
            near_end = plot_right - (plot_right - plot_left) // 10
            return picture.crop_count(near_end, zero_row - 2, plot_right, zero_row + 3,
                                      lambda r, g, b: (r, g, b) == LAST_TRACE) > 5 and picture
        picture = harness.wait_until(trace_near_the_end, timeout=60, what="the recording's trace")
        picture.save_png("angles_window.png")
        self.click(44, 712)                       # "record" off

        csv_path = os.path.join(self.workdir, "take.csv")
        self.click(1132, 712)                     # "export CSV" of "record and play:"
        self.choose_file("export CSV to:", csv_path)
        def csv_rows():
            if not os.path.exists(csv_path):
                return None
            with open(csv_path, newline="") as f:
                return list(csv.reader(f))
        rows = harness.wait_until(csv_rows, what="the CSV file")
        self.assertEqual(len(rows[0]), 2 + 9 * 3)
        self.assertGreater(len(rows), 5)   # a frame per cycle: few under the thread sanitizer
        self.assertGreaterEqual(float(rows[-1][1]), 900.0)
        # Whatever tracking did with them, the nodes' angles are those of their
        # sub-pixel centres where all three have one (given to three decimals
        # here), else of their positions.
        for row in rows[1:]:
            measured = all(row[4 + 9 * n] != "" for n in range(3))
            x = [float(row[(4 if measured else 2) + 9 * n]) for n in range(3)]
            y = [float(row[(5 if measured else 3) + 9 * n]) for n in range(3)]
            turn = math.degrees(math.atan2((x[1] - x[0]) * (y[2] - y[1]) - (y[1] - y[0]) * (x[2] - x[1]),
                                           (x[1] - x[0]) * (x[2] - x[1]) + (y[1] - y[0]) * (y[2] - y[1])))
            self.assertAlmostEqual(float(row[18]), turn, delta=5e-3 if measured else 6e-4)

        self.click(1225, 932)                     # "quit&&save"
        self.answer_unsaved_take("d")             # exported, not saved as a take
        self.assertEqual(self.program.wait_exit(), 0)
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra")) as f:
            self.assertIn("angles.show=1\n", f.read())


if __name__ == "__main__":
    unittest.main()
