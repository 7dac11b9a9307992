"""The window's OSC stream, read on a plain UDP socket: switched on by the
kept settings, one bundle per cycle of the synthetic camera, "record" framed
by /velmora/record start and stop, a host that cannot be found said on the
error stream, and "send" switched off on the System page and kept so."""

import os
import socket
import struct
import threading
import unittest

import harness

OSC_WINDOW = (822, 500)  # the "OSC" group's small window on the System page
SEND = (OSC_WINDOW[0] + 348, OSC_WINDOW[1] + 42)
HOST = (OSC_WINDOW[0] + 132, OSC_WINDOW[1] + 42)
RECORD = (44, 712)


def osc_bundle(data):
    """[(address, [i, d and s arguments])] of a bundle with an immediate timetag."""
    assert data[:16] == b"#bundle\0" + struct.pack(">II", 0, 1), data[:16]

    def string(at):
        end = data.index(b"\0", at)
        return data[at:end].decode(), (end + 4) & ~3

    messages, at = [], 16
    while at < len(data):
        end = at + 4 + struct.unpack(">i", data[at:at + 4])[0]
        address, at = string(at + 4)
        tags, at = string(at)
        args = []
        for tag in tags[1:]:
            if tag == "s":
                text, at = string(at)
                args.append(text)
            else:
                size = 8 if tag == "d" else 4
                args.append(struct.unpack(">" + tag, data[at:at + size])[0])
                at += size
        messages.append((address, args))
        at = end
    return messages


class OscWindowTest(harness.ProgramTest):
    def test_a_kept_stream_sends_each_cycle_and_frames_a_take(self):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("127.0.0.1", 0))
        port = sock.getsockname()[1]
        self.addCleanup(sock.close)
        bundles = []

        def receive():
            while True:
                try:
                    bundles.append(osc_bundle(sock.recv(65536)))
                except OSError:
                    return
        threading.Thread(target=receive, daemon=True).start()
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra"), "w") as f:
            f.write(f"osc.port={port}\nosc.send=1\n")
        program = self.start()
        self.attach(program)
        edges = lambda: [b[0][1] for b in list(bundles) if b[0][0] == "/velmora/record"]
        harness.wait_until(lambda: len(bundles) >= 5, what="frames from the kept stream")
        self.click(*RECORD)
        harness.wait_until(lambda: len(edges()) == 1, what="the take's start")
        program.sync(passes=5)
        self.click(*RECORD)
        harness.wait_until(lambda: len(edges()) == 2, what="the take's stop")

        frames, at = [], {}
        for bundle in list(bundles):
            if bundle[0][0] == "/velmora/record":
                at[bundle[0][1][0]] = (bundle[0][1][1], len(frames))
                continue
            self.assertEqual(bundle[0][0], "/velmora/frame")
            self.assertEqual([args[0] for _address, args in bundle[1:]], list(range(len(bundle) - 1)))
            frames.append(bundle[0][1][0])
        self.assertEqual(frames, list(range(frames[0], frames[0] + len(frames))), "one bundle per cycle")
        (first, start_at), (last, stop_at) = at["start"], at["stop"]
        self.assertEqual(frames[start_at], first, "the take starts with the frame after its start")
        self.assertEqual(frames[stop_at - 1], last, "and stops with the frame before its stop")
        self.assertGreaterEqual(last - first, 4)

        self.click_tab("System")
        self.fill_input(*HOST, "nothing.invalid")
        self.key("Return")
        program.wait_for_log('\nOSC: cannot find host "nothing.invalid"')
        self.click(*SEND)
        program.sync(passes=3)
        count = len(bundles)
        program.sync(passes=10)
        self.assertEqual(len(bundles), count, "\"send\" off sends nothing more")
        self.picture(810, 25, 450, 580).save_png("osc_system_page.png")

        self.close_main_window()
        self.answer_unsaved_take("d")
        program.wait_exit()
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra")) as f:
            kept = f.read().split("\n")
        for line in ("osc.send=0", f"osc.port={port}", "osc.host=nothing.invalid"):
            self.assertIn(line, kept)


if __name__ == "__main__":
    unittest.main()
