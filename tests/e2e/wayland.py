#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The quiz as a native Wayland client (QT_QPA_PLATFORM=wayland) in Weston:
it opens whole with a title bar of its own that offers minimise and close
but no maximise, looks as it does on X, takes real pointer events (xdotool
moving the pointer over Weston's own X window), places a name dropped on
its country, keeps one dropped on the wrong country, and ends at Exit.

  wayland.py --program build/orbenvale --source . --out build/e2e/wayland

Run it in tests/e2e/wayland.sh on an X display (tests/e2e/xvfb.sh). On a
failure it prints what the screen showed and saves screenshots to --out.
"""

import os
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

BACKGROUND = (0x20, 0x40, 0x60)  # wayland.sh gives Weston this plain background


class WaylandQuiz(q.Quiz):
    """The quiz inside Weston: its client area is found on Weston's window,
    the title bar above it."""

    platform = "wayland"

    def wait_window(self, timeout=20):
        deadline = time.monotonic() + timeout
        weston = None
        while not weston and time.monotonic() < deadline:
            for wid in q.run("xdotool", "search", "--name", "", check=False).split():
                if q.run("xdotool", "getwindowname", wid, check=False).startswith(os.environ["WESTON_WINDOW"]):
                    weston = int(wid)
            time.sleep(0.05)
        if not weston:
            raise q.Failure(f"Weston's window is not on the X display: {q.visible_windows()}")
        g = q.run("xdotool", "getwindowgeometry", "--shell", weston)
        geo = dict(line.split("=", 1) for line in g.split())
        wx, wy, ww, wh = (int(geo[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        self.weston = (wx, wy, ww, wh)
        # The pointer off to a corner, where Weston draws it out of the way.
        q.run("xdotool", "mousemove", wx + ww - 2, wy + wh - 2)
        while time.monotonic() < deadline:
            if not self.alive():
                raise q.Failure(f"the program ended (exit code {self.proc.returncode}) before its window showed")
            image = self.display.grab(wx, wy, ww, wh)
            other = np.abs(image.astype(np.int16) - BACKGROUND).max(axis=2) > 12
            other[-40:, -40:] = False  # the pointer
            ys, xs = np.nonzero(other)
            if len(ys) and xs.max() - xs.min() + 1 == q.SIZE[0] and ys.max() - ys.min() + 1 > q.SIZE[1]:
                top, left = int(ys.min()), int(xs.min())
                self.caption = int(ys.max()) + 1 - top - q.SIZE[1]
                self.frame = (wx + left, wy + top)
                self.origin = (wx + left, wy + top + self.caption)
                self.size = q.SIZE
                self.window = weston
                return weston
            time.sleep(0.1)
        self.window = weston
        self.origin = (wx, wy)
        self.fail(f"no window of the quiz's size on Weston's screen within {timeout} s")

    def shot(self):
        return self.display.grab(self.origin[0], self.origin[1], q.SIZE[0], q.SIZE[1])

    def title_bar(self):
        return self.display.grab(self.frame[0], self.frame[1], q.SIZE[0], self.caption)


def check(quiz, source):
    quiz.learn(source)
    quiz.start()
    quiz.wait_window()
    opening = quiz.wait_opening(settle=0.3)
    print(f"the window opens whole: a {quiz.caption}-pixel title bar of its own over the {q.SIZE[0]}x{q.SIZE[1]} "
          "client area")
    title_bar_has_no_maximise(quiz)

    # A correct drop, then a wrong one, with real pointer events.
    g = quiz.names.index("Germany")
    quiz.drag(q.grab_point(g), quiz.points["Germany"])
    quiz.wait_screen("'Germany' dropped on Germany leaves the panel and shows on the map",
                     lambda im: not quiz.names_in_panel(im)[g] and quiz.map_labels_shown(im)[g])
    print("Germany dropped on Germany: placed")
    s = quiz.names.index("Spain")
    quiz.drag(q.grab_point(s), quiz.points["France"])
    time.sleep(0.7)
    after = quiz.shot()
    if not quiz.names_in_panel(after)[s] or quiz.map_labels_shown(after)[s]:
        quiz.fail("'Spain' dropped on France did not stay on the panel", after)
    if quiz.changed(after, opening, q.panel_rect(s)) > 40:
        quiz.fail("'Spain' on the panel looks different after a wrong drop", after)
    print("Spain dropped on France: back on the panel")
    quiz.exit_by_button()
    print("Exit: the program ended with exit code 0")


def title_bar_has_no_maximise(quiz):
    """Strokes on the title bar: the caption, and at the right two buttons
    (minimise, close), nothing where a maximise button would be."""
    bar = quiz.title_bar().astype(np.int16)
    ground = np.median(bar.reshape(-1, 3), axis=0)
    ink = np.abs(bar - ground).max(axis=2) > 40
    w = q.SIZE[0]
    # Buttons as the window draws them: 18 pixels wide, 5 apart, 8 from the edge.
    close = ink[:, w - 26:w - 8]
    minimise = ink[:, w - 49:w - 31]
    maximise = ink[:, w - 72:w - 54]
    caption = ink[:, w // 2 - 150:w // 2 + 150]
    if close.sum() < 10 or minimise.sum() < 5:
        quiz.fail(f"the title bar shows no close or minimise button ({close.sum()}, {minimise.sum()} pixels of ink)")
    if maximise.sum():
        quiz.fail(f"the title bar shows something where a maximise button would be ({maximise.sum()} pixels)")
    if caption.sum() < 100:
        quiz.fail("the title bar shows no caption")
    print("the title bar: the caption, minimise and close; no maximise")


def main():
    args = q.script_args()
    quiz = WaylandQuiz(args.program, args.out)
    try:
        return q.main_guard(lambda: check(quiz, Path(args.source)), quiz)
    finally:
        quiz.stop()


if __name__ == "__main__":
    sys.exit(main())
