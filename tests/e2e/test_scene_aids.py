"""The operator's aids for real scenes in the running program: "auto" finds
the threshold that isolates the synthetic camera's three squares, the pixel
counts appear beside the crosses, "keep auto" takes the threshold back after
it was dragged away on the histogram, a drag sets the threshold that is
saved, a node count the clusters do not give is warned of in the preview
until "place nodes" has laid a chain of the right count, and the two checks
are kept in the extra settings file."""

import os
import struct
import unittest

import harness

TABLE = (820, 300, 430, 290)         # the statistics table on the Clustering page
HISTOGRAM = (820, 365, 426, 215)     # the histogram on the Camera page
PLOT_X, PLOT_W = HISTOGRAM[0] + 1, HISTOGRAM[2] - 2


def column_of(grey):
    return PLOT_X + grey * PLOT_W // 256


def grey_at(column):
    return min(255, max(0, ((column - PLOT_X + 1) * 256 - 1) // PLOT_W))


class SceneAidsTest(harness.ProgramTest):
    def threshold_line(self):
        """The grey value under the histogram's red line, or None."""
        shot = harness.screenshot(self.xvfb, area=(self.wx + PLOT_X, self.wy + HISTOGRAM[1] + 60, PLOT_W, 1))
        red = [x for x in range(PLOT_W) if shot.pixel(x, 0) == (255, 0, 0)]
        return grey_at(PLOT_X + red[0]) if red else None

    def warning_shown(self):
        """Orange text in the strip above the frame at the preview's top."""
        shot = harness.screenshot(self.xvfb, area=(self.wx + 10, self.wy + 10, 700, 24))
        return any(r > 200 and 100 < g < 200 and b < 80 for y in range(24) for x in range(0, 700, 2)
                   for r, g, b in [shot.pixel(x, y)])

    def count_labels(self):
        """Yellow text groups in the preview: the pixel counts beside the crosses."""
        shot = harness.screenshot(self.xvfb, area=(self.wx + 5, self.wy + 5, 800, 600))
        return shot.components(lambda r, g, b: r > 200 and g > 200 and b < 80)

    def drag_histogram(self, from_x, to_x):
        """Presses at column from_x of the histogram and lets go at to_x."""
        y = HISTOGRAM[1] + 100
        self.drag((from_x, y), (to_x, y), steps=max(1, abs(to_x - from_x) // 8))

    def test_auto_counts_keep_auto_histogram_and_messages(self):
        program = self.start()
        self.attach(program)

        # "auto" with the three nodes of the default model: the squares alone.
        self.click_tab("Clustering")
        self.click(1120, 72)                     # "auto"
        self.click(830, 285)                     # "pixel counts in the preview"
        self.park_pointer()
        labels = harness.wait_until(lambda: len(self.count_labels()) >= 3 and self.count_labels(),
                                    timeout=20, what="three pixel counts in the preview")
        harness.screenshot(self.xvfb, save_as="scene_aids_clustering.png",
                           area=(self.wx, self.wy, 1264, 610))
        # "121" in the font is three glyphs wide and one high, at most.
        self.assertTrue(all(w <= 30 and h <= 14 for _x, _y, w, h, _n in labels), labels)
        table = harness.screenshot(self.xvfb, area=(self.wx + TABLE[0], self.wy + TABLE[1], TABLE[2], TABLE[3]))
        rows = [y for y in range(0, 80) if any(table.pixel(x, y)[0] < 80 for x in range(5, 60))]
        self.assertGreaterEqual(len(rows), 30, "header and three rows of text")

        # On the Camera page the line shows the chosen threshold.
        self.click_tab("Camera")
        self.park_pointer()
        chosen = harness.wait_until(self.threshold_line, what="the threshold line")
        self.assertTrue(51 <= chosen <= 180, chosen)

        # "keep auto": a threshold dragged to where nothing passes comes back.
        self.drag_histogram(column_of(chosen), column_of(240))
        harness.wait_until(lambda: self.threshold_line() == 240, what="the line at 240")
        self.click_tab("Clustering")
        self.click(1097, 102)                    # "keep auto"
        self.click_tab("Camera")
        self.park_pointer()
        harness.wait_until(lambda: 51 <= (self.threshold_line() or 0) <= 180, timeout=20,
                           what="keep auto to take the threshold back")
        harness.screenshot(self.xvfb, save_as="scene_aids_camera.png", area=(self.wx, self.wy, 1264, 610))
        self.click_tab("Clustering")
        self.click(1097, 102)                    # "keep auto" off again

        # Five nodes for three squares: the preview says so at its top, and
        # "place nodes" moves nothing; with three again it lays the chain on
        # the squares and the warning goes.
        self.click_tab("Model")
        self.fill_input(835, 48, "5")
        self.park_pointer()
        harness.wait_until(self.warning_shown, what="the warning at the preview's top")
        self.click(870, 587)                     # "place nodes"
        self.fill_input(835, 48, "3")
        self.click(870, 587)                     # "place nodes"
        self.park_pointer()
        harness.wait_until(lambda: not self.warning_shown(), what="the warning gone")

        # A drag on the histogram sets the threshold the options file keeps.
        self.click_tab("Camera")
        self.drag_histogram(column_of(100), column_of(200))
        harness.wait_until(lambda: self.threshold_line() == 200, what="the line at 200")
        self.click(1225, 932)                    # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        with open(program.options_path, "rb") as f:
            saved = f.read()
        self.assertEqual(struct.unpack_from("<i", saved, harness.OPTION_OFFSETS["threshold"])[0], 200)
        # "auto" also fitted region grow's distance to the squares.
        distance = struct.unpack_from("<i", saved, harness.OPTION_OFFSETS["regiongrow_max_distance"])[0]
        self.assertTrue(10 <= distance < 80, distance)
        with open(program.options_path + ".extra") as f:
            extra = f.read().splitlines()
        self.assertIn("scene.cluster_counts=1", extra)
        self.assertIn("scene.keep_auto=0", extra)


if __name__ == "__main__":
    unittest.main()
