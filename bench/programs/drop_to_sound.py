#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Drop to sound, measured on a recording: the real program is started fresh
several times on a private PulseAudio server with a null sink; in each run
the first name is dropped as soon as the window shows its names, then a few
more follow at a player's pace (correct and wrong). The delay is from the
moment the mouse button is let go to the first sample of the expected sound
in the recording of the sink's monitor, by the recording's clock and by
when the recorder received it (an upper bound). bench/run.sh runs it on a
virtual X display.

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


def one_start(build, source, server, out, later=6):
    quiz = q.Quiz(build / "orbenvale", out)
    quiz.learn(source)
    sounds = {k: L.expected_sound(build / "orbenvale-decode", build / "sounds" / f"{k}.wma")
              for k in ("correct", "wrong")}
    rec = L.Recorder(server).start()
    pointer = L.Pointer(quiz.display)
    drops = []
    try:
        quiz.start()
        quiz.wait_window()
        quiz.wait_screen("the names", lambda im: all(quiz.names_in_panel(im)))
        names = quiz.names
        plan = [(0, names[0], "correct")]
        for k in range(1, later + 1):
            if k % 3 == 2:
                plan.append((k, names[(k + 1) % len(names)], "wrong"))
            else:
                plan.append((k, names[k], "correct"))
        for i, country, sound in plan:
            L.press_and_carry(quiz, q.grab_point(i), quiz.points[country])
            drops.append((pointer.release(), sound))
            time.sleep(0.6)
        time.sleep(0.3)
    finally:
        quiz.stop()
        rec.stop()
    r = rec.left()
    result = []
    for t, sound in drops:
        at = L.find_onset(r, sounds[sound], rec.sample_at(t - 0.005), rec.sample_at(t + 0.55))
        if at is None:
            result.append(None)
        else:
            result.append(((rec.time_of(at) - t) * 1000, (rec.delivered(at) - t) * 1000))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--starts", type=int, default=5)
    args = ap.parse_args()
    build, source = Path(args.build).resolve(), Path(args.source).resolve()
    first, later, missed, total = [], [], 0, 0
    with tempfile.TemporaryDirectory(prefix="orbenvale-drop-") as work, L.SoundServer(work) as server:
        os.environ.update(server.env())
        for n in range(args.starts):
            res = one_start(build, source, server, Path(work) / f"run{n}")
            total += len(res)
            missed += sum(1 for x in res if x is None)
            if res[0] is not None:
                first.append(res[0])
            later += [x for x in res[1:] if x is not None]

    def show(label, values):
        if not values:
            print(f"{label:<48} none heard")
            return
        clock = [v[0] for v in values]
        got = [v[1] for v in values]
        print(f"{label:<48} {statistics.median(clock):6.1f} {max(clock):6.1f}   "
              f"{statistics.median(got):6.1f} {max(got):6.1f}   {len(values):3d}")

    print(f"{'drop to sound, ms':<48} {'clock':>6} {'':>6}   {'recvd':>6} {'':>6}")
    print(f"{'':<48} {'median':>6} {'max':>6}   {'median':>6} {'max':>6}   {'n':>3}")
    show("first drop after start (names just shown)", first)
    show("later drops (correct and wrong, 0.6 s apart)", later)
    print(f"drops heard: {total - missed} of {total}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
