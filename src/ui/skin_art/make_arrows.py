#!/usr/bin/env python3
"""Writes the small arrows the shipped skins use for spin boxes and combo
boxes (Qt resources under :/skins/), in a dark and a light tone. Run it here
after changing a shape or colour: python3 make_arrows.py"""
import struct
import zlib

W, H, SS = 16, 10, 4  # size in pixels, supersampling per axis
COLOURS = {"dark": (0x1F, 0x2A, 0x36), "light": (0xE6, 0xED, 0xF3)}


def inside_down(x, y):
    # Triangle with its base along the top edge (2..14) and its tip at (8, 8).
    if y < 1 or y > 8:
        return False
    half = 6.0 * (8 - y) / 7.0
    return abs(x - 8) <= half


def png(rows, width, height):
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


for tone, (r, g, b) in COLOURS.items():
    for direction in ("down", "up", "right"):
        # "right" is "down" turned: its picture is H wide and W high.
        width, height = (H, W) if direction == "right" else (W, H)
        rows = []
        for py in range(height):
            row = []
            for px in range(width):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        x = px + (sx + 0.5) / SS
                        y = py + (sy + 0.5) / SS
                        if direction == "up":
                            y = H - y
                        elif direction == "right":
                            x, y = y, x
                        hits += inside_down(x, y)
                row += [r, g, b, round(255 * hits / (SS * SS))]
            rows.append(row)
        with open(f"arrow-{direction}-{tone}.png", "wb") as f:
            f.write(png(rows, width, height))
