#!/bin/sh
# Rebuilds the bitmap files the tests read: small pictures with odd widths
# (so rows carry padding), written by ImageMagick as BMP3 at 1, 4, 8 and 24
# bits. The pixel formulas are repeated in ImageMagickFilesTest.cpp.
set -e
cd "$(dirname "$0")"
python3 - <<'PY'
def ppm(name, w, h, f):
    with open(name, 'wb') as o:
        o.write(b'P6\n%d %d\n255\n' % (w, h))
        for y in range(h):
            for x in range(w):
                o.write(bytes(f(x, y)))
ppm('two.ppm', 13, 5, lambda x, y: (255, 255, 255) if (x + y) % 3 == 0 else (0, 0, 0))
pal16 = [(i * 17, 255 - i * 17, (i * 53) % 256) for i in range(16)]
ppm('sixteen.ppm', 9, 6, lambda x, y: pal16[(x * 3 + y) % 16])
ppm('many.ppm', 11, 7, lambda x, y: ((x * 23) % 256, (y * 37) % 256, (x * y * 5 + 40) % 256))
ppm('true.ppm', 10, 6, lambda x, y: ((x * 25) % 256, (y * 40 + 3) % 256, (x * 7 + y * 11) % 256))
PY
convert two.ppm -type bilevel BMP3:mono.bmp
convert sixteen.ppm -type Palette -colors 16 -compress none BMP3:pal4.bmp
convert many.ppm -type Palette -compress none BMP3:pal8.bmp
convert true.ppm -type TrueColor BMP3:rgb24.bmp
rm -f two.ppm sixteen.ppm many.ppm true.ppm
# JPEG samples: a CMYK picture of plain cyan, a progressive one, a grey one.
convert -size 16x16 xc:cyan -colorspace CMYK cmyk.jpg
convert -size 20x20 plasma:fractal -seed 1 -interlace Plane progressive.jpg
convert -size 17x9 gradient:white-black -colorspace Gray gray.jpg
