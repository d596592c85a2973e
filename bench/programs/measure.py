#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs the benchmark programs and prints one table (bench/run.sh calls it on
a virtual X display).

Start-up: the quiz's start-up variant, the floor (a window with the quiz's
first frame and nothing else: the same pictures, 43 captions and two
buttons) and a bare Qt window showing the map are started in turn, again
and again. The first frame is the moment the X server shows the window's
first painted pixels, seen by polling it every millisecond from just before
the process starts; each program also reports the CPU time it took to get
there. Memory is sampled from /proc every 2 ms from the start until 3 s
after the first frame: the program's peak resident set (VmHWM), the peak of
any helper process it runs, and the peak of both together. One series has
no input; in the other a key press reaches the window 0.5 s after its first
frame, which connects the quiz's sound output and decodes its sounds (a
private PulseAudio server runs for that). Then one run of each under
callgrind counts the instructions up to the first frame.
"""

import argparse
import ctypes
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import listening  # noqa: E402

SCREEN = (1280, 1024)


class Screen:
    """One pixel of the X screen, read through Xlib."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.c_void_p
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XGetPixel.restype = ctypes.c_ulong
        self.x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(None)
        if not self.dpy:
            raise RuntimeError("cannot open the X display")
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def pixel(self, x, y):
        img = self.x.XGetImage(self.dpy, self.root, x, y, 1, 1, ctypes.c_ulong(0xFFFFFFFF), 2)
        if not img:
            return None
        try:
            v = self.x.XGetPixel(img, 0, 0)
        finally:
            self.x.XDestroyImage(img)
        return ((v >> 16) & 255, (v >> 8) & 255, v & 255)


def sea(rgb):
    """The map's sea colour, give or take what JPEG does to it."""
    return rgb is not None and all(abs(a - b) <= 24 for a, b in zip(rgb, (104, 152, 208)))


def kib(pid, field):
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def children(pid):
    """The processes a program started, from any of its threads."""
    found = []
    for task in Path(f"/proc/{pid}/task").glob("*"):
        try:
            found += [int(c) for c in (task / "children").read_text().split()]
        except OSError:
            pass
    return found


def start_once(program, size, screen, extra_env=None):
    """One run: (ms to the first frame on screen, CPU ms to it as the program
    reports it, peak MiB of the program, of its helpers, of both together)."""
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    env.update({"BENCH_LINGER_MS": "3000", **(extra_env or {})})
    # Where the window's top-left pixel shows: it is centred on the screen,
    # as the quiz centres itself; (20, 20) is sea in each of them.
    at = ((SCREEN[0] - 1) // 2 - size[0] // 2 + 20, (SCREEN[1] - 1) // 2 - size[1] // 2 + 20)
    t0 = time.monotonic()
    p = subprocess.Popen([program], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    frame = None
    while frame is None and p.poll() is None and time.monotonic() - t0 < 20:
        if sea(screen.pixel(*at)):
            frame = (time.monotonic() - t0) * 1000
        else:
            time.sleep(0.001)
    own = helpers = together = 0
    while p.poll() is None:
        now_own = kib(p.pid, "VmRSS")
        kids = sum(kib(c, "VmRSS") for c in children(p.pid))
        own = max(own, kib(p.pid, "VmHWM"))
        helpers = max(helpers, sum(kib(c, "VmHWM") for c in children(p.pid)))
        together = max(together, now_own + kids)
        time.sleep(0.002)
    out = p.stdout.read().decode()
    m = re.search(r"first-frame-cpu-us (\d+)", out)
    if p.returncode != 0 or not m or frame is None:
        raise RuntimeError(f"{program} ended with {p.returncode}, first frame {'seen' if frame else 'never seen'}")
    return frame, int(m.group(1)) / 1000, own / 1024, helpers / 1024, max(together, own) / 1024


def callgrind(program, work):
    """Instructions executed up to the first frame."""
    if not shutil.which("valgrind"):
        return None
    out = work / f"callgrind.{Path(program).name}"
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}.%p", program],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, timeout=600, check=True)
    dumps = sorted(work.glob(f"callgrind.{Path(program).name}.*.1"))
    if not dumps:
        return None
    text = dumps[-1].read_text(errors="replace")
    m = re.search(r"^(?:summary|totals):\s*(\d+)", text, re.M)
    return int(m.group(1)) if m else None


def run_offscreen(args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return subprocess.run(args, capture_output=True, text=True, env=env, check=True, timeout=600).stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--work", required=True)
    ap.add_argument("--no-callgrind", action="store_true")
    args = ap.parse_args()
    build = Path(args.build)
    work = Path(args.work)
    programs = {"quiz": (str(build / "bench_first_frame"), (901, 547)),
                "floor": (str(build / "bench_floor_window"), (901, 547)),
                "bare": (str(build / "bench_bare_window"), (593, 549))}
    screen = Screen()
    for name, (prog, size) in programs.items():  # the first start fills the file cache; not counted
        start_once(prog, size, screen)
    runs = {name: [] for name in programs}
    pressed = {name: [] for name in programs}
    with listening.SoundServer(work) as server:
        press = {"BENCH_PRESS_MS": "500", **server.env()}
        for _ in range(args.runs):
            for name, (prog, size) in programs.items():
                runs[name].append(start_once(prog, size, screen))
                pressed[name].append(start_once(prog, size, screen, press))

    instructions = {name: None for name in programs}
    if not args.no_callgrind:
        for name, (prog, _) in programs.items():
            instructions[name] = callgrind(prog, work)

    drag = run_offscreen([str(build / "bench_drag_step"), "1000"])
    rnd = run_offscreen([str(build / "bench_headless_round"), "200"])
    d = dict(zip(drag.split()[1::2], drag.split()[2::2]))
    r = dict(zip(rnd.split()[1::2], rnd.split()[2::2]))

    def spread(values, fmt="{:.1f}"):
        return f"{fmt.format(statistics.median(values))} ({fmt.format(min(values))}-{fmt.format(max(values))})"

    def column(series, k):
        return [run[k] for run in series]

    def count(n):
        if n is None:
            return "not measured" if args.no_callgrind else "n/a (no valgrind)"
        return f"{n / 1e6:.1f} M"

    n = args.runs
    rows = [
        ("", "quiz", "floor", "bare Qt window"),
        (f"first frame on screen, ms, median of {n} (min-max)", *(spread(column(runs[k], 0)) for k in programs)),
        ("CPU to the first frame, ms", *(spread(column(runs[k], 1)) for k in programs)),
        ("instructions to the first frame (callgrind)", *(count(instructions[k]) for k in programs)),
        ("peak RSS to 3 s after the first frame, MiB: the program", *(spread(column(runs[k], 2)) for k in programs)),
        ("  with a key press at 0.5 s: the program", *(spread(column(pressed[k], 2)) for k in programs)),
        ("  with a key press: its decode helper", spread(column(pressed["quiz"], 3)), "-", "-"),
        ("  with a key press: both together", *(spread(column(pressed[k], 4)) for k in programs)),
        ("drag step: pointer move + repaint, us, median of 1000",
         f"{d['median']} (p10 {d['p10']}, p90 {d['p90']})", "-", "-"),
        (f"drag step that moves the tint to another country, us, median of {d['tint-changes']}",
         f"{d['tint-change-median']} (p90 {d['tint-change-p90']}, max {d['tint-change-max']})", "-", "-"),
        ("drag step with the outline following, us, median of 1000",
         f"{d['outline-median']} (p90 {d['outline-p90']})", "-", "-"),
        ("pointer move with a 1 MiB name shown, us, median of 50", d['huge-caption-median'], "-", "-"),
        ("headless round of 41 drops (model), us, median of 200",
         f"{r['median']} ({r['per-drop']} per drop)", "-", "-"),
    ]

    def ratio(k, series, base):
        return statistics.median(column(series["quiz"], k)) / statistics.median(column(series[base], k))

    rows.append(("quiz / floor: first frame, CPU, peak RSS, both with a press",
                 f"{ratio(0, runs, 'floor'):.2f}x, {ratio(1, runs, 'floor'):.2f}x, {ratio(2, runs, 'floor'):.2f}x, "
                 f"{ratio(4, pressed, 'floor'):.2f}x", "", ""))
    rows.append(("quiz / bare window: the same",
                 f"{ratio(0, runs, 'bare'):.2f}x, {ratio(1, runs, 'bare'):.2f}x, {ratio(2, runs, 'bare'):.2f}x, "
                 f"{ratio(4, pressed, 'bare'):.2f}x", "", ""))
    if all(instructions.values()):
        rows.append(("quiz / floor / bare window: instructions",
                     f"{instructions['quiz'] / instructions['floor']:.2f}x floor, "
                     f"{instructions['quiz'] / instructions['bare']:.2f}x bare", "", ""))
    widths = [max(len(row[i]) for row in rows) for i in range(3)]
    for label, a, b, c in rows:
        print(f"{label:<{widths[0]}}  {a:<{widths[1]}}  {b:<{widths[2]}}  {c}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
