#include "IndexedImage.h"

#include <QtEndian>

#include <cassert>

namespace assetgen {

namespace {

void PutU16(QByteArray& out, uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void PutU32(QByteArray& out, uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

} // namespace

IndexedImage::IndexedImage(int width, int height, int bitCount)
    : width_(width)
    , height_(height)
    , bitCount_(bitCount)
    , table_(size_t(1) << bitCount)
    , pixels_(size_t(width) * height, 0)
{
    assert(bitCount == 4 || bitCount == 8);
    assert(width > 0 && height > 0);
}

void IndexedImage::Fill(uint8_t index)
{
    std::fill(pixels_.begin(), pixels_.end(), index);
}

std::vector<bool> IndexedImage::UsedEntries() const
{
    std::vector<bool> used(table_.size(), false);
    for (uint8_t p : pixels_)
        used[p] = true;
    return used;
}

int IndexedImage::UsedEntryCount() const
{
    int n = 0;
    for (bool u : UsedEntries())
        n += u;
    return n;
}

QImage IndexedImage::ToQImage() const
{
    QImage out(width_, height_, QImage::Format_RGB32);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            Rgb c = table_[At(x, y)];
            out.setPixel(x, y, qRgb(c.r, c.g, c.b));
        }
    return out;
}

QByteArray IndexedImage::InfoHeader(int storedHeight) const
{
    QByteArray h;
    PutU32(h, 40);
    PutU32(h, uint32_t(width_));
    PutU32(h, uint32_t(storedHeight));
    PutU16(h, 1);
    PutU16(h, uint16_t(bitCount_));
    for (int i = 0; i < 6; ++i) // compression, image size, resolutions, colours used, important
        PutU32(h, 0);
    return h;
}

QByteArray IndexedImage::TableBytes() const
{
    QByteArray t;
    for (Rgb c : table_) {
        t.append(char(c.b));
        t.append(char(c.g));
        t.append(char(c.r));
        t.append('\0');
    }
    return t;
}

QByteArray IndexedImage::PixelRows() const
{
    QByteArray rows(RowBytes() * height_, '\0');
    for (int y = 0; y < height_; ++y) {
        char* row = rows.data() + size_t(height_ - 1 - y) * RowBytes();
        for (int x = 0; x < width_; ++x) {
            uint8_t p = At(x, y);
            if (bitCount_ == 8)
                row[x] = char(p);
            else
                row[x / 2] = char(uint8_t(row[x / 2]) | (x % 2 == 0 ? p << 4 : p));
        }
    }
    return rows;
}

QByteArray IndexedImage::StoredData() const
{
    return InfoHeader(height_) + TableBytes() + PixelRows();
}

QByteArray IndexedImage::BitmapFile() const
{
    const QByteArray stored = StoredData();
    QByteArray f("BM");
    PutU32(f, uint32_t(14 + stored.size()));
    PutU16(f, 0);
    PutU16(f, 0);
    PutU32(f, uint32_t(14 + 40 + 4 * table_.size()));
    return f + stored;
}

QByteArray IndexedImage::IconFile(const std::vector<bool>& transparent) const
{
    assert(transparent.size() == pixels_.size());
    assert(width_ <= 255 && height_ <= 255);
    const int maskRowBytes = ((width_ + 31) / 32) * 4;
    QByteArray mask(maskRowBytes * height_, '\0');
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (transparent[size_t(y) * width_ + x])
                mask[(height_ - 1 - y) * maskRowBytes + x / 8] |= char(0x80 >> (x % 8));

    // The icon's own header counts the picture and its mask as one bitmap of
    // twice the height.
    const QByteArray image = InfoHeader(2 * height_) + TableBytes() + PixelRows() + mask;

    QByteArray f;
    PutU16(f, 0); // reserved
    PutU16(f, 1); // type: icon
    PutU16(f, 1); // one image
    f.append(char(width_));
    f.append(char(height_));
    f.append(char(bitCount_ < 8 ? ColorCount() : 0));
    f.append('\0');
    PutU16(f, 1); // planes
    PutU16(f, uint16_t(bitCount_));
    PutU32(f, uint32_t(image.size()));
    PutU32(f, 6 + 16);
    return f + image;
}

} // namespace assetgen
