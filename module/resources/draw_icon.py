#!/usr/bin/env python3
"""Draws Kavro.ico, the module's program icon (icon group 103).

It holds 16, 24, 32, 48 and 256 pixel images at 32 bits per pixel, laid out by the
window's icon script, which this one reuses. Run it from anywhere; it rewrites
Kavro.ico beside itself.
"""
import math
import os
import sys

sys.dont_write_bytecode = True  # leaves nothing behind in the window's directory
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'frontend', 'icons'))
from draw_icons import icon_file, segment_distance  # noqa: E402


def port_sign(x, y):
    """A teal disc with a white socket and an arrow going into it: a port opened inwards."""
    d = math.hypot(x - 0.5, y - 0.5)
    if d > 0.47:
        return (0, 0, 0, 0)
    white = (1.0, 1.0, 1.0, 1.0)
    socket_edge = max(abs(x - 0.62), abs(y - 0.5))
    if 0.12 <= socket_edge <= 0.2 and not (x < 0.5 and abs(y - 0.5) < 0.08):
        return white
    if segment_distance(x, y, 0.16, 0.5, 0.56, 0.5) < 0.055:
        return white
    if 0.46 <= x <= 0.66 and abs(y - 0.5) <= (0.66 - x) * 0.9:
        return white
    return (0.05, 0.5, 0.5, 1.0)


def main():
    with open(os.path.join(HERE, 'Kavro.ico'), 'wb') as f:
        f.write(icon_file(port_sign))


if __name__ == '__main__':
    main()
