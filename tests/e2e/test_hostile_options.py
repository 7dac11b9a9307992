"""Options files holding values no widget could set: the program starts with
them, runs every clustering method with the output window open, records and
plays, offers its paths in a file chooser, and ends normally, keeping every
byte it did not change, without allocating beyond a modest bound."""

import os
import struct
import time
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
        self.window_image().save_png(f"{name}_clustering.png")

        self.click_tab("Fullscreen")
        self.click(1062, 50)                    # "(re)open"
        self.click_tab("Clustering")
        for method in ["k-means", "region grow", "cure"]:
            self.click(*RADIOS[method])
            time.sleep(1.5)
            self.assertIsNone(program.proc.poll(), f"ended while running {method}")

        # Record a moment and play it back, with the buffer the file asked for.
        self.click(44, 712)                     # "record" on
        time.sleep(0.5)
        self.click(44, 712)                     # "record" off
        self.click(189, 712)                    # "play" on
        time.sleep(0.5)
        self.click(189, 712)                    # "play" off
        self.window_image().save_png(f"{name}_running.png")

        # The save chooser proposes a path the file left without its end.
        self.click_tab("Model")
        self.click(1222, 587)                   # "save"
        chooser = harness.wait_until(
            lambda: [w for w in harness.top_level_windows(self.xvfb) if w[1] == "save model to:"],
            what="the model file chooser")[0]
        harness.screenshot(self.xvfb, area=chooser[2:]).save_png(f"{name}_chooser.png")
        self.xvfb.run("xdotool", "mousemove", str(chooser[2] + 200), str(chooser[3] + 200))
        time.sleep(0.2)
        self.xvfb.run("xdotool", "key", "Escape")  # cancel: nothing is saved
        harness.wait_until(lambda: not [w for w in harness.top_level_windows(self.xvfb)
                                        if w[1] == "save model to:"], what="the chooser to close")

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


if __name__ == "__main__":
    unittest.main()
