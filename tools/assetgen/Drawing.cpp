#include "Drawing.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace assetgen {

Coverage::Coverage(const QPainterPath& path, QSize size, bool antialiased)
    : mask_(size, QImage::Format_Alpha8)
{
    mask_.fill(0);
    QPainter p(&mask_);
    p.setRenderHint(QPainter::Antialiasing, antialiased);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(path);
}

Rgb Mix(Rgb a, Rgb b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    auto ch = [t](int x, int y) { return uint8_t(std::lround(x + (y - x) * t)); };
    return Rgb { ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b) };
}

void PlotPixelArt(IndexedImage& image, int x0, int y0, const std::vector<const char*>& rows, const char* keyChars, const std::vector<uint8_t>& keyIndices)
{
    for (int row = 0; row < int(rows.size()); ++row)
        for (int col = 0; rows[row][col]; ++col) {
            const char* k = std::strchr(keyChars, rows[row][col]);
            if (rows[row][col] == '.' || !k)
                continue;
            image.Set(x0 + col, y0 + row, keyIndices[size_t(k - keyChars)]);
        }
}

} // namespace assetgen
