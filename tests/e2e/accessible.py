#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The quiz played with the keyboard alone and read through the accessibility
bus (AT-SPI), the tree a screen reader works from: the 41 names are a list
of the names on the panel, Tab reaches it, typing "Ger" selects Germany,
Enter picks it up on the pin, the pin (found and followed through AT-SPI by
its extents, which a screen reader does not speak) is steered with the arrow
keys onto Germany and Enter places it there, as the screen then shows; each
outcome is told once as a notification and kept on the status line; Escape
cancels a mouse drag; Return presses a focused button. tests/e2e/orca.py
listens to the real screen reader.

  a11ybus.sh accessible.py --program build/orbenvale --source . --out DIR

Run it on an X display (tests/e2e/xvfb.sh) inside a11ybus.sh.
"""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

import pyatspi  # noqa: E402
from gi.repository import GLib  # noqa: E402


def main():
    args = q.script_args()
    return q.play_once(args.program, args.out, lambda quiz: play(quiz, Path(args.source)))


# ---------------------------------------------------------------------------
# Reading the accessibility tree.

def fresh(acc):
    """The object as it is now, not as a cache remembers it."""
    try:
        acc.clear_cache()
    except Exception:
        pass
    return acc


def children(acc):
    fresh(acc)
    return [acc.getChildAtIndex(i) for i in range(acc.childCount)]


def walk(acc, depth=0):
    yield acc
    if depth < 6:
        for c in children(acc):
            if c is not None:
                yield from walk(c, depth + 1)


def has(acc, state):
    return fresh(acc).getState().contains(state)


def extents(acc):
    e = fresh(acc).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)


class Reader:
    """What a screen reader sees of the quiz."""

    def __init__(self, quiz):
        self.quiz = quiz
        self.app = self.find_app()
        self.refind()
        # What a screen reader is told without asking: notifications that
        # show, as events on the bus.
        self.told = []
        pyatspi.Registry.registerEventListener(self.heard, "object:state-changed:showing")

    def heard(self, event):
        try:
            if event.source.getRole() == pyatspi.ROLE_NOTIFICATION and event.detail1:
                self.told.append(fresh(event.source).name)
        except Exception:
            pass

    def pump(self):
        context = GLib.MainContext.default()
        while context.iteration(False):
            pass

    def find_app(self, timeout=15):
        deadline = time.monotonic() + timeout
        pid = self.quiz.proc.pid
        while time.monotonic() < deadline:
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                try:
                    if app is not None and app.get_process_id() == pid:
                        return app
                except Exception:
                    continue
            time.sleep(0.1)
        self.quiz.fail("the quiz never showed up on the accessibility bus")

    def refind(self):
        objs = list(walk(self.app))

        def one(role, name=None):
            found = [o for o in objs if o.getRole() == role and (name is None or o.name == name)]
            if len(found) != 1:
                self.quiz.fail(f"expected one {pyatspi.Role(role)} {name or ''} through AT-SPI, found {len(found)}; "
                               "the tree: " + "; ".join(f"{o.getRoleName()} '{o.name}'" for o in objs))
            return found[0]

        self.list = one(pyatspi.ROLE_LIST)
        self.items = children(self.list)
        self.map = one(pyatspi.ROLE_IMAGE, "Map of Europe")
        self.pin = one(pyatspi.ROLE_IMAGE, "pin")
        self.status = one(pyatspi.ROLE_STATUS_BAR)
        self.text = one(pyatspi.ROLE_TEXT)
        self.restart = one(pyatspi.ROLE_PUSH_BUTTON, "Restart")
        self.exit = one(pyatspi.ROLE_PUSH_BUTTON, "Exit")

    def selected(self):
        return [i for i, item in enumerate(self.items) if has(item, pyatspi.STATE_SELECTED)]

    def pin_tip(self):
        """The needle's tip in window pixels."""
        x, y, _, _ = extents(self.pin)
        return (x - self.quiz.origin[0], y - self.quiz.origin[1])

    def wait(self, what, predicate, timeout=5.0):
        deadline = time.monotonic() + timeout
        while True:
            self.pump()
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline or not self.quiz.alive():
                self.quiz.fail(f"{what}: not read through AT-SPI within {timeout} s")
            time.sleep(0.03)


def key(quiz, *keys):
    q.run("xdotool", "key", "--delay", "30", *keys)


# ---------------------------------------------------------------------------

def play(quiz, source):
    quiz.learn(source)
    names = quiz.names
    germany, spain = names.index("Germany"), names.index("Spain")
    quiz.start()
    quiz.wait_window()
    start = quiz.wait_opening(settle=0.2)
    q.run("xdotool", "windowactivate", "--sync", quiz.window, check=False)
    q.run("xdotool", "windowfocus", "--sync", quiz.window)

    a = Reader(quiz)
    seen = [item.name for item in a.items]
    if seen != names:
        quiz.fail(f"the list through AT-SPI holds {seen}, not the 41 names of items.txt")
    if any(has(item, pyatspi.STATE_CHECKED) for item in a.items):
        quiz.fail("a name reads as placed at the start")
    if {item.description for item in a.items} != {"not placed"}:
        quiz.fail("names should read 'not placed' at the start")
    print(f"41 names read through AT-SPI: {seen[0]} ... {seen[-1]}")
    a.wait("the focus starts on the text box", lambda: has(a.text, pyatspi.STATE_FOCUSED))
    if any(has(o, pyatspi.STATE_FOCUSED) for o in (a.list, a.map, a.restart, a.exit)):
        quiz.fail("something besides the text box has the focus at the start")

    # Tab reaches the names; a ring marks the panel.
    key(quiz, "Tab")
    a.wait("Tab moves the focus to the name list", lambda: has(a.list, pyatspi.STATE_FOCUSED))
    ring = quiz.wait_screen("a focus ring round the name panel",
                            lambda im: quiz.changed(im, start, (595, 73, 300, 6)) > 150)
    quiz.save(ring, "names-focused.png")
    print("Tab: the name list has the focus and a ring shows round the panel")

    key(quiz, "shift+g", "e", "r")
    a.wait("typing 'Ger' selects Germany", lambda: a.selected() == [germany])
    a.wait("Germany has the focus within the list", lambda: has(a.items[germany], pyatspi.STATE_FOCUSED))
    quiz.wait_screen("Germany highlighted on the panel",
                     lambda im: quiz.changed(im, ring, q.panel_rect(germany)) > 200)
    key(quiz, "Return")
    a.wait("Enter moves the focus to the map", lambda: has(a.map, pyatspi.STATE_FOCUSED))
    a.wait("the pin shows", lambda: has(a.pin, pyatspi.STATE_VISIBLE))
    tip = a.pin_tip()
    if abs(tip[0] - q.MAP_RIGHT // 2) > 3 or abs(tip[1] - q.SIZE[1] // 2) > 3:
        quiz.fail(f"the pin should start at the map's centre, it is at {tip}")
    if "carrying Germany" not in fresh(a.pin).description:
        quiz.fail(f"the pin should carry Germany, it reads '{a.pin.description}'")
    print(f"Enter: Germany picked up, the pin at {tip}, the map reads '{fresh(a.map).description}'")

    # How far an arrow moves the pin, and with Shift: learned from the pin.
    steps = {}

    def press(k):
        tip = a.pin_tip()
        key(quiz, k)
        a.wait(f"the pin moves with {k}", lambda: a.pin_tip() != tip, timeout=2)
        moved = a.pin_tip()
        steps.setdefault(k.startswith("shift+"), max(abs(moved[0] - tip[0]), abs(moved[1] - tip[1])))

    for k in ("Right", "Left", "shift+Left", "shift+Right"):  # and back where it was
        press(k)

    def steer(country):
        """Arrow keys until the pin's tip, read through AT-SPI, is on the country."""
        target = quiz.points[country]
        small, large = steps[False], steps[True]
        presses = 0
        while presses < 80:
            tip = a.pin_tip()
            dx, dy = target[0] - tip[0], target[1] - tip[1]
            if abs(dx) < small and abs(dy) < small:
                break
            big = abs(dx) >= large or abs(dy) >= large
            step = large if big else small
            if abs(dx) >= step:
                k = "Right" if dx > 0 else "Left"
            else:
                k = "Down" if dy > 0 else "Up"
            press(("shift+" if big else "") + k)
            presses += 1
        tip = a.pin_tip()
        if abs(tip[0] - target[0]) >= small or abs(tip[1] - target[1]) >= small:
            quiz.fail(f"the pin did not reach {country} at {target} in {presses} key presses: it is at {tip}")
        a.wait(f"the map says the pin is over {country}",
               lambda: fresh(a.map).description == f"Pin over {country}, carrying Germany")
        return tip, presses

    # First onto France: a wrong drop, told as such, and nothing placed.
    steer("France")
    key(quiz, "Return")
    a.wait("the status line tells the wrong drop", lambda: fresh(a.status).name == "Germany is not France")
    a.wait("the wrong drop is told as an event", lambda: "Germany is not France" in a.told)
    if a.told[0] != "Germany picked up" or a.told.count("Germany is not France") != 1:
        quiz.fail(f"told: {a.told}; expected the pick-up first and the wrong drop once")
    a.wait("the focus goes back to the names", lambda: has(a.list, pyatspi.STATE_FOCUSED))
    time.sleep(0.2)
    if not quiz.names_in_panel(quiz.shot())[germany] or has(a.items[germany], pyatspi.STATE_CHECKED):
        quiz.fail("Germany dropped on France should stay on the panel")
    print("Enter over France: 'Germany is not France', Germany stays on the panel")

    # Picked up again, the pin starts where it was left; now onto Germany.
    left = a.pin_tip()
    key(quiz, "Return")
    a.wait("Enter picks Germany up again", lambda: "carrying Germany" in fresh(a.pin).description)
    if a.pin_tip() != left:
        quiz.fail(f"the pin should start where it was left, {left}, not at {a.pin_tip()}")
    tip, presses = steer("Germany")
    a.wait("the map says the pin is over Germany",
           lambda: fresh(a.map).description == "Pin over Germany, carrying Germany")
    over = quiz.shot()
    quiz.save(over, "pin-over-germany.png")
    x, y = tip
    if quiz.changed(over, start, (x - 29, y - 29, 30, 30)) < 40:
        quiz.fail("no push-pin drawn at the needle's tip", over)
    print(f"the pin reached Germany at {tip} in {presses} key presses; the map reads "
          "'Pin over Germany, carrying Germany'")

    key(quiz, "Return")
    a.wait("the status line tells the drop's outcome",
           lambda: fresh(a.status).name == "Germany placed, 1 of 41")
    a.wait("the outcome is told as an event", lambda: "Germany placed, 1 of 41" in a.told)

    def placed(im):
        return not quiz.names_in_panel(im)[germany] and quiz.map_labels_shown(im)[germany]
    quiz.wait_screen("Germany leaves the panel and shows on the map", placed)
    a.wait("Germany leaves the list", lambda: fresh(a.list).childCount == 40)
    if "Germany" in [item.name for item in children(a.list)]:
        quiz.fail("Germany is still in the list of names on the panel")
    if a.told.count("Germany placed, 1 of 41") != 1:
        quiz.fail(f"the placement should be told once: {a.told}")
    a.wait("the focus goes back to the names", lambda: has(a.list, pyatspi.STATE_FOCUSED))
    print("Enter: Germany placed, on the screen and read as 'Germany placed, 1 of 41'")

    # Escape during a mouse drag: nothing judged.
    before = quiz.shot()
    said = fresh(a.status).name
    read_during = []

    def escape():
        a.wait("the map says where the pointer is", lambda: fresh(a.map).description == "Pointer over Spain")
        read_during.append(fresh(a.map).description)
        key(quiz, "Escape")
        time.sleep(0.2)
    quiz.drag(q.grab_point(spain), quiz.points["Spain"], while_dragging=escape)
    a.wait("Escape puts Spain back", lambda: fresh(a.status).name == "Spain put back")
    time.sleep(0.3)
    after = quiz.shot()
    if not quiz.names_in_panel(after)[spain] or quiz.map_labels_shown(after)[spain]:
        quiz.fail("Escape should cancel the drag: Spain must stay on the panel and off the map", after)
    if quiz.changed(after, before, (0, 0, q.MAP_RIGHT, q.SIZE[1])) > 30:
        quiz.fail("the map changed after a cancelled drag", after)
    if "Spain" not in [item.name for item in children(a.list)]:
        quiz.fail("Spain left the list after a cancelled drag")
    print(f"Escape cancelled a mouse drag over Spain (the map read '{read_during[0]}', then '{said}' "
          "was followed by 'Spain put back')")

    # Return on a focused button presses it.
    key(quiz, "Tab", "Tab")
    a.wait("Tab reaches Restart after the map", lambda: has(a.restart, pyatspi.STATE_FOCUSED))
    key(quiz, "Return")
    quiz.wait_screen("Return on Restart brings Germany back",
                     lambda im: quiz.names_in_panel(im)[germany] and not quiz.map_labels_shown(im)[germany])
    a.wait("Germany is back in the list", lambda: [item.name for item in children(a.list)] == names)
    a.wait("the new round is told", lambda: "New round, 41 names to place" in a.told)
    print("Return pressed Restart")
    key(quiz, "Tab")
    a.wait("Tab reaches Exit", lambda: has(a.exit, pyatspi.STATE_FOCUSED))
    key(quiz, "Return")
    deadline = time.monotonic() + 5
    while quiz.alive() and time.monotonic() < deadline:
        time.sleep(0.05)
    if quiz.alive() or quiz.proc.returncode != 0:
        quiz.fail("Return on Exit should end the program with exit code 0")
    print("Return pressed Exit")


if __name__ == "__main__":
    sys.exit(main())
