#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Takes the pictures of the window for docs/: window.png at start and
window-playing.png with some names placed. Not a test.

  tests/e2e/xvfb.sh /usr/bin/python3 tools/screenshots.py \\
      --program build/orbenvale --source . --out docs
"""

import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import quizdriver as q  # noqa: E402

# Names spread over the map, so the picture shows play across it.
PLACED = ["France", "Germany", "Spain", "Italy", "Poland", "Sweden", "Norway", "Finland",
          "United Kingdom", "Ireland", "Greece", "Romania", "Austria", "Belgium", "Ukraine"]


def main():
    args = q.script_args()
    out = Path(args.out)
    quiz = q.Quiz(args.program, tempfile.mkdtemp(prefix="orbenvale-shots."))
    try:
        return q.main_guard(lambda: take(quiz, Path(args.source), out), quiz)
    finally:
        quiz.stop()


def take(quiz, source, out):
    quiz.learn(source)
    quiz.start()
    quiz.wait_window()
    quiz.baseline = quiz.wait_screen("all names in the panel", lambda im: all(quiz.names_in_panel(im)))
    quiz.move(300, 600)          # the pointer off the window
    time.sleep(0.3)
    q.run("import", "-window", quiz.window, out / "window.png")
    for name in PLACED:
        i = quiz.names.index(name)
        quiz.drag(q.grab_point(i), quiz.points[name])
        quiz.wait_screen(f"'{name}' on the map", lambda im: not quiz.names_in_panel(im)[i])
    quiz.move(300, 600)
    time.sleep(0.3)
    q.run("import", "-window", quiz.window, out / "window-playing.png")
    quiz.click_button(q.EXIT)
    quiz.proc.wait(10)
    print(f"wrote {out / 'window.png'} and {out / 'window-playing.png'}")


if __name__ == "__main__":
    sys.exit(main())
