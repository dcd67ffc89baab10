#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Plays a contest through the accessibility bus, the way a screen reader user would.

Run inside its own D-Bus session: dbus-run-session -- python3 screenreader.py ...
"""

import datetime
import os
import re
import shutil
import subprocess
import tempfile
import sys
import time
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import wait_for  # noqa: E402


def walk(node):
    yield node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child)


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "Garivolo":
            return app
    return None


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def find(role, pattern, only_showing=True):
    app = application()
    if app is None:
        return None
    for node in walk(app):
        try:
            if node.get_role_name() == role and re.fullmatch(pattern, node.get_name() or "", re.S) \
                    and (not only_showing or showing(node)):
                return node
        except gi.repository.GLib.Error:
            continue
    return None


def label(prefix):
    node = wait_for("the label " + prefix, lambda: find("label", re.escape(prefix) + ".*"))
    return node.get_name()[len(prefix):].strip()


def press(node):
    names = [node.get_action_name(i) for i in range(node.get_n_actions())]
    node.do_action(names.index("Press"))


def answer_box_dialog(text):
    """The name prompt: type into its field, then OK."""
    field = wait_for("the name prompt", lambda: find("text", ".*"))
    # The box's own buttons speak Italian too.
    wait_for("Annulla", lambda: find("push button", "Annulla"))
    field.set_text_contents(text)
    press(wait_for("OK", lambda: find("push button", "OK")))


def confirm_box(pattern):
    wait_for("the box " + pattern, lambda: find("label", pattern))
    press(wait_for("OK", lambda: find("push button", "OK")))


Garivolo = e2e.Garivolo


class Case(unittest.TestCase):
    def tearDown(self):
        # A program left running by a failed test would be the one the next test finds on the bus.
        Garivolo.end_all()


class ScreenReader(Case):
    def click_answer_box(self):
        box = wait_for("the answer box", lambda: find("text", "Scrivi qui il risultato e premi Invio"))
        extents = box.get_extents(Atspi.CoordType.SCREEN)
        e2e.SESSION.xdotool("mousemove", str(extents.x + extents.width // 2), str(extents.y + extents.height // 2),
                        "click", "1")
        return box

    def test_a_whole_contest_then_the_record_line(self):
        e2e.seed_records(b"2\r\n", b"Anna\r\n")
        app = Garivolo()
        answer_box_dialog("Niccolò")
        confirm_box(" Niccolò vediamo se sei un vero campione  ")

        self.assertEqual(label("Sfidante:"), "Niccolò")
        self.assertEqual(label("Record di:"), "Anna")
        self.assertEqual(label("Punti del record:"), "2")
        # Only the answer box is a text field a screen reader meets: the hidden ones are not shown.
        fields = [n for n in walk(application()) if n.get_role_name() == "text" and showing(n)]
        self.assertEqual([n.get_name() for n in fields], ["Scrivi qui il risultato e premi Invio"])
        first = label("Tempo restante:")
        time.sleep(2.2)
        self.assertNotEqual(label("Tempo restante:"), first)
        self.assertRegex(label("Tempo restante:"), r"00:06:5\d")

        # Merlin's balloon says what he says.
        # His balloon's name grows word by word as he says them.
        wait_for("Merlin's balloon", lambda: find("label", "Allora attenzione.*tabellina del 4.*"))

        right = wrong = 0
        plan = [True, False, True, True, False, True]
        for answer_right in plan:
            box = self.click_answer_box()
            # The first key shows the question.
            e2e.SESSION.xdotool("key", "BackSpace")
            first_factor = int(wait_for("the question", lambda: label("Primo fattore:")))
            second_factor = int(label("Secondo fattore:"))
            self.assertEqual(first_factor, 4)
            self.assertIn(second_factor, range(1, 11))
            result = first_factor * second_factor
            box.set_text_contents(str(result if answer_right else result + 1))
            e2e.SESSION.xdotool("key", "Return")
            if answer_right:
                right += 1
                wait_for("the verdict", lambda: label("Risultato:") == "Esatto. Sei forte!!!")
            else:
                wrong += 1
                wait_for("the verdict", lambda: label("Risultato:") == "Sbagliato!! %d" % result)
            self.assertEqual(label("Risposte esatte:"), str(right))
            self.assertEqual(label("Risposte errate:"), str(wrong))
            self.assertEqual(label("Risposte totali:"), str(right + wrong))
            # The second Enter asks the next question; Alt+N does too.
            e2e.SESSION.xdotool("key", "alt+n" if right + wrong == 3 else "Return")
            wait_for("the next question", lambda: label("Risultato:") == "")

        press(wait_for("the exit button", lambda: find("push button", "Esci")))
        confirm_box("Ciao. Ti aspetto per la prossima sfida ")
        confirm_box('Ok ho registrato il tuo record, C A M P I O N E"')
        self.assertEqual(app.wait(), 0, app.output())
        self.assertEqual(e2e.read_records(), (b"%d\r\n" % right, "Niccolò\r\n".encode("cp1252")))

        # A second run shows the new record at the foot of the window.
        again = Garivolo()
        answer_box_dialog("Anna")
        confirm_box(" Anna vediamo se sei un vero campione  ")
        self.assertEqual(label("Record di:"), "Niccolò")
        self.assertEqual(label("Punti del record:"), str(right))
        press(wait_for("the exit button", lambda: find("push button", "Esci")))
        confirm_box("Ciao. Ti aspetto per la prossima sfida ")
        self.assertEqual(again.wait(), 0, again.output())
        self.assertEqual(e2e.read_records(), (b"%d\r\n" % right, "Niccolò\r\n".encode("cp1252")))


class NumberPadKeys(Case):
    def test_the_pad_keys_are_named_buttons_that_answer_a_question(self):
        e2e.seed_records(b"99\r\n", b"Anna\r\n")
        app = Garivolo.__new__(Garivolo)
        app.log = tempfile.TemporaryFile(mode="w+")
        # Full screen shows the pad on any computer.
        app.process = subprocess.Popen([e2e.ARGS.binary, "--schermo-intero"], env=e2e.SESSION.env, stdout=app.log,
                                       stderr=subprocess.STDOUT)
        Garivolo.started.append(app)
        answer_box_dialog("Lia")
        confirm_box(" Lia vediamo se sei un vero campione  ")
        keys = {}
        for name in [str(d) for d in range(10)] + ["Cancella", "Invio"]:
            keys[name] = wait_for("the pad key " + name, lambda: find("push button", re.escape(name)))
            self.assertIn("Press", [keys[name].get_action_name(i) for i in range(keys[name].get_n_actions())])
        press(keys["1"])
        first = int(wait_for("the question", lambda: label("Primo fattore:")))
        second = int(label("Secondo fattore:"))
        press(keys["Cancella"])
        for digit in str(first * second):
            press(keys[digit])
        box = find("text", "Scrivi qui il risultato e premi Invio")
        wait_for("the answer typed", lambda: box.get_text(0, -1) == str(first * second))
        press(keys["Invio"])
        wait_for("the verdict", lambda: label("Risultato:") == "Esatto. Sei forte!!!")
        self.assertEqual(label("Risposte esatte:"), "1")
        # A second press of the same key that soon is the board's bounce; a person's comes later.
        time.sleep(0.3)
        press(keys["Invio"])
        wait_for("the next question", lambda: label("Risultato:") == "")
        press(wait_for("the exit button", lambda: find("push button", "Esci")))
        confirm_box("Ciao. Ti aspetto per la prossima sfida ")
        self.assertEqual(app.wait(), 0, app.output())


class Orca:
    """Orca itself, speaking through speech-dispatcher's silent module and writing what it says to its log."""

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="garivolo-orca-")
        speechd = os.path.join(self.home, ".config", "speech-dispatcher")
        os.makedirs(speechd)
        with open(os.path.join(speechd, "speechd.conf"), "w") as f:
            f.write('AddModule "dummy" "sd_dummy" ""\nDefaultModule dummy\nAudioOutputMethod "pulse"\n')
        self.log = os.path.join(self.home, "orca.log")
        env = dict(e2e.SESSION.env, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_DATA_HOME=os.path.join(self.home, ".local", "share"), GTK_A11Y="none")
        self.process = subprocess.Popen(["orca", "--replace", "--debug-file=" + self.log], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("Orca to listen", lambda: "Orca" in self.text() and "SPEECH OUTPUT" in self.text(), timeout=30)

    def text(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def spoken(self):
        """Everything Orca has said so far, each with the time it said it."""
        said = []
        for line in self.text().splitlines():
            m = re.match(r"(\d\d:\d\d:\d\d\.\d+) - SPEECH OUTPUT: '(.*)'\s*(?:\{.*\})?$", line)
            if m:
                when = datetime.datetime.combine(datetime.date.today(),
                                                 datetime.datetime.strptime(m.group(1), "%H:%M:%S.%f").time())
                said.append((when, m.group(2)))
        return said

    def received(self, pattern):
        """When Orca was told each notification whose text matches, as it came.

        Orca handles its events one at a time, tens of milliseconds each on a busy
        machine, so when it speaks one depends on what came with it; when the
        program told it is the program's own doing."""
        times = []
        for line in self.text().splitlines():
            m = re.match(r"(\d\d:\d\d:\d\d\.\d+) - EVENT MANAGER: object:state-changed:showing for "
                         r"\[notification \| (.*?)\] in \[application \| Garivolo\] \(1,", line)
            if m and re.search(pattern, m.group(2)):
                times.append(datetime.datetime.combine(datetime.date.today(),
                                                       datetime.datetime.strptime(m.group(1), "%H:%M:%S.%f").time()))
        return times

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.copy(self.log, os.path.join(e2e.ARGS.out, "orca.log"))
        shutil.rmtree(self.home, ignore_errors=True)


def announced(spoken):
    """What was announced, without the role Orca names first and the stop it ends on."""
    return re.sub(r"^notification ", "", spoken.strip()).rstrip(".").strip()


class WithOrca(Case):
    def test_orca_speaks_the_question_the_verdict_merlin_and_the_clock(self):
        orca = Orca()
        self.addCleanup(orca.close)
        e2e.seed_records(b"2\r\n", b"Anna\r\n")
        app = Garivolo()
        answer_box_dialog("Lia")
        confirm_box(" Lia vediamo se sei un vero campione  ")
        main = wait_for("the main window", lambda: find("frame", "Garivolo"))
        self.assertEqual(main.get_name(), "Garivolo")
        # Merlin's words, as his balloon shows them and as Orca says them.
        # His balloon's name grows word by word as he says them.
        wait_for("Merlin's balloon", lambda: find("label", "Allora attenzione.*tabellina del 4.*"))
        wait_for("Orca to say Merlin's words",
                 lambda: any("Allora attenzione" in t and "tabellina del 4" in t for _, t in orca.spoken()))
        # The introduction comes in its sentences, not as one long announcement, nor word by word.
        self.assertFalse(any("Allora attenzione" in t and "Io detto" in t for _, t in orca.spoken()), orca.spoken())
        wait_for("Orca to say the introduction's second sentence",
                 lambda: any("Io detto" in t and "Allora" not in t for _, t in orca.spoken()), timeout=30)

        box = wait_for("the answer box", lambda: find("text", "Scrivi qui il risultato e premi Invio"))
        extents = box.get_extents(Atspi.CoordType.SCREEN)
        e2e.SESSION.xdotool("mousemove", str(extents.x + extents.width // 2), str(extents.y + extents.height // 2),
                            "click", "1")
        e2e.SESSION.xdotool("key", "BackSpace")
        first = int(wait_for("the question", lambda: label("Primo fattore:")))
        second = int(label("Secondo fattore:"))
        wait_for("Orca to say the question",
                 lambda: any("%d per %d" % (first, second) in t for _, t in orca.spoken()))
        box.set_text_contents(str(first * second))
        before = len(orca.spoken())
        enter = datetime.datetime.now()
        e2e.SESSION.xdotool("key", "Return")
        verdict = wait_for("Orca to say the verdict",
                           lambda: [(w, t) for w, t in orca.spoken()[before:] if "Esatto. Sei forte!!!" in t])
        self.assertIn("Risposte esatte: 1", verdict[0][1])
        told = [w for w in orca.received(r"Esatto\. Sei forte") if w >= enter]
        self.assertTrue(told and (told[0] - enter).total_seconds() < 0.5, (enter, told))
        # His reaction, "Esatto" and the result, is one announcement of its own, as he begins it: after
        # the introduction and the first dictation, which may still be going on.
        result = first * second
        reaction = "Esatto %d" % result
        wait_for("Orca to say his reaction", lambda: reaction in [announced(t) for _, t in orca.spoken()[before:]],
                 timeout=45)
        time.sleep(1.5)
        reacted = [announced(t) for _, t in orca.spoken()[before:] if re.search(r"\b(Esatto|%d)\b" % result, t)
                   and "Risposte" not in t and not re.search(r"\b4 per\b", t)]
        self.assertEqual(reacted, [reaction], orca.spoken()[before:])

        # The next question: announced as it is asked, and his dictation of it once, whole, while the
        # balloon's name only grows as he says it and is emptied when it goes.
        before = len(orca.spoken())
        asked = datetime.datetime.now()
        e2e.SESSION.xdotool("key", "Return")
        names = []
        # The dictation waits behind what he is still saying (the introduction, on a slow machine),
        # so the balloon is watched until the whole question has shown, and a little after.
        deadline, seen = time.monotonic() + 45, None
        while time.monotonic() < (deadline if seen is None else min(deadline, seen + 1)):
            try:
                balloon = next((n for n in walk(application()) if n.get_description() == "Merlin dice"), None)
                if balloon is not None:
                    names.append((showing(balloon), balloon.get_name() or ""))
                    if seen is None and names[-1][0] and re.fullmatch(r"4 per [a-z]+", names[-1][1]):
                        seen = time.monotonic()
            except gi.repository.GLib.Error:
                pass
            time.sleep(0.03)
        shown = [name for visible, name in names if visible]
        self.assertTrue(any(re.fullmatch(r"4 per [a-z]+", name) for name in shown), names)
        # From the dictation's first word on. The introduction's balloon is dismissed and the
        # dictation's shown in one turn of the event loop, which polling cannot see.
        names = names[next(i for i, (visible, name) in enumerate(names) if visible and re.match(r"4( |$)", name)):]
        for a, b in zip(names, names[1:]):
            # While shown it never shrinks, not even for a moment, nor holds words not yet said.
            if a[0] and b[0]:
                self.assertTrue(b[1].startswith(a[1]), (a, b, names))
            if not b[0]:
                self.assertEqual(b[1], "", b)
        self.assertFalse([name for visible, name in names if visible and not re.fullmatch(r"(4( per( [a-z]+)?)?)?", name)],
                         names)

        # The clock at its next whole minute, 00:06:00, a minute after the start.
        wait_for("Orca to say the minute", lambda: any("Tempo restante: 00:06:00" in t for _, t in orca.spoken()),
                 timeout=75)
        # Orca writes its log through a buffer: what it said is all there once a later line is.
        said = orca.spoken()[before:]
        said = said[:next(i for i, (_, t) in enumerate(said) if "Tempo restante: 00:06:00" in t)]
        self.assertTrue([t for _, t in said if re.search(r"\b4 per \d+\b", t)], said)
        told = [w for w in orca.received(r"^4 per \d+$") if w >= asked]
        self.assertTrue(told and (told[0] - asked).total_seconds() < 0.5, (asked, told))
        self.assertFalse([t for _, t in said if t.strip() in ("per", "4")], said)
        # His dictation, in words, is one announcement of the whole question.
        dictated = [announced(t) for _, t in said if re.search(r"\b4 per [a-z]+", t)]
        self.assertEqual(len(dictated), 1, said)
        self.assertRegex(dictated[0], r"^4 per [a-z]+$")
        with open(os.path.join(e2e.ARGS.out, "orca-spoken.txt"), "w") as f:
            f.writelines("%s %s\n" % (w.time(), t) for w, t in orca.spoken())
        press(wait_for("the exit button", lambda: find("push button", "Esci")))
        confirm_box("Ciao. Ti aspetto per la prossima sfida ")
        self.assertEqual(app.wait(), 0, app.output())


def start_accessibility_bus():
    # Qt joins the accessibility bus but never starts it.
    subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.a11y.Bus.GetAddress"], check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    e2e.main(accessible=True, prepare=start_accessibility_bus)
