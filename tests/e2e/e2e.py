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

ARGS = None


def wait_for(what, check, timeout=20.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out waiting for " + what)


class TestUser:
    """The ordinary user the sound servers and the program run as when the tests run as root,
    as on a school's computer: PulseAudio and PipeWire are per-user servers."""

    NAME = "garivolo-e2e"

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="garivolo-e2e-home-")
        self.created = subprocess.run(["id", "-u", self.NAME], capture_output=True).returncode != 0
        if self.created:
            subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", self.home,
                            "--shell", "/usr/sbin/nologin", self.NAME], check=True)
        import pwd
        entry = pwd.getpwnam(self.NAME)
        self.uid, self.gid = entry.pw_uid, entry.pw_gid
        os.chown(self.home, self.uid, self.gid)
        self.prefix = ["setpriv", "--reuid=%d" % self.uid, "--regid=%d" % self.gid, "--clear-groups", "--"]

    def remove(self):
        shutil.rmtree(self.home, ignore_errors=True)
        if self.created:
            subprocess.run(["userdel", self.NAME], stderr=subprocess.DEVNULL)


class Session:
    """One X server (with a window manager, or Weston inside it) and one sound server."""

    def __init__(self, accessible=False, wm=None, sound="null", user=None, screen="1024x768", scale=None):
        self.user = user
        self.prefix = user.prefix if user else []
        self.spawned = []
        self.sound = sound
        self.runtime = tempfile.mkdtemp(prefix="garivolo-e2e-")
        os.chmod(self.runtime, 0o700)
        if user:
            os.chown(self.runtime, user.uid, user.gid)
        read_fd, write_fd = os.pipe()
        # -noreset: without it the server resets when its last client leaves.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", screen + "x24", "-noreset", "-nolisten", "tcp"],
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
        for name in ("QT_SCALE_FACTOR", "WAYLAND_DISPLAY", "PULSE_SERVER"):
            self.env.pop(name, None)
        if user:
            self.env.update(HOME=user.home, USER=user.NAME, LOGNAME=user.NAME)
        if scale:
            self.env["QT_SCALE_FACTOR"] = str(scale)
        if accessible:
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        else:
            self.env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.x = display.Display(self.display_name)
        self.wayland = wm == "weston"
        if wm in ("mutter", "xfwm4") or sound == "pipewire":
            self.start_bus()
        if wm:
            self.start_wm(wm)
        if sound:
            self.start_sound(sound)

    def spawn(self, argv, **kwargs):
        p = subprocess.Popen(self.prefix + argv, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             **kwargs)
        self.spawned.append(p)
        return p

    def run(self, argv, **kwargs):
        return subprocess.run(self.prefix + argv, env=self.env, **kwargs)

    def start_bus(self):
        """A private session bus, as a desktop session has."""
        out = self.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                       capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self.bus_pid = int(out[1])

    def start_wm(self, wm):
        if wm == "weston":
            # Weston nested in the X server: xdotool types into it, and it hands the keys to Qt's Wayland client.
            self.spawn(["weston", "--backend=x11-backend.so", "--width=1024", "--height=768",
                        "--socket=wayland-garivolo", "--idle-time=0"])
            wait_for("Weston", lambda: os.path.exists(os.path.join(self.runtime, "wayland-garivolo")))
            self.env.update(WAYLAND_DISPLAY="wayland-garivolo", QT_QPA_PLATFORM="wayland")
            time.sleep(1.0)
            return
        argv = {"openbox": ["openbox"], "xfwm4": ["xfwm4", "--compositor=off"],
                "mutter": ["mutter", "--x11", "--replace", "--sm-disable"]}[wm]
        self.spawn(argv)
        # A window manager is up once it owns the screen's selection.
        atom = self.x.intern_atom("WM_S0")
        wait_for(wm, lambda: self.x.get_selection_owner(atom) != X.NONE, timeout=20)
        time.sleep(0.5)

    def start_sound(self, sound):
        if sound == "null":
            # A bare PulseAudio with a null sink whose monitor the tests record.
            self.run(["pulseaudio", "-D", "--exit-idle-time=-1", "--system=false", "-n",
                      "--load=module-native-protocol-unix", "--load=module-null-sink sink_name=nullsink"],
                     check=True, stderr=subprocess.DEVNULL)
            self.monitor = "nullsink.monitor"
        elif sound == "pulseaudio":
            # PulseAudio exactly as Debian configures it (module-suspend-on-idle and all).
            self.run(["pulseaudio", "-D"], check=True, stderr=subprocess.DEVNULL)
            self.monitor = "@DEFAULT_MONITOR@"
        elif sound == "pipewire":
            for argv in (["pipewire"], ["wireplumber"], ["pipewire-pulse"]):
                self.spawn(argv)
            self.monitor = "nullsink.monitor"
        wait_for("the sound server", lambda: self.run(["pactl", "info"], capture_output=True).returncode == 0,
                 timeout=20)
        if sound == "pipewire":
            # No sound card here: a virtual one, made the default as a desktop would.
            self.run(["pactl", "load-module", "module-null-sink", "sink_name=nullsink"], check=True,
                     capture_output=True)
            # PipeWire makes the sink a moment after the module is loaded.
            wait_for("the null sink as the default", lambda: self.run(
                ["pactl", "set-default-sink", "nullsink"], capture_output=True).returncode == 0, timeout=10)

    def record_monitor(self, out):
        """Records what the default sink plays, as the voice's own format, into out."""
        return subprocess.Popen(self.prefix + ["parec", "--device=" + self.monitor, "--raw", "--rate=22050",
                                               "--channels=1", "--format=s16le"], env=self.env, stdout=out)

    def close(self):
        # A test that failed half way leaves its program running: end it with the server.
        Garivolo.end_all()
        if self.sound in ("null", "pulseaudio"):
            self.run(["pulseaudio", "-k"], stderr=subprocess.DEVNULL)
        for p in reversed(self.spawned):
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if hasattr(self, "bus_pid"):
            try:
                os.kill(self.bus_pid, 15)
            except ProcessLookupError:
                pass
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

    def boxes_after(self, name, answered):
        """The windows so named that are not the boxes already answered: an answered box is still
        on the screen for a moment, the slower the program the longer, and a key sent then is lost."""
        return [w for w in self.windows_named(name) if w not in answered]

    def geometry(self, window_id):
        w = self.x.create_resource_object("window", window_id)
        g = w.get_geometry()
        t = w.translate_coords(self.x.screen().root, 0, 0)
        return (-t.x, -t.y, g.width, g.height)

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

    def screen_pixels(self):
        """The whole screen as it is shown: (width, height, BGRX bytes)."""
        root = self.x.screen().root
        g = root.get_geometry()
        return g.width, g.height, root.get_image(0, 0, g.width, g.height, X.ZPixmap, 0xffffffff).data


SESSION = None


class Garivolo:
    started = []

    @staticmethod
    def end_all():
        """Ends every program a test started that is still running."""
        for app in Garivolo.started:
            if app.process.poll() is None:
                app.process.kill()
                app.process.wait()

    def __init__(self):
        Garivolo.started.append(self)
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(SESSION.prefix + [ARGS.binary], env=SESSION.env, stdout=self.log,
                                        stderr=subprocess.STDOUT)

    def answer_prompts(self, name):
        if SESSION.wayland:
            # X11 tools cannot see Wayland windows: the keys go in through Weston, in time.
            SESSION.xdotool("mousemove", "512", "384")
            time.sleep(3)
            SESSION.xdotool("type", "--delay", "40", name)
            SESSION.xdotool("key", "Return")
            time.sleep(1.5)
            SESSION.xdotool("key", "Return")
            return
        # The name prompt, then the greeting: both titled with the program's name.
        prompt = wait_for("the name prompt", lambda: SESSION.windows_named("Garivolo"))
        time.sleep(0.3)
        SESSION.xdotool("type", "--delay", "40", name)
        SESSION.xdotool("key", "Return")
        wait_for("the greeting", lambda: SESSION.boxes_after("Garivolo", prompt))
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


def seed_records(score, name, user=None):
    os.makedirs(ARGS.records, exist_ok=True)
    with open(os.path.join(ARGS.records, "atabvenr4.txt"), "wb") as f:
        f.write(score)
    with open(os.path.join(ARGS.records, "ntabvenr4.txt"), "wb") as f:
        f.write(name)
    if user:
        # A build tree's record directory belongs to whoever builds and runs it.
        for entry in [ARGS.records] + [os.path.join(ARGS.records, n) for n in os.listdir(ARGS.records)]:
            os.lchown(entry, user.uid, user.gid)


def read_records():
    with open(os.path.join(ARGS.records, "atabvenr4.txt"), "rb") as a, \
            open(os.path.join(ARGS.records, "ntabvenr4.txt"), "rb") as n:
        return a.read(), n.read()


# Where the design puts things in the client area, in design pixels.
ANSWER_BOX = (208, 336, 457, 75)
SCORE_BOARD = (0, 0, 225, 297)
CLOCK = (560, 0, 233, 137)
ANSWER_BAND_TOP = 328
MERLIN = (246, 133)        # his top-left: 250,175 on a desktop with a classic frame at the origin
MERLIN_WHITE = (13, 39)    # the top-left of the white of his wand's tip, hat's moon, hair and beard, from his top-left
WHITE_TO_FEET = 190 - 39   # from the top of those to his feet, at 205 px high


def look(scale):
    """What the screen shows of the window: the client area's origin, Merlin's
    white hair and beard, the balloon and the words in it, the answer box's text."""
    width, height, data = SESSION.screen_pixels()

    def find(colour, start=0):
        i = data.find(colour, start)
        while i >= 0 and i % 4:
            i = data.find(colour, i + 1)
        return i

    # The score board's teal frame starts at the client area's top-left corner.
    i = find(b"\xc0\xc0\x00")
    if i < 0:
        return None
    ox, oy = (i // 4) % width, (i // 4) // width

    def box(x0, y0, x1, y1, test):
        found = None
        count = 0
        for y in range(max(0, y0), min(height, y1)):
            row = y * width * 4
            for x in range(max(0, x0), min(width, x1)):
                o = row + x * 4
                if test(data[o + 2], data[o + 1], data[o]):
                    count += 1
                    found = (x, y, x, y) if found is None else (min(found[0], x), min(found[1], y),
                                                                   max(found[2], x), max(found[3], y))
        return found, count

    s = scale
    hair, _ = box(ox + int(200 * s), oy + int(60 * s), ox + int(440 * s), oy + int(330 * s),
                  lambda r, g, b: r > 232 and g > 232 and b > 244 and b >= r)
    balloon, paper = box(ox, oy, ox + int(785 * s), oy + int(556 * s),
                         lambda r, g, b: r == 255 and g == 255 and b == 232)
    words = 0
    if balloon:
        _, words = box(balloon[0], balloon[1], balloon[2], balloon[3], lambda r, g, b: r < 90 and g < 90 and b < 90)
    ax, ay, aw, ah = ANSWER_BOX
    _, typed = box(ox + int(ax * s), oy + int(ay * s), ox + int((ax + aw) * s), oy + int((ay + ah) * s),
                   lambda r, g, b: r < 60 and g < 60 and b > 200)
    return {"origin": (ox, oy), "hair": hair, "balloon": balloon, "paper": paper, "words": words, "typed": typed,
            "scale": s}


def merlin_in_place(seen):
    if not seen or not seen["hair"]:
        return False
    s = seen["scale"]
    ox, oy = seen["origin"]
    left = seen["hair"][0] - ox - MERLIN_WHITE[0] * s
    top = seen["hair"][1] - oy - MERLIN_WHITE[1] * s
    feet = seen["hair"][1] - oy + WHITE_TO_FEET * s
    return (abs(left - MERLIN[0] * s) <= 8 * s and abs(top - MERLIN[1] * s) <= 8 * s
            and feet <= ANSWER_BAND_TOP * s + 2)


def overlaps(a, rect, origin, s):
    x, y, w, h = rect
    x0, y0 = origin[0] + x * s, origin[1] + y * s
    return not (a[2] < x0 or a[0] > x0 + w * s or a[3] < y0 or a[1] > y0 + h * s)


def balloon_speaking(seen):
    """The balloon is up with words in it, clear of the answer box, the score board and the clock."""
    if not seen or not seen["balloon"] or seen["paper"] < 400 * seen["scale"] ** 2 or seen["words"] < 15:
        return False
    return not any(overlaps(seen["balloon"], r, seen["origin"], seen["scale"]) for r in (ANSWER_BOX, SCORE_BOARD, CLOCK))


def voiced_groups(samples, rate, window_ms=20, gap_ms=1200, level=0.01):
    """The recording cut where it is silent for gap_ms or more: [(start_ms, end_ms)], and the longest silence
    between the first sound and the last."""
    step = rate * window_ms // 1000
    loud = []
    for start in range(0, len(samples) - step + 1, step):
        part = samples[start:start + step]
        loud.append(math.sqrt(sum(v * v for v in part) / step) / 32768 > level)
    groups, longest, last = [], 0, None
    for i, on in enumerate(loud):
        if not on:
            continue
        t = i * window_ms
        if last is not None:
            longest = max(longest, t - last - window_ms)
        if last is None or t - last - window_ms >= gap_ms:
            groups.append([t, t + window_ms])
        else:
            groups[-1][1] = t + window_ms
        last = t
    return groups, longest


USER = None


def test_user():
    """Root runs the sound servers and the program as an ordinary user, as schools do."""
    global USER
    if os.geteuid() != 0:
        return None
    if USER is None:
        USER = TestUser()
    return USER


class Elsewhere:
    """Runs a test's program in a session of its own, then puts the shared one back."""

    def __init__(self, **kwargs):
        self.kwargs = kwargs

    def __enter__(self):
        global SESSION
        self.saved = SESSION
        SESSION = Session(**self.kwargs)
        return SESSION

    def __exit__(self, *exc):
        global SESSION
        SESSION.close()
        SESSION = self.saved


class WindowManagers(unittest.TestCase):
    """Merlin stands over the answer band in the client area whatever places the window,
    the balloon shows his words, and the answer box takes the keys typed while he talks."""

    def check(self, wm, scale=1, screen="1024x768"):
        with Elsewhere(wm=wm, sound=None, screen=screen, scale=scale if scale != 1 else None) as session:
            app = Garivolo()
            app.answer_prompts("Luca")
            seen = wait_for("Merlin in his place", lambda: (lambda v: v if merlin_in_place(v) else None)(look(scale)),
                            timeout=20)
            # The introduction lasts long: the balloon shows its words while he speaks.
            seen = wait_for("the balloon with words",
                            lambda: (lambda v: v if balloon_speaking(v) else None)(look(scale)), timeout=15)
            session.screenshot(os.path.join(ARGS.out, "merlin-%s%s.png" % (wm or "nowm", "-x%d" % scale
                                                                             if scale != 1 else "")))
            ox, oy = seen["origin"]
            ax, ay, aw, ah = ANSWER_BOX
            # A click on the answer box goes through him and his layer; then the keys go in. Weston
            # brings up its on-screen keyboard over the lower part of the screen once the box has the
            # focus, at a moment of its own: the click goes to the top of the box, clear of it.
            session.xdotool("mousemove", str(int(ox + (ax + aw / 2) * scale)), str(int(oy + (ay + 10) * scale)),
                            "click", "1")
            time.sleep(0.3)
            if look(scale)["typed"] >= 5:
                session.screenshot(os.path.join(ARGS.out, "answer-box-not-empty-%s.png" % (wm or "nowm")))
            self.assertLess(look(scale)["typed"], 5, "the answer box shows something before a key is typed")
            session.xdotool("type", "--delay", "60", "3629")
            wait_for("the typed digits", lambda: look(scale)["typed"] > 150 * scale * scale, timeout=5)
            self.assertTrue(balloon_speaking(look(scale)), "he stopped talking while keys were typed")
            app.process.kill()
            app.wait()

    def test_no_window_manager(self):
        self.check(None)

    def test_openbox(self):
        self.check("openbox")

    def test_xfwm4(self):
        self.check("xfwm4")

    def test_mutter(self):
        self.check("mutter")

    def test_weston_wayland(self):
        self.check("weston")

    def test_twice_the_size(self):
        self.check("openbox", scale=2, screen="2048x1536")


class SoundServers(unittest.TestCase):
    """Twenty quick answers with a real sound server: he says the question on the screen, soon, and no old one."""

    CYCLES = 20

    def cycles(self, sound):
        seed_records(b"7\r\n", b"Anna\r\n", test_user())
        with Elsewhere(sound=sound, user=test_user()) as session:
            recording = os.path.join(session.runtime, "monitor.raw")
            with open(recording, "wb") as out:
                # A short buffer: what the file holds when a key goes is what had been played by then.
                recorder = subprocess.Popen(session.prefix + [
                    "parec", "--device=" + session.monitor, "--raw", "--rate=22050", "--channels=1",
                    "--format=s16le", "--latency-msec=20"], env=session.env, stdout=out)
                app = Garivolo()
                app.answer_prompts("Luca")
                app.click_answer_box(app.main_window())

                def heard():
                    with open(recording, "rb") as f:
                        return voiced_groups(array.array("h", f.read()), 22050)[0]

                def quiet_for(seconds):
                    size = os.path.getsize(recording)
                    if size < 22050 * 2 * (seconds + 1):
                        return False
                    with open(recording, "rb") as f:
                        f.seek(size - size % 2 - int(22050 * 2 * seconds))
                        tail = array.array("h", f.read())
                    return max(abs(v) for v in tail) < 330
                # The introduction, then the first question: the child starts once both are over.
                wait_for("the first dictation", lambda: len(heard()) >= 2 and quiet_for(1.5), timeout=60, step=0.5)
                # Every answer wrong and typed within 0.3 s of its question: each verdict and question is
                # asked while he is still busy with the one before.
                asked = []
                for _ in range(self.CYCLES):
                    session.xdotool("type", "5")
                    session.xdotool("key", "Return")
                    time.sleep(0.1)
                    session.xdotool("key", "Return")
                    # Measured on the recording, which stops while an idle sink is suspended.
                    asked.append(os.path.getsize(recording) / 2 / 22.05)
                    time.sleep(0.15)
                wait_for("the last question heard, then silence",
                         lambda: any(g[1] > asked[-1] for g in heard()) and quiet_for(3), timeout=60, step=0.5)
                recorder.terminate()
                recorder.wait()
            output = app.output() if app.process.poll() is not None else ""
            app.process.kill()
            app.wait()
            with open(recording, "rb") as f:
                samples = array.array("h", f.read())
        groups, longest = voiced_groups(samples, 22050, gap_ms=700)
        last = asked[-1]
        after = [g for g in groups if g[1] > last]
        # What was being said when the last question came may finish (a verdict's word or the result);
        # then, after his greeting, the last question alone: nothing queued for the others.
        self.assertTrue(1 <= len(after) <= 2, "after the last question %.0f ms (asked %s): %s of %s; %s"
                        % (last, [round(a) for a in asked], after, groups, output))
        dictation = after[-1]
        self.assertGreater(dictation[1] - dictation[0], 500, after)
        self.assertLess(dictation[1] - dictation[0], 4500, after)
        # Nothing heard before it: at most his greeting was in progress, which finishes too.
        in_progress = after[0][1] - last if len(after) == 2 else 1600
        self.assertLess(dictation[0] - last, in_progress + 2000 + 300,
                        "the question on the screen first heard %d ms after it was asked" % (dictation[0] - last))
        # Each earlier question was asked 0.35 s after the one before: he never had time to start one
        # and also go on to the next, so the whole run is heard in a few seconds, not one dictation each.
        during = [g for g in groups if asked[0] - 500 < g[0] <= last]
        self.assertLess(len(during), self.CYCLES // 2, during)
        self.assertLess(groups[-1][1] - last, 8000, groups[-1])

    def test_the_sound_server_going_away_mid_text_only_silences_him(self):
        seed_records(b"7\r\n", b"Anna\r\n", test_user())
        with Elsewhere(sound="pulseaudio", user=test_user()) as session:
            app = Garivolo()
            app.answer_prompts("Luca")
            main = app.main_window()
            wait_for("the introduction", lambda: balloon_speaking(look(1)), timeout=15)
            # The server ends in the middle of the introduction, as when it crashes or is restarted.
            session.run(["pulseaudio", "-k"], check=True)
            app.click_answer_box(main)
            session.xdotool("type", "5")
            session.xdotool("key", "Return")
            # He finishes the introduction in silence and goes on to the verdict: a one-word balloon.
            wait_for("the verdict after the introduction",
                     lambda: (lambda v: v and v["balloon"] and v["paper"] < 12000 and v["words"] > 5)(look(1)),
                     timeout=45, step=0.2)
            self.assertIsNone(app.process.poll())
            session.send_close(main)
            self.assertEqual(app.wait(), 0)
            self.assertEqual(app.output().count("parlerà in silenzio"), 1, app.output())

    def restarted(self, sound):
        seed_records(b"7\r\n", b"Anna\r\n", test_user())
        with Elsewhere(sound=sound, user=test_user()) as session:
            session.env["QT_LOGGING_RULES"] = "garivolo.balloon.debug=true"
            app = Garivolo()
            app.answer_prompts("Luca")
            main = app.main_window()
            wait_for("the introduction", lambda: balloon_speaking(look(1)), timeout=15)
            # Once he has said the introduction and the first question, the server is killed and started
            # again, as when it crashes and the desktop brings it back.
            wait_for("the first question said", lambda: not look(1)["balloon"], timeout=60, step=0.3)
            if sound == "pulseaudio":
                session.run(["pulseaudio", "-k"], check=True)
            else:
                for p in session.spawned:
                    p.terminate()
                    p.wait()
                session.spawned.clear()
            time.sleep(1)
            session.start_sound(sound)
            clocked = Clocked(session, os.path.join(session.runtime, "monitor.raw"))
            try:
                time.sleep(1)
                app.click_answer_box(main)
                asked = time.monotonic() * 1000
                session.xdotool("type", "x")
                session.xdotool("key", "Return")
                # "Sbagliato" and the result: the first text after the server came back is heard too.
                time.sleep(8)
            finally:
                samples = clocked.stop()
            self.assertIsNone(app.process.poll())
            session.send_close(main)
            self.assertEqual(app.wait(), 0)
        verdict = [at for at, text in balloon_reveals(app.output()) if at > asked and "Sbagliato" in text]
        self.assertTrue(verdict, app.output()[-2000:])
        onsets = [clocked.when(onset) * 1000 for onset in pause_onsets(samples, 22050)]
        self.assertTrue(onsets, "nothing heard after the server came back")
        # Heard from its first word: a lost verdict would leave only the result, most of a second later.
        self.assertLess(min(abs(at - verdict[0]) for at in onsets), 150, (verdict[0], onsets))

    def test_pulseaudio_killed_and_started_again(self):
        self.restarted("pulseaudio")

    def test_pipewire_killed_and_started_again(self):
        self.restarted("pipewire")

    def test_a_sound_server_that_starts_late_is_used_once_it_is_there(self):
        seed_records(b"7\r\n", b"Anna\r\n", test_user())
        with Elsewhere(sound=None, user=test_user()) as session:
            app = Garivolo()
            app.answer_prompts("Luca")
            main = app.main_window()
            wait_for("the introduction", lambda: balloon_speaking(look(1)), timeout=15)
            # The session's sound server comes up only now, as after a slow login.
            session.start_sound("null")
            session.sound = "null"
            recording = os.path.join(session.runtime, "monitor.raw")
            with open(recording, "wb") as out:
                recorder = session.record_monitor(out)
                app.click_answer_box(main)
                for _ in range(3):
                    session.xdotool("type", "5")
                    session.xdotool("key", "Return")
                    time.sleep(0.1)
                    session.xdotool("key", "Return")
                    time.sleep(0.1)

                def heard():
                    with open(recording, "rb") as f:
                        return len(voiced_groups(array.array("h", f.read()), 22050)[0]) >= 1
                wait_for("his voice through the new server", heard, timeout=90, step=1)
                recorder.terminate()
                recorder.wait()
            self.assertIsNone(app.process.poll())
            session.send_close(main)
            self.assertEqual(app.wait(), 0)
            self.assertEqual(app.output().count("parlerà in silenzio"), 1, app.output())

    def test_pulseaudio_default_configuration(self):
        self.cycles("pulseaudio")

    def test_pipewire(self):
        self.cycles("pipewire")


def pause_onsets(samples, rate, pause_ms=200, step=100, level=0.01):
    """The samples where the voice starts again after a pause of pause_ms or more, looked at step samples at a
    time. Only pauses that long are sure to fall between words."""
    pause = rate * pause_ms // 1000
    onsets, quiet = [], pause
    for start in range(0, len(samples) - step + 1, step):
        part = samples[start:start + step]
        if math.sqrt(sum(v * v for v in part) / step) / 32768 > level:
            if quiet >= pause:
                onsets.append(start)
            quiet = 0
        else:
            quiet += step
    return onsets


def balloon_reveals(output):
    """Each word the balloon brings into view, as (monotonic ms, the text shown so far), from the program's
    balloon log."""
    prefix = "garivolo.balloon: "
    reveals = []
    for line in output.splitlines():
        if line.startswith(prefix):
            us, said, text = (line[len(prefix):].split(" ", 2) + [""])[:3]
            # A new text first shows the space before it: only a word coming into view counts.
            if text and not text.endswith(" "):
                reveals.append((int(us) / 1000, text))
    return reveals


class Clocked:
    """Records the sink's monitor and notes, every few milliseconds, how much of it has come in, so that a
    moment of the recording can be put on the monotonic clock the program logs its balloon on."""

    def __init__(self, session, path):
        import threading
        self.path = path
        self.out = open(path, "wb")
        # A short buffer: what the file holds at a moment is what had been played a few ms before.
        self.recorder = subprocess.Popen(session.prefix + [
            "parec", "--device=" + session.monitor, "--raw", "--rate=22050", "--channels=1", "--format=s16le",
            "--latency-msec=10"], env=session.env, stdout=self.out)
        self.marks = []
        self.running = True
        self.thread = threading.Thread(target=self.mark)
        self.thread.start()

    def mark(self):
        while self.running:
            self.marks.append((time.monotonic(), os.path.getsize(self.path) // 2))
            time.sleep(0.005)

    def stop(self):
        self.running = False
        self.thread.join()
        self.recorder.terminate()
        self.recorder.wait()
        self.out.close()
        with open(self.path, "rb") as f:
            return array.array("h", f.read())

    def when(self, sample):
        """The monotonic time, in s, at which a sample of the recording was played: the samples just after it
        came in no earlier than they were played, and at best just after, so the earliest arrival bounds it.
        Only samples after it count: a loaded recorder drops some now and then, and across a drop the count
        no longer tells the time."""
        near = [t - (n - sample) / 22050 for t, n in self.marks if sample <= n < sample + 22050 * 5]
        return min(near)


class SoundClock(unittest.TestCase):
    """A few minutes of contest with a real sound server: each word shows in the balloon as its sound is heard."""

    MINUTES = 3
    TOLERANCE_MS = 60

    def drift(self, sound):
        seed_records(b"7\r\n", b"Anna\r\n", test_user())
        with Elsewhere(sound=sound, user=test_user()) as session:
            session.env["QT_LOGGING_RULES"] = "garivolo.balloon.debug=true"
            clocked = Clocked(session, os.path.join(session.runtime, "monitor.raw"))
            try:
                app = Garivolo()
                app.answer_prompts("Luca")
                main = app.main_window()
                app.click_answer_box(main)
                end = time.monotonic() + self.MINUTES * 60
                # The introduction and the first question, then answer after answer, each once he is done.
                time.sleep(30)
                while time.monotonic() < end:
                    session.xdotool("type", "5")
                    session.xdotool("key", "Return")
                    time.sleep(4.5)
                    session.xdotool("key", "Return")
                    time.sleep(5)
                session.send_close(main)
                self.assertEqual(app.wait(), 0)
            finally:
                samples = clocked.stop()
        reveals = balloon_reveals(app.output())
        self.assertGreater(len(reveals), 30 * self.MINUTES, app.output()[-2000:])
        onsets = pause_onsets(samples, 22050)
        worst, off, drifts = 0, [], []
        for onset in onsets:
            at = clocked.when(onset) * 1000
            nearest = min(reveals, key=lambda r: abs(r[0] - at))
            drift = nearest[0] - at
            seen = (round(onset / 22.05), round(drift), nearest[1][-20:])
            drifts.append(seen)
            worst = max(worst, abs(drift))
            if abs(drift) > self.TOLERANCE_MS:
                off.append(seen)
        summary = ("%s: %d words after a pause, %d words shown, worst |reveal - onset| %.0f ms"
                   % (sound, len(onsets), len(reveals), worst))
        print(summary, file=sys.stderr)
        with open(os.path.join(ARGS.out, "drift-%s.txt" % sound), "w") as f:
            print(summary, *drifts, sep="\n", file=f)
        # Every text starts after a pause: dozens in a few minutes.
        self.assertGreater(len(onsets), 12 * self.MINUTES)
        self.assertEqual(off, [], "words shown more than %d ms off their sound (at ms, by ms)" % self.TOLERANCE_MS)

    def test_pulseaudio_default_configuration(self):
        self.drift("pulseaudio")

    def test_pipewire(self):
        self.drift("pipewire")


class EndToEnd(unittest.TestCase):
    def test_start_up_shows_window_and_character_then_closing_saves_nothing(self):
        seed_records(b"7\r\n", b"Anna\r\n")
        app = Garivolo()
        app.answer_prompts("Luca")
        main = app.main_window()
        # Merlin is part of the main window now: no window of his own.
        wait_for("Merlin in his place", lambda: merlin_in_place(look(1)), timeout=10)
        self.assertEqual(SESSION.windows_named("Merlin"), [])
        x, y, width, height = SESSION.geometry(main)
        self.assertGreaterEqual(width, 785)
        self.assertGreaterEqual(height, 556)
        SESSION.screenshot(os.path.join(ARGS.out, "startup.png"))

        SESSION.send_close(main)
        self.assertEqual(app.wait(), 0, app.output())
        self.assertEqual(read_records(), (b"7\r\n", b"Anna\r\n"))

    def test_the_introduction_is_heard(self):
        recording = os.path.join(SESSION.runtime, "monitor.raw")
        with open(recording, "wb") as out:
            recorder = SESSION.record_monitor(out)
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
        goodbye = wait_for("the goodbye", lambda: SESSION.windows_named("Garivolo"))
        time.sleep(0.3)
        SESSION.xdotool("key", "Return")
        wait_for("the record box", lambda: SESSION.boxes_after("Garivolo", goodbye))
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
        if USER:
            USER.remove()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
