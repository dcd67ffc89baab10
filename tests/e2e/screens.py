#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Garivolo on the screens schools have: a netbook's 1024x600 with a 30-pixel
panel, and an ordinary 1280x1024, each in its own X server under a real window
manager. On the small one the whole window, record line included, must lie in
the free area; on the large one it must be exactly as designed."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from Xlib import X, Xatom, display

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import wait_for  # noqa: E402

ARGS = None
DESIGN = (785, 556)
PANEL = 30


class Screen:
    """An X server of one size, with openbox and, if asked, a panel along the bottom."""

    def __init__(self, width, height, panel=0):
        self.runtime = tempfile.mkdtemp(prefix="garivolo-screens-")
        os.chmod(self.runtime, 0o700)
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx24" % (width, height), "-noreset",
             "-nolisten", "tcp"], pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip(), XDG_RUNTIME_DIR=self.runtime,
                        QT_QPA_PLATFORM="xcb", LANG="C.UTF-8")
        self.env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.x = display.Display(self.env["DISPLAY"])
        self.size = (width, height)
        self.panel = None
        if panel:
            self.panel = self.make_panel(width, height, panel)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        root = self.x.screen().root
        workarea = self.x.intern_atom("_NET_WORKAREA")
        wait_for("the window manager's work area", lambda: root.get_full_property(workarea, Xatom.CARDINAL))
        if panel:
            wait_for("the panel's strut in the work area",
                     lambda: root.get_full_property(workarea, Xatom.CARDINAL).value[3] == height - panel)

    def make_panel(self, width, height, thickness):
        # A dock like a desktop's taskbar: the window manager keeps other windows off its strip.
        root = self.x.screen().root
        panel = root.create_window(0, height - thickness, width, thickness, 0, self.x.screen().root_depth,
                                   background_pixel=self.x.screen().white_pixel)
        panel.change_property(self.x.intern_atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32,
                              [self.x.intern_atom("_NET_WM_WINDOW_TYPE_DOCK")])
        panel.change_property(self.x.intern_atom("_NET_WM_STRUT"), Xatom.CARDINAL, 32, [0, 0, 0, thickness])
        panel.change_property(self.x.intern_atom("_NET_WM_STRUT_PARTIAL"), Xatom.CARDINAL, 32,
                              [0, 0, 0, thickness, 0, 0, 0, 0, 0, 0, 0, width - 1])
        panel.map()
        self.x.sync()
        return panel

    def close(self):
        self.wm.terminate()
        self.wm.wait()
        self.x.close()
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True, capture_output=True, text=True).stdout

    def windows_named(self, name):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=self.env,
                             capture_output=True, text=True).stdout
        return [int(w) for w in out.split()]

    def client_geometry(self, window_id):
        """Where the window's inside lies on the screen, frame and title bar left out."""
        w = self.x.create_resource_object("window", window_id)
        g = w.get_geometry()
        t = w.translate_coords(self.x.screen().root, 0, 0)
        return (-t.x, -t.y, g.width, g.height)

    def frame_geometry(self, window_id):
        """The window with the frame the window manager put round it."""
        w = self.x.create_resource_object("window", window_id)
        root = self.x.screen().root
        while True:
            parent = w.query_tree().parent
            if parent == root or parent is None:
                break
            w = parent
        g = w.get_geometry()
        return (g.x, g.y, g.width, g.height)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)


def start_garivolo(screen):
    # The build's record directory: the program reads no other.
    records = ARGS.records
    os.makedirs(records, exist_ok=True)
    # A record on the line, so that the picture shows it whole.
    for name, content in (("atabvenr4.txt", b"12\r\n"), ("ntabvenr4.txt", b"Anna\r\n")):
        with open(os.path.join(records, name), "wb") as f:
            f.write(content)
    process = subprocess.Popen([ARGS.binary], env=screen.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    prompt = wait_for("the name prompt", lambda: screen.windows_named("^Garivolo$"))
    time.sleep(0.3)
    screen.xdotool("type", "--delay", "30", "Niccolo")
    screen.xdotool("key", "Return")
    # The prompt answered may still be on the screen for a moment.
    wait_for("the greeting", lambda: [w for w in screen.windows_named("^Garivolo$") if w not in prompt])
    time.sleep(0.3)
    screen.xdotool("key", "Return")
    main = wait_for("the main window", lambda: screen.windows_named("GARIVOLO.*example"))[0]
    # Merlin speaks and the window settles; the clock has begun.
    time.sleep(2.0)
    return process, main


class Screens(unittest.TestCase):
    def run_on(self, width, height, panel, shot):
        screen = Screen(width, height, panel)
        try:
            process, main = start_garivolo(screen)
            try:
                client = screen.client_geometry(main)
                frame = screen.frame_geometry(main)
                screen.screenshot(os.path.join(ARGS.out, shot))
            finally:
                process.kill()
                process.wait()
            return client, frame
        finally:
            screen.close()

    def test_netbook_with_panel_shows_the_whole_window(self):
        client, frame = self.run_on(1024, 600, PANEL, "screen-1024x600-panel.png")
        free_bottom = 600 - PANEL
        x, y, w, h = frame
        self.assertGreaterEqual(x, 0, frame)
        self.assertGreaterEqual(y, 0, frame)
        self.assertLessEqual(x + w, 1024, frame)
        # The record line is the lowest thing in the window: the whole window above the panel shows it whole.
        self.assertLessEqual(y + h, free_bottom, frame)
        # Smaller, but in the design's proportions.
        self.assertLess(client[2], DESIGN[0])
        self.assertGreater(client[2], DESIGN[0] * 0.8)

    def test_large_screen_shows_the_design_unscaled(self):
        client, frame = self.run_on(1280, 1024, 0, "screen-1280x1024.png")
        self.assertEqual(client[2], DESIGN[0])
        # The inside is the design's area plus the menu bar above it.
        self.assertGreater(client[3], DESIGN[1])
        self.assertLess(client[3], DESIGN[1] + 40)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--records", required=True)
    parser.add_argument("--out", required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.out, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
