#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Start-up with the files of the program folder as a person finds them on
the screen, without touching the mouse:

- with a skin and a pointer cursor, the skin shows on the buttons and the
  window carries its icon from the first frame on;
- with hostile files (named pipes, links to endless devices, a flood of
  surplus lines) the window still comes up within a few seconds after a few
  error boxes, and Exit ends the program.

  startfiles.py --program build/orbenvale --out build/e2e/startfiles

Run it on an X display (tests/e2e/xvfb.sh). Each case runs a copy of the
program in a folder of its own.
"""

import argparse
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

RED_SKIN = "QPushButton#PushButton1 { background: #ff0000; border: none; color: #ff0000; }\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    q.load_layout(Path(os.path.realpath(args.program)).parent / "window-layout.json")
    program = Path(os.path.realpath(args.program))
    root = Path(tempfile.mkdtemp(prefix="orbenvale-startfiles."))
    quiz = None
    try:
        def body():
            nonlocal quiz
            for name, prepare, check in CASES:
                folder = root / name
                folder.mkdir()
                shutil.copy2(program, folder / "orbenvale")
                shutil.copy2(program.parent / "items.txt", folder / "items.txt")
                (folder / "sounds").symlink_to(program.parent / "sounds")
                (folder / "x").mkdir()
                prepare(folder, program.parent)
                if quiz:
                    quiz.stop()
                quiz = q.Quiz(folder / "orbenvale", Path(args.out) / name)
                q.run("xdotool", "mousemove", "0", "0")   # well away from the window
                quiz.start()
                check(quiz)
                print(f"{name}: passed")
        return q.main_guard(body, None)
    finally:
        if quiz:
            quiz.stop()
        shutil.rmtree(root, ignore_errors=True)


def skinned(folder, build):
    shutil.copy2(build / "HAND-M.CUR", folder / "HAND-M.CUR")
    (folder / "x" / "o.cjs").write_text(RED_SKIN)


def pipes(folder, build):
    for name in ("items.txt", "HAND-M.CUR", "x/o.cjs"):
        (folder / name).unlink(missing_ok=True)
        os.mkfifo(folder / name)


def devices(folder, build):
    (folder / "items.txt").unlink()
    (folder / "items.txt").symlink_to("/dev/zero")
    (folder / "HAND-M.CUR").symlink_to("/dev/urandom")
    (folder / "x" / "o.cjs").symlink_to("/dev/zero")


def flood(folder, build):
    items = (folder / "items.txt").read_bytes()
    (folder / "items.txt").write_bytes(items + b"Extra\n" * 100000)


def skin_picture_pipe(folder, build):
    os.mkfifo(folder / "x" / "button.png")
    (folder / "x" / "o.cjs").write_text("QPushButton { border-image: url(button.png); }\n")


def check_skin_and_icon(quiz):
    quiz.wait_window(10)
    x, y, w, h = q.RESTART

    def red(im):
        a = im[y + 3:y + h - 3, x + 3:x + w - 3].astype(np.int16)
        return np.mean((a[..., 0] > 200) & (a[..., 1] < 60) & (a[..., 2] < 60)) > 0.8
    quiz.wait_screen("the skin's red Restart button, before any pointer move", red, timeout=10)
    icon = q.run("xprop", "-id", str(quiz.window), "_NET_WM_ICON", check=False)
    if "_NET_WM_ICON(CARDINAL)" not in icon:
        quiz.fail(f"the window has no icon for the taskbar: {icon.strip()}")
    quiz.exit_by_button()


def comes_up_after_boxes(most):
    def check(quiz):
        t0 = time.monotonic()
        boxes = 0
        deadline = t0 + 15
        while True:
            if not quiz.alive():
                quiz.fail(f"the program ended (exit code {quiz.proc.returncode}) during start-up")
            box = q.find_window("Application Error")
            if box:
                boxes += 1
                if boxes > most:
                    quiz.fail(f"more than {most} error boxes at start-up")
                quiz.key_to_window(box, "Return")
                gone = time.monotonic() + 5
                while q.find_window("Application Error") == box:
                    if time.monotonic() > gone:
                        quiz.fail("an error box stays up after Return")
                    time.sleep(0.05)
                continue
            if q.find_window(q.TITLE):
                break
            if time.monotonic() > deadline:
                quiz.fail(f"no window {deadline - t0:.0f} s after the start, {boxes} boxes closed")
            time.sleep(0.05)
        if boxes == 0:
            quiz.fail("no error box said what was wrong with the files")
        quiz.wait_window(5)
        quiz.wait_screen("the panel", lambda im: im[400, 850, 2] > im[400, 850, 0] + 40)
        print(f"  window after {boxes} boxes, {time.monotonic() - t0:.1f} s")
        quiz.exit_by_button()
    return check


CASES = [
    ("skinned", skinned, check_skin_and_icon),
    ("pipes", pipes, comes_up_after_boxes(3)),
    ("devices", devices, comes_up_after_boxes(3)),
    ("flood", flood, comes_up_after_boxes(9)),
    ("skin-picture-pipe", skin_picture_pipe, comes_up_after_boxes(1)),
]


if __name__ == "__main__":
    sys.exit(main())
