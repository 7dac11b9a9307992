"""Nothing lost in the window: a save offered before a take is lost does not
replace an earlier take without a question, whose default is the next free
name; settings live in the user's folder when the program's own folder is
read-only, and a failure to save them is shown."""

import os
import shutil
import subprocess
import tempfile
import unittest

import harness

# Runs the program's binary, given after it, as "velmora" with its working
# folder (the first argument) mounted read-only, in a mount namespace of its
# own: what an installed program in /usr/bin sees, for root as well.
READ_ONLY = ('mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && cd "$1" && shift && '
             'exec -a velmora "$@"')


def read_only_launcher(folder):
    """The launcher, or None where this machine cannot make mount namespaces."""
    unshare = ["unshare", "-m"] if os.geteuid() == 0 else ["unshare", "-r", "-m"]
    launcher = [*unshare, "bash", "-c", READ_ONLY, "read-only", folder]
    probe = subprocess.run([*launcher, "/bin/sh", "-c", f"! touch {folder}/probe"], capture_output=True)
    return launcher if probe.returncode == 0 else None


class SavingTest(harness.ProgramTest):
    def area(self, x, y, w, h):
        return harness.screenshot(self.xvfb, area=(self.wx + x, self.wy + y, w, h)).data

    def take_frames(self):
        """R starts a take, R again ends it once frames are in."""
        record = (10, 700, 68, 25)
        idle = self.picture(*record).data  # once drawn: a fresh window may not be yet
        self.key("r")
        harness.wait_until(lambda: self.area(*record) != idle, what="the record light")
        self.program.sync(passes=20)
        self.key("r")
        harness.wait_until(lambda: self.area(*record) == idle, what="the record light to go out")

    def test_the_save_offered_before_a_take_is_lost_asks_before_replacing_and_offers_the_next_name(self):
        # A buffer no take here fills: a full one would end the take by itself.
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(harness.options_image(animation_buffer_frames=1000000))
        self.attach(self.start())
        self.park_pointer()
        take1 = os.path.join(self.workdir, "take1.txt")
        self.take_frames()
        self.click(1222, 712)                     # "save as" of "record and play:"
        self.choose_file("save data to:", take1)
        harness.wait_until(lambda: os.path.exists(take1 + ".model"), what="the first take saved")
        with open(take1, "rb") as f:
            first = f.read()

        # A second take, unsaved; "record" asks, "save" chooses the first
        # take's name, as the chooser proposes, and the question about it
        # defaults to take2.txt.
        self.park_pointer()
        self.take_frames()
        self.key("r")
        self.answer_unsaved_take("s")
        self.choose_file("save data to:", take1)
        self.dismiss_message("file exists")       # Return: "save as take2.txt"
        take2 = os.path.join(self.workdir, "take2.txt")
        harness.wait_until(lambda: os.path.exists(take2 + ".model"), what="the second take saved")
        with open(take1, "rb") as f:
            self.assertEqual(f.read(), first)
        with open(take2) as f:
            self.assertGreater(int(f.read().split()[0]), 0)
        self.park_pointer()
        self.key("r")                             # the third take ends; the program ends without it
        self.close_main_window()
        self.answer_unsaved_take("d")
        self.assertEqual(self.program.wait_exit(), 0)

    def test_a_read_only_program_folder_keeps_its_settings_in_the_users_folder(self):
        launcher = read_only_launcher(self.workdir)
        if launcher is None:
            self.skipTest("no mount namespace for a read-only folder here")
        home = tempfile.mkdtemp(prefix="velmora-config-")
        self.addCleanup(shutil.rmtree, home, True)
        env = {"XDG_CONFIG_HOME": home}
        config = os.path.join(home, "velmora", "velmora.exe.ini")
        # A settings file that came with the program is read until the user has one of their own.
        with open(os.path.join(self.workdir, "velmora.exe.ini"), "wb") as f:
            f.write(harness.options_image(threshold=77))
        first = self.start(launcher=launcher, env=env)
        self.assertIn("\noptions loaded from velmora.exe.ini", first.stdout())
        self.close_main_window()
        self.assertEqual(first.wait_exit(), 0)
        self.assertTrue(first.stdout().endswith("\noptions saved to " + config), first.stdout())
        with open(config, "rb") as f:
            self.assertEqual(f.read(), harness.options_image(threshold=77))

        with open(config, "wb") as f:
            f.write(harness.options_image(threshold=88))
        second = self.start(launcher=launcher, env=env)
        self.assertIn("\noptions loaded from " + config, second.stdout())
        self.close_main_window()
        self.assertEqual(second.wait_exit(), 0)

    def test_settings_that_cannot_be_saved_are_shown_in_a_message(self):
        launcher = read_only_launcher(self.workdir)
        if launcher is None:
            self.skipTest("no mount namespace for a read-only folder here")
        # The user's folder would lie inside the read-only one: nowhere to save.
        program = self.start(launcher=launcher)
        self.close_main_window()
        self.dismiss_message("settings")
        self.assertEqual(program.wait_exit(), 0)
        self.assertIn("\ncould NOT save options to " + os.path.join(self.workdir, "config", "velmora",
                                                                     "velmora.exe.ini"), program.stderr())


if __name__ == "__main__":
    unittest.main()
