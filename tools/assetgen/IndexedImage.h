#pragma once

// A palette picture as the program stores it: 4 or 8 bits per pixel, a full
// colour table, pixels addressed top row first. The writers turn it into the
// three byte layouts the program and its dialogs read: the bare stored form
// (info header, colour table, rows bottom first), the bitmap file form (the
// same behind a 14-byte file header) and a one-image icon file.

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

namespace assetgen {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(Rgb, Rgb) = default;
};

constexpr Rgb RgbOf(uint32_t rrggbb)
{
    return Rgb { uint8_t(rrggbb >> 16), uint8_t(rrggbb >> 8), uint8_t(rrggbb) };
}

class IndexedImage {
public:
    IndexedImage(int width, int height, int bitCount);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }
    int ColorCount() const { return 1 << bitCount_; }
    int RowBytes() const { return ((width_ * bitCount_ + 31) / 32) * 4; }

    // The table always has ColorCount() entries; unused ones stay black.
    std::vector<Rgb>& Table() { return table_; }
    const std::vector<Rgb>& Table() const { return table_; }

    uint8_t At(int x, int y) const { return pixels_[size_t(y) * width_ + x]; }
    void Set(int x, int y, uint8_t index) { pixels_[size_t(y) * width_ + x] = index; }
    void Fill(uint8_t index);

    // Distinct table entries that some pixel uses, which is what the screen
    // palette builder takes from a picture.
    int UsedEntryCount() const;
    std::vector<bool> UsedEntries() const;

    QImage ToQImage() const;

    // 40-byte info header (compression 0, colours used 0, positive height),
    // the whole colour table as blue-green-red-reserved, rows bottom first,
    // each padded to 4 bytes.
    QByteArray StoredData() const;
    // "BM" file header followed by StoredData().
    QByteArray BitmapFile() const;
    // A one-image .ico: directory, the picture with doubled height, and the
    // 1-bit mask in which set bits mark transparent pixels.
    QByteArray IconFile(const std::vector<bool>& transparent) const;

private:
    int width_, height_, bitCount_;
    std::vector<Rgb> table_;
    std::vector<uint8_t> pixels_;

    QByteArray InfoHeader(int storedHeight) const;
    QByteArray TableBytes() const;
    QByteArray PixelRows() const;
};

} // namespace assetgen
