"""A real start and end of the program: the log in order, the options file."""

import os
import struct
import unittest

import harness

STARTUP_ERR = [
    "\nmain program entry point",
    "\nstartup of velmora.exe",
    "\ndirectly before camera initialization",
    "\ncamera object created",
    "\ncamera started",
    "\nbefore gui loading",
    "\ngui loaded",
    "\ngui shown",
    "\nbefore system capabilities querying",
    "\nbefore entering mainloop",
]


class StartupTest(harness.ProgramTest):
    def test_log_lines_in_order_and_options_saved_when_the_window_closes(self):
        # Started as an operator starts it: once the loop has run a second
        # (the rate is in the title), no window carries the tests' pass count.
        program = self.start(pass_count=False)
        harness.wait_until(lambda: (program.title() or "").isdigit(), what="the cycle rate in the title")
        self.assertEqual([w for w in harness.top_level_windows(self.xvfb)
                          if self.xvfb.x.cardinal(w[0], "_VELMORA_CYCLE_WINDOW") is not None], [])
        self.close_main_window()
        self.assertEqual(program.wait_exit(), 0)

        err = program.stderr()
        self.assertTrue(err.startswith("".join(STARTUP_ERR)), err)
        out = program.stdout()
        # No options file at the first start: nothing is logged for the load.
        self.assertNotIn("options file size", out)
        self.assertTrue(out.endswith("\nsize of option:2160\noptions saved to velmora.exe.ini"), out)
        with open(program.options_path, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 2160)
        self.assertEqual(struct.unpack_from("<i", data, 2148)[0], 3)  # node_count default

    def test_second_start_loads_the_file_the_first_one_saved(self):
        first = self.start()
        self.close_main_window()
        self.assertEqual(first.wait_exit(), 0)

        second = self.start()
        out = second.stdout()
        self.assertIn("\n options file size:2160\noptions loaded from velmora.exe.ini", out)
        self.close_main_window()
        self.assertEqual(second.wait_exit(), 0)

    def test_broken_options_file_is_reported_and_replaced_at_exit(self):
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(b"\x01" * 100)
        program = self.start()
        self.assertIn("\nfilesize of velmora.exe.ini differs from needed size of 2160 bytes.",
                      program.stderr())
        self.assertIn("\n options file size:100", program.stdout())
        self.close_main_window()
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(os.path.getsize(program.options_path), 2160)

    def test_window_title_shows_the_cycle_rate(self):
        program = self.start()
        # The first rate comes a second after the loop starts, then once a second.
        def rate_shown():
            title = program.title()
            assert title and title.isdigit() and int(title) > 0, f"the title {title!r}"
            return True
        harness.wait_until(rate_shown, what="a positive cycle count in the title")


if __name__ == "__main__":
    unittest.main()
