"""Controls of the running program: the node-count rule seen through saved
model files, the output window opened, reopened and closed from the
Fullscreen page, a file name too long to keep, and the end of the program
with the output window open."""

import os
import unittest

import harness

OUTPUT = (1400, 50, 640, 400)  # the output window's place and size set on the Fullscreen page


def model_node_count(path):
    """The node count of a complete model file, or None while it is incomplete."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
        count = int(lines[0].split("\t")[0])
        return count if len(lines) == count + 1 else None
    except (OSError, ValueError, IndexError):
        return None


class PanelControlsTest(harness.ProgramTest):
    def output_windows(self):
        return [w for w in harness.top_level_windows(self.xvfb) if tuple(w[2:]) == OUTPUT]

    def save_model(self, name):
        self.click(1222, 587)                   # "save" on the Model page
        path = os.path.join(self.workdir, name)
        self.choose_file("save model to:", path)
        return harness.wait_until(lambda: model_node_count(path), what=f"the model file {name}")

    def test_node_count_output_window_and_long_file_name(self):
        program = self.start()
        self.attach(program)

        # "number of nodes" takes every change of its text: typing 25 sets 2
        # nodes at the "2" and ignores 25; 1 and 11 are ignored.
        self.fill_input(835, 48, "25")
        self.assertEqual(self.save_model("nodes25.txt"), 2)
        self.fill_input(835, 48, "1")
        self.fill_input(835, 48, "11")
        self.assertEqual(self.save_model("nodes11.txt"), 2)

        # The output window opens where the Fullscreen page says.
        self.click_tab("Fullscreen")
        self.fill_input(895, 48, str(OUTPUT[0]))    # "xpos:"
        self.fill_input(895, 73, str(OUTPUT[1]))    # "ypos:"
        self.fill_input(985, 48, str(OUTPUT[2]))    # "width:"
        self.fill_input(985, 73, str(OUTPUT[3]))    # "height:"
        self.click(1062, 50)                        # "(re)open"
        harness.wait_until(self.output_windows, what="the output window")
        # It shows the camera frame: grey noise over its width, scaled to
        # fill the height (400 / 360 of a frame pixel).
        def frame_shown():
            picture = harness.screenshot(self.xvfb, area=OUTPUT)
            grey = picture.crop_count(0, 0, 520, 390, lambda r, g, b: r == g == b and 0 < r <= 60)
            assert grey > 100000, f"{grey} pixels of dark grey"
            return picture
        picture = harness.wait_until(frame_shown, what="the frame in the output window")
        picture.save_png("output_window.png")
        self.assertEqual(picture.crop_count(545, 0, 640, 400, lambda r, g, b: r or g or b), 0,
                         "something drawn right of the frame")

        self.click(1062, 50)                        # "(re)open" again: still one window
        program.sync()
        harness.wait_until(self.output_windows, what="the reopened output window")
        self.assertEqual(len(self.output_windows()), 1)
        self.click(1062, 75)                        # "close"
        harness.wait_until(lambda: not self.output_windows(), what="the output window to close")
        self.click(1062, 75)                        # "close" with none open does nothing
        self.click(1062, 50)
        harness.wait_until(self.output_windows, what="the output window again")

        # A file name of more than 1023 characters does not fit the options: it
        # is refused with a message, which the operator closes. The take itself
        # is saved (its folders exist), so that message is the only one.
        long_dir = os.path.join(self.workdir, *(["d" * 200] * 6))
        os.makedirs(long_dir)
        long_name = os.path.join(long_dir, "n.txt")
        self.fill_input(790, 713, long_name)        # "file name:" of "record and play:"
        self.click(1032, 712)                       # "<-quicksave"
        program.wait_for_log("\nfile name: The file name is longer than 1023 characters")
        self.dismiss_message("file name")
        # A name that fits is kept.
        short_name = os.path.join(self.workdir, "short.txt")
        self.fill_input(790, 713, short_name)
        self.click(1032, 712)
        harness.wait_until(lambda: os.path.exists(short_name + ".model"), what="the quick-save")

        # The end with the output window open: its thread ends, then the program.
        self.click(1225, 932)                       # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        out = program.stdout()
        self.assertIn("normally exiting fullscreen thread", out)
        self.assertLess(out.index("\noptions saved to velmora.exe.ini"),
                        out.rindex("normally exiting fullscreen thread"))
        expected = bytearray(harness.options_image(
            node_count=2, fullscreen_x=OUTPUT[0], fullscreen_y=OUTPUT[1],
            fullscreen_width=OUTPUT[2], fullscreen_height=OUTPUT[3]))
        # save_path holds the short name, and zeros after it: the long name
        # never went into the field, not even in part.
        expected[9:9 + 1024] = short_name.encode().ljust(1024, b"\0")
        with open(program.options_path, "rb") as f:
            self.assertEqual(f.read(), bytes(expected))


if __name__ == "__main__":
    unittest.main()
