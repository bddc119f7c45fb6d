#!/usr/bin/env python3
"""Draws the window's two icon files, and the program icon as PNG files for the hicolor theme.

vr.ico is the program icon (also the Windows icon group); the chronometer is the
form's fallback window icon. Each file holds 16, 24, 32, 48 and 256 pixel images at
32 bits per pixel: the small ones as bitmaps, the 256 one as PNG, as Windows expects.
Run it from anywhere; it rewrites the .ico files beside itself and
hicolor/<size>x<size>/apps/org.varneth.Varneth.png under it.
"""
import math
import os
import struct
import zlib

SIZES = (16, 24, 32, 48, 256)
SAMPLES = 4  # per axis, for smooth edges


def render(size, shade):
    """shade(x, y) -> (r, g, b, a) in 0..1 coordinates; returns rows of RGBA bytes, top row first."""
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    r, g, b, a = shade(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                colour = [c / acc[3] for c in acc[:3]]
            else:
                colour = [0.0, 0.0, 0.0]
            row += bytes(int(round(c * 255)) for c in colour) + bytes([int(round(alpha * 255))])
        rows.append(bytes(row))
    return rows


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def forward_sign(x, y):
    """A blue rounded square with a white arrow pointing right: a port sent onwards."""
    corner = 0.18
    qx = max(abs(x - 0.5) - (0.46 - corner), 0.0)
    qy = max(abs(y - 0.5) - (0.46 - corner), 0.0)
    if math.hypot(qx, qy) > corner:
        return (0, 0, 0, 0)
    shaft = segment_distance(x, y, 0.22, 0.5, 0.68, 0.5) < 0.08
    head = x >= 0.5 and x <= 0.82 and abs(y - 0.5) <= (0.82 - x) * 0.9
    if shaft or head:
        return (1.0, 1.0, 1.0, 1.0)
    return (0.13, 0.38, 0.78, 1.0)


def chronometer(x, y):
    """A dark ring with a crown on top and two hands on a pale face."""
    cx, cy, radius = 0.5, 0.56, 0.38
    d = math.hypot(x - cx, y - cy)
    ink = (0.15, 0.15, 0.18, 1.0)
    crown = abs(x - cx) < 0.07 and 0.04 <= y <= 0.2
    if crown or (radius - 0.08 <= d <= radius):
        return ink
    if d < radius - 0.08:
        hands = (segment_distance(x, y, cx, cy, cx, cy - 0.22) < 0.035
                 or segment_distance(x, y, cx, cy, cx + 0.16, cy + 0.06) < 0.035)
        return ink if hands else (0.96, 0.96, 0.92, 1.0)
    return (0, 0, 0, 0)


def bitmap_entry(size, rows):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom row first, as BGRA
        for i in range(0, len(row), 4):
            r, g, b, a = row[i:i + 4]
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for px in range(size):
            if row[px * 4 + 3] == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png_entry(size, rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\x00' + row for row in rows)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def icon_file(shade):
    images = []
    for size in SIZES:
        rows = render(size, shade)
        images.append((size, png_entry(size, rows) if size >= 256 else bitmap_entry(size, rows)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        edge = size % 256  # 0 stands for 256
        out += struct.pack('<BBBBHHII', edge, edge, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in SIZES:
        folder = os.path.join(here, 'hicolor', '%dx%d' % (size, size), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'org.varneth.Varneth.png'), 'wb') as f:
            f.write(png_entry(size, render(size, forward_sign)))
    for name, shade in (('vr.ico', forward_sign), ('chronometer_outline_5In_icon.ico', chronometer)):
        with open(os.path.join(here, name), 'wb') as f:
            f.write(icon_file(shade))


if __name__ == '__main__':
    main()
