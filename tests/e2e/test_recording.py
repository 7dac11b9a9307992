"""Tracking, recording and playback in the running program: the nodes dragged
onto the camera's three squares follow them; a recording is quick-saved with
its model, loaded into the playback group, played, cut and saved again."""

import os
import time
import unittest

import harness

PREVIEW = (5, 5, 800, 600)
FRAME = (480, 360)
# The frame's part of the preview, in the main window.
FRAME_AREA = (PREVIEW[0], PREVIEW[1] + PREVIEW[3] - FRAME[1], FRAME[0], FRAME[1])


def camera_to_model_y(row):
    """The camera's frame is flipped before analysis: model y = 359 - row."""
    return FRAME[1] - 1 - row


SQUARE2 = (450, camera_to_model_y(340))   # fixed
SQUARE3_Y = camera_to_model_y(250)        # square 3 moves along this row
SQUARE1_X = 10                            # square 1 moves along this column
SQUARE1_Y_RANGE = (camera_to_model_y(250), camera_to_model_y(10))
SQUARE3_X_RANGE = (10, 210)


def same_phase(square1_y, square3_x, slack=0):
    """Both moving squares come from one sine value s: square 1's camera row is
    (s + 1) * 120 + 10 and square 3's column (s + 1) * 100 + 10, each truncated.
    True when one s fits both (with `slack` pixels of measuring error)."""
    row = camera_to_model_y(square1_y)
    low1, high1 = (row - slack - 10) / 120, (row + slack - 9) / 120
    low3, high3 = (square3_x - slack - 10) / 100, (square3_x + slack - 9) / 100
    return max(low1, low3) < min(high1, high3)


def is_red(r, g, b):
    return r >= 250 and g <= 5 and b <= 5


def is_green(r, g, b):
    return r <= 5 and g >= 250 and b <= 5


def read_animation(path):
    """(frame count, nodes per frame, [(time, [(x, y, value), ...]), ...])."""
    with open(path) as f:
        values = f.read().split()
    count, nodes = int(values[0]), int(values[1])
    frames, i = [], 2
    for _ in range(count):
        stamp = float(values[i])
        triples = [tuple(int(v) for v in values[i + 1 + 3 * n:i + 4 + 3 * n]) for n in range(nodes)]
        frames.append((stamp, triples))
        i += 1 + 3 * nodes
    return count, nodes, frames


def wait_for_animation(path):
    """The animation file once it and its companion model file are complete."""
    def complete():
        try:
            content = read_animation(path)
            read_model(path + ".model")
            return content
        except (OSError, ValueError, IndexError):
            return None
    return harness.wait_until(complete, what=f"{path} and its model")


def read_model(path):
    """(node count, [node line fields, ...]) of a model file."""
    with open(path) as f:
        lines = f.read().splitlines()
    count = int(lines[0].split("\t")[0])
    if len(lines) != count + 1:
        raise ValueError("incomplete model file")
    return count, [line.split("\t") for line in lines[1:]]


class RecordingTest(harness.ProgramTest):
    def to_window(self, model_x, model_y):
        """Window position of a model point: y counts up from the preview's bottom."""
        return PREVIEW[0] + model_x, PREVIEW[1] + PREVIEW[3] - model_y

    def frame_picture(self):
        """The frame's part of the preview, with y counting down as on screen."""
        self.park_pointer()
        return self.picture(*FRAME_AREA)

    def model_point(self, x, y):
        return round(x), round(FRAME[1] - y)

    def squares(self, picture):
        """Centres of the bright squares, in model coordinates. The cross of
        each square's cluster and the lines over it split a square's pixels
        into parts, so parts less than a square apart are joined."""
        parts = picture.components(lambda r, g, b: r == g == b and r >= 150)
        boxes = [[x - (w - 1) / 2, y - (h - 1) / 2, x + (w - 1) / 2, y + (h - 1) / 2]
                 for x, y, w, h, _n in parts]
        joined = []
        for box in boxes:
            for other in joined:
                if box[0] - other[2] <= 11 and other[0] - box[2] <= 11 and \
                        box[1] - other[3] <= 11 and other[1] - box[3] <= 11:
                    other[:] = [min(box[0], other[0]), min(box[1], other[1]),
                                max(box[2], other[2]), max(box[3], other[3])]
                    break
            else:
                joined.append(list(box))
        centres = [self.model_point((b[0] + b[2]) / 2, (b[1] + b[3]) / 2) for b in joined]
        # Not the white rate text at the lower left.
        return [(x, y) for x, y in centres if not (x < 120 and y < 30)]

    def ring(self, picture, model_x, model_y, predicate):
        """Pixels of one colour where a node box around the point would run:
        5 to 7 pixels from it in x or y (the larger of the two)."""
        cx, cy = model_x, FRAME[1] - model_y
        n = 0
        for y in range(cy - 7, cy + 8):
            for x in range(cx - 7, cx + 8):
                if 5 <= max(abs(x - cx), abs(y - cy)) <= 7 and \
                        0 <= x < picture.width and 0 <= y < picture.height and predicate(*picture.pixel(x, y)):
                    n += 1
        return n

    def assert_nodes_on_squares(self, picture, what):
        """Each square has its node's box around it: node 0 (red) on square 1,
        nodes 1 and 2 (green) on squares 2 and 3. Returns square 1's y and
        square 3's x."""
        found = self.squares(picture)
        self.assertEqual(len(found), 3, f"{what}: squares {found}")
        by_square = {}
        moving = []
        for x, y in found:
            if abs(x - SQUARE2[0]) <= 1 and abs(y - SQUARE2[1]) <= 1:
                by_square[2] = (x, y)
            else:
                moving.append((x, y))
        # Square 1 keeps to its column, square 3 to its row; at the ends of
        # their paths one may sit on the other's line, so try both ways round.
        on_paths = lambda one, three: abs(one[0] - SQUARE1_X) <= 1 and abs(three[1] - SQUARE3_Y) <= 1
        if len(moving) == 2:
            if on_paths(moving[0], moving[1]):
                by_square[1], by_square[3] = moving
            elif on_paths(moving[1], moving[0]):
                by_square[3], by_square[1] = moving
        self.assertEqual(sorted(by_square), [1, 2, 3], f"{what}: squares {found}")
        # A node box is 13 pixels wide: about 48 pixels of the ring.
        self.assertGreater(self.ring(picture, *by_square[1], is_red), 30, f"{what}: node 0")
        self.assertGreater(self.ring(picture, *by_square[2], is_green), 30, f"{what}: node 1")
        self.assertGreater(self.ring(picture, *by_square[3], is_green), 30, f"{what}: node 2")
        self.assertTrue(same_phase(by_square[1][1], by_square[3][0], slack=1), what)
        return by_square[1][1], by_square[3][0]

    def green_box_on_row(self, picture, model_y):
        """The x of the green node box best centred on a row, or None. Found by
        its ring rather than as one piece of green, since the model's links,
        drawn after the boxes, may cut a box in two where they run through it."""
        rows = (model_y - 1, model_y, model_y + 1)
        count, x = max((self.ring(picture, x, y, is_green), x) for y in rows for x in range(7, FRAME[0] - 7))
        return x if count > 30 else None

    def test_nodes_follow_the_squares_and_a_recording_goes_through_files_and_playback(self):
        program = self.start()
        self.attach(program)
        take = os.path.join(self.workdir, "take1.txt")

        # Threshold 180: only the squares (180 to 220) stay, three clusters.
        self.click_tab("Clustering")
        self.nudge_slider(820, 35, 25, 180)
        # The low thresholds on the way made clusters of noise that pulled the
        # nodes about: a new node count lays the model out on its row again.
        self.click_tab("Model")
        self.fill_input(835, 48, "4")
        self.fill_input(835, 48, "3")
        layout = [(50, 200), (100, 200), (150, 200)]
        # Each node onto the path of its square (the moving ones catch their
        # node when they pass); each dragged node is the selected one, whose
        # sensor the "visible" check of "Angular Sensor:" hides.
        targets = [(SQUARE1_X, 229), SQUARE2, (110, SQUARE3_Y)]
        for start, end in zip(layout, targets):
            self.drag(self.to_window(*start), self.to_window(*end))
            self.click(838, 285)
        # A press away from the nodes selects none (after motion there, which
        # takes the pointer off the last node).
        self.hover(*self.to_window(302, 300))
        self.click(*self.to_window(302, 300))

        # The moving squares catch their nodes when they pass (twice in each
        # 628 cycles). Two pictures 40 cycles apart: the nodes sit on the
        # squares, which moved.
        self.park_pointer()
        caught = self.wait_for_picture(FRAME_AREA, lambda image: self.assert_nodes_on_squares(image, "now"),
                                       what="the nodes to sit on the squares")
        first = self.assert_nodes_on_squares(caught, "after the drags")
        program.sync(passes=40)
        second = self.assert_nodes_on_squares(self.frame_picture(), "40 cycles later")
        if second == first:  # the same phase by chance: once more
            program.sync(passes=15)
            second = self.assert_nodes_on_squares(self.frame_picture(), "later still")
        self.assertNotEqual(first, second, "the squares did not move")
        self.frame_picture().save_png("tracking.png")

        # Record for a while, then quick-save under a name of our own.
        self.click(44, 712)                     # "record" on
        program.sync()
        began, passes = time.time(), program.passes()
        harness.wait_until(lambda: program.passes() >= passes + 80 and time.time() - began > 0.8,
                           what="80 cycles and 0.8 s of recording")
        self.click(44, 712)                     # "record" off
        self.fill_input(790, 713, take)         # "file name:"
        self.click(1032, 712)                   # "<-quicksave"
        count, nodes, frames = wait_for_animation(take)
        self.assertEqual(nodes, 3)
        self.assertGreaterEqual(count, 60)
        self.assertLessEqual(count, 1000)       # the default buffer
        stamps = [stamp for stamp, _ in frames]
        self.assertEqual(stamps, sorted(stamps))
        self.assertGreater(stamps[-1] - stamps[0], 500)
        for f, (_stamp, (n0, n1, n2)) in enumerate(frames):
            self.assertEqual(n1, SQUARE2 + (255,), f"frame {f}")
            self.assertEqual((n0[0], n0[2]), (SQUARE1_X, 255), f"frame {f}")
            self.assertEqual((n2[1], n2[2]), (SQUARE3_Y, 255), f"frame {f}")
            self.assertTrue(SQUARE1_Y_RANGE[0] <= n0[1] <= SQUARE1_Y_RANGE[1], f"frame {f}")
            self.assertTrue(SQUARE3_X_RANGE[0] <= n2[0] <= SQUARE3_X_RANGE[1], f"frame {f}")
            self.assertTrue(same_phase(n0[1], n2[0]), f"frame {f}: {n0} {n2}")
        self.assertGreater(len({n0[1] for _s, (n0, _n1, _n2) in frames}), 5, "square 1 did not move")
        # The companion model: the live model's three sensors, hidden one by one.
        model_nodes, node_lines = read_model(take + ".model")
        self.assertEqual(model_nodes, 3)
        self.assertEqual([fields[4] for fields in node_lines], ["0", "0", "0"])

        # Into the playback group: load, show, loop and play. A new node count
        # takes the live model off the squares, onto its row at y 200, so the
        # green box on square 3's row is the playback model's node 2.
        self.fill_input(835, 48, "4")
        self.fill_input(835, 48, "3")
        self.click(42, 837)                     # "load"
        self.choose_file("load data from:", take)
        self.click(238, 837)                    # "loop"
        self.click(288, 837)                    # "visible"
        self.click(189, 837)                    # "play"
        program.sync()
        seen = set()
        for attempt in range(40):
            picture = self.frame_picture()
            x = self.green_box_on_row(picture, SQUARE3_Y)
            if x is None:
                picture.save_png(f"playback_without_node_{attempt}.png")
            self.assertIsNotNone(x, "playback node 2 is not on square 3's row")
            seen.add(x)
            if len(seen) >= 3:
                break
            program.sync(passes=5)
        self.assertGreaterEqual(len(seen), 3, "the playback model does not move")
        self.click(189, 837)                    # "play" off

        # Markers: the end marker to the last frame and 30 back, the start marker 20 on; "cut".
        self.click(1252, 810)
        self.key("Left", repeat=30)
        self.click(15, 790)
        self.key("Right", repeat=20)
        self.click(112, 837)                    # "cut"
        cut_take = os.path.join(self.workdir, "take1_cut.txt")
        self.click(1222, 837)                   # "save as"
        self.choose_file("save data to:", cut_take)
        cut_count, cut_nodes, cut_frames = wait_for_animation(cut_take)
        self.assertEqual((cut_count, cut_nodes), (count - 51, 3))
        self.assertEqual([f[1] for f in cut_frames], [f[1] for f in frames[20:count - 31]])
        self.assertEqual([f[0] for f in cut_frames], [f[0] for f in frames[20:count - 31]])

        self.click(1225, 932)                   # "quit&&save"
        self.assertEqual(program.wait_exit(), 0)
        # Standard output is buffered: its lines are there once the program ended.
        out = program.stdout()
        self.assertEqual(out.count("\n animation saved."), 2, out)
        self.assertEqual(out.count("\n anim loaded."), 1, out)


if __name__ == "__main__":
    unittest.main()
