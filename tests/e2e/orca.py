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

import math
import os
import sys
import time
from collections import deque
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quizdriver as q  # noqa: E402

HEADINGS = {"Left": "west", "Right": "east", "Up": "north", "Down": "south"}
KEY_WAYS = {"Left": (-1, 0), "Right": (1, 0), "Up": (0, 1), "Down": (0, -1)}


def read_atlas(path):
    """Country centres from an atlas, as (east, north) in degrees with east
    scaled to the latitude: all the player knows of where countries lie."""
    atlas = {}
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        fields = line.split("\t")
        if len(fields) == 3 and not line.startswith("#"):
            lat, lon = float(fields[1]), float(fields[2])
            atlas[fields[0]] = (lon * math.cos(math.radians(lat)), lat)
    return atlas


def degrees_off(atlas, here, there, arrow):
    """The angle between an arrow key and the way from one country to another."""
    (x0, y0), (x1, y1) = atlas[here], atlas[there]
    kx, ky = KEY_WAYS[arrow]
    length = math.hypot(x1 - x0, y1 - y0) or 1
    return math.degrees(math.acos(max(-1, min(1, ((x1 - x0) * kx + (y1 - y0) * ky) / length))))


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
        self.atlas = read_atlas(Path("tests/data/atlas.tsv"))
        self.heard = {}  # (country, arrow) -> where the arrow went, as Orca said, over the whole round
        self.tried_at_sea = set()

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
        self.complete_the_map()
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

    def heard_route(self, here, wanted):
        """Arrows along ways heard before to the nearest country `wanted`
        accepts, or None."""
        came = {here: None}
        todo = deque([here])
        while todo:
            node = todo.popleft()
            if wanted(node):
                route = []
                while came[node]:
                    node, arrow = came[node]
                    route.insert(0, arrow)
                return route
            for arrow in HEADINGS:
                nxt = self.heard.get((node, arrow))
                if nxt and nxt not in came:
                    came[nxt] = (node, arrow)
                    todo.append(nxt)
        return None

    def next_arrows(self, target, passed):
        """What a player who knows the atlas presses next: a way heard before
        to the target; else the untried arrow (or one heard to lead somewhere
        new) nearest the target's direction; else back to the nearest country
        with an untried arrow."""
        known = self.heard_route(self.here, lambda c: c == target)
        if known:
            return known
        if self.here in self.atlas:
            for arrow in sorted(HEADINGS, key=lambda a: degrees_off(self.atlas, self.here, target, a)):
                went = self.heard.get((self.here, arrow), "untried")
                if went == "untried" or (went and went not in passed):
                    return [arrow]
        if self.here not in self.atlas:  # at sea: any way not tried from this spot
            return [a for a in HEADINGS if a not in self.tried_at_sea][:1]
        return self.heard_route(self.here, lambda c: any((c, a) not in self.heard for a in HEADINGS))

    def find_by_ear(self, target, budget=40):
        """Jumps from country to country, steering by the atlas and by what
        Orca said of each jump, until Orca names the target; returns the
        presses it took."""
        presses = 0
        passed = {self.here}
        self.tried_at_sea = set()
        while self.here != target:
            route = self.next_arrows(target, passed)
            if not route:
                self.quiz.fail(f"{target} cannot be reached by Ctrl+arrows; heard the ways {self.heard}")
            for arrow in route:
                if presses >= budget:
                    self.quiz.fail(f"{target} not found by ear in {budget} jumps; heard the ways {self.heard}")
                went = self.jump(arrow)
                presses += 1
                if self.here in self.atlas:
                    self.heard[(self.here, arrow)] = went
                else:  # where a way from the sea goes depends on the spot
                    self.tried_at_sea.add(arrow)
                if went is None:
                    break
                if went in ("sea", "no country"):
                    self.quiz.fail(f"a jump landed on '{went}', not on a country")
                self.here = went
                passed.add(went)
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

    def complete_the_map(self):
        """Two thirds of the names with the mouse, then every third name of
        the list (or every name) by ear, in the list's order: typed, picked up, steered to by
        the atlas and by what Orca says, dropped. The last of them completes
        the map. Each drop follows the word of the one before, as a player
        who listens goes on."""
        quiz, ear = self.quiz, self.ear
        # READER_BY_EAR_EVERY=1 plays the whole round by ear (about three
        # minutes), for measuring; CI plays a third.
        by_ear = self.names[::max(1, int(os.environ.get("READER_BY_EAR_EVERY", "3")))]
        round_mark = ear.mark()
        placed = 0
        for i, name in enumerate(self.names):
            if name not in by_ear:
                told = ear.mark()
                quiz.drag(q.grab_point(i), quiz.points[name], steps=2)
                placed += 1
                ear.wait(f"mouse drop {placed}", [f"{name} placed, {placed} of 41"], told)
        ear.settle()
        self.step("Tab back into the names", ["Tab", "Tab", "Tab"], [f"List with {len(by_ear)} items"])
        started = time.monotonic()
        tally = []
        for name in by_ear:
            left = [n for n in by_ear if n not in [t[0] for t in tally]]
            typed = next(name[:k] for k in range(1, len(name) + 1)
                         if not any(o != name and o.lower().startswith(name[:k].lower()) for o in left))
            mark = ear.mark()
            key(*[c if c != " " else "space" for c in typed.lower()])
            ear.wait(f"typing '{typed.lower()}'", [name], mark)
            ear.settle(quiet=0.3)
            self.pick_up(name)
            presses = self.find_by_ear(name)
            placed += 1
            said = [f"{name} placed, {placed} of 41"]
            if placed == 41:
                said += ["The map is complete", "CONGRATULATIONS!THE MAP IS COMPLETE!"]
            mark, _ = self.step(f"{name} dropped by ear", ["Return"], said, quiet=0.3)
            if ear.count(said[0], mark) != 1:
                quiz.fail(f"'{said[0]}' was not said exactly once: {ear.transcript(mark)!r}")
            tally.append((name, presses, len(typed) + presses + 2))
        seconds = time.monotonic() - started
        for k in range(1, 42):
            if ear.count(f"placed, {k} of 41", round_mark) != 1:
                quiz.fail(f"'placed, {k} of 41' was not said exactly once: {ear.transcript(round_mark)!r}")
        print(f"{len(by_ear)} names by ear in {seconds:.0f} s, each placed at the first drop:")
        for name, presses, keys in tally:
            print(f"  {name}: {presses} Ctrl+arrow presses, {keys} keys")
        arrows = sorted(t[1] for t in tally)
        keys = sorted(t[2] for t in tally)
        print(f"Ctrl+arrow presses per name: median {arrows[len(arrows) // 2]}, worst {arrows[-1]}; "
              f"keys per name: median {keys[len(keys) // 2]}, worst {keys[-1]}")
        self.step("the box closed", ["Return"], ["New round, 41 names to place"], quiet=0)
        quiz.wait_screen("a fresh board", lambda im: all(quiz.names_in_panel(im)))
        ear.settle()
        # The display has no window manager: give the window the focus back, as
        # one does when a window's box closes.
        mark = ear.mark()
        q.run("xdotool", "windowfocus", "--sync", quiz.window)
        ear.wait("the focus back in the window", ["Country names", "List with 41 items", by_ear[-1]], mark)
        ear.settle()
        print("the 41st drop by ear: 'placed, 41 of 41. The map is complete!', the SUCCESS box read, "
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
