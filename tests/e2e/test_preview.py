"""The preview in the running program: the frame, the frame rate, the model
shown from the start, and nodes dragged with the left and the right button."""

import time
import unittest

import harness

PREVIEW = (5, 5)           # the preview's place in the main window
PREVIEW_SIZE = (800, 600)
NODES = [(50, 200), (100, 200), (150, 200)]  # the live model's layout at start
BOX_HALF = 1 + 5           # line width 1


def is_green(r, g, b):
    return (r, g, b) == (0, 255, 0)


def is_red(r, g, b):
    return r >= 250 and g <= 5 and b <= 5


class PreviewTest(harness.ProgramTest):
    def setUp(self):
        super().setUp()
        self.program = self.start()
        _wid, self.wx, self.wy, _w, _h = self.main_window()

    def screen(self, model_x, model_y):
        """Screen position of a model point: y counts up from the preview's bottom."""
        return (self.wx + PREVIEW[0] + model_x,
                self.wy + PREVIEW[1] + PREVIEW_SIZE[1] - model_y)

    def move(self, model_x, model_y):
        x, y = self.screen(model_x, model_y)
        self.xvfb.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.1)

    def drag(self, start, end, button):
        # Hover first (motion without a button picks the node), then press and
        # move in steps, as a hand would.
        self.move(start[0] + 4, start[1])
        self.move(*start)
        self.xvfb.run("xdotool", "mousedown", str(button))
        time.sleep(0.1)
        steps = 8
        for i in range(1, steps + 1):
            self.move(start[0] + (end[0] - start[0]) * i // steps,
                      start[1] + (end[1] - start[1]) * i // steps)
        self.xvfb.run("xdotool", "mouseup", str(button))
        time.sleep(0.3)

    def box_pixels(self, image, model_x, model_y, predicate, reach=20):
        """Pixels of one colour within `reach` of a model point, as screen (x, y)."""
        cx, cy = self.screen(model_x, model_y)
        found = []
        for y in range(cy - reach, cy + reach + 1):
            for x in range(cx - reach, cx + reach + 1):
                if predicate(*image.pixel(x, y)):
                    found.append((x, y))
        return found

    def assert_box_at(self, image, model_x, model_y, predicate, what):
        pixels = self.box_pixels(image, model_x, model_y, predicate)
        # A 12-pixel square outline has about 48 pixels.
        self.assertGreater(len(pixels), 30, f"{what}: no box at ({model_x}, {model_y})")
        xs = [p[0] for p in pixels]
        ys = [p[1] for p in pixels]
        cx, cy = self.screen(model_x, model_y)
        # Its centre and its extent: within a pixel of the node, half-size 6.
        self.assertLessEqual(abs((min(xs) + max(xs)) / 2 - cx), 1.0, what)
        self.assertLessEqual(abs((min(ys) + max(ys)) / 2 - cy), 1.0, what)
        self.assertLessEqual(abs((max(xs) - min(xs)) - 2 * BOX_HALF), 1, what)

    def test_frame_rate_and_model_appear_and_nodes_follow_left_and_right_drags(self):
        # The model shows before the pointer ever comes over the preview.
        self.xvfb.run("xdotool", "mousemove", str(self.wx + 1100), str(self.wy + 900))
        time.sleep(1.5)
        before = harness.screenshot(self.xvfb)
        # The frame shows in grey: dark noise with bright squares, inside the
        # 511-pixel quad, and black beyond it. Away from the model, the red
        # crosses of the k-means seeds (drawn over the frame whatever the
        # method) are the only colour.
        quad = [before.pixel(*self.screen(x, y)) for x in range(0, 480, 8) for y in range(0, 360, 8)
                if not (x < 200 and 150 <= y <= 250)]
        greys = [p for p in quad if p[0] == p[1] == p[2]]
        crosses = [p for p in quad if is_red(*p)]
        self.assertEqual(len(greys) + len(crosses), len(quad))
        self.assertLess(len(crosses), 10)
        self.assertTrue(any(p[0] >= 200 for p in quad), "no bright square in the frame")
        self.assertTrue(any(0 < p[0] < 100 for p in quad), "no dark noise in the frame")
        outside = self.screen(650, 300)
        self.assertEqual(before.pixel(*outside), (0, 0, 0))

        before.save_png("preview_after_start.png")
        self.assert_box_at(before, *NODES[0], is_red, "node 0")
        self.assert_box_at(before, *NODES[1], is_green, "node 1")
        self.assert_box_at(before, *NODES[2], is_green, "node 2")
        # The frame rate line: white text at (10, 10) from the preview's bottom-left.
        text = self.box_pixels(before, 40, 18, lambda r, g, b: min(r, g, b) >= 200, reach=12)
        self.assertGreater(len(text), 20, "no frame-rate text")

        # Node 1 with the left button, node 2 with the right one.
        node1_to, node2_to = (300, 260), (420, 120)
        self.drag(NODES[1], node1_to, 1)
        self.drag(NODES[2], node2_to, 3)
        self.move(460, 330)  # away from the nodes, so no hover box is drawn
        time.sleep(0.5)
        after = harness.screenshot(self.xvfb, save_as="preview_after_drags.png")
        self.assert_box_at(after, *node1_to, is_green, "node 1 dropped")
        self.assert_box_at(after, *node2_to, is_green, "node 2 dropped")
        self.assert_box_at(after, *NODES[0], is_red, "node 0 stays")
        for x, y in NODES[1:]:
            self.assertEqual(self.box_pixels(after, x, y, is_green, reach=10), [],
                             f"a box is still at ({x}, {y})")


if __name__ == "__main__":
    unittest.main()
