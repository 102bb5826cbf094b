#!/usr/bin/env python3
"""Writes Tavrel's icon as a scalable SVG and as 48, 128 and 256 pixel PNGs.

The icon is a blue platter with a light hub. Both forms come from the same
circles below, so they agree; the PNGs are drawn here (4x4 samples per pixel
for smooth edges) and need nothing but Python.

    packaging/icons/make-icons.py [OUTPUT_DIR]   (default: the script's folder)
"""
import os
import struct
import sys
import zlib

VIEW = 128.0
# (centre x, centre y, radius, RGB) in a 128-unit square, back to front.
CIRCLES = [
    (64.0, 64.0, 56.0, (40, 110, 190)),
    (64.0, 64.0, 19.0, (230, 230, 240)),
]


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">']
    for cx, cy, r, (red, green, blue) in CIRCLES:
        parts.append(f'  <circle cx="{cx:g}" cy="{cy:g}" r="{r:g}" fill="#{red:02x}{green:02x}{blue:02x}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def png(size):
    samples = 4
    scale = VIEW / size
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter: none
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    px = (x + (sx + 0.5) / samples) * scale
                    py = (y + (sy + 0.5) / samples) * scale
                    colour = None
                    for cx, cy, r, rgb in CIRCLES:
                        if (px - cx) ** 2 + (py - cy) ** 2 <= r * r:
                            colour = rgb
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = samples * samples
            covered = acc[3]
            if covered == 0:
                row += bytes(4)
            else:
                row += bytes([round(acc[0] / covered), round(acc[1] / covered), round(acc[2] / covered),
                              round(255 * covered / n)])
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "tavrel.svg"), "w") as f:
        f.write(svg())
    for size in (48, 128, 256):
        with open(os.path.join(out, f"tavrel-{size}.png"), "wb") as f:
            f.write(png(size))


if __name__ == "__main__":
    main()
