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
    return q.play_once(program, out,
                       lambda quiz: Player(quiz, Ear(quiz, os.environ["READER_SPOKEN"])).play(Path(".")))


class Player:
    """A player who listens: each scene is one thing done and checked by
    what Orca says of it."""

    def __init__(self, quiz, ear):
        self.quiz = quiz
        self.ear = ear
        self.names = []
        self.here = None  # where the pin is, as Orca last named it

    def play(self, source):
        self.quiz.learn(source)
        self.names = self.quiz.names
        self.open_window()
        self.into_the_names()
        self.wrong_then_right("Spain")
        selected = self.escape_puts_back()
        self.to_the_sea(selected)
        self.mouse_drop("Germany", "France")
        self.restart()
        self.complete_the_map("Iceland")
        self.orca_commands()
        self.quiz.exit_by_button()
        print("Exit")

    def step(self, what, keys, phrases, quiet=0.5):
        """Presses keys and waits for Orca to say the phrases; returns where
        in the transcript they ended."""
        mark = self.ear.mark()
        if keys:
            key(*keys)
        at = self.ear.wait(what, phrases, mark)
        self.ear.settle(quiet=quiet)
        return mark, at

    def open_window(self):
        quiz, ear = self.quiz, self.ear
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

    def into_the_names(self):
        self.step("Tab into the names", ["Tab"], ["Country names", "List with 41 items", self.names[0]])
        self.step("typing 'spa'", ["s", "p", "a"], ["Spain"])
        print("Tab: 'Country names, List with 41 items, Albania'; 'spa' selects Spain")

    def pick_up(self, name, what="picked up"):
        """Enter on the selected name; learns where the pin is from what Orca says."""
        _, at = self.step(f"{name} {what}", ["Return"], [f"{name} picked up", "Pin over"])
        here = self.ear.said(at - 1)[0].split("Pin over ", 1)[1].split(",")[0].strip()
        self.here = "sea" if here.startswith("the ") else here
        return self.here

    def jump(self, arrow):
        """Ctrl+arrow; returns the country Orca names, or None for 'no
        country further'."""
        mark = self.ear.mark()
        key(f"ctrl+{arrow}")
        blocked = f"no country further {HEADINGS[arrow]}"
        deadline = time.monotonic() + 6
        while time.monotonic() < deadline:
            for line in self.ear.said(mark):
                if line == blocked:
                    return None
                if line in self.names or line == "sea" or line == "no country":
                    return line
            time.sleep(0.05)
        self.quiz.fail(f"Ctrl+{arrow}: Orca named no country; it said {self.ear.transcript(mark)!r}")

    @staticmethod
    def untried_way(edges, here):
        """The arrows to the nearest place heard of that has a way not yet
        tried, or None when every way has been tried."""
        came = {here: None}
        todo = deque([here])
        while todo:
            node = todo.popleft()
            for arrow in HEADINGS:
                if (node, arrow) not in edges:
                    route = [arrow]
                    while came[node]:
                        node, step = came[node]
                        route.insert(0, step)
                    return route
                nxt = edges[(node, arrow)]
                if nxt and nxt not in came:
                    came[nxt] = (node, arrow)
                    todo.append(nxt)
        return None

    def find_by_ear(self, target, budget=80):
        """Jumps from country to country, learning the way by ear, until Orca
        names the target; returns the presses it took."""
        edges = {}
        presses = 0
        while self.here != target:
            route = self.untried_way(edges, self.here)
            if route is None:
                self.quiz.fail(f"{target} cannot be reached by Ctrl+arrows; heard the ways {edges}")
            for arrow in route:
                if presses >= budget:
                    self.quiz.fail(f"{target} not found by ear in {budget} jumps; heard the ways {edges}")
                went = self.jump(arrow)
                presses += 1
                edges[(self.here, arrow)] = went
                if went is None:
                    break
                if went != target and went in ("sea", "no country"):
                    self.quiz.fail(f"a jump landed on '{went}', not on a country")
                self.here = went
                if went == target:
                    break
            self.ear.settle(quiet=0.2)
        return presses

    def wrong_then_right(self, name):
        quiz, ear = self.quiz, self.ear
        self.pick_up(name)
        print(f"Enter: '{name} picked up', the pin is over {self.here}")
        # A wrong drop first: wherever the pin is, if that is not the name's country.
        if self.here == name or self.here not in self.names:
            for arrow in HEADINGS:
                went = self.jump(arrow)
                if went and went != name:
                    self.here = went
                    break
            ear.settle()
        wrong = f"{name} is not {self.here}"
        mark, _ = self.step("a wrong drop", ["Return"], [wrong, "Country names", name])
        if ear.count(wrong, mark) != 1:
            quiz.fail(f"the wrong drop was told {ear.count(wrong, mark)} times: {ear.transcript(mark)!r}")
        if not quiz.names_in_panel(quiz.shot())[self.names.index(name)]:
            quiz.fail(f"{name} dropped on the wrong country left the panel")
        print(f"Enter over {self.here}: '{wrong}' (once), and the list says {name} is selected")

        # Right: find it by ear, ask where the pin is, drop.
        self.step(f"{name} picked up again", ["Return"], [f"{name} picked up", f"Pin over {self.here}"])
        presses = self.find_by_ear(name)
        self.step("Home on the map", ["Home"], [f"Pin over {name}, south-west of the map"])
        placed = f"{name} placed, 1 of 41"
        mark, at = self.step("the right drop", ["Return"], [placed, "List with 40 items"], quiet=0)
        quiz.wait_screen(f"{name} on the map, off the panel",
                         lambda im: quiz.map_labels_shown(im)[self.names.index(name)]
                         and not quiz.names_in_panel(im)[self.names.index(name)])
        ear.settle()
        self.selected = ear.said(at)[0] if ear.said(at) else ""
        if self.selected not in self.names or self.selected == name:
            quiz.fail(f"after the drop the list should say which name is selected; Orca said {ear.transcript(at)!r}")
        if ear.count(placed, mark) != 1:
            quiz.fail(f"the placement was told more than once: {ear.transcript(mark)!r}")
        print(f"{name} found by ear in {presses} jumps; Home: 'Pin over {name}, south-west of the map'; "
              f"Enter: '{placed}', the list now has 40 names and {self.selected} selected")

    def escape_puts_back(self):
        selected = self.selected
        self.step("the selected name picked up", ["Return"], [f"{selected} picked up"])
        self.step("Escape", ["Escape"], [f"{selected} put back"])
        print(f"Escape: '{selected} put back'")
        return selected

    def to_the_sea(self, selected):
        """West to the map's edge: the sea on the way, the edge, and a drop at sea."""
        quiz, ear = self.quiz, self.ear
        self.step("picked up for the sea", ["Return"], [f"{selected} picked up"])
        mark = ear.mark()
        for _ in range(40):
            key("shift+Left")
            time.sleep(0.1)
            if any("west edge of the map" in line for line in ear.said(mark)):
                break
        ear.wait("the pin at the map's west edge", ["sea", "west edge of the map"], mark)
        ear.settle()
        places = [ln for ln in ear.said(mark) if ln in self.names or ln in ("sea", "no country")]
        if not places or places[-1] != "sea":
            quiz.fail(f"the pin should stop on the sea west of Spain; Orca said {ear.transcript(mark)!r}")
        self.step("a drop at sea", ["Return"], [f"{selected} not on a country"])
        print(f"Shift+Left to the edge: {' / '.join(places)}, 'west edge of the map'; "
              f"Enter: '{selected} not on a country'")

    def mouse_drop(self, name, on):
        """A mouse drop is told the same way."""
        mark = self.ear.mark()
        self.quiz.drag(q.grab_point(self.names.index(name)), self.quiz.points[on])
        self.ear.wait("a wrong drop with the mouse", [f"{name} is not {on}"], mark)
        self.ear.settle()
        print(f"mouse: '{name} is not {on}'")

    def restart(self):
        self.step("Tab to Restart", ["Tab", "Tab"], ["Restart push button"])
        self.step("Restart", ["Return"], ["New round, 41 names to place"], quiet=0)
        self.quiz.wait_screen("Spain back on the panel",
                              lambda im: self.quiz.names_in_panel(im)[self.names.index("Spain")])
        self.ear.settle()
        print("Restart: 'New round, 41 names to place'")

    def complete_the_map(self, last):
        """Forty names with the mouse, the last by ear. Each drop follows the
        word of the one before, as a player who listens goes on."""
        quiz, ear = self.quiz, self.ear
        mark = ear.mark()
        placed = 0
        for i, name in enumerate(self.names):
            if name != last:
                told = ear.mark()
                quiz.drag(q.grab_point(i), quiz.points[name], steps=2)
                placed += 1
                ear.wait(f"mouse drop {placed}", [f"{name} placed, {placed} of 41"], told)
        ear.settle()
        for k in range(1, 41):
            if ear.count(f"placed, {k} of 41", mark) != 1:
                quiz.fail(f"'placed, {k} of 41' was not said exactly once: {ear.transcript(mark)!r}")
        self.step("Tab back into the names", ["Tab", "Tab", "Tab"], ["List with 1 item", last])
        self.pick_up(last, "the last name picked up")
        self.find_by_ear(last)
        self.step("the 41st drop and the box", ["Return"],
                  [f"{last} placed, 41 of 41", "The map is complete", "CONGRATULATIONS!THE MAP IS COMPLETE!"])
        self.step("the box closed", ["Return"], ["New round, 41 names to place"], quiet=0)
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

    def orca_commands(self):
        """Orca's own commands: read the title, read the status bar."""
        ear = self.ear
        mark = ear.mark()
        q.run("xdotool", "keydown", "Insert", "key", "KP_Enter", "keyup", "Insert")
        ear.wait("Orca's 'read title'", [q.TITLE], mark)
        ear.settle()
        mark = ear.mark()
        q.run("xdotool", "keydown", "Insert", "key", "KP_Enter", "sleep", "0.1", "key", "KP_Enter", "keyup", "Insert")
        ear.wait("Orca's 'read status bar'", ["New round, 41 names to place statusbar"], mark)
        ear.settle()
        print("Orca's 'read title' and 'read status bar' find the caption and the last outcome")


if __name__ == "__main__":
    sys.exit(main())
