"""The window's OSC stream, received on a plain UDP socket as any program
would: switched on by the kept settings, a bundle per cycle of the synthetic
camera numbered one after the other, "record" framed by /velmora/record
start and stop, a host that cannot be found said on the error stream, and
"send" switched off from the System page and kept so."""

import os
import socket
import struct
import threading
import unittest

import harness

# The "OSC" group's small window on the System page, and "send" inside it.
OSC_WINDOW = (822, 500)
SEND = (OSC_WINDOW[0] + 338 + 10, OSC_WINDOW[1] + 30 + 12)
HOST = (OSC_WINDOW[0] + 52 + 80, OSC_WINDOW[1] + 30 + 12)
RECORD = (10 + 34, 700 + 12)


def osc_string(data, at):
    end = data.index(b"\0", at)
    return data[at:end].decode(), (end + 4) & ~3


def osc_message(data):
    """(address, [arguments]) of one OSC message."""
    address, at = osc_string(data, 0)
    tags, at = osc_string(data, at)
    args = []
    for tag in tags[1:]:
        if tag in "if":
            args.append(struct.unpack(">" + tag, data[at:at + 4])[0])
            at += 4
        elif tag == "d":
            args.append(struct.unpack(">d", data[at:at + 8])[0])
            at += 8
        elif tag == "s":
            text, at = osc_string(data, at)
            args.append(text)
    return address, args


def osc_bundle(data):
    """The messages of one bundle: "#bundle", a timetag, then sized elements."""
    assert data.startswith(b"#bundle\0"), data[:16]
    assert data[8:16] == struct.pack(">II", 0, 1), "an immediate timetag"
    messages, at = [], 16
    while at < len(data):
        (size,) = struct.unpack(">i", data[at:at + 4])
        messages.append(osc_message(data[at + 4:at + 4 + size]))
        at += 4 + size
    return messages


class Receiver:
    """Every bundle that arrives on a UDP port of the loopback, in order."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]
        self.bundles = []
        self.lock = threading.Lock()
        threading.Thread(target=self._run, daemon=True).start()

    def _run(self):
        while True:
            try:
                data = self.sock.recv(65536)
            except OSError:
                return
            with self.lock:
                self.bundles.append(osc_bundle(data))

    def snapshot(self):
        with self.lock:
            return list(self.bundles)

    def close(self):
        self.sock.close()


class OscWindowTest(harness.ProgramTest):
    def test_a_kept_stream_sends_each_cycle_and_frames_a_take(self):
        receiver = Receiver()
        self.addCleanup(receiver.close)
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra"), "w") as f:
            f.write(f"osc.port={receiver.port}\nosc.send=1\n")
        program = self.start()
        self.attach(program)
        harness.wait_until(lambda: len(receiver.snapshot()) >= 5, what="frames from the kept stream")

        self.click(*RECORD)
        harness.wait_until(lambda: any(m[0] == "/velmora/record" for b in receiver.snapshot() for m in b),
                           what="the take's start")
        program.sync(passes=5)
        self.click(*RECORD)
        harness.wait_until(lambda: sum(m[0] == "/velmora/record" for b in receiver.snapshot() for m in b) == 2,
                           what="the take's stop")

        frames, edges = [], []
        for bundle in receiver.snapshot():
            address, args = bundle[0]
            if address == "/velmora/record":
                edges.append((args[0], args[1], len(frames)))
                continue
            self.assertEqual(address, "/velmora/frame")
            frames.append(args[0])
            nodes = [args for address, args in bundle[1:]]
            self.assertEqual([a[0] for a in nodes], list(range(len(nodes))))
            self.assertTrue(all(len(a) == 5 and a[4] in ("tracked", "held", "placed", "predicted", "")
                                for a in nodes))
        self.assertEqual(frames, list(range(frames[0], frames[0] + len(frames))), "one bundle per cycle")
        (start, first, start_at), (stop, last, stop_at) = edges
        self.assertEqual((start, stop), ("start", "stop"))
        self.assertEqual(frames[start_at], first, "the take starts with the frame after its start")
        self.assertEqual(frames[stop_at - 1], last, "and stops with the frame before its stop")
        self.assertGreaterEqual(last - first, 4)

        # A host that cannot be found is said on the error stream (and the
        # status line), and the stream goes on with it.
        self.click_tab("System")
        self.fill_input(*HOST, "nothing.invalid")
        self.key("Return")
        program.wait_for_log('\nOSC: cannot find host "nothing.invalid"')
        self.click(*SEND)
        program.sync(passes=3)
        count = len(receiver.snapshot())
        program.sync(passes=10)
        self.assertEqual(len(receiver.snapshot()), count, "\"send\" off sends nothing more")
        self.picture(810, 25, 450, 580).save_png("osc_system_page.png")

        self.close_main_window()
        self.answer_unsaved_take("d")
        program.wait_exit()
        with open(os.path.join(self.workdir, "velmora.exe.ini.extra")) as f:
            kept = f.read().split("\n")
        self.assertIn("osc.send=0", kept)
        self.assertIn(f"osc.port={receiver.port}", kept)
        self.assertIn("osc.host=nothing.invalid", kept)


if __name__ == "__main__":
    unittest.main()
