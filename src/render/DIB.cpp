// Storage, stored data, bitmap files, assignment and registration of TDIB.
#include "render/DIB.h"

#include "toolkit/BitmapPicture.h"
#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::uint16_t kBitmapFileType = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kCoreHeaderSize = 12;
constexpr std::uint32_t kBI_RGB = 0;
constexpr std::uint32_t kBI_BITFIELDS = 3;

std::string WithNumber(const char* format, std::int64_t number) {
    std::string text = format;
    const auto at = text.find("%d");
    if (at != std::string::npos)
        text.replace(at, 2, std::to_string(number));
    return text;
}

bool ValidBitCount(int bitCount) {
    switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
    }
}

std::int64_t RowBytesOf(std::int64_t width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

void PutU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t U32At(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t U16At(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Reads up to `count` bytes, however the stream splits them up.
std::size_t ReadUpTo(TStream& stream, std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const std::size_t n = stream.Read(buffer + got, count - got);
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

}  // namespace

// ---------------------------------------------------------------------------
// TDIBSharedImage

void TDIBSharedImage::FreeDeleter::operator()(std::uint8_t* p) const { std::free(p); }

void TDIBSharedImage::Release() {
    if (--refCount_ == 0)
        delete this;
}

TDIBSharedImage* TDIBSharedImage::EmptyImage() {
    // Made on first use and held for the life of the process.
    static TDIBSharedImage* const empty = [] {
        TDIBSharedImage* image = CreateEmpty(GreyRampColorTable(), TDIBChannelFormat::FromCounts(8, 8, 8));
        image->Reference();
        return image;
    }();
    return empty;
}

TDIBSharedImage* TDIBSharedImage::CreateEmpty(const TColorTable& table,
                                              const TDIBChannelFormat& format) {
    auto* image = new TDIBSharedImage;
    image->colorTable_ = table;
    image->channelFormat_ = format;
    image->paletteStale_ = true;
    return image;
}

TDIBSharedImage* TDIBSharedImage::Create(int width, int height, int bitCount,
                                         const TDIBChannelFormat& wanted,
                                         const TColorTable& table) {
    if (!ValidBitCount(bitCount))
        throw EInvalidOperation(WithNumber(SDIBInvalidBitCount, bitCount));
    // A section this large is refused as the system would refuse it. Both
    // factors are below 2^34, so the test by division cannot overflow.
    const std::int64_t rowBytes = RowBytesOf(width, bitCount);
    if (width <= 0 || height <= 0 || rowBytes > TDIB::kMaxImageBytes / height)
        throw EOutOfResources(FormatMessage(SDIBCannotBeMade, "DIB"));
    const std::int64_t imageBytes = rowBytes * height;
    auto* raw = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(imageBytes), 1));
    if (raw == nullptr)
        throw EOutOfResources(FormatMessage(SDIBCannotBeMade, "DIB"));

    auto* image = new TDIBSharedImage;
    image->bits_.reset(raw);
    image->bitCount_ = bitCount;
    image->width_ = width;
    image->height_ = height;
    image->rowBytes_ = static_cast<int>(rowBytes);
    image->imageBytes_ = static_cast<int>(imageBytes);
    image->bitFields_ = bitCount == 16 || bitCount == 32;
    image->channelFormat_ = image->bitFields_ ? wanted : TDIBChannelFormat::FromCounts(8, 8, 8);
    image->colorCount_ = bitCount <= 8 ? 1 << bitCount : 0;
    image->colorTable_ = table;
    image->paletteStale_ = true;
    image->topRow_ = raw + static_cast<std::ptrdiff_t>(height - 1) * image->rowBytes_;
    image->BuildInfoBlock();
    return image;
}

// BITMAPINFO: the 40-byte header, the masks with bit fields, then ColorCount
// colour table entries.
void TDIBSharedImage::BuildInfoBlock() {
    infoBlock_.assign(ColorTableOffset() + 4 * static_cast<std::size_t>(colorCount_), 0);
    std::uint8_t* p = infoBlock_.data();
    PutU32(p + 0, kInfoHeaderSize);
    PutU32(p + 4, static_cast<std::uint32_t>(width_));
    PutU32(p + 8, static_cast<std::uint32_t>(height_));
    PutU16(p + 12, 1);
    PutU16(p + 14, static_cast<std::uint32_t>(bitCount_));
    PutU32(p + 16, bitFields_ ? kBI_BITFIELDS : kBI_RGB);
    if (bitFields_) {
        PutU32(p + 40, channelFormat_.RBitMask);
        PutU32(p + 44, channelFormat_.GBitMask);
        PutU32(p + 48, channelFormat_.BBitMask);
    }
    std::memcpy(p + ColorTableOffset(), colorTable_.data(), 4 * static_cast<std::size_t>(colorCount_));
}

void TDIBSharedImage::SetColorTable(const TColorTable& table) {
    colorTable_ = table;
    paletteStale_ = true;
    if (imageBytes_ > 0 && colorCount_ > 0)
        std::memcpy(infoBlock_.data() + ColorTableOffset(), colorTable_.data(),
                    4 * static_cast<std::size_t>(colorCount_));
}

const TLogicalPalette* TDIBSharedImage::PaletteHandle() {
    if (colorCount_ == 0)
        return nullptr;
    if (paletteStale_) {
        paletteStale_ = false;
        std::vector<TPaletteEntry> entries;
        entries.reserve(static_cast<std::size_t>(colorCount_));
        for (int i = 0; i < colorCount_; ++i)
            entries.push_back(ToPaletteEntry(colorTable_[static_cast<std::size_t>(i)]));
        cachedPalette_ = std::make_unique<TLogicalPalette>(std::move(entries));
    }
    return cachedPalette_.get();
}

// ---------------------------------------------------------------------------
// TDIB: storage

TDIB::TDIB()
    : WantedChannelFormat(TDIBChannelFormat::FromCounts(8, 8, 8)),
      ColorTable(GreyRampColorTable()),
      image_(TDIBSharedImage::EmptyImage()) {
    image_->Reference();
}

TDIB::~TDIB() { image_->Release(); }

void TDIB::SwitchTo(TDIBSharedImage* image) {
    if (image == image_)
        return;
    image->Reference();
    image_->Release();
    image_ = image;
    ColorTable = image_->ColorTable();
}

void TDIB::MakeEmpty() {
    SwitchTo(TDIBSharedImage::EmptyImage());
    Changed();
}

void TDIB::Allocate(int width, int height, int bitCount) {
    if (width == Width() && height == Height() && bitCount == BitCount() &&
        image_->ChannelFormat().SameMasks(WantedChannelFormat))
        return;
    if (width <= 0 || height <= 0) {
        MakeEmpty();
        return;
    }
    TDIBSharedImage* image =
        TDIBSharedImage::Create(width, height, bitCount, WantedChannelFormat, ColorTable);
    SwitchTo(image);
    WantedChannelFormat = image_->ChannelFormat();
    Changed();
}

void TDIB::MakePrivate() {
    if (image_->RefCount() <= 1)
        return;
    TDIBSharedImage* copy;
    if (image_->ImageBytes() > 0) {
        copy = TDIBSharedImage::Create(Width(), Height(), BitCount(), image_->ChannelFormat(),
                                       image_->ColorTable());
        std::memcpy(copy->Bits(), image_->Bits(), static_cast<std::size_t>(ImageBytes()));
    } else {
        copy = TDIBSharedImage::CreateEmpty(image_->ColorTable(), image_->ChannelFormat());
    }
    SwitchTo(copy);
}

void TDIB::SetWidth(int width) {
    if (width <= 0) {
        MakeEmpty();
        return;
    }
    Allocate(width, std::max(Height(), 1), ValidBitCount(BitCount()) ? BitCount() : 8);
}

void TDIB::SetHeight(int height) {
    if (height <= 0) {
        MakeEmpty();
        return;
    }
    Allocate(std::max(Width(), 1), height, ValidBitCount(BitCount()) ? BitCount() : 8);
}

void TDIB::ApplyColorTable() {
    if (ColorTable == image_->ColorTable())
        return;
    const TColorTable kept = ColorTable;
    MakePrivate();
    ColorTable = kept;
    image_->SetColorTable(ColorTable);
    SetPaletteModified(true);
    Changed();
}

const TLogicalPalette* TDIB::PaletteHandle() { return image_->PaletteHandle(); }

void TDIB::SetPalette(const TLogicalPalette* palette) {
    if (palette == nullptr)
        return;
    TPaletteEntry entries[256];
    const int count = palette->GetEntries(0, 256, entries);
    for (int i = 0; i < count; ++i)
        ColorTable[static_cast<std::size_t>(i)] = ToRGBQuad(entries[i]);
    ApplyColorTable();
}

std::uint8_t* TDIB::RowAddress(int y) {
    if (y < 0 || y >= Height())
        throw EInvalidOperation(WithNumber(SDIBScanLineRange, y));
    MakePrivate();
    return image_->TopRow() + static_cast<std::ptrdiff_t>(y) * image_->RowStep();
}

const std::uint8_t* TDIB::ScanLine(int y) const {
    if (y < 0 || y >= Height())
        throw EInvalidOperation(WithNumber(SDIBScanLineRange, y));
    return image_->TopRow() + static_cast<std::ptrdiff_t>(y) * image_->RowStep();
}

std::uint8_t* TDIB::PBits() {
    MakePrivate();
    return image_->Bits();
}

TDIBCanvas& TDIB::Canvas() {
    if (!canvas_)
        canvas_ = std::make_unique<TDIBCanvas>(*this);
    return *canvas_;
}

// ---------------------------------------------------------------------------
// Stored data and bitmap files

void TDIB::ReportProgress(TProgressStage stage, int row, bool reading) {
    if (!OnProgress)
        return;
    const char* message = reading ? "Loading" : "Storing";
    if (stage != TProgressStage::psRunning) {
        Progress(stage, stage == TProgressStage::psStarting ? 0 : 100, false, TRect{}, message);
        return;
    }
    const double share = static_cast<double>(row) / Height() * 100.0;
    const auto percent = static_cast<std::uint8_t>(std::nearbyint(share));  // halves to even
    if (reading)
        Progress(stage, percent, true, TRect{0, row, Width(), row + 1}, message);
    else
        Progress(stage, percent, false, TRect{}, message);
}

void TDIB::ReadStored(TStream& stream) {
    std::uint8_t header[kInfoHeaderSize];
    const std::size_t got = ReadUpTo(stream, header, 4);
    if (got == 0) {
        MakeEmpty();
        return;
    }
    if (got < 4)
        throw EInvalidGraphic(SDIBInvalid);

    std::int64_t width = 0, height = 0;
    int bitCount = 0;
    std::uint32_t compression = kBI_RGB, colorsUsed = 0;
    bool core = false;
    switch (U32At(header)) {
    case kCoreHeaderSize:
        stream.ReadBuffer(header + 4, kCoreHeaderSize - 4);
        width = U16At(header + 4);
        height = U16At(header + 6);
        bitCount = U16At(header + 10);
        core = true;
        break;
    case kInfoHeaderSize:
        stream.ReadBuffer(header + 4, kInfoHeaderSize - 4);
        width = static_cast<std::int32_t>(U32At(header + 4));
        height = static_cast<std::int32_t>(U32At(header + 8));
        bitCount = U16At(header + 14);
        compression = U32At(header + 16);
        colorsUsed = U32At(header + 32);
        break;
    default:
        throw EInvalidGraphic(SDIBInvalid);
    }

    if (compression == kBI_BITFIELDS) {
        std::uint8_t masks[12];
        stream.ReadBuffer(masks, sizeof masks);
        WantedChannelFormat = TDIBChannelFormat::FromMasks(U32At(masks), U32At(masks + 4), U32At(masks + 8));
    } else if (bitCount == 16) {
        WantedChannelFormat = TDIBChannelFormat::FromCounts(5, 5, 5);
    } else if (bitCount == 32) {
        WantedChannelFormat = TDIBChannelFormat::FromCounts(8, 8, 8);
    }

    const bool topDown = height < 0;
    if (topDown)
        height = -height;  // 64-bit: the most negative height cannot overflow
    if (width > INT32_MAX || height > INT32_MAX)
        throw EOutOfResources(FormatMessage(SDIBCannotBeMade, "DIB"));

    std::int64_t colorEntries = colorsUsed;
    if (colorEntries == 0 && bitCount <= 8)
        colorEntries = std::int64_t{1} << bitCount;
    colorEntries = std::min<std::int64_t>(colorEntries, 256);

    // A large picture must find its colour table and rows in the stream
    // before storage is made for it.
    if ((compression == kBI_RGB || compression == kBI_BITFIELDS) && width > 0 && height > 0 &&
        ValidBitCount(bitCount)) {
        // width and height are below 2^31 and a row below 2^34 bytes: the
        // product fits in 64 bits without overflow.
        const std::uint64_t imageBytes =
            static_cast<std::uint64_t>(RowBytesOf(width, bitCount)) * static_cast<std::uint64_t>(height);
        const std::uint64_t needed = imageBytes + static_cast<std::uint64_t>(colorEntries) * (core ? 3 : 4);
        if (imageBytes > static_cast<std::uint64_t>(kEagerReadLimit) && needed > stream.BytesLeft())
            throw EReadError("Stream read error");
    }

    Allocate(static_cast<int>(width), static_cast<int>(height), bitCount);

    ColorTable.fill(TRGBQuad{});
    if (core) {
        std::uint8_t triples[3 * 256];
        stream.ReadBuffer(triples, static_cast<std::size_t>(3 * colorEntries));
        for (std::int64_t i = 0; i < colorEntries; ++i)
            ColorTable[static_cast<std::size_t>(i)] =
                TRGBQuad{triples[3 * i], triples[3 * i + 1], triples[3 * i + 2], 0};
    } else {
        stream.ReadBuffer(ColorTable.data(), static_cast<std::size_t>(4 * colorEntries));
    }
    ApplyColorTable();

    if (compression != kBI_RGB && compression != kBI_BITFIELDS)
        throw EInvalidGraphic(SDIBInvalid);

    const int rows = Height();
    ReportProgress(TProgressStage::psStarting, 0, true);
    for (int i = 0; i < rows; ++i) {
        stream.ReadBuffer(RowAddress(topDown ? i : rows - 1 - i), static_cast<std::size_t>(RowBytes()));
        if (i % 8 == 7)
            ReportProgress(TProgressStage::psRunning, i, true);
    }
    ReportProgress(TProgressStage::psEnding, rows, true);
    Changed();
}

void TDIB::WriteStored(TStream& stream) {
    if (ImageBytes() == 0)
        return;
    stream.WriteBuffer(image_->InfoBlock().data(), image_->InfoBlock().size());
    const int rows = Height();
    ReportProgress(TProgressStage::psStarting, 0, false);
    for (int i = 0; i < rows; ++i) {
        stream.WriteBuffer(ScanLine(rows - 1 - i), static_cast<std::size_t>(RowBytes()));
        if (i % 8 == 7)
            ReportProgress(TProgressStage::psRunning, i, false);
    }
    ReportProgress(TProgressStage::psEnding, rows, false);
}

void TDIB::ReadBitmapFile(TStream& stream) {
    std::uint8_t header[kFileHeaderSize];
    const std::size_t got = ReadUpTo(stream, header, kFileHeaderSize);
    if (got == 0)
        return;
    if (got < kFileHeaderSize || U16At(header) != kBitmapFileType)
        throw EInvalidGraphic(SDIBInvalid);
    ReadStored(stream);
}

void TDIB::WriteBitmapFile(TStream& stream) {
    if (Empty())
        return;
    const std::uint32_t offset = kFileHeaderSize + static_cast<std::uint32_t>(InfoSize());
    std::uint8_t header[kFileHeaderSize] = {};
    PutU16(header, kBitmapFileType);
    PutU32(header + 2, offset + static_cast<std::uint32_t>(ImageBytes()));
    PutU32(header + 10, offset);
    stream.WriteBuffer(header, sizeof header);
    WriteStored(stream);
}

// ---------------------------------------------------------------------------
// Assignment and the clipboard

void TDIB::AssignFrom(const TPersistent* source) {
    if (source == nullptr) {
        MakeEmpty();
        return;
    }
    if (const auto* dib = dynamic_cast<const TDIB*>(source)) {
        if (dib == this)
            return;
        SwitchTo(dib->image_);
        ColorTable = dib->ColorTable;
        WantedChannelFormat = dib->WantedChannelFormat;
        Changed();
        return;
    }
    if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        if (picture->Graphic() == nullptr)
            MakeEmpty();
        else
            AssignFrom(picture->Graphic());
        return;
    }
    auto* graphic = dynamic_cast<TGraphic*>(const_cast<TPersistent*>(source));
    if (graphic == nullptr)
        AssignError(source);

    if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) {
        SetPalette(bitmap->PaletteHandle());
        const TBitmapObjectInfo info = bitmap->ObjectInfo();
        if (info.handleType == TBitmapHandleType::bmDDB) {
            WantedChannelFormat = info.bitsPerPixel == 16 ? TDIBChannelFormat::FromCounts(5, 5, 5)
                                                          : TDIBChannelFormat::FromCounts(8, 8, 8);
        } else if (info.bitsPerPixel <= 8) {
            WantedChannelFormat = TDIBChannelFormat::FromCounts(8, 8, 8);
        } else {
            WantedChannelFormat =
                TDIBChannelFormat::FromMasks(info.redMask, info.greenMask, info.blueMask);
        }
        if (bitmap->Empty()) {
            MakeEmpty();
            return;
        }
        Allocate(info.width, info.height, info.bitsPerPixel);
    } else {
        Allocate(graphic->Width(), graphic->Height(), 24);
    }
    if (Empty())
        return;
    std::memset(PBits(), 0, static_cast<std::size_t>(ImageBytes()));
    Canvas().Draw(0, 0, *graphic);
}

void TDIB::SaveToClipboardFormat(std::uint16_t& format, std::vector<std::uint8_t>& data,
                                 const TLogicalPalette*& palette) {
    TMemoryStream stored;
    WriteStored(stored);
    format = CF_DIB;
    data = stored.TakeData();
    palette = nullptr;
}

void TDIB::LoadFromClipboardFormat(std::uint16_t format, const void* data, std::size_t size,
                                   const TLogicalPalette*) {
    if (format != CF_DIB)
        throw EInvalidGraphic("Unsupported clipboard format");
    TReadOnlyMemoryStream stream(data, size);
    ReadStored(stream);
}

// ---------------------------------------------------------------------------

void RegisterRenderPictureClasses() {
    auto make = [] { return std::make_unique<TDIB>(); };
    TPicture::RegisterFileFormat("dib", "Device Independent Bitmap", "TDIB", make);
    TPicture::RegisterClipboardFormat(CF_DIB, "TDIB", make);
}

void UnregisterRenderPictureClasses() { TPicture::UnregisterGraphicClass("TDIB"); }
