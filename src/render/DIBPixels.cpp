// Pixel encodings of the six depths, channel formats, the stretched copy
// onto 32-bit pixels and painting on a bitmap through Qt.
#include "render/DIB.h"

#include <QPainter>

#include <algorithm>
#include <bit>
#include <unordered_map>

namespace {

// A mask that is one run of set bits (or 0): its lowest bit and run length.
struct MaskRun {
    int low = 0;
    int count = 0;
    bool contiguous = true;
};

MaskRun RunOf(std::uint32_t mask) {
    if (mask == 0)
        return MaskRun{0, 0, true};
    const int low = std::countr_zero(mask);
    const int count = std::countr_one(mask >> low);
    const bool contiguous = count + low == 32 || (mask >> (low + count)) == 0;
    return MaskRun{low, count, contiguous};
}

// Channel value of `bits` bits scaled to 0..255; 8 bits and more keep the top 8.
std::uint32_t ScaleTo8(std::uint32_t value, int bits) {
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return (value >> (bits - 8)) & 0xFF;
    const std::uint32_t max = (1u << bits) - 1;
    return (value * 255 + max / 2) / max;
}

std::uint32_t ScaleFrom8(std::uint8_t value, int bits) {
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return static_cast<std::uint32_t>(value) << (bits - 8);
    return static_cast<std::uint32_t>(value) >> (8 - bits);
}

std::uint32_t ChannelToRGB(std::uint32_t pixel, std::uint32_t mask) {
    const MaskRun run = RunOf(mask);
    if (run.count == 0)
        return 0;
    return ScaleTo8((pixel & mask) >> run.low, std::min(run.count, 32));
}

std::uint32_t ChannelFromRGB(std::uint8_t value, std::uint32_t mask) {
    const MaskRun run = RunOf(mask);
    if (run.count == 0)
        return 0;
    return (ScaleFrom8(value, run.count) << run.low) & mask;
}

std::uint32_t RGBOfQuad(const TRGBQuad& q) {
    return (static_cast<std::uint32_t>(q.rgbRed) << 16) |
           (static_cast<std::uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
}

}  // namespace

TDIBChannelFormat TDIBChannelFormat::FromCounts(int r, int g, int b) {
    r = std::clamp(r, 0, 32);
    g = std::clamp(g, 0, 32);
    b = std::clamp(b, 0, 32);
    auto ones = [](int n) { return (std::uint64_t{1} << n) - 1; };
    auto shifted = [](std::uint64_t v, int by) {
        return by >= 64 ? std::uint32_t{0} : static_cast<std::uint32_t>(v << by);
    };
    TDIBChannelFormat f;
    f.RBitMask = shifted(ones(r), g + b);
    f.GBitMask = shifted(ones(g), b);
    f.BBitMask = static_cast<std::uint32_t>(ones(b));
    f.RBitCount = static_cast<std::uint32_t>(r);
    f.GBitCount = static_cast<std::uint32_t>(g);
    f.BBitCount = static_cast<std::uint32_t>(b);
    f.RShift = r + g + b - 8;
    f.GShift = g + b - 8;
    f.BShift = 8 - b;
    return f;
}

TDIBChannelFormat TDIBChannelFormat::FromMasks(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    const MaskRun rr = RunOf(r), gr = RunOf(g), br = RunOf(b);
    TDIBChannelFormat f = FromCounts(rr.count, gr.count, br.count);
    const bool keep = rr.contiguous && gr.contiguous && br.contiguous && (r & g) == 0 &&
                      (r & b) == 0 && (g & b) == 0;
    if (keep) {
        f.RBitMask = r;
        f.GBitMask = g;
        f.BBitMask = b;
    }
    return f;
}

std::uint32_t TDIBChannelFormat::ToRGB(std::uint32_t pixel) const {
    return (ChannelToRGB(pixel, RBitMask) << 16) | (ChannelToRGB(pixel, GBitMask) << 8) |
           ChannelToRGB(pixel, BBitMask);
}

std::uint32_t TDIBChannelFormat::FromRGB(std::uint8_t red, std::uint8_t green,
                                         std::uint8_t blue) const {
    return ChannelFromRGB(red, RBitMask) | ChannelFromRGB(green, GBitMask) |
           ChannelFromRGB(blue, BBitMask);
}

// Pixel encoding within a row; `row` is the first byte of the row.
static std::uint32_t ReadPixel(const std::uint8_t* row, int x, int bitCount) {
    switch (bitCount) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 16: return static_cast<std::uint32_t>(row[2 * x] | (row[2 * x + 1] << 8));
    case 24: {
        const std::uint8_t* p = row + 3 * x;  // blue, green, red
        return static_cast<std::uint32_t>(p[2]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[0]) << 16);
    }
    case 32: {
        const std::uint8_t* p = row + 4 * x;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    default: return 0;
    }
}

static void WritePixel(std::uint8_t* row, int x, int bitCount, std::uint32_t value) {
    switch (bitCount) {
    case 1: {
        const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>(value != 0 ? row[x >> 3] | bit : row[x >> 3] & ~bit);
        break;
    }
    case 4: {
        std::uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (value & 0x0F))
                    : static_cast<std::uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
        break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(value); break;
    case 16:
        row[2 * x] = static_cast<std::uint8_t>(value);
        row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<std::uint8_t>(value >> 16);
        row[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
        row[3 * x + 2] = static_cast<std::uint8_t>(value);
        break;
    case 32:
        for (int i = 0; i < 4; ++i)
            row[4 * x + i] = static_cast<std::uint8_t>(value >> (8 * i));
        break;
    default: break;
    }
}

std::uint32_t TDIB::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return 0;
    return ReadPixel(image_->TopRow() + static_cast<std::ptrdiff_t>(y) * image_->RowStep(), x,
                     BitCount());
}

void TDIB::PutPixel(int x, int y, std::uint32_t value) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return;
    WritePixel(RowAddress(y), x, BitCount(), value);
}

std::uint32_t TDIB::PixelColor(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return 0;
    const std::uint32_t value = GetPixel(x, y);
    switch (BitCount()) {
    case 1: case 4: case 8: return RGBOfQuad(image_->ColorTable()[value & 0xFF]);
    case 24: {
        // The 24-bit value holds red in the low byte.
        return ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
    }
    default: return image_->ChannelFormat().ToRGB(value);
    }
}

// Nearest-neighbour stretch of the whole picture onto `full` (target
// coordinates, width or height negative to mirror); only `visible`, which
// lies inside `full`, is written, `out` being its top-left pixel.
void TDIB::StretchCore(std::uint32_t* out, std::ptrdiff_t outPitchBytes, const TRect& full,
                       const TRect& visible) const {
    const int fullLeft = std::min(full.Left, full.Right);
    const int fullTop = std::min(full.Top, full.Bottom);
    const std::int64_t fullWidth = std::abs(static_cast<std::int64_t>(full.Right) - full.Left);
    const std::int64_t fullHeight = std::abs(static_cast<std::int64_t>(full.Bottom) - full.Top);
    const bool mirrorX = full.Right < full.Left;
    const bool mirrorY = full.Bottom < full.Top;
    const int width = Width(), height = Height(), bitCount = BitCount();
    const int visWidth = visible.Width();
    if (visWidth <= 0 || visible.Height() <= 0 || fullWidth == 0 || fullHeight == 0)
        return;

    std::vector<int> column(static_cast<std::size_t>(visWidth));
    for (int i = 0; i < visWidth; ++i) {
        int sx = static_cast<int>((visible.Left + i - fullLeft) * std::int64_t{width} / fullWidth);
        column[static_cast<std::size_t>(i)] = mirrorX ? width - 1 - sx : sx;
    }
    // Colours of indexed pixels, looked up once per call.
    std::uint32_t lookup[256];
    if (bitCount <= 8)
        for (int i = 0; i < 256; ++i)
            lookup[i] = 0xFF000000u | RGBOfQuad(image_->ColorTable()[static_cast<std::size_t>(i)]);
    const TDIBChannelFormat& channels = image_->ChannelFormat();
    const bool plain32 = bitCount == 32 && channels.RBitMask == 0xFF0000 &&
                         channels.GBitMask == 0xFF00 && channels.BBitMask == 0xFF;

    for (int y = visible.Top; y < visible.Bottom; ++y) {
        int sy = static_cast<int>((y - fullTop) * std::int64_t{height} / fullHeight);
        if (mirrorY)
            sy = height - 1 - sy;
        const std::uint8_t* src = image_->TopRow() + static_cast<std::ptrdiff_t>(sy) * image_->RowStep();
        auto* dst = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(out) +
                                                     (y - visible.Top) * outPitchBytes);
        switch (bitCount) {
        case 1: case 4: case 8:
            for (int i = 0; i < visWidth; ++i)
                dst[i] = lookup[ReadPixel(src, column[static_cast<std::size_t>(i)], bitCount)];
            break;
        case 24:
            for (int i = 0; i < visWidth; ++i) {
                const std::uint8_t* p = src + 3 * column[static_cast<std::size_t>(i)];
                dst[i] = 0xFF000000u | (static_cast<std::uint32_t>(p[2]) << 16) |
                         (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
            }
            break;
        default:
            if (plain32) {
                const auto* row = reinterpret_cast<const std::uint8_t*>(src);
                for (int i = 0; i < visWidth; ++i) {
                    const std::uint8_t* p = row + 4 * column[static_cast<std::size_t>(i)];
                    dst[i] = 0xFF000000u | (static_cast<std::uint32_t>(p[2]) << 16) |
                             (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
                }
            } else {
                for (int i = 0; i < visWidth; ++i)
                    dst[i] = 0xFF000000u |
                             channels.ToRGB(ReadPixel(src, column[static_cast<std::size_t>(i)], bitCount));
            }
            break;
        }
    }
}

void TDIB::StretchToPixels(std::uint32_t* bits, int width, int height, std::ptrdiff_t pitchBytes,
                           const TRect& rect) const {
    if (Empty() || bits == nullptr)
        return;
    TRect visible{std::max(std::min(rect.Left, rect.Right), 0),
                  std::max(std::min(rect.Top, rect.Bottom), 0),
                  std::min(std::max(rect.Left, rect.Right), width),
                  std::min(std::max(rect.Top, rect.Bottom), height)};
    if (visible.Width() <= 0 || visible.Height() <= 0)
        return;
    std::uint32_t* out = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(bits) +
                                                          visible.Top * pitchBytes) + visible.Left;
    StretchCore(out, pitchBytes, rect, visible);
}

QImage TDIB::ToImage() const {
    if (Empty())
        return QImage();
    QImage image(Width(), Height(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const TRect all{0, 0, Width(), Height()};
    StretchCore(reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine(), all, all);
    return image;
}

void TDIB::DrawTo(QPainter& canvas, const TRect& rect) {
    if (Empty())
        return;
    TRect visible{std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
                  std::max(rect.Left, rect.Right), std::max(rect.Top, rect.Bottom)};
    // Only the part of the target that the device shows is computed (when the
    // painter merely translates; otherwise the whole rectangle).
    const QTransform& transform = canvas.worldTransform();
    if (canvas.device() != nullptr && transform.type() <= QTransform::TxTranslate) {
        const int dx = static_cast<int>(transform.dx()), dy = static_cast<int>(transform.dy());
        visible.Left = std::max(visible.Left, -dx);
        visible.Top = std::max(visible.Top, -dy);
        visible.Right = std::min(visible.Right, canvas.device()->width() - dx);
        visible.Bottom = std::min(visible.Bottom, canvas.device()->height() - dy);
    }
    if (visible.Width() <= 0 || visible.Height() <= 0)
        return;
    QImage part(visible.Width(), visible.Height(), QImage::Format_RGB32);
    if (part.isNull())
        return;
    StretchCore(reinterpret_cast<std::uint32_t*>(part.bits()), part.bytesPerLine(), rect, visible);
    canvas.save();
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(visible.Left, visible.Top, part);
    canvas.restore();
}

void TDIBCanvas::Paint(const std::function<void(QPainter&)>& draw) {
    if (owner_.Empty())
        return;
    owner_.MakePrivate();
    const QImage before = owner_.ToImage();
    QImage after = before.copy();
    {
        QPainter painter(&after);
        draw(painter);
    }
    const int width = owner_.Width(), height = owner_.Height(), bitCount = owner_.BitCount();
    const TDIBSharedImage* image = owner_.image_;
    const int colorCount = image->ColorCount();
    std::unordered_map<std::uint32_t, std::uint32_t> nearest;
    for (int y = 0; y < height; ++y) {
        const auto* was = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* now = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        std::uint8_t* row = nullptr;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t rgb = now[x] & 0xFFFFFFu;
            if (rgb == (was[x] & 0xFFFFFFu))
                continue;
            if (row == nullptr)
                row = owner_.RowAddress(y);
            const auto red = static_cast<std::uint8_t>(rgb >> 16);
            const auto green = static_cast<std::uint8_t>(rgb >> 8);
            const auto blue = static_cast<std::uint8_t>(rgb);
            std::uint32_t value = 0;
            if (bitCount <= 8) {
                auto found = nearest.find(rgb);
                if (found == nearest.end()) {
                    // The closest colour-table entry, the first of equals.
                    std::uint32_t best = 0;
                    std::int64_t bestDistance = INT64_MAX;
                    for (int i = 0; i < colorCount; ++i) {
                        const TRGBQuad& q = image->ColorTable()[static_cast<std::size_t>(i)];
                        const std::int64_t dr = q.rgbRed - red, dg = q.rgbGreen - green,
                                           db = q.rgbBlue - blue;
                        const std::int64_t d = dr * dr + dg * dg + db * db;
                        if (d < bestDistance) {
                            bestDistance = d;
                            best = static_cast<std::uint32_t>(i);
                        }
                    }
                    found = nearest.emplace(rgb, best).first;
                }
                value = found->second;
            } else if (bitCount == 24) {
                value = red | (static_cast<std::uint32_t>(green) << 8) |
                        (static_cast<std::uint32_t>(blue) << 16);
            } else {
                value = image->ChannelFormat().FromRGB(red, green, blue);
            }
            WritePixel(row, x, bitCount, value);
        }
    }
    owner_.Changed();
}

void TDIBCanvas::StretchDraw(const TRect& rect, TGraphic& graphic) {
    Paint([&](QPainter& painter) { graphic.DrawTo(painter, rect); });
}

void TDIBCanvas::Draw(int x, int y, TGraphic& graphic) {
    StretchDraw(TRect{x, y, x + graphic.Width(), y + graphic.Height()}, graphic);
}
