#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Garivolo at the interactive whiteboard and on the projector: full screen at
the sizes schools have, and a whole contest with nothing but pointer clicks.

The accessibility tree only says where things are; every input is an xdotool
click or, for F11, a key. Run inside its own D-Bus session:
dbus-run-session -- python3 whiteboard.py ...
"""

import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import wait_for  # noqa: E402
from screenreader import Atspi, find, label, start_accessibility_bus, walk, application  # noqa: E402

DESIGN = (785, 556)
ANSWER_BOX_WIDTH = 457
PAD_KEYS = [str(d) for d in range(10)] + ["Cancella", "Invio"]
# Captions whose glyphs are measured, by their colour.
CAPTIONS = {"Risposte errate": (0xFF, 0x00, 0x00), "Risposte totali": (0x00, 0x00, 0xFF),
            "Tempo restante": (0xFF, 0xFF, 0x00), "Il record  è di": (0xC0, 0x00, 0xC0)}


def start(*args):
    log = tempfile.TemporaryFile(mode="w+")
    process = subprocess.Popen([e2e.ARGS.binary, *args], env=e2e.SESSION.env, stdout=log, stderr=subprocess.STDOUT)
    app = e2e.Garivolo.__new__(e2e.Garivolo)
    app.log, app.process = log, process
    e2e.Garivolo.started.append(app)
    return app


def extents(node):
    e = node.get_extents(Atspi.CoordType.SCREEN)
    return e.x, e.y, e.width, e.height


def click(node):
    x, y, w, h = extents(node)
    e2e.SESSION.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
    time.sleep(0.15)


def button(name):
    return wait_for("the button " + name, lambda: find("push button", re.escape(name)))


def ok_box(pattern):
    wait_for("the box " + pattern, lambda: find("label", pattern))
    click(button("OK"))


def answer_text():
    box = find("text", "Scrivi qui il risultato e premi Invio")
    return box.get_text(0, -1)


def ink_height(pixels, rect, colour, tolerance=40):
    """How many rows of rect hold pixels of the caption's colour: its glyphs' height."""
    width, height, data = pixels
    x0, y0, w, h = rect
    rows = []
    for y in range(max(0, y0), min(height, y0 + h)):
        row = y * width * 4
        for x in range(max(0, x0), min(width, x0 + w)):
            o = row + x * 4
            if all(abs(data[o + 2 - k] - colour[k]) <= tolerance for k in range(3)):
                rows.append(y)
                break
    return rows[-1] - rows[0] + 1 if rows else 0


def key_side_for():
    """18 mm on the X server's screen as Qt knows it: Xvfb's RandR output states its size at 96 dots per inch
    (its core screen says 100)."""
    return 18 * 96 / 25.4


class Whiteboard(unittest.TestCase):
    def test_a_whole_contest_with_the_pointer_only(self):
        with e2e.Elsewhere(accessible=True, wm="openbox", sound=None, screen="1920x1080"):
            e2e.seed_records(b"99\r\n", b"Anna\r\n")
            app = start("--schermo-intero")
            # Nothing typed: OK on the empty name gives "Amico".
            wait_for("the name prompt", lambda: find("text", ".*"))
            click(button("OK"))
            ok_box("  vediamo se sei un vero campione  ")
            self.assertEqual(label("Sfidante:"), "Amico")
            keys = {name: button(name) for name in PAD_KEYS}

            def tap(*names):
                for name in names:
                    click(keys[name])

            # A first key shows the question; Cancella takes it back as Backspace does.
            tap("1")
            first = int(wait_for("the question", lambda: label("Primo fattore:")))
            second = int(label("Secondo fattore:"))
            self.assertEqual(answer_text(), "1")
            tap("Cancella")
            wait_for("the digit taken back", lambda: answer_text() == "")
            result = first * second
            tap(*str(result))
            wait_for("the answer typed", lambda: answer_text() == str(result))
            e2e.SESSION.screenshot(os.path.join(e2e.ARGS.out, "whiteboard-1920x1080-typing.png"))
            tap("Invio")
            wait_for("the verdict", lambda: label("Risultato:") == "Esatto. Sei forte!!!")
            self.assertEqual(label("Risposte esatte:"), "1")
            e2e.SESSION.screenshot(os.path.join(e2e.ARGS.out, "whiteboard-1920x1080-verdict.png"))
            # Invio after the verdict asks the next question.
            tap("Invio")
            wait_for("the next question", lambda: label("Risultato:") == "" and answer_text() == "")

            tap("0")
            result = int(wait_for("the question", lambda: label("Primo fattore:"))) * int(label("Secondo fattore:"))
            tap("Cancella", *str(result + 1), "Invio")
            wait_for("the wrong verdict", lambda: label("Risultato:") == "Sbagliato!! %d" % result)
            self.assertEqual(label("Risposte errate:"), "1")
            self.assertEqual(label("Risposte totali:"), "2")
            tap("Invio")
            wait_for("the next question", lambda: label("Risultato:") == "")

            click(button("Esci"))
            ok_box("Ciao. Ti aspetto per la prossima sfida ")
            self.assertEqual(app.wait(), 0, app.output())
            self.assertEqual(e2e.read_records(), (b"99\r\n", b"Anna\r\n"))

    def check_full_screen(self, width, height):
        with e2e.Elsewhere(accessible=True, wm="openbox", sound=None, screen="%dx%d" % (width, height)):
            e2e.seed_records(b"12\r\n", b"Anna\r\n")
            app = start()
            wait_for("the name prompt", lambda: find("text", ".*")).set_text_contents("Lia")
            click(button("OK"))
            ok_box(" Lia vediamo se sei un vero campione  ")
            main = wait_for("the main window", lambda: e2e.SESSION.windows_named(" +GARIVOLO .*"))[0]
            time.sleep(1.0)
            windowed = e2e.SESSION.geometry(main)
            answer_width = extents(find("text", "Scrivi qui il risultato e premi Invio"))[2]
            before = e2e.SESSION.screen_pixels()
            heights = {name: ink_height(before, extents(find("label", re.escape(name) + ".*")), colour)
                       for name, colour in CAPTIONS.items()}
            # The keyboard and the window manager bring it full screen.
            e2e.SESSION.xdotool("key", "F11")
            wait_for("full screen", lambda: e2e.SESSION.geometry(main) == (0, 0, width, height))
            box = wait_for("the answer box at its new size", lambda: (
                lambda b: b if extents(b)[2] > answer_width else None)(
                    find("text", "Scrivi qui il risultato e premi Invio")))
            time.sleep(1.5)
            s = extents(box)[2] / ANSWER_BOX_WIDTH
            e2e.SESSION.screenshot(os.path.join(e2e.ARGS.out, "whiteboard-full-%dx%d.png" % (width, height)))
            seen = e2e.look(s)
            ox, oy = seen["origin"]
            design = (ox, oy, DESIGN[0] * s, DESIGN[1] * s)
            pad = [extents(button(name)) for name in PAD_KEYS]
            pad_right = max(x + w for x, _, w, _ in pad)
            # The tighter side is filled within 2 %, with the menu bar and the pad.
            self.assertTrue(oy + design[3] >= 0.98 * height or pad_right - ox >= 0.98 * width,
                            (design, pad_right, width, height))
            # s is measured from the answer box's whole-pixel width: a few pixels of give.
            self.assertLessEqual(ox + design[2], width + 2 + 0.004 * width)
            self.assertLessEqual(oy + design[3], height + 2 + 0.004 * height)
            # No control cut: each lies in the design and on the screen.
            for node in walk(application()):
                if node.get_role_name() in ("push button", "text", "label") and \
                        node.get_state_set().contains(Atspi.StateType.SHOWING):
                    x, y, w, h = extents(node)
                    # The record's captions hold the files' line ends: their second line is empty.
                    if node.get_name().startswith(("Punti del record:", "Record di:")):
                        h = h // 2
                    self.assertTrue(0 <= x and x + w <= width and 0 <= y and y + h <= height,
                                    (node.get_name(), (x, y, w, h)))
            # The pad beside the design, its keys tall enough for a finger.
            least = max(key_side_for(), 64 if height <= 600 else 0, 120 if height >= 1080 else 0)
            for x, y, w, h in pad:
                self.assertGreaterEqual(x, ox + design[2] - 1)
                self.assertGreaterEqual(h, least - 1, (width, height, pad))
            # Every caption's type grown by the same factor as the design.
            after = e2e.SESSION.screen_pixels()
            for name, colour in CAPTIONS.items():
                grown = ink_height(after, extents(find("label", re.escape(name) + ".*")), colour)
                self.assertLessEqual(abs(grown - heights[name] * s), max(2.5, 0.08 * grown),
                                     (name, heights[name], grown, s))
            # Merlin and his balloon in their places, in proportion.
            self.assertTrue(wait_for("Merlin in place", lambda: e2e.merlin_in_place(e2e.look(s)), timeout=10))
            self.assertTrue(wait_for("the balloon", lambda: e2e.balloon_speaking(e2e.look(s)), timeout=15))

            e2e.SESSION.xdotool("key", "F11")
            wait_for("the window back as it was", lambda: e2e.SESSION.geometry(main) == windowed)
            time.sleep(0.5)
            self.assertEqual(extents(find("text", "Scrivi qui il risultato e premi Invio"))[2], answer_width)
            self.assertIsNone(find("push button", "Invio"))
            click(button("Esci"))
            ok_box("Ciao. Ti aspetto per la prossima sfida ")
            self.assertEqual(app.wait(), 0, app.output())

    def test_full_screen_netbook_1024x600(self):
        self.check_full_screen(1024, 600)

    def test_full_screen_1366x768(self):
        self.check_full_screen(1366, 768)

    def test_full_screen_projector_1920x1080(self):
        self.check_full_screen(1920, 1080)

    def test_full_screen_4k_3840x2160(self):
        self.check_full_screen(3840, 2160)


if __name__ == "__main__":
    e2e.main(accessible=True, prepare=start_accessibility_bus)
