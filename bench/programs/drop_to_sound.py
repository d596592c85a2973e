#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Drop to sound, measured on a recording: the real program is started fresh
several times on a private sound server (PulseAudio, or PipeWire at its own
48 kHz) with a null sink; in each run the first name is dropped as soon as
the window shows its names (pressed about 250 ms before), then a few more
follow at a player's pace (correct and wrong), then pairs of drops so close
that the second sound replaces the first, and (with --sleep) one drop after
the quiz has been left alone that long, its sound output asleep. The delay
is from the moment the mouse button is let go to the first sample of the
expected sound in the recording of the sink's monitor, against a reference
client with a 5 ms buffer whose clicks before and after each drop are in the
same recording. Breaks are stretches of at least a millisecond inside a
heard sound where the recording is silent and the sound is not. With
--load, that many processes burn a core each meanwhile. bench/run.sh runs
it on a virtual X display.

  drop_to_sound.py --build build --source . [--starts 5] [--server pipewire] [--sleep 30] [--load 2]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import listening as L  # noqa: E402
import quizdriver as q  # noqa: E402


def breaks(recorded, expected, server):
    """Where (ms into the sound) silent stretches of a millisecond or more
    lie inside a sound: the sound audible, the recording not. (On a server
    that resamples, where a sound is found to start and where the next one
    cut it are known to a few milliseconds: a break listed within a few
    milliseconds of either end may be the measurement's.)"""
    ms = L.RATE // 1000
    n = min(len(recorded), len(expected)) // ms
    if server.BELOW_HZ:
        recorded, expected = L.lowpass(recorded, server.BELOW_HZ), L.lowpass(expected, server.BELOW_HZ)
    found, inside = [], False
    for k in range(n):
        want = float(abs(expected[k * ms:(k + 1) * ms]).max())
        got = float(abs(recorded[k * ms:(k + 1) * ms]).max())
        gap = want > 300 and got < want * 0.1
        if gap and not inside:
            found.append(k)
        inside = gap
    return found


def one_start(build, source, server, out, later=6, pairs=3, sleep=0):
    quiz = q.Quiz(build / "orbenvale", out)
    quiz.learn(source)
    sounds = {k: L.expected_sound(build / "orbenvale-decode", build / "sounds" / f"{k}.wma")
              for k in ("correct", "wrong")}
    ear = L.DropListener(server, quiz.display).start()
    drops = []  # (time, sound, what)
    try:
        quiz.start()
        quiz.wait_window()
        quiz.wait_screen("the names", lambda im: all(quiz.names_in_panel(im)))
        names = quiz.names
        # The first drop as soon as the names show, its press about 250 ms before.
        plan = [(0, names[0], "correct", "first")]
        for k in range(1, later + 1):
            if k % 3 == 2:
                plan.append((k, names[(k + 1) % len(names)], "wrong", "later"))
            else:
                plan.append((k, names[k], "correct", "later"))
        for i, country, sound, what in plan:
            quiz.carry(q.grab_point(i), quiz.points[country], steps=8 if what == "first" else 4)
            drops.append((ear.let_go()[0], sound, what))
            time.sleep(0.6)
        # A wrong drop, and a correct one while its buzz still plays.
        for p in range(pairs):
            k = later + 1 + 2 * p
            quiz.carry(q.grab_point(k), quiz.points[names[k + 1]])
            drops.append((ear.let_go()[0], "wrong", "first of a pair"))
            quiz.carry(q.grab_point(k + 1), quiz.points[names[k + 1]], steps=2)
            drops.append((ear.let_go()[0], "correct", "replacing"))
            time.sleep(0.6)
        if sleep:
            time.sleep(sleep)
            k = later + 1 + 2 * pairs
            quiz.carry(q.grab_point(k), quiz.points[names[k]])
            drops.append((ear.let_go()[0], "correct", "after sleep"))
            time.sleep(0.6)
        time.sleep(0.3)
    finally:
        quiz.stop()
        ear.stop()
    rec = ear.recorder.left()
    found = []
    for n, (t, sound, what) in enumerate(drops):
        until = min(t + 0.55, drops[n + 1][0]) if n + 1 < len(drops) else t + 0.55
        found.append(ear.heard(sounds[sound], t, until))
    result = []
    for n, (t, sound, what) in enumerate(drops):
        gaps = []
        if found[n] is not None:
            # Up to where the next sound replaces it (or its own end).
            at = found[n][0]
            end = at + len(sounds[sound])
            if n + 1 < len(drops):
                nxt = found[n + 1][0] if found[n + 1] is not None else ear.reference.sample_at(drops[n + 1][0])
                end = min(end, nxt - L.RATE // 1000)
            # The reference's clicks only add sound: they hide no break.
            seg = rec[at:max(at, end)]
            gaps = [f"{what} {sound} sound at {k} ms" for k in breaks(seg, sounds[sound][:len(seg)], server)]
        result.append((what, None if found[n] is None else found[n][1] * 1000, gaps))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--starts", type=int, default=5)
    ap.add_argument("--server", default="pulseaudio", choices=("pulseaudio", "pipewire"))
    ap.add_argument("--sleep", type=float, default=0, help="one drop after this many seconds alone")
    ap.add_argument("--load", type=int, default=0, help="processes burning a core each meanwhile")
    args = ap.parse_args()
    build, source = Path(args.build).resolve(), Path(args.source).resolve()
    q.load_layout(build / "window-layout.json")
    heard, missed, total, gaps, late = {}, 0, 0, [], None
    burners = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(args.load)]
    try:
        with tempfile.TemporaryDirectory(prefix="orbenvale-drop-") as work, L.server(args.server, work) as server:
            os.environ.update(server.env())
            for n in range(args.starts):
                for what, delay, broken in one_start(build, source, server, Path(work) / f"run{n}", sleep=args.sleep):
                    total += 1
                    gaps += broken
                    if delay is None:
                        missed += 1
                    else:
                        heard.setdefault(what, []).append(delay)
            if hasattr(server, "missed_cycles"):
                late = [server.missed_cycles(c) for c in (q.TITLE, "parec", "reference")]
    finally:
        for b in burners:
            b.kill()
            b.wait()

    def show(label, values):
        if not values:
            print(f"{label:<52} none heard")
            return
        print(f"{label:<52} {statistics.median(values):6.1f} {max(values):6.1f} {len(values):4d}")

    every = [v for values in heard.values() for v in values]
    print(f"{'drop to sound against the reference client, ms':<52} {'median':>6} {'worst':>6} {'n':>4}")
    show("first drop after start (names just shown)", heard.get("first", []))
    show("later drops (correct and wrong, 0.6 s apart)", heard.get("later", []))
    show("a sound replacing one that plays", heard.get("replacing", []))
    if args.sleep:
        show(f"a drop after {args.sleep:.0f} s alone (output asleep)", heard.get("after sleep", []))
    show("all drops", every)
    print(f"drops heard: {total - missed} of {total}; breaks inside sounds: {len(gaps)}")
    for where in gaps:
        print(f"  a break in the {where}")
    if late is not None:
        print(f"PipeWire's graph found a stream not ready in its cycle (its own log): the quiz's {late[0]} times, "
              f"the recorder's {late[1]}, the reference client's {late[2]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
