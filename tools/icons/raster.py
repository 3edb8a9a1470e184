"""A tiny vector rasteriser for icons: shapes are signed distance functions (negative inside),
drawn in layers and supersampled near their edges so that edges come out smooth at every size.

Coordinates are pixels with (0, 0) at the top-left corner of the image, so the centre of the
top-left pixel is (0.5, 0.5), times the canvas's unit (pixels per coordinate unit).
"""

import math

# Samples per pixel along each axis; 6 x 6 gives smooth edges without blurring 1-pixel lines.
SUPERSAMPLING = 6
# Pixels this far (in pixels) from every edge take one sample; beyond the half diagonal of a
# pixel (0.71) with room for the distance estimates that are not exact.
EDGE_CLEARANCE = 1.0


# --- shapes ------------------------------------------------------------------------------------


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    def sdf(x, y):
        dx, dy = (x - cx) / rx, (y - cy) / ry
        f = math.hypot(dx, dy)
        if f == 0.0:
            return -min(rx, ry)
        # First-order distance: the implicit function over the length of its gradient.
        gx, gy = dx / (rx * f), dy / (ry * f)
        return (f - 1.0) / math.hypot(gx, gy)

    return sdf


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return sdf


def segment(x0, y0, x1, y1, halfwidth):
    """A line with round caps."""
    vx, vy = x1 - x0, y1 - y0
    length2 = vx * vx + vy * vy

    def sdf(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * vx + (y - y0) * vy) / length2))
        return math.hypot(x - (x0 + t * vx), y - (y0 + t * vy)) - halfwidth

    return sdf


def polygon(points):
    edges = list(zip(points, points[1:] + points[:1]))

    def sdf(x, y):
        inside = False
        best = float("inf")
        for (ax, ay), (bx, by) in edges:
            ex, ey = bx - ax, by - ay
            length2 = ex * ex + ey * ey
            t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / length2))
            best = min(best, math.hypot(x - (ax + t * ex), y - (ay + t * ey)))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / (by - ay):
                inside = not inside
        return -best if inside else best

    return sdf


def star_points(cx, cy, outer, inner, points=5, rotation=-90.0):
    result = []
    for i in range(points * 2):
        angle = math.radians(rotation + i * 180.0 / points)
        r = outer if i % 2 == 0 else inner
        result.append((cx + r * math.cos(angle), cy + r * math.sin(angle)))
    return result


def star(cx, cy, outer, inner_ratio=0.46):
    return polygon(star_points(cx, cy, outer, outer * inner_ratio))


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


def grow(shape, amount):
    return lambda x, y: shape(x, y) - amount


def inner_band(shape, width):
    """The strip of width just inside the shape's edge: an outline that never spills out."""
    return lambda x, y: max(shape(x, y), -(shape(x, y) + width))


def bounded(shape, x0, y0, x1, y1):
    """Tells the renderer where the shape can be, so that it skips the rest of the image."""
    shape.bounds = (x0, y0, x1, y1)
    return shape


# --- colours -----------------------------------------------------------------------------------


def rgb(r, g, b, a=255):
    return (r, g, b, a)


def linear_gradient(x0, y0, c0, x1, y1, c1):
    """A colour function that runs from c0 at (x0, y0) to c1 at (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def colour(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))

    return colour


def radial_gradient(cx, cy, radius, c0, c1):
    def colour(x, y):
        t = max(0.0, min(1.0, math.hypot(x - cx, y - cy) / radius))
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))

    return colour


# --- canvas ------------------------------------------------------------------------------------


class Canvas:
    """size: pixels along each edge; unit: pixels per unit of the coordinates the shapes use,
    so that one layout can serve a band of sizes while strokes are chosen in pixels."""

    def __init__(self, size, unit=1.0):
        self.size = size
        self.unit = unit
        self.layers = []

    def px(self, pixels):
        """A length of this many pixels in the shapes' units."""
        return pixels / self.unit

    def snap(self, value):
        """The nearest whole pixel edge, in the shapes' units."""
        return round(value * self.unit) / self.unit

    def fill(self, shape, colour):
        self.layers.append((shape, colour))

    def outline(self, shape, width, colour):
        self.fill(inner_band(shape, width), colour)

    def render(self):
        """Returns size * size RGBA tuples (straight alpha, 0..255), rows top to bottom."""
        n = SUPERSAMPLING
        unit = self.unit
        offsets = [(i + 0.5) / n for i in range(n)]
        # A pixel whose centre lies further than this from every edge is covered or missed
        # whole by each shape: one sample stands for all (a 256-pixel image would otherwise
        # take minutes).
        clear = EDGE_CLEARANCE / unit
        pixels = []
        for py in range(self.size):
            for px in range(self.size):
                live = [
                    (shape, colour)
                    for shape, colour in self.layers
                    if _may_cover(shape, px / unit, py / unit, (px + 1) / unit, (py + 1) / unit)
                ]
                cx, cy = (px + 0.5) / unit, (py + 0.5) / unit
                if all(abs(shape(cx, cy)) > clear for shape, _ in live):
                    samples = [(cx, cy)]
                else:
                    samples = [((px + ox) / unit, (py + oy) / unit) for oy in offsets for ox in offsets]
                acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied sum over the samples
                for x, y in samples:
                    r = g = b = a = 0.0
                    for shape, colour in live:
                        if shape(x, y) < 0.0:
                            cr, cg, cb, ca = colour(x, y) if callable(colour) else colour
                            ca /= 255.0
                            r = cr * ca + r * (1.0 - ca)
                            g = cg * ca + g * (1.0 - ca)
                            b = cb * ca + b * (1.0 - ca)
                            a = ca + a * (1.0 - ca)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
                count = float(len(samples))
                alpha = acc[3] / count
                if alpha <= 0.0:
                    pixels.append((0, 0, 0, 0))
                    continue
                pixels.append(
                    tuple(int(round(min(255.0, acc[i] / count / alpha))) for i in range(3))
                    + (int(round(alpha * 255.0)),)
                )
        return pixels


def _may_cover(shape, left, top, right, bottom):
    bounds = getattr(shape, "bounds", None)
    if bounds is None:
        return True
    x0, y0, x1, y1 = bounds
    return right > x0 and left < x1 and bottom > y0 and top < y1
