#!/usr/bin/env python3
"""Writes the binary and compressed X test files from cube.x and a triangle.

Binary form: 16-bit token codes with their data (1 name, 6 integer list,
7 float list, 10/11 braces). Compressed form: after the header a 32-bit
plain size (header included), then blocks of 16-bit plain size, 16-bit
packed size counting "CK", "CK", raw deflate data with the previous block
as its dictionary.
Run from this folder: python3 make_x_files.py
"""
import struct
import zlib

BLOCK = 32768


def tok(t):
    return struct.pack('<H', t)


def name(s):
    return tok(1) + struct.pack('<I', len(s)) + s.encode()


def ilist(v):
    return tok(6) + struct.pack('<I', len(v)) + b''.join(struct.pack('<I', x) for x in v)


def flist(v):
    return tok(7) + struct.pack('<I', len(v)) + b''.join(struct.pack('<f', x) for x in v)


def compress(header, payload, block=BLOCK):
    out = header + struct.pack('<I', 16 + len(payload))
    previous = None
    for i in range(0, len(payload), block):
        chunk = payload[i:i + block]
        if previous:
            c = zlib.compressobj(9, zlib.DEFLATED, -15, zdict=previous)
        else:
            c = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = c.compress(chunk) + c.flush()
        out += struct.pack('<HH', len(chunk), len(packed) + 2) + b'CK' + packed
        previous = chunk
    return out


triangle = (name('Mesh') + name('Triangle') + tok(10) + ilist([3]) +
            flist([0, 1, 0, 1, -1, 0, -1, -1, 0]) + ilist([1, 3, 0, 1, 2]) + tok(11))
open('triangle_bin.x', 'wb').write(b'xof 0302bin 0032' + triangle)
open('triangle_bzip.x', 'wb').write(compress(b'xof 0302bzip0032', triangle))

cube_body = open('cube.x', 'rb').read()[16:]
# Padding in a comment makes the text span three blocks.
padded = cube_body.replace(b'Mesh Cube {', b'// ' + b'pad ' * 18000 + b'\nMesh Cube {')
open('cube_tzip.x', 'wb').write(compress(b'xof 0302tzip0032', padded))

# Hostile: a binary mesh declaring 2^31 vertices in a few bytes.
huge = name('Mesh') + tok(10) + ilist([0x80000000]) + flist([0, 1, 0]) + tok(11)
open('absurd_count_bin.x', 'wb').write(b'xof 0302bin 0032' + huge)
# Hostile: thousands of one-byte blocks, each of which a reader that sizes
# its buffer by block count would count as 32 KiB.
tiny = b'xof 0302tzip0032' + struct.pack('<I', 16 + 4000)
for _ in range(4000):
    tiny += struct.pack('<HH', 1, 5) + b'CK' + zlib.compress(b' ')[2:5]
open('tiny_blocks_tzip.x', 'wb').write(tiny)
# Hostile: the plain size says far more than the blocks hold.
open('short_tzip.x', 'wb').write(compress(b'xof 0302tzip0032', cube_body)[:-40])
