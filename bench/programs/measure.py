#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs the benchmark programs and prints one table (bench/run.sh calls it on
a virtual X display).

Start-up: the program's start-up variant and a bare Qt window are started
alternately; the time from just before starting the process to the first
frame on screen is measured with CLOCK_MONOTONIC on both sides. Peak memory
is the process's maximum resident set size over its first 3 s after the
first frame (it runs on that long, warm-ups included), once without input
and once with a key press 0.5 s after the first frame, which connects the
quiz's sound output (a private PulseAudio server is running for that).
Then one run of each under callgrind counts the instructions up to the
first frame.
"""

import argparse
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


def start_once(program, extra_env=None):
    """(ms to first frame, peak RSS in MiB) of one run."""
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    env.update(extra_env or {})
    t0 = time.monotonic_ns()
    p = subprocess.Popen([program], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    out = p.stdout.read().decode()
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    m = re.search(r"first-frame-monotonic-ns (\d+)", out)
    if p.returncode != 0 or not m:
        raise RuntimeError(f"{program} ended with {p.returncode} and no first-frame report")
    return (int(m.group(1)) - t0) / 1e6, usage.ru_maxrss / 1024.0


def decode_once(build, sound):
    """(ms, peak RSS in MiB) of the decode helper on one shipped sound, a
    process of its own that ends when the sound is decoded."""
    t0 = time.monotonic()
    r = subprocess.run(["/usr/bin/time", "-f", "%M", str(build / "orbenvale-decode"), str(build / "sounds" / sound)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    return (time.monotonic() - t0) * 1000, int(r.stderr.split()[-1]) / 1024.0


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
    quiz, bare = str(build / "bench_first_frame"), str(build / "bench_bare_window")

    start_once(quiz)            # the first start fills the file cache; not counted
    start_once(bare)
    times = {quiz: [], bare: []}
    for _ in range(args.runs):
        for prog in (quiz, bare):
            times[prog].append(start_once(prog)[0])

    mem_runs = max(1, min(args.runs, 5))
    linger = {"BENCH_LINGER_MS": "3000"}
    memory = {quiz: [], bare: []}
    pressed = {quiz: [], bare: []}
    with listening.SoundServer(work) as server:
        for _ in range(mem_runs):
            for prog in (quiz, bare):
                memory[prog].append(start_once(prog, linger)[1])
                pressed[prog].append(start_once(prog, {**linger, "BENCH_PRESS_MS": "500", **server.env()})[1])
    helper_ms, helper = [], []
    for _ in range(mem_runs):
        for sound in ("correct.wma", "wrong.wma", "complete.wma"):
            ms, mib = decode_once(build, sound)
            helper_ms.append(ms)
            helper.append(mib)

    instructions = {quiz: None, bare: None}
    if not args.no_callgrind:
        for prog in (quiz, bare):
            instructions[prog] = callgrind(prog, work)

    drag = run_offscreen([str(build / "bench_drag_step"), "1000"])
    rnd = run_offscreen([str(build / "bench_headless_round"), "200"])
    d = dict(zip(drag.split()[1::2], drag.split()[2::2]))
    r = dict(zip(rnd.split()[1::2], rnd.split()[2::2]))

    def spread(values, fmt):
        return f"{fmt.format(statistics.median(values))} ({fmt.format(min(values))}-{fmt.format(max(values))})"

    def count(n):
        return "n/a (no valgrind)" if n is None else f"{n / 1e6:.1f} M"

    rows = [
        ("", "quiz", "bare Qt window"),
        (f"time to first frame, ms, median of {args.runs} (min-max)",
         spread(times[quiz], "{:.1f}"), spread(times[bare], "{:.1f}")),
        (f"peak memory (max RSS) to 3 s after the window shows, MiB, median of {mem_runs}",
         spread(memory[quiz], "{:.1f}"), spread(memory[bare], "{:.1f}")),
        ("  the same with a key press at 0.5 s (sound output connected)",
         spread(pressed[quiz], "{:.1f}"), spread(pressed[bare], "{:.1f}")),
        ("  sound decode helper (own process, one per file), peak MiB", spread(helper, "{:.1f}"), "-"),
        ("  sound decode helper, ms per shipped file", spread(helper_ms, "{:.1f}"), "-"),
        ("instructions to first frame (callgrind)", count(instructions[quiz]), count(instructions[bare])),
        ("drag step: pointer move + repaint, us, median of 1000",
         f"{d['median']} (p10 {d['p10']}, p90 {d['p90']})", "-"),
        (f"drag step that moves the tint to another country, us, median of {d['tint-changes']}",
         f"{d['tint-change-median']} (p90 {d['tint-change-p90']}, max {d['tint-change-max']})", "-"),
        ("drag step with the outline following, us, median of 1000",
         f"{d['outline-median']} (p90 {d['outline-p90']})", "-"),
        ("pointer move with a 1 MiB name shown, us, median of 50", d['huge-caption-median'], "-"),
        ("headless round of 41 drops (model), us, median of 200",
         f"{r['median']} ({r['per-drop']} per drop)", "-"),
    ]
    tq, tb = statistics.median(times[quiz]), statistics.median(times[bare])
    mq, mb = statistics.median(memory[quiz]), statistics.median(memory[bare])
    pq, pb = statistics.median(pressed[quiz]), statistics.median(pressed[bare])
    rows.append(("quiz / bare window: first frame, peak memory, with a press",
                 f"{tq / tb:.2f}x, {mq / mb:.2f}x, {pq / pb:.2f}x", ""))
    if instructions[quiz] and instructions[bare]:
        rows.append(("quiz / bare window: instructions to first frame",
                     f"{instructions[quiz] / instructions[bare]:.2f}x", ""))
    width = max(len(row[0]) for row in rows)
    w1 = max(len(row[1]) for row in rows)
    for label, a, b in rows:
        print(f"{label:<{width}}  {a:<{w1}}  {b}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
