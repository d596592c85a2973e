#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What the quiz costs while nobody plays: how often its threads wake (the
context switches of all of them, read from /proc/PID/task/*/status) and
what the sound server says of its sink (pactl), on a private PulseAudio
server and on PipeWire. Measured over a quiet stretch after start with no
press, and again starting a few seconds after one drop has played its
sound; a bare Qt window beside it. bench/run.sh runs it on a virtual X
display; a measurement, not a test.

  idle_cost.py --build build --source . [--seconds 20]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import listening as L  # noqa: E402
import quizdriver as q  # noqa: E402


def switches(pid):
    """Context switches of all the process's threads so far."""
    total = 0
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            for line in (task / "status").read_text().splitlines():
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total


def wakes_per_second(pid, seconds):
    before = switches(pid)
    time.sleep(seconds)
    return (switches(pid) - before) / seconds


def quiz_idle(build, source, server, out, seconds):
    quiz = q.Quiz(build / "orbenvale", out)
    quiz.learn(source)
    try:
        quiz.start()
        quiz.wait_window()
        quiz.wait_opening()
        time.sleep(2)  # the sounds decoded, the output connected, asleep
        fresh = wakes_per_second(quiz.proc.pid, seconds / 2)
        fresh_sink = server.sink_state()
        name = quiz.names[12]
        quiz.drag(q.grab_point(12), quiz.points[name])
        time.sleep(4)  # the chime played out, and the output's grace after it
        after = wakes_per_second(quiz.proc.pid, seconds)
        return fresh, fresh_sink, after, server.sink_state(), server.corked(q.TITLE)
    finally:
        quiz.stop()


def bare_idle(build, seconds):
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    proc = subprocess.Popen([str(build / "bench_bare_window")], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(3)
        return wakes_per_second(proc.pid, seconds / 2)
    finally:
        proc.kill()
        proc.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--seconds", type=float, default=20)
    args = ap.parse_args()
    build, source = Path(args.build).resolve(), Path(args.source).resolve()
    q.load_layout(build / "window-layout.json")
    rows = []
    for name in ("pulseaudio", "pipewire"):
        with tempfile.TemporaryDirectory(prefix="orbenvale-idle-") as work, L.server(name, work) as server:
            os.environ.update(server.env())
            rows.append((name, quiz_idle(build, source, server, Path(work) / "run", args.seconds)))
    bare = bare_idle(build, args.seconds)
    print(f"{'wake-ups a second of all threads, and the sink':<46} {'no press yet':>22} {'after one drop':>30}")
    for name, (fresh, fresh_sink, after, sink, corked) in rows:
        stream = "corked" if corked else ("not corked" if corked is False else "no stream")
        print(f"{'quiz on ' + name:<46} {fresh:9.1f} {fresh_sink or '-':>12} {after:9.1f} {sink or '-':>10} "
              f"({stream})")
    print(f"{'bare Qt window':<46} {bare:9.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
