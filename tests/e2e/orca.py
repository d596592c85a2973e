#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The quiz played by ear, as a blind player plays it: with the keyboard
alone, listening to what the Orca screen reader says, and knowing nothing of
the map beyond what it hears. Tab leads to the names, type-ahead selects one,
Enter picks it up, Ctrl+arrows jump the pin from country to country until
Orca names the right one; a drop on the wrong country and one on the right
country, Escape, the map's edge, the sea, a mouse drop, Restart, and a
completed map with its SUCCESS box, each checked by what Orca speaks.

  screenreader.sh --program build/orbenvale --out DIR --files tests/e2e --files layout -- \\
      /usr/bin/python3 tests/e2e/orca.py

Run it on an X display (tests/e2e/xvfb.sh) inside screenreader.sh, which
provides Orca and says where its speech goes.
"""

import os
import sys
import time
from collections import deque
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

HEADINGS = {"Left": "west", "Right": "east", "Up": "north", "Down": "south"}


class Ear:
    """What Orca has said, an utterance a line, as speech-dispatcher handed
    it to its synthesizer."""

    def __init__(self, quiz, path):
        self.quiz = quiz
        self.path = Path(path)
        self.lines = []

    def read(self):
        try:
            text = self.path.read_text(encoding="utf-8", errors="replace")
        except OSError:
            text = ""
        self.lines = [ln.strip().rstrip(".").strip() for ln in text.splitlines() if ln.strip()]
        return self.lines

    def mark(self):
        return len(self.read())

    def said(self, since=0):
        return self.read()[since:]

    def transcript(self, since=0):
        return " / ".join(self.said(since))

    def count(self, phrase, since=0):
        return sum(line.count(phrase) for line in self.said(since))

    def wait(self, what, phrases, since, timeout=8.0):
        """Waits until the phrases have been said after mark since, in this
        order (each within an utterance); returns the line after the last."""
        deadline = time.monotonic() + timeout
        while True:
            lines = self.said(since)
            at, found = 0, True
            for phrase in phrases:
                while at < len(lines) and phrase not in lines[at]:
                    at += 1
                if at == len(lines):
                    found = False
                    break
                at += 1
            if found:
                return since + at
            if time.monotonic() > deadline or not self.quiz.alive():
                self.quiz.fail(f"{what}: Orca did not say {phrases!r} within {timeout} s; "
                               f"it said: {self.transcript(since)!r}")
            time.sleep(0.05)

    def settle(self, quiet=0.5, timeout=6.0):
        """Waits until Orca has said nothing for a moment."""
        deadline = time.monotonic() + timeout
        last, since = self.mark(), time.monotonic()
        while time.monotonic() < deadline:
            time.sleep(0.05)
            n = self.mark()
            if n != last:
                last, since = n, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return n
        return last


def key(*keys):
    q.run("xdotool", "key", "--delay", "60", *keys)


def main():
    out = os.environ.get("READER_OUT", "out")
    program = os.environ["READER_PROGRAM"]
    q.load_layout(Path(program).parent / "window-layout.json")
    return q.play_once(program, out, lambda quiz: play(quiz, Path("."), Ear(quiz, os.environ["READER_SPOKEN"])))


def play(quiz, source, ear):
    quiz.learn(source)
    names = quiz.names
    mark = ear.mark()
    quiz.start()
    quiz.wait_window()
    quiz.wait_opening()
    q.run("xdotool", "windowactivate", "--sync", quiz.window, check=False)
    q.run("xdotool", "windowfocus", "--sync", quiz.window)
    ear.wait("the window and the text box that has the focus",
             [f"{q.TITLE} frame", "Press Tab to reach the country names"], mark, timeout=15)
    print("the window reads as a frame with its caption; the text box says Tab leads to the names")
    ear.settle()

    # Into the names: the list, then the selected name.
    mark = ear.mark()
    key("Tab")
    ear.wait("Tab into the names", ["Country names", "List with 41 items", names[0]], mark)
    ear.settle()
    mark = ear.mark()
    key("s", "p", "a")
    ear.wait("typing 'spa'", ["Spain"], mark)
    ear.settle()
    print("Tab: 'Country names, List with 41 items, Albania'; 'spa' selects Spain")

    # Picked up: the carried name and where the pin is.
    mark = ear.mark()
    key("Return")
    at = ear.wait("Enter picks Spain up", ["Spain picked up", "Map of Europe", "Pin over"], mark)
    here = ear.said(at - 1)[0].split("Pin over ", 1)[1].strip()
    ear.settle()
    print(f"Enter: 'Spain picked up', the pin is over {here}")

    def jump(arrow):
        """Ctrl+arrow; returns the country Orca names, or None for 'no
        country further'."""
        mark = ear.mark()
        key(f"ctrl+{arrow}")
        blocked = f"no country further {HEADINGS[arrow]}"
        deadline = time.monotonic() + 6
        while time.monotonic() < deadline:
            for line in ear.said(mark):
                if line == blocked:
                    return None
                if line in names or line == "sea" or line == "no country":
                    return line
            time.sleep(0.05)
        quiz.fail(f"Ctrl+{arrow}: Orca named no country; it said {ear.transcript(mark)!r}")

    def find_by_ear(target, here, budget=80):
        """Jumps from country to country, learning the way by ear, until Orca
        names the target."""
        edges = {}
        presses = 0
        while here != target:
            # The nearest place heard of with a way not yet tried.
            came = {here: None}
            todo = deque([here])
            route = None
            while todo and route is None:
                node = todo.popleft()
                for arrow in HEADINGS:
                    if (node, arrow) not in edges:
                        route = [arrow]
                        while came[node]:
                            node, step = came[node]
                            route.insert(0, step)
                        break
                    nxt = edges[(node, arrow)]
                    if nxt and nxt not in came:
                        came[nxt] = (node, arrow)
                        todo.append(nxt)
            if route is None:
                quiz.fail(f"{target} cannot be reached by Ctrl+arrows; heard the ways {edges}")
            for arrow in route:
                if presses >= budget:
                    quiz.fail(f"{target} not found by ear in {budget} jumps; heard the ways {edges}")
                went = jump(arrow)
                presses += 1
                edges[(here, arrow)] = went
                if went is None:
                    break
                if went != target and went in ("sea", "no country"):
                    quiz.fail(f"a jump landed on '{went}', not on a country")
                here = went
                if here == target:
                    break
            ear.settle(quiet=0.2)
        return presses

    # A wrong drop first: wherever the pin is, if that is not Spain.
    if here == "Spain" or here not in names:
        for arrow in HEADINGS:
            went = jump(arrow)
            if went and went != "Spain":
                here = went
                break
        ear.settle()
    mark = ear.mark()
    key("Return")
    ear.wait("a wrong drop", [f"Spain is not {here}", "Country names", "Spain"], mark)
    ear.settle()
    if ear.count(f"Spain is not {here}", mark) != 1:
        quiz.fail(f"the wrong drop was told {ear.count(f'Spain is not {here}', mark)} times: {ear.transcript(mark)!r}")
    if not quiz.names_in_panel(quiz.shot())[names.index("Spain")]:
        quiz.fail("Spain dropped on the wrong country left the panel")
    print(f"Enter over {here}: 'Spain is not {here}' (once), and the list says Spain is selected")

    # Right: find Spain by ear, ask where the pin is, drop.
    mark = ear.mark()
    key("Return")
    ear.wait("Spain picked up again", ["Spain picked up", f"Pin over {here}"], mark)
    ear.settle()
    presses = find_by_ear("Spain", here)
    mark = ear.mark()
    key("Home")
    ear.wait("Home on the map", ["Pin over Spain, south-west of the map"], mark)
    ear.settle()
    mark = ear.mark()
    key("Return")
    at = ear.wait("the right drop", ["Spain placed, 1 of 41", "List with 40 items"], mark)
    quiz.wait_screen("Spain on the map, off the panel",
                     lambda im: quiz.map_labels_shown(im)[names.index("Spain")]
                     and not quiz.names_in_panel(im)[names.index("Spain")])
    ear.settle()
    selected = ear.said(at)[0] if ear.said(at) else ""
    if selected not in names or selected == "Spain":
        quiz.fail(f"after the drop the list should say which name is selected; Orca said {ear.transcript(at)!r}")
    if ear.count("Spain placed, 1 of 41", mark) != 1:
        quiz.fail(f"the placement was told more than once: {ear.transcript(mark)!r}")
    print(f"Spain found by ear in {presses} jumps; Home: 'Pin over Spain, south-west of the map'; "
          f"Enter: 'Spain placed, 1 of 41', the list now has 40 names and {selected} selected")

    # Escape puts a picked-up name back.
    mark = ear.mark()
    key("Return")
    ear.wait("the selected name picked up", [f"{selected} picked up"], mark)
    ear.settle()
    mark = ear.mark()
    key("Escape")
    ear.wait("Escape", [f"{selected} put back"], mark)
    ear.settle()
    print(f"Escape: '{selected} put back'")

    # West to the map's edge: the sea on the way, the edge, and a drop at sea.
    mark = ear.mark()
    key("Return")
    ear.wait("picked up for the sea", [f"{selected} picked up"], mark)
    ear.settle()
    mark = ear.mark()
    for _ in range(40):
        key("shift+Left")
        time.sleep(0.1)
        if any("west edge of the map" in line for line in ear.said(mark)):
            break
    ear.wait("the pin at the map's west edge", ["sea", "west edge of the map"], mark)
    ear.settle()
    places = [ln for ln in ear.said(mark) if ln in names or ln in ("sea", "no country")]
    if not places or places[-1] != "sea":
        quiz.fail(f"the pin should stop on the sea west of Spain; Orca said {ear.transcript(mark)!r}")
    mark = ear.mark()
    key("Return")
    ear.wait("a drop at sea", [f"{selected} not on a country"], mark)
    ear.settle()
    print(f"Shift+Left to the edge: {' / '.join(places)}, 'west edge of the map'; "
          f"Enter: '{selected} not on a country'")

    # A mouse drop is told the same way.
    mouse_name = "Germany"
    mark = ear.mark()
    quiz.drag(q.grab_point(names.index(mouse_name)), quiz.points["France"])
    ear.wait("a wrong drop with the mouse", [f"{mouse_name} is not France"], mark)
    ear.settle()
    print(f"mouse: '{mouse_name} is not France'")

    # Restart.
    mark = ear.mark()
    key("Tab", "Tab")
    ear.wait("Tab to Restart", ["Restart push button"], mark)
    ear.settle()
    mark = ear.mark()
    key("Return")
    ear.wait("Restart", ["New round, 41 names to place"], mark)
    quiz.wait_screen("Spain back on the panel", lambda im: quiz.names_in_panel(im)[names.index("Spain")])
    ear.settle()
    print("Restart: 'New round, 41 names to place'")

    # A whole map: forty names with the mouse, the last by ear. Each drop
    # follows the word of the one before, as a player who listens goes on.
    last = "Iceland"
    mark = ear.mark()
    placed = 0
    for i, name in enumerate(names):
        if name != last:
            told = ear.mark()
            quiz.drag(q.grab_point(i), quiz.points[name], steps=2)
            placed += 1
            ear.wait(f"mouse drop {placed}", [f"{name} placed, {placed} of 41"], told)
    ear.settle()
    for k in range(1, 41):
        if ear.count(f"placed, {k} of 41", mark) != 1:
            quiz.fail(f"'placed, {k} of 41' was not said exactly once: {ear.transcript(mark)!r}")
    mark = ear.mark()
    key("Tab", "Tab", "Tab")
    ear.wait("Tab back into the names", ["List with 1 item", last], mark)
    ear.settle()
    mark = ear.mark()
    key("Return")
    at = ear.wait("the last name picked up", [f"{last} picked up", "Pin over"], mark)
    here = ear.said(at - 1)[0].split("Pin over ", 1)[1].split(",")[0].strip()
    ear.settle()
    if here.startswith("the "):
        here = "sea"
    find_by_ear(last, here)
    mark = ear.mark()
    key("Return")
    ear.wait("the 41st drop and the box", [f"{last} placed, 41 of 41", "The map is complete",
                                           "CONGRATULATIONS!THE MAP IS COMPLETE!"], mark)
    ear.settle()
    mark = ear.mark()
    key("Return")
    ear.wait("the box closed", ["New round, 41 names to place"], mark)
    quiz.wait_screen("a fresh board", lambda im: all(quiz.names_in_panel(im)))
    ear.settle()
    # The display has no window manager: give the window the focus back, as
    # one does when a window's box closes.
    mark = ear.mark()
    q.run("xdotool", "windowfocus", "--sync", quiz.window)
    ear.wait("the focus back in the window", ["Country names", "List with 41 items", last], mark)
    ear.settle()
    print(f"{last} found by ear: '{last} placed, 41 of 41. The map is complete!', the SUCCESS box read, "
          "then 'New round, 41 names to place'")

    # Orca's own commands: read the title, read the status bar.
    mark = ear.mark()
    q.run("xdotool", "keydown", "Insert", "key", "KP_Enter", "keyup", "Insert")
    ear.wait("Orca's 'read title'", [q.TITLE], mark)
    ear.settle()
    mark = ear.mark()
    q.run("xdotool", "keydown", "Insert", "key", "KP_Enter", "sleep", "0.1", "key", "KP_Enter", "keyup", "Insert")
    ear.wait("Orca's 'read status bar'", ["New round, 41 names to place statusbar"], mark)
    ear.settle()
    print("Orca's 'read title' and 'read status bar' find the caption and the last outcome")

    quiz.exit_by_button()
    print("Exit")


if __name__ == "__main__":
    sys.exit(main())
