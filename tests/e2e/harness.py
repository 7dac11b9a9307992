"""Drives the real velmora program on a private Xvfb display.

Each test gets its own virtual display and its own working folder, starts the
program as "velmora" in that folder (so its options file is
<folder>/velmora.exe.ini), and talks to it only through X input events
(xdotool), window queries (xwininfo, xprop) and screenshots (ImageMagick).
"""

import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

BINARY = os.environ.get("VELMORA_BINARY", "")
ARTIFACTS = os.environ.get("VELMORA_ARTIFACTS", "")


# The options file: int32 fields by offset, and the image a program with
# default settings saves (every field at its documented default, both paths
# "output.txt" padded with zeros, the reserved bytes zero).
OPTION_OFFSETS = {
    "cluster_method": 0, "show_thresholding": 4, "frame_width": 2060, "frame_height": 2064,
    "camera_brightness": 2068, "camera_gain": 2072, "camera_shutter": 2076,
    "fullscreen_width": 2080, "fullscreen_height": 2084, "fullscreen_x": 2088, "fullscreen_y": 2092,
    "threshold": 2096, "kmeans_iterations": 2100, "kmeans_threads": 2104, "kmeans_clusters": 2108,
    "regiongrow_max_distance": 2112, "regiongrow_max_cluster_size": 2116,
    "regiongrow_min_cluster_size": 2120, "cure_max_distance": 2124, "cure_max_cluster_size": 2128,
    "cure_min_cluster_size": 2132, "min_node_distance": 2136, "max_track_distance": 2140,
    "animation_buffer_frames": 2144, "node_count": 2148, "line_width": 2152, "sensor_max_radius": 2156,
}
OPTION_DEFAULTS = {
    "cluster_method": 0, "show_thresholding": 0, "frame_width": 480, "frame_height": 360,
    "camera_brightness": 512, "camera_gain": 128, "camera_shutter": 120,
    "fullscreen_width": 800, "fullscreen_height": 600, "fullscreen_x": 1280, "fullscreen_y": 0,
    "threshold": 0, "kmeans_iterations": 5, "kmeans_threads": 1, "kmeans_clusters": 3,
    "regiongrow_max_distance": 80, "regiongrow_max_cluster_size": 5000,
    "regiongrow_min_cluster_size": 20, "cure_max_distance": 80, "cure_max_cluster_size": 5000,
    "cure_min_cluster_size": 20, "min_node_distance": 10, "max_track_distance": 30,
    "animation_buffer_frames": 1000, "node_count": 3, "line_width": 1, "sensor_max_radius": 20,
}


def options_image(**changes):
    """The 2160-byte options file of the defaults with some int32 fields changed."""
    data = bytearray(2160)
    data[8] = 1  # y_invert
    data[9:9 + 10] = b"output.txt"
    data[1033:1033 + 10] = b"output.txt"
    for name, value in dict(OPTION_DEFAULTS, **changes).items():
        struct.pack_into("<i", data, OPTION_OFFSETS[name], value)
    return bytes(data)


class Xvfb:
    """A private X server; -displayfd picks a free display number."""

    def __init__(self, width=2560, height=1200):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-noreset", "-nolisten", "tcp",
             "-screen", "0", f"{width}x{height}x24"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)

    def run(self, *args, check=True, timeout=30):
        return subprocess.run(list(args), env=self.env, check=check, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True).stdout

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Image:
    """An RGB screenshot; pixel(x, y) counts y downward from the top."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def crop(self, x, y, w, h):
        """The part [x, x + w) x [y, y + h) as an image of its own."""
        rows = [self.data[3 * ((y + r) * self.width + x):3 * ((y + r) * self.width + x + w)]
                for r in range(h)]
        return Image(w, h, b"".join(rows))

    def save_png(self, name):
        """Saves the image as PNG under the artifacts folder, when there is one."""
        if not ARTIFACTS:
            return
        os.makedirs(ARTIFACTS, exist_ok=True)
        ppm = b"P6\n%d %d\n255\n" % (self.width, self.height) + bytes(self.data)
        subprocess.run(["convert", "ppm:-", os.path.join(ARTIFACTS, name)], input=ppm, check=True)

    def components(self, predicate):
        """Groups of 8-connected pixels for which predicate(r, g, b) holds, as
        (centre x, centre y, width, height, pixel count) of their bounding boxes."""
        seen = bytearray(self.width * self.height)
        found = []
        for start in range(self.width * self.height):
            if seen[start] or not predicate(*self.data[3 * start:3 * start + 3]):
                continue
            seen[start] = 1
            stack, xs, ys = [start], [], []
            while stack:
                i = stack.pop()
                x, y = i % self.width, i // self.width
                xs.append(x)
                ys.append(y)
                for dy in (-1, 0, 1):
                    for dx in (-1, 0, 1):
                        nx, ny = x + dx, y + dy
                        if 0 <= nx < self.width and 0 <= ny < self.height:
                            j = ny * self.width + nx
                            if not seen[j] and predicate(*self.data[3 * j:3 * j + 3]):
                                seen[j] = 1
                                stack.append(j)
            found.append(((min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2,
                          max(xs) - min(xs) + 1, max(ys) - min(ys) + 1, len(xs)))
        return found

    def crop_count(self, x0, y0, x1, y1, predicate):
        """Number of pixels in [x0, x1) x [y0, y1) for which predicate(rgb) holds."""
        n = 0
        for y in range(max(0, y0), min(self.height, y1)):
            row = 3 * y * self.width
            for x in range(max(0, x0), min(self.width, x1)):
                i = row + 3 * x
                if predicate(self.data[i], self.data[i + 1], self.data[i + 2]):
                    n += 1
        return n


def parse_ppm(raw):
    """Parses a binary PPM (P6) with maxval 255."""
    fields, pos = [], 0
    while len(fields) < 4:
        while raw[pos:pos + 1].isspace():
            pos += 1
        if raw[pos:pos + 1] == b"#":
            pos = raw.index(b"\n", pos) + 1
            continue
        start = pos
        while not raw[pos:pos + 1].isspace():
            pos += 1
        fields.append(raw[start:pos])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit P6 image")
    width, height = int(fields[1]), int(fields[2])
    pos += 1
    return Image(width, height, raw[pos:pos + 3 * width * height])


class Velmora:
    """One run of the program."""

    def __init__(self, xvfb, workdir):
        self.xvfb = xvfb
        self.workdir = workdir
        self.stdout_path = os.path.join(workdir, "stdout.txt")
        self.stderr_path = os.path.join(workdir, "stderr.txt")
        self._out = open(self.stdout_path, "wb")
        self._err = open(self.stderr_path, "wb")
        self.proc = subprocess.Popen(["velmora"], executable=BINARY, cwd=workdir, env=xvfb.env,
                                     stdout=self._out, stderr=self._err)

    @property
    def options_path(self):
        return os.path.join(self.workdir, "velmora.exe.ini")

    def stdout(self):
        with open(self.stdout_path, "rb") as f:
            return f.read().decode(errors="replace")

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode(errors="replace")

    def wait_for_log(self, text, timeout=30, stream="stderr"):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in (self.stderr() if stream == "stderr" else self.stdout()):
                return
            if self.proc.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError(f"{text!r} did not appear on {stream}:\n{self.stderr()}\n{self.stdout()}")

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout=timeout)
        finally:
            self._out.close()
            self._err.close()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        self._out.close()
        self._err.close()


def top_level_windows(xvfb):
    """[(id, name, x, y, width, height)] of the root window's mapped children."""
    out = xvfb.run("xwininfo", "-root", "-children")
    windows = []
    for line in out.splitlines():
        m = re.match(r'\s+(0x[0-9a-f]+) (?:"(.*?)"|\(has no name\)).*?(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', line)
        if m:
            wid, name, w, h, x, y = m.groups()
            windows.append((wid, name, int(x), int(y), int(w), int(h)))
    return windows


def window_geometry(xvfb, wid):
    """(x, y, width, height) of a window in root coordinates."""
    out = xvfb.run("xwininfo", "-id", wid)
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def wait_until(predicate, timeout=10, interval=0.05, what="condition"):
    """Polls until predicate() gives a true value, which it returns."""
    deadline = time.time() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.time() >= deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(interval)


def screenshot(xvfb, save_as=None, area=None):
    """The whole screen, or the area (x, y, width, height) of it; also saved as
    PNG under the artifacts folder when asked."""
    crop = ["-crop", "%dx%d+%d+%d" % (area[2], area[3], area[0], area[1])] if area else []
    raw = subprocess.run(["import", "-display", xvfb.display, "-window", "root", *crop,
                          "-depth", "8", "ppm:-"],
                         check=True, stdout=subprocess.PIPE, timeout=60).stdout
    if save_as and ARTIFACTS:
        os.makedirs(ARTIFACTS, exist_ok=True)
        subprocess.run(["convert", "ppm:-", os.path.join(ARTIFACTS, save_as)], input=raw, check=True)
    return parse_ppm(raw)


class ProgramTest(unittest.TestCase):
    """Base class: a private display and working folder per test."""

    # The size of the test's screen.
    SCREEN = (2560, 1200)

    def setUp(self):
        if not BINARY:
            self.skipTest("VELMORA_BINARY is not set")
        self.xvfb = Xvfb(*self.SCREEN)
        self.addCleanup(self.xvfb.stop)
        self.workdir = tempfile.mkdtemp(prefix="velmora-e2e-")
        self.addCleanup(shutil.rmtree, self.workdir, True)
        self.programs = []

    def tearDown(self):
        for p in self.programs:
            p.kill()

    def start(self):
        program = Velmora(self.xvfb, self.workdir)
        self.programs.append(program)
        program.wait_for_log("\nbefore entering mainloop")
        return program

    def main_window(self):
        """Geometry of the 1264 x 950 main window."""
        deadline = time.time() + 10
        while time.time() < deadline:
            for wid, _name, _x, _y, w, h in top_level_windows(self.xvfb):
                if (w, h) == (1264, 950):
                    return (wid,) + window_geometry(self.xvfb, wid)
            time.sleep(0.1)
        raise AssertionError("no main window")

    def close_main_window(self):
        """Escape closes an FLTK window; without a window manager the keyboard
        focus follows the pointer, so the pointer goes over the window first."""
        wid, x, y, _w, _h = self.main_window()
        self.xvfb.run("xdotool", "mousemove", str(x + 1100), str(y + 900))
        time.sleep(0.2)
        self.xvfb.run("xdotool", "key", "Escape")

    # --- the control panel, driven with the pointer and the keyboard ----------
    # Coordinates are window coordinates inside the 1264 x 950 main window.

    # The middle of each tab label on the tab set's top edge, measured on a
    # page picture: all seven labels fit side by side.
    TABS = {"Camera": 843, "Clustering": 911, "Model": 976, "Tracking": 1036,
            "Fullscreen": 1109, "System": 1178, "Help": 1230}
    # The inner tabs of the "Clustering" page.
    INNER_TABS = {"k-means": 855, "region-grow": 941, "cure": 1012}

    def attach(self, program):
        """Makes `program` the one the panel helpers drive."""
        self.program = program
        _wid, self.wx, self.wy, _w, _h = self.main_window()

    def move(self, x, y, settle=0.05):
        self.xvfb.run("xdotool", "mousemove", str(self.wx + x), str(self.wy + y))
        time.sleep(settle)

    def click(self, x, y, button=1, settle=0.1):
        self.move(x, y)
        self.xvfb.run("xdotool", "click", str(button))
        time.sleep(settle)

    def key(self, *keys, repeat=1):
        """Key presses to the widget that has the keyboard focus."""
        args = ["xdotool", "key", "--delay", "5"]
        if repeat > 1:
            args += ["--repeat", str(repeat)]
        self.xvfb.run(*args, *keys, timeout=60)
        time.sleep(0.05)

    def type_text(self, text):
        self.xvfb.run("xdotool", "type", "--delay", "3", text, timeout=120)
        time.sleep(0.05)

    def park_pointer(self):
        """The pointer over the window's empty corner: no tooltip, no hover."""
        self.move(600, 935, settle=0.1)

    def click_tab(self, label):
        self.click(self.TABS[label], 15)

    def click_inner_tab(self, label):
        self.click(self.INNER_TABS[label], 135)

    def nudge_slider(self, x, y, h, steps, value_box=True):
        """Moves a horizontal slider by `steps` steps (negative: to the left)
        with the arrow keys. The click that gives it the keyboard focus lands
        on its value box, or on the knob of a plain slider at its minimum, so
        that the click itself changes nothing."""
        self.click(x + 10, y + h // 2)
        if steps:
            self.key("Right" if steps > 0 else "Left", repeat=abs(steps))

    def fill_input(self, x, y, text):
        """Replaces the whole text of an input (select all, then type)."""
        self.click(x, y)
        self.key("ctrl+a")
        self.type_text(text)

    def settled_image(self, x, y, w, h, timeout=10):
        """The area (window coordinates) once two pictures in a row agree: the
        program draws at its own pace, slower under the sanitizers."""
        area = (self.wx + x, self.wy + y, w, h)
        last = screenshot(self.xvfb, area=area)
        deadline = time.time() + timeout
        while time.time() < deadline:
            time.sleep(0.1)
            shot = screenshot(self.xvfb, area=area)
            if shot.data == last.data:
                return shot
            last = shot
        raise AssertionError(f"the area {area} kept changing")

    def window_image(self):
        return screenshot(self.xvfb, area=(self.wx, self.wy, 1264, 950))

    def choose_file(self, title, path):
        """Answers the toolkit's file chooser titled `title` with `path`, a
        file in the program's working folder. The chooser's name field turns
        a relative name into an absolute one at the first key, leaving the
        cursor inside the text, and completes names as they are typed. So a
        "#" goes first over the selected proposal (it becomes the working
        folder's path and matches no file), End and BackSpace leave that
        folder's path with the cursor at its end, then the name is typed."""
        folder, name = os.path.split(path)
        assert os.path.samefile(folder, self.workdir), path
        def chooser():
            for wid, window_name, _x, _y, _w, _h in top_level_windows(self.xvfb):
                if window_name == title:
                    return wid
            return None
        wid = wait_until(chooser, what=f"the file chooser {title!r}")
        x, y, w, h = window_geometry(self.xvfb, wid)
        # Keyboard focus follows the pointer; the name field has the chooser's focus.
        self.xvfb.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2))
        time.sleep(0.2)
        self.xvfb.run("xdotool", "key", "--delay", "20", "ctrl+a", "numbersign", "End", "BackSpace")
        self.xvfb.run("xdotool", "type", "--delay", "3", name, timeout=120)
        # A completion offered after the last key is selected text: Delete drops it.
        self.xvfb.run("xdotool", "key", "--delay", "20", "Delete", "Return")
        wait_until(lambda: chooser() is None, what=f"the file chooser {title!r} to close")

    def answer_unsaved_take(self, key):
        """Answers the question about an unsaved take with the key of one of
        its buttons: "s" save, "d" discard, "c" cancel."""
        def question():
            return [w for w in top_level_windows(self.xvfb) if w[1] == "unsaved take"]
        _wid, _name, x, y, w, h = wait_until(question, what="the question about the unsaved take")[0]
        # The keyboard focus follows the pointer.
        self.xvfb.run("xdotool", "mousemove", "--sync", str(x + w // 2), str(y + h // 2))
        self.xvfb.run("xdotool", "key", key)
        wait_until(lambda: not question(), what="the question to close")
