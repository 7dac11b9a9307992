"""The live model shows from the first frames, in the preview and in the output
window, while the pointer has never been over the preview."""

import unittest

import harness

PREVIEW = (5, 5)            # the preview's place in the main window
PREVIEW_HEIGHT = 600
OUTPUT = (1280, 0, 800, 600)  # the output window's default place and size
NODE0 = (50, 200)           # node 0 of the live model at start, y up


def is_red(r, g, b):
    return r >= 250 and g <= 5 and b <= 5


def red_near(image, x, y, reach):
    return image.crop_count(x - reach, y - reach, x + reach + 1, y + reach + 1,
                            lambda r, g, b: is_red(r, g, b))


class ModelVisibleTest(harness.ProgramTest):
    def test_node_0_shows_without_the_pointer_over_the_preview(self):
        # The pointer waits in the screen's far corner before the program starts.
        self.xvfb.run("xdotool", "mousemove", "2550", "1190")
        program = self.start()
        self.attach(program)
        pointer = self.xvfb.run("xdotool", "getmouselocation", "--shell")
        px = int(pointer.split("X=")[1].split()[0])
        py = int(pointer.split("Y=")[1].split()[0])
        self.assertFalse(self.wx <= px < self.wx + 1264 and self.wy <= py < self.wy + 950,
                         f"the pointer at ({px}, {py}) is over the window")

        # Node 0's box: a 12-pixel red square outline, about 48 pixels.
        x = self.wx + PREVIEW[0] + NODE0[0]
        y = self.wy + PREVIEW[1] + PREVIEW_HEIGHT - NODE0[1]
        def preview_shows_node0():
            image = harness.screenshot(self.xvfb)
            return image if red_near(image, x, y, 10) > 30 else None
        shown = harness.wait_until(preview_shows_node0, timeout=20,
                                   what="the red box of node 0 in the preview")
        shown.save_png("model_visible_at_start.png")
        self.assertEqual(red_near(shown, x, y + 40, 10), 0, "red below the node")

        # The output window gets the visible model too: node 0 scaled by 600 / 360.
        self.click_tab("Fullscreen")
        self.click(1062, 50)                     # "(re)open"
        scale = min(OUTPUT[2] / 480, OUTPUT[3] / 360)
        ox = OUTPUT[0] + round(NODE0[0] * scale)
        oy = OUTPUT[1] + OUTPUT[3] - round(NODE0[1] * scale)
        harness.wait_until(lambda: red_near(harness.screenshot(self.xvfb), ox, oy, 16) > 30,
                           timeout=20, what="the red box of node 0 in the output window")


if __name__ == "__main__":
    unittest.main()
