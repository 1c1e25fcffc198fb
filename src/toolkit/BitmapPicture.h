// The toolkit's device bitmap picture, class name "TBitmap".
//
// It holds a decoded image ready to paint with Qt, together with what the
// bitmap file said about its pixel format (bits per pixel, channel masks,
// palette). Its file form is a complete bitmap file ("BM" header); its
// stored form (a picture's `Picture.Data` after the class name) is
//
//   +-----------------------+----------------------------------+
//   | byte count n (u32 LE) | a complete bitmap file of n bytes |
//   +-----------------------+----------------------------------+
//
// A bitmap read from a file writes back the very bytes it was read from.
#pragma once

#include "toolkit/Graphic.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

enum class TBitmapHandleType { bmDIB, bmDDB };

// What the platform tells about a bitmap object: a section (bmDIB, with the
// channel masks of 16- and 32-bit pixels) or a device-dependent bitmap.
struct TBitmapObjectInfo {
    TBitmapHandleType handleType = TBitmapHandleType::bmDIB;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
};

class TBitmap : public TGraphic {
public:
    // Largest bitmap file accepted, and largest picture (width x height).
    static constexpr std::uint32_t kMaxFileBytes = 256u << 20;
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 24;

    TBitmap();
    ~TBitmap() override;

    const char* ClassName() const override { return "TBitmap"; }

    bool Empty() const override { return image_.isNull(); }
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    // Resizing keeps the pixels that still fit, anchored at the top left.
    void SetWidth(int width) override;
    void SetHeight(int height) override;

    const TLogicalPalette* PaletteHandle() override { return palette_.get(); }
    void SetPalette(const TLogicalPalette* palette) override;

    void DrawTo(QPainter& canvas, const TRect& rect) override;

    void ReadStored(TStream& stream) override;
    void WriteStored(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;   // a bitmap file, to the end of the stream
    void SaveToStream(TStream& stream) override;

    void AssignFrom(const TPersistent* source) override;

    void SaveToClipboardFormat(std::uint16_t& format, std::vector<std::uint8_t>& data,
                               const TLogicalPalette*& palette) override;
    void LoadFromClipboardFormat(std::uint16_t format, const void* data, std::size_t size,
                                 const TLogicalPalette* palette) override;

    // Reads a complete bitmap file from memory (EInvalidGraphic
    // "Bitmap image is not valid" for anything that is not one).
    void LoadFromBitmapFile(const std::uint8_t* data, std::size_t size);
    // The bitmap file this picture writes.
    std::vector<std::uint8_t> BitmapFileBytes() const;

    // The decoded pixels (indexed, mono or 32-bit).
    const QImage& Image() const { return image_; }
    // Replaces the picture; indexed images bring their colour table as the palette.
    void SetImage(const QImage& image);
    TBitmapHandleType HandleType() const { return info_.handleType; }
    // bmDDB makes the picture a device-dependent bitmap in the screen's
    // format (32 bits per pixel here, no masks); bmDIB a section again.
    void SetHandleType(TBitmapHandleType type);
    TBitmapObjectInfo ObjectInfo() const { return info_; }

private:
    void AfterImageChange();

    QImage image_;
    TBitmapObjectInfo info_;
    std::unique_ptr<TLogicalPalette> palette_;
    std::vector<std::uint8_t> file_;  // the file read, while the picture is unchanged
};
