// The device-independent bitmap picture, class name "TDIB".
//
// Pixels are kept exactly as a Windows device-independent bitmap lays them
// out: rows padded to 4 bytes, stored bottom row first, at 1, 4, 8, 16, 24
// or 32 bits per pixel, with a 256-entry colour table. The storage is a
// separate, reference-counted TDIBSharedImage that several bitmaps share
// until one of them writes (copy on write); reading never copies.
//
// Stored data (ReadStored/WriteStored), little-endian:
//
//   offset size  field
//   0      4     header size: 40 (12, the core form, is accepted on reading)
//   4      4     width          (core: 2 bytes, unsigned)
//   8      4     height; negative = rows top row first (core: 2 bytes)
//   12     2     planes (1)
//   14     2     bit count: 1, 4, 8, 16, 24, 32
//   16     4     compression: 0, or 3 = three channel masks follow the header
//   20    16     image size, resolutions (0, ignored)
//   32     4     colours used (0 = 2^bit count for 8 bits or less)
//   36     4     colours important (0, ignored)
//   40    12     red, green, blue masks, only with compression 3
//   ...    4n    colour table: blue, green, red, reserved (core: 3 bytes)
//   ...          pixel rows, RowBytes each
//
// The bitmap file form is the 14-byte "BM" file header followed by the
// stored data. Every size in a header is checked before it is used: a
// picture larger than kMaxImageBytes is refused like a section the system
// cannot make, and a large picture whose rows the stream cannot hold is
// refused before any storage is made.
//
// The picture container learns the class "TDIB" (file extension "dib",
// "Device Independent Bitmap", clipboard format CF_DIB) when the program
// calls RegisterRenderPictureClasses() at start-up.
#pragma once

#include "toolkit/Graphic.h"
#include "toolkit/Palette.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QPainter;
class TDIB;

// The layer's messages about bitmaps, word for word.
inline constexpr char SDIBInvalid[] = "DIB is invalid";
inline constexpr char SDIBInvalidBitCount[] = "Bitcount in invalid (%d)";
inline constexpr char SDIBCannotBeMade[] = "%s cannot be made";
inline constexpr char SDIBScanLineRange[] = "Index of the scanning line exceeded the range. (%d)";

// The channel layout of 16- and 32-bit pixels.
struct TDIBChannelFormat {
    std::uint32_t RBitMask = 0, GBitMask = 0, BBitMask = 0;
    std::uint32_t RBitCount = 0, GBitCount = 0, BBitCount = 0;
    std::int32_t RShift = 0, GShift = 0, BShift = 0;

    // Masks packed from the top: red above green above blue (5-5-5 gives
    // 0x7C00, 0x3E0, 0x1F; 8-8-8 gives 0xFF0000, 0xFF00, 0xFF).
    static TDIBChannelFormat FromCounts(int r, int g, int b);
    // From the masks of a header. Masks that are each one run of bits and do
    // not overlap are kept where they are, so pixels keep their colours;
    // others are reduced to their run lengths and packed from the top.
    static TDIBChannelFormat FromMasks(std::uint32_t r, std::uint32_t g, std::uint32_t b);

    bool SameMasks(const TDIBChannelFormat& other) const {
        return RBitMask == other.RBitMask && GBitMask == other.GBitMask &&
               BBitMask == other.BBitMask;
    }
    // Colour of a pixel value as 0xRRGGBB, and the pixel value of a colour.
    std::uint32_t ToRGB(std::uint32_t pixel) const;
    std::uint32_t FromRGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const;
};

// Pixel storage shared by reference count. One reference per bitmap that
// uses it; the process-wide empty storage holds one more of its own.
class TDIBSharedImage {
public:
    TDIBSharedImage(const TDIBSharedImage&) = delete;
    TDIBSharedImage& operator=(const TDIBSharedImage&) = delete;

    // Storage with pixels (their content undefined), or EInvalidOperation /
    // EOutOfResources as Allocate describes. `table`: the whole colour table.
    static TDIBSharedImage* Create(int width, int height, int bitCount,
                                   const TDIBChannelFormat& wanted, const TColorTable& table);
    // Storage without pixels carrying a colour table and channel format.
    static TDIBSharedImage* CreateEmpty(const TColorTable& table, const TDIBChannelFormat& format);
    // The process-wide empty storage (grey ramp, 8-8-8).
    static TDIBSharedImage* EmptyImage();

    void Reference() { ++refCount_; }
    void Release();
    int RefCount() const { return refCount_; }

    int BitCount() const { return bitCount_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int RowBytes() const { return rowBytes_; }
    int ImageBytes() const { return imageBytes_; }
    int ColorCount() const { return colorCount_; }
    bool BitFields() const { return bitFields_; }
    const TDIBChannelFormat& ChannelFormat() const { return channelFormat_; }
    const TColorTable& ColorTable() const { return colorTable_; }
    const std::vector<std::uint8_t>& InfoBlock() const { return infoBlock_; }
    int InfoSize() const { return static_cast<int>(infoBlock_.size()); }
    std::uint8_t* Bits() const { return bits_.get(); }       // the bottom row
    std::uint8_t* TopRow() const { return topRow_; }
    std::ptrdiff_t RowStep() const { return -static_cast<std::ptrdiff_t>(rowBytes_); }
    bool PaletteStale() const { return paletteStale_; }

    // Stores a colour table, updates the info block's copy and marks the
    // palette stale.
    void SetColorTable(const TColorTable& table);
    // The logical palette of the colour table, made when first asked for
    // after a change; null when the storage has no colour table.
    const TLogicalPalette* PaletteHandle();

private:
    TDIBSharedImage() = default;
    ~TDIBSharedImage() = default;
    void BuildInfoBlock();
    std::size_t ColorTableOffset() const { return bitFields_ ? 52 : 40; }

    struct FreeDeleter {
        void operator()(std::uint8_t* p) const;
    };

    int refCount_ = 0;
    int bitCount_ = 0;
    int width_ = 0;
    int height_ = 0;
    int rowBytes_ = 0;
    int imageBytes_ = 0;
    int colorCount_ = 0;
    bool bitFields_ = false;
    TDIBChannelFormat channelFormat_ = TDIBChannelFormat::FromCounts(8, 8, 8);
    TColorTable colorTable_{};
    std::vector<std::uint8_t> infoBlock_;
    std::unique_ptr<std::uint8_t, FreeDeleter> bits_;
    std::uint8_t* topRow_ = nullptr;
    std::unique_ptr<TLogicalPalette> cachedPalette_;
    bool paletteStale_ = true;
};

// Drawing on a bitmap with Qt. Each Paint makes the bitmap's storage
// private first, paints on a 32-bit copy of the pixels and writes back the
// pixels that changed, in the bitmap's own depth (nearest colour of the
// colour table for 8 bits and less).
class TDIBCanvas {
public:
    explicit TDIBCanvas(TDIB& owner) : owner_(owner) {}
    void Paint(const std::function<void(QPainter&)>& draw);
    // Draws a picture stretched into `rect`, as the toolkit's canvas does.
    void StretchDraw(const TRect& rect, TGraphic& graphic);
    void Draw(int x, int y, TGraphic& graphic);

private:
    TDIB& owner_;
};

class TDIB : public TGraphic {
public:
    static constexpr std::int64_t kMaxImageBytes = std::int64_t{256} << 20;
    // Pictures up to this many pixel bytes are allocated before their rows
    // are read (a short stream keeps the rows that were there); larger ones
    // must find all their rows in the stream first.
    static constexpr std::int64_t kEagerReadLimit = std::int64_t{4} << 20;

    TDIB();
    ~TDIB() override;
    TDIB(const TDIB&) = delete;
    TDIB& operator=(const TDIB&) = delete;

    const char* ClassName() const override { return "TDIB"; }

    bool Empty() const override { return image_->ImageBytes() == 0; }
    int Width() const override { return image_->Width(); }
    int Height() const override { return image_->Height(); }
    // ChangeWidth/ChangeHeight: 0 or less empties; old pixels are not kept.
    void SetWidth(int width) override;
    void SetHeight(int height) override;

    int BitCount() const { return image_->BitCount(); }
    int RowBytes() const { return image_->RowBytes(); }
    int ImageBytes() const { return image_->ImageBytes(); }
    int ColorCount() const { return image_->ColorCount(); }
    bool BitFields() const { return image_->BitFields(); }
    int InfoSize() const { return image_->InfoSize(); }
    const TDIBChannelFormat& ChannelFormat() const { return image_->ChannelFormat(); }
    TDIBChannelFormat WantedChannelFormat;

    // The bitmap's own colour table; edits take effect with ApplyColorTable.
    TColorTable ColorTable;
    void ApplyColorTable();

    void Allocate(int width, int height, int bitCount);
    void MakeEmpty();

    // Row y (0 = top) for writing: makes the storage private first.
    // EInvalidOperation "Index of the scanning line exceeded the range. (%d)".
    std::uint8_t* RowAddress(int y);
    // Row y for reading, without copying (same range check).
    const std::uint8_t* ScanLine(int y) const;
    // Pixel memory from the bottom row, ImageBytes long: makes private.
    std::uint8_t* PBits();
    const std::uint8_t* Bits() const { return image_->Bits(); }
    const std::uint8_t* TopRow() const { return image_->TopRow(); }
    std::ptrdiff_t RowStep() const { return image_->RowStep(); }

    // Pixel values as the encoding of the depth gives them; 0 outside.
    std::uint32_t GetPixel(int x, int y) const;
    // Makes private and writes; nothing outside the picture.
    void PutPixel(int x, int y, std::uint32_t value);
    // Colour of a pixel as 0xRRGGBB through the colour table or channels.
    std::uint32_t PixelColor(int x, int y) const;

    const TLogicalPalette* PaletteHandle() override;
    void SetPalette(const TLogicalPalette* palette) override;

    TDIBCanvas& Canvas();

    // Stretched copy of the whole picture into `rect` (colour on colour:
    // each target pixel takes the nearest source pixel, nothing is blended).
    // A negative width or height mirrors.
    void DrawTo(QPainter& canvas, const TRect& rect) override;
    // The same straight into rows of 32-bit 0xAARRGGBB pixels (alpha set to
    // 0xFF), clipped to the buffer: what surfaces copy pictures with.
    void StretchToPixels(std::uint32_t* bits, int width, int height, std::ptrdiff_t pitchBytes,
                         const TRect& rect) const;
    // The whole picture as a 32-bit image.
    QImage ToImage() const;

    void ReadStored(TStream& stream) override;
    void WriteStored(TStream& stream) override;
    void ReadBitmapFile(TStream& stream);
    void WriteBitmapFile(TStream& stream);
    void LoadFromStream(TStream& stream) override { ReadBitmapFile(stream); }
    void SaveToStream(TStream& stream) override { WriteBitmapFile(stream); }
    // The bitmap's own streamed property "DIB" (read only, never written).
    void ReadDIBProperty(TStream& stream) { ReadBitmapFile(stream); }

    void AssignFrom(const TPersistent* source) override;

    void SaveToClipboardFormat(std::uint16_t& format, std::vector<std::uint8_t>& data,
                               const TLogicalPalette*& palette) override;
    void LoadFromClipboardFormat(std::uint16_t format, const void* data, std::size_t size,
                                 const TLogicalPalette* palette) override;

    // The storage in use (shared between bitmaps after AssignFrom).
    const TDIBSharedImage* Image() const { return image_; }

private:
    friend class TDIBCanvas;
    void SwitchTo(TDIBSharedImage* image);
    void MakePrivate();
    void StretchCore(std::uint32_t* out, std::ptrdiff_t outPitchBytes, const TRect& full,
                     const TRect& visible) const;
    void ReportProgress(TProgressStage stage, int row, bool reading);

    TDIBSharedImage* image_;
    std::unique_ptr<TDIBCanvas> canvas_;
};

// Registers "TDIB" with the picture container: the class name, the file
// extension "dib" ("Device Independent Bitmap") and clipboard format CF_DIB.
// Call once at start-up, before any stored picture is read.
void RegisterRenderPictureClasses();
void UnregisterRenderPictureClasses();
