"""A video file as the camera: velmora started with an FFV1 file of the
synthetic camera's frames tracks its squares, and a recording holds one frame
per video frame with every node on a square centre of that frame."""

import os
import subprocess
import sys
import time
import unittest

import harness
import test_recording

FRAMES = 200
SYNTHETIC_FRAMES = sys.argv.pop(1) if len(sys.argv) > 1 else ""


def make_video(folder):
    """The FFV1 file and, per frame, the square centres in model coordinates
    (the frame is flipped before analysis: model y = 359 - camera row)."""
    raw = os.path.join(folder, "synthetic.raw")
    listing = subprocess.run([SYNTHETIC_FRAMES, str(FRAMES), raw], check=True, stdout=subprocess.PIPE,
                             text=True).stdout
    video = os.path.join(folder, "synthetic.mkv")
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "gray",
                    "-s", "480x360", "-r", "25", "-i", raw, "-c:v", "ffv1", video], check=True)
    os.remove(raw)
    centres = []
    for line in listing.splitlines():
        _f, x1, r1, x2, r2, x3, r3 = (int(v) for v in line.split())
        centres.append(((x1, 359 - r1), (x2, 359 - r2), (x3, 359 - r3)))
    return video, centres


class VideoSourceTest(harness.ProgramTest):
    # The preview helpers of the recording test.
    to_window = test_recording.RecordingTest.to_window
    drag_node = test_recording.RecordingTest.drag_node
    frame_picture = test_recording.RecordingTest.frame_picture
    model_point = test_recording.RecordingTest.model_point
    squares = test_recording.RecordingTest.squares

    PAUSE = (920, 267)
    LOOP = (828, 267)

    def test_a_recording_of_a_video_holds_its_square_centres(self):
        if not SYNTHETIC_FRAMES:
            self.skipTest("no synthetic_frames program given")
        video, centres = make_video(self.workdir)
        program = self.start(video)
        self.attach(program)

        # Loop the file and hold it still while the nodes are placed.
        self.click_tab("Camera")
        self.click(*self.LOOP)
        self.click(*self.PAUSE)
        self.click_tab("Clustering")
        self.nudge_slider(820, 35, 25, 180)
        self.click_tab("Model")
        self.fill_input(835, 48, "4")
        self.fill_input(835, 48, "3")

        def three_squares():
            found = self.squares(self.frame_picture())
            return found if len(found) == 3 else None
        found = harness.wait_until(three_squares, what="the three squares of the paused frame")
        square2 = next(p for p in found if abs(p[0] - 450) <= 1)
        square1 = next(p for p in found if p != square2 and abs(p[0] - 10) <= 1)
        square3 = next(p for p in found if p not in (square1, square2))
        for start, end in zip([(50, 200), (100, 200), (150, 200)], [square1, square2, square3]):
            self.drag_node(start, end)
            self.click(838, 285)  # the dragged node's sensor hidden
        self.move(*self.to_window(300, 300))
        self.move(*self.to_window(302, 300))
        self.click(*self.to_window(302, 300))

        self.click_tab("Camera")
        self.click(*self.PAUSE)                  # play on
        self.click(44, 712)                      # "record" on
        time.sleep(2.0)                          # the length of the recording
        self.click(44, 712)                      # "record" off
        take = os.path.join(self.workdir, "take.txt")
        self.fill_input(790, 713, take)
        self.click(1032, 712)                    # "<-quicksave"
        count, nodes, frames = test_recording.wait_for_animation(take)
        self.frame_picture().save_png("video_source.png")

        # One recorded frame per video frame: 2 s of a 25 frames/s file, not
        # the hundreds of cycles the loop ran meanwhile.
        self.assertEqual(nodes, 3)
        self.assertGreaterEqual(count, 10)      # fewer only when the loop itself runs below 25 cycles/s
        self.assertLessEqual(count, 70)
        matched = []
        for i, (_stamp, triple) in enumerate(frames):
            positions = tuple((x, y) for x, y, _v in triple)
            candidates = [f for f, c in enumerate(centres) if c == positions]
            self.assertTrue(candidates, f"recorded frame {i}: nodes {positions} are not the squares of any frame")
            matched.append(candidates)
        # The squares move: the recording saw more than a few distinct frames.
        self.assertGreater(len({tuple(m) for m in matched}), 10)

        self.click(1225, 932)                    # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        # The file is remembered for the next start.
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra")) as f:
            self.assertIn("source=" + video, f.read())


if __name__ == "__main__":
    unittest.main()
