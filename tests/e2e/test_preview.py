"""The preview in the running program: the frame, the frame rate, the model
shown once the pointer has been over it, and nodes dragged with the left and
the right button."""

import unittest

import harness

PREVIEW = (5, 5, 800, 600)  # the preview's place and size in the main window
NODES = [(50, 200), (100, 200), (150, 200)]  # the live model's layout at start
BOX_HALF = 1 + 5           # line width 1


def is_green(r, g, b):
    return (r, g, b) == (0, 255, 0)


def is_red(r, g, b):
    return r >= 250 and g <= 5 and b <= 5


def spot(model_x, model_y):
    """Position in a preview picture of a model point: y counts up from the bottom."""
    return model_x, PREVIEW[3] - model_y


def box_pixels(image, model_x, model_y, predicate, reach=20):
    """Pixels of one colour within `reach` of a model point, as picture (x, y)."""
    cx, cy = spot(model_x, model_y)
    return [(x, y) for y in range(cy - reach, cy + reach + 1) for x in range(cx - reach, cx + reach + 1)
            if predicate(*image.pixel(x, y))]


def assert_box_at(image, model_x, model_y, predicate, what):
    pixels = box_pixels(image, model_x, model_y, predicate)
    # A 12-pixel square outline has about 48 pixels.
    assert len(pixels) > 30, f"{what}: no box at ({model_x}, {model_y})"
    xs = [p[0] for p in pixels]
    ys = [p[1] for p in pixels]
    cx, cy = spot(model_x, model_y)
    # Its centre and its extent: within a pixel of the node, half-size 6.
    assert abs((min(xs) + max(xs)) / 2 - cx) <= 1.0, f"{what}: centre x {xs}"
    assert abs((min(ys) + max(ys)) / 2 - cy) <= 1.0, f"{what}: centre y {ys}"
    assert abs((max(xs) - min(xs)) - 2 * BOX_HALF) <= 1, f"{what}: width {max(xs) - min(xs)}"


def assert_frame_shown(image):
    """The frame in grey: dark noise with bright squares, inside the 511-pixel
    quad, and black beyond it. Away from the model, the red crosses of the
    k-means seeds (drawn over the frame whatever the method) are the only colour."""
    quad = [image.pixel(*spot(x, y)) for x in range(0, 480, 8) for y in range(4, 360, 8)
            if not (x < 200 and 150 <= y <= 250)]
    greys = [p for p in quad if p[0] == p[1] == p[2]]
    crosses = [p for p in quad if is_red(*p)]
    assert len(greys) + len(crosses) == len(quad), "colours other than grey and red in the frame"
    assert len(crosses) < 10, f"{len(crosses)} red samples"
    assert any(p[0] >= 200 for p in quad), "no bright square in the frame"
    assert any(0 < p[0] < 100 for p in quad), "no dark noise in the frame"
    assert image.pixel(*spot(650, 300)) == (0, 0, 0), "the preview is not black right of the frame"
    return True


class PreviewTest(harness.ProgramTest):
    def setUp(self):
        super().setUp()
        self.attach(self.start())

    def at(self, model_x, model_y):
        """Window position of a model point."""
        x, y = spot(model_x, model_y)
        return PREVIEW[0] + x, PREVIEW[1] + y

    def move_to(self, model_x, model_y):
        self.move(*self.at(model_x, model_y))

    def test_frame_rate_and_model_appear_and_nodes_follow_left_and_right_drags(self):
        self.park_pointer()
        self.wait_for_picture(PREVIEW, assert_frame_shown, what="the camera frame in the preview")

        # Once the pointer moved over the preview the model shows.
        self.move_to(400, 80)
        self.move_to(402, 80)
        def model_and_rate_shown(image):
            assert_box_at(image, *NODES[0], is_red, "node 0")
            assert_box_at(image, *NODES[1], is_green, "node 1")
            assert_box_at(image, *NODES[2], is_green, "node 2")
            # The frame rate line: white text at (10, 10) from the preview's bottom-left.
            text = box_pixels(image, 40, 18, lambda r, g, b: min(r, g, b) >= 200, reach=12)
            assert len(text) > 20, "no frame-rate text"
            return True
        self.wait_for_picture(PREVIEW, model_and_rate_shown, what="the model and the frame rate"
                              ).save_png("preview_model_shown.png")

        # Node 1 with the left button, node 2 with the right one.
        node1_to, node2_to = (300, 260), (420, 120)
        self.drag(self.at(*NODES[1]), self.at(*node1_to), button=1)
        self.drag(self.at(*NODES[2]), self.at(*node2_to), button=3)
        self.move_to(460, 330)  # away from the nodes, so no hover box is drawn
        def dropped(image):
            assert_box_at(image, *node1_to, is_green, "node 1 dropped")
            assert_box_at(image, *node2_to, is_green, "node 2 dropped")
            assert_box_at(image, *NODES[0], is_red, "node 0 stays")
            for x, y in NODES[1:]:
                assert not box_pixels(image, x, y, is_green, reach=10), f"a box is still at ({x}, {y})"
            return True
        after = self.picture(*PREVIEW)
        after.save_png("preview_after_drags.png")
        dropped(after)


if __name__ == "__main__":
    unittest.main()
