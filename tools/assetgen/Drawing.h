#pragma once

// Small drawing helpers shared by the picture painters.

#include "IndexedImage.h"

#include <QImage>
#include <QPainterPath>

namespace assetgen {

// Antialiased coverage (0 .. 1 per pixel) of a path on a canvas of the
// given size.
class Coverage {
public:
    Coverage(const QPainterPath& path, QSize size, bool antialiased = true);
    double At(int x, int y) const { return mask_.constScanLine(y)[x] / 255.0; }
    bool Any(int x, int y) const { return mask_.constScanLine(y)[x] != 0; }
    int Width() const { return mask_.width(); }
    int Height() const { return mask_.height(); }

private:
    QImage mask_;
};

// Straight mix of two colours, t = 0 gives a, t = 1 gives b; t is clamped
// to that range.
Rgb Mix(Rgb a, Rgb b, double t);

// Pixel-art picture from rows of characters and a key: each character of
// the key names the table entry it stands for; '.' is left alone.
void PlotPixelArt(IndexedImage& image, int x0, int y0, const std::vector<const char*>& rows, const char* keyChars, const std::vector<uint8_t>& keyIndices);

} // namespace assetgen
