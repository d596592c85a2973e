#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The installed program: install the build into a fresh folder, start it
through the bin/orbenvale link from another working folder, and check that
its window shows, that a name can be placed (so it found items.txt in its
real folder behind the link), that a wrong drop is refused, and that Exit,
and closing the window, end it with exit code 0.

  installed.py --build build --source . --out build/e2e/installed
  installed.py --program /usr/games/orbenvale --source . --out ... --layout ...
      (a program installed already, by the package)

Run it on an X display (tests/e2e/xvfb.sh).
"""

import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402


def main():
    def more(ap):
        ap.add_argument("--build")
        ap.add_argument("--cmake", default="cmake")
    args = q.script_args(more, program=False)
    prefix = Path(tempfile.mkdtemp(prefix="orbenvale-installed."))
    quiz = None
    try:
        if args.program:
            program = Path(args.program)
            if not program.is_symlink():
                print(f"FAILED: {program} is not a link", file=sys.stderr)
                return 1
            # From a folder of its own, as a menu would start it.
            quiz = q.Quiz(program, args.out, cwd=str(prefix))
            return q.main_guard(lambda: check(quiz, args.source), quiz)
        if not args.build:
            print("FAILED: --build or --program is needed", file=sys.stderr)
            return 1
        r = subprocess.run([args.cmake, "--install", args.build, "--prefix", str(prefix)],
                           capture_output=True, text=True)
        if r.returncode != 0:
            print(f"FAILED: cmake --install: {r.stdout}{r.stderr}", file=sys.stderr)
            return 1
        program = prefix / "bin" / "orbenvale"
        if not program.is_symlink():
            print(f"FAILED: {program} is not a link", file=sys.stderr)
            return 1
        # Starting from the prefix, not from lib/orbenvale/, so a program that
        # looked in its working folder would find nothing.
        quiz = q.Quiz(program, args.out, cwd=str(prefix))
        return q.main_guard(lambda: check(quiz, args.source), quiz)
    finally:
        if quiz:
            quiz.stop()
        shutil.rmtree(prefix, ignore_errors=True)


def check(quiz, source):
    quiz.learn(source)
    t0 = time.monotonic()
    quiz.start()
    quiz.wait_window()
    if quiz.size != q.SIZE:
        quiz.fail(f"the window is {quiz.size[0]} x {quiz.size[1]}, not {q.SIZE[0]} x {q.SIZE[1]}")
    print(f"window '{q.TITLE}' {quiz.size[0]}x{quiz.size[1]} after {time.monotonic() - t0:.2f} s")
    quiz.wait_opening()

    i = 0
    quiz.drag(q.grab_point(i), quiz.points[quiz.names[i]])
    quiz.wait_screen(f"'{quiz.names[i]}' dropped on its country: it should leave the panel and show on the map",
                     lambda im: not quiz.names_in_panel(im)[i] and quiz.map_labels_shown(im)[i])
    print(f"'{quiz.names[i]}' placed on the map")

    # A wrong drop: the country it was judged as flashes, and then the map is
    # as it was, with the name still on the panel.
    before = quiz.shot()
    wrong, onto = 1, quiz.names[2]
    quiz.drag(q.grab_point(wrong), quiz.points[onto])
    quiz.wait_screen(f"'{quiz.names[wrong]}' dropped on {onto}: the country should flash",
                     lambda im: quiz.map_changes(im, before) > 0, timeout=2)
    after = quiz.wait_screen(f"'{quiz.names[wrong]}' dropped on {onto}: the map as before once the flash is over",
                             lambda im: quiz.map_changes(im, before) == 0, timeout=3)
    if not quiz.names_in_panel(after)[wrong]:
        quiz.fail(f"'{quiz.names[wrong]}' dropped on {onto} left the panel", after)
    print(f"'{quiz.names[wrong]}' dropped on {onto}: refused, still on the panel")

    quiz.click_button(q.EXIT)
    expect_clean_exit(quiz, "a click on Exit")
    print("Exit ends the installed program with exit code 0")

    # The close box ends it too; with no window manager here, the test sends
    # the message a window manager sends for it.
    quiz.start()
    quiz.wait_window()
    quiz.display.close(quiz.window)
    expect_clean_exit(quiz, "its window was asked to close")
    print("closing the window ends the installed program with exit code 0")


def expect_clean_exit(quiz, after):
    try:
        code = quiz.proc.wait(10)
    except subprocess.TimeoutExpired:
        quiz.fail(f"the program still runs 10 s after {after}")
    if code != 0:
        quiz.fail(f"the program ended with exit code {code} after {after}")


if __name__ == "__main__":
    sys.exit(main())
