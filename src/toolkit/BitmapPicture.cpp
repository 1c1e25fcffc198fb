#include "toolkit/BitmapPicture.h"

#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/Picture.h"

#include <QBuffer>
#include <QPainter>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kInvalidBitmap[] = "Bitmap image is not valid";

std::uint16_t U16At(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32At(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Bitmap file layout: 14-byte file header, then the info header whose first
// field is its own size (12 for the core form, 40 and up otherwise).
constexpr std::size_t kFileHeaderSize = 14;

// Checks the headers of a bitmap file before any decoder sees it, and learns
// the pixel format. The decoder itself is Qt's; sizes are bounded here so a
// hostile header cannot ask it for a huge picture.
TBitmapObjectInfo InspectBitmapFile(const std::uint8_t* data, std::size_t size) {
    if (size < kFileHeaderSize + 12 || data[0] != 'B' || data[1] != 'M' ||
        size > TBitmap::kMaxFileBytes)
        throw EInvalidGraphic(kInvalidBitmap);
    const std::uint8_t* info = data + kFileHeaderSize;
    const std::uint32_t headerSize = U32At(info);
    TBitmapObjectInfo result;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = U16At(info + 4);
        height = U16At(info + 6);
        result.bitsPerPixel = U16At(info + 10);
    } else if (headerSize >= 40 && headerSize <= 124 && size >= kFileHeaderSize + headerSize) {
        width = static_cast<std::int32_t>(U32At(info + 4));
        height = static_cast<std::int32_t>(U32At(info + 8));
        result.bitsPerPixel = U16At(info + 14);
        compression = U32At(info + 16);
        if (compression == 3) {
            // Masks sit inside headers of 52 bytes and more, else right after it.
            const std::size_t at = kFileHeaderSize + 40;
            if (size < at + 12)
                throw EInvalidGraphic(kInvalidBitmap);
            result.redMask = U32At(data + at);
            result.greenMask = U32At(data + at + 4);
            result.blueMask = U32At(data + at + 8);
        }
    } else {
        throw EInvalidGraphic(kInvalidBitmap);
    }
    if (height < 0)
        height = -height;
    switch (result.bitsPerPixel) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: throw EInvalidGraphic(kInvalidBitmap);
    }
    if (width <= 0 || height <= 0 || width * height > TBitmap::kMaxPixels)
        throw EInvalidGraphic(kInvalidBitmap);
    // Uncompressed rows must all be in the file: a short file must not make
    // the decoder build (and slowly fill) a picture its data cannot cover.
    if (compression == 0 || compression == 3) {
        const std::uint64_t offset = U32At(data + 10);
        const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * result.bitsPerPixel + 31) / 32 * 4;
        if (offset > size || rowBytes * static_cast<std::uint64_t>(height) > size - offset)
            throw EInvalidGraphic(kInvalidBitmap);
    }
    if (compression != 3) {
        if (result.bitsPerPixel == 16) {
            result.redMask = 0x7C00;
            result.greenMask = 0x3E0;
            result.blueMask = 0x1F;
        } else if (result.bitsPerPixel == 32) {
            result.redMask = 0xFF0000;
            result.greenMask = 0xFF00;
            result.blueMask = 0xFF;
        }
    }
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);
    return result;
}

std::unique_ptr<TLogicalPalette> PaletteOf(const QImage& image) {
    const QList<QRgb> colors = image.colorTable();
    if (colors.isEmpty())
        return nullptr;
    std::vector<TPaletteEntry> entries;
    entries.reserve(static_cast<std::size_t>(colors.size()));
    for (QRgb c : colors)
        entries.push_back(TPaletteEntry{static_cast<std::uint8_t>(qRed(c)),
                                        static_cast<std::uint8_t>(qGreen(c)),
                                        static_cast<std::uint8_t>(qBlue(c)), 0});
    return std::make_unique<TLogicalPalette>(std::move(entries));
}

}  // namespace

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::LoadFromBitmapFile(const std::uint8_t* data, std::size_t size) {
    const TBitmapObjectInfo info = InspectBitmapFile(data, size);
    QImage image = QImage::fromData(data, static_cast<int>(size), "BMP");
    if (image.isNull() || image.width() != info.width || image.height() != info.height)
        throw EInvalidGraphic(kInvalidBitmap);
    image_ = std::move(image);
    info_ = info;
    palette_ = PaletteOf(image_);
    file_.assign(data, data + size);
    SetPaletteModified(true);
    Changed();
}

std::vector<std::uint8_t> TBitmap::BitmapFileBytes() const {
    if (!file_.empty() || image_.isNull())
        return file_;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image_.save(&buffer, "BMP"))
        throw EInvalidGraphic(kInvalidBitmap);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void TBitmap::SetImage(const QImage& image) {
    image_ = image;
    info_ = TBitmapObjectInfo{};
    info_.width = image_.width();
    info_.height = image_.height();
    switch (image_.format()) {
    case QImage::Format_Mono: case QImage::Format_MonoLSB: info_.bitsPerPixel = 1; break;
    case QImage::Format_Indexed8: info_.bitsPerPixel = 8; break;
    case QImage::Format_RGB555:
        info_.bitsPerPixel = 16;
        info_.redMask = 0x7C00; info_.greenMask = 0x3E0; info_.blueMask = 0x1F;
        break;
    case QImage::Format_RGB888: case QImage::Format_BGR888: info_.bitsPerPixel = 24; break;
    default:
        if (image_.format() != QImage::Format_RGB32 && image_.format() != QImage::Format_ARGB32)
            image_ = image_.convertToFormat(QImage::Format_RGB32);
        info_.bitsPerPixel = 32;
        info_.redMask = 0xFF0000; info_.greenMask = 0xFF00; info_.blueMask = 0xFF;
        break;
    }
    palette_ = PaletteOf(image_);
    AfterImageChange();
}

void TBitmap::SetHandleType(TBitmapHandleType type) {
    if (type == info_.handleType)
        return;
    if (type == TBitmapHandleType::bmDDB) {
        image_ = image_.isNull() ? image_ : image_.convertToFormat(QImage::Format_RGB32);
        info_.handleType = type;
        info_.bitsPerPixel = 32;
        info_.redMask = info_.greenMask = info_.blueMask = 0;
        AfterImageChange();
    } else {
        SetImage(image_);  // back to a section of the image's own format
    }
}

void TBitmap::AfterImageChange() {
    file_.clear();
    SetPaletteModified(true);
    Changed();
}

void TBitmap::SetWidth(int width) {
    if (width == Width())
        return;
    if (width <= 0) {
        SetImage(QImage());
        return;
    }
    const int height = std::max(Height(), 1);
    QImage resized = image_.isNull() ? QImage(width, height, QImage::Format_RGB32)
                                     : image_.copy(0, 0, width, height);
    if (image_.isNull())
        resized.fill(Qt::black);
    SetImage(resized);
}

void TBitmap::SetHeight(int height) {
    if (height == Height())
        return;
    if (height <= 0) {
        SetImage(QImage());
        return;
    }
    const int width = std::max(Width(), 1);
    QImage resized = image_.isNull() ? QImage(width, height, QImage::Format_RGB32)
                                     : image_.copy(0, 0, width, height);
    if (image_.isNull())
        resized.fill(Qt::black);
    SetImage(resized);
}

void TBitmap::SetPalette(const TLogicalPalette* palette) {
    if (palette == nullptr || image_.colorCount() == 0)
        return;
    QList<QRgb> colors = image_.colorTable();
    for (int i = 0; i < palette->Count() && i < colors.size(); ++i) {
        const TPaletteEntry& e = palette->Entries()[static_cast<std::size_t>(i)];
        colors[i] = qRgb(e.peRed, e.peGreen, e.peBlue);
    }
    image_.setColorTable(colors);
    palette_ = PaletteOf(image_);
    AfterImageChange();
}

void TBitmap::DrawTo(QPainter& canvas, const TRect& rect) { DrawImageTo(canvas, rect, image_); }

void TBitmap::ReadStored(TStream& stream) {
    const std::uint32_t size = stream.ReadU32();
    if (size == 0) {
        SetImage(QImage());
        return;
    }
    // The count is checked against what the stream holds before any buffer is made.
    if (size > stream.BytesLeft())
        throw EReadError("Stream read error");
    if (size > kMaxFileBytes)
        throw EInvalidGraphic(kInvalidBitmap);
    std::vector<std::uint8_t> bytes(size);
    stream.ReadBuffer(bytes.data(), bytes.size());
    LoadFromBitmapFile(bytes.data(), bytes.size());
}

void TBitmap::WriteStored(TStream& stream) {
    const std::vector<std::uint8_t> bytes = BitmapFileBytes();
    stream.WriteU32(static_cast<std::uint32_t>(bytes.size()));
    stream.WriteBuffer(bytes.data(), bytes.size());
}

void TBitmap::LoadFromStream(TStream& stream) {
    const std::uint64_t left = stream.BytesLeft();
    if (left > kMaxFileBytes)
        throw EInvalidGraphic(kInvalidBitmap);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(left));
    stream.ReadBuffer(bytes.data(), bytes.size());
    LoadFromBitmapFile(bytes.data(), bytes.size());
}

void TBitmap::SaveToStream(TStream& stream) {
    const std::vector<std::uint8_t> bytes = BitmapFileBytes();
    stream.WriteBuffer(bytes.data(), bytes.size());
}

void TBitmap::AssignFrom(const TPersistent* source) {
    if (source == nullptr) {
        SetImage(QImage());
    } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        if (bitmap == this)
            return;
        image_ = bitmap->image_;
        info_ = bitmap->info_;
        palette_ = bitmap->palette_ ? std::make_unique<TLogicalPalette>(*bitmap->palette_) : nullptr;
        file_ = bitmap->file_;
        SetPaletteModified(true);
        Changed();
    } else if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        AssignFrom(picture->Graphic());
    } else if (auto* graphic = dynamic_cast<TGraphic*>(const_cast<TPersistent*>(source))) {
        SetImage(RenderedImage(*graphic));
    } else {
        AssignError(source);
    }
}

void TBitmap::SaveToClipboardFormat(std::uint16_t& format, std::vector<std::uint8_t>& data,
                                    const TLogicalPalette*& palette) {
    format = CF_BITMAP;
    data = BitmapFileBytes();
    palette = palette_.get();
}

void TBitmap::LoadFromClipboardFormat(std::uint16_t format, const void* data, std::size_t size,
                                      const TLogicalPalette*) {
    if (format != CF_BITMAP)
        throw EInvalidGraphic("Unsupported clipboard format");
    LoadFromBitmapFile(static_cast<const std::uint8_t*>(data), size);
}
