#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Two pupils on one computer, against the record laid out as the package lays it out.

Runs as root: it makes two ordinary users (not in group games) and a system
user for the helper, then lays the helper and the record directory out with the
package's own postinst (which makes the helper setuid to that user, setgid
games), has each user try what a pupil could, and cleans everything up again.
"""

import argparse
import ctypes
import fcntl
import grp
import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = None
RUNNING = []  # window processes a failed test may leave behind
USERS = ("garivolo-mu-a", "garivolo-mu-b")
HELPER_USER = "garivolo-mu-rec"  # the helper's own user, a system user as the package makes
FILES = {"atabvenr4.txt": 0o664, "ntabvenr4.txt": 0o664, ".garivolo-journal": 0o660, ".garivolo-lock": 0o660}
SAVED, IO_ERROR, BAD_ARGUMENTS, NOT_BEATEN, NOT_INSTALLED, LOCK_BUSY = range(6)
LOCK_WAIT = 3.0


def wait_for(what, check, timeout=20.0, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out waiting for " + what)


class Layout:
    """The shared directory: bin/ with the setgid helper and the window, chars/, records/."""

    def __init__(self):
        self.root = ARGS.shared
        self.bin = os.path.join(self.root, "bin")
        self.records = os.path.join(self.root, "records")
        self.helper = os.path.join(self.bin, "garivolo-record")
        self.window = os.path.join(self.bin, "garivolo")
        self.games = grp.getgrnam("games").gr_gid

    def make(self):
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.bin)
        os.chmod(self.root, 0o755)
        os.chmod(self.bin, 0o755)
        # As the package ships it; its postinst gives it to the helper's user.
        shutil.copy(ARGS.helper, self.helper)
        os.chown(self.helper, 0, self.games)
        os.chmod(self.helper, 0o2755)
        subprocess.run(["userdel", "-f", HELPER_USER], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent", "--shell",
                        "/usr/sbin/nologin", HELPER_USER], check=True)
        shutil.copy(ARGS.window, self.window)
        os.chmod(self.window, 0o755)
        shutil.copytree(ARGS.chars, os.path.join(self.root, "chars"))
        os.makedirs(self.records)
        os.chown(self.records, 0, 0)
        self.postinst()

    def postinst(self):
        """The package's own script, pointed at this layout; what it printed."""
        with open(ARGS.postinst) as f:
            script = f.read()
        for line, ours in (("dir=/var/games/garivolo\n", "dir=%s\n" % self.records),
                           ("helper=/usr/lib/games/garivolo/garivolo-record\n", "helper=%s\n" % self.helper),
                           ("user=_garivolo\n", "user=%s\n" % HELPER_USER)):
            assert line in script, line
            script = script.replace(line, ours)
        return subprocess.run(["sh", "-s", "configure"], input=script.encode(), check=True,
                              stdout=subprocess.PIPE).stdout.decode()

    def path(self, name):
        return os.path.join(self.records, name)

    def pair(self):
        with open(self.path("atabvenr4.txt"), "rb") as a, open(self.path("ntabvenr4.txt"), "rb") as n:
            return a.read(), n.read()

    def seed(self, score, name):
        for file_name, data in (("atabvenr4.txt", score), ("ntabvenr4.txt", name)):
            with open(self.path(file_name), "r+b") as f:
                f.truncate(0)
                f.write(data)

    def remove(self):
        subprocess.run(["dpkg-statoverride", "--remove", self.helper], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["userdel", "-f", HELPER_USER], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.root, ignore_errors=True)


class User:
    def __init__(self, name, home):
        self.name = name
        self.home = home
        entry = pwd.getpwnam(name)
        self.uid, self.gid = entry.pw_uid, entry.pw_gid

    def command(self, *args):
        return ["setpriv", "--reuid=%d" % self.uid, "--regid=%d" % self.gid, "--init-groups", "--", *args]

    def env(self, **extra):
        # A pupil's bare environment; a sanitized build keeps its options (the setgid helper drops them itself).
        env = {k: v for k, v in os.environ.items() if k in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS")}
        env.update(PATH="/usr/bin:/bin", HOME=self.home, LANG="C.UTF-8", **extra)
        return env

    def helper(self, *args, stdin=b"", timeout=15, name=None):
        """Runs the helper; a name is sent as the window sends it, with its size in front."""
        if name is not None:
            stdin = b"%d\n" % len(name) + name
        p = subprocess.run(self.command(LAYOUT.helper, *args), input=stdin, capture_output=True,
                           env=self.env(), timeout=timeout)
        return p.returncode, p.stdout, p.stderr.decode(errors="replace")

    def python(self, code, *args, timeout=30):
        p = subprocess.run(self.command(sys.executable, "-c", code, *args), capture_output=True,
                           env=self.env(), timeout=timeout)
        if p.returncode != 0:
            raise AssertionError(p.stderr.decode())
        return json.loads(p.stdout)


def make_users(base):
    users = []
    for name in USERS:
        subprocess.run(["userdel", "-f", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        home = os.path.join(base, name)
        subprocess.run(["useradd", "--no-create-home", "--home-dir", home, "--shell", "/bin/sh",
                        "--no-user-group", "--gid", "users", name], check=True)
        os.makedirs(home)
        user = User(name, home)
        os.chown(home, user.uid, user.gid)
        os.chmod(home, 0o700)
        users.append(user)
    for user in users:
        groups = os.getgrouplist(user.name, user.gid)
        assert LAYOUT.games not in groups, "%s must not be in group games" % user.name
    return users


def remove_users():
    for name in USERS:
        subprocess.run(["userdel", "-f", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# What a pupil tries on the files directly, run as that pupil; each answer is the error or "done".
ATTACKS = r"""
import fcntl, json, os, sys
records = sys.argv[1]
out = {}
def attempt(what, action):
    try:
        action()
        out[what] = "done"
    except OSError as e:
        out[what] = e.strerror
for name in ("atabvenr4.txt", "ntabvenr4.txt", ".garivolo-journal", ".garivolo-lock"):
    path = os.path.join(records, name)
    attempt("write " + name, lambda: open(path, "r+b").write(b"9999\r\n"))
    attempt("truncate " + name, lambda: os.truncate(path, 0))
    attempt("chmod " + name, lambda: os.chmod(path, 0o600))
    attempt("remove " + name, lambda: os.unlink(path))
    attempt("rename " + name, lambda: os.rename(path, path + ".x"))
def lock_file():
    with open(os.path.join(records, ".garivolo-lock"), "rb") as f:
        fcntl.flock(f, fcntl.LOCK_SH | fcntl.LOCK_NB)
attempt("lock the lock file", lock_file)
attempt("create a file", lambda: open(os.path.join(records, "x"), "wb"))
attempt("plant a link", lambda: os.symlink("/etc/passwd", os.path.join(records, "y")))
print(json.dumps(out))
"""


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == pid:
                found.append(int(entry))
    return found


def session_of(pid):
    with open("/proc/%d/stat" % pid) as f:
        return int(f.read().rsplit(")", 1)[1].split()[3])


def proc_ids(pid):
    ids = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("Uid", "Gid"):
                ids[key] = [int(v) for v in value.split()]
    return ids


# A pupil's signals and traces aimed at the helper and its worker; each answer is the error or "done".
SIGNALS = r"""
import ctypes, json, os, signal, sys
libc = ctypes.CDLL(None, use_errno=True)
out = {}
for pid in map(int, sys.argv[1:]):
    for name, sig in (("stop", signal.SIGSTOP), ("suspend", signal.SIGTSTP), ("kill", signal.SIGKILL),
                      ("terminate", signal.SIGTERM)):
        try:
            os.kill(pid, sig)
            out["%s %d" % (name, pid)] = "done"
        except OSError as e:
            out["%s %d" % (name, pid)] = e.strerror
    for name, request in (("trace", 16), ("seize", 0x4206)):  # PTRACE_ATTACH, PTRACE_SEIZE
        result = libc.ptrace(request, pid, None, None)
        out["%s %d" % (name, pid)] = "done" if result == 0 else os.strerror(ctypes.get_errno())
print(json.dumps(out))
"""

# Run as a pupil: starts its own saves, 200 of them, and at a random moment
# stops, suspends or traces each one, or types Ctrl+Z on the terminal it runs
# on; whatever it stopped stays stopped until the end. Prints how the attempts
# came out: "done" means it caught a helper before it had taken its own ids.
STOPPER = r"""
import ctypes, json, os, random, signal, sys, time
libc = ctypes.CDLL(None, use_errno=True)
helper, rounds = sys.argv[1], int(sys.argv[2])
outcomes, started, traced = {}, [], []
def note(what):
    outcomes[what] = outcomes.get(what, 0) + 1
def kids(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == pid:
                        found.append(int(entry))
            except OSError:
                pass
    return found
for turn in range(rounds):
    how = ("stop", "suspend", "trace", "ctrl-z")[turn % 4]
    r, w = os.pipe()
    master, slave = os.openpty()
    pid = os.fork()
    if pid == 0:
        os.setsid()
        os.close(master)
        tty = os.open(os.ttyname(slave), os.O_RDWR)  # the session's terminal
        os.dup2(r, 0)
        os.dup2(tty, 1)
        os.dup2(tty, 2)
        os.execv(helper, [helper, "save", str(turn + 1)])
    os.close(r)
    os.close(slave)
    os.write(w, b"4\nAlba")
    os.close(w)
    time.sleep(random.uniform(0, 0.008))
    if how == "ctrl-z":
        try:
            os.write(master, b"\x1a")
            note("ctrl-z: sent")
        except OSError as e:
            note("ctrl-z: " + e.strerror)
    for target in ([] if how == "ctrl-z" else [pid] + kids(pid)):
        try:
            if how == "trace":
                if libc.ptrace(16, target, None, None) != 0:
                    raise OSError(ctypes.get_errno(), os.strerror(ctypes.get_errno()))
                traced.append(target)
            else:
                os.kill(target, signal.SIGSTOP if how == "stop" else signal.SIGTSTP)
            note(how + ": done")
        except OSError as e:
            note("%s: %s" % (how, e.strerror))
    started.append(pid)
    os.close(master)
time.sleep(1.0)
for pid in traced:
    try:
        os.waitpid(pid, 0x40000000)
        libc.ptrace(17, pid, None, 0)  # PTRACE_DETACH
    except OSError:
        pass
# Whatever was caught before it took its ids goes on now, and ends.
for pid in started:
    for target in [pid] + kids(pid):
        try:
            os.kill(target, signal.SIGCONT)
        except OSError:
            pass
for pid in started:
    os.waitpid(pid, 0)
print(json.dumps(outcomes))
"""


def sanitized_window_options(env):
    """A sanitized window's options: its leak suppressions from a copy a pupil can
    read (the source tree may be root's alone), and allocation stacks unwound
    in full: Debian's Qt is built without frame pointers, so a quick unwind
    stops at the first Qt frame and a leak inside Qt's D-Bus module cannot be
    told from one of ours."""
    env["LSAN_OPTIONS"] = pupil_readable_suppressions(env.get("LSAN_OPTIONS", ""))
    if ARGS.sanitized:
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":fast_unwind_on_malloc=0"
    return env


def pupil_readable_suppressions(options):
    parts = []
    for part in options.split(":"):
        if part.startswith("suppressions="):
            copy = os.path.join(LAYOUT.root, "lsan.supp")
            shutil.copy(part.split("=", 1)[1], copy)
            os.chmod(copy, 0o644)
            part = "suppressions=" + copy
        parts.append(part)
    return ":".join(parts)


class Window:
    """The window program run by one user in the shared X server."""

    def __init__(self, user, name):
        self.user = user
        self.log = tempfile.TemporaryFile()
        runtime = tempfile.mkdtemp(prefix="garivolo-mu-run-")
        os.chown(runtime, user.uid, user.gid)
        os.chmod(runtime, 0o700)
        self.runtime = runtime
        env = user.env(DISPLAY=X.display, XAUTHORITY=X.cookie_for(user), XDG_RUNTIME_DIR=runtime,
                       QT_QPA_PLATFORM="xcb")
        sanitized_window_options(env)
        self.started = time.monotonic()
        self.process = subprocess.Popen(user.command(LAYOUT.window), env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        RUNNING.append(self.process)
        self.peak = 0
        prompt = wait_for("the name prompt", lambda: self.sample() and X.windows_named("Garivolo"))
        time.sleep(0.3)
        X.xdotool("type", "--delay", "20", name)
        X.xdotool("key", "Return")
        wait_for("the greeting", lambda: self.sample() and X.boxes_after("Garivolo", prompt))
        time.sleep(0.3)
        X.xdotool("key", "Return")
        self.greeted = time.monotonic()

    def sample(self):
        # The highest resident size of the window program (setpriv execs into it).
        try:
            with open("/proc/%d/status" % self.process.pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        self.peak = max(self.peak, int(line.split()[1]) * 1024)
        except OSError:
            pass
        return True

    def main_window(self, timeout=20.0):
        found = wait_for("the main window", lambda: self.sample() and X.windows_named(" +GARIVOLO .*"), timeout)
        self.shown = time.monotonic()
        return found[0]

    def leave(self):
        """Alt+X, then OK on the goodbye; the exit status."""
        main = self.main_window()
        X.xdotool("windowfocus", "--sync", main)
        X.xdotool("key", "alt+x")
        time.sleep(0.5)
        wait_for("the goodbye", lambda: X.windows_named("Garivolo"))
        X.xdotool("key", "Return")
        status = self.wait()
        self.log.seek(0)
        self.output = self.log.read().decode(errors="replace")
        self.log.close()
        return status

    def wait(self, timeout=15):
        try:
            return self.process.wait(timeout=timeout)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()
            shutil.rmtree(self.runtime, ignore_errors=True)


class XServer:
    """Xvfb with a cookie, and openbox as the window manager a school's desktop has."""

    def __init__(self, base):
        self.base = base
        read_fd, write_fd = os.pipe()
        self.cookie = subprocess.run(["mcookie"], capture_output=True, text=True, check=True).stdout.strip()
        self.auth = os.path.join(base, "xauth-root")
        open(self.auth, "wb").close()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-noreset",
                                      "-nolisten", "tcp", "-auth", self.auth],
                                     pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()
        subprocess.run(["xauth", "-f", self.auth, "add", self.display, ".", self.cookie], check=True)
        self.env = dict(os.environ, DISPLAY=self.display, XAUTHORITY=self.auth)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL) if shutil.which("openbox") else None

    def cookie_for(self, user):
        path = os.path.join(user.home, ".Xauthority")
        if not os.path.exists(path):
            subprocess.run(["xauth", "-f", path, "add", self.display, ".", self.cookie], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.chown(path, user.uid, user.gid)
        return path

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True, capture_output=True, text=True).stdout

    def windows_named(self, name):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + name + "$"],
                             env=self.env, capture_output=True, text=True).stdout
        return out.split()

    def boxes_after(self, name, answered):
        """The windows so named that are not the boxes already answered: an answered box is still
        on the screen for a moment, the slower the program the longer, and a key sent then is lost."""
        return [w for w in self.windows_named(name) if w not in answered]

    def close(self):
        for p in (self.wm, self.xvfb):
            if p:
                p.terminate()
                p.wait()


class HeldLock:
    """The lock file held as a stuck helper of another pupil would hold it."""

    def __enter__(self):
        self.f = open(LAYOUT.path(".garivolo-lock"), "rb")
        fcntl.flock(self.f, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exc):
        self.f.close()


class TwoPupils(unittest.TestCase):
    def setUp(self):
        LAYOUT.postinst()
        LAYOUT.seed(b"", b"")

    def tearDown(self):
        while RUNNING:
            process = RUNNING.pop()
            if process.poll() is None:
                process.kill()
                process.wait()

    def assertRootGames(self):
        for name, mode in FILES.items():
            st = os.lstat(LAYOUT.path(name))
            self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777, st.st_nlink), (0, LAYOUT.games, mode, 1),
                             name)
        self.assertEqual(sorted(os.listdir(LAYOUT.records)), sorted(FILES))

    def test_100_saves_each_leave_the_files_root_games(self):
        for turn in range(1, 201):
            user = A if turn % 2 else B
            code, _, err = user.helper("save", str(turn), name=user.name.encode())
            self.assertEqual(code, SAVED, err)
        self.assertEqual(LAYOUT.pair(), (b"200\r\n", B.name.encode() + b"\r\n"))
        code, out, _ = A.helper("read")
        holder = B.name.encode() + b"\r\n"
        self.assertEqual((code, out), (SAVED, b"5 %d\n200\r\n" % len(holder) + holder))
        self.assertRootGames()
        st = os.stat(LAYOUT.helper)
        self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777),
                         (pwd.getpwnam(HELPER_USER).pw_uid, LAYOUT.games, 0o6755))

    def test_the_helper_is_its_own_user_and_no_pupil_can_signal_it(self):
        LAYOUT.seed(b"12\r\n", b"Anna\r\n")
        helper_uid = pwd.getpwnam(HELPER_USER).pw_uid
        with HeldLock():
            saver = subprocess.Popen(A.command(LAYOUT.helper, "save", "13"), stdin=subprocess.PIPE,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=A.env())
            saver.stdin.write(b"4\nAlba")
            saver.stdin.close()
            # setpriv becomes the helper, whose worker waits for the lock.
            worker = wait_for("the helper's worker", lambda: children(saver.pid))[0]
            for pid in (saver.pid, worker):
                ids = proc_ids(pid)
                self.assertEqual(ids["Uid"], [helper_uid] * 4, pid)
                self.assertEqual(ids["Gid"], [LAYOUT.games] * 4, pid)
            self.assertEqual(session_of(worker), worker)
            outcomes = A.python(SIGNALS, str(saver.pid), str(worker))
            self.assertEqual(set(outcomes.values()), {"Operation not permitted"}, outcomes)
        self.assertEqual(saver.wait(timeout=10), SAVED, saver.stderr.read())
        self.assertEqual(LAYOUT.pair(), (b"13\r\n", b"Alba\r\n"))

    def test_a_pupil_stopping_their_own_helpers_holds_up_nobody(self):
        # A stops, suspends, traces or presses Ctrl+Z on each of 200 saves of
        # its own at a random moment, and keeps what it stopped stopped, while
        # B reads and saves: B is never refused as busy nor waits past the bound.
        LAYOUT.seed(b"", b"")
        attacker = subprocess.Popen(A.command(sys.executable, "-c", STOPPER, LAYOUT.helper, "200"),
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=A.env())
        slowest, turns, score = 0.0, 0, 40000
        try:
            while attacker.poll() is None:
                for args, name in ((("read",), None), (("save", str(score % 32000 + 1)), b"Bea")):
                    started = time.monotonic()
                    code, _, err = B.helper(*args, name=name)
                    elapsed = time.monotonic() - started
                    slowest = max(slowest, elapsed)
                    turns += 1
                    self.assertIn(code, (SAVED, NOT_BEATEN), err)
                    self.assertLess(elapsed, LOCK_WAIT, args)
                score += 1
        finally:
            out, err = attacker.communicate(timeout=120)
        self.assertEqual(attacker.returncode, 0, err.decode())
        outcomes = json.loads(out)
        print("stopping attack: %s; %d reads and saves by the other pupil, slowest %.2f s"
              % (outcomes, turns, slowest), file=sys.stderr)
        self.assertGreater(turns, 10)
        self.assertRootGames()

    def test_neither_pupil_can_touch_the_files_directly(self):
        LAYOUT.seed(b"12\r\n", b"Anna\r\n")
        for user in (A, B):
            results = user.python(ATTACKS, LAYOUT.records)
            done = [what for what, outcome in results.items() if outcome == "done"]
            self.assertEqual(done, [], results)
        self.assertEqual(LAYOUT.pair(), (b"12\r\n", b"Anna\r\n"))
        self.assertRootGames()

    def test_a_lock_on_the_directory_holds_up_nobody(self):
        # The old lock was the directory, which anyone may open: now it means nothing.
        holder = subprocess.Popen(A.command("flock", "-s", LAYOUT.records, "sleep", "30"))
        try:
            time.sleep(0.3)
            started = time.monotonic()
            self.assertEqual(B.helper("save", "7", name=b"Bea")[0], SAVED)
            self.assertLess(time.monotonic() - started, 1.0)
        finally:
            holder.kill()
            holder.wait()

    def test_a_stuck_holder_delays_others_only_for_the_wait(self):
        LAYOUT.seed(b"12\r\n", b"Anna\r\n")
        with HeldLock():
            for args, stdin in ((("read",), b""), (("save", "13"), b"Bea")):
                started = time.monotonic()
                code, _, err = B.helper(*args, name=stdin)
                elapsed = time.monotonic() - started
                self.assertEqual(code, LOCK_BUSY, err)
                self.assertIn(LAYOUT.records, err)
                self.assertTrue(LOCK_WAIT - 0.1 <= elapsed < LOCK_WAIT + 2.0, elapsed)
        self.assertEqual(LAYOUT.pair(), (b"12\r\n", b"Anna\r\n"))

    def test_a_slow_name_holds_up_nobody(self):
        # A save whose name never ends reads it before it takes the lock.
        slow = subprocess.Popen(A.command(LAYOUT.helper, "save", "50"), stdin=subprocess.PIPE,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=A.env())
        try:
            slow.stdin.write(b"Alba")
            slow.stdin.flush()
            time.sleep(0.3)
            started = time.monotonic()
            self.assertEqual(B.helper("save", "7", name=b"Bea")[0], SAVED)
            self.assertLess(time.monotonic() - started, 1.0)
        finally:
            slow.kill()
            slow.wait()
            slow.stdin.close()

    def test_scores_and_names_the_drill_cannot_make_are_refused(self):
        LAYOUT.seed(b"12\r\n", b"Anna\r\n")
        for score in ("1e999", "32768", "7 ciao", "12<b>x</b>", "9" * 131001, "-1", "013", ""):
            code, _, err = A.helper("save", score, name=b"Alba")
            self.assertEqual(code, BAD_ARGUMENTS, (score[:20], err))
        self.assertEqual(A.helper("save", "20", name=b"n" * 65535)[0], BAD_ARGUMENTS)
        self.assertEqual(A.helper("--dir", A.home, "read")[0], BAD_ARGUMENTS)
        self.assertEqual(LAYOUT.pair(), (b"12\r\n", b"Anna\r\n"))

    def test_something_else_at_a_record_name_is_a_named_error(self):
        for name in ("atabvenr4.txt", "ntabvenr4.txt", ".garivolo-journal", ".garivolo-lock"):
            for kind in ("directory", "link", "unreadable", "missing"):
                LAYOUT.postinst()
                LAYOUT.seed(b"12\r\n", b"Anna\r\n")
                path = LAYOUT.path(name)
                before = LAYOUT.pair()
                if kind == "unreadable":
                    os.chown(path, 0, 0)
                    os.chmod(path, 0o600)
                else:
                    os.unlink(path)
                    if kind == "directory":
                        os.mkdir(path)
                    elif kind == "link":
                        os.symlink("/etc/passwd", path)
                for args, stdin in ((("read",), b""), (("save", "13"), b"Bea")):
                    code, _, err = A.helper(*args, name=stdin)
                    expected = NOT_INSTALLED if kind == "missing" else IO_ERROR
                    self.assertEqual(code, expected, (name, kind, err))
                    self.assertIn(path, err)
                    if kind == "missing":
                        self.assertIn("reinstall", err)
                        self.assertFalse(os.path.lexists(path))
                if not name.startswith(".") and kind != "unreadable":
                    continue
                self.assertEqual(LAYOUT.pair(), before, (name, kind))
                if kind == "unreadable":
                    os.chmod(path, FILES[name])
        # The package's script mends what was planted.
        for name in FILES:
            if os.path.isdir(LAYOUT.path(name)) and not os.path.islink(LAYOUT.path(name)):
                os.rmdir(LAYOUT.path(name))
        LAYOUT.postinst()
        self.assertRootGames()

    def test_postinst_takes_the_files_back_from_a_pupil(self):
        # What an older layout could leave: files a pupil owns, a second name, a link out.
        LAYOUT.seed(b"12\r\n", b"Anna\r\n")
        os.chown(LAYOUT.path("atabvenr4.txt"), A.uid, A.gid)
        os.chmod(LAYOUT.path("atabvenr4.txt"), 0o600)
        os.link(LAYOUT.path("ntabvenr4.txt"), os.path.join(ARGS.shared, "second-name"))
        os.unlink(LAYOUT.path(".garivolo-lock"))
        decoy = os.path.join(ARGS.shared, "decoy")
        with open(decoy, "wb") as f:
            f.write(b"secret")
        os.chmod(decoy, 0o600)
        os.symlink(decoy, LAYOUT.path(".garivolo-lock"))
        LAYOUT.postinst()
        self.assertRootGames()
        self.assertEqual(LAYOUT.pair(), (b"12\r\n", b"Anna\r\n"))
        st = os.stat(decoy)
        self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777), (0, 0, 0o600))
        with open(LAYOUT.path(".garivolo-lock"), "rb") as f:
            self.assertEqual(f.read(), b"")
        os.unlink(decoy)
        os.unlink(os.path.join(ARGS.shared, "second-name"))

    def test_postinst_over_an_old_build_state(self):
        # What an older build's helper, run as the pupil, could leave; then the
        # pair is kept only if the helper could have written it.
        states = [
            ("a pair a save writes", b"12\r\n", b"Anna\r\n", True),
            ("the longest name", b"32767\r\n", b"n" * 65534 + b"\r\n", True),
            ("131,001 digits", b"9" * 131001, b"Anna\r\n", False),
            ("64 KiB score and 64 KiB name", b"9" * 65536, b"n" * 65536, False),
            ("score past 16 bits", b"32768\r\n", b"Anna\r\n", False),
            ("markup after the score", b"99999999 <b>x</b>\r\n", b"Anna\r\n", False),
            ("ESC and a newline in the name", b"12\r\n", b"An\nna\x1b[2J\r\n", False),
            ("a second line", b"12\r\n99\r\n", b"Anna\r\n", False),
            ("score without a name", b"12\r\n", b"", False),
        ]
        for what, score, name, kept in states:
            LAYOUT.postinst()
            LAYOUT.seed(score, name)
            for file_name in ("atabvenr4.txt", "ntabvenr4.txt"):
                os.chown(LAYOUT.path(file_name), A.uid, A.gid)
                os.chmod(LAYOUT.path(file_name), 0o644)
            os.link(LAYOUT.path("ntabvenr4.txt"), LAYOUT.path("ntabvenr4.txt.new"))
            for leftover in (".garivolo-intent", "atabvenr4.txt.new"):
                with open(LAYOUT.path(leftover), "wb") as f:
                    f.write(b"9999\r\n")
                os.chown(LAYOUT.path(leftover), A.uid, A.gid)
            os.mkdir(LAYOUT.path(".garivolo-old"))
            os.symlink("/etc/passwd", LAYOUT.path("planted"))
            output = LAYOUT.postinst()
            self.assertRootGames()
            self.assertEqual(LAYOUT.pair(), (score, name) if kept else (b"", b""), what)
            self.assertIn(".garivolo-intent", output, what)
            self.assertEqual("emptied" in output, not kept, (what, output))
            # The pupil has no file left to write to.
            self.assertEqual(A.python(ATTACKS, LAYOUT.records).get("write atabvenr4.txt"), "Permission denied")
        LAYOUT.seed(b"", b"")

    def test_a_full_file_system_is_a_named_error_and_keeps_the_pair(self):
        if subprocess.run(["mountpoint", "-q", LAYOUT.records]).returncode == 0:
            subprocess.run(["umount", LAYOUT.records])
        made = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,mode=2775,gid=%d" % LAYOUT.games, "tmpfs",
                               LAYOUT.records], capture_output=True, text=True)
        if made.returncode != 0:
            print("full file system not tried: cannot mount a tmpfs here: " + made.stderr.strip(), file=sys.stderr)
            self.skipTest("cannot mount a tmpfs: " + made.stderr.strip())
        try:
            LAYOUT.postinst()
            LAYOUT.seed(b"12\r\n", b"Anna\r\n")
            filler = os.open(os.path.join(LAYOUT.records, "filler"), os.O_WRONLY | os.O_CREAT, 0o600)
            try:
                while True:
                    os.write(filler, b"\0" * 4096)
            except OSError:
                pass
            finally:
                os.close(filler)
            code, _, err = A.helper("save", "13", name=b"Alba" * 100)
            self.assertEqual(code, IO_ERROR, err)
            self.assertIn("No space left on device", err)
            self.assertIn(LAYOUT.records, err)
            self.assertEqual(LAYOUT.pair(), (b"12\r\n", b"Anna\r\n"))
            self.assertEqual(A.helper("read")[:2], (SAVED, b"4 6\n12\r\nAnna\r\n"))
        finally:
            subprocess.run(["umount", LAYOUT.records], check=True)

    def test_hostile_names_loaded_by_the_other_pupil(self):
        names = {
            "30 nested tables": "<table><tr><td>" * 30 + "x",
            "4369 nested tables": "<table>" * 4369,
            "an image of /dev/zero": '<img src="/dev/zero">',
            "a 64 KiB name": ("<table><img src=/dev/zero>" * 2600)[:65534],
        }
        # A plain name first: the usual start-up time and memory to compare with.
        LAYOUT.seed(b"", b"")
        code, _, err = A.helper("save", "1", name=b"Anna")
        self.assertEqual(code, SAVED, err)
        plain = Window(B, "Bea")
        plain.main_window()
        usual = plain.shown - plain.greeted
        self.assertEqual(plain.leave(), 0, plain.output)
        print("plain name: window after %.2f s, %.1f MB" % (usual, plain.peak / 2**20), file=sys.stderr)
        score = 1
        # Last, a pair planted as it stands (as only someone in group games could): 64 KiB each.
        names["a planted 64 KiB score and 64 KiB name"] = None
        for what, name in names.items():
            score += 1
            if name is None:
                name = "n" * 65536
                LAYOUT.seed(b"9" * 65536, name.encode())
            else:
                code, _, err = A.helper("save", str(score), name=name.encode())
                self.assertEqual(code, SAVED, (what, err))
                name += "\r\n"
            window = Window(B, "Bea")
            window.main_window(timeout=usual + 10)
            took = window.shown - window.greeted
            time.sleep(1.0)
            window.sample()
            print("%s: window after %.2f s, %.1f MB" % (what, took, window.peak / 2**20), file=sys.stderr)
            self.assertLess(took, usual + 2.0, what)
            if not ARGS.sanitized:
                self.assertLess(window.peak, 60 * 2**20, what)
            self.assertEqual(window.leave(), 0, (what, window.output))
            # Shown, not changed: the record is as the other pupil saved it.
            self.assertEqual(LAYOUT.pair()[1], name.encode("cp1252"))

    def test_a_missing_journal_stops_the_window_with_a_named_error(self):
        os.unlink(LAYOUT.path(".garivolo-journal"))
        window = Window.__new__(Window)
        env = B.env(DISPLAY=X.display, XAUTHORITY=X.cookie_for(B), XDG_RUNTIME_DIR=tempfile.mkdtemp(),
                    QT_QPA_PLATFORM="xcb")
        sanitized_window_options(env)
        os.chown(env["XDG_RUNTIME_DIR"], B.uid, B.gid)
        window.process = subprocess.Popen(B.command(LAYOUT.window), env=env, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL)
        RUNNING.append(window.process)
        window.runtime = env["XDG_RUNTIME_DIR"]
        prompt = wait_for("the name prompt", lambda: X.windows_named("Garivolo"))
        time.sleep(0.3)
        X.xdotool("key", "Return")
        greeting = wait_for("the greeting", lambda: X.boxes_after("Garivolo", prompt))
        time.sleep(0.3)
        X.xdotool("key", "Return")
        wait_for("the error box", lambda: X.boxes_after("Garivolo", prompt + greeting))
        self.assertFalse(X.windows_named(" +GARIVOLO .*"))
        time.sleep(0.3)
        X.xdotool("key", "Return")
        self.assertEqual(window.wait(), 1)
        self.assertFalse(os.path.lexists(LAYOUT.path(".garivolo-journal")))


def main():
    global ARGS, LAYOUT, A, B, X
    parser = argparse.ArgumentParser()
    for option in ("--helper", "--window", "--shared", "--chars", "--postinst"):
        parser.add_argument(option, required=True)
    # Under AddressSanitizer the window's memory is the sanitizer's: its bound is not measured there.
    parser.add_argument("--sanitized", type=int, default=0)
    ARGS, rest = parser.parse_known_args()
    # Users of this build tree's own, so that two trees tested at once never remove each other's.
    global USERS, HELPER_USER
    tree = ARGS.shared.rstrip("/")[-6:]
    USERS = tuple("%s-%s" % (name, tree) for name in USERS)
    HELPER_USER = "%s-%s" % (HELPER_USER, tree)
    if os.geteuid() != 0:
        print("skipped: needs root, to make two users and a setgid helper", file=sys.stderr)
        return 77
    for tool in ("useradd", "setpriv", "Xvfb", "xdotool", "xauth", "mcookie"):
        if not shutil.which(tool):
            print("skipped: %s is missing" % tool, file=sys.stderr)
            return 77
    LAYOUT = Layout()
    base = tempfile.mkdtemp(prefix="garivolo-mu-")
    os.chmod(base, 0o755)
    try:
        LAYOUT.make()
        A, B = make_users(base)
        X = XServer(base)
        try:
            result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
        finally:
            X.close()
        return 0 if result.wasSuccessful() else 1
    finally:
        remove_users()
        subprocess.run(["umount", LAYOUT.records], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        LAYOUT.remove()
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
