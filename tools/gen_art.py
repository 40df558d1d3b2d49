#!/usr/bin/env python3
"""Draws the programs' artwork: bitmaps and icons, the same bytes on every run.

    gen_art.py [--compact] OUTDIR

writes into OUTDIR:
  backdrop.bmp   1024 x 711, 8-bit palette, RLE8-compressed (the installer's backdrop; about
                 20 KB instead of 2.2 MB uncompressed, and LoadImage decodes it to a bitmap of
                 the full size)
  leftstrip.bmp  165 x 300, 24-bit (the wizards' left strip)
  header.bmp     540 x 54, 24-bit (the installer wizard's header)
  unheader.bmp   400 x 54, 24-bit (the uninstaller's header)
                 (with --compact these three are 8-bit RLE8 as well, about 6 KB each)
  setup.ico, uninstall.ico, kvrn.ico   16, 32 and 48 pixels, 32-bit with alpha

The look: deep to mid blue with white, a rounded-square mark carrying a "K", and the word
"Korvane" drawn with a small stroke font of our own. Only the standard library is used.
"""

import math
import os
import struct
import sys

NAVY = (10, 47, 102)
BLUE = (44, 112, 186)
SKY = (222, 234, 247)
WHITE = (255, 255, 255)

# --- a small stroke font: cap height 1, x-height 0.62, baseline y = 0, y upwards ----------


def _arc(cx, cy, rx, ry, a0, a1, steps=28):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / steps)))
            for i in range(steps + 1)]


GLYPHS = {  # letter: (advance, [polylines])
    "K": (0.66, [[(0, 0), (0, 1)], [(0.62, 1), (0.04, 0.4)], [(0.22, 0.58), (0.64, 0)]]),
    "o": (0.62, [_arc(0.3, 0.31, 0.28, 0.31, 0, 360, 40)]),
    "r": (0.4, [[(0, 0), (0, 0.62)], [(0, 0.34), (0.07, 0.5), (0.19, 0.6), (0.38, 0.61)]]),
    "v": (0.56, [[(0, 0.62), (0.27, 0), (0.54, 0.62)]]),
    "a": (0.58, [_arc(0.27, 0.31, 0.27, 0.31, 0, 360, 40), [(0.54, 0), (0.54, 0.62)]]),
    "n": (0.54, [[(0, 0), (0, 0.62)],
                 [(0, 0.4)] + _arc(0.25, 0.37, 0.25, 0.25, 160, 0, 14)[1:] + [(0.5, 0)]]),
    "e": (0.6, [[(0.02, 0.32), (0.57, 0.32)] + _arc(0.29, 0.31, 0.28, 0.31, 0, 320, 36)]),
}


def text_segments(word, x, baseline, size, tracking=0.1):
    """Line segments of `word` in pixel coordinates (y downwards), cap height `size`."""
    segs = []
    for ch in word:
        advance, lines = GLYPHS[ch]
        for line in lines:
            pts = [(x + px * size, baseline - py * size) for px, py in line]
            segs += list(zip(pts, pts[1:]))
        x += (advance + tracking) * size
    return segs, x


def text_width(word, size, tracking=0.1):
    return sum((GLYPHS[c][0] + tracking) * size for c in word) - tracking * size


def seg_coverage(segs, width, x, y):
    """Coverage of the pixel centred at (x, y) by strokes of `width` along `segs`."""
    best = 1e9
    for (ax, ay), (bx, by) in segs:
        dx, dy = bx - ax, by - ay
        ll = dx * dx + dy * dy
        t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
        ex, ey = x - ax - t * dx, y - ay - t * dy
        d = ex * ex + ey * ey
        if d < best:
            best = d
    return max(0.0, min(1.0, width / 2 - math.sqrt(best) + 0.5))


def seg_bounds(segs, pad):
    xs = [p[0] for s in segs for p in s]
    ys = [p[1] for s in segs for p in s]
    return (int(min(xs) - pad), int(min(ys) - pad), int(max(xs) + pad) + 1,
            int(max(ys) + pad) + 1)


def rrect_coverage(x, y, left, top, size, radius):
    """Coverage of pixel (x, y) by a rounded square (signed distance, 1-pixel soft edge)."""
    h = size / 2
    qx = abs(x - (left + h)) - (h - radius)
    qy = abs(y - (top + h)) - (h - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - radius
    return max(0.0, min(1.0, 0.5 - outside))


# --- an alpha plane: how much white lies over the background at each pixel ----------------


class Plane:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.a = [[0.0] * w for _ in range(h)]

    def paint(self, bounds, coverage, value):
        """Blends `value` in with coverage(x + .5, y + .5) over the pixels of `bounds`."""
        x0, y0, x1, y1 = bounds
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.a[y]
            for x in range(max(0, x0), min(self.w, x1)):
                c = coverage(x + 0.5, y + 0.5)
                if c > 0:
                    row[x] = row[x] * (1 - c) + value * c


def draw_mark(plane, left, top, size, mark_value, k_value):
    """The rounded-square mark with a "K" in it."""
    radius = size * 0.22
    plane.paint((left - 1, top - 1, left + size + 2, top + size + 2),
                lambda x, y: rrect_coverage(x, y, left, top, size, radius), mark_value)
    cap = size * 0.56
    segs, _ = text_segments("K", left + size * 0.31, top + size * 0.78, cap)
    width = max(1.6, cap * 0.17)
    plane.paint(seg_bounds(segs, width), lambda x, y: seg_coverage(segs, width, x, y), k_value)


def draw_word(plane, word, x, baseline, size, value):
    segs, _ = text_segments(word, x, baseline, size)
    width = max(1.4, size * 0.13)
    # Glyph by glyph keeps the distance search short.
    cursor = x
    for ch in word:
        gs, nxt = text_segments(ch, cursor, baseline, size)
        plane.paint(seg_bounds(gs, width), lambda px, py, gs=gs: seg_coverage(gs, width, px, py),
                    value)
        cursor = nxt
    return segs


def mix(c0, c1, t):
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(c0, c1))


# --- pictures: a ground (a gradient between two colours) and one overlay colour whose amount
# at each pixel is an alpha plane. Stored either as 24-bit or, with few colours, as 8-bit RLE8:
# 40 ground shades x 6 overlay amounts make the palette, so long runs of one index remain.

SHADES = 40
LEVELS = [0.0, 0.05, 0.1, 0.4, 0.7, 1.0]


class Picture:
    def __init__(self, w, h, ground0, ground1, ground_t, overlay):
        self.w, self.h = w, h
        self.ground0, self.ground1, self.ground_t, self.overlay = ground0, ground1, ground_t, overlay
        self.plane = Plane(w, h)

    def bmp24(self):
        def pixel(x, y):
            ground = mix(self.ground0, self.ground1, self.ground_t(x, y))
            return mix(ground, self.overlay, self.plane.a[y][x])
        return bmp24(self.w, self.h, pixel)

    def bmp_rle8(self):
        palette = []
        for s in range(SHADES):
            ground = mix(self.ground0, self.ground1, s / (SHADES - 1))
            palette += [mix(ground, self.overlay, lv) for lv in LEVELS]
        palette += [self.overlay] * (256 - len(palette))
        nearest = [min(range(len(LEVELS)), key=lambda i: abs(LEVELS[i] - k / 100))
                   for k in range(101)]
        rows = []
        for y in range(self.h):
            row = bytearray(self.w)
            alpha = self.plane.a[y]
            for x in range(self.w):
                s = min(SHADES - 1, int(self.ground_t(x, y) * SHADES))
                a = max(0.0, min(1.0, alpha[x]))
                row[x] = s * len(LEVELS) + nearest[int(round(a * 100))]
            rows.append(row)
        return bmp_rle8(self.w, self.h, palette, rows)


def backdrop(w=1024, h=711):
    pic = Picture(w, h, NAVY, BLUE, lambda x, y: 0.8 * y / h + 0.2 * x / w, WHITE)
    plane = pic.plane
    # Two gentle ribbons across the lower part of the picture.
    for base, amp, wavelength, phase, thick in ((470, 38, 1400, 0.6, 120),
                                                (520, 30, 1100, 2.2, 90)):
        for x in range(w):
            top = base + amp * math.sin(2 * math.pi * x / wavelength + phase)
            for y in range(max(0, int(top)), min(h, int(top + thick))):
                plane.a[y][x] += 0.05
    # A thin line above the ribbons, and the mark and the name at the upper left.
    for x in range(60, w - 60):
        plane.a[130][x] = 0.4
    draw_mark(plane, 60, 44, 64, 1.0, 0.0)
    draw_word(plane, "Korvane", 144, 100, 48, 1.0)
    return pic


def bmp_rle8(w, h, palette, rows):
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        x = 0
        while x < w:
            v = row[x]
            n = 1
            while x + n < w and n < 255 and row[x + n] == v:
                n += 1
            data += bytes((n, v))
            x += n
        data += b"\0\0"  # end of line
    data += b"\0\1"  # end of bitmap
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, len(data), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return head + info + pal + bytes(data)


def bmp24(w, h, pixel):
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        data += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    return head + info + bytes(data)


def leftstrip(w=165, h=300):
    pic = Picture(w, h, NAVY, BLUE, lambda x, y: y / (h - 1), WHITE)
    plane = pic.plane
    for cx, cy, r in ((200, 330, 150), (200, 330, 110), (200, 330, 70)):  # soft rings
        plane.paint((0, 150, w, h), lambda x, y, cx=cx, cy=cy, r=r: max(
            0.0, min(1.0, 2.0 - abs(math.hypot(x - cx, y - cy) - r))), 0.1)
    draw_mark(plane, (w - 56) // 2, 36, 56, 1.0, 0.0)
    width = text_width("Korvane", 24)
    draw_word(plane, "Korvane", (w - width) / 2, 128, 24, 1.0)
    for x in range(24, w - 24):
        plane.a[142][x] = 0.4
    return pic


def header(w, h=54):
    # White fading to a pale sky towards the right; the blue mark at the right end and a blue
    # rule along the bottom.
    pic = Picture(w, h, WHITE, SKY, lambda x, y: max(0.0, (x - w * 0.45) / (w * 0.55)), BLUE)
    draw_mark(pic.plane, w - 50, 8, 38, 1.0, 0.0)
    for y in (h - 2, h - 1):
        pic.plane.a[y] = [1.0] * w
    return pic


# --- icons ----------------------------------------------------------------------------------


def icon_image(size, badge):
    """BGRA rows (top-down) of the mark at `size`, with an optional badge at lower right."""
    mark = Plane(size, size)
    inset = max(1, size // 16)
    draw_mark(mark, inset, inset, size - 2 * inset, 1.0, 0.0)
    shape = Plane(size, size)  # coverage of the rounded square alone, for alpha
    r = (size - 2 * inset) * 0.22
    shape.paint((0, 0, size, size), lambda x, y: rrect_coverage(
        x, y, inset, inset, size - 2 * inset, r), 1.0)
    disc, sign = Plane(size, size), Plane(size, size)
    if badge and size >= 32:
        bs = size * 0.42
        cx, cy = size - bs / 2 - 0.5, size - bs / 2 - 0.5
        disc.paint((0, 0, size, size), lambda x, y: max(0.0, min(1.0, bs / 2 - math.hypot(
            x - cx, y - cy) + 0.5)), 1.0)
        if badge == "down":
            segs = [((cx, cy - bs * 0.28), (cx, cy + bs * 0.22)),
                    ((cx - bs * 0.2, cy + bs * 0.02), (cx, cy + bs * 0.24)),
                    ((cx + bs * 0.2, cy + bs * 0.02), (cx, cy + bs * 0.24))]
        else:
            d = bs * 0.2
            segs = [((cx - d, cy - d), (cx + d, cy + d)), ((cx - d, cy + d), (cx + d, cy - d))]
        sw = max(1.5, bs * 0.14)
        sign.paint((0, 0, size, size), lambda x, y: seg_coverage(segs, sw, x, y), 1.0)
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            # White K (mark value 0) on a blue gradient square.
            blue = mix(BLUE, NAVY, y / size)
            color = mix(WHITE, blue, mark.a[y][x])
            alpha = shape.a[y][x]
            d = disc.a[y][x]
            if d > 0:  # the badge: a white disc with a navy sign
                color = mix(mix(color, WHITE, d), NAVY, sign.a[y][x] * d)
                alpha = max(alpha, d)
            row += bytes((color[2], color[1], color[0], int(round(alpha * 255))))
        rows.append(row)
    return rows


def ico(badge, sizes=(16, 32, 48)):
    images = []
    for size in sizes:
        rows = icon_image(size, badge)
        mask_stride = ((size + 31) // 32) * 4
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        images.append(info + b"".join(reversed(rows)) + b"\0" * (mask_stride * size))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def main(argv):
    args = argv[1:]
    compact = "--compact" in args
    args = [a for a in args if a != "--compact"]
    if len(args) != 1:
        print("usage: gen_art.py [--compact] OUTDIR", file=sys.stderr)
        return 2
    out = args[0]
    os.makedirs(out, exist_ok=True)

    def small(pic):
        return pic.bmp_rle8() if compact else pic.bmp24()
    files = {
        "backdrop.bmp": backdrop().bmp_rle8(),
        "leftstrip.bmp": small(leftstrip()),
        "header.bmp": small(header(540)),
        "unheader.bmp": small(header(400)),
        "setup.ico": ico("down"),
        "uninstall.ico": ico("cross"),
        "kvrn.ico": ico(None),
    }
    for name, data in files.items():
        path = os.path.join(out, name)
        try:
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        except FileNotFoundError:
            pass
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
