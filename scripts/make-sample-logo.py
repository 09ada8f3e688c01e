#!/usr/bin/env python3
"""Draws the sample page's logo animation: a ring with a bright arc that turns
once in 12 frames, 160 x 160 RGBA PNG files with soft (antialiased) edges."""
import math, struct, sys, zlib
from pathlib import Path

SIZE, FRAMES = 160, 12

def png(path, rows):
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    head = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

def coverage(distance, edge):
    return max(0.0, min(1.0, edge - distance + 0.5))

def frame(k):
    c = (SIZE - 1) / 2
    turn = 2 * math.pi * k / FRAMES
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            dx, dy = x - c, y - c
            r = math.hypot(dx, dy)
            ring = min(coverage(r, 72), coverage(-r, -48))   # between radius 48 and 72
            disc = coverage(r, 34)                             # the centre dot
            a = (math.atan2(dy, dx) - turn) % (2 * math.pi)
            arc = max(0.0, 1 - a / (2 * math.pi / 3))          # a bright third fading behind
            red = int(30 + 225 * arc); green = int(80 + 120 * arc); blue = int(200 - 60 * arc)
            alpha = max(ring, disc)
            if disc > ring:
                red, green, blue = 240, 240, 240
            row += [red, green, blue, int(255 * alpha)]
        rows.append(row)
    return rows

out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
out.mkdir(parents=True, exist_ok=True)
for k in range(FRAMES):
    png(out / f"logo-{k:02d}.png", frame(k))
