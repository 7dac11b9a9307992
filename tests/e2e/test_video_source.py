"""A video file as the camera: velmora started with an FFV1 file of the
synthetic camera's frames tracks its squares, and a recording holds one frame
per video frame with every node on a square centre of that frame.

The program's loop may run at a few cycles a second on a loaded machine or
under a sanitizer, so every step waits for what the preview shows, never for a
fixed time: the file opens paused on its first frame, which holds while the
nodes are placed, and the recording ends once the preview has shown two
seconds of the file.
The loop may also stall for a while (each screenshot holds up the X server),
and a file plays on in real time meanwhile: the tracking distance is raised
so that the nodes still find their squares after such a gap."""

import os
import subprocess
import sys
import unittest

import harness
import test_recording

FRAMES = 200
# Ten frames a second: even a loop that takes a whole second per cycle sees
# the squares move less than the tracking distance (30) between two frames.
RATE = 10
SECONDS = 2
# Waits for the program, generous for a loop of a few cycles a second.
PATIENCE = 120
SYNTHETIC_FRAMES = sys.argv.pop(1) if len(sys.argv) > 1 else ""


def make_video(folder):
    """The FFV1 file and, per frame, the square centres in model coordinates
    (the frame is flipped before analysis: model y = 359 - camera row)."""
    raw = os.path.join(folder, "synthetic.raw")
    listing = subprocess.run([SYNTHETIC_FRAMES, str(FRAMES), raw], check=True, stdout=subprocess.PIPE,
                             text=True).stdout
    video = os.path.join(folder, "synthetic.mkv")
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "gray",
                    "-s", "480x360", "-r", str(RATE), "-i", raw, "-c:v", "ffv1", video], check=True)
    os.remove(raw)
    centres = []
    for line in listing.splitlines():
        _f, x1, r1, x2, r2, x3, r3 = (int(v) for v in line.split())
        centres.append(((x1, 359 - r1), (x2, 359 - r2), (x3, 359 - r3)))
    return video, centres


def near(found, wanted):
    """The squares found in a picture are the wanted centres, within a pixel."""
    return len(found) == len(wanted) and all(
        any(abs(x - wx) <= 1 and abs(y - wy) <= 1 for x, y in found) for wx, wy in wanted)


def is_hover_blue(r, g, b):
    return abs(r - 127) <= 20 and abs(g - 127) <= 20 and b >= 230


def is_node_colour(r, g, b):
    return test_recording.is_red(r, g, b) or test_recording.is_green(r, g, b)


class VideoSourceTest(harness.ProgramTest):
    # The preview helpers of the recording test.
    to_window = test_recording.RecordingTest.to_window
    frame_picture = test_recording.RecordingTest.frame_picture
    model_point = test_recording.RecordingTest.model_point
    squares = test_recording.RecordingTest.squares
    ring = test_recording.RecordingTest.ring

    PAUSE = (920, 267)
    RECORD = (44, 712)

    def picture_under_pointer(self):
        """The frame's part of the preview, the pointer left where it is."""
        x, y, w, h = test_recording.PREVIEW
        return harness.screenshot(self.xvfb, area=(self.wx + x, self.wy + y + h - test_recording.FRAME[1],
                                                   test_recording.FRAME[0], test_recording.FRAME[1]))

    def box_around(self, picture, point, half, predicate):
        """Pixels of a box of `half` pixels around a model point, one pixel either way."""
        cx, cy = point[0], test_recording.FRAME[1] - point[1]
        n = 0
        for y in range(cy - half - 1, cy + half + 2):
            for x in range(cx - half - 1, cx + half + 2):
                if half - 1 <= max(abs(x - cx), abs(y - cy)) <= half + 1 and \
                        0 <= x < picture.width and 0 <= y < picture.height and predicate(*picture.pixel(x, y)):
                    n += 1
        return n

    def drag_node(self, start, end):
        """Picks the node at `start` by hovering, presses only once the program
        shows it picked, and lets go only once the node is drawn at `end`: the
        toolkit may take many queued pointer events in one go."""
        self.move(*self.to_window(start[0] + 4, start[1]))
        self.move(*self.to_window(*start))
        harness.wait_until(lambda: self.box_around(self.picture_under_pointer(), start, 10, is_hover_blue) > 40,
                           timeout=PATIENCE, what=f"the node at {start} under the pointer")
        self.xvfb.run("xdotool", "mousedown", "1")
        for i in range(1, 9):
            self.move(*self.to_window(start[0] + (end[0] - start[0]) * i // 8,
                                      start[1] + (end[1] - start[1]) * i // 8))
        harness.wait_until(lambda: self.box_around(self.picture_under_pointer(), end, 6, is_node_colour) > 30,
                           timeout=PATIENCE, what=f"the node dragged to {end}")
        self.xvfb.run("xdotool", "mouseup", "1")

    def shown_frame(self, centres):
        """The first file frame whose squares the preview shows, or None."""
        found = self.squares(self.frame_picture())
        return next((i for i, c in enumerate(centres) if near(found, c)), None)

    def test_a_recording_of_a_video_holds_its_square_centres(self):
        if not SYNTHETIC_FRAMES:
            self.skipTest("no synthetic_frames program given")
        video, centres = make_video(self.workdir)
        # Threshold 180 from the start: only the squares (180 to 220) are found.
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(harness.options_image(threshold=180))
        program = self.start(video)
        self.attach(program)

        # A file opens paused on its first frame, and holds it.
        harness.wait_until(lambda: self.shown_frame(centres) == 0, timeout=PATIENCE,
                           what="the first frame of the file, held")

        for start, end in zip([(50, 200), (100, 200), (150, 200)], centres[0]):
            self.drag_node(start, end)
            self.click(838, 285)  # the dragged node's sensor hidden
        self.move(*self.to_window(300, 300))
        self.move(*self.to_window(302, 300))
        self.click(*self.to_window(302, 300))
        harness.wait_until(
            lambda: all(self.ring(self.frame_picture(), *c, is_node_colour) > 30 for c in centres[0]),
            timeout=PATIENCE, what="the nodes on the squares")
        # 30 + 70: the squares move 1.2 pixels a frame at most, so the nodes
        # follow them across a stall of up to 8 s of the file.
        self.click_tab("Tracking")
        self.nudge_slider(820, 90, 25, 70)

        # Play on and record until the preview has shown SECONDS of the file.
        self.click_tab("Camera")
        self.click(*self.PAUSE)
        self.click(*self.RECORD)
        def played():
            shown = self.shown_frame(centres)
            return shown if shown is not None and shown >= SECONDS * RATE else None
        last = harness.wait_until(played, timeout=PATIENCE, what=f"{SECONDS} s of the file played")
        self.click(*self.RECORD)
        take = os.path.join(self.workdir, "take.txt")
        self.fill_input(790, 713, take)
        self.click(1032, 712)                    # "<-quicksave"
        count, nodes, frames = test_recording.wait_for_animation(take)
        self.frame_picture().save_png("video_source.png")

        # Every recorded node sits on a square centre of one file frame, and
        # each recorded frame is a later file frame than the one before: one
        # frame in, one frame recorded, however many cycles the loop ran.
        self.assertEqual(nodes, 3)
        self.assertGreaterEqual(count, 2)
        previous = -1
        for i, (_stamp, triple) in enumerate(frames):
            positions = tuple((x, y) for x, y, _v in triple)
            later = [f for f, c in enumerate(centres) if c == positions and f > previous]
            self.assertTrue(later, f"recorded frame {i}: nodes {positions} are not the squares of a file "
                                   f"frame after frame {previous}")
            previous = later[0]
        # The nodes followed the squares through the seconds played.
        self.assertGreaterEqual(previous, SECONDS * RATE, f"the preview showed frame {last}")

        self.click(1225, 932)                    # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        # The file is remembered for the next start.
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra")) as f:
            self.assertIn("source=" + video, f.read())


if __name__ == "__main__":
    unittest.main()
