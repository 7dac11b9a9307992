"""Options files holding values no widget could set: the program starts with
them, runs every clustering method with the output window open, records and
plays, offers its paths in a file chooser, and ends normally, keeping every
byte it did not change, without allocating beyond a modest bound. A threshold
of 256 makes every pixel bright: each method clusters the whole frame while
the panel keeps answering."""

import os
import struct
import unittest

import harness

INT32_MAX = 2147483647

# Two files, each with a mix of values out of every widget's range.
WILD = [
    dict(cluster_method=7, threshold=511, node_count=0, animation_buffer_frames=0,
         fullscreen_width=0, fullscreen_height=0, fullscreen_x=-100000, fullscreen_y=100000,
         kmeans_clusters=INT32_MAX, kmeans_iterations=INT32_MAX, kmeans_threads=-3,
         regiongrow_max_distance=-80, regiongrow_max_cluster_size=-5000, regiongrow_min_cluster_size=-20,
         cure_max_distance=-80, cure_max_cluster_size=-1, cure_min_cluster_size=-20,
         min_node_distance=-10, max_track_distance=-30, line_width=0, sensor_max_radius=-20,
         camera_brightness=-1, camera_gain=-1, camera_shutter=-1, show_thresholding=7,
         frame_width=-1, frame_height=-1),
    dict(cluster_method=-1, threshold=300, node_count=1000, animation_buffer_frames=-5,
         fullscreen_width=-640, fullscreen_height=-480, fullscreen_x=1280, fullscreen_y=0,
         kmeans_clusters=-7, kmeans_iterations=-5, kmeans_threads=INT32_MAX,
         regiongrow_max_distance=INT32_MAX, regiongrow_max_cluster_size=INT32_MAX,
         regiongrow_min_cluster_size=INT32_MAX, cure_max_distance=INT32_MAX,
         cure_max_cluster_size=INT32_MAX, cure_min_cluster_size=-INT32_MAX - 1,
         min_node_distance=INT32_MAX, max_track_distance=INT32_MAX, line_width=INT32_MAX,
         sensor_max_radius=INT32_MAX, camera_brightness=INT32_MAX, show_thresholding=-1),
]

RADIOS = {"k-means": (830, 70), "region grow": (830, 87), "cure": (830, 108)}
METHODS = {"k-means": 1, "region grow": 0, "cure": 2}
PEAK_RSS_LIMIT_KB = 1536 * 1024
SHOW_THRESHOLDING = (1098, 45)     # its box, on the "Clustering" page
FRAME_AREA = (5, 245, 480, 360)    # the frame's part of the preview
# The live model's nodes at start, y counting up from the preview's bottom.
NODES = [(50, 200), (100, 200), (150, 200)]


def red_crosses(image):
    return image.components(lambda r, g, b: r >= 250 and g <= 5 and b <= 5)


def wild_image(values, y_invert):
    data = bytearray(harness.options_image(**values))
    data[8] = y_invert
    # Paths without their terminating NUL, and something in the reserved bytes.
    data[9:9 + 1024] = b"s" * 1024
    data[1033:1033 + 1024] = b"l" * 1024
    data[2057:2060] = b"\xff\xfe\xfd"
    return bytes(data)


def peak_rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM")


class HostileOptionsTest(harness.ProgramTest):
    def run_with(self, image, name):
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(image)
        program = self.start()
        self.assertIn("\noptions loaded from velmora.exe.ini", program.stdout())
        self.attach(program)
        self.click_tab("Clustering")
        self.park_pointer()
        self.picture(0, 0, 1264, 950).save_png(f"{name}_clustering.png")

        self.click_tab("Fullscreen")
        self.click(1062, 50)                    # "(re)open"
        self.click_tab("Clustering")
        for method in ["k-means", "region grow", "cure"]:
            self.click(*RADIOS[method])
            program.sync(passes=5)              # fails if the program ends
        # Record a moment and play it back, with the buffer the file asked for.
        self.click(44, 712)                     # "record" on
        program.sync(passes=10)
        self.click(44, 712)                     # "record" off
        self.click(189, 712)                    # "play" on
        program.sync(passes=10)
        self.click(189, 712)                    # "play" off
        self.picture(0, 0, 1264, 950).save_png(f"{name}_running.png")

        # The save chooser proposes a path the file left without its end.
        self.click_tab("Model")
        self.click(1222, 587)                   # "save"
        chooser = self.wait_for_window("save model to:")
        harness.screenshot(self.xvfb, area=chooser[2:]).save_png(f"{name}_chooser.png")
        # Escape, with the pointer over it, cancels: nothing is saved.
        self.xvfb.run("xdotool", "mousemove", str(chooser[2] + 200), str(chooser[3] + 200),
                      "key", "Escape")
        self.wait_window_gone("save model to:")

        peak = peak_rss_kb(program.proc.pid)
        self.assertLess(peak, PEAK_RSS_LIMIT_KB, f"peak resident size {peak} kB")
        self.click(1225, 932)                   # "quit&&save", with the output window open
        # A buffer the file sized to no frames holds no take to lose; any other
        # size, a refused one giving the default buffer, does.
        if struct.unpack_from("<i", image, harness.OPTION_OFFSETS["animation_buffer_frames"])[0] != 0:
            self.answer_unsaved_take("d")       # the take recorded above is not kept
        self.assertEqual(program.wait_exit(), 0)
        self.assertIn("normally exiting fullscreen thread", program.stdout())
        # Nothing is validated or repaired: the file comes back as it was,
        # but for the method the radio buttons set last.
        with open(program.options_path, "rb") as f:
            saved = f.read()
        expected = bytearray(image)
        struct.pack_into("<i", expected, 0, METHODS["cure"])
        self.assertEqual(saved, bytes(expected))

    def test_values_out_of_every_range(self):
        for n, values in enumerate(WILD):
            with self.subTest(file=n):
                self.run_with(wild_image(values, y_invert=5 if n == 0 else 0), f"wild{n}")

    def test_threshold_256_clusters_the_whole_frame_with_every_method(self):
        # Only the threshold's low 8 bits count: 256 lists all 172800 pixels.
        # Method 3 runs none, so the nodes keep their places until they are
        # dragged right of the frame, where no cluster or sensor of theirs
        # covers the crosses that the methods draw on it.
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(harness.options_image(threshold=256, show_thresholding=1, cluster_method=3))
        program = self.start()
        self.attach(program)
        for n, (x, y) in enumerate(NODES):
            self.drag((5 + x, 605 - y), (5 + 620 + 60 * n, 605 - y))
        self.click_tab("Clustering")
        patterns = {}
        for method in ["region grow", "k-means", "cure"]:
            with self.subTest(method=method):
                self.click(*RADIOS[method])
                self.park_pointer()
                # The thresholded frame is white; the crosses of this method's
                # clusters lie on it. The input is the same in every cycle,
                # so each method draws its own fixed pattern.
                frame = self.picture(*FRAME_AREA)
                frame.save_png(f"threshold256_{method.replace(' ', '_')}.png")
                white = frame.crop_count(0, 0, 480, 360, lambda r, g, b: r == g == b == 255)
                self.assertGreater(white, 0.9 * 172800, "the thresholded frame is not white")
                patterns[method] = bytes(frame.data)
                crosses = len(red_crosses(frame))
                if method == "region grow":     # a region holds at most 5000 of the 172800 pixels
                    self.assertGreater(crosses, 30)
                elif method == "k-means":       # as many centres as kmeans_clusters
                    self.assertEqual(crosses, 3)
                else:
                    self.assertGreater(crosses, 1)
                # The panel answers: "show thresholding" off shows the raw
                # frame, dark noise; on again shows the white one.
                self.click(*SHOW_THRESHOLDING)
                self.park_pointer()
                raw = self.picture(*FRAME_AREA)
                self.assertLess(raw.crop_count(0, 0, 480, 360, lambda r, g, b: r == g == b == 255), 2000,
                                "the raw frame is white")
                self.click(*SHOW_THRESHOLDING)
                self.park_pointer()
                self.assertGreater(self.picture(*FRAME_AREA).crop_count(
                    0, 0, 480, 360, lambda r, g, b: r == g == b == 255), 0.9 * 172800)
        self.assertEqual(len(set(patterns.values())), 3, "two methods drew the same clusters")
        # The cycle rate still reaches the title.
        def rate_shown():
            title = program.title()
            assert title and title.isdigit() and int(title) > 0, f"the title {title!r}"
            return True
        harness.wait_until(rate_shown, what="a positive cycle count in the title")
        self.click(1225, 932)                   # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
