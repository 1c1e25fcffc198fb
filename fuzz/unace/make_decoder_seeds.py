#!/usr/bin/env python3
"""Writes FuzzDecoder seeds from single-volume corpus archives: for each
compressed entry, one byte (method, solid bit), three bytes of the output
size (capped), then the entry's packed data. Usage: make_decoder_seeds.py
CORPUS_DIR OUT_DIR"""
import os
import struct
import sys

corpus, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
count = 0
for root, _, files in os.walk(corpus):
    for name in sorted(files):
        if not name.lower().endswith(".ace"):
            continue
        data = open(os.path.join(root, name), "rb").read()
        pos = 0
        while pos + 4 <= len(data):
            head_size = struct.unpack_from("<H", data, pos + 2)[0]
            if head_size < 3 or pos + 4 + head_size > len(data):
                break
            kind, flags = data[pos + 4], struct.unpack_from("<H", data, pos + 5)[0]
            add = struct.unpack_from("<I", data, pos + 7)[0] if flags & 1 and head_size >= 7 else 0
            start = pos + 4 + head_size
            if kind == 1 and head_size >= 31 and add:
                orig = struct.unpack_from("<I", data, pos + 11)[0]
                method = data[pos + 27]
                if method in (1, 2) and not flags & 0x5000:
                    packed = data[start:start + add]
                    size = min(orig, 0xFFFFFF)
                    seed = bytes([method | 0x80]) + struct.pack("<I", size)[:3] + packed
                    with open(os.path.join(out, "%s-%d" % (name, pos)), "wb") as f:
                        f.write(seed)
                    count += 1
            pos = start + add
print("wrote", count, "seeds")
