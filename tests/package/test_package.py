"""The Debian package as a user gets it: its control fields and files read
with dpkg-deb, then the program run from the unpacked package, without a
display: its version, a short batch run, the no-display refusal. The man page
renders without a warning and names every flag the program's usage lists."""

import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = sys.argv.pop(1) if len(sys.argv) > 1 else ""


def run(*args, **kwargs):
    return subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300,
                          **kwargs)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not BUILD or not os.path.exists(os.path.join(BUILD, "CPackConfig.cmake")):
            raise unittest.SkipTest("no build folder with a CPack configuration given")
        cls.dir = tempfile.mkdtemp(prefix="velmora-package-")
        made = run("cpack", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", cls.dir)
        if made.returncode != 0:
            raise AssertionError(made.stdout + made.stderr)
        debs = [n for n in os.listdir(cls.dir) if n.endswith(".deb")]
        assert len(debs) == 1, debs
        cls.deb = os.path.join(cls.dir, debs[0])
        cls.root = os.path.join(cls.dir, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)
        # A user without a display, whose settings go to a folder of the test.
        cls.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        cls.env.update(HOME=cls.dir, XDG_CONFIG_HOME=os.path.join(cls.dir, "config"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).stdout.strip()

    def program(self, *args):
        return run(os.path.join(self.root, "usr/bin/velmora"), *args, env=self.env, cwd=self.dir)

    def test_the_control_fields_name_the_version_and_the_libraries_it_links(self):
        version = self.field("Version")
        self.assertEqual(os.path.basename(self.deb), f"velmora_{version}_amd64.deb")
        self.assertEqual((self.field("Package"), self.field("Architecture")), ("velmora", "amd64"))
        depends = self.field("Depends")
        for library in ("libfltk1.3", "libavcodec", "libavformat", "libswscale", "libsdl1.2", "libx11-6",
                        "libxrandr2", "libstdc++6"):
            self.assertIn(library, depends)
        self.assertEqual(self.program("--version").stdout, f"velmora {version}\n")

    def test_it_holds_the_program_its_desktop_entry_icon_man_page_and_guide(self):
        listed = {line.split()[-1].lstrip(".") for line in run("dpkg-deb", "-c", self.deb).stdout.splitlines()}
        for path in ("/usr/bin/velmora", "/usr/share/applications/velmora.desktop",
                     "/usr/share/icons/hicolor/scalable/apps/velmora.svg", "/usr/share/man/man1/velmora.1.gz",
                     "/usr/share/doc/velmora/guide.md"):
            self.assertIn(path, listed)
        with open(os.path.join(self.root, "usr/share/doc/velmora/guide.md")) as f:
            for picture in re.findall(r"\]\((pictures/[^)]+)\)", f.read()):
                self.assertIn("/usr/share/doc/velmora/" + picture, listed)

        with open(os.path.join(self.root, "usr/share/applications/velmora.desktop")) as f:
            entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line and not line.startswith("#"))
        self.assertEqual(entry["Type"], "Application")
        self.assertIn(entry["Exec"].split()[0], ("velmora", "/usr/bin/velmora"))
        self.assertEqual(entry["Icon"], "velmora")
        # The window's class, which the desktop matches to the entry.
        self.assertEqual(entry["StartupWMClass"], "velmora")

    def test_the_unpacked_program_runs_without_a_display(self):
        done = self.program("track", "synthetic", "--frames", "10", "--threshold", "180")
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = done.stdout.splitlines()
        self.assertEqual(len(rows), 11)
        self.assertTrue(rows[0].startswith("frame,time_ms,n0_x"), rows[0])
        window = self.program()
        self.assertEqual(window.returncode, 2)
        self.assertEqual(window.stderr.splitlines()[0],
                         "no display: velmora needs X11; for a run without a window use velmora track")

    def test_the_man_page_renders_and_names_every_flag(self):
        with gzip.open(os.path.join(self.root, "usr/share/man/man1/velmora.1.gz"), "rt") as f:
            source = f.read()
        rendered = run("groff", "-man", "-Tutf8", "-ww", "-z", input=source)
        self.assertEqual(rendered.stderr, "")
        self.assertIn(f'"velmora {self.field("Version")}"', source.splitlines()[0])
        text = source.replace("\\-", "-")
        usage = self.program("track", "--help").stdout
        flags = [line.split()[0] for line in usage.splitlines() if line.startswith("  -")]
        self.assertGreater(len(flags), 10)
        for flag in flags:
            self.assertRegex(text, r"\.(B|BI|BR) " + re.escape(flag) + r"\b", f"{flag} has no entry")
        for section in ("SYNOPSIS", "FILES", "EXIT STATUS", "EXAMPLES"):
            self.assertIn(".SH " + section, source)


if __name__ == "__main__":
    unittest.main()
