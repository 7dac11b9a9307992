"""Settings made on the control panel: saved by "quit&&save" and by closing the
window, shown again at the next start, and "reset all". Also keeps a picture
of every tab page for the eye."""

import unittest

import harness

PAGES = ["Camera", "Clustering", "Model", "Tracking", "Fullscreen", "System", "Help"]
TAB_SET = (810, 5, 450, 600)
PAGE_BODY = (0, 22, 450, 578)  # the tab set below its labels, where a focus frame may sit
# Parts of pages that show the current camera frame, inside TAB_SET: the
# histogram's bars on "Camera" and the cluster statistics on "Clustering".
# They change with every frame and are left out of the comparisons.
LIVE = {"Camera": (11, 361, 424, 213), "Clustering": (11, 296, 428, 288)}


def without_live_part(image, page):
    if page not in LIVE:
        return image
    x0, y0, w, h = LIVE[page]
    data = bytearray(image.data)
    for y in range(y0, y0 + h):
        start = 3 * (y * image.width + x0)
        data[start:start + 3 * w] = bytes(3 * w)
    return harness.Image(image.width, image.height, bytes(data))


def page_images(test, save_prefix=None):
    """Every tab page as the panel shows it, shown by a click on its label."""
    images = {}
    for page in PAGES:
        test.click_tab(page)
        test.park_pointer()
        image = test.picture(*TAB_SET)
        if save_prefix:
            image.save_png(f"{save_prefix}{page}.png")
        images[page] = without_live_part(image, page)
    return images


class PanelOptionsTest(harness.ProgramTest):
    def assert_options_file(self, program, expected):
        with open(program.options_path, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 2160)
        for name, offset in harness.OPTION_OFFSETS.items():
            self.assertEqual(data[offset:offset + 4], expected[offset:offset + 4], name)
        self.assertEqual(data, expected)

    def assert_same_pages(self, shown, expected, when):
        for page in PAGES:
            self.assertTrue(shown[page].data == expected[page].data, f"{when}: page {page!r} differs")

    def test_settings_survive_a_restart_and_reset_all_keeps_the_cure_fields(self):
        # First start, no options file: the "Model" page is open at start.
        first = self.start()
        self.attach(first)
        self.park_pointer()
        opening = without_live_part(self.picture(*TAB_SET), "Model")
        defaults = page_images(self, save_prefix="page_")
        self.assertTrue(opening.crop(*PAGE_BODY).data == defaults["Model"].crop(*PAGE_BODY).data,
                        "the first page shown is not Model")
        # Seven different pages: every label click showed a page of its own.
        self.assertEqual(len({bytes(image.data) for image in defaults.values()}), 7)

        self.click_tab("Clustering")
        self.nudge_slider(820, 35, 25, 180)      # " threshold" 0 -> 180
        self.click(830, 70)                      # "k-means"
        self.click_tab("Model")
        self.fill_input(835, 48, "5")            # "number of nodes"
        self.click_tab("Fullscreen")
        self.fill_input(985, 48, "640")          # "width:"
        changed = page_images(self)
        self.click(1225, 932)                    # "quit&&save"
        self.assertEqual(first.wait_exit(), 0)
        self.assert_options_file(first, harness.options_image(
            cluster_method=1, threshold=180, node_count=5, fullscreen_width=640))

        # Second start: every page shows the loaded values as the first run left them.
        second = self.start()
        self.assertIn("\noptions loaded from velmora.exe.ini", second.stdout())
        self.attach(second)
        self.assert_same_pages(page_images(self), changed, "after the restart")

        # A cure slider, then "reset all": everything else is back at its default.
        self.click_tab("Clustering")
        self.click_inner_tab("cure")
        self.nudge_slider(830, 155, 25, -73)     # cure "max distance" 80 -> 7
        self.click(1150, 932)                    # "reset all"
        self.click_tab("Clustering")
        self.click_inner_tab("region-grow")
        self.assert_same_pages(page_images(self), defaults, "after reset all")
        self.click_tab("Clustering")
        self.click_inner_tab("cure")
        self.park_pointer()
        cure_page = without_live_part(self.picture(*TAB_SET), "Clustering")
        self.assertFalse(cure_page.data == defaults["Clustering"].data)

        # Closing the window saves as well.
        self.close_main_window()
        self.assertEqual(second.wait_exit(), 0)
        self.assertTrue(second.stdout().endswith("\noptions saved to velmora.exe.ini"))
        self.assert_options_file(second, harness.options_image(cure_max_distance=7))


if __name__ == "__main__":
    unittest.main()
