#!/usr/bin/env python3
"""Writes brenwick.ico for the Windows program from the committed PNG sizes (committed too, so that building
needs no image tools). Each size is stored as PNG, which Windows reads in icons since Vista. Run after
render-pngs.sh."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
sizes = [16, 32, 48, 64, 128, 256]
images = [open(os.path.join(here, "brenwick-%d.png" % size), "rb").read() for size in sizes]
offset = 6 + 16 * len(sizes)
entries = b""
for size, data in zip(sizes, images):
    side = 0 if size == 256 else size  # 0 stands for 256
    entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open(os.path.join(here, "brenwick.ico"), "wb") as out:
    out.write(struct.pack("<HHH", 0, 1, len(sizes)) + entries + b"".join(images))
