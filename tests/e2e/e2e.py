#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the real Garivolo in a private X server, as a child at the keyboard would."""

import argparse
import array
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from Xlib import X, display, protocol
from Xlib.ext import shape

ARGS = None


def wait_for(what, check, timeout=15.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out waiting for " + what)


class Session:
    """One Xvfb server, shared by the runs of this file."""

    def __init__(self, accessible=False):
        self.runtime = tempfile.mkdtemp(prefix="garivolo-e2e-")
        os.chmod(self.runtime, 0o700)
        read_fd, write_fd = os.pipe()
        # -noreset: without it the server resets when its last client leaves.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.display_name = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display_name, XDG_RUNTIME_DIR=self.runtime,
                        QT_QPA_PLATFORM="xcb", LANG="C.UTF-8")
        if accessible:
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        else:
            self.env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.x = display.Display(self.display_name)
        self.start_sound()

    def start_sound(self):
        """A PulseAudio server with a null sink whose monitor the tests record."""
        subprocess.run(["pulseaudio", "-D", "--exit-idle-time=-1", "--system=false", "-n",
                        "--load=module-native-protocol-unix",
                        "--load=module-null-sink sink_name=nullsink"],
                       env=self.env, check=True, stderr=subprocess.DEVNULL)
        wait_for("the sound server", lambda: subprocess.run(["pactl", "info"], env=self.env,
                                                              capture_output=True).returncode == 0)
        # Without a stream always playing, every stream ends one to two seconds late.
        self.keepalive = subprocess.Popen(
            ["pacat", "--raw", "--rate=22050", "--channels=1", "--format=s16le", "--latency-msec=20"],
            env=self.env, stdin=open(os.devnull, "rb"))

    def close(self):
        # A test that failed half way leaves its program running: end it with the server.
        for app in Garivolo.started:
            if app.process.poll() is None:
                app.process.kill()
                app.process.wait()
        self.keepalive.kill()
        self.keepalive.wait()
        subprocess.run(["pulseaudio", "-k"], env=self.env)
        self.x.close()
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True,
                              capture_output=True, text=True).stdout

    def windows_named(self, name):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + name + "$"],
                             env=self.env, capture_output=True, text=True).stdout
        return [int(w) for w in out.split()]

    def geometry(self, window_id):
        w = self.x.create_resource_object("window", window_id)
        g = w.get_geometry()
        t = w.translate_coords(self.x.screen().root, 0, 0)
        return (-t.x, -t.y, g.width, g.height)

    def shape_rectangles(self, window_id):
        """How many rectangles make up the window's outline: 1 for a plain rectangle."""
        w = self.x.create_resource_object("window", window_id)
        return len(w.shape_get_rectangles(shape.SK.Bounding).rectangles)

    def send_close(self, window_id):
        """What a title bar's close button does: WM_DELETE_WINDOW."""
        w = self.x.create_resource_object("window", window_id)
        protocols = self.x.intern_atom("WM_PROTOCOLS")
        delete = self.x.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=w, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(event)
        self.x.flush()

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)


SESSION = None


class Garivolo:
    started = []

    def __init__(self):
        Garivolo.started.append(self)
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([ARGS.binary], env=SESSION.env, stdout=self.log, stderr=subprocess.STDOUT)

    def answer_prompts(self, name):
        # The name prompt, then the greeting: both titled with the program's name.
        wait_for("the name prompt", lambda: SESSION.windows_named("Garivolo"))
        time.sleep(0.3)
        SESSION.xdotool("type", "--delay", "40", name)
        SESSION.xdotool("key", "Return")
        time.sleep(0.5)
        wait_for("the greeting", lambda: SESSION.windows_named("Garivolo"))
        time.sleep(0.3)
        SESSION.xdotool("key", "Return")

    def main_window(self):
        return wait_for("the main window", lambda: SESSION.windows_named(" +GARIVOLO .*"))[0]

    def click_answer_box(self, main):
        # Without a window manager, a click is what gives the window the keyboard.
        x, y, width, height = SESSION.geometry(main)
        menu = height - 556
        SESSION.xdotool("mousemove", str(x + 436), str(y + menu + 373), "click", "1")
        time.sleep(0.2)

    def wait(self, timeout=15):
        try:
            return self.process.wait(timeout=timeout)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()

    def output(self):
        if not self.log.closed:
            self.log.seek(0)
            self.text = self.log.read()
            self.log.close()
        return self.text


def seed_records(score, name):
    os.makedirs(ARGS.records, exist_ok=True)
    with open(os.path.join(ARGS.records, "atabvenr4.txt"), "wb") as f:
        f.write(score)
    with open(os.path.join(ARGS.records, "ntabvenr4.txt"), "wb") as f:
        f.write(name)


def read_records():
    with open(os.path.join(ARGS.records, "atabvenr4.txt"), "rb") as a, \
            open(os.path.join(ARGS.records, "ntabvenr4.txt"), "rb") as n:
        return a.read(), n.read()


class EndToEnd(unittest.TestCase):
    def test_start_up_shows_window_and_character_then_closing_saves_nothing(self):
        seed_records(b"7\r\n", b"Anna\r\n")
        app = Garivolo()
        app.answer_prompts("Luca")
        main = app.main_window()
        # Merlin comes to 250,175 and grows to 205 pixels once his first animation is over.
        merlin = wait_for("Merlin", lambda: SESSION.windows_named("Merlin"))[0]
        wait_for("Merlin in place", lambda: SESSION.geometry(merlin)[:2] == (250, 175)
                 and SESSION.geometry(merlin)[3] == 205, timeout=10)
        # Without a compositor the window is cut to Merlin's outline, not a black box.
        self.assertGreater(SESSION.shape_rectangles(merlin), 20)
        x, y, width, height = SESSION.geometry(main)
        self.assertGreaterEqual(width, 785)
        self.assertGreaterEqual(height, 556)
        time.sleep(1.0)
        SESSION.screenshot(os.path.join(ARGS.out, "startup.png"))

        SESSION.send_close(main)
        self.assertEqual(app.wait(), 0, app.output())
        self.assertEqual(read_records(), (b"7\r\n", b"Anna\r\n"))

    def test_with_a_compositor_merlin_is_translucent_not_cut(self):
        compositor = subprocess.Popen(["xcompmgr"], env=SESSION.env, stderr=subprocess.DEVNULL)
        try:
            time.sleep(0.5)
            app = Garivolo()
            app.answer_prompts("Luca")
            main = app.main_window()
            merlin = wait_for("Merlin", lambda: SESSION.windows_named("Merlin"))[0]
            time.sleep(0.5)
            self.assertEqual(SESSION.shape_rectangles(merlin), 1)
            SESSION.send_close(main)
            self.assertEqual(app.wait(), 0, app.output())
        finally:
            compositor.terminate()
            compositor.wait()

    def test_the_introduction_is_heard(self):
        recording = os.path.join(SESSION.runtime, "monitor.raw")
        with open(recording, "wb") as out:
            recorder = subprocess.Popen(["parec", "--device=nullsink.monitor", "--raw", "--rate=22050",
                                         "--channels=1", "--format=s16le"], env=SESSION.env, stdout=out)
            app = Garivolo()
            app.answer_prompts("Luca")
            greeted = os.path.getsize(recording)
            time.sleep(12)
            recorder.terminate()
            recorder.wait()
        main = app.main_window()
        SESSION.send_close(main)
        self.assertEqual(app.wait(), 0, app.output())
        with open(recording, "rb") as f:
            f.seek(greeted - greeted % 2)
            samples = array.array("h", f.read())
        window = 22050 // 4
        loud = 0
        for start in range(0, min(len(samples), 12 * 22050) - window + 1, window):
            part = samples[start:start + window]
            rms = math.sqrt(sum(s * s for s in part) / window) / 32768
            loud += rms > 0.01
        # At least 3 s, in 250 ms windows, of the 12 s after the greeting were really voice.
        self.assertGreaterEqual(loud, 12, "only %d loud windows; output: %s" % (loud, app.output()))

    def test_exit_button_saves_a_beaten_record(self):
        # Any score beats a record of -1, so a wrong answer still sets a new record.
        seed_records(b"-1\r\n", b"Nessuno\r\n")
        app = Garivolo()
        app.answer_prompts("Niccolò")
        app.click_answer_box(app.main_window())
        # No multiple of 4 is 5: a wrong answer, then the next question, then Alt+X.
        SESSION.xdotool("type", "--delay", "40", "5")
        SESSION.xdotool("key", "Return")
        time.sleep(0.3)
        SESSION.xdotool("key", "Return")
        time.sleep(0.3)
        SESSION.xdotool("key", "alt+x")
        wait_for("the goodbye", lambda: SESSION.windows_named("Garivolo"))
        time.sleep(0.3)
        SESSION.xdotool("key", "Return")
        wait_for("the record box", lambda: SESSION.windows_named("Garivolo"))
        time.sleep(0.3)
        SESSION.xdotool("key", "Return")
        self.assertEqual(app.wait(), 0, app.output())
        self.assertEqual(read_records(), (b"0\r\n", "Niccolò\r\n".encode("cp1252")))


def main(accessible=False, prepare=None):
    """Runs the tests of the calling script in a fresh session."""
    global ARGS, SESSION
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--records", required=True)
    parser.add_argument("--out", required=True)
    ARGS, rest = parser.parse_known_args()
    SESSION = Session(accessible=accessible)
    try:
        if prepare:
            prepare()
        result = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False).result
    finally:
        SESSION.close()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
