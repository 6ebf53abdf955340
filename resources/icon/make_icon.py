#!/usr/bin/env python3
"""Renders resources/icon/Lemvora.svg into the application's icons, written beside it:

- Lemvora.icns, the macOS application icon (PNG images from 16 to 1024 pixels, with the @2x
  sizes Retina screens use);
- Lemvora.png, 256 pixels, the window icon on Linux.

Both are committed; run this again after changing the SVG. Needs rsvg-convert (Debian package
librsvg2-bin).
"""
import struct
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE / "Lemvora.svg"
# icns element types holding PNG data, with their pixel sizes.
ELEMENTS = [("icp4", 16), ("icp5", 32), ("ic11", 32), ("icp6", 64), ("ic12", 64),
            ("ic07", 128), ("ic13", 256), ("ic08", 256), ("ic14", 512), ("ic09", 512),
            ("ic10", 1024)]


def render(size):
    return subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), str(SOURCE)],
                          check=True, capture_output=True).stdout


def icns(images):
    body = b"".join(kind.encode() + struct.pack(">I", 8 + len(png)) + png
                    for kind, png in images)
    return b"icns" + struct.pack(">I", 8 + len(body)) + body


def main():
    pngs = {size: render(size) for size in sorted({size for _, size in ELEMENTS})}
    (HERE / "Lemvora.icns").write_bytes(icns([(kind, pngs[size]) for kind, size in ELEMENTS]))
    (HERE / "Lemvora.png").write_bytes(pngs[256])
    return 0


if __name__ == "__main__":
    sys.exit(main())
