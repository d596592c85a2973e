#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The country a dragged name would go to, as the screen shows it: dragging
"Germany" over Germany lights up Germany's land and leaves France as it was;
over the open sea nothing is lit; let go over France (a wrong drop), France
flashes for about half a second and then looks as before. On a screen at
scale 2 the push-pin and the hand pointer are drawn at twice the size, their
hotspots on the same spots of the pictures.

  droptint.py --program build/orbenvale --source . --out build/e2e/droptint

Run it on an X display (tests/e2e/xvfb.sh). On a failure it prints what the
screen showed and saves screenshots to --out.
"""

import os
import sys
import time
from pathlib import Path

import numpy as np
from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

OPEN_SEA = (20, 300)          # west of Ireland, under no drop zone


def main():
    args = q.script_args()
    status = q.play_once(args.program, args.out, lambda quiz: check(quiz, Path(args.source)))
    if status:
        return status
    os.environ["QT_SCALE_FACTOR"] = "2"
    return q.play_once(args.program, Path(args.out) / "scale2",
                       lambda quiz: pointers_at_scale_2(quiz, Path(args.source)))


def inner_land(mask, value, margin=2):
    """Window pixels (ys, xs) of a country's land at least margin pixels
    from its border, within the visible map."""
    land = mask == value
    inner = land.copy()
    for d in range(1, margin + 1):
        inner[d:, :] &= land[:-d, :]
        inner[:-d, :] &= land[d:, :]
        inner[:, d:] &= land[:, :-d]
        inner[:, :-d] &= land[:, d:]
    ys, xs = np.nonzero(inner)
    xs = xs - q.MAP_OFFSET
    keep = (xs >= 0) & (xs < q.MAP_RIGHT) & (ys < q.SIZE[1])
    return ys[keep], xs[keep]


def lightness(image, where):
    ys, xs = where
    return image[ys, xs].astype(np.int16).sum(axis=1) / 3.0


def check(quiz, source):
    quiz.learn(source)
    names = quiz.names
    mask = np.array(Image.open(source / "layout" / "countrymask.png"))   # value: map-label order + 1
    regions, labels = q.read_layout()
    value = {m[4]: k + 1 for k, m in enumerate(labels)}
    germany, france = inner_land(mask, value["Germany"]), inner_land(mask, value["France"])
    if len(germany[0]) < 1000 or len(france[0]) < 1000:
        raise q.Failure("the country mask shows too little of Germany or France")
    # Sea that a drop zone covers, well away from any land: a drop there is
    # judged, but the pointer is not over a country, so nothing is lit.
    countries = sorted({r[4] for r in regions})
    judged = q.judged_map(regions, countries)
    window_mask = mask[:q.SIZE[1], q.MAP_OFFSET:q.MAP_OFFSET + q.MAP_RIGHT]
    open_water = window_mask == 0
    for d in range(1, 5):
        open_water[d:, :] &= window_mask[:-d, :] == 0
        open_water[:-d, :] &= window_mask[d:, :] == 0
        open_water[:, d:] &= window_mask[:, :-d] == 0
        open_water[:, :-d] &= window_mask[:, d:] == 0
    ys, xs = np.nonzero(open_water & (judged >= 0))
    if not len(ys):
        raise q.Failure("no sea under a drop zone")
    zoned_sea = (int(xs[len(xs) // 2]), int(ys[len(ys) // 2]))

    quiz.start()
    quiz.wait_window()
    before = quiz.wait_opening(settle=0.3)
    i = names.index("Germany")

    def lit(image, where):
        return float(np.mean(lightness(image, where) - lightness(before, where) > 12))

    def unchanged(image, where):
        """How many of these pixels differ from the start (0: none)."""
        ys, xs = where
        return int(np.count_nonzero(np.abs(image[ys, xs].astype(np.int16) - before[ys, xs]).max(axis=1) > 6))

    def map_as_before(image):
        d = np.abs(image[:, :q.MAP_RIGHT].astype(np.int16) - before[:, :q.MAP_RIGHT]).max(axis=2)
        return int(np.count_nonzero(d > 6)) == 0

    def over_germany():
        shot = quiz.wait_screen("'Germany' dragged over Germany: Germany's land lit up",
                                lambda im: lit(im, germany) > 0.95)
        if unchanged(shot, france):
            quiz.fail(f"dragging 'Germany' over Germany changed {unchanged(shot, france)} pixels of France", shot)
        d = np.abs(shot[:, :q.MAP_RIGHT].astype(np.int16) - before[:, :q.MAP_RIGHT]).max(axis=2)
        beyond = int(np.count_nonzero((d > 6) & ~grown(window_mask == value["Germany"], 2)))
        if beyond:
            quiz.fail(f"dragging 'Germany' over Germany changed {beyond} pixels beyond Germany", shot)
        quiz.save(shot, "tint-germany.png")
        print(f"over Germany: {lit(shot, germany):.3f} of Germany's land lit, France and the sea as before")
        # Over open sea, and over sea that a zone still covers: nothing lit.
        for where, (x, y) in (("open sea", OPEN_SEA), (f"sea under a drop zone at {zoned_sea}", zoned_sea)):
            quiz.move(x, y)
            quiz.wait_screen(f"'Germany' dragged over the {where}: no country lit", map_as_before)
        print("over the sea, under a drop zone or not: nothing lit")
        quiz.move(*quiz.points["France"])

    # Drag over Germany, then the sea, then let go over France: a wrong drop.
    quiz.drag(q.grab_point(i), quiz.points["Germany"], while_dragging=over_germany)
    dropped = time.monotonic()
    flash = quiz.wait_screen("'Germany' let go over France: France flashes",
                             lambda im: red_share(im, before, france) > 0.95, timeout=0.45)
    seen_after = time.monotonic() - dropped
    if unchanged(flash, germany):
        quiz.fail("the flash over France changed Germany", flash)
    quiz.save(flash, "flash-france.png")
    after = quiz.wait_screen("the flash over France is over", lambda im: unchanged(im, france) == 0, timeout=3)
    gone = time.monotonic() - dropped
    if gone < 0.3:
        quiz.fail(f"France's flash lasted only {gone:.2f} s", after)
    if not quiz.names_in_panel(after)[i]:
        quiz.fail("'Germany' dropped on France left the panel", after)
    print(f"wrong drop: France flashed (seen {seen_after:.2f} s after the drop, gone after {gone:.2f} s)")


def pointers_at_scale_2(quiz, source):
    """The window at scale 2 is twice the size; the hand over Restart and the
    push-pin while dragging are drawn at 64 x 64 with their hotspots doubled."""
    quiz.start()
    quiz.wait_window()
    if quiz.size != (2 * q.SIZE[0], 2 * q.SIZE[1]):
        quiz.fail(f"at scale 2 the window is {quiz.size[0]} x {quiz.size[1]}")
    hand, (hx, hy) = q.cursor_file_mask(source / "assets" / "HAND-M.CUR")
    pin = q.icon_file_mask(source / "assets" / "pushpin.ico")
    pin_hotspot = (29, 29)    # the needle's tip

    def doubled(mask):
        return np.repeat(np.repeat(mask, 2, axis=0), 2, axis=1)

    x, y, w, h = q.RESTART
    quiz.move(2 * x + w, 2 * y + h)
    p = quiz.wait_pointer("the hand over Restart at scale 2",
                          lambda p: (p.xhot, p.yhot) == (2 * hx, 2 * hy) and q.same_shape(p, doubled(hand), 0.08),
                          timeout=5)
    print(f"scale 2: the hand is {p.width}x{p.height}, hotspot {p.xhot},{p.yhot}")
    gx, gy = q.grab_point(0)
    q.run("xdotool", "mousemove", *quiz.at(2 * gx, 2 * gy), "sleep", "0.05", "mousedown", "1", "sleep", "0.05",
          "mousemove", *quiz.at(2 * gx + 8, 2 * gy), "sleep", "0.05",
          "mousemove", *quiz.at(2 * gx - 100, 2 * gy + 40))
    try:
        p = quiz.wait_pointer("the push-pin while dragging at scale 2",
                              lambda p: (p.xhot, p.yhot) == (2 * pin_hotspot[0], 2 * pin_hotspot[1])
                              and q.same_shape(p, doubled(pin), 0.08), timeout=5)
    finally:
        q.run("xdotool", "mouseup", "1")
    print(f"scale 2: the push-pin is {p.width}x{p.height}, hotspot {p.xhot},{p.yhot}")


def grown(area, by):
    """area widened by `by` pixels each way."""
    out = area.copy()
    for d in range(1, by + 1):
        out[d:, :] |= area[:-d, :]
        out[:-d, :] |= area[d:, :]
        out[:, d:] |= area[:, :-d]
        out[:, :-d] |= area[:, d:]
    return out


def red_share(image, before, where):
    ys, xs = where
    now = image[ys, xs].astype(np.int16)
    was = before[ys, xs].astype(np.int16)
    return float(np.mean((now[:, 0] - now[:, 1]) > (was[:, 0] - was[:, 1]) + 20))


if __name__ == "__main__":
    sys.exit(main())
