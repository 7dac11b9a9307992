"""The operator's aids in the running program: on a 1366 x 768 screen every
button of the panel can be reached and clicked; the keys act on the panel but
not in a text field, Space does not press the focused button, F freezes the
frame, F11 opens and closes the output window; an unsaved take is not lost
to Escape without a question."""

import os
import struct
import unittest

import harness

# The content's buttons as (label, x, y, w, h) in panel coordinates, by the
# page that must be open to see them (None: outside the tab set).
PAGE_BUTTONS = [
    ("Camera", [("y - invert frame buffer", 820, 125, 160, 25), ("freeze", 1000, 125, 120, 25)]),
    ("Clustering", [("k-means", 820, 65, 100, 14), ("region grow", 820, 85, 100, 10),
                    ("cure: hierarchical merge", 820, 100, 100, 15), ("show thresholding", 1090, 35, 145, 20)]),
    ("Model", [("visible", 830, 275, 64, 20), ("position relative to node", 830, 295, 190, 20)]),
]
GROUP_BUTTONS = [  # clicked for a change of their own picture
    ("record and play: loop", 231, 702, 64, 20), ("record and play: visible", 281, 702, 64, 20),
    ("record and play: cut", 85, 700, 64, 25),
    ("playback: loop", 230, 827, 64, 20), ("playback: visible", 280, 827, 64, 20),
    ("playback: cut", 80, 825, 64, 25),
]
PANEL_H = 950


def offset_of(option_file, name):
    with open(option_file, "rb") as f:
        data = f.read()
    return struct.unpack_from("<i", data, harness.OPTION_OFFSETS[name])[0]


class SmallScreenTest(harness.ProgramTest):
    SCREEN = (1366, 768)


    def scroll(self, to_bottom):
        """Drags the panel's scroll bar thumb to one end."""
        bar_x = self.ww - 8
        start, end = (40, self.wh + 50) if to_bottom else (self.wh - 40, -50)
        strip = (self.ww - 200, 0, 180, self.wh)
        before = self.shot(strip)
        self.move(bar_x, start)
        self.xvfb.run("xdotool", "mousedown", "1")
        self.move(bar_x, (start + end) // 2)
        self.move(bar_x, end)
        self.xvfb.run("xdotool", "mouseup", "1")
        harness.wait_until(lambda: self.shot(strip).data != before.data, what="the panel to scroll")
        self.dy = PANEL_H - self.wh if to_bottom else 0

    def shot(self, area):
        x, y, w, h = area
        return harness.screenshot(self.xvfb, area=(self.wx + x, self.wy + y, w, h))

    def click_and_see(self, label, x, y, w, h, watch=None):
        """Clicks the middle of a button (panel coordinates) and waits for the
        picture of the button, or of the area `watch`, to change: a check, a
        light, a focus frame or a value."""
        self.assertGreaterEqual(y - self.dy, 0, label)
        self.assertLessEqual(y - self.dy + h, self.wh, label)
        wx, wy, ww, wh = watch or (x, y, w, h)
        area = (wx, wy - self.dy, ww, wh)
        before = self.shot(area)
        self.click(x + w // 2, y - self.dy + h // 2)
        harness.wait_until(lambda: self.shot(area).data != before.data, what=f'"{label}" to react')

    def click_for_window(self, label, x, y, w, h, title, answer=None):
        """Clicks a button that opens a file chooser, then answers or cancels it."""
        self.click(x + w // 2, y - self.dy + h // 2)
        if answer is not None:
            self.choose_file(title, answer)
            harness.wait_until(lambda: os.path.exists(answer), what=f"{answer} from {label}")
            return
        window = self.wait_for_window(title)
        self.xvfb.run("xdotool", "mousemove", str(window[2] + 50), str(window[3] + 50), "key", "Escape")
        self.wait_window_gone(title)

    def test_every_button_can_be_clicked(self):
        program = self.start()
        self.attach(program)
        _wid, _x, _y, self.ww, self.wh = program.main_window()
        self.assertLessEqual(self.wh, 768)
        self.assertLessEqual(self.ww, 1366)
        self.dy = 0
        take = os.path.join(self.workdir, "take.txt")

        for page, buttons in PAGE_BUTTONS:
            self.click_tab(page)
            for button in buttons:
                self.click_and_see(*button)
        self.click_tab("Model")
        self.click_for_window("load", 1120, 575, 64, 25, "load model from:")
        self.click_for_window("save", 1190, 575, 64, 25, "save model to:")

        self.click_tab("Fullscreen")
        self.click(1062, 50)                                       # "(re)open"
        output = lambda: [w for w in harness.top_level_windows(self.xvfb) if tuple(w[4:]) == (800, 600)]
        harness.wait_until(output, what="the output window")
        self.click(1062, 75)                                       # "close"
        harness.wait_until(lambda: not output(), what="the output window to close")
        self.click_and_see("use", 820, 235, 64, 25, watch=(875, 36, 40, 24))  # "xpos:" shows 0

        self.click_and_see("record", 10, 700, 68, 25)              # on: its light
        self.click_and_see("record", 10, 700, 68, 25)              # off
        self.click_and_see("play", 156, 700, 68, 25)
        self.click_and_see("play", 156, 700, 68, 25)
        self.click_for_window("save as", 1190, 700, 64, 25, "save data to:", answer=take)
        self.fill_input(790, 713, "quick.txt")
        self.click(1032, 712)                                      # "<-quicksave"
        harness.wait_until(lambda: os.path.exists(os.path.join(self.workdir, "quick.txt")), what="quick.txt")

        self.scroll(to_bottom=True)
        for button in GROUP_BUTTONS:
            self.click_and_see(*button)
        self.click_for_window("load", 10, 825, 64, 25, "load data from:", answer=take)
        self.click_and_see("playback: play", 155, 825, 68, 25)
        self.click_and_see("playback: play", 155, 825, 68, 25)
        self.click_for_window("playback: save as", 1190, 825, 64, 25, "save data to:",
                              answer=os.path.join(self.workdir, "copy.txt"))
        self.fill_input(790, 837 - self.dy, "quick2.txt")
        self.click(1037, 836 - self.dy)                            # "<-quicksave" of "playback:"
        harness.wait_until(lambda: os.path.exists(os.path.join(self.workdir, "quick2.txt")), what="quick2.txt")
        self.click_and_see("reset all", 1115, 920, 70, 25)
        self.shot((0, 0, self.ww, self.wh)).save_png("small_screen_bottom.png")
        self.click(1225, 932 - self.dy)                            # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(program.stdout().count("\n anim loaded."), 1)
        # "reset all" undid "y - invert", "cure" and "use"; the file says so.
        for name in ("cluster_method", "fullscreen_x", "fullscreen_width"):
            self.assertEqual(offset_of(program.options_path, name), harness.OPTION_DEFAULTS[name], name)
        with open(program.options_path, "rb") as f:
            self.assertEqual(f.read()[8], 1, "y_invert")


class KeysTest(harness.ProgramTest):
    PREVIEW_FRAME = (100, 300, 300, 200)  # part of the camera frame, clear of the rate text

    def frame(self):
        x, y, w, h = self.PREVIEW_FRAME
        return harness.screenshot(self.xvfb, area=(self.wx + x, self.wy + y, w, h)).data

    def area(self, x, y, w, h):
        return harness.screenshot(self.xvfb, area=(self.wx + x, self.wy + y, w, h)).data

    def test_keys_freeze_output_window_and_the_unsaved_take(self):
        program = self.start()
        self.attach(program)
        self.park_pointer()

        # F holds the frame: two pictures some cycles apart agree, as they
        # never do while the camera runs; F again lets it go on.
        self.key("f")
        held = self.picture(*self.PREVIEW_FRAME).data
        self.program.sync(passes=10)
        self.assertEqual(self.picture(*self.PREVIEW_FRAME).data, held)
        self.key("f")
        still = self.frame()
        harness.wait_until(lambda: self.frame() != still, what="the frame to move again")

        # R records and stops; an "r" typed into a file name does neither.
        record = (10, 700, 68, 25)
        idle = self.area(*record)
        self.key("r")
        harness.wait_until(lambda: self.area(*record) != idle, what="the record light")
        self.key("r")
        harness.wait_until(lambda: self.area(*record) == idle, what="the record light to go out")
        self.fill_input(790, 713, "rr.txt")
        self.assertEqual(self.area(*record), idle)
        self.key("ctrl+s")
        harness.wait_until(lambda: os.path.exists(os.path.join(self.workdir, "rr.txt")), what="the quicksave")

        # Space plays "playback:" and leaves the focused check button alone.
        visible = (280, 827, 64, 20)
        self.click(312, 837)
        checked = self.area(*visible)
        play = (155, 825, 68, 25)
        stopped = self.area(*play)
        self.key("space")
        harness.wait_until(lambda: self.area(*play) != stopped, what="playback to play")
        self.assertEqual(self.area(*visible), checked)
        self.key("space")

        # F1 opens the Help page; F11 opens and closes the output window.
        tabs = (810, 5, 450, 600)
        model_page = self.area(*tabs)
        self.key("F1")
        harness.wait_until(lambda: self.area(*tabs) != model_page, what="the Help page")
        self.picture(*tabs).save_png("help_page_keys.png")
        output = lambda: [w for w in harness.top_level_windows(self.xvfb) if tuple(w[4:]) == (800, 600)]
        self.key("F11")
        harness.wait_until(output, what="the output window")
        self.park_pointer()
        self.key("F11")
        harness.wait_until(lambda: not output(), what="the output window to close")

        # A new take, not saved: Escape asks; "cancel" keeps the program, "discard" ends it.
        self.key("r")
        harness.wait_until(lambda: self.area(*record) != idle, what="the record light")
        self.key("r")
        harness.wait_until(lambda: self.area(*record) == idle, what="the record light to go out")
        self.key("Escape")
        harness.screenshot(self.xvfb, save_as="unsaved_take_question.png")
        self.answer_unsaved_take("c")
        self.assertIsNone(program.proc.poll())
        self.park_pointer()
        self.key("Escape")
        self.answer_unsaved_take("d")
        self.assertEqual(program.wait_exit(), 0)
        self.assertIn("\noptions saved to", program.stdout())


if __name__ == "__main__":
    unittest.main()
