#!/usr/bin/env python3
# Draws the Windows resources of Kor-Vane Dump Browser and writes them into resources/: the
# program icon (app.ico), the three tree icons (database.ico, table.ico, code.ico) and the
# header wordmark (banner.bmp). Preview sheets for checking them by eye go to
# build/resource-preview/ (not committed).
#
# Python 3 standard library only. Output is deterministic: the same pixels on every run, and the
# same bytes as long as zlib compresses the same way (only the 256-pixel icon images are
# compressed). Run from anywhere: python3 tools/make_resources.py
import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES_DIR = os.path.join(ROOT, "resources")
PREVIEW_DIR = os.path.join(ROOT, "build", "resource-preview")

# Brand palette.
ACCENT = (49, 148, 203)
DARK = (29, 123, 180)
NAVY = (30, 58, 83)
LIGHT = (244, 248, 251)
LINES = (219, 231, 240)
WHITE = (255, 255, 255)

APP_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
TREE_SIZES = (16, 17, 20, 21, 24, 26, 32, 34, 48)
BANNER_SIZE = (322, 74)


def mix(a, b, t):
    """Colour between a (t = 0) and b (t = 1)."""
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# ---------------------------------------------------------------------------------------------
# Geometry. A shape is a list of closed contours (lists of (x, y) points, y downwards) filled
# with the non-zero rule. Solid parts run one way round and holes the other, so overlapping solid
# contours unite and a hole cuts whatever lies under it.


def _area2(c):
    return sum(c[i - 1][0] * c[i][1] - c[i][0] * c[i - 1][1] for i in range(len(c)))


def solid(c):
    """The contour turned to run the solid way round."""
    return list(c) if _area2(c) > 0 else list(reversed(c))


def hole(c):
    """The contour turned to run the hole way round."""
    return list(reversed(c)) if _area2(c) > 0 else list(c)


def _steps(r):
    return max(12, min(720, int(math.ceil(2 * math.pi * r / 0.6))))


def arc(cx, cy, rx, ry, a0, a1, n=None):
    """Points on an ellipse from angle a0 to a1 (degrees, 0 = right, 90 = down), both ends included."""
    if n is None:
        n = max(2, int(_steps(max(rx, ry)) * abs(a1 - a0) / 360) + 1)
    pts = []
    for i in range(n + 1):
        a = math.radians(a0 + (a1 - a0) * i / n)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


def ellipse(cx, cy, rx, ry):
    return arc(cx, cy, rx, ry, 0, 360)[:-1]


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def round_rect(x0, y0, x1, y1, r):
    if r <= 0:
        return rect(x0, y0, x1, y1)
    return (arc(x1 - r, y0 + r, r, r, -90, 0) + arc(x1 - r, y1 - r, r, r, 0, 90)
            + arc(x0 + r, y1 - r, r, r, 90, 180) + arc(x0 + r, y0 + r, r, r, 180, 270))


def ring(cx, cy, r_out, r_in):
    return [solid(circle(cx, cy, r_out)), hole(circle(cx, cy, r_in))]


def capsule(p, q, w):
    """A stroke of width w from p to q with round ends."""
    (x0, y0), (x1, y1) = p, q
    a = math.degrees(math.atan2(y1 - y0, x1 - x0))
    r = w / 2
    return solid(arc(x1, y1, r, r, a - 90, a + 90) + arc(x0, y0, r, r, a + 90, a + 270))


def clip(c, a, b, k):
    """Contour c cut down to where a*x + b*y <= k."""
    out = []
    n = len(c)
    for i in range(n):
        p, q = c[i], c[(i + 1) % n]
        fp, fq = a * p[0] + b * p[1] - k, a * q[0] + b * q[1] - k
        if fp <= 0:
            out.append(p)
        if (fp < 0 < fq) or (fq < 0 < fp):
            t = fp / (fp - fq)
            out.append((p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t))
    return out


def transform(shape, s, dx=0.0, dy=0.0):
    return [[(x * s + dx, y * s + dy) for x, y in c] for c in shape]


# ---------------------------------------------------------------------------------------------
# Rasterising, anti-aliased by supersampling: coverage is sampled on `sub` rows per pixel and
# along each row the covered spans are measured exactly, so every pixel gets the share of its
# area the shape covers, to 1/sub vertically and exactly horizontally.


def coverage(shape, w, h, sub):
    """Per-pixel covered fraction (0..1) of the shape, row by row, as a list of w*h floats."""
    rows = [[] for _ in range(h)]
    for c in shape:
        n = len(c)
        for i in range(n):
            # Coordinates are rounded to 1/1024 pixel, so last-bit differences between maths
            # libraries do not reach the pixels.
            x0, y0 = round(c[i][0] * 1024) / 1024, round(c[i][1] * 1024) / 1024
            x1, y1 = round(c[(i + 1) % n][0] * 1024) / 1024, round(c[(i + 1) % n][1] * 1024) / 1024
            if y0 == y1:
                continue
            d = 1
            if y0 > y1:
                x0, y0, x1, y1, d = x1, y1, x0, y0, -1
            e = (y0, y1, x0, (x1 - x0) / (y1 - y0), d)
            for r in range(max(0, int(math.floor(y0))), min(h, int(math.ceil(y1)))):
                rows[r].append(e)
    cov = [0.0] * (w * h)
    step = 1.0 / sub
    for r in range(h):
        es = rows[r]
        if not es:
            continue
        base = r * w
        for k in range(sub):
            y = r + (k + 0.5) * step
            xs = [(xa + (y - ya) * sl, d) for ya, yb, xa, sl, d in es if ya <= y < yb]
            if len(xs) < 2:
                continue
            xs.sort()
            wind = 0
            start = 0.0
            for x, d in xs:
                before = wind
                wind += d
                if before == 0 and wind != 0:
                    start = x
                elif before != 0 and wind == 0:
                    a, b = max(start, 0.0), min(x, float(w))
                    if b <= a:
                        continue
                    ia, ib = int(a), int(b)
                    if ia == ib:
                        cov[base + ia] += (b - a) * step
                        continue
                    cov[base + ia] += (ia + 1 - a) * step
                    for i in range(base + ia + 1, base + ib):
                        cov[i] += step
                    if ib < w:
                        cov[base + ib] += (b - ib) * step
    return [min(v, 1.0) for v in cov]


class Layer:
    """A w*h picture in premultiplied RGBA floats (colour 0..255, alpha 0..1), transparent at first."""

    def __init__(self, w, h, sub=16, background=None):
        self.w, self.h, self.sub = w, h, sub
        n = w * h
        if background is None:
            self.r, self.g, self.b, self.a = [0.0] * n, [0.0] * n, [0.0] * n, [0.0] * n
        else:
            self.r = [float(background[0])] * n
            self.g = [float(background[1])] * n
            self.b = [float(background[2])] * n
            self.a = [1.0] * n

    def mask(self, shape):
        return coverage(shape, self.w, self.h, self.sub)

    def fill(self, shape, paint, opacity=1.0, clip_mask=None):
        """Paints the shape over the picture. paint is an RGB colour or a function (x, y) -> RGB
        of the pixel centre; clip_mask (a mask()) limits where it lands."""
        cov = self.mask(shape)
        w = self.w
        for i, c in enumerate(cov):
            if c <= 0:
                continue
            a = c * opacity
            if clip_mask is not None:
                a *= clip_mask[i]
                if a <= 0:
                    continue
            col = paint(i % w + 0.5, i // w + 0.5) if callable(paint) else paint
            k = 1 - a
            self.r[i] = col[0] * a + self.r[i] * k
            self.g[i] = col[1] * a + self.g[i] * k
            self.b[i] = col[2] * a + self.b[i] * k
            self.a[i] = a + self.a[i] * k

    def erase(self, shape):
        """Makes the shape transparent (in proportion to its coverage)."""
        for i, c in enumerate(self.mask(shape)):
            if c > 0:
                k = 1 - c
                self.r[i] *= k
                self.g[i] *= k
                self.b[i] *= k
                self.a[i] *= k

    def draw(self, other):
        """Lays another layer of the same size over this one."""
        for i in range(self.w * self.h):
            a = other.a[i]
            if a <= 0:
                continue
            k = 1 - a
            self.r[i] = other.r[i] + self.r[i] * k
            self.g[i] = other.g[i] + self.g[i] * k
            self.b[i] = other.b[i] + self.b[i] * k
            self.a[i] = a + self.a[i] * k

    def rgba(self):
        """Straight (not premultiplied) 8-bit RGBA, top row first."""
        out = bytearray(self.w * self.h * 4)
        for i in range(self.w * self.h):
            a = self.a[i]
            a8 = int(a * 255 + 0.5)
            if a8 == 0:
                continue
            o = i * 4
            out[o] = min(255, int(self.r[i] / a + 0.5))
            out[o + 1] = min(255, int(self.g[i] / a + 0.5))
            out[o + 2] = min(255, int(self.b[i] / a + 0.5))
            out[o + 3] = a8
        return bytes(out)


# ---------------------------------------------------------------------------------------------
# File formats.


def png(w, h, rgba):
    """A PNG file (8-bit RGBA, not interlaced) of straight RGBA pixels, top row first."""
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    stride = w * 4
    raw = b"".join(b"\x00" + rgba[y * stride:(y + 1) * stride] for y in range(h))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon_dib(s, rgba):
    """One icon image as Windows stores it: BITMAPINFOHEADER (height doubled), 32-bit BGRA rows
    bottom-up with straight alpha, then the 1-bit AND mask (set where alpha < 128) padded to
    32 bits a row."""
    head = struct.pack("<IiiHHIIiiII", 40, s, 2 * s, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in range(s - 1, -1, -1):
        for x in range(s):
            o = (y * s + x) * 4
            pixels += bytes((rgba[o + 2], rgba[o + 1], rgba[o], rgba[o + 3]))
    mask_stride = (s + 31) // 32 * 4
    mask = bytearray()
    for y in range(s - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(s):
            if rgba[(y * s + x) * 4 + 3] < 128:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask += row
    return head + bytes(pixels) + bytes(mask)


def ico(images):
    """An ICO file of {size: rgba}; 256-pixel images are stored as PNG, the others as DIBs."""
    sizes = sorted(images)
    blobs = [png(s, s, images[s]) if s >= 256 else icon_dib(s, images[s]) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, blob in zip(sizes, blobs):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def bmp24(w, h, rgba):
    """A BMP file: BITMAPFILEHEADER, BITMAPINFOHEADER, 24-bit BGR rows bottom-up padded to four
    bytes, 96 DPI. The pixels must be opaque."""
    stride = (w * 3 + 3) // 4 * 4
    body = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            o = (y * w + x) * 4
            row += bytes((rgba[o + 2], rgba[o + 1], rgba[o]))
        body += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 3780, 3780, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info)) + info + bytes(body)


# ---------------------------------------------------------------------------------------------
# Shared drawing pieces.


def cylinder(left, right, top, bottom, ry):
    """Outline of an upright cylinder: the top ellipse's centre at y = top, the bottom ellipse's
    at y = bottom, both with vertical radius ry."""
    cx, rx = (left + right) / 2, (right - left) / 2
    return solid(arc(cx, bottom, rx, ry, 180, 0) + arc(cx, top, rx, ry, 0, -180))


def disk_edge(left, right, y, ry, t):
    """The band of vertical thickness t under the front half of an ellipse centred at y: the edge
    between two stacked disks."""
    cx, rx = (left + right) / 2, (right - left) / 2
    return solid(arc(cx, y, rx, ry, 180, 0) + arc(cx, y + t, rx, ry, 0, 180))


def snapper(s, grid):
    """Functions that scale a coordinate from a grid-unit design to an s-pixel image: exactly, and
    rounded to whole pixels (for edges that must stay sharp)."""
    u = s / grid
    return (lambda v: v * u), (lambda v: float(round(v * u)))


def line_width(s):
    """Outline width of the tree icons: one pixel up to 26 pixels, two at 32 and 34, three at 48."""
    return float(max(1, int(s / 16 + 0.25)))


# ---------------------------------------------------------------------------------------------
# Tree icons, designed on a 16-unit grid: a navy outline, accent-blue parts, white or light
# insides.


def tree_database(s):
    f, g = snapper(s, 16)
    lw = line_width(s)
    lay = Layer(s, s)
    left, right = g(2), g(14)
    ry = max(2.5, round(f(2.6) * 2) / 2)
    top = g(1) + ry
    bottom = s - g(1) - ry
    lay.fill([cylinder(left, right, top, bottom, ry)], NAVY)
    lay.fill([cylinder(left + lw, right - lw, top, bottom, ry - lw)],
             lambda x, y: mix(ACCENT, DARK, max(0.0, (x - left) / (right - left) - 0.35) * 1.6))
    # Edges between the three disks, their lowest points on whole pixels.
    for k in (1, 2):
        y = round(top + ry + (bottom - top) * k / 3 - lw) - ry
        lay.fill([disk_edge(left, right, y, ry, lw)], NAVY)
    cx, rx = (left + right) / 2, (right - left) / 2
    lay.fill([solid(ellipse(cx, top, rx, ry))], NAVY)
    lay.fill([solid(ellipse(cx, top, rx - lw, ry - lw))], mix(ACCENT, WHITE, 0.72))
    return lay


def tree_table(s):
    f, g = snapper(s, 16)
    lw = line_width(s)
    lay = Layer(s, s)
    x0, x1, y0, y1 = g(1), s - g(1), g(2), s - g(2)
    r = max(1.0, f(1.5))
    lay.fill([round_rect(x0, y0, x1, y1, r)], NAVY)
    lay.fill([round_rect(x0 + lw, y0 + lw, x1 - lw, y1 - lw, max(0.0, r - lw))], WHITE)
    head = y0 + g(4.5)
    lay.fill([rect(x0 + lw, y0 + lw, x1 - lw, head)], ACCENT)
    lay.fill([rect(x0 + lw, head, x1 - lw, head + lw)], NAVY)
    grid = mix(ACCENT, WHITE, 0.45)
    # Two columns lines and one row line inside the body, on whole pixels.
    inner_w = x1 - x0
    for k in (1, 2):
        x = x0 + float(round(inner_w * k / 3)) - lw / 2
        x = float(round(x))
        lay.fill([rect(x, head + lw, x + lw, y1 - lw)], grid)
        lay.fill([rect(x, y0 + lw, x + lw, head)], mix(ACCENT, WHITE, 0.3))
    ym = float(round((head + lw + y1 - lw) / 2 - lw / 2))
    lay.fill([rect(x0 + lw, ym, x1 - lw, ym + lw)], grid)
    return lay


def tree_code(s):
    f, g = snapper(s, 16)
    lw = line_width(s)
    lay = Layer(s, s)
    x0, x1, y0, y1 = g(2), s - g(2), g(1), s - g(1)
    fold = g(4.5)
    page = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    inner = [(x0 + lw, y0 + lw), (x1 - fold - lw * 0.41, y0 + lw), (x1 - lw, y0 + fold + lw * 0.41),
             (x1 - lw, y1 - lw), (x0 + lw, y1 - lw)]
    lay.fill([solid(page)], NAVY)
    lay.fill([solid(inner)], WHITE)
    lay.fill([solid([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)])], NAVY)
    lay.fill([solid([(x1 - fold + lw, y0 + lw * 2.41), (x1 - fold + lw, y0 + fold - lw),
                     (x1 - lw * 2.41, y0 + fold - lw)])], LINES)
    # Angle brackets < >, low on the page, clear of the outline.
    sw = max(1.5, f(1.4))
    cy = f(10)
    h = f(2.5)
    cx = (x0 + x1) / 2
    gap, wdt = f(2.0), f(1.9)
    lt, rt = cx - gap - wdt, cx + gap + wdt
    for p, q in (((lt + wdt, cy - h), (lt, cy)), ((lt, cy), (lt + wdt, cy + h)),
                 ((rt - wdt, cy - h), (rt, cy)), ((rt, cy), (rt - wdt, cy + h))):
        lay.fill([capsule(p, q, sw)], DARK)
    return lay


# ---------------------------------------------------------------------------------------------
# Program icon: a stack of three disks (the database) with a magnifier in front whose lens shows
# rows of a table. Designed on a 256-unit grid; the smallest sizes keep two disks and a thicker
# magnifier.


def app_icon(s):
    f, g = snapper(s, 256)
    sub = 16 if s <= 64 else 6
    small = s <= 24
    back = Layer(s, s, sub)
    left, right = g(14), g(178)
    ry = f(34) if not small else max(2.0, f(38))
    top = g(14) + ry
    bottom = g(226) - ry if not small else g(222) - ry
    body = lambda x, y: mix(ACCENT, DARK, max(0.0, (x - left) / (right - left) - 0.3) * 1.4)
    back.fill([cylinder(left, right, top, bottom, ry)], body)
    tiers = 3 if not small else 2
    t = max(1.0, f(9))
    for k in range(1, tiers):
        y = top + (bottom - top) * k / tiers - t / 2
        back.fill([disk_edge(left, right, y, ry, t)], LIGHT)
    cx, rx = (left + right) / 2, (right - left) / 2
    back.fill([solid(ellipse(cx, top, rx, ry))], mix(ACCENT, WHITE, 0.55 if not small else 0.1))
    rim = max(1.0, f(10))
    back.fill([solid(ellipse(cx, top + rim * 0.2, rx - rim, ry - rim * 0.8))], mix(ACCENT, WHITE, 0.8))

    # Magnifier: lens, ring and handle, cut out of the stack with a gap.
    lx, ly = f(170), f(164)
    ro = f(64) if not small else f(70)
    rw = f(18) if not small else max(1.6, f(26))
    end = (f(240), f(240))
    start = (lx + ro * 0.62, ly + ro * 0.62)
    hw = f(34) if not small else max(2.4, f(40))
    gap = max(1.0, f(10))
    back.erase([solid(circle(lx, ly, ro + gap))])
    back.erase([capsule(start, end, hw + 2 * gap)])
    front = Layer(s, s, sub)
    front.fill([solid(circle(lx, ly, ro - rw / 2))], WHITE)
    lens = front.mask([solid(circle(lx, ly, ro - rw + 0.01))])
    if not small:
        # Rows of a table seen through the lens: a header row and two data rows.
        rh = f(12)
        for y, x0, x1, col in ((-22, -30, 30, ACCENT), (0, -30, 34, mix(LINES, DARK, 0.35)),
                               (22, -30, 16, mix(LINES, DARK, 0.35))):
            front.fill([round_rect(lx + f(x0), ly + f(y) - rh / 2, lx + f(x1), ly + f(y) + rh / 2, rh / 2)],
                       col, clip_mask=lens)
    else:
        front.fill([rect(lx - f(30), ly - f(14), lx + f(30), ly + f(14))], mix(ACCENT, WHITE, 0.25), clip_mask=lens)
    front.fill(ring(lx, ly, ro, ro - rw), NAVY)
    front.fill([capsule(start, end, hw)], NAVY)
    if not small:
        front.fill([capsule((start[0] + f(22), start[1] + f(22)), (end[0] - f(2), end[1] - f(2)), hw - f(14))], DARK)
    back.draw(front)
    return back


# ---------------------------------------------------------------------------------------------
# Wordmark. Letters are drawn on a grid where the capital height is 100 units (y downwards, the
# baseline at 100): bold geometric capitals with stems 21 units wide and bars 19 units high.

STEM, BAR = 21.0, 19.0


def _slant_width(dx, dy, t):
    """Horizontal width of a diagonal stroke of thickness t rising dx over dy."""
    return t * math.hypot(dx, dy) / dy


def glyph_k():
    w = 70.0
    j = 62.0                                   # where the arm leaves the stem
    wa = _slant_width(w - STEM, j, 24)
    arm = solid(clip([(STEM - wa, j), (w - wa, 0), (w, 0), (STEM, j)], -1, 0, -STEM / 2))
    yl = j - 14
    xl = STEM + (j - yl) * (w - STEM) / j - wa + 3      # leg starts inside the arm
    wl = wa - 2
    leg = solid([(xl, yl), (xl + wl, yl), (w + 2, 100), (w + 2 - wl, 100)])
    return [solid(rect(0, 0, STEM, 100)), arm, leg], w + 2


def glyph_o():
    w = 104.0
    return [solid(ellipse(w / 2, 50, w / 2, 51.5)), hole(ellipse(w / 2, 50, w / 2 - STEM - 1.5, 51.5 - BAR - 1))], w


def glyph_r():
    w = 72.0
    bh = 60.0
    r_out = bh / 2
    xb = w - 4 - r_out
    outer = [(0, 0), (xb, 0)] + arc(xb, r_out, r_out, r_out, -90, 90)[1:-1] + [(xb, bh), (0, bh)]
    ri_x, ri_y = r_out - STEM, r_out - BAR
    inner = [(STEM, BAR), (xb, BAR)] + arc(xb, r_out, ri_x, ri_y, -90, 90)[1:-1] + [(xb, bh - BAR), (STEM, bh - BAR)]
    wl = _slant_width(w - xb, 100 - bh, 24)
    yl = bh - BAR / 2
    leg = solid([(xb - wl / 2 - 4, yl), (xb + wl / 2 - 4, yl), (w + 1, 100), (w + 1 - wl, 100)])
    return [solid(rect(0, 0, STEM, 100)), solid(outer), hole(inner), leg], w + 1


def glyph_hyphen():
    w = 36.0
    return [solid(rect(0, 56 - BAR / 2, w, 56 + BAR / 2))], w


def _apex(w, flat, t, up):
    """A or V without crossbar: two diagonals of thickness t meeting in a flat end of width flat."""
    half = (w - flat) / 2
    wd = _slant_width(half, 100, t)
    # Inner edges run parallel to the outer ones, wd further in; they meet at xm, yi.
    xm = w / 2
    yi = 100 - (xm - wd) * 100 / half
    pts = [(0, 100), (half, 0), (w - half, 0), (w, 100), (w - wd, 100), (xm, yi), (wd, 100)]
    if not up:
        pts = [(x, 100 - y) for x, y in pts]
    return solid(pts), wd


def glyph_v():
    w = 92.0
    shape, _ = _apex(w, 10, 23, False)
    return [shape], w


def glyph_a():
    w = 92.0
    shape, wd = _apex(w, 10, 23, True)
    y0, y1 = 66 - BAR / 2, 66 + BAR / 2
    return [shape, solid(rect(18, y0, w - 18, y1))], w


def glyph_n():
    w = 80.0
    wd = _slant_width(w - STEM, 100, 25)
    diag = solid([(0, 0), (wd, 0), (w, 100), (w - wd, 100)])
    return [solid(rect(0, 0, STEM, 100)), solid(rect(w - STEM, 0, w, 100)), diag], w


def glyph_e():
    w = 60.0
    return [solid(rect(0, 0, STEM, 100)), solid(rect(0, 0, w, BAR)),
            solid(rect(0, 50 - BAR / 2, w - 5, 50 + BAR / 2)), solid(rect(0, 100 - BAR, w, 100))], w


# Letters of the wordmark with the space before each (in capital-height units).
WORDMARK = (("K", glyph_k, 0), ("O", glyph_o, 7), ("R", glyph_r, 9), ("-", glyph_hyphen, 6),
            ("V", glyph_v, 5), ("A", glyph_a, -1), ("N", glyph_n, 3), ("E", glyph_e, 11))


def banner(w, h):
    """The wordmark KOR-VANE, navy with an accent-blue hyphen, centred on white."""
    parts = []
    x = 0.0
    for ch, make, space in WORDMARK:
        shape, adv = make()
        x += space
        parts.append((ch, shape, x))
        x += adv
    scale = min(h * 0.66 / 100, (w - 12) / x)
    dx = (w - x * scale) / 2
    dy = (h - 100 * scale) / 2
    lay = Layer(w, h, 16, WHITE)
    for ch, shape, x0 in parts:
        colour = ACCENT if ch == "-" else NAVY
        lay.fill(transform(shape, scale, dx + x0 * scale, dy), colour)
    return lay


# ---------------------------------------------------------------------------------------------
# Preview sheets: the pictures enlarged pixel for pixel and at the sizes the program paints them,
# on white and on the light panel colour.


def _weights(n, nn):
    """For each of nn target cells, the (source index, share) pairs of an area-averaging resize."""
    out = []
    ratio = n / nn
    for j in range(nn):
        a, b = j * ratio, (j + 1) * ratio
        ws = []
        i = int(a)
        while i < b and i < n:
            o = min(b, i + 1) - max(a, i)
            if o > 1e-9:
                ws.append((i, o / ratio))
            i += 1
        out.append(ws)
    return out


def resize(rgba, w, h, nw, nh):
    """Area-averaged resize of straight RGBA (alpha-weighted, as the HALFTONE stretch and
    DrawIconEx of a 32-bit icon come close to)."""
    pre = []
    for i in range(w * h):
        a = rgba[i * 4 + 3] / 255
        pre.append((rgba[i * 4] * a, rgba[i * 4 + 1] * a, rgba[i * 4 + 2] * a, a))
    wx, wy = _weights(w, nw), _weights(h, nh)
    rows = []
    for y in range(h):
        src = pre[y * w:(y + 1) * w]
        rows.append([tuple(sum(src[i][c] * k for i, k in ws) for c in range(4)) for ws in wx])
    out = bytearray(nw * nh * 4)
    for y, ws in enumerate(wy):
        for x in range(nw):
            v = [sum(rows[i][x][c] * k for i, k in ws) for c in range(4)]
            o = (y * nw + x) * 4
            if v[3] > 0:
                out[o:o + 3] = bytes(min(255, int(v[c] / v[3] + 0.5)) for c in range(3))
                out[o + 3] = min(255, int(v[3] * 255 + 0.5))
    return bytes(out)


class Sheet:
    def __init__(self, w, h, colour=(250, 250, 250)):
        self.w, self.h = w, h
        self.px = bytearray(bytes(colour) * (w * h))

    def box(self, x0, y0, w, h, colour):
        for y in range(max(0, y0), min(self.h, y0 + h)):
            self.px[(y * self.w + x0) * 3:(y * self.w + x0 + w) * 3] = bytes(colour) * w

    def put(self, rgba, w, h, x0, y0, zoom=1):
        """Lays straight RGBA over the sheet, each pixel as a zoom x zoom square."""
        for y in range(h * zoom):
            for x in range(w * zoom):
                o = ((y // zoom) * w + x // zoom) * 4
                a = rgba[o + 3] / 255
                if a <= 0:
                    continue
                d = ((y0 + y) * self.w + x0 + x) * 3
                for c in range(3):
                    self.px[d + c] = int(rgba[o + c] * a + self.px[d + c] * (1 - a) + 0.5)

    def rgba(self):
        out = bytearray()
        for i in range(self.w * self.h):
            out += self.px[i * 3:i * 3 + 3] + b"\xff"
        return bytes(out)

    def save(self, path):
        with open(path, "wb") as fh:
            fh.write(png(self.w, self.h, self.rgba()))


def icon_sheet(sets, path):
    """One band per icon: every size enlarged on white and on light, then every size at 1:1."""
    pad = 10
    band_h = 0
    layout = []
    for images in sets:
        cols = []
        for s in sorted(images):
            z = 1 if s >= 128 else max(1, 96 // s)
            cols.append((s, z, max(s * z, 2 * s + 6) if s <= 64 else s))
        width = pad + sum(cw + pad for _, _, cw in cols)
        height = max(s * z for s, z, _ in cols)
        layout.append((images, cols, width, height))
    w = max(l[2] for l in layout)
    h = pad + sum(2 * hh + 48 + 5 * pad for _, _, _, hh in layout)
    sheet = Sheet(w, h)
    y = pad
    for images, cols, width, height in layout:
        for row, bg in enumerate((WHITE, LIGHT)):
            sheet.box(0, y, w, height + pad, bg)
            x = pad
            for s, z, cw in cols:
                sheet.put(images[s], s, s, x, y + pad // 2, z)
                x += cw + pad
            y += height + pad
        sheet.box(0, y, w, 48 + pad, WHITE)
        x = pad
        for s, z, cw in cols:
            if s <= 64:
                sheet.put(images[s], s, s, x, y + 4, 1)
                sheet.box(x + s + 2, y + 2, s + 4, s + 4, LIGHT)
                sheet.put(images[s], s, s, x + s + 4, y + 4, 1)
            x += cw + pad
        y += 48 + 3 * pad
    sheet.save(path)


def header_sheet(app64, banner_rgba, path):
    """The window header as the program paints it at 100, 150 and 200 per cent: the 64-pixel icon
    at 48, 72 and 96 pixels and the banner at 161x37, 242x56 and 322x74, on white."""
    bw, bh = BANNER_SIZE
    scales = ((48, 161, 37), (72, 242, 56), (96, 322, 74))
    sheet = Sheet(20 + 96 + 12 + 322 + 20, 20 + sum(i + 20 for i, _, _ in scales), WHITE)
    y = 20
    for icon, w, h in scales:
        sheet.put(resize(app64, 64, 64, icon, icon), icon, icon, 20, y)
        sheet.put(resize(banner_rgba, bw, bh, w, h), w, h, 20 + icon + 12, y + (icon - h) // 2)
        y += icon + 20
    sheet.save(path)


def banner_sheet(banner_rgba, path):
    """The banner at 1:1, halved as at 100 per cent, and the halved one enlarged four times."""
    bw, bh = BANNER_SIZE
    half = resize(banner_rgba, bw, bh, bw // 2, bh // 2)
    sheet = Sheet(bw * 2 + 30, bh + 20 + bh // 2 * 4 + 20 + bh // 2 + 30, (200, 200, 200))
    sheet.put(banner_rgba, bw, bh, 10, 10)
    sheet.put(half, bw // 2, bh // 2, bw + 20, 10)
    sheet.put(half, bw // 2, bh // 2, 10, bh + 20, 4)
    sheet.save(path)


# ---------------------------------------------------------------------------------------------


def main():
    os.makedirs(RES_DIR, exist_ok=True)
    os.makedirs(PREVIEW_DIR, exist_ok=True)
    previews = "--no-preview" not in sys.argv[1:]

    app = {s: app_icon(s).rgba() for s in APP_SIZES}
    trees = {}
    for name, draw in (("database", tree_database), ("table", tree_table), ("code", tree_code)):
        trees[name] = {s: draw(s).rgba() for s in TREE_SIZES}
    bw, bh = BANNER_SIZE
    ban = banner(bw, bh).rgba()

    outputs = {"app.ico": ico(app), "banner.bmp": bmp24(bw, bh, ban)}
    for name, images in trees.items():
        outputs[name + ".ico"] = ico(images)
    for name, data in sorted(outputs.items()):
        with open(os.path.join(RES_DIR, name), "wb") as fh:
            fh.write(data)
        print("%-14s %7d bytes" % (name, len(data)))

    if previews:
        icon_sheet([app], os.path.join(PREVIEW_DIR, "app-icon.png"))
        icon_sheet([trees["database"], trees["table"], trees["code"]], os.path.join(PREVIEW_DIR, "tree-icons.png"))
        banner_sheet(ban, os.path.join(PREVIEW_DIR, "banner.png"))
        header_sheet(app[64], ban, os.path.join(PREVIEW_DIR, "header.png"))
        print("previews in", os.path.relpath(PREVIEW_DIR, ROOT))


if __name__ == "__main__":
    main()
