#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times what a child waits for after a key, from the outside: from the key
handed to the X server until the window's own pixels in the X server show the
verdict, or show it gone with the next question. The X server reports every
change of the window's pixels (its DAMAGE extension); after each report the
verdict's line is read back from the screen. Garivolo and the floor are timed
alike, at the designed size and full screen, under a real window manager."""

import os
import select
import statistics
import subprocess
import sys
import time

from Xlib import X, XK, display
from Xlib.ext import damage, xtest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e import Session, wait_for  # noqa: E402

# Where the verdict's line lies in the design, in design pixels: its caption's
# glyphs, clear of Merlin's hat below and of the clock above.
VERDICT_BAND = (410, 138, 785, 172)
# The clock's disc, which changes once a second, and the answer box, whose text cursor blinks.
CLOCK = (560, 0, 233, 137)
ANSWER_BOX = (208, 336, 457, 75)
IDLE_SECONDS = 10
# The score board's teal frame starts at the design's top-left corner.
TEAL = b"\xc0\xc0\x00"
# A wrong answer's verdict is pure red, a right one's pure blue: colours nothing else has in that band.
RED = b"\x00\x00\xff"
BLUE = b"\xff\x00\x00"


def aligned_find(data, pattern, start=0):
    i = data.find(pattern, start)
    while i >= 0 and i % 4:
        i = data.find(pattern, i + 1)
    return i


class Watched:
    """One window as the X server holds it: keys sent to it and its changes seen."""

    def __init__(self, display_name, window_id):
        self.x = display.Display(display_name)
        if not self.x.has_extension("DAMAGE") or not self.x.has_extension("XTEST"):
            raise RuntimeError("the X server lacks DAMAGE or XTEST")
        self.x.damage_query_version()
        self.window = self.x.create_resource_object("window", window_id)
        self.damage = self.window.damage_create(damage.DamageReportRawRectangles)
        self.x.sync()
        self.band = None
        self.origin = (0, 0)

    def close(self):
        self.x.close()

    def key(self, name):
        """Sends a key's press and release; returns when it was sent, in monotonic ns."""
        code = self.x.keysym_to_keycode(XK.string_to_keysym(name))
        sent = time.monotonic_ns()
        xtest.fake_input(self.x, X.KeyPress, code)
        xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.flush()
        return sent

    def pixels(self, x, y, w, h):
        return self.window.get_image(x, y, w, h, X.ZPixmap, 0xffffffff).data

    def find_design(self, floor_scale=None):
        """The verdict's band in window pixels, from the design's corner and scale on the screen."""
        g = self.window.get_geometry()
        if floor_scale is not None:
            ox, oy, scale = 0, 0, floor_scale
        else:
            data = self.pixels(0, 0, g.width, g.height)
            i = aligned_find(data, TEAL)
            if i < 0:
                raise RuntimeError("no design on the screen")
            ox, oy = (i // 4) % g.width, (i // 4) // g.width
            run = 0
            while data[i + 4 * run:i + 4 * run + 3] == TEAL:
                run += 1
            # The frame's top edge is a teal run as wide as the score board's 225 design pixels.
            scale = (run + 1) / 225
        self.origin = (ox, oy)
        x0, y0, x1, y1 = VERDICT_BAND
        self.band = (ox + round(x0 * scale), oy + round(y0 * scale),
                     min(g.width - ox - round(x0 * scale), round((x1 - x0) * scale)), round((y1 - y0) * scale))
        return scale

    def verdict_shown(self):
        data = self.pixels(*self.band)
        return aligned_find(data, RED) >= 0 or aligned_find(data, BLUE) >= 0

    def drain(self):
        """The changes reported so far, as (x, y, width, height) in the window."""
        areas = []
        while self.x.pending_events():
            event = self.x.next_event()
            if event.type == self.x.extension_event.DamageNotify:
                a = event.area
                areas.append((a.x, a.y, a.width, a.height))
        return areas

    def until(self, test, timeout=5.0):
        """The monotonic ns of the first change after which the window passes test."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.drain():
                seen = time.monotonic_ns()
                if test():
                    return seen
                continue
            select.select([self.x.fileno()], [], [], max(0.0, end - time.monotonic()))
        raise AssertionError("the window did not change as expected within %.0f s" % timeout)

    def changes_over(self, seconds):
        self.drain()
        end = time.monotonic() + seconds
        areas = []
        while time.monotonic() < end:
            select.select([self.x.fileno()], [], [], max(0.0, end - time.monotonic()))
            areas += self.drain()
        return areas


def answer_cycles(watched, runs, settle, questions=None):
    """Each run: an answer and Enter, then Enter for the next question; the
    median ms of each. Where the program says its questions, runs alternate
    right and wrong answers; otherwise every answer is wrong."""
    times = {"right": [], "wrong": [], "next": []}
    for i in range(runs):
        answer = next(questions) if questions else None
        right = answer is not None and i % 2 == 0
        for digit in (answer if right else "1"):
            watched.key(digit)
        time.sleep(0.3)
        watched.drain()
        sent = watched.key("Return")
        times["right" if right else "wrong"].append((watched.until(watched.verdict_shown) - sent) / 1e6)
        # Merlin says the right result; the next Enter waits for him, as a child does.
        time.sleep(settle)
        watched.drain()
        sent = watched.key("Return")
        times["next"].append((watched.until(lambda: not watched.verdict_shown()) - sent) / 1e6)
        time.sleep(settle)
    if not times["right"]:
        times["right"] = times["wrong"]
    return {kind: statistics.median(values) for kind, values in times.items()}


def questions_of(process):
    """The right answers, as the benchmark build of Garivolo says them, question by question."""
    for line in process.stdout:
        if line.startswith("garivolo-marker question "):
            yield line.split()[-1]


def start(program, session, *args):
    p = subprocess.Popen([program, *args], env=session.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True)
    p.stdout.readline()  # the name prompt is up
    time.sleep(0.3)
    session.xdotool("type", "Luca")
    session.xdotool("key", "Return")
    return p


def inside(area, rect):
    x, y, w, h = area
    return x >= rect[0] and y >= rect[1] and x + w <= rect[0] + rect[2] and y + h <= rect[1] + rect[3]


def idle_changes(watched, scale, areas):
    """Changes per second while nothing is asked: the clock, the text cursor, and the rest (Merlin at rest)."""
    ox, oy = watched.origin

    def placed(rect):
        return (ox + round(rect[0] * scale), oy + round(rect[1] * scale), round(rect[2] * scale),
                round(rect[3] * scale))
    clock, cursor = placed(CLOCK), placed(ANSWER_BOX)
    counts = {"clock": 0, "cursor": 0, "rest": 0}
    for a in areas:
        counts["clock" if inside(a, clock) else "cursor" if inside(a, cursor) else "rest"] += 1
    return {k: v / IDLE_SECONDS for k, v in counts.items()}


def measure_repaints(build, row, runs=8):
    garivolo = os.path.join(build, "app", "garivolo")
    floor = os.path.join(build, "bench", "floor", "bench_floor")
    session = Session(wm="openbox", screen="1920x1080")
    figures = {}
    try:
        for full in (False, True):
            f = start(floor, session, "--verdetto", *(["--schermo-intero"] if full else []))
            main = wait_for("the floor", lambda: session.windows_named("floor"))[0]
            time.sleep(0.5)
            watched = Watched(session.display_name, main)
            g = watched.window.get_geometry()
            watched.find_design(min(g.width / 785, g.height / 575) if full else 1.0)
            figures["floor", full] = answer_cycles(watched, runs, 0.2)
            watched.close()
            f.kill()
            f.wait()

        p = start(garivolo, session)
        time.sleep(0.5)
        session.xdotool("key", "Return")
        main = wait_for("the main window", lambda: session.windows_named(" +GARIVOLO .*"))[0]
        watched = Watched(session.display_name, main)
        # The introduction and the first dictation, then nothing but the clock and Merlin at rest.
        time.sleep(25)
        scale = watched.find_design()
        areas = watched.changes_over(IDLE_SECONDS)
        idle = idle_changes(watched, scale, areas)
        questions = questions_of(p)
        figures["garivolo", False] = answer_cycles(watched, runs, 2.5, questions)
        watched.key("F11")
        wait_for("full screen", lambda: watched.window.get_geometry().width == 1920)
        time.sleep(2)
        watched.find_design()
        figures["garivolo", True] = answer_cycles(watched, runs, 2.5, questions)
        watched.close()
        p.kill()
        p.wait()
    finally:
        session.close()
    for full, where in ((False, "window"), (True, "full 1920")):
        g, fl = figures["garivolo", full], figures["floor", full]
        row("Enter to right verdict, " + where, g["right"], "ms", "<= 3 x floor", fl["wrong"])
        row("Enter to wrong verdict, " + where, g["wrong"], "ms", "<= 3 x floor", fl["wrong"])
        row("Enter to next question, " + where, g["next"], "ms", "<= 3 x floor", fl["next"])
    row("idle: clock repaints", idle["clock"], "/s", "1 /s")
    row("idle: text cursor repaints", idle["cursor"], "/s", "2 /s")
    row("idle: other repaints (Merlin)", idle["rest"], "/s", "(no aim)")

if __name__ == "__main__":
    def show(name, value, unit, aim, floor=None):
        print("%-32s %10.2f %-3s %-12s %s" % (name, value, unit, aim, "" if floor is None else "%10.2f" % floor))
    measure_repaints(sys.argv[1], show, int(os.environ.get("GARIVOLO_BENCH_RUNS", "8")))
