"""The Lumvane application icon: a sheet on a light table with the blue onion-skin drawing of
the previous frame showing through. Drawn with a few shapes, 4 x 4 supersampled.

Run from this folder to regenerate ../lumvane-*.png (the hicolor sizes 16 to 256).
"""
import math
import os

from png import write_png


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def near_segment(x, y, ax, ay, bx, by, w):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= w * w / 4


def near_arc(x, y, cx, cy, r, a0, a1, w):
    d = math.hypot(x - cx, y - cy)
    if abs(d - r) > w / 2:
        return False
    a = math.degrees(math.atan2(cy - y, x - cx)) % 360
    return a0 <= a <= a1


def shade(x, y):
    """Colour of the point (x, y) in a 1 x 1 square, y downward, or None for transparent."""
    layers = []
    if inside_round_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.16):
        layers.append((52, 62, 84))  # the light table's frame
    if inside_round_rect(x, y, 0.09, 0.09, 0.91, 0.91, 0.10):
        layers.append((236, 242, 255))  # the lit glass
    if inside_round_rect(x, y, 0.17, 0.15, 0.83, 0.85, 0.03):
        layers.append((255, 255, 255))  # the sheet
    # The previous frame's ball, in onion-skin blue.
    if near_arc(x, y, 0.40, 0.40, 0.13, 0, 360, 0.05):
        layers.append((70, 110, 255))
    # The current frame's ball, a little further along and squashed onto the ground.
    if ((x - 0.58) / 0.15) ** 2 + ((y - 0.64) / 0.11) ** 2 <= 1.0 and \
            ((x - 0.58) / 0.15) ** 2 + ((y - 0.64) / 0.11) ** 2 >= 0.55:
        layers.append((20, 20, 24))
    if near_segment(x, y, 0.24, 0.77, 0.76, 0.77, 0.03):
        layers.append((120, 120, 130))  # the ground line
    # The registration pegs at the top of the sheet.
    for px in (0.32, 0.50, 0.68):
        if inside_round_rect(x, y, px - 0.04, 0.12, px + 0.04, 0.19, 0.02):
            layers.append((150, 156, 170))
    return layers[-1] if layers else None


def render(size, samples=4):
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sj in range(samples):
                for si in range(samples):
                    c = shade((i + (si + 0.5) / samples) / size, (j + (sj + 0.5) / samples) / size)
                    if c is not None:
                        hits += 1
                        for k in range(3):
                            acc[k] += c[k]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                a = round(255 * hits / (samples * samples))
                row.append(tuple(round(v / hits) for v in acc) + (a,))
        rows.append(row)
    return rows


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    for size in (16, 24, 32, 48, 64, 128, 256):
        write_png(os.path.join(out, "lumvane-%d.png" % size), size, size, render(size))


if __name__ == "__main__":
    main()
