"""Drives the real velmora program on a private Xvfb display.

Each test gets its own virtual display and its own working folder, starts the
program as "velmora" in that folder (so its options file is
<folder>/velmora.exe.ini), and talks to it only through X input events
(xdotool), the X server itself (window list, properties, screen pixels, read
in-process through libX11) and the files and log lines the program writes.

Never wait for quiet on the screen, and never sleep to let the program catch
up: it runs at its own pace, many times slower under the sanitizers or on a
busy machine. Wait for a sign that the state you check is reached:

  program.sync()
      Returns once the program has handled every input sent before the call
      and the screen shows the result. Started with VELMORA_CYCLE_PROPERTY
      set (as start() does), the program publishes the number of event passes
      of its main loop on the X server (see gui/cycle_beacon.h); sync() waits
      for three more. It cannot return while a modal window (a file chooser,
      a message) holds the loop: wait for that window instead.
  program.sync(passes=n)
      The same for n passes: "let the program run n more cycles".
  program.passes()
      The number of event passes so far.
  program.wait_for_log(text, stream="stderr")
      Until the text appears on standard error (or "stdout", which the
      program buffers: its lines are certain only after the end).
  program.title()
      The main window's title: the cycles of the last second, from the first
      second of the loop on.
  wait_until(check, what="...", timeout=PATIENCE)
      Polls check() until it returns a true value, which it returns. check
      may return a false value or raise AssertionError to say what it saw;
      the failure names what was awaited and the last thing seen.
  self.picture(x, y, w, h)                     (ProgramTest, window coordinates)
      sync(), then that area of the main window as an Image.
  self.wait_for_picture((x, y, w, h), check, what="...")
      Screenshots of the area until check(image) returns a true value (it
      may raise AssertionError to say what it saw); returns that image. For
      what the program reaches in its own time: tracking, playback, the
      output window. harness.screenshot(xvfb, area=...) reads screen areas.
  self.wait_for_window(title), self.wait_window_gone(title),
  self.dismiss_message(title), self.choose_file(title, path)
      Top-level windows by title: file choosers, messages.

Input, in window coordinates of the 1264 x 950 main window: self.click,
self.move, self.hover, self.drag, self.key, self.type_text, self.fill_input,
self.nudge_slider, self.click_tab, self.click_inner_tab, self.park_pointer.
Input needs no waiting in between: the program handles X events in the order
they were sent. Two exceptions: where the program's answer to one event
decides what the next one means, sync() between them; and the toolkit may
drop a motion that arrives in one pass with the pointer's entry into a
window. hover() and drag() mind both, as the preview's nodes need.

Deadlines are generous (PATIENCE seconds): they only bound a failing test.
start(pass_count=False) starts the program as an operator does, without the
pass count (and so without sync()).
"""

import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

BINARY = os.environ.get("VELMORA_BINARY", "")
ARTIFACTS = os.environ.get("VELMORA_ARTIFACTS", "")

# How long any wait lasts before it fails, in seconds.
PATIENCE = 90


def wait_until(check, timeout=PATIENCE, interval=0.05, what="a condition"):
    """Polls check() until it gives a true value, which it returns. A false
    value or an AssertionError is what check saw; the failure reports the last
    one."""
    deadline = time.time() + timeout
    seen = "nothing yet"
    while True:
        try:
            value = check()
            if value:
                return value
            seen = repr(value)
        except AssertionError as e:
            seen = str(e)
        if time.time() >= deadline:
            raise AssertionError(f"waited {timeout} s for {what}; last seen: {seen}")
        time.sleep(interval)


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


# --- the X server, read in-process through libX11 -----------------------------

class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                ("blue_mask", ctypes.c_ulong)]  # the function table that follows is not read


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_X11 = None


def _x11():
    global _X11
    if _X11 is None:
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_void_p)]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(_XWindowAttributes)]
        x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XSetErrorHandler.argtypes = [_ERROR_HANDLER]
        x.XSetErrorHandler.restype = ctypes.c_void_p
        # Xlib's default handler ends the process at the first error; a window
        # that goes away while it is read is expected here.
        x._keep_handler = _ERROR_HANDLER(lambda display, event: 0)
        x.XSetErrorHandler(x._keep_handler)
        _X11 = x
    return _X11


class XClient:
    """One connection to an X server for reading it: windows, properties, pixels."""

    def __init__(self, display):
        self.lib = _x11()
        self.dpy = self.lib.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display}")
        self.root = self.lib.XDefaultRootWindow(self.dpy)
        self._atoms = {}

    def close(self):
        if self.dpy:
            self.lib.XCloseDisplay(self.dpy)
            self.dpy = None

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = self.lib.XInternAtom(self.dpy, name.encode(), 0)
        return self._atoms[name]

    def windows(self):
        """[(id, name, x, y, width, height)] of the root window's mapped
        children, bottom to top; name is None for a window without one."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.c_void_p(), ctypes.c_uint()
        if not self.lib.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent),
                                   ctypes.byref(children), ctypes.byref(count)):
            return []
        ids = list(ctypes.cast(children, ctypes.POINTER(ctypes.c_ulong))[:count.value]) if count.value else []
        if children:
            self.lib.XFree(children)
        found = []
        for wid in ids:
            a = _XWindowAttributes()
            if not self.lib.XGetWindowAttributes(self.dpy, wid, ctypes.byref(a)) or a.map_state != 2:
                continue  # gone, or not viewable
            name = ctypes.c_char_p()
            title = None
            if self.lib.XFetchName(self.dpy, wid, ctypes.byref(name)) and name.value is not None:
                title = name.value.decode("latin-1")
                self.lib.XFree(name)
            found.append((hex(wid), title, a.x + a.border_width, a.y + a.border_width, a.width, a.height))
        return found

    def cardinal(self, wid, name):
        """The first value of a 32-bit property of a window, or None."""
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        items, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = self.lib.XGetWindowProperty(self.dpy, int(wid, 16), self.atom(name), 0, 1, 0, 0,
                                             ctypes.byref(kind), ctypes.byref(fmt), ctypes.byref(items),
                                             ctypes.byref(after), ctypes.byref(data))
        value = None
        if status == 0 and data:
            if fmt.value == 32 and items.value >= 1:
                value = ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[0]
            self.lib.XFree(data)
        return value

    def image(self, x, y, width, height):
        """The screen area as an Image."""
        ximage = self.lib.XGetImage(self.dpy, self.root, x, y, width, height, 0xFFFFFFFF, 2)  # ZPixmap
        if not ximage:
            raise AssertionError(f"cannot read the screen area {(x, y, width, height)}")
        try:
            im = ximage.contents
            if im.bits_per_pixel != 32 or im.red_mask != 0xFF0000 or im.blue_mask != 0xFF:
                raise RuntimeError("expected a 24-bit screen in 32-bit pixels")
            raw = ctypes.string_at(im.data, im.bytes_per_line * height)
            if im.bytes_per_line != 4 * width:
                raw = b"".join(raw[r * im.bytes_per_line:r * im.bytes_per_line + 4 * width]
                               for r in range(height))
            rgb = bytearray(3 * width * height)
            rgb[0::3], rgb[1::3], rgb[2::3] = raw[2::4], raw[1::4], raw[0::4]
            return Image(width, height, bytes(rgb))
        finally:
            self.lib.XDestroyImage(ximage)


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
        self.width, self.height = width, height
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.x = XClient(self.display)

    def run(self, *args, check=True, timeout=60):
        return subprocess.run(list(args), env=self.env, check=check, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True).stdout

    def stop(self):
        if getattr(self, "x", None):
            self.x.close()
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

    def save_png(self, name, folder=None):
        """Saves the image as PNG under `folder`, by default the artifacts
        folder, when there is one."""
        folder = folder or ARTIFACTS
        if not folder:
            return
        os.makedirs(folder, exist_ok=True)
        stride = 3 * self.width
        rows = b"".join(b"\0" + bytes(self.data[r * stride:(r + 1) * stride]) for r in range(self.height))
        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)  # 8-bit RGB
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 6))
                    + chunk(b"IEND", b""))

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


def top_level_windows(xvfb):
    """[(id, name, x, y, width, height)] of the mapped top-level windows."""
    return xvfb.x.windows()


def screenshot(xvfb, save_as=None, area=None):
    """The whole screen, or the area (x, y, width, height) of it; also saved as
    PNG under the artifacts folder when asked."""
    if area is None:
        area = (0, 0, xvfb.width, xvfb.height)
    image = xvfb.x.image(*area)
    if save_as:
        image.save_png(save_as)
    return image


class Velmora:
    """One run of the program."""

    MAIN_WINDOW_SIZE = (1264, 950)

    def __init__(self, xvfb, workdir, pass_count=True, args=(), launcher=(), env=None):
        """pass_count False starts the program as an operator does, without
        the pass count that sync() needs. `args` follow the program name.
        `launcher`, when given, is a command that runs the program's binary
        and the arguments it is given after it, as "velmora". The user's
        settings folder ($XDG_CONFIG_HOME) is the working folder's "config"
        unless `env` says otherwise."""
        self.xvfb = xvfb
        self.pass_count = pass_count
        self.workdir = workdir
        self.stdout_path = os.path.join(workdir, "stdout.txt")
        self.stderr_path = os.path.join(workdir, "stderr.txt")
        self._out = open(self.stdout_path, "wb")
        self._err = open(self.stderr_path, "wb")
        self._window = None
        self._counter = None
        env = {**xvfb.env, "XDG_CONFIG_HOME": os.path.join(workdir, "config"), **(env or {})}
        if pass_count:
            env["VELMORA_CYCLE_PROPERTY"] = "1"
        # The file choosers are the toolkit's own, which choose_file answers,
        # even where a desktop dialog is installed: the toolkit reads that
        # choice from its preferences under HOME.
        env["HOME"] = _toolkit_home(workdir)
        if launcher:
            self.proc = subprocess.Popen([*launcher, BINARY, *args], cwd=workdir, env=env,
                                         stdout=self._out, stderr=self._err)
        else:
            self.proc = subprocess.Popen(["velmora", *args], executable=BINARY, cwd=workdir, env=env,
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

    def assert_running(self):
        code = self.proc.poll()
        if code is not None:
            raise AssertionError(f"the program ended with {code}:\n{self.stderr()[-3000:]}")

    def wait_for_log(self, text, timeout=PATIENCE, stream="stderr"):
        def appeared():
            if text in (self.stderr() if stream == "stderr" else self.stdout()):
                return True
            self.assert_running()
            return False
        try:
            wait_until(appeared, timeout=timeout, what=f"{text!r} on {stream}")
        except AssertionError as e:
            raise AssertionError(f"{e}\nstderr:{self.stderr()[-3000:]}\nstdout:{self.stdout()[-3000:]}")

    def main_window(self):
        """(id, x, y, width, height) of the main window, once it names the
        window of the program's pass count (when it has one)."""
        def find():
            self.assert_running()
            for wid, _name, x, y, w, h in self.xvfb.x.windows():
                # With its pass count the main window is the one that names
                # it; without, the one of the panel's size (on a screen
                # smaller than the panel it is smaller and scrolls).
                counter = self.xvfb.x.cardinal(wid, "_VELMORA_CYCLE_WINDOW") if self.pass_count else None
                if counter is not None or (not self.pass_count and (w, h) == self.MAIN_WINDOW_SIZE):
                    self._counter = hex(counter) if counter is not None else None
                    return (wid, x, y, w, h)
            return None
        if self._window is None:
            self._window = wait_until(find, what="the main window")
        return self._window

    def passes(self):
        """The number of event passes the main loop began, or None."""
        return self.xvfb.x.cardinal(self._counter, "_VELMORA_CYCLE") if self._counter else None

    def sync(self, passes=3, timeout=PATIENCE):
        """Waits until `passes` more event passes began: with 3, every input
        sent before the call is handled and its result is on the screen."""
        assert self.pass_count, "sync() needs a program started with its pass count"
        self.main_window()
        start = self.passes()
        if start is None:
            self.assert_running()
            raise AssertionError("the main window lost its pass count")
        seen = [start]
        def advanced():
            self.assert_running()
            seen.append(self.passes())
            return seen[-1] is not None and seen[-1] >= start + passes
        try:
            wait_until(advanced, timeout=timeout, interval=0.01,
                       what=f"{passes} event passes after pass {start}")
        except AssertionError as e:
            windows = [w[1] for w in self.xvfb.x.windows()]
            raise AssertionError(f"{e}; last pass seen: {seen[-1]}; top-level windows: {windows} "
                                 "(a modal window stops the loop)") from None

    def title(self):
        wid = self.main_window()[0]
        for w in self.xvfb.x.windows():
            if w[0] == wid:
                return w[1]
        return None

    def wait_exit(self, timeout=PATIENCE):
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


def _toolkit_home(workdir):
    """A HOME under `workdir` whose toolkit preferences turn the desktop's
    file dialog off."""
    home = os.path.join(workdir, "home")
    folder = os.path.join(home, ".fltk", "fltk.org")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "fltk.prefs"), "w") as f:
        f.write("; FLTK preferences file format 1.0\n; vendor: fltk.org\n; application: fltk\n\n"
                "[.]\n\n[./options]\nFNFCUsesGTK:0\n")
    return home


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

    def start(self, *args, pass_count=True, launcher=(), env=None):
        """Starts the program with the command-line arguments `args` and
        returns once its main window is shown (and, with its pass count, once
        its main loop runs). `launcher` and `env` as for Velmora."""
        program = Velmora(self.xvfb, self.workdir, pass_count, args, launcher, env)
        self.programs.append(program)
        program.wait_for_log("\nbefore entering mainloop")
        program.main_window()
        return program

    def main_window(self):
        """Geometry (id, x, y, width, height) of the running program's main window."""
        return self.programs[-1].main_window()

    def close_main_window(self):
        """Escape closes an FLTK window; without a window manager the keyboard
        focus follows the pointer, so the pointer goes over the window first."""
        _wid, x, y, _w, _h = self.main_window()
        self.xvfb.run("xdotool", "mousemove", str(x + 1100), str(y + 900), "key", "Escape")

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
        _wid, self.wx, self.wy, _w, _h = program.main_window()

    def move(self, x, y):
        self.xvfb.run("xdotool", "mousemove", str(self.wx + x), str(self.wy + y))

    def click(self, x, y, button=1):
        self.xvfb.run("xdotool", "mousemove", str(self.wx + x), str(self.wy + y), "click", str(button))

    def hover(self, x, y):
        """Moves the pointer to (x, y) and returns once the program has seen
        it move there, so that what picks the thing under a moving pointer
        (the preview's nodes) has picked it. The pointer first comes near in a
        pass of its own: the toolkit may drop a motion that arrives in one
        pass with the pointer's entry into a window."""
        self.move(x + 4, y)
        self.program.sync()
        self.move(x, y)
        self.program.sync()

    def drag(self, start, end, button=1, steps=8):
        """Presses at `start` and releases at `end`, the pointer moving in
        steps as a hand would: the press once the program saw the pointer
        hover at `start`, the release once it saw the last step."""
        self.hover(*start)
        self.xvfb.run("xdotool", "mousedown", str(button))
        for i in range(1, steps + 1):
            self.move(start[0] + (end[0] - start[0]) * i // steps,
                      start[1] + (end[1] - start[1]) * i // steps)
        self.program.sync()
        self.xvfb.run("xdotool", "mouseup", str(button))

    def key(self, *keys, repeat=1):
        """Key presses to the widget that has the keyboard focus."""
        args = ["xdotool", "key", "--delay", "5"]
        if repeat > 1:
            args += ["--repeat", str(repeat)]
        self.xvfb.run(*args, *keys, timeout=120)

    def type_text(self, text):
        self.xvfb.run("xdotool", "type", "--delay", "3", text, timeout=120)

    def park_pointer(self):
        """The pointer over the window's empty corner: no tooltip, no hover."""
        self.move(600, 935)

    def click_tab(self, label):
        self.click(self.TABS[label], 15)

    def click_inner_tab(self, label):
        self.click(self.INNER_TABS[label], 135)

    def nudge_slider(self, x, y, h, steps):
        """Moves a horizontal value slider by `steps` steps (negative: to the
        left) with the arrow keys. The click that gives it the keyboard focus
        lands on its value box, so that the click itself changes nothing."""
        self.click(x + 10, y + h // 2)
        if steps:
            self.key("Right" if steps > 0 else "Left", repeat=abs(steps))

    def fill_input(self, x, y, text):
        """Replaces the whole text of an input (select all, then type)."""
        self.click(x, y)
        self.key("ctrl+a")
        self.type_text(text)

    # --- what the program shows -----------------------------------------------

    def picture(self, x, y, w, h):
        """The area (window coordinates) once the program has drawn the
        answer to every input sent before."""
        self.program.sync()
        return screenshot(self.xvfb, area=(self.wx + x, self.wy + y, w, h))

    def wait_for_picture(self, area, check, what, timeout=PATIENCE):
        """Screenshots of the area (window coordinates) until check(image)
        returns a true value; check may raise AssertionError to say what it
        saw. Returns that image; on failure keeps the last one as an artifact."""
        last = []
        def holds():
            self.program.assert_running()
            image = screenshot(self.xvfb, area=(self.wx + area[0], self.wy + area[1], area[2], area[3]))
            last[:] = [image]
            return image if check(image) else None
        try:
            return wait_until(holds, timeout=timeout, interval=0.1, what=what)
        except AssertionError:
            if last:
                last[0].save_png("timed_out_" + re.sub(r"[^a-z0-9]+", "_", what.lower())[:60] + ".png")
            raise

    def window_named(self, name):
        for w in top_level_windows(self.xvfb):
            if w[1] == name:
                return w
        return None

    def wait_for_window(self, name):
        """(id, name, x, y, width, height) of the mapped top-level window titled `name`."""
        return wait_until(lambda: self.window_named(name), what=f"the window {name!r}")

    def wait_window_gone(self, name):
        wait_until(lambda: self.window_named(name) is None, what=f"the window {name!r} to close")

    def dismiss_message(self, name):
        """Answers the message window titled `name` with Return (the keyboard
        focus follows the pointer) and waits until it is gone. A key that
        came before the window could take it (a loaded machine) is pressed
        again while the window stays."""
        _wid, _name, x, y, w, h = self.wait_for_window(name)
        self.xvfb.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "key", "Return")
        for _ in range(30):
            try:
                wait_until(lambda: self.window_named(name) is None, timeout=3,
                           what=f"the window {name!r} to close")
                return
            except AssertionError:
                if self.window_named(name) is not None:
                    self.xvfb.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "key", "Return")
        self.wait_window_gone(name)

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
        _wid, _name, x, y, w, h = self.wait_for_window(title)
        # Keyboard focus follows the pointer; the name field has the chooser's focus.
        self.xvfb.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2))
        self.xvfb.run("xdotool", "key", "--delay", "20", "ctrl+a", "numbersign", "End", "BackSpace")
        self.xvfb.run("xdotool", "type", "--delay", "3", name, timeout=120)
        # A completion offered after the last key is selected text: Delete drops it.
        self.xvfb.run("xdotool", "key", "--delay", "20", "Delete", "Return")
        self.wait_window_gone(title)

    def answer_unsaved_take(self, key):
        """Answers the question about an unsaved take with the key of one of
        its buttons: "s" save, "d" discard, "c" cancel."""
        _wid, _name, x, y, w, h = self.wait_for_window("unsaved take")
        # The keyboard focus follows the pointer.
        self.xvfb.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "key", key)
        self.wait_window_gone("unsaved take")
