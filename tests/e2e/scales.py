#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The quiz at the scales laptops use, and on a laptop's screen too small for
it. At each scale (QT_SCALE_FACTOR) the window opens whole on the screen,
as large as the scale asks where that fits and smaller, all of it alike,
where it does not; names dropped on their countries where they are drawn
(small ones too) are placed; the drop light covers the country under the
pointer and nothing beyond it; the push-pin and the hand read back from the
X server (XFixes) are 32 window pixels of the full-size window times the
scale (and the zoom), within 15%, their hotspots on the needle's tip and the
finger.

  scales.py --program build/orbenvale --source . --out build/e2e/scales \\
            --scale 1.25 --scale 1.5 [--names all]

Run it on an X display (tests/e2e/xvfb.sh --screen ...). On a failure it
prints what the screen showed and saves screenshots to --out.
"""

import os
import sys
import time
from pathlib import Path

import numpy as np
from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

SMALL = ["Luxembourg", "Kosovo", "Montenegro", "Germany", "Iceland", "Slovenia"]
PIN_HOTSPOT = (29, 29)  # the needle's tip in the 32-pixel push-pin


def main():
    args = q.script_args(lambda ap: (ap.add_argument("--scale", type=float, action="append", required=True),
                                     ap.add_argument("--names", choices=("small", "all"), default="small")))
    for scale in args.scale:
        os.environ["QT_SCALE_FACTOR"] = f"{scale:g}"
        status = q.play_once(args.program, Path(args.out) / f"scale{scale:g}",
                             lambda quiz: check(quiz, Path(args.source), scale, args.names))
        if status:
            return status
    return 0


def screen_size():
    out = q.run("xdotool", "getdisplaygeometry")
    w, h = out.split()
    return int(w), int(h)


def check(quiz, source, scale, which):
    quiz.learn(source)
    quiz.start()
    quiz.wait_window()
    sw, sh = screen_size()
    w, h = quiz.size
    x, y = quiz.origin
    if x < 0 or y < 0 or x + w > sw or y + h > sh:
        quiz.fail(f"at scale {scale:g} the window ({w}x{h} at {x},{y}) is not whole on the {sw}x{sh} screen")
    k = w / q.SIZE[0]  # window pixels a pixel of the full-size window takes
    if abs(h - q.SIZE[1] * k) > 2:
        quiz.fail(f"at scale {scale:g} the window is {w}x{h}: not the full-size window made larger or smaller alike")
    fits = q.SIZE[0] * scale + 16 <= sw and q.SIZE[1] * scale + 48 <= sh
    if fits and abs(k - scale) > 0.01:
        quiz.fail(f"at scale {scale:g} the window is {w}x{h}, though {scale:g} times the full size fits the screen")
    if not fits and k >= scale:
        quiz.fail(f"at scale {scale:g} the window is {w}x{h}, too large for the {sw}x{sh} screen")

    def shot():
        return quiz.display.grab(x, y, w, h)

    def at(point):
        return (point[0] * k, point[1] * k)

    def name_shown(image, i):
        bx, by, bw, bh = q.panel_text_band(i)
        return q.Quiz.white_in(image, (int(bx * k), int(by * k), max(1, int(bw * k)), max(1, int(bh * k)))) >= 12

    opening = deadline_wait(quiz, f"all names in the panel at scale {scale:g}", shot,
                            lambda im: all(name_shown(im, i) for i in range(q.NAMES)))
    quiz.save(opening, "opening.png")
    print(f"scale {scale:g}: the window is {w}x{h} at {x},{y} on a {sw}x{sh} screen "
          f"({k:.3f} window pixels a full-size pixel)")

    # The hand over Restart.
    hand, hand_hotspot = q.cursor_file_mask(source / "assets" / "HAND-M.CUR")
    rx, ry, rw, rh = q.RESTART
    quiz.move((rx + rw // 2) * k, (ry + rh // 2) * k)
    pointer_sized(quiz, "the hand over Restart", hand_hotspot, 32 * k)

    mask = np.array(Image.open(source / "layout" / "countrymask.png"))  # map-label order + 1
    _, labels = q.read_layout()
    value = {m[4]: n + 1 for n, m in enumerate(labels)}
    names = quiz.names if which == "all" else SMALL
    placed = 0
    for name in names:
        i = quiz.names.index(name)
        source_point, target = at(q.grab_point(i)), at(quiz.points[name])

        def while_dragging():
            if placed == 0:
                pointer_sized(quiz, "the push-pin while dragging", PIN_HOTSPOT, 32 * k)
            if name == "Germany":
                light_on(quiz, shot, opening, mask, value[name], k)

        quiz.drag(source_point, target, while_dragging=while_dragging)
        deadline_wait(quiz, f"'{name}' dropped on {name} at scale {scale:g} leaves the panel", shot,
                      lambda im: not name_shown(im, i), timeout=5)
        placed += 1
    if which == "all":
        deadline_wait(quiz, "the SUCCESS box", shot, lambda _: q.find_window("SUCCESS"), timeout=10)
        print(f"scale {scale:g}: all {placed} names placed where their countries are drawn; the SUCCESS box shows")
    else:
        print(f"scale {scale:g}: {', '.join(names)} placed where they are drawn")


def deadline_wait(quiz, what, grab, predicate, timeout=10.0):
    deadline = time.monotonic() + timeout
    while True:
        image = grab()
        if predicate(image):
            return image
        if time.monotonic() > deadline or not quiz.alive():
            quiz.fail(f"{what}: not seen within {timeout} s", image if isinstance(image, np.ndarray) else None)
        time.sleep(0.05)


def pointer_sized(quiz, what, hotspot, side):
    """The pointer as the X server has it: side pixels within 15%, its
    hotspot on the same spot of the picture."""
    def right(p):
        if p.width < 8 or abs(p.width - side) > 0.15 * side or abs(p.height - side) > 0.15 * side:
            return False
        f = p.width / 32
        return abs(p.xhot - hotspot[0] * f) <= 1.5 and abs(p.yhot - hotspot[1] * f) <= 1.5
    p = quiz.wait_pointer(f"{what}, {side:.0f} pixels, hotspot on {hotspot} scaled", right, timeout=5)
    print(f"  {what}: {p.width}x{p.height}, hotspot {p.xhot},{p.yhot} (32 x {side / 32:.3f} = {side:.1f})")


def light_on(quiz, shot, opening, mask, value, k):
    """The light over the country under the pointer covers its land as drawn
    and nothing beyond it (a pixel of smoothing aside)."""
    h, w = opening.shape[:2]
    ys, xs = np.mgrid[0:h, 0:w]
    mx = np.clip((xs / k).astype(int) + q.MAP_OFFSET, 0, mask.shape[1] - 1)
    my = np.clip((ys / k).astype(int), 0, mask.shape[0] - 1)
    land = (mask[my, mx] == value) & (xs < q.MAP_RIGHT * k)
    near = land.copy()
    for d in range(1, int(np.ceil(2 * k)) + 1):
        near[d:, :] |= land[:-d, :]
        near[:-d, :] |= land[d:, :]
        near[:, d:] |= land[:, :-d]
        near[:, :-d] |= land[:, d:]

    def lit(image):
        return (image.astype(np.int16).sum(axis=2) - opening.astype(np.int16).sum(axis=2)) > 36

    image = deadline_wait(quiz, "the country under the pointer lit", shot,
                          lambda im: np.mean(lit(im)[land]) > 0.8, timeout=5)
    beyond = int(np.count_nonzero(lit(image) & ~near & (xs < q.MAP_RIGHT * k)))
    if beyond > 20:
        quiz.save(image, "light-beyond.png")
        quiz.fail(f"the light reaches {beyond} pixels beyond the country", image)
    print(f"  the light covers {np.mean(lit(image)[land]):.2f} of the country's land, {beyond} pixels beyond it")


if __name__ == "__main__":
    sys.exit(main())
