#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Renders the quiz map from Natural Earth country borders.

Writes, relative to the source root:
  assets/map.jpg             593 x 549, the map the players see
  assets/map@2x.jpg          1186 x 1098, the same for high-DPI screens
  layout/countrymask.png     593 x 549, palette PNG: country list position + 1
                             per pixel, 0 for sea and for land of no quiz country
  layout/countrymask@2x.png  1186 x 1098, the same for map@2x.jpg
  docs/regions-overlay.png   the 2x map with the drop rectangles drawn over it

The region table, the country list and where the map lies in the window are
read from the layout data the build writes (build/window-layout.json, made
from layout/regions.tsv and the window's layout), so the map and the
rectangles that judge drops always agree. The projected drawing is
bent by a small smooth warp (warp.json) that moves each country's land under
its own rectangles; --fit fits the warp anew, --fit-projection the projection.
Without them the stored values are used, which keeps the output deterministic.

Needs the npm packages of package.json (world-atlas, topojson-client) and
/usr/bin/python3 with numpy, scipy, shapely and PIL.
"""

import argparse
import json
import math
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
from PIL import Image, ImageDraw, ImageFont
from scipy import ndimage, optimize
from shapely.geometry import MultiPolygon, Polygon, box
from shapely.ops import transform, unary_union
from shapely.validation import make_valid

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent

# The map picture in pixels, where its control lies in the window and twips
# a pixel: all from the window's layout (read_layout).
WIDTH = HEIGHT = None
MAP_LEFT = MAP_TOP = TWIPS = None
SUPERSAMPLE = 8          # render grid per map pixel; must be even (the 2x map uses half)

# Spherical Lambert conformal conic, fitted with --fit-projection. Pixel coordinates are
# continuous: pixel (x, y) covers [x, x+1) x [y, y+1).
PROJECTION = {
    'lon0': 15.0,        # central meridian, fixed
    'n': 0.8159,         # cone constant = sin(standard parallel): 54.7 N
    'scale': 889.2145,   # map pixels per radian of the globe at 50 N
    'cx': 331.5665,      # pixel position of 15 E 50 N
    'cy': 334.1942,
    'rotation': 0.0152,  # degrees, clockwise on screen
}
FIT_KEYS = ('n', 'scale', 'cx', 'cy', 'rotation')
REF_LAT = 50.0
# What the fit aims at: the share of all quiz-country pixels, of the median
# country's and of the worst country's that take a drop as their own country.
GOALS = {'overall': 0.89, 'median': 0.90, 'worst': 0.65}

# Natural Earth names that differ from the quiz's names.
NAME_MAP = {
    'Bosnia and Herz.': 'Bosnia & Herzegovina',
    'Czechia': 'Czech Republic',
    'Netherlands': 'The Netherlands',
    'North Macedonia': 'Macedonia',
}
# Territories Natural Earth lists on their own but the quiz counts as part of a country.
ATTACH = {
    'Åland': 'Finland',
    'Isle of Man': 'United Kingdom',
    # Cyprus is grey anyway; its inner lines would only be clutter.
    'N. Cyprus': 'Cyprus',
    'Cyprus U.N. Buffer Zone': 'Cyprus',
    'Akrotiri': 'Cyprus',
    'Dhekelia': 'Cyprus',
    'Baikonur': 'Kazakhstan',
}
CRIMEA_BOX = box(32.2, 44.2, 36.8, 46.3)           # lon/lat
NORTHERN_IRELAND_BOX = box(-8.5, 53.9, -5.2, 55.6)  # UK polygons here are Northern Ireland
GEO_CLIP = box(-80.0, 10.0, 100.0, 89.0)

SEA = (104, 152, 208)
OTHER_LAND = (200, 200, 196)
BORDER = (84, 84, 92)
# Pastel country colours; Russia and Turkey keep theirs, the rest are coloured
# so that no two neighbours (or near neighbours across a strait) share one.
PALETTE = {
    'green': (178, 214, 146),
    'orange': (248, 186, 118),
    'yellow': (246, 230, 140),
    'pink': (242, 176, 204),
    'lavender': (196, 180, 232),
    'mint': (150, 214, 200),
    'salmon': (236, 150, 136),
}
FIXED_COLOURS = {'Russia': 'green', 'Turkey': 'orange'}
NEAR_PIXELS = 4          # countries this close on the map count as neighbours for colouring


# ---------------------------------------------------------------- region table

def read_layout(path):
    """Returns (regions, countries) from the window's layout data, which the
    build writes: regions as (left, top, width, height, tag) in twips,
    countries in map-label order. Sets the map's size and place."""
    global WIDTH, HEIGHT, MAP_LEFT, MAP_TOP, TWIPS
    if not Path(path).is_file():
        raise SystemExit(f'{path} is missing: build the program first (it writes the layout data)')
    data = json.loads(Path(path).read_text(encoding='utf-8'))
    TWIPS = data['twipsPerPixel']
    MAP_LEFT, MAP_TOP, width, height = next(c['rect'] for c in data['controls'] if c['name'] == 'Image1')
    WIDTH, HEIGHT = width // TWIPS, height // TWIPS
    regions = [tuple(r) for r in data['regions']]
    countries = [m[4] for m in data['mapLabels']]
    return regions, countries


def region_pixels(region):
    """Map-pixel bounds [x0, x1) x [y0, y1) of a region given in window twips."""
    left, top, width, height, _ = region
    return ((left - MAP_LEFT) / TWIPS, (top - MAP_TOP) / TWIPS,
            (left + width - MAP_LEFT) / TWIPS, (top + height - MAP_TOP) / TWIPS)


def winner_grid(regions, countries):
    """Per map pixel: list position + 1 of the country whose region takes a drop
    there (the highest-index region wins), 0 where no region lies."""
    index = {c: i + 1 for i, c in enumerate(countries)}
    grid = np.zeros((HEIGHT, WIDTH), np.uint8)
    ys = np.arange(HEIGHT)[:, None]
    xs = np.arange(WIDTH)[None, :]
    for region in regions:               # later regions overwrite earlier ones
        x0, y0, x1, y1 = region_pixels(region)
        inside = (xs >= x0) & (xs < x1) & (ys >= y0) & (ys < y1)
        grid[inside] = index[region[4]]
    return grid


def shares(mask, winners, count):
    """Per country (list order): (pixels drawn, pixels taking a drop as their own)."""
    total = np.bincount(mask.ravel(), minlength=count + 1)[1:]
    own = np.bincount(mask[(mask == winners) & (mask > 0)], minlength=count + 1)[1:]
    return total, own


# ---------------------------------------------------------------- geography

def load_features(resolution):
    out = subprocess.run(['node', str(HERE / 'decode.js'), resolution],
                         check=True, capture_output=True, cwd=HERE)
    data = json.loads(out.stdout)
    features = {}
    for f in data['features']:
        name = f['properties']['name']
        geom = areal(unwrapped(f['geometry'])).intersection(GEO_CLIP)
        if geom.is_empty:
            continue
        name = NAME_MAP.get(name, name)
        features[name] = unary_union([features[name], geom]) if name in features else geom
    return features


def unwrapped(geometry):
    """Shapely geometry of a GeoJSON (Multi)Polygon whose rings may cross the
    antimeridian (Russia's does): longitudes are made continuous along each ring,
    then each polygon is shifted by whole turns to sit around its usual place."""
    polygons = geometry['coordinates'] if geometry['type'] == 'MultiPolygon' else [geometry['coordinates']]
    out = []
    for rings in polygons:
        fixed = []
        for ring in rings:
            xy = np.asarray(ring, float)
            xy[:, 0] = np.degrees(np.unwrap(np.radians(xy[:, 0])))
            fixed.append(xy)
        centre = fixed[0][:, 0].mean()
        turn = 360.0 * math.floor((centre + 180.0) / 360.0)
        for xy in fixed:
            # holes follow their exterior
            xy[:, 0] -= turn + 360.0 * round((xy[:, 0].mean() - centre) / 360.0)
        out.append(Polygon(fixed[0], fixed[1:]))
    return MultiPolygon(out)


def areal(geom):
    """The polygons of geom, repaired. The decoded rings touch or cross
    themselves in places; buffer(0) would drop whole parts of such rings."""
    if not geom.is_valid:
        geom = make_valid(geom)
    return MultiPolygon(polygons_of(geom)) if not isinstance(geom, Polygon) else geom


def polygons_of(geom):
    if isinstance(geom, Polygon):
        return [] if geom.is_empty else [geom]
    return [p for g in getattr(geom, 'geoms', []) for p in polygons_of(g)]


def apply_borders(features, countries):
    """The quiz's political choices on top of Natural Earth's."""
    # Crimea goes with Ukraine.
    russia = polygons_of(features['Russia'])
    crimea = [p for p in russia if CRIMEA_BOX.contains(p.representative_point())]
    features['Russia'] = MultiPolygon([p for p in russia if not CRIMEA_BOX.contains(p.representative_point())])
    features['Ukraine'] = unary_union([features['Ukraine'], *crimea])
    # Northern Ireland is its own quiz country: the UK's part of the island of Ireland.
    uk = polygons_of(features['United Kingdom'])
    ni = [p for p in uk if NORTHERN_IRELAND_BOX.contains(p.representative_point())]
    features['United Kingdom'] = MultiPolygon([p for p in uk if not NORTHERN_IRELAND_BOX.contains(p.representative_point())])
    features['Northern Ireland'] = MultiPolygon(ni)
    for part, owner in ATTACH.items():
        if part in features:     # the coarser borders leave some out
            features[owner] = unary_union([features[owner], features.pop(part)])
    missing = [c for c in countries if c not in features]
    if missing:
        raise SystemExit(f'no borders for {missing}')
    return features


# ---------------------------------------------------------------- projection

def project(lon, lat, p):
    """Lon/lat in degrees to continuous map-pixel coordinates."""
    lon = np.asarray(lon, float)
    lat = np.asarray(lat, float)
    n = p['n']
    phi = np.radians(np.clip(lat, -89.0, 89.9))
    ref = math.radians(REF_LAT)
    # rho chosen so that the scale at the reference latitude is p['scale'].
    k = p['scale'] * math.cos(ref) / n * math.tan(math.pi / 4 + ref / 2) ** n
    rho = k * np.tan(np.pi / 4 + phi / 2) ** -n
    rho0 = k * math.tan(math.pi / 4 + ref / 2) ** -n
    theta = n * np.radians(lon - p['lon0'])
    u = rho * np.sin(theta)                 # east
    v = rho * np.cos(theta) - rho0          # south (screen y grows downwards)
    r = math.radians(p['rotation'])
    x = p['cx'] + u * math.cos(r) - v * math.sin(r)
    y = p['cy'] + u * math.sin(r) + v * math.cos(r)
    return x, y


def project_features(features, p, margin=24):
    frame = box(-margin, -margin, WIDTH + margin, HEIGHT + margin)
    out = {}
    for name, geom in features.items():
        g = transform(lambda x, y, z=None: project(x, y, p), geom)
        g = areal(g).intersection(frame)
        if not g.is_empty:
            out[name] = g
    return out


def rasterize(projected, order, labels, scale):
    """Label raster at `scale` render pixels per map pixel. Features are drawn
    largest first so enclaves end up on top of the holes left for them."""
    img = Image.new('L', (WIDTH * scale, HEIGHT * scale), 0)
    draw = ImageDraw.Draw(img)

    def ring(coords):
        # PIL puts integer coordinates on pixel centres.
        return [(x * scale - 0.5, y * scale - 0.5) for x, y in coords]

    for name in order:
        for poly in polygons_of(projected[name]):
            draw.polygon(ring(poly.exterior.coords), fill=labels[name])
            for hole in poly.interiors:
                draw.polygon(ring(hole.coords), fill=0)
    return np.asarray(img)


def draw_order(projected):
    return sorted(projected, key=lambda name: -projected[name].area)


def feature_labels(features, countries):
    """Raster labels: 1..41 the quiz countries in list order, then the rest."""
    labels = {c: i + 1 for i, c in enumerate(countries)}
    for name in sorted(n for n in features if n not in labels):
        labels[name] = len(labels) + 1
    if len(labels) > 255:
        raise SystemExit('too many features for an 8-bit label raster')
    return labels


def generalize(labels, radius):
    """Removes coast detail finer than a map pixel: sea inlets and straits
    narrower than that are filled with the nearest land, islets and spits
    that thin are drowned. At 593 pixels such detail is only dark specks."""
    pad = int(math.ceil(radius)) + 1
    land = np.pad(labels > 0, pad, mode='edge')
    disc = disc_footprint(radius)
    solid = ndimage.binary_opening(ndimage.binary_closing(land, disc), disc)[pad:-pad, pad:-pad]
    out = labels.copy()
    filled = solid & (labels == 0)
    if filled.any():
        _, (iy, ix) = ndimage.distance_transform_edt(labels == 0, return_indices=True)
        out[filled] = labels[iy[filled], ix[filled]]
    out[~solid] = 0
    return out


def render_labels(projected, labels, scale):
    raster = rasterize(projected, draw_order(projected), labels, scale)
    return generalize(raster, scale / 2)


def country_mask(raster, count, scale):
    """Map-pixel mask: the quiz country covering most of each pixel, 0 for
    sea and for land of no quiz country."""
    quiz = np.where(raster <= count, raster, 0).astype(np.uint8)
    return block_majority(quiz, scale, count + 1)


def block_majority(labels, scale, count):
    """Most frequent label of each scale x scale block (labels < count)."""
    h, w = labels.shape[0] // scale, labels.shape[1] // scale
    blocks = labels.reshape(h, scale, w, scale).transpose(0, 2, 1, 3).reshape(h * w, scale * scale)
    keys = (np.arange(h * w)[:, None] * count + blocks).ravel()
    hist = np.bincount(keys, minlength=h * w * count).reshape(h * w, count)
    return hist.argmax(axis=1).astype(np.uint8).reshape(h, w)


# ---------------------------------------------------------------- fitting

def fit_projection(regions, countries, start, features):
    """Fits the projection to the region table, scoring each candidate the way
    the finished map is judged. Maximising the overall share of country pixels
    that take a drop as their own alone would give up the median country and
    the worst one, so the score is the smallest margin over all three goals.
    A coarse search on the 50m borders at half the render resolution comes
    first; a shorter one on the full render (features) polishes it."""
    winners = winner_grid(regions, countries)
    steps = np.array([0.02, 20.0, 4.0, 4.0, 0.5])
    coarse = apply_borders(load_features('50m'), countries)
    stages = [(coarse, SUPERSAMPLE // 2, 4, 1.0, 400), (features, SUPERSAMPLE, 1, 0.5, 300)]

    def margin(vec, feats, labels, scale):
        p = dict(start, **dict(zip(FIT_KEYS, vec)))
        mask = country_mask(render_labels(project_features(feats, p), labels, scale),
                            len(countries), scale)
        total, own = shares(mask, winners, len(countries))
        per = own / np.maximum(total, 1)
        overall = own.sum() / total.sum()
        return min(overall - GOALS['overall'], np.median(per) - GOALS['median'],
                   (per.min() - GOALS['worst']) / 3)

    x = np.array([start[k] for k in FIT_KEYS])
    for stage, (feats, scale, passes, size, maxfev) in enumerate(stages):
        labels = feature_labels(feats, countries)
        best = None
        for attempt in range(passes):
            # Restarts with a shrinking simplex: the score counts pixels and so
            # is slightly stepped, which can stall a single run.
            d = steps * size / 2 ** attempt
            simplex = np.vstack([x] + [x + np.eye(len(x))[i] * d[i] for i in range(len(x))])
            res = optimize.minimize(lambda v: -margin(v, feats, labels, scale), x,
                                    method='Nelder-Mead',
                                    options={'initial_simplex': simplex, 'xatol': 1e-3,
                                             'fatol': 1e-6, 'maxfev': maxfev})
            print(f'fit stage {stage + 1} pass {attempt + 1}: margin {-res.fun:.5f} '
                  f'after {res.nfev} evaluations', file=sys.stderr)
            if best is not None and res.fun >= best.fun - 1e-7:
                break
            best = res
            x = res.x
    return dict(start, **{k: round(float(v), 4) for k, v in zip(FIT_KEYS, x)})


# ---------------------------------------------------------------- warp

# The projected drawing is bent slightly so that each country's land lies
# under its own drop rectangles: a smooth displacement field, a uniform cubic
# B-spline over control points WARP_SPACING map pixels apart, fitted with --fit
# and stored in warp.json. Points move by the field's value at their projected
# place; borders are densified first so that they bend along with it.
WARP_FILE = HERE / 'warp.json'
# What the warp fit weighs: pixels of land outside their own rectangles (robust,
# so that land no small move can reach does not pull the field), bending, and
# plain displacement, which keeps the map where the projection put it.
WARP_WEIGHTS = {'margin': 1.2, 'reach': 7.0, 'bend': 1.5, 'shift': 0.1, 'limit': 8.0, 'wall': 200.0,
                'balance': 1.0, 'centroid': 4.0}
WARP_SPACING = 10


def warp_shape():
    return (int(math.ceil(HEIGHT / WARP_SPACING)) + 4, int(math.ceil(WIDTH / WARP_SPACING)) + 4)


def bspline_stencil(x, y):
    """Control-point indices (N, 16) into the flattened grid and their weights."""
    rows, cols = warp_shape()
    # beyond the picture's frame the field keeps its value at the frame
    u = np.clip(np.asarray(x, float), 0, WIDTH) / WARP_SPACING
    v = np.clip(np.asarray(y, float), 0, HEIGHT) / WARP_SPACING
    i = np.clip(np.floor(u).astype(int), -1, cols - 4)
    j = np.clip(np.floor(v).astype(int), -1, rows - 4)
    s, t = u - i, v - j

    def basis(a):
        return np.stack([(1 - a) ** 3 / 6, (3 * a ** 3 - 6 * a ** 2 + 4) / 6,
                         (-3 * a ** 3 + 3 * a ** 2 + 3 * a + 1) / 6, a ** 3 / 6], axis=-1)

    bu, bv = basis(s), basis(t)
    index = ((j[:, None, None] + np.arange(4)[None, :, None]) * cols
             + (i[:, None, None] + np.arange(4)[None, None, :]))
    weight = bv[:, :, None] * bu[:, None, :]
    # grid node k sits at (k - 1) * spacing
    return (index + cols + 1).reshape(-1, 16), weight.reshape(-1, 16)


def warp_points(x, y, field):
    """Moves continuous map-pixel points by the displacement field (2, rows, cols)."""
    x = np.asarray(x, float)
    y = np.asarray(y, float)
    if field is None or x.size == 0:
        return x, y
    index, weight = bspline_stencil(x.ravel(), y.ravel())
    dx = (field[0].ravel()[index] * weight).sum(axis=1).reshape(x.shape)
    dy = (field[1].ravel()[index] * weight).sum(axis=1).reshape(x.shape)
    return x + dx, y + dy


def densified(x, y, step=0.5):
    """The ring or line with extra points so no segment is longer than step."""
    x = np.asarray(x, float)
    y = np.asarray(y, float)
    if x.size < 2:
        return x, y
    seg = np.hypot(np.diff(x), np.diff(y))
    pieces = np.maximum(1, np.ceil(seg / step).astype(int))
    t = np.concatenate([k + np.arange(n) / n for k, n in enumerate(pieces)] + [[x.size - 1]])
    k = np.minimum(np.floor(t).astype(int), x.size - 2)
    f = t - k
    return x[k] + (x[k + 1] - x[k]) * f, y[k] + (y[k + 1] - y[k]) * f


def warp_features(projected, field):
    if field is None:
        return projected
    out = {}
    for name, geom in projected.items():
        g = transform(lambda x, y, z=None: warp_points(*densified(x, y), field), geom)
        out[name] = areal(g)
    return out


def load_warp(path=WARP_FILE):
    if not path.exists():
        return None
    data = json.loads(path.read_text())
    if data['spacing'] != WARP_SPACING or tuple(data['shape']) != warp_shape():
        raise SystemExit(f'{path}: made for another grid; refit with --fit')
    return np.array([data['dx'], data['dy']], float)


def save_warp(field, path=WARP_FILE):
    data = {'spacing': WARP_SPACING, 'shape': list(warp_shape()),
            'dx': np.round(field[0], 3).tolist(), 'dy': np.round(field[1], 3).tolist()}
    path.write_text(json.dumps(data, separators=(',', ':')) + '\n')


def signed_distances(winners, count):
    """Per country, the signed distance (map pixels, negative inside) of every
    pixel centre to the edge of the area where drops are judged as it."""
    out = np.empty((count, HEIGHT, WIDTH), np.float32)
    for k in range(1, count + 1):
        inside = winners == k
        if not inside.any():
            out[k - 1] = 1e3
            continue
        out[k - 1] = (ndimage.distance_transform_edt(~inside) - ndimage.distance_transform_edt(inside)
                      - np.where(inside, -0.5, 0.5))
    return out


def fit_warp(mask, winners, count):
    """Fits the displacement field so that the land of each country moves under
    its own rectangles: each land pixel of the unwarped mask is a sample that
    is penalised, robustly, for lying less than a margin inside its own area;
    bending energy and displacement keep the field smooth and small. The fit
    is deterministic (L-BFGS from zero)."""
    w = WARP_WEIGHTS
    rows, cols = warp_shape()
    ys, xs = np.nonzero(mask)
    own = mask[ys, xs].astype(int) - 1
    px, py = xs + 0.5, ys + 0.5
    # Small countries count as much as their size alone would not let them:
    # each sample weighs (median size / its country's size) ** balance.
    sizes = np.bincount(own, minlength=count).astype(float)
    share = (np.median(sizes[sizes > 0]) / np.maximum(sizes, 1)) ** w['balance']
    ws = share[own]
    index, weight = bspline_stencil(px, py)
    sdf = signed_distances(winners, count).reshape(count, -1).astype(float)
    a2 = w['reach'] ** 2

    def sample(x, y):
        """Bilinear signed distance of each sample's own country at (x, y),
        with its derivatives; pixel centres sit at +0.5."""
        fx = np.clip(x - 0.5, 0, WIDTH - 1.001)
        fy = np.clip(y - 0.5, 0, HEIGHT - 1.001)
        x0, y0 = np.floor(fx).astype(int), np.floor(fy).astype(int)
        tx, ty = fx - x0, fy - y0
        base = y0 * WIDTH + x0
        v00, v01 = sdf[own, base], sdf[own, base + 1]
        v10, v11 = sdf[own, base + WIDTH], sdf[own, base + WIDTH + 1]
        value = (v00 * (1 - tx) + v01 * tx) * (1 - ty) + (v10 * (1 - tx) + v11 * tx) * ty
        ddx = (v01 - v00) * (1 - ty) + (v11 - v10) * ty
        ddy = (v10 - v00) * (1 - tx) + (v11 - v01) * tx
        return value, ddx, ddy

    def second_differences(f):
        return f[2:, :] - 2 * f[1:-1, :] + f[:-2, :], f[:, 2:] - 2 * f[:, 1:-1] + f[:, :-2], \
            f[1:, 1:] - f[1:, :-1] - f[:-1, 1:] + f[:-1, :-1]

    def bend_grad(f):
        dyy, dxx, dxy = second_differences(f)
        g = np.zeros_like(f)
        g[2:, :] += dyy
        g[1:-1, :] -= 2 * dyy
        g[:-2, :] += dyy
        g[:, 2:] += dxx
        g[:, 1:-1] -= 2 * dxx
        g[:, :-2] += dxx
        g[1:, 1:] += 2 * dxy
        g[1:, :-1] -= 2 * dxy
        g[:-1, 1:] -= 2 * dxy
        g[:-1, :-1] += 2 * dxy
        return 2 * g

    def objective(vec):
        field = vec.reshape(2, rows, cols)
        dx = (field[0].ravel()[index] * weight).sum(axis=1)
        dy = (field[1].ravel()[index] * weight).sum(axis=1)
        x, y = px + dx, py + dy
        value, ddx, ddy = sample(x, y)
        e = np.maximum(0.0, value + w['margin'])
        # Geman-McClure: land far outside its own area (that only a large
        # move could reach) has next to no pull
        q = 1 + e * e / a2
        loss = ws * e * e / q
        de = ws * 2 * e / (q * q)
        gx_, gy_ = de * ddx, de * ddy
        # each country's centroid stays within reach of where it was
        cx = np.bincount(own, dx, count) / np.maximum(sizes, 1)
        cy = np.bincount(own, dy, count) / np.maximum(sizes, 1)
        moved = np.hypot(cx, cy)
        far = np.maximum(0.0, moved - w['centroid'])
        loss_c = w['wall'] * (far ** 2).sum()
        k = 2 * w['wall'] * far / np.maximum(moved, 1e-9) / np.maximum(sizes, 1)
        gx_ = gx_ + (k * cx)[own]
        gy_ = gy_ + (k * cy)[own]
        grad = np.empty_like(field)
        grad[0] = np.bincount(index.ravel(), (weight * gx_[:, None]).ravel(), rows * cols).reshape(rows, cols)
        grad[1] = np.bincount(index.ravel(), (weight * gy_[:, None]).ravel(), rows * cols).reshape(rows, cols)
        total = loss.sum() + loss_c
        for c in range(2):
            dyy, dxx, dxy = second_differences(field[c])
            total += w['bend'] * ((dyy ** 2).sum() + (dxx ** 2).sum() + 2 * (dxy ** 2).sum())
            grad[c] += w['bend'] * bend_grad(field[c])
            total += w['shift'] * (field[c] ** 2).sum()
            grad[c] += 2 * w['shift'] * field[c]
        # a steep wall beyond the largest move allowed
        size = np.hypot(field[0], field[1])
        over = np.maximum(0.0, size - w['limit'])
        total += w['wall'] * (over ** 2).sum()
        grad += (2 * w['wall'] * over / np.maximum(size, 1e-9)) * field
        return total, grad.ravel()

    res = optimize.minimize(objective, np.zeros(2 * rows * cols), jac=True, method='L-BFGS-B',
                            options={'maxiter': 600, 'maxcor': 20})
    print(f'warp fit: {res.nit} iterations, loss {res.fun:.1f} ({res.message})', file=sys.stderr)
    return res.x.reshape(2, rows, cols)


# ---------------------------------------------------------------- colouring

def colour_countries(mask, countries):
    """Greedy DSatur colouring of the neighbour graph read off the mask."""
    count = len(countries)
    near = set()
    disc = ndimage.generate_binary_structure(2, 1)
    for i in range(1, count + 1):
        grown = ndimage.binary_dilation(mask == i, disc, iterations=NEAR_PIXELS)
        for j in np.unique(mask[grown]):
            if j and j != i:
                near.add((min(i, j) - 1, max(i, j) - 1))
    neighbours = {i: set() for i in range(count)}
    for a, b in near:
        neighbours[a].add(b)
        neighbours[b].add(a)

    names = list(PALETTE)
    colour = {countries.index(c): col for c, col in FIXED_COLOURS.items()}
    used = {name: 0 for name in names}
    for col in colour.values():
        used[col] += 1
    while len(colour) < count:
        todo = [i for i in range(count) if i not in colour]
        # Most distinctly coloured neighbours first, then most neighbours, then list order.
        i = max(todo, key=lambda k: (len({colour[j] for j in neighbours[k] if j in colour}),
                                     len(neighbours[k]), -k))
        taken = {colour[j] for j in neighbours[i] if j in colour}
        free = [c for c in names if c not in taken and c not in FIXED_COLOURS.values()]
        if not free:
            free = [c for c in names if c not in taken]
        if not free:
            raise SystemExit(f'cannot colour {countries[i]}')
        colour[i] = min(free, key=lambda c: (used[c], names.index(c)))
        used[colour[i]] += 1
    for a, b in near:
        assert colour[a] != colour[b]
    return [PALETTE[colour[i]] for i in range(count)], near


# ---------------------------------------------------------------- rendering

def disc_footprint(radius):
    r = int(math.ceil(radius))
    y, x = np.mgrid[-r:r + 1, -r:r + 1]
    return (x * x + y * y) <= radius * radius + 1e-9


def compose(labels, lut, border_radius, factor):
    """Flat colours with dark borders wherever the label changes, averaged over
    factor x factor render pixels (which anti-aliases the borders)."""
    fp = disc_footprint(border_radius)
    edge = ndimage.maximum_filter(labels, footprint=fp) != ndimage.minimum_filter(labels, footprint=fp)
    h, w = labels.shape[0] // factor, labels.shape[1] // factor
    out = np.empty((h, w, 3), np.uint8)
    for ch in range(3):
        plane = lut[labels, ch].astype(np.float32)
        plane[edge] = BORDER[ch]
        out[..., ch] = np.rint(plane.reshape(h, factor, w, factor).mean(axis=(1, 3)))
    return out


def save_jpeg(rgb, path):
    path.parent.mkdir(parents=True, exist_ok=True)
    Image.fromarray(rgb, 'RGB').save(path, 'JPEG', quality=92, subsampling=0, optimize=True)


def save_mask(mask, colours, path):
    img = Image.fromarray(mask, 'P')
    palette = list(SEA)
    for c in colours:
        palette += list(c)
    img.putpalette(palette + [0] * (768 - len(palette)))
    path.parent.mkdir(parents=True, exist_ok=True)
    img.save(path, 'PNG', optimize=True)


def save_overlay(map2x, mask, winners, regions, countries, path):
    """The 2x map with the rectangles over it. Country pixels that a drop would
    judge as another country are tinted red, those under no rectangle (where
    a drop does nothing) dark grey; a rectangle is outlined green
    when most of the land it decides is its own country, red otherwise."""
    rgb = map2x.astype(np.float32)
    for sel, tint in (((mask > 0) & (winners > 0) & (mask != winners), (230, 20, 20)),
                      ((mask > 0) & (winners == 0), (120, 120, 120))):
        sel2x = np.repeat(np.repeat(sel, 2, 0), 2, 1)
        rgb[sel2x] = rgb[sel2x] * 0.45 + np.array(tint) * 0.55
    img = Image.fromarray(np.rint(rgb).astype(np.uint8), 'RGB')
    draw = ImageDraw.Draw(img)
    font = ImageFont.load_default()
    index = {c: i + 1 for i, c in enumerate(countries)}
    decided = np.full((HEIGHT, WIDTH), -1, int)   # index of the region that takes a drop
    ys = np.arange(HEIGHT)[:, None]
    xs = np.arange(WIDTH)[None, :]
    boxes = []
    for k, region in enumerate(regions):
        x0, y0, x1, y1 = region_pixels(region)
        decided[(xs >= x0) & (xs < x1) & (ys >= y0) & (ys < y1)] = k
        boxes.append((x0, y0, x1, y1))
    for k, region in enumerate(regions):
        land = mask[(decided == k) & (mask > 0)]
        good = land.size == 0 or np.mean(land == index[region[4]]) >= 0.75
        x0, y0, x1, y1 = boxes[k]
        outline = (0, 110, 40) if good else (200, 0, 0)
        draw.rectangle([x0 * 2, y0 * 2, x1 * 2 - 1, y1 * 2 - 1], outline=outline, width=1)
        draw.text((max(x0, 0) * 2 + 2, max(y0, 0) * 2 + 1), str(k), fill=outline, font=font)
    path.parent.mkdir(parents=True, exist_ok=True)
    img.save(path, 'PNG', optimize=True)


def report(mask, winners, countries, reference=None, field=None):
    """Prints, per country, the share of its land that takes a drop as its
    own: of all its land, and of the land under some rectangle (elsewhere a
    drop does nothing). Then the same overall, the share of land well inside
    its country, and how far the drawing moved from the reference mask."""
    count = len(countries)
    total, own = shares(mask, winners, count)
    judged = np.bincount(mask[(mask > 0) & (winners > 0)], minlength=count + 1)[1:]
    per = own / np.maximum(total, 1)
    per_judged = own / np.maximum(judged, 1)
    print(f'{"country":<22}{"pixels":>8}{"judged":>8}{"own":>8}{"share":>8}{"judged":>8}')
    for i in np.argsort(per_judged):
        print(f'{countries[i]:<22}{total[i]:>8}{judged[i]:>8}{own[i]:>8}{per[i]:>8.3f}{per_judged[i]:>8.3f}')
    worst, worst_judged = int(np.argmin(per)), int(np.argmin(per_judged))
    print(f'all land: overall {own.sum() / total.sum():.4f}  median {np.median(per):.4f}  '
          f'worst {countries[worst]} {per[worst]:.4f}')
    print(f'judged land: overall {own.sum() / judged.sum():.4f}  '
          f'worst {countries[worst_judged]} {per_judged[worst_judged]:.4f}')
    inner = inner_ok = 0
    for k in range(1, count + 1):
        depth = ndimage.distance_transform_edt(np.pad(mask == k, 1))[1:-1, 1:-1]
        sel = (depth >= interior_depth(depth.max())) & (winners > 0)
        inner += sel.sum()
        inner_ok += (sel & (winners == k)).sum()
    print(f'interior (judged land well inside its country): {inner_ok / inner:.4f}')
    if reference is not None:
        shift, overlap = [], []
        for k in range(1, count + 1):
            a, b = reference == k, mask == k
            (ya, xa), (yb, xb) = np.nonzero(a), np.nonzero(b)
            shift.append((math.hypot(xa.mean() - xb.mean(), ya.mean() - yb.mean()), countries[k - 1]))
            if a.sum() >= 500:
                overlap.append(((a & b).sum() / (a | b).sum(), countries[k - 1]))
        print('against the reference drawing: largest centroid shift {:.2f} px ({}), smallest IoU {:.3f} ({})'
              .format(*max(shift), *min(overlap)))
    if field is not None:
        ys, xs = np.mgrid[0:HEIGHT:2, 0:WIDTH:2].astype(float)
        wx, wy = warp_points(xs, ys, field)
        jx, jy = np.gradient(wx, 2.0), np.gradient(wy, 2.0)
        det = jx[1] * jy[0] - jx[0] * jy[1]
        print(f'warp: largest move {np.hypot(wx - xs, wy - ys).max():.2f} px, '
              f'local area scale {det.min():.2f} to {det.max():.2f}')


def interior_depth(thickest):
    """How far inside its border a pixel must lie to count as well inside:
    4 px, less for countries too small to have such pixels."""
    return min(4.0, max(1.0, thickest / 2))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--fit', action='store_true',
                    help='fit the warp to the region table anew and store it in warp.json')
    ap.add_argument('--fit-projection', action='store_true',
                    help='fit the projection to the region table first and print the result')
    ap.add_argument('--root', type=Path, default=ROOT, help='source root (default: this checkout)')
    ap.add_argument('--layout', type=Path, help='the layout data the build writes (default: build/window-layout.json)')
    args = ap.parse_args()

    regions, countries = read_layout(args.layout or args.root / 'build' / 'window-layout.json')
    winners = winner_grid(regions, countries)
    features = apply_borders(load_features('10m'), countries)
    params = dict(PROJECTION)
    if args.fit_projection:
        params = fit_projection(regions, countries, params, features)
        print('fitted projection (paste into PROJECTION):')
        for k in ('lon0',) + FIT_KEYS:
            print(f"    '{k}': {params[k]},")
        print(f"standard parallel {math.degrees(math.asin(params['n'])):.2f} N")

    labels = feature_labels(features, countries)
    projected = project_features(features, params)
    if args.fit:
        plain = country_mask(render_labels(projected, labels, SUPERSAMPLE), len(countries), SUPERSAMPLE)
        save_warp(fit_warp(plain, winners, len(countries)))
    field = load_warp()
    fine = render_labels(warp_features(projected, field), labels, SUPERSAMPLE)
    mask = country_mask(fine, len(countries), SUPERSAMPLE)

    colours, _ = colour_countries(mask, countries)
    lut = np.zeros((256, 3), np.uint8)
    lut[0] = SEA
    lut[len(countries) + 1:] = OTHER_LAND
    for i, c in enumerate(colours):
        lut[i + 1] = c

    map1x = compose(fine, lut, 3.0, SUPERSAMPLE)
    map2x = compose(fine, lut, 3.0, SUPERSAMPLE // 2)
    save_jpeg(map1x, args.root / 'assets' / 'map.jpg')
    save_jpeg(map2x, args.root / 'assets' / 'map@2x.jpg')
    save_mask(mask, colours, args.root / 'layout' / 'countrymask.png')
    save_mask(country_mask(fine, len(countries), SUPERSAMPLE // 2), colours,
              args.root / 'layout' / 'countrymask@2x.png')
    save_overlay(map2x, mask, winners, regions, countries, args.root / 'docs' / 'regions-overlay.png')
    reference = args.root / 'tests' / 'data' / 'countrymask-reference.png'
    report(mask, winners, countries,
           np.asarray(Image.open(reference)) if reference.exists() else None, field)


if __name__ == '__main__':
    main()
