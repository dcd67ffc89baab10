#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures Garivolo from the outside, beside a bare Qt window, and prints one table."""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e  # noqa: E402
from e2e import Session, wait_for  # noqa: E402
from repaint import measure_repaints  # noqa: E402

BUILD = sys.argv[1]
RUNS = int(os.environ.get("GARIVOLO_BENCH_RUNS", "5"))
GARIVOLO = os.path.join(BUILD, "app", "garivolo")
CYCLES = 10
FLOOR = os.path.join(BUILD, "bench", "floor", "bench_floor")
TICK = os.sysconf("SC_CLK_TCK")
rows = []


def row(name, value, unit, aim, floor=None):
    rows.append((name, value, unit, aim, floor))


def start(program, session):
    before = time.monotonic_ns()
    p = subprocess.Popen([program], env=session.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = p.stdout.readline()
    shown = int(line.split()[-1])
    return p, (shown - before) / 1e6


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def peak_rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0


def cpu_share(pids, seconds):
    """CPU of these processes together, in percent of one core."""
    before = sum(cpu_seconds(p) for p in pids)
    time.sleep(seconds)
    return 100 * (sum(cpu_seconds(p) for p in pids) - before) / seconds


def cpu_while(pids, work):
    """CPU of these processes together while work runs, in percent of one core."""
    before, start = sum(cpu_seconds(p) for p in pids), time.monotonic()
    work()
    return 100 * (sum(cpu_seconds(p) for p in pids) - before) / (time.monotonic() - start)


def answer_cycle(session):
    """A child's whole answer: a wrong answer and Enter (the verdict, his greeting, "Sbagliato"
    and the result), then Enter for the next question (his greeting and the dictation)."""
    session.xdotool("type", "5")
    session.xdotool("key", "Return")
    time.sleep(3.2)
    session.xdotool("key", "Return")
    time.sleep(3.3)


def servers(session):
    """What works for the program outside it: the X server and the sound server."""
    with open(os.path.join(session.runtime, "pulse", "pid")) as f:
        return [session.xvfb.pid, int(f.read().split()[0])]


def main():
    session = Session()
    e2e.SESSION = session
    try:
        for name, program in (("garivolo", GARIVOLO), ("floor", FLOOR)):
            times = []
            for _ in range(RUNS):
                p, ms = start(program, session)
                times.append(ms)
                p.kill()
                p.wait()
            if name == "garivolo":
                garivolo_start = statistics.median(times)
            else:
                floor_start = statistics.median(times)
        row("exec to name prompt", garivolo_start, "ms", "<= 1.3 x floor", floor_start)

        # A contest left alone: Merlin introduces himself and dictates, then only the clock ticks.
        p, _ = start(GARIVOLO, session)
        time.sleep(0.5)
        session.xdotool("type", "Luca")
        session.xdotool("key", "Return")
        time.sleep(0.5)
        session.xdotool("key", "Return")
        time.sleep(3)
        talking = cpu_share([p.pid] + servers(session), 10)
        talking_alone = cpu_share([p.pid], 5)
        time.sleep(25)  # the end of the introduction and the first dictation
        idle = cpu_share([p.pid] + servers(session), 30)
        # Answer after answer, each heard out: the cost of what a contest is made of.
        main = wait_for("the main window", lambda: session.windows_named(" +GARIVOLO .*"))[0]
        x, y, width, height = session.geometry(main)
        session.xdotool("mousemove", str(x + 436), str(y + height - 556 + 373), "click", "1")
        time.sleep(0.2)
        answer_cycle(session)
        # The keys reached him: the next question's dictation is in his balloon.
        session.xdotool("type", "5")
        wait_for("his balloon", lambda: e2e.balloon_speaking(e2e.look(1)), timeout=5)
        session.xdotool("key", "BackSpace")
        time.sleep(3)
        # Ten answers, over a minute: the processes' CPU is counted in ticks of
        # 10 ms, and four answers moved the figure by 0.3 points from run to run.
        cycle = cpu_while([p.pid] + servers(session), lambda: [answer_cycle(session) for _ in range(CYCLES)])
        rss = peak_rss_mb(p.pid)
        p.kill()
        p.wait()

        f, _ = start(FLOOR, session)
        time.sleep(0.5)
        session.xdotool("key", "Return")
        time.sleep(2)
        floor_idle = cpu_share([f.pid] + servers(session), 30)
        floor_rss = peak_rss_mb(f.pid)
        f.kill()
        f.wait()
        row("CPU talking, with X and sound", talking, "%", "< 3 %")
        row("CPU talking, program alone", talking_alone, "%", "(no aim)")
        row("CPU answer cycle, with X and sound", cycle, "%", "< 3 %")
        row("CPU idle, with X and sound", idle, "%", "< 0.3 %", floor_idle)
        row("peak RSS, Merlin speaking", rss, "MB", "<= 1.3 x floor", floor_rss)

        out = subprocess.run([os.path.join(BUILD, "bench", "speech", "bench_speech")], env=session.env,
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            if line.startswith("speech_start_ms"):
                row("speech start latency", float(line.split()[1]), "ms", "< 30 ms")
    finally:
        session.close()
    # What a child waits for after Enter, in a session of its own with a window manager.
    measure_repaints(BUILD, row)
    for name, value, unit, aim, floor in rows:
        floor_text = "" if floor is None else "%10.2f" % floor
        print("%-32s %10.2f %-3s %-12s %s" % (name, value, unit, aim, floor_text))


if __name__ == "__main__":
    main()
