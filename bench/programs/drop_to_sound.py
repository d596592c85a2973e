#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Drop to sound, measured on a recording: the real program is started fresh
several times on a private PulseAudio server with a null sink; in each run
the first name is dropped as soon as the window shows its names, then a few
more follow at a player's pace (correct and wrong), and then pairs of drops
so close that the second sound replaces the first. The delay is from the
moment the mouse button is let go to the first sample of the expected sound
in the recording of the sink's monitor, against a reference client with a
5 ms buffer whose clicks before and after each drop are in the same
recording. bench/run.sh runs it on a virtual X display.

  drop_to_sound.py --build build --source . [--starts 5]
"""

import argparse
import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import listening as L  # noqa: E402
import quizdriver as q  # noqa: E402


def one_start(build, source, server, out, later=6, pairs=3):
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
        plan = [(0, names[0], "correct", "first")]
        for k in range(1, later + 1):
            if k % 3 == 2:
                plan.append((k, names[(k + 1) % len(names)], "wrong", "later"))
            else:
                plan.append((k, names[k], "correct", "later"))
        for i, country, sound, what in plan:
            quiz.carry(q.grab_point(i), quiz.points[country])
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
        time.sleep(0.3)
    finally:
        quiz.stop()
        ear.stop()
    result = []
    for n, (t, sound, what) in enumerate(drops):
        until = min(t + 0.55, drops[n + 1][0]) if n + 1 < len(drops) else t + 0.55
        found = ear.heard(sounds[sound], t, until)
        result.append((what, None if found is None else found[1] * 1000))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--starts", type=int, default=5)
    args = ap.parse_args()
    build, source = Path(args.build).resolve(), Path(args.source).resolve()
    q.load_layout(build / "window-layout.json")
    heard, missed, total = {}, 0, 0
    with tempfile.TemporaryDirectory(prefix="orbenvale-drop-") as work, L.SoundServer(work) as server:
        os.environ.update(server.env())
        for n in range(args.starts):
            for what, delay in one_start(build, source, server, Path(work) / f"run{n}"):
                total += 1
                if delay is None:
                    missed += 1
                else:
                    heard.setdefault(what, []).append(delay)

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
    show("all drops", every)
    print(f"drops heard: {total - missed} of {total}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
