# SPDX-License-Identifier: MIT
"""Plays the quiz on an X display the way a person does and reads back only
what a person sees: the pixels on the screen, the window titles and the shape
of the pointer.

Input goes through xdotool (the XTEST extension, so the program gets real
pointer and key events); the screen and the pointer image are read with
libX11 and libXfixes through ctypes, which is much quicker than starting an
image tool for every look and keeps a 41-name round within seconds.
"""

import argparse
import ctypes
import json
import os
import re
import signal
import struct
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
from PIL import Image

# What the window's layout says, as the build wrote it (window-layout.json
# beside the program): set by load_layout(), which script_args() calls.
LAYOUT = None
TITLE = None        # the window's caption
TWIPS = None        # twips a pixel
SIZE = None         # the client area, pixels
NAMES = None        # name labels
MAP_RIGHT = None    # the map picture ends here in the window; the panel follows
MAP_OFFSET = None   # pixels of the map picture left of the window's edge
RESTART = None      # the buttons, window pixels (x, y, w, h)
EXIT = None
_LABELS = []        # the name labels, window pixels


class Failure(Exception):
    pass


# ---------------------------------------------------------------------------
# What the layout says.

def pixels(r):
    """A twips rectangle (x, y, w, h, ...) in window pixels."""
    return tuple(v // TWIPS for v in r[:4])


def load_layout(path):
    """Reads the window's layout; the module's constants follow it."""
    global LAYOUT, TITLE, TWIPS, SIZE, NAMES, MAP_RIGHT, MAP_OFFSET, RESTART, EXIT, _LABELS
    path = Path(path)
    if not path.is_file():
        raise Failure(f"there is no layout data {path}: it is written by the build")
    LAYOUT = json.loads(path.read_text(encoding="utf-8"))
    TITLE = LAYOUT["title"]
    TWIPS = LAYOUT["twipsPerPixel"]
    SIZE = tuple(v // TWIPS for v in LAYOUT["client"])
    controls = {(c["name"], c["index"]): c for c in LAYOUT["controls"]}
    x, _, w, _ = controls[("Image1", -1)]["rect"]
    MAP_OFFSET, MAP_RIGHT = -x // TWIPS, (x + w) // TWIPS
    RESTART = pixels(controls[("PushButton1", -1)]["rect"])
    EXIT = pixels(controls[("PushButton2", -1)]["rect"])
    NAMES = sum(1 for c in LAYOUT["controls"] if c["name"] == "labels")
    _LABELS = [pixels(controls[("labels", i)]["rect"]) for i in range(NAMES)]
    return LAYOUT


def read_layout():
    """(regions, map_labels): regions as (x, y, w, h, tag) in twips in table
    order, map labels as (x, y, w, h, country) in twips in item order."""
    return [tuple(r) for r in LAYOUT["regions"]], [tuple(m) for m in LAYOUT["mapLabels"]]


def read_items(program_dir):
    """The item lines as the program reads them: CR, LF or CR LF end a line,
    UTF-8 or else Windows-1252."""
    path = Path(program_dir) / "items.txt"
    if not path.is_file():
        raise Failure(f"there is no {path} beside the program")
    raw = path.read_bytes()
    try:
        text = raw.decode("utf-8-sig")
    except UnicodeDecodeError:
        text = raw.decode("cp1252", errors="replace")
    lines = re.split(r"\r\n|\r|\n", text)
    if lines and lines[-1] == "":
        lines.pop()  # the last line's terminator
    return lines


def panel_rect(i):
    """The name label i in the panel, window pixels (x, y, w, h)."""
    return _LABELS[i]


def panel_text_band(i):
    """The rows of label i that only its own letters reach: the labels are
    taller than their line pitch, so each one's top rows and the next one's
    are shared; the rows in between are its own."""
    x, y, w, h = _LABELS[i]
    column = [r for r in _LABELS if r[0] == x]
    pitch = column[1][1] - column[0][1]
    shared = column[0][3] - pitch
    return (x, y + shared - 1, w, pitch - shared + 1)


def grab_point(i):
    """Where a person takes hold of name i: on its first letters, in the
    rows no neighbouring label covers."""
    x, y, _, h = panel_text_band(i)
    return (x + 18, y + h // 2)


def twips_rect_to_pixels(r):
    x, y, w, h = r[:4]
    return (x // TWIPS, y // TWIPS, max(1, w // TWIPS), max(1, h // TWIPS))


def judged_map(regions, countries):
    """Per window pixel of the map, the index into countries of the country a
    drop there is judged as (the highest-index region containing the pixel's
    twips point), -1 where no region is."""
    h, w = SIZE[1], MAP_RIGHT
    ys, xs = np.mgrid[0:h, 0:w]
    tx, ty = xs * TWIPS, ys * TWIPS
    judged = np.full((h, w), -1, dtype=np.int16)
    index = {c: k for k, c in enumerate(countries)}
    for (x, y, rw, rh, tag) in regions:
        inside = (tx >= x) & (tx <= x + rw - 1) & (ty >= y) & (ty <= y + rh - 1)
        judged[inside] = index.get(tag, -2)
    return judged


def erosion_depth(mask):
    """How many 8-neighbour erosions each pixel of mask survives."""
    depth = np.zeros(mask.shape, dtype=np.int32)
    cur = mask.copy()
    level = 0
    while cur.any():
        level += 1
        depth[cur] = level
        p = np.pad(cur, 1, constant_values=False)
        nxt = cur.copy()
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                nxt &= p[1 + dy:1 + dy + cur.shape[0], 1 + dx:1 + dx + cur.shape[1]]
        cur = nxt
    return depth


def drop_points(source_dir, regions, countries):
    """A point well inside each country, window pixels: deepest inside the
    area that the region table judges as the country and, where the country
    mask of the map picture exists, that also shows the country's land."""
    judged = judged_map(regions, countries)
    mask = None
    mask_path = Path(source_dir) / "layout" / "countrymask.png"
    label_order = [m[4] for m in read_layout()[1]]
    if mask_path.exists():
        m = np.array(Image.open(mask_path))        # value: map-label order + 1
        mask = np.full(judged.shape, -1, dtype=np.int16)
        span = min(MAP_RIGHT, m.shape[1] - MAP_OFFSET)
        mask[:, :span] = m[:judged.shape[0], MAP_OFFSET:MAP_OFFSET + span].astype(np.int16) - 1
    points = {}
    for k, country in enumerate(countries):
        area = judged == k
        if not area.any():
            raise Failure(f"no region of the table is judged as {country}")
        own = label_order.index(country) if country in label_order else -2
        if mask is not None and (area & (mask == own)).any():
            area = area & (mask == own)
        depth = erosion_depth(area)
        ys, xs = np.nonzero(depth == depth.max())
        cy, cx = ys.mean(), xs.mean()
        best = int(np.argmin((ys - cy) ** 2 + (xs - cx) ** 2))
        points[country] = (int(xs[best]), int(ys[best]))
    return points


# ---------------------------------------------------------------------------
# The X display.

class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                ("blue_mask", ctypes.c_ulong)]


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class Pointer:
    def __init__(self, width, height, xhot, yhot, name, argb):
        self.width, self.height, self.xhot, self.yhot, self.name, self.argb = width, height, xhot, yhot, name, argb

    @property
    def opaque(self):
        return ((self.argb >> 24) & 0xFF) > 127

    def __repr__(self):
        return f"pointer {self.width}x{self.height} hotspot {self.xhot},{self.yhot} name '{self.name}'"


class Display:
    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.xfixes = ctypes.CDLL("libXfixes.so.3")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(_XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
        self.xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        # A failed request must not end the test run from inside Xlib.
        self._on_error = _ERROR_HANDLER(lambda d, e: 0)
        self.x.XSetErrorHandler(self._on_error)
        self.dpy = self.x.XOpenDisplay(None)
        if not self.dpy:
            raise Failure(f"cannot open X display {os.environ.get('DISPLAY')!r}")
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def grab(self, x, y, w, h):
        """The screen's pixels in a rectangle of the root window, RGB."""
        img = self.x.XGetImage(self.dpy, self.root, x, y, w, h, ctypes.c_ulong(0xFFFFFFFF), 2)
        if not img:
            raise Failure(f"could not read the screen at {x},{y} {w}x{h}")
        try:
            im = img.contents
            if im.bits_per_pixel != 32:
                raise Failure(f"screen has {im.bits_per_pixel} bits per pixel; the test expects 32")
            raw = ctypes.string_at(im.data, im.bytes_per_line * h)
            a = np.frombuffer(raw, np.uint8).reshape(h, im.bytes_per_line)[:, :w * 4].reshape(h, w, 4)
            return a[..., [2, 1, 0]].copy()
        finally:
            self.x.XDestroyImage(img)

    def close(self, window):
        """Asks a window to close, as a window manager does for its close
        box: a WM_DELETE_WINDOW message."""
        self.x.XInternAtom.restype = ctypes.c_ulong
        self.x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        ev = _ClientMessage()
        ev.type = 33  # ClientMessage
        ev.window = window
        ev.message_type = self.x.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        ev.format = 32
        ev.l[0] = self.x.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        ev.l[1] = 0  # CurrentTime
        self.x.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(ev))
        self.x.XSync(self.dpy, 0)

    def pointer(self):
        p = self.xfixes.XFixesGetCursorImage(self.dpy)
        if not p:
            raise Failure("XFixes gave no pointer image")
        try:
            c = p.contents
            n = c.width * c.height
            argb = np.ctypeslib.as_array(c.pixels, shape=(n,)).astype(np.uint64).astype(np.uint32)
            name = c.name.decode("latin-1") if c.name else ""
            return Pointer(c.width, c.height, c.xhot, c.yhot, name, argb.reshape(c.height, c.width).copy())
        finally:
            self.x.XFree(p)


def cursor_file_mask(path):
    """Opaque pixels and hotspot of a monochrome .CUR file (first image)."""
    b = Path(path).read_bytes()
    _, kind, count = struct.unpack_from("<HHH", b, 0)
    w, h, _, _, xhot, yhot, size, offset = struct.unpack_from("<BBBBHHII", b, 6)
    w, h = w or 256, h or 256
    hdr = struct.unpack_from("<IiiHHI", b, offset)
    bpp = hdr[4]
    colours = 1 << bpp if bpp <= 8 else 0
    xor_stride = ((w * bpp + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    and_at = offset + hdr[0] + 4 * colours + xor_stride * h
    opaque = np.zeros((h, w), dtype=bool)
    for row in range(h):
        bits = b[and_at + row * and_stride: and_at + (row + 1) * and_stride]
        for col in range(w):
            opaque[h - 1 - row, col] = not (bits[col // 8] >> (7 - col % 8)) & 1
    return opaque, (xhot, yhot)


def icon_file_mask(path):
    im = Image.open(path).convert("RGBA")
    return np.array(im)[..., 3] > 127


def same_shape(pointer, opaque, tolerance=0.05):
    if pointer.opaque.shape != opaque.shape:
        return False
    return np.mean(pointer.opaque != opaque) <= tolerance


# ---------------------------------------------------------------------------
# The program.

def run(*args, check=True, timeout=10):
    try:
        r = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure(f"{' '.join(map(str, args))} did not finish within {timeout} s") from None
    if check and r.returncode != 0:
        raise Failure(f"{' '.join(map(str, args))} failed ({r.returncode}): {r.stderr.strip()}")
    return r.stdout


def visible_windows():
    """(id, title) of every mapped window that has a title."""
    out = run("xdotool", "search", "--onlyvisible", "--name", ".", check=False)
    found = []
    for wid in out.split():
        name = run("xdotool", "getwindowname", wid, check=False).strip()
        found.append((int(wid), name))
    return found


def find_window(title):
    out = run("xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(title) + "$", check=False)
    ids = [int(w) for w in out.split()]
    return ids[0] if ids else None


class Quiz:
    """The program under test, on the current X display."""

    def __init__(self, program, out_dir, cwd=None):
        self.program = os.path.abspath(str(program))
        self.out_dir = Path(out_dir)
        self.out_dir.mkdir(parents=True, exist_ok=True)
        self.cwd = cwd or "/"
        self.proc = None
        self.window = None
        self.origin = (0, 0)
        self.display = Display()
        self.baseline = None
        self.shots = 0
        self.log_path = self.out_dir / "program.log"
        self.log_path.unlink(missing_ok=True)
        self.log = None

    def learn(self, source_dir):
        """Names in panel order, their countries and where each one goes."""
        regions, labels = read_layout()
        self.items = read_items(Path(os.path.realpath(self.program)).parent)
        if len(self.items) != NAMES:
            raise Failure(f"items.txt beside the program has {len(self.items)} names, not {NAMES}")
        self.names = [item.split(",")[0] for item in self.items]
        self.map_rects = [twips_rect_to_pixels(m) for m in labels]
        countries = sorted({r[4] for r in regions})
        self.points = drop_points(source_dir, regions, countries)
        for name in self.names:
            if name not in self.points:
                raise Failure(f"'{name}' of items.txt is no country of the region table")

    # -- process --------------------------------------------------------------

    platform = None  # Qt's platform for the program; by default the real X display, never offscreen

    def start(self):
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)
        if self.platform:
            env["QT_QPA_PLATFORM"] = self.platform
        if getattr(self, "log", None):
            self.log.close()
        self.log = open(self.log_path, "a")
        self.log.write(f"--- {self.program}\n")
        self.log.flush()
        self.proc = subprocess.Popen([self.program], cwd=self.cwd, env=env, stdin=subprocess.DEVNULL,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.started = time.monotonic()

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self):
        """Ends the program if it still runs (this process only)."""
        if self.alive():
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(3)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(3)
        if getattr(self, "log", None):
            self.log.close()
            self.log = None

    def program_output(self):
        try:
            return self.log_path.read_text(errors="replace").strip()
        except OSError:
            return ""

    # -- looking --------------------------------------------------------------

    def wait_window(self, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.alive():
                raise Failure(f"the program ended (exit code {self.proc.returncode}) before its window showed")
            for wid, name in visible_windows():
                if name == "Application Error":
                    self.window = None
                    self.fail("an 'Application Error' box showed at start-up")
            wid = find_window(TITLE)
            if wid:
                g = run("xdotool", "getwindowgeometry", "--shell", wid)
                geo = dict(line.split("=", 1) for line in g.split())
                self.window = wid
                self.origin = (int(geo["X"]), int(geo["Y"]))
                self.size = (int(geo["WIDTH"]), int(geo["HEIGHT"]))
                return wid
            time.sleep(0.05)
        self.fail(f"no visible window titled '{TITLE}' within {timeout} s")

    def window_rect(self, wid):
        """Another window's rectangle in this window's pixels."""
        g = run("xdotool", "getwindowgeometry", "--shell", wid)
        geo = dict(line.split("=", 1) for line in g.split())
        return (int(geo["X"]) - self.origin[0], int(geo["Y"]) - self.origin[1],
                int(geo["WIDTH"]), int(geo["HEIGHT"]))

    def shot(self):
        """The window's client area as the screen shows it."""
        return self.display.grab(self.origin[0], self.origin[1], SIZE[0], SIZE[1])

    def save(self, image, name):
        path = self.out_dir / name
        Image.fromarray(image).save(path)
        return path

    def root_shot(self):
        w = h = None
        try:
            info = run("xdotool", "getdisplaygeometry").split()
            w, h = int(info[0]), int(info[1])
            return self.display.grab(0, 0, w, h)
        except Exception:
            return None

    # -- reading the window ---------------------------------------------------

    @staticmethod
    def white_in(image, rect):
        x, y, w, h = rect
        a = image[y:y + h, x:x + w].astype(np.int16)
        return int(np.count_nonzero((a.min(axis=2) > 200)))

    def names_in_panel(self, image):
        """Which of the 41 names the panel shows (white letters in the rows
        that only that label covers)."""
        return [self.white_in(image, panel_text_band(i)) >= 12 for i in range(NAMES)]

    @staticmethod
    def changed(a, b, rect):
        """Pixels of rect that differ noticeably between two pictures."""
        x, y, w, h = rect
        d = np.abs(a[y:y + h, x:x + w].astype(np.int16) - b[y:y + h, x:x + w].astype(np.int16)).max(axis=2)
        return int(np.count_nonzero(d > 48))

    def map_labels_shown(self, image):
        """Which map-label places differ from the start-up picture."""
        return [self.changed(image, self.baseline, self.map_rects[i]) >= 6 for i in range(NAMES)]

    def map_changes(self, image, reference=None):
        ref = self.baseline if reference is None else reference
        return self.changed(image, ref, (0, 0, MAP_RIGHT, SIZE[1]))

    def describe(self, image):
        lines = []
        if image is not None and hasattr(self, "names"):
            shown = self.names_in_panel(image)
            lines.append("panel shows: " + (", ".join(n for n, s in zip(self.names, shown) if s) or "no name"))
            lines.append("panel lacks: " + (", ".join(n for n, s in zip(self.names, shown) if not s) or "no name"))
        if image is not None and self.baseline is not None and hasattr(self, "names"):
            placed = self.map_labels_shown(image)
            lines.append("map labels changed from the start: "
                         + (", ".join(n for n, s in zip(self.names, placed) if s) or "none"))
            lines.append(f"map pixels changed from the start: {self.map_changes(image)}")
        try:
            lines.append("windows: " + "; ".join(f"0x{w:x} '{n}'" for w, n in visible_windows()))
        except Exception as e:  # the display may be gone
            lines.append(f"windows: unknown ({e})")
        try:
            lines.append(repr(self.display.pointer()))
        except Exception:
            pass
        if self.proc is not None:
            lines.append("program: " + ("running" if self.alive() else f"ended, exit code {self.proc.returncode}"))
        return "\n  ".join(lines)

    def fail(self, message, image=None):
        self.shots += 1
        if image is None and self.window:
            try:
                image = self.shot()
            except Exception:
                image = None
        saved = []
        if image is not None:
            saved.append(str(self.save(image, f"failure-{self.shots}-window.png")))
        root = self.root_shot()
        if root is not None:
            saved.append(str(self.save(root, f"failure-{self.shots}-screen.png")))
        text = f"{message}\n  seen: {self.describe(image)}"
        if saved:
            text += "\n  screenshots: " + ", ".join(saved)
        out = self.program_output()
        if out:
            text += "\n  program output:\n    " + out.replace("\n", "\n    ")
        failure = Failure(text)
        failure.described = True
        raise failure

    def wait_screen(self, what, predicate, timeout=10.0):
        """Looks at the window until predicate(image) holds."""
        deadline = time.monotonic() + timeout
        while True:
            image = self.shot()
            if predicate(image):
                return image
            if time.monotonic() > deadline or not self.alive():
                self.fail(f"{what}: not seen within {timeout} s", image)
            time.sleep(0.03)

    def wait_opening(self, settle=0.0):
        """Waits for the opening picture, every name white in the panel, and
        after settle seconds more takes it as the baseline."""
        image = self.wait_screen("all 41 names in the panel at start", lambda im: all(self.names_in_panel(im)))
        if settle:
            time.sleep(settle)
            image = self.shot()
        self.baseline = image
        return image

    def wait_still(self, what, quiet=0.3, timeout=10.0):
        """Looks at the window until it has not changed for quiet seconds:
        a slow machine (or a sanitizer build) may still be repainting."""
        deadline = time.monotonic() + timeout
        last = self.shot()
        since = time.monotonic()
        while True:
            time.sleep(0.05)
            image = self.shot()
            if not np.array_equal(image, last):
                last, since = image, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return image
            if time.monotonic() > deadline or not self.alive():
                self.fail(f"{what}: the window kept changing for {timeout} s", image)

    def wait_pointer(self, what, predicate, timeout=6.0):
        deadline = time.monotonic() + timeout
        while True:
            p = self.display.pointer()
            if predicate(p):
                return p
            if time.monotonic() > deadline:
                self.fail(f"{what}: the pointer is {p!r}")
            time.sleep(0.03)

    # -- acting -----------------------------------------------------------------

    def at(self, x, y):
        return (self.origin[0] + int(x), self.origin[1] + int(y))

    def move(self, x, y):
        ax, ay = self.at(x, y)
        run("xdotool", "mousemove", ax, ay)

    def click(self, x, y):
        ax, ay = self.at(x, y)
        run("xdotool", "mousemove", ax, ay, "sleep", "0.03", "click", "1")

    def exit_by_button(self):
        """Clicks Exit and waits for the program to end with exit code 0."""
        self.click_button(EXIT)
        try:
            code = self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.fail("the program still runs 10 s after a click on Exit")
        if code != 0:
            self.fail(f"the program ended with exit code {code} after a click on Exit")

    def click_button(self, rect):
        x, y, w, h = rect
        self.click(x + w // 2, y + h // 2)

    def carry(self, source, target, steps=4):
        """Presses on source and moves in a few steps to target (window
        pixels), the button still held."""
        sx, sy = source
        tx, ty = target
        args = ["mousemove", *self.at(sx, sy), "sleep", "0.03", "mousedown", "1", "sleep", "0.03",
                "mousemove", *self.at(sx + 3, sy), "sleep", "0.02"]
        for k in range(1, steps + 1):
            f = k / steps
            args += ["mousemove", *self.at(sx + 3 + (tx - sx - 3) * f, sy + (ty - sy) * f), "sleep", "0.02"]
        run("xdotool", *args)

    def drag(self, source, target, steps=4, while_dragging=None):
        """Presses on source, moves in a few steps to target and lets go
        there (window pixels). while_dragging runs with the button held,
        the pointer over the target."""
        self.carry(source, target, steps)
        try:
            if while_dragging:
                while_dragging()
        finally:
            run("xdotool", "sleep", "0.03", "mouseup", "1")

    def key_to_window(self, wid, key):
        run("xdotool", "windowfocus", "--sync", wid)
        run("xdotool", "key", key)


def script_args(more=None, program=True):
    """The arguments of a script that plays the program: --program, --source
    (the source tree), --out (screenshots and logs) and --layout (the
    window's layout data; by default beside the program), and whatever more
    adds to the parser. Loads the layout."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=program)
    ap.add_argument("--source", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--layout")
    if more:
        more(ap)
    args = ap.parse_args()
    layout = args.layout or (Path(os.path.realpath(args.program)).parent / "window-layout.json" if args.program
                             else None)
    if layout is None:
        ap.error("--layout is needed without --program")
    try:
        load_layout(layout)
    except Failure as e:
        ap.error(str(e))
    return args


def play_once(program, out, body):
    """Starts the quiz, runs body(quiz) under main_guard and stops the quiz;
    returns the exit code."""
    quiz = Quiz(program, out)
    try:
        return main_guard(lambda: body(quiz), quiz)
    finally:
        quiz.stop()


def main_guard(body, quiz=None):
    """Runs body(), turns a Failure into a message and exit code 1. The run
    ends itself at E2E_DEADLINE seconds (set by xvfb.sh a little inside its
    own limit), while the display is still there to show what was on it."""
    t0 = time.monotonic()

    def stopped(signum, frame):
        raise Failure(f"stopped by signal {signum} after {time.monotonic() - t0:.1f} s")

    signal.signal(signal.SIGTERM, stopped)
    signal.signal(signal.SIGALRM, stopped)
    deadline = int(os.environ.get("E2E_DEADLINE", "0") or 0)
    if deadline > 0:
        signal.alarm(deadline)
    try:
        try:
            body()
        except Failure as e:
            if quiz is None or getattr(e, "described", False):
                raise
            quiz.fail(str(e))
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr)
        return 1
    finally:
        signal.alarm(0)
    print(f"passed in {time.monotonic() - t0:.1f} s")
    return 0
