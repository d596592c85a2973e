#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A sound server that fails never holds up the quiz: drops still show and
Exit ends the program within a second when the server is frozen (SIGSTOP)
from the start, or freezes in the middle of a round while a chime plays;
when the server crashes and a new one starts at the same address, the drops
after it are heard again.

  soundfaults.py --program build/orbenvale --source . --out build/e2e/soundfaults

Run it on an X display (tests/e2e/xvfb.sh). It starts and stops its own
PulseAudio servers.
"""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import listening as L  # noqa: E402
import quizdriver as q  # noqa: E402

# Exit must end the program this soon whatever the sound server does; well
# above what it takes (a few tens of milliseconds), far below a hang.
EXIT_WITHIN = 1.0


def main():
    args = q.script_args()
    server = L.SoundServer()
    try:
        if not server.serve_tests("test with"):
            return 1
        for name, body in (("frozen from the start", frozen_from_start), ("frozen mid-round", frozen_mid_round),
                           ("crashed and started again", crashed_and_restarted)):
            print(f"{name}:")
            code = q.play_once(args.program, Path(args.out) / name.replace(" ", "-"),
                               lambda quiz: body(quiz, Path(args.source), server))
            if server.proc is not None and server.proc.poll() is None:
                server.resume()
            if code:
                return code
        return 0
    finally:
        server.stop()


def start(quiz, source):
    quiz.learn(source)
    quiz.start()
    quiz.wait_window()
    quiz.wait_opening()


def drop_and_see(quiz, name, country):
    """Drops a name and waits for the board to show the verdict."""
    i = quiz.names.index(name)
    quiz.drag(q.grab_point(i), quiz.points[country])
    if name == country:
        quiz.wait_screen(f"{name} placed", lambda im: quiz.map_labels_shown(im)[i] and not quiz.names_in_panel(im)[i])
    else:
        time.sleep(0.2)
        shot = quiz.shot()
        if not quiz.names_in_panel(shot)[i] or quiz.map_labels_shown(shot)[i]:
            quiz.fail(f"{name} dropped on {country} should stay on the panel", shot)


def ended_within(quiz, how):
    """Ends the program by Exit or by its close box; fails unless it is gone
    within EXIT_WITHIN."""
    if how == "Exit":
        x, y, w, h = q.EXIT
        q.run("xdotool", "mousemove", *quiz.at(x + w // 2, y + h // 2))
        time.sleep(0.1)
        t0 = time.monotonic()
        q.run("xdotool", "click", "1")
    else:
        t0 = time.monotonic()
        quiz.display.close(quiz.window)
    while quiz.alive() and time.monotonic() - t0 < 10:
        time.sleep(0.005)
    took = time.monotonic() - t0
    if quiz.alive():
        quiz.fail(f"the program still runs 10 s after {how} with the sound server frozen")
    if took > EXIT_WITHIN:
        quiz.fail(f"the program took {took:.2f} s to end after {how}")
    if quiz.proc.returncode != 0:
        quiz.fail(f"the program ended with exit code {quiz.proc.returncode}")
    return took


def frozen_from_start(quiz, source, server):
    server.pause()
    start(quiz, source)
    drop_and_see(quiz, "Germany", "Germany")  # the first press: the output tries to connect
    drop_and_see(quiz, "Spain", "France")
    drop_and_see(quiz, "Italy", "Italy")
    took = ended_within(quiz, "Exit")
    print(f"  frozen before the first press: three drops shown, Exit ended the program in {took * 1000:.0f} ms")


def frozen_mid_round(quiz, source, server):
    start(quiz, source)
    recorder = L.Recorder(server).start()
    drop_and_see(quiz, "Germany", "Germany")
    time.sleep(0.4)
    recorder.stop()
    decoder = Path(quiz.program).resolve().parent / "orbenvale-decode"
    chime = L.expected_sound(decoder, Path(quiz.program).resolve().parent / "sounds" / "correct.wma")
    if L.find_onset(recorder.left(), chime, 0, len(recorder.left())) is None:
        quiz.fail("the first chime was not heard, before the server froze")
    drop_and_see(quiz, "France", "France")
    server.pause()  # while its chime plays
    drop_and_see(quiz, "Spain", "Portugal")
    drop_and_see(quiz, "Italy", "Italy")
    time.sleep(0.6)  # long enough for the output to give the server up
    drop_and_see(quiz, "Poland", "Poland")
    took = ended_within(quiz, "the close box")
    print(f"  frozen while a chime played: the drops after it shown, the close box ended the program "
          f"in {took * 1000:.0f} ms")


def crashed_and_restarted(quiz, source, server):
    program_dir = Path(quiz.program).resolve().parent
    chime = L.expected_sound(program_dir / "orbenvale-decode", program_dir / "sounds" / "correct.wma")
    buzz = L.expected_sound(program_dir / "orbenvale-decode", program_dir / "sounds" / "wrong.wma")
    start(quiz, source)

    def heard(sound, what, drops):
        recorder = L.Recorder(server).start()
        time.sleep(0.2)
        for name, country in drops:
            drop_and_see(quiz, name, country)
            time.sleep(0.4)
        recorder.stop()
        rec = recorder.left()
        if L.find_onset(rec, sound, 0, len(rec)) is None:
            quiz.fail(f"{what}: the {'chime' if sound is chime else 'buzz'} was not heard")

    heard(chime, "before the crash", [("Germany", "Germany")])
    server.kill()
    drop_and_see(quiz, "France", "France")  # no server: silent, but shown
    server.start()
    heard(buzz, "after a new server started", [("Spain", "Portugal")])
    heard(chime, "and the drop after that", [("Italy", "Italy")])
    quiz.exit_by_button()
    print("  crashed and started again: the drop without a server shown, the drops after the new server heard")


if __name__ == "__main__":
    sys.exit(main())
