#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Regenerate the program's small assets: panel strip, icons, cursors,
sounds and the example skin.

Everything is drawn or synthesised here, so the output is reproducible:
running the script twice gives byte-identical files.

    /usr/bin/python3 tools/gen_assets.py [--out DIR]

Needs python3-numpy, python3-pil and ffmpeg (for the WMA encoding).
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import wave

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

RATE = 44100


# ---------------------------------------------------------------------------
# Drawing utilities
# ---------------------------------------------------------------------------

def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    """Blend colour arrays a and b by t (t broadcasts over the last axis)."""
    t = np.asarray(t, dtype=np.float64)
    if t.ndim and t.shape[-1] != 1:
        t = t[..., None]
    return a * (1.0 - t) + b * t


def rgb(*c):
    return np.array(c, dtype=np.float64) / 255.0


def to_image(color, alpha):
    """float colour (H, W, 3) in 0..1 and alpha (H, W) -> RGBA PIL image."""
    a = np.clip(alpha, 0.0, 1.0)
    c = np.clip(color, 0.0, 1.0)
    arr = np.dstack([c, a[..., None]])
    return Image.fromarray(np.round(arr * 255.0).astype(np.uint8), "RGBA")


def over(dst_c, dst_a, src_c, src_a):
    """Porter-Duff 'over' with straight (non-premultiplied) colours."""
    out_a = src_a + dst_a * (1.0 - src_a)
    safe = np.where(out_a > 1e-9, out_a, 1.0)
    out_c = (src_c * src_a[..., None] +
             dst_c * (dst_a * (1.0 - src_a))[..., None]) / safe[..., None]
    return out_c, out_a


def grid(size, scale=1.0):
    """Pixel-centre coordinates of a size x size canvas, in units of
    size/scale (so the same drawing code works at any supersampling)."""
    c = (np.arange(size, dtype=np.float64) + 0.5) * (scale / size)
    return np.meshgrid(c, c)  # x, y


def downscale(img, size):
    """Premultiplied LANCZOS downscale so that transparent pixels do not bleed
    a dark fringe into the edges."""
    arr = np.asarray(img, dtype=np.float64) / 255.0
    a = arr[..., 3:4]
    pre = np.concatenate([arr[..., :3] * a, a], axis=2)
    chans = [Image.fromarray(pre[..., i].astype(np.float32), "F")
             .resize((size, size), Image.LANCZOS) for i in range(4)]
    out = np.dstack([np.asarray(ch, dtype=np.float64) for ch in chans])
    out = np.clip(out, 0.0, 1.0)
    alpha = out[..., 3]
    safe = np.where(alpha > 1e-6, alpha, 1.0)
    color = out[..., :3] / safe[..., None]
    return to_image(color, alpha)


# ---------------------------------------------------------------------------
# Windows .ico / .cur writer
# ---------------------------------------------------------------------------

def _row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def _and_mask(opaque):
    """1-bit AND mask, bottom-up rows: bit set = transparent."""
    h, w = opaque.shape
    stride = _row_bytes(w)
    out = bytearray()
    for y in range(h - 1, -1, -1):
        bits = np.packbits(~opaque[y]).tobytes()
        out += bits + b"\0" * (stride - len(bits))
    return bytes(out)


def _bmp_header(w, h, bpp, image_size, colors=0):
    # Height is doubled: colour bitmap followed by the AND mask.
    return struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bpp, 0, image_size,
                       0, 0, colors, 0)


def dib_indexed(index, palette, opaque, bpp):
    """index: (h, w) uint8 palette indices; palette: list of (r, g, b)."""
    h, w = index.shape
    ncol = 1 << bpp
    pal = bytearray()
    for i in range(ncol):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        pal += bytes((b, g, r, 0))
    stride = _row_bytes(w * bpp)
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        row = index[y]
        if bpp == 8:
            bits = row.astype(np.uint8).tobytes()
        elif bpp == 1:
            bits = np.packbits(row.astype(bool)).tobytes()
        else:
            raise ValueError(bpp)
        xor += bits + b"\0" * (stride - len(bits))
    mask = _and_mask(opaque)
    return (_bmp_header(w, h, bpp, len(xor) + len(mask), ncol) + bytes(pal)
            + bytes(xor) + mask)


def write_icon_file(path, images, kind=1, hotspot=(0, 0)):
    """images: list of (width, height, colour_count, bpp, payload bytes).
    kind 1 = icon, 2 = cursor (planes/bpp fields then hold the hotspot)."""
    out = bytearray(struct.pack("<HHH", 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for w, h, ncol, bpp, data in images:
        f1, f2 = (1, bpp) if kind == 1 else hotspot
        out += struct.pack("<BBBBHHII", w % 256, h % 256, ncol % 256, 0,
                           f1, f2, len(data), offset)
        offset += len(data)
    for *_, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------------------
# 1. Panel strip
# ---------------------------------------------------------------------------

def make_panel(path):
    # Stretched about 30x across and 3.6x down, so only smooth gradients
    # survive: a medium blue, a little lighter at the top and towards the
    # left edge, deep enough that bold white text stays easy to read.
    w, h = 11, 154
    x = (np.arange(w) + 0.5) / w
    y = (np.arange(h) + 0.5) / h
    X, Y = np.meshgrid(x, y)
    top = rgb(46, 98, 178)
    bottom = rgb(18, 50, 118)
    c = mix(top, bottom, smoothstep(0.0, 1.0, Y))
    # Soft sheen along the left edge and a slightly darker right edge.
    sheen = 0.10 * np.exp(-((X - 0.12) / 0.28) ** 2) - 0.05 * smoothstep(0.7, 1.0, X)
    c = np.clip(c * (1.0 + sheen[..., None]), 0, 1)
    img = Image.fromarray(np.round(c * 255).astype(np.uint8), "RGB")
    img.save(path, "JPEG", quality=95, subsampling=0)


# ---------------------------------------------------------------------------
# 2. Push-pin drag icon (32 x 32, 8 bpp, tip at pixel 29,29)
# ---------------------------------------------------------------------------

PIN_BLUE_DARK = rgb(8, 30, 100)
PIN_BLUE_MID = rgb(30, 84, 206)
PIN_BLUE_LIGHT = rgb(120, 176, 255)


def shade_sphere(x, y, cx, cy, r):
    """Colour and coverage of a glossy blue ball lit from the upper left."""
    dx, dy = (x - cx) / r, (y - cy) / r
    d2 = dx * dx + dy * dy
    inside = d2 < 1.0
    nz = np.sqrt(np.clip(1.0 - d2, 0.0, 1.0))
    light = np.array([-0.55, -0.62, 0.56])
    light /= np.linalg.norm(light)
    diff = np.clip(dx * light[0] + dy * light[1] + nz * light[2], 0, 1)
    c = mix(PIN_BLUE_DARK, PIN_BLUE_MID, smoothstep(0.0, 0.55, diff))
    c = mix(c, PIN_BLUE_LIGHT, smoothstep(0.55, 1.0, diff))
    # Blue bounce light on the lower right keeps the shadow side round.
    rim = smoothstep(0.55, 1.0, np.sqrt(d2)) * smoothstep(0.0, 0.8, dx + dy)
    c = mix(c, rgb(40, 90, 190), 0.45 * rim)
    half = np.array([light[0], light[1], light[2] + 1.0])
    half /= np.linalg.norm(half)
    gloss = np.clip(dx * half[0] + dy * half[1] + nz * half[2], 0, 1) ** 40
    c = mix(c, rgb(255, 255, 255), np.clip(gloss * 1.3, 0, 1))
    return c, inside


def draw_pin_head(size, cx, cy, r, unit):
    """Ball head plus the short collar where the needle leaves it, drawn on
    a size x size canvas whose coordinates run 0..unit."""
    x, y = grid(size, unit)
    # Collar: a short cone along the 45 degree axis under the ball.
    ax = (x - cx + y - cy) / np.sqrt(2.0)          # along the needle
    ay = (y - cy - (x - cx)) / np.sqrt(2.0)        # across it
    c0, c1 = r * 0.55, r * 1.22
    t = np.clip((ax - c0) / (c1 - c0), 0, 1)
    width = r * (0.42 - 0.22 * t)
    collar = (ax > c0) & (ax < c1) & (np.abs(ay) < width)
    shade = 0.5 - 0.5 * ay / np.maximum(width, 1e-6)   # lit from upper right edge
    col_c = mix(rgb(20, 60, 165), rgb(10, 34, 110), smoothstep(0.2, 1.0, shade))
    col_c = mix(col_c, rgb(90, 140, 235), smoothstep(0.75, 1.0, 1.0 - shade) * 0.8)
    color = np.zeros(x.shape + (3,))
    alpha = np.zeros(x.shape)
    color, alpha = over(color, alpha, col_c, collar.astype(float))
    ball_c, ball_in = shade_sphere(x, y, cx, cy, r)
    color, alpha = over(color, alpha, ball_c, ball_in.astype(float))
    return to_image(color, alpha)


NEEDLE = {  # shades across the needle, from its lit upper side
    "hi": (224, 226, 232), "mid": (160, 163, 172), "lo": (96, 98, 108),
    "tip": (120, 122, 130),
}


def draw_pushpin(size, tip, lit_until, rim):
    """The push-pin at size pixels: (color, opaque). The needle is drawn
    pixel by pixel so that its point lands exactly on (tip, tip): a 45 degree
    steel shaft, lit on its upper right side, one more pixel wide each side
    up to each step of lit_until, tapering to one pixel at the point. A rim
    of rim pixels, darker, keeps the head readable on the blue panel as well
    as on pale map colours, where soft edges cannot be used."""
    s = 16
    big = draw_pin_head(size * s, 11.0, 11.0, 8.0, 32.0)
    arr = np.asarray(downscale(big, size)).astype(np.float64)
    alpha = arr[..., 3] / 255.0
    color = arr[..., :3]
    opaque = alpha >= 0.45
    needle = {}
    for k in range(17 * size // 32, tip + 1):
        needle[(k, k)] = NEEDLE["mid"] if k < tip else NEEDLE["tip"]
        for width, until in enumerate(lit_until, start=1):
            if k <= until:
                needle[(k + width, k)] = NEEDLE["hi"]
                needle[(k, k + width)] = NEEDLE["lo"]
    for (px, py), col in needle.items():
        if opaque[py, px] and alpha[py, px] > 0.9:
            continue  # the head covers this part of the needle
        color[py, px] = col
        opaque[py, px] = True
    head = opaque.copy()
    for (px, py) in needle:
        head[py, px] = False
    pad = np.pad(opaque, rim)
    n = opaque.shape[0]
    inner = np.ones_like(opaque)
    for d in range(1, rim + 1):  # every pixel within rim steps across or down is opaque too
        inner &= (pad[rim - d:rim - d + n, rim:rim + n] & pad[rim + d:rim + d + n, rim:rim + n]
                  & pad[rim:rim + n, rim - d:rim - d + n] & pad[rim:rim + n, rim + d:rim + d + n])
    edge = head & ~inner
    color[edge] = color[edge] * 0.35 + np.array([8, 24, 80]) * 0.65
    return np.where(opaque[..., None], color, 0), opaque


def make_pushpin(path, preview_dir=None):
    color, opaque = draw_pushpin(32, 29, (25,), 1)
    rgb_img = Image.fromarray(np.round(color).astype(np.uint8), "RGB")
    pal_img = rgb_img.quantize(colors=255, method=Image.MEDIANCUT, dither=Image.NONE)
    index = np.asarray(pal_img).astype(np.uint8)
    pal = pal_img.getpalette()[:255 * 3]
    palette = [tuple(pal[i:i + 3]) for i in range(0, len(pal), 3)]
    index = np.where(opaque, index, 0).astype(np.uint8)
    data = dib_indexed(index, palette, opaque, 8)
    write_icon_file(path, [(32, 32, 0, 8, data)])
    return Image.open(path)


def make_pushpin_2x(path):
    """The push-pin at double resolution (64 pixels, PNG), for screens with
    more than one pixel to a point: the same head drawn finer, the needle's
    point on (58, 58), twice the 32-pixel picture's (29, 29)."""
    color, opaque = draw_pushpin(64, 58, (52, 46), 2)
    rgba = np.dstack([color, np.where(opaque, 255, 0)])
    Image.fromarray(np.round(rgba).astype(np.uint8), "RGBA").save(path, optimize=True)


# ---------------------------------------------------------------------------
# 3. Program icon: a little political globe with a blue pin in it
# ---------------------------------------------------------------------------

def value_noise(lon, lat, seed, octaves):
    """Smooth deterministic noise on the sphere (sum of random waves)."""
    rng = np.random.default_rng(seed)
    p = np.stack([np.cos(lat) * np.cos(lon), np.cos(lat) * np.sin(lon), np.sin(lat)])
    total = np.zeros(lon.shape)
    amp, freq = 1.0, 1.6
    for _ in range(octaves):
        for _ in range(6):
            d = rng.normal(size=3)
            d /= np.linalg.norm(d)
            ph = rng.uniform(0, 2 * np.pi)
            total += amp * np.sin(freq * np.tensordot(d, p, axes=1) * 3.0 + ph)
        amp *= 0.5
        freq *= 2.0
    return total


def colour_regions(labels, mask, n):
    """Greedy map colouring: neighbouring countries get different pastels."""
    adj = [set() for _ in range(n)]
    for a, b in [(labels[:, :-1], labels[:, 1:]), (labels[:-1], labels[1:])]:
        m = (a != b)
        for i, j in set(zip(a[m].tolist(), b[m].tolist())):
            adj[i].add(j)
            adj[j].add(i)
    colours = []
    for i in range(n):
        used = {colours[j] for j in adj[i] if j < i}
        colours.append(next(c for c in range(len(PASTELS)) if c not in used))
    return colours


PASTELS = [rgb(*c) for c in [
    (246, 226, 140), (184, 222, 150), (246, 190, 150), (238, 178, 196),
    (204, 190, 232), (250, 210, 120), (168, 214, 196), (240, 232, 180),
]]


def draw_globe_icon(size, detail):
    """Master drawing on a size x size canvas. detail=False thickens lines
    and drops fine features for the 32 and 48 pixel versions."""
    x, y = grid(size, 1.0)
    color = np.zeros((size, size, 3))
    alpha = np.zeros((size, size))
    aa = 1.5 / size  # one and a half canvas pixels of edge smoothing

    cx, cy, R = 0.46, 0.545, 0.405
    if detail:
        # Soft contact shadow below the globe (only a smudge at small sizes).
        sh = np.exp(-(((x - cx - 0.02) / 0.36) ** 2 + ((y - 0.955) / 0.035) ** 2))
        color, alpha = over(color, alpha, np.zeros_like(color), 0.35 * sh)

    dx, dy = (x - cx) / R, (y - cy) / R
    d = np.sqrt(dx * dx + dy * dy)
    disc = smoothstep(1.0 + aa / R, 1.0 - aa / R, d)
    nz = np.sqrt(np.clip(1 - d * d, 0, 1))
    # Orthographic view tilted towards the viewer's north-west.
    tilt = 0.45
    py_ = -dy * np.cos(tilt) + nz * np.sin(tilt)
    pz = dy * np.sin(tilt) + nz * np.cos(tilt)
    lat = np.arcsin(np.clip(py_, -1, 1))
    lon = np.arctan2(dx, pz) + 0.35

    n = value_noise(lon, lat, seed=7, octaves=3 if detail else 2)
    land_field = n + 1.1 * np.exp(-((lat - 0.45) / 0.55) ** 2) - 0.9
    land = land_field > 0.0
    land_soft = smoothstep(-0.04, 0.04, land_field)

    # Countries: nearest of a few seeds on the sphere (with wobbly borders),
    # seeds picked among land points so every country is on the map.
    P = np.stack([np.cos(lat) * np.cos(lon), np.cos(lat) * np.sin(lon), np.sin(lat)], -1)
    wob = 0.06 * np.stack([value_noise(lon, lat, seed=s_, octaves=2) for s_ in (3, 4, 5)], -1)
    Pw = P + wob
    rng = np.random.default_rng(11)
    nseeds = 16 if detail else 5
    cand = np.argwhere(land & (nz > 0.35))
    pick = cand[rng.choice(len(cand), size=nseeds, replace=False)]
    seeds = P[pick[:, 0], pick[:, 1]]
    d2 = np.stack([np.sum((Pw - sd) ** 2, axis=-1) for sd in seeds])
    order = np.argsort(d2, axis=0)
    nearest = order[0]
    first = np.sqrt(np.take_along_axis(d2, order[:1], 0)[0])
    second = np.sqrt(np.take_along_axis(d2, order[1:2], 0)[0])
    gap = (second - first) * nz  # foreshortened towards the limb
    land_c = np.zeros((size, size, 3))
    for i, ci in enumerate(colour_regions(nearest, land, nseeds)):
        land_c[nearest == i] = PASTELS[ci]

    ocean_hi, ocean_lo = rgb(132, 200, 246), rgb(46, 120, 210)
    light = np.clip(-0.45 * dx - 0.55 * dy + 0.7 * nz, 0, 1)
    ocean = mix(ocean_lo, ocean_hi, smoothstep(0.1, 1.0, light))
    surf = mix(ocean, land_c, land_soft)

    bw = (0.012 if detail else 0.03)
    border = smoothstep(bw * 1.6, bw * 0.6, gap) * land_soft
    surf = mix(surf, rgb(150, 130, 120), 0.75 * border)
    coast_w = 0.035 if detail else 0.07
    coast = np.exp(-(land_field / coast_w) ** 2)
    surf = mix(surf, rgb(60, 100, 150), 0.55 * coast)

    if detail:
        # Faint graticule.
        g = np.zeros_like(lat)
        for k in np.arange(-60, 90, 30):
            g = np.maximum(g, np.exp(-((lat - np.radians(k)) / 0.012) ** 2))
        for k in np.arange(0, 360, 30):
            dl = np.angle(np.exp(1j * (lon - np.radians(k))))
            g = np.maximum(g, np.exp(-((dl * np.cos(lat)) / 0.012) ** 2))
        surf = mix(surf, rgb(255, 255, 255), 0.22 * g * (1 - 0.5 * land_soft))

    # Sphere lighting: darker limb, soft sheen top left.
    limb = 0.72 + 0.28 * smoothstep(0.0, 0.9, nz)
    surf = surf * limb[..., None]
    sheen = np.exp(-(((dx + 0.38) / 0.42) ** 2 + ((dy + 0.45) / 0.30) ** 2))
    surf = mix(surf, rgb(255, 255, 255), 0.35 * sheen)
    # Dark rim so the globe holds its shape at 32 px.
    rim_w = 0.022 if detail else 0.05
    rim = smoothstep(1.0 - rim_w / R - aa / R, 1.0 - rim_w / R + aa / R, d)
    surf = mix(surf, rgb(22, 52, 112), rim)
    color, alpha = over(color, alpha, surf, disc)

    # The pin: needle from the head down-left into the globe.
    hx, hy, hr = 0.745, 0.265, 0.15 if detail else 0.17
    tx, ty = 0.50, 0.50
    vx, vy = tx - hx, ty - hy
    L = np.hypot(vx, vy)
    ux, uy = vx / L, vy / L
    along = (x - hx) * ux + (y - hy) * uy
    across = -(x - hx) * uy + (y - hy) * ux
    # Needle shadow on the globe, offset to the lower right.
    s_al = (x - hx - 0.03) * ux + (y - hy - 0.035) * uy
    s_ac = -(x - hx - 0.03) * uy + (y - hy - 0.035) * ux
    nw = 0.013 if detail else 0.022
    sh_m = (smoothstep(nw * 1.6, nw * 0.5, np.abs(s_ac))
            * smoothstep(hr * 0.8, hr, s_al) * smoothstep(L + 0.01, L - 0.05, s_al))
    color = mix(color, rgb(20, 40, 70), 0.35 * sh_m * disc)

    taper = np.clip(1.0 - (along - hr) / (L - hr), 0.0, 1.0)
    half_w = nw * (0.25 + 0.75 * taper)
    needle = smoothstep(half_w + aa, half_w - aa, np.abs(across)) * \
        smoothstep(hr * 0.5, hr * 0.5 + aa, along) * smoothstep(L + aa, L - aa, along)
    nshade = np.clip(0.5 - across / np.maximum(half_w, 1e-6) * 0.5, 0, 1)
    needle_c = mix(rgb(200, 204, 212), rgb(92, 96, 108), nshade)
    color, alpha = over(color, alpha, needle_c, needle)

    # Collar and head.
    ca0, ca1 = hr * 0.55, hr * 1.25
    t = np.clip((along - ca0) / (ca1 - ca0), 0, 1)
    cw = hr * (0.45 - 0.22 * t)
    collar = smoothstep(cw + aa, cw - aa, np.abs(across)) * \
        smoothstep(ca0, ca0 + aa, along) * smoothstep(ca1 + aa, ca1 - aa, along)
    cshade = np.clip(0.5 + across / np.maximum(cw, 1e-6) * 0.5, 0, 1)
    collar_c = mix(rgb(40, 92, 210), rgb(8, 28, 100), cshade)
    color, alpha = over(color, alpha, collar_c, collar)

    ball_c, _ = shade_sphere(x, y, hx, hy, hr)
    bd = np.hypot(x - hx, y - hy) / hr
    ball = smoothstep(1.0 + aa / hr, 1.0 - aa / hr, bd)
    outline_w = 0.06 if detail else 0.12
    ball_c = mix(ball_c, rgb(8, 22, 80), smoothstep(1.0 - outline_w - aa / hr,
                                                    1.0 - outline_w + aa / hr, bd))
    color, alpha = over(color, alpha, ball_c, ball)
    return to_image(color, alpha)


def make_program_icon(png_dir):
    master = draw_globe_icon(1024, detail=True)
    simple = draw_globe_icon(1024, detail=False)
    for size in (32, 48, 128, 256):
        img = downscale(simple if size <= 48 else master, size)
        if size <= 48:
            # Crisp up the small versions a little after the heavy reduction.
            img = img.filter(ImageFilter.UnsharpMask(radius=0.6, percent=60, threshold=2))
        img.save(os.path.join(png_dir, "orbenvale-%d.png" % size), optimize=True)


# ---------------------------------------------------------------------------
# 4. Hand cursor
# ---------------------------------------------------------------------------

# '#' black outline, '.' white, ' ' transparent. Fingertip at the top.
HAND = """
      ##
     #..#
     #..#
     #..#
     #..#
     #..###
     #..#..###
     #..#..#..#
     #..#..#..###
     #..#..#..#..#
 ##  #..#..#..#..#
#..# #...........#
#...##...........#
 #...............#
  #..............#
  #..............#
   #.............#
   #............#
    #...........#
    #..........#
     #.........#
     #.........#
     ###########
"""
HAND_HOTSPOT = (6, 0)


def hand_pixels():
    rows = [r for r in HAND.split("\n")[1:-1]]
    black = np.zeros((32, 32), bool)
    white = np.zeros((32, 32), bool)
    for yy, row in enumerate(rows):
        for xx, ch in enumerate(row):
            if ch == "#":
                black[yy, xx] = True
            elif ch == ".":
                white[yy, xx] = True
    return black, white


def make_hand_cursor(path):
    black, white = hand_pixels()
    opaque = black | white
    hx, hy = HAND_HOTSPOT
    assert black[hy, hx], "the hotspot must sit on the fingertip outline"
    index = white.astype(np.uint8)  # palette: 0 black, 1 white
    data = dib_indexed(index, [(0, 0, 0), (255, 255, 255)], opaque, 1)
    write_icon_file(path, [(32, 32, 2, 1, data)], kind=2, hotspot=HAND_HOTSPOT)


# ---------------------------------------------------------------------------
# 5. Sounds
# ---------------------------------------------------------------------------

def note_freq(name):
    names = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    semis = names[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        semis += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        semis -= 1
        rest = rest[1:]
    octave = int(rest)
    return 440.0 * 2 ** ((semis + 12 * (octave - 4)) / 12.0)


def adsr(t, attack, release_at, release):
    env = smoothstep(0.0, attack, t)
    return env * (1.0 - smoothstep(release_at, release_at + release, t))


def bell(t, f, decay):
    """Struck-metal tone: slightly stretched partials that die away faster
    the higher they are."""
    parts = [(1.0, 1.0, 1.0), (2.0, 0.32, 1.8), (3.01, 0.12, 2.6), (4.17, 0.06, 3.5),
             (5.43, 0.025, 4.5)]
    out = np.zeros_like(t)
    for ratio, amp, speed in parts:
        out += amp * np.sin(2 * np.pi * f * ratio * t) * np.exp(-t * speed / decay)
    return out * smoothstep(0.0, 0.003, t)


def synth_correct():
    dur = 0.55
    t = np.arange(int(RATE * dur)) / RATE
    out = np.zeros_like(t)
    for start, name, gain, decay in [(0.0, "A5", 0.8, 0.16), (0.075, "E6", 1.0, 0.20)]:
        tt = np.clip(t - start, 0, None)
        out += gain * bell(tt, note_freq(name), decay) * (t >= start)
    out *= 1.0 - smoothstep(dur - 0.08, dur, t)
    return np.stack([out, out], 1)


def saw(phase, f_inst, cutoff):
    """Band-limited sawtooth from its harmonic series, softened above cutoff."""
    out = np.zeros_like(phase)
    fmax = float(np.max(f_inst))
    n = 1
    while n * fmax < 9000:
        roll = 1.0 / (1.0 + (n * f_inst / cutoff) ** 2)
        out += np.sin(n * phase) / n * roll
        n += 1
    return out


def synth_wrong():
    dur = 0.40
    t = np.arange(int(RATE * dur)) / RATE
    # Two detuned saws sagging from 112 to 96 Hz: a rough, unmistakable "no".
    f = 112.0 - 16.0 * smoothstep(0.0, dur, t)
    out = np.zeros_like(t)
    for detune, gain in [(1.0, 1.0), (1.055, 0.8)]:
        ph = 2 * np.pi * np.cumsum(f * detune) / RATE
        out += gain * saw(ph, f * detune, 900.0)
    out *= 1.0 + 0.25 * np.sin(2 * np.pi * 14.0 * t)  # buzzing flutter
    out *= adsr(t, 0.008, dur - 0.09, 0.085)
    return np.stack([out, out], 1)


def brass(t, f, start, length, vib=0.0):
    """Brass-like note: the harmonics bloom as the note speaks, which is what
    makes an additive tone sound blown rather than bowed."""
    tt = t - start
    on = (tt >= 0) & (tt < length + 0.3)
    tt = np.where(on, tt, 0.0)
    env = adsr(tt, 0.035, length, 0.22) * on
    # Slight overshoot at the attack, like a lip buzz settling.
    env *= 1.0 + 0.25 * np.exp(-((tt - 0.03) / 0.03) ** 2)
    bright = smoothstep(0.0, 0.06, tt) * (0.75 + 0.25 * env)
    fm = f * (1.0 + vib * smoothstep(0.25, 0.6, tt) * np.sin(2 * np.pi * 5.2 * tt))
    ph = 2 * np.pi * np.cumsum(fm) / RATE
    out = np.zeros_like(t)
    n = 1
    while n * f < 7000:
        amp = np.exp(-(n - 1) * (1.1 - 0.65 * bright)) / (1 + 0.05 * n)
        out += amp * np.sin(n * ph)
        n += 1
    return out * env


def synth_complete():
    dur = 2.0
    t = np.arange(int(RATE * dur)) / RATE
    left = np.zeros_like(t)
    right = np.zeros_like(t)
    # Rising arpeggio, then the full chord held to the end.
    run = [("G4", 0.00), ("C5", 0.14), ("E5", 0.28), ("G5", 0.42)]
    for name, start in run:
        v = brass(t, note_freq(name), start, 0.12)
        left += 0.9 * v
        right += 0.9 * v
    chord_at, chord_len = 0.58, 1.10
    chord = [("C4", 0.55, 0.3), ("G4", 0.50, -0.2), ("C5", 0.60, 0.1),
             ("E5", 0.50, -0.3), ("G5", 0.45, 0.25), ("C6", 0.35, -0.1)]
    for i, (name, gain, pan) in enumerate(chord):
        f = note_freq(name) * 2 ** ((i % 3 - 1) * 2.0 / 1200.0)  # ensemble spread
        v = gain * brass(t, f, chord_at, chord_len, vib=0.004)
        left += v * (1.0 - 0.5 * pan)
        right += v * (1.0 + 0.5 * pan)
    fade = 1.0 - smoothstep(dur - 0.12, dur, t)
    return np.stack([left * fade, right * fade], 1)


def write_wav(path, samples, peak=0.70):
    samples = samples / np.max(np.abs(samples)) * peak
    # The WMA encoder drops the last partial block; a little silence at the
    # end keeps the whole tail of the sound.
    samples = np.concatenate([samples, np.zeros((2048, samples.shape[1]))])
    pcm = np.round(samples * 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(samples.shape[1])
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def encode_wma(wav, out):
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", wav,
                    "-map_metadata", "-1", "-fflags", "+bitexact",
                    "-flags:a", "+bitexact", "-c:a", "wmav2", "-b:a", "128k",
                    "-ar", str(RATE), out], check=True)


def make_sounds(sound_dir):
    with tempfile.TemporaryDirectory() as tmp:
        for name, synth in [("correct", synth_correct), ("wrong", synth_wrong),
                            ("complete", synth_complete)]:
            wav = os.path.join(tmp, name + ".wav")
            write_wav(wav, synth())
            encode_wma(wav, os.path.join(sound_dir, name + ".wma"))


# ---------------------------------------------------------------------------
# 6. Example skin
# ---------------------------------------------------------------------------

SKIN = """\
/* Example skin for Orbenvale Tessary Plunor.
 *
 * To use it, copy this file to x/o.cjs in the program folder and start the
 * program again. It is an ordinary Qt style sheet: edit the colours freely.
 * The two buttons under the map are PushButton1 and PushButton2 on the main
 * window, Form1.
 */

QWidget#Form1 QPushButton#PushButton1,
QWidget#Form1 QPushButton#PushButton2 {
    color: white;
    font-weight: bold;
    padding: 4px 14px;
    border: 1px solid #0d2a66;
    border-radius: 9px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                                stop:0 #5d9cf0, stop:0.5 #2f6fd0, stop:1 #1c4ea6);
}

QWidget#Form1 QPushButton#PushButton1:hover,
QWidget#Form1 QPushButton#PushButton2:hover {
    border-color: #ffffff;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                                stop:0 #7ab2ff, stop:0.5 #4385e6, stop:1 #2a5fbc);
}

QWidget#Form1 QPushButton#PushButton1:pressed,
QWidget#Form1 QPushButton#PushButton2:pressed {
    padding-top: 5px;
    padding-bottom: 3px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                                stop:0 #163f8c, stop:1 #2a64c4);
}

QWidget#Form1 QPushButton#PushButton1:disabled,
QWidget#Form1 QPushButton#PushButton2:disabled {
    color: #c6d2e6;
    border-color: #6d7f9e;
    background: #8a9bb8;
}
"""


def make_skin(path):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(SKIN)


# ---------------------------------------------------------------------------

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", default=os.path.join(here, "..", "assets"),
                    help="assets folder to write (default: the project's)")
    ap.add_argument("--no-sounds", action="store_true",
                    help="skip the sounds (no ffmpeg needed)")
    ap.add_argument("--only", choices=("pushpin-2x",), help="write only this asset")
    args = ap.parse_args()
    out = os.path.abspath(args.out)
    for sub in ("", "icons", "sounds", "skins"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    if args.only == "pushpin-2x":
        make_pushpin_2x(os.path.join(out, "pushpin@2x.png"))
        return 0

    make_panel(os.path.join(out, "panel.jpg"))
    make_pushpin(os.path.join(out, "pushpin.ico"))
    make_pushpin_2x(os.path.join(out, "pushpin@2x.png"))
    make_program_icon(os.path.join(out, "icons"))
    make_hand_cursor(os.path.join(out, "HAND-M.CUR"))
    make_skin(os.path.join(out, "skins", "example.cjs"))
    if not args.no_sounds:
        make_sounds(os.path.join(out, "sounds"))
    print("assets written to", out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
