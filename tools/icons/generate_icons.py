#!/usr/bin/env python3
"""Draws every icon of both deliverables and writes them as .ico files into resources/.

Run from anywhere:  python3 tools/icons/generate_icons.py [--preview /tmp/icons.png]
The .ico files are committed, so the build never needs Python; rerun this after changing a
picture and commit both. The small sizes (16 to 24) have a layout of their own rather than a
shrunk 32, so that their details fall on whole pixels, and every size gets strokes chosen in
pixels for it.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from imagefiles import ico_bytes, png_bytes  # noqa: E402
from raster import (  # noqa: E402
    Canvas,
    bounded,
    box,
    circle,
    ellipse,
    intersect,
    linear_gradient,
    polygon,
    radial_gradient,
    rgb,
    segment,
    star,
    subtract,
    union,
)

REPO_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# Palette shared by the pictures.
GLOBE_LIGHT = rgb(120, 196, 255)
GLOBE_DARK = rgb(18, 92, 196)
GLOBE_EDGE = rgb(12, 54, 122)
GLOBE_GRID = rgb(220, 240, 255, 150)
LAND = rgb(86, 178, 74)
LAND_DARK = rgb(52, 128, 48)
GOLD_LIGHT = rgb(255, 236, 110)
GOLD_DARK = rgb(246, 166, 18)
GOLD_EDGE = rgb(150, 88, 0)
GREEN_LIGHT = rgb(110, 214, 92)
GREEN_DARK = rgb(36, 150, 40)
GREEN_EDGE = rgb(20, 92, 24)
WHITE = rgb(255, 255, 255)


# --- pieces ------------------------------------------------------------------------------------


def stroke(size):
    """Outline width in pixels: one pixel up to 64, then growing with the image so that the
    256-pixel picture is not drawn with a hairline."""
    return max(1.0, size / 64.0)


def draw_globe(c, cx, cy, r, edge=1.0, detail=1):
    """A blue globe with a grid of meridians and parallels and two patches of land; detail 0
    keeps the equator and one meridian pair, 2 adds a second pair for large images."""
    ball = bounded(circle(cx, cy, r), cx - r, cy - r, cx + r, cy + r)
    c.fill(
        ball,
        radial_gradient(cx - r * 0.45, cy - r * 0.45, r * 1.7, GLOBE_LIGHT, GLOBE_DARK),
    )
    inside = circle(cx, cy, r - edge * 0.5)
    land = union(
        polygon(
            [
                (cx - r * 0.62, cy - r * 0.55),
                (cx - r * 0.05, cy - r * 0.78),
                (cx + r * 0.10, cy - r * 0.35),
                (cx - r * 0.20, cy - r * 0.05),
                (cx - r * 0.15, cy + r * 0.45),
                (cx - r * 0.45, cy + r * 0.60),
                (cx - r * 0.55, cy + r * 0.10),
                (cx - r * 0.85, cy - r * 0.15),
            ]
        ),
        polygon(
            [
                (cx + r * 0.30, cy - r * 0.10),
                (cx + r * 0.80, cy - r * 0.30),
                (cx + r * 0.85, cy + r * 0.25),
                (cx + r * 0.45, cy + r * 0.65),
                (cx + r * 0.30, cy + r * 0.30),
            ]
        ),
    )
    c.fill(
        bounded(intersect(land, inside), cx - r, cy - r, cx + r, cy + r),
        linear_gradient(cx - r, cy - r, LAND, cx + r, cy + r, LAND_DARK),
    )
    # Grid lines keep about the same width in pixels at every size (thin, never below 0.8).
    line = c.px(0.42 if c.size < 32 else max(0.5, c.size / 96.0))

    def meridians(rx):
        return subtract(ellipse(cx, cy, rx, r), ellipse(cx, cy, rx - line * 2, r - line * 2))

    grid = [segment(cx - r, cy, cx + r, cy, line), meridians(r * 0.48)]
    if detail >= 1:
        grid += [
            segment(cx, cy - r, cx, cy + r, line),
            segment(cx - r, cy - r * 0.5, cx + r, cy - r * 0.5, line),
            segment(cx - r, cy + r * 0.5, cx + r, cy + r * 0.5, line),
        ]
    if detail >= 2:
        grid.append(meridians(r * 0.82))
    c.fill(bounded(intersect(union(*grid), inside), cx - r, cy - r, cx + r, cy + r), GLOBE_GRID)
    c.outline(ball, edge, GLOBE_EDGE)
    # A soft highlight gives the ball its roundness.
    shine = ellipse(cx - r * 0.38, cy - r * 0.42, r * 0.38, r * 0.24)
    c.fill(bounded(shine, cx - r, cy - r, cx, cy), rgb(255, 255, 255, 90))


def draw_star(c, cx, cy, outer, edge=1.0):
    shape = bounded(star(cx, cy, outer), cx - outer, cy - outer, cx + outer, cy + outer)
    c.fill(shape, linear_gradient(cx, cy - outer, GOLD_LIGHT, cx, cy + outer, GOLD_DARK))
    c.outline(shape, edge, GOLD_EDGE)


def draw_plus(c, cx, cy, arm, half, edge=1.0):
    shape = union(box(cx - arm, cy - half, cx + arm, cy + half, 0.8), box(cx - half, cy - arm, cx + half, cy + arm, 0.8))
    shape = bounded(shape, cx - arm, cy - arm, cx + arm, cy + arm)
    c.fill(shape, linear_gradient(cx, cy - arm, GREEN_LIGHT, cx, cy + arm, GREEN_DARK))
    c.outline(shape, edge, GREEN_EDGE)


# Each picture has two layouts: one laid out on a 16-unit grid for the small sizes (16 to 24),
# where a detail must be whole pixels to show at all, and one on a 32-unit grid for 32 and up.
# The canvas's unit maps the grid onto the image; strokes are given in pixels.


def small(size):
    return size < 32


def layout(size):
    return Canvas(size, size / 16.0) if small(size) else Canvas(size, size / 32.0)


# --- plug-in pictures --------------------------------------------------------------------------


def globe_star(size):
    c = layout(size)
    if small(size):
        draw_globe(c, 7.0, 7.0, 6.5, edge=c.px(1.0), detail=0)
        draw_star(c, 10.8, 10.6, 5.4, edge=c.px(0.8))
    else:
        edge = c.px(stroke(size))
        draw_globe(c, 14.0, 14.0, 12.5, edge=edge, detail=2 if size >= 48 else 1)
        draw_star(c, 22.5, 22.0, 9.5, edge=edge)
    return c


def globe_plus(size):
    c = layout(size)
    if small(size):
        draw_globe(c, 7.0, 7.0, 6.5, edge=c.px(1.0), detail=0)
        draw_plus(c, 12.0, 12.0, 4.0, 1.5, edge=c.px(1.0))
    else:
        edge = c.px(stroke(size))
        draw_globe(c, 14.0, 14.0, 12.5, edge=edge)
        draw_plus(c, 24.0, 24.0, 7.5, 2.6, edge=edge)
    return c


def big_star(size):
    c = layout(size)
    if small(size):
        # A thinner edge than 32's: at 16 a whole pixel round the star would darken half of it.
        draw_star(c, 8.0, 8.6, 7.6, edge=c.px(0.8))
    else:
        draw_star(c, 16.0, 17.0, 15.0, edge=c.px(max(1.2, stroke(size))))
    return c


def folder(size):
    c = Canvas(size)
    edge = rgb(150, 104, 20)
    back = union(box(1.0, 2.0, 7.0, 6.0, 0.8), box(1.0, 4.0, 15.0, 14.0, 0.8))
    c.fill(back, linear_gradient(0, 2, rgb(232, 186, 78), 0, 14, rgb(214, 160, 52)))
    c.outline(back, 1.0, edge)
    front = polygon([(3.0, 7.0), (16.0, 7.0), (15.0, 14.0), (1.0, 14.0)])
    c.fill(front, linear_gradient(0, 7, rgb(255, 230, 140), 0, 14, rgb(248, 200, 86)))
    c.outline(front, 1.0, edge)
    return c


def exclamation(size):
    c = Canvas(size)
    bar = polygon([(5.5, 1.0), (10.5, 1.0), (9.3, 10.0), (6.7, 10.0)])
    dot = circle(8.0, 13.0, 2.0)
    mark = union(bar, dot)
    c.fill(mark, linear_gradient(0, 1, rgb(255, 238, 80), 0, 15, rgb(250, 190, 0)))
    c.outline(mark, 1.0, rgb(140, 86, 0))
    return c


def house(size):
    c = Canvas(size)
    walls = box(3.0, 7.0, 13.0, 15.0)
    c.fill(walls, linear_gradient(0, 7, rgb(255, 246, 222), 0, 15, rgb(232, 214, 176)))
    c.outline(walls, 1.0, rgb(120, 92, 60))
    door = box(6.5, 10.0, 9.5, 15.0)
    c.fill(door, rgb(140, 82, 36))
    roof = polygon([(8.0, 0.5), (15.8, 8.0), (0.2, 8.0)])
    c.fill(roof, linear_gradient(0, 1, rgb(236, 84, 60), 0, 8, rgb(180, 36, 26)))
    c.outline(roof, 1.0, rgb(110, 20, 14))
    return c


def padlock(size):
    c = Canvas(size)
    shackle = subtract(
        intersect(union(circle(8.0, 6.0, 4.5), box(3.5, 6.0, 12.5, 9.0)), box(0, 0, 16, 9.0)),
        union(circle(8.0, 6.0, 2.5), box(5.5, 6.0, 10.5, 9.5)),
    )
    c.fill(shackle, linear_gradient(3, 0, rgb(240, 242, 246), 13, 0, rgb(160, 166, 178)))
    c.outline(shackle, 0.8, rgb(104, 110, 122))
    body = box(2.0, 7.0, 14.0, 15.0, 1.2)
    c.fill(body, linear_gradient(0, 7, GOLD_LIGHT, 0, 15, GOLD_DARK))
    c.outline(body, 1.0, GOLD_EDGE)
    keyhole = union(circle(8.0, 10.6, 1.3), box(7.4, 10.6, 8.6, 13.6))
    c.fill(keyhole, rgb(90, 56, 0))
    return c


# --- tray pictures -----------------------------------------------------------------------------


def tray_list(size):
    """The tray program's mark: a list card with a gold star, its favorites at a glance."""
    c = layout(size)
    if small(size):
        card = box(0.5, 1.5, 13.5, 15.0, 1.8)
        c.fill(card, linear_gradient(0, 1.5, rgb(70, 150, 240), 0, 15, rgb(22, 82, 180)))
        c.outline(card, c.px(1.0), GLOBE_EDGE)
        # The list's bars on whole pixels, so that each stays a crisp white line.
        for y, right in ((4.5, 11.5), (8.5, 11.5), (12.5, 7.5)):
            y0, y1 = c.snap(y - 0.75), c.snap(y + 0.75)
            c.fill(box(c.snap(2.5), y0, c.snap(4.0), y1), WHITE)
            c.fill(box(c.snap(5.0), y0, c.snap(right), y1), WHITE)
        draw_star(c, 11.4, 11.0, 4.8, edge=c.px(0.8))
    else:
        edge = c.px(stroke(size))
        card = box(2.0, 3.0, 26.0, 29.0, 3.0)
        c.fill(card, linear_gradient(0, 3, rgb(70, 150, 240), 0, 29, rgb(22, 82, 180)))
        c.outline(card, edge, GLOBE_EDGE)
        for y in (9.5, 15.5, 21.5):
            c.fill(circle(7.0, y, 1.8), WHITE)
            c.fill(segment(11.0, y, 20.0, y, 1.2), WHITE)
        draw_star(c, 24.0, 23.0, 8.0, edge=edge)
    return c


# --- files -------------------------------------------------------------------------------------

TRAY_SIZES = (48, 40, 32, 24, 20, 16)

# (file, picture, sizes, what uses it)
ICONS = [
    ("resources/plugin/globe_star.ico", globe_star, (32, 16), "plug-in icon 201"),
    # 202 and 207 are the browser button's icons: its toolbar draws 16 and 20.
    ("resources/plugin/globe_plus.ico", globe_plus, (32, 20, 16), "plug-in icon 202"),
    ("resources/plugin/folder.ico", folder, (16,), "plug-in icon 204"),
    ("resources/plugin/exclamation.ico", exclamation, (16,), "plug-in icon 205"),
    ("resources/plugin/house.ico", house, (16,), "plug-in icon 206"),
    ("resources/plugin/star.ico", big_star, (32, 20, 16), "plug-in icon 207"),
    ("resources/plugin/padlock.ico", padlock, (16,), "plug-in icon 208"),
    # The notification area asks for 16 to 24, more at higher DPI.
    ("resources/tray/tray.ico", tray_list, TRAY_SIZES, "tray icon 201"),
    # The program's icon also shows in Explorer's large views.
    ("resources/tray/about.ico", tray_list, TRAY_SIZES + (256,), "tray icon 204"),
]


def write_preview(path, rendered):
    """A sheet with every image enlarged and at its real size, over white, a checkerboard and
    a dark background (the notification area may be either)."""
    gap = 8

    def zoom(size):
        return max(1, 192 // size)

    backgrounds = [
        lambda x, y: (255, 255, 255),
        lambda x, y: (204, 204, 204) if ((x // 8) + (y // 8)) % 2 else (250, 250, 250),
        lambda x, y: (40, 44, 52),
    ]
    slots = [(size, pixels) for images in rendered for size, pixels in images]
    band = max(max(size * zoom(size), size) for size, _ in slots)
    width = gap + sum(size * zoom(size) + gap + size + 2 * gap for size, _ in slots)
    height = gap + len(backgrounds) * (band + gap)
    rows = [[(128, 128, 128, 255)] * width for _ in range(height)]

    def put(x0, y0, size, pixels, scale, background):
        for y in range(size * scale):
            for x in range(size * scale):
                r, g, b, a = pixels[(y // scale) * size + (x // scale)]
                br, bg, bb = background(x, y)
                t = a / 255.0
                rows[y0 + y][x0 + x] = (
                    int(r * t + br * (1 - t)),
                    int(g * t + bg * (1 - t)),
                    int(b * t + bb * (1 - t)),
                    255,
                )

    for index, background in enumerate(backgrounds):
        y0 = gap + index * (band + gap)
        x0 = gap
        for size, pixels in slots:
            put(x0, y0, size, pixels, zoom(size), background)
            put(x0 + size * zoom(size) + gap, y0, size, pixels, 1, background)
            x0 += size * zoom(size) + gap + size + 2 * gap
    with open(path, "wb") as out:
        out.write(png_bytes(width, height, rows))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--preview", help="also write a PNG sheet of every image to this path")
    parser.add_argument(
        "--check",
        action="store_true",
        help="write nothing; fail when a committed .ico differs from what the pictures draw",
    )
    args = parser.parse_args()

    rendered = []
    stale = []
    for relative, picture, sizes, _ in ICONS:
        images = [(size, picture(size).render()) for size in sizes]
        data = ico_bytes(images)
        path = os.path.join(REPO_ROOT, relative)
        rendered.append(images)
        if args.check:
            with open(path, "rb") as committed:
                if committed.read() != data:
                    stale.append(relative)
            continue
        with open(path, "wb") as out:
            out.write(data)
        print("wrote", relative)
    if args.check:
        for relative in stale:
            print("out of date:", relative, "(rerun tools/icons/generate_icons.py)")
        print("icons: %d up to date, %d out of date" % (len(ICONS) - len(stale), len(stale)))
        return 1 if stale else 0
    if args.preview:
        write_preview(args.preview, rendered)
        print("wrote", args.preview)


if __name__ == "__main__":
    sys.exit(main())
