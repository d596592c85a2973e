#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A whole round of the quiz with the real mouse and keyboard, judged from the
screen: names leave the panel and show on the map, wrong drops change
nothing, Restart brings every name back, the 41st name brings up the SUCCESS
box, a fresh round follows it, the pointer changes over the buttons, and Exit
ends the program with exit code 0.

  round.py --program build/orbenvale --source . --out build/e2e/round

Run it on an X display (tests/e2e/xvfb.sh). On a failure it prints what the
screen showed and saves screenshots to --out.
"""

import random
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402


def main():
    args = q.script_args()
    return q.play_once(args.program, args.out, lambda quiz: play(quiz, Path(args.source)))


def play(quiz, source):
    quiz.learn(source)
    names = quiz.names
    t0 = time.monotonic()
    quiz.start()
    quiz.wait_window()
    if quiz.size != q.SIZE:
        quiz.fail(f"the window is {quiz.size[0]} x {quiz.size[1]}, not {q.SIZE[0]} x {q.SIZE[1]}")
    print(f"window 0x{quiz.window:x} '{q.TITLE}' {quiz.size[0]}x{quiz.size[1]} "
          f"after {time.monotonic() - t0:.2f} s")

    # The opening picture: every name white in the panel, nothing on the map.
    quiz.wait_screen("all 41 names in the panel at start", lambda im: all(quiz.names_in_panel(im)))
    quiz.baseline = start = quiz.wait_still("the window at start")

    shapes = Shapes(source)
    check_pointer_shapes(quiz, shapes)

    def placed(i, before):
        """Name i left the panel and its map label appeared; nothing else moved."""
        def seen(im):
            shown = quiz.names_in_panel(im)
            if shown[i]:
                return False
            was = quiz.names_in_panel(before)
            if any(shown[k] != was[k] for k in range(q.NAMES) if k != i):
                return False
            return quiz.changed(im, before, quiz.map_rects[i]) >= 6
        return seen

    def drop(i, country, while_dragging=None):
        quiz.drag(q.grab_point(i), quiz.points[country], while_dragging=while_dragging)

    def drop_right(i, before, while_dragging=None):
        drop(i, names[i], while_dragging)
        return quiz.wait_screen(f"'{names[i]}' dropped on {names[i]} at {quiz.points[names[i]]}: "
                                "it should leave the panel and show on the map", placed(i, before))

    def drop_wrong(i, country, before):
        drop(i, country)
        settle(quiz, shapes)
        # The country it was judged against flashes for half a second; then
        # the map is as it was.
        after = quiz.wait_screen(f"'{names[i]}' dropped on {country}: the map as before once the flash is over",
                                 lambda im: quiz.map_changes(im, before) == 0, timeout=2)
        if not quiz.names_in_panel(after)[i]:
            quiz.fail(f"'{names[i]}' dropped on {country} at {quiz.points[country]} left the panel", after)
        return after

    # A wrong drop leaves the name where it was; Ireland is the case where a
    # loose name match would accept it on Northern Ireland.
    index = {n: k for k, n in enumerate(names)}
    shot = start
    for name, wrong in (("Albania", "Greece"), ("Ireland", "Northern Ireland"), ("Slovenia", "Slovakia")):
        shot = drop_wrong(index[name], wrong, shot)
    print("wrong drops leave their names in the panel")

    # Some names placed; the pointer is the push-pin while one is dragged.
    pin = q.icon_file_mask(source / "assets" / "pushpin.ico")
    first = True
    for i in range(12):
        check = None
        if first:
            check = lambda: quiz.wait_pointer(  # noqa: E731
                "the push-pin pointer while dragging a name", lambda p: q.same_shape(p, pin))
            first = False
        shot = drop_right(i, shot, check)
    quiz.save(shot, "playing.png")
    print("12 names placed on the map")

    # Restart mid-round: all names back, the map bare again.
    quiz.click_button(q.RESTART)
    shot = quiz.wait_screen("Restart: every name back in the panel and no name on the map",
                            lambda im: all(quiz.names_in_panel(im)) and quiz.map_changes(im) == 0)
    print("Restart brings every name back")

    # The whole round, in an order unlike the panel's.
    order = list(range(q.NAMES))
    random.Random(7).shuffle(order)
    for n, i in enumerate(order[:-1]):
        shot = drop_right(i, shot)
        if n % 10 == 0 and q.find_window("SUCCESS"):
            quiz.fail(f"a SUCCESS box showed after only {n + 1} names", shot)
    settle(quiz, shapes)
    if q.find_window("SUCCESS"):
        quiz.fail("a SUCCESS box showed with one name still in the panel")

    last = order[-1]
    drop(last, names[last])
    box = wait_for_window(quiz, "SUCCESS", 10)
    # The box hides part of the window; judge the names it leaves in sight,
    # once the window has caught up with the last drop (the box may come up
    # before the window behind it is repainted).
    hidden = quiz.window_rect(box)

    def complete(im):
        panel = [s for k, s in enumerate(quiz.names_in_panel(im)) if not overlaps(q.panel_rect(k), hidden)]
        on_map = [s for k, s in enumerate(quiz.map_labels_shown(im)) if not overlaps(quiz.map_rects[k], hidden)]
        return not any(panel) and all(on_map) and len(panel) >= 20 and len(on_map) >= 20
    full = quiz.wait_screen(f"with the SUCCESS box up ({hidden} in the window) the map should show all "
                            "41 names and the panel none", complete)
    quiz.save(full, "complete.png")
    print(f"SUCCESS box 0x{box:x} after the 41st name")

    # Closed with the keyboard, the box gives way to a fresh round.
    quiz.key_to_window(box, "Return")
    deadline = time.monotonic() + 5
    while q.find_window("SUCCESS"):
        if time.monotonic() > deadline:
            quiz.fail("the SUCCESS box is still up after Return")
        time.sleep(0.05)
    quiz.wait_screen("after the SUCCESS box: a fresh round, all names in the panel, none on the map",
                     lambda im: all(quiz.names_in_panel(im)) and quiz.map_changes(im) == 0)
    print("a fresh round follows")

    # A name of the new round can be placed again.
    shot = drop_right(0, quiz.shot())

    quiz.exit_by_button()
    print(f"Exit ends the program with exit code 0; round took {time.monotonic() - t0:.1f} s")


def settle(quiz, shapes):
    """Lets the program catch up with the input sent so far: the pointer
    turns into the hand over Restart only once the program has handled the
    events before that move, and the screen then stays the same for a while
    once any repaint they caused is done."""
    quiz.move(q.MAP_RIGHT // 2, 20)
    quiz.wait_pointer("the arrow over the map", shapes.is_arrow)
    quiz.move(q.RESTART[0] + 20, q.RESTART[1] + 13)
    quiz.wait_pointer("the hand over Restart", shapes.is_hand)
    quiz.wait_still("the window settling after the last input")


def overlaps(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def wait_for_window(quiz, title, timeout):
    deadline = time.monotonic() + timeout
    while True:
        wid = q.find_window(title)
        if wid:
            return wid
        if time.monotonic() > deadline or not quiz.alive():
            quiz.fail(f"no '{title}' window within {timeout} s")
        time.sleep(0.05)


class Shapes:
    """Tells the pointers apart: the hand of HAND-M.CUR, the arrow."""

    def __init__(self, source):
        self.hand, self.hotspot = q.cursor_file_mask(source / "assets" / "HAND-M.CUR")
        self.pin = q.icon_file_mask(source / "assets" / "pushpin.ico")

    def is_hand(self, p):
        return q.same_shape(p, self.hand) and (p.xhot, p.yhot) == self.hotspot

    def is_arrow(self, p):
        if q.same_shape(p, self.hand) or q.same_shape(p, self.pin) or not p.opaque.any():
            return False
        # A themed arrow carries its name; an unthemed one still points from
        # its top-left corner.
        return p.name == "left_ptr" or (not p.name and p.xhot < p.width // 3 and p.yhot < p.height // 3)


def check_pointer_shapes(quiz, shapes):
    """The hand from HAND-M.CUR over both buttons, the arrow over the map and
    over the panel."""
    is_hand, is_arrow = shapes.is_hand, shapes.is_arrow
    for where, (x, y), want, check in (
            ("the map", (300, 300), "arrow", is_arrow),
            ("Restart", (q.RESTART[0] + 72, q.RESTART[1] + 13), "hand", is_hand),
            ("the panel", (820, 450), "arrow", is_arrow),
            ("Exit", (q.EXIT[0] + 68, q.EXIT[1] + 13), "hand", is_hand),
            ("the map again", (100, 500), "arrow", is_arrow)):
        quiz.move(x, y)
        quiz.wait_pointer(f"the {want} pointer over {where}", check)
    print("pointer: hand over the buttons, arrow over the map and panel")


if __name__ == "__main__":
    sys.exit(main())
