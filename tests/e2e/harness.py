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
import subprocess
import tempfile
import time
import unittest

BINARY = os.environ.get("VELMORA_BINARY", "")
ARTIFACTS = os.environ.get("VELMORA_ARTIFACTS", "")


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
        m = re.match(r'\s+(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)).*?(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', line)
        if m:
            wid, name, w, h, x, y = m.groups()
            windows.append((wid, name, int(x), int(y), int(w), int(h)))
    return windows


def window_geometry(xvfb, wid):
    """(x, y, width, height) of a window in root coordinates."""
    out = xvfb.run("xwininfo", "-id", wid)
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def screenshot(xvfb, save_as=None):
    """The whole screen; also saved as PNG under the artifacts folder when asked."""
    raw = subprocess.run(["import", "-display", xvfb.display, "-window", "root", "-depth", "8", "ppm:-"],
                         check=True, stdout=subprocess.PIPE, timeout=60).stdout
    if save_as and ARTIFACTS:
        os.makedirs(ARTIFACTS, exist_ok=True)
        subprocess.run(["convert", "ppm:-", os.path.join(ARTIFACTS, save_as)], input=raw, check=True)
    return parse_ppm(raw)


class ProgramTest(unittest.TestCase):
    """Base class: a private display and working folder per test."""

    def setUp(self):
        if not BINARY:
            self.skipTest("VELMORA_BINARY is not set")
        self.xvfb = Xvfb()
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
