#!/usr/bin/env python3
"""Writes the sample splash picture: an 800x200 RGB PNG, the same bytes on every run.

usage: make-splash.py OUT.png [--width W --height H]

The picture is a blue-to-teal band with a row of orange discs and a white
frame, so that a screenshot shows at once whether it was drawn, where, and
whether it was scaled or cut.
"""
import argparse
import struct
import zlib


def chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def pixel(x: int, y: int, w: int, h: int) -> tuple:
    if x < 4 or y < 4 or x >= w - 4 or y >= h - 4:
        return (255, 255, 255)
    cell = h
    cx = (x // cell) * cell + cell // 2
    cy = h // 2
    r = cell * 3 // 10
    if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
        return (240, 140, 30)
    t = x * 255 // max(1, w - 1)
    return (20, 60 + t * 100 // 255, 160 - t * 40 // 255)


def make_png(w: int, h: int) -> bytes:
    rows = bytearray()
    for y in range(h):
        rows.append(0)  # filter type None
        for x in range(w):
            rows.extend(pixel(x, y, w, h))
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
            + chunk(b"IEND", b""))


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("out")
    ap.add_argument("--width", type=int, default=800)
    ap.add_argument("--height", type=int, default=200)
    a = ap.parse_args()
    data = make_png(a.width, a.height)
    with open(a.out, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
