#include "render/DirectDraw.h"

#include "render/DIB.h"
#include "render/DirectDrawLibrary.h"
#include "toolkit/Fonts.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <bit>
#include <cstring>

using namespace ddraw;

// ---------------------------------------------------------------- colours

TColor ColorToRGB(TColor color) {
    const auto raw = static_cast<std::uint32_t>(color);
    if ((raw & 0xFF000000u) != 0x80000000u) return color;
    // The system colours this program can meet, taken from the desktop's
    // palette where it has a matching role, else the classic defaults.
    const int index = static_cast<int>(raw & 0xFF);
    QColor c;
    const QPalette palette = QGuiApplication::instance() ? QGuiApplication::palette() : QPalette();
    switch (index) {
        case 5: c = palette.color(QPalette::Base); break;           // window
        case 8: c = palette.color(QPalette::Text); break;           // window text
        case 15: c = palette.color(QPalette::Button); break;        // button face
        case 16: c = palette.color(QPalette::Mid); break;           // button shadow
        case 18: c = palette.color(QPalette::ButtonText); break;    // button text
        case 20: c = palette.color(QPalette::Light); break;         // button highlight
        case 13: c = palette.color(QPalette::Highlight); break;
        case 14: c = palette.color(QPalette::HighlightedText); break;
        default: c = QColor(192, 192, 192); break;
    }
    return static_cast<TColor>(c.red() | (c.green() << 8) | (c.blue() << 16));
}

namespace {

QColor ToQColor(TColor color) {
    const auto rgb = static_cast<std::uint32_t>(ColorToRGB(color));
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

RECT ToRECT(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

template <class T>
void Unregister(std::vector<T*>& list, T* item) {
    const auto it = std::find(list.rbegin(), list.rend(), item);
    if (it != list.rend()) list.erase(std::next(it).base());
}

}  // namespace

// ---------------------------------------------------------------- TDirectDraw

TDirectDraw::TDirectDraw(const GUID* driver) {
    const auto create = DXLoadEntry<decltype(&DirectDrawCreate)>("DDraw.dll", "DirectDrawCreate");
    IDirectDraw* raw = nullptr;
    SetLastResult(create(driver, &raw, nullptr));
    if (Failed(LastResult()) || !raw)
        throw EDirectDrawError(FormatMessage(dxconsts::SDirectXNotInitialized, dxconsts::SDirectDraw));
    interface_ = ComPtr<IDirectDraw>::Adopt(raw);
    DDCAPS emulation;
    SetLastResult(interface_->GetCaps(&driverCaps_, &emulation));
}

TDirectDraw::~TDirectDraw() {
    // Whatever is still registered loses its interface now; its holder
    // still owns (and later deletes) the wrapper itself.
    while (!surfaces_.empty()) {
        TDirectDrawSurface* s = surfaces_.back();
        surfaces_.pop_back();
        s->SetInterface(nullptr);
        s->owner_ = nullptr;
    }
    while (!palettes_.empty()) {
        TDirectDrawPalette* p = palettes_.back();
        palettes_.pop_back();
        p->interface_.Reset();
        p->owner_ = nullptr;
    }
    while (!clippers_.empty()) {
        TDirectDrawClipper* c = clippers_.back();
        clippers_.pop_back();
        c->interface_.Reset();
        c->owner_ = nullptr;
    }
}

IDirectDraw* TDirectDraw::IDraw() const {
    if (!interface_) throw EDirectDrawError(FormatMessage(dxconsts::SNotMade, dxconsts::SIDirectDraw));
    return interface_.Get();
}

// ---------------------------------------------------------------- palette

TDirectDrawPalette::TDirectDrawPalette(TDirectDraw& owner) : owner_(&owner) {
    owner.palettes_.push_back(this);
}

TDirectDrawPalette::~TDirectDrawPalette() {
    if (owner_) Unregister(owner_->palettes_, this);
}

bool TDirectDrawPalette::CreatePalette(DWORD caps, const PALETTEENTRY* entries) {
    interface_.Reset();
    if (!owner_) return false;
    IDirectDrawPalette* raw = nullptr;
    SetLastResult(owner_->IDraw()->CreatePalette(caps, entries, &raw, nullptr));
    if (Failed(LastResult())) return false;
    interface_ = ComPtr<IDirectDrawPalette>::Adopt(raw);
    return true;
}

bool TDirectDrawPalette::SetEntries(int start, int count, const PALETTEENTRY* entries) {
    if (!interface_) return false;
    SetLastResult(interface_->SetEntries(0, static_cast<DWORD>(start), static_cast<DWORD>(count), entries));
    return Succeeded(LastResult());
}

bool TDirectDrawPalette::GetEntries(int start, int count, PALETTEENTRY* entries) {
    if (!interface_) return false;
    SetLastResult(interface_->GetEntries(0, static_cast<DWORD>(start), static_cast<DWORD>(count), entries));
    return Succeeded(LastResult());
}

IDirectDrawPalette* TDirectDrawPalette::IPalette() const {
    if (!interface_)
        throw EDirectDrawPaletteError(FormatMessage(dxconsts::SNotMade, dxconsts::SIDirectDrawPalette));
    return interface_.Get();
}

// ---------------------------------------------------------------- clipper

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw& owner) : owner_(&owner) {
    owner.clippers_.push_back(this);
    IDirectDrawClipper* raw = nullptr;
    SetLastResult(owner.IDraw()->CreateClipper(0, &raw, nullptr));
    if (Failed(LastResult())) {
        Unregister(owner.clippers_, this);
        throw EDirectDrawClipperError(FormatMessage(dxconsts::SCannotMade, dxconsts::SClipper));
    }
    interface_ = ComPtr<IDirectDrawClipper>::Adopt(raw);
}

TDirectDrawClipper::~TDirectDrawClipper() {
    if (owner_) Unregister(owner_->clippers_, this);
}

void TDirectDrawClipper::SetHandle(HWND window) {
    SetLastResult(IClipper()->SetHWnd(0, window));
}

IDirectDrawClipper* TDirectDrawClipper::IClipper() const {
    if (!interface_)
        throw EDirectDrawClipperError(FormatMessage(dxconsts::SNotMade, dxconsts::SIDirectDrawClipper));
    return interface_.Get();
}

// ---------------------------------------------------------------- stretched copy

namespace {

// 8-bit value of a channel under a mask: channels of 8 bits and more keep
// their top 8 bits; narrower ones are scaled so that their maximum becomes
// 255, rounding to the nearest value (as bitmaps convert their own pixels).
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    std::uint32_t Value(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return (v >> (bits - 8)) & 0xFF;
        const std::uint32_t max = (1u << bits) - 1;
        return (v * 255 + max / 2) / max;
    }
};

}  // namespace

void StretchBitsTo(const TBitmapBits& bits, const TRect& src, std::uint32_t* targetPixels,
                   int targetWidth, int targetHeight, int targetPitchBytes, const TRect& dest) {
    const int dw = dest.Width(), dh = dest.Height();
    const int sw = src.Width(), sh = src.Height();
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || !bits.topRow) return;

    // Pixel decoders. Indexed depths go through a 32-bit table.
    std::uint32_t table[256] = {};
    for (int i = 0; i < std::min(bits.colorCount, 256); ++i) {
        const TRGBQuad& q = bits.colors[i];
        table[i] = (std::uint32_t{q.rgbRed} << 16) | (std::uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
    }
    std::uint32_t rMask = bits.redMask, gMask = bits.greenMask, bMask = bits.blueMask;
    if (!rMask && !gMask && !bMask) {
        if (bits.bitCount == 16) { rMask = 0x7C00; gMask = 0x03E0; bMask = 0x001F; }
        else { rMask = 0xFF0000; gMask = 0x00FF00; bMask = 0x0000FF; }
    }
    const Channel red(rMask), green(gMask), blue(bMask);
    const bool identity32 = bits.bitCount == 32 && rMask == 0xFF0000 && gMask == 0xFF00 && bMask == 0xFF;

    const auto sample = [&](const std::uint8_t* row, int x) -> std::uint32_t {
        switch (bits.bitCount) {
            case 1: return table[(row[x >> 3] >> (7 - (x & 7))) & 1];
            case 4: return table[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
            case 8: return table[row[x]];
            case 16: {
                const std::uint32_t p = row[2 * x] | (std::uint32_t{row[2 * x + 1]} << 8);
                return (red.Value(p) << 16) | (green.Value(p) << 8) | blue.Value(p);
            }
            case 24:
                return (std::uint32_t{row[3 * x + 2]} << 16) | (std::uint32_t{row[3 * x + 1]} << 8) |
                       row[3 * x];
            case 32: {
                std::uint32_t p;
                std::memcpy(&p, row + 4 * x, 4);
                if (identity32) return p & 0x00FFFFFF;
                return (red.Value(p) << 16) | (green.Value(p) << 8) | blue.Value(p);
            }
            default: return 0;
        }
    };

    // Target pixels inside the buffer whose source pixel lies in the bitmap.
    const int x0 = std::max(dest.Left, 0), x1 = std::min(dest.Right, targetWidth);
    const int y0 = std::max(dest.Top, 0), y1 = std::min(dest.Bottom, targetHeight);
    if (x0 >= x1 || y0 >= y1) return;
    std::vector<int> column(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x)
        column[static_cast<std::size_t>(x - x0)] =
            src.Left + static_cast<int>(std::int64_t{x - dest.Left} * sw / dw);
    for (int y = y0; y < y1; ++y) {
        const int sy = src.Top + static_cast<int>(std::int64_t{y - dest.Top} * sh / dh);
        if (sy < 0 || sy >= bits.height) continue;
        const std::uint8_t* row = bits.topRow + sy * bits.rowStep;
        auto* out = reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(targetPixels) +
                                                     static_cast<std::ptrdiff_t>(y) * targetPitchBytes);
        for (int x = x0; x < x1; ++x) {
            const int sx = column[static_cast<std::size_t>(x - x0)];
            if (sx < 0 || sx >= bits.width) continue;
            out[x] = sample(row, sx);
        }
    }
}

TBitmapBits BitsOf(const TDIB& dib) {
    const TDIBChannelFormat& channels = dib.ChannelFormat();
    TBitmapBits bits;
    bits.topRow = dib.TopRow();
    bits.rowStep = dib.RowStep();
    bits.width = dib.Width();
    bits.height = dib.Height();
    bits.bitCount = dib.BitCount();
    bits.colors = dib.Image()->ColorTable().data();
    bits.colorCount = 256;
    bits.redMask = channels.RBitMask;
    bits.greenMask = channels.GBitMask;
    bits.blueMask = channels.BBitMask;
    return bits;
}

// ---------------------------------------------------------------- canvas

namespace {

QFont DefaultCanvasFont(const TCanvasFont& font) {
    QFont f = CanvasFont(font.Name, font.Size);
    if (font.Bold) f.setBold(true);
    if (font.Italic) f.setItalic(true);
    return f;
}

}  // namespace

TDirectDrawSurfaceCanvas::FontResolverFunction TDirectDrawSurfaceCanvas::fontResolver_ = DefaultCanvasFont;
unsigned TDirectDrawSurfaceCanvas::fontResolverGeneration_ = 0;

void TDirectDrawSurfaceCanvas::SetFontResolver(FontResolverFunction resolver) {
    fontResolver_ = resolver ? std::move(resolver) : FontResolverFunction(DefaultCanvasFont);
    ++fontResolverGeneration_;
}

TDirectDrawSurfaceCanvas::TDirectDrawSurfaceCanvas(TDirectDrawSurface& surface) : surface_(surface) {}

TDirectDrawSurfaceCanvas::~TDirectDrawSurfaceCanvas() { Release(); }

bool TDirectDrawSurfaceCanvas::Acquire() {
    if (dc_) return true;
    IDirectDrawSurface* s = surface_.Interface();
    if (!s) return false;
    HDC dc = nullptr;
    surface_.SetLastResult(s->GetDC(&dc));
    if (Failed(surface_.LastResult()) || !dc) return false;
    dc_ = dc;
    return true;
}

QImage* TDirectDrawSurfaceCanvas::Image() {
    if (!Acquire()) return nullptr;
    return &ImageOf(dc_);
}

QPainter* TDirectDrawSurfaceCanvas::Painter() {
    if (!Acquire()) return nullptr;
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&ImageOf(dc_));
        painter_->setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
    return painter_.get();
}

void TDirectDrawSurfaceCanvas::Release() {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
    if (dc_) {
        if (IDirectDrawSurface* s = surface_.Interface()) surface_.SetLastResult(s->ReleaseDC(dc_));
        dc_ = nullptr;
    }
}

TDirectDrawSurfaceCanvas::ResolvedFont& TDirectDrawSurfaceCanvas::Resolve() {
    for (const std::unique_ptr<ResolvedFont>& known : fonts_)
        if (known->generation == fontResolverGeneration_ && known->name == Font.Name &&
            known->size == Font.Size && known->bold == Font.Bold && known->italic == Font.Italic)
            return *known;
    auto fresh = std::make_unique<ResolvedFont>();
    fresh->name = Font.Name;
    fresh->size = Font.Size;
    fresh->bold = Font.Bold;
    fresh->italic = Font.Italic;
    fresh->generation = fontResolverGeneration_;
    fresh->font = fontResolver_(Font);
    const QFontMetrics metrics(fresh->font);
    fresh->ascent = metrics.ascent();
    fresh->height = metrics.height();
    constexpr std::size_t kFonts = 4;
    if (fonts_.size() < kFonts) {
        fonts_.push_back(std::move(fresh));
        return *fonts_.back();
    }
    std::unique_ptr<ResolvedFont>& slot = fonts_[nextFont_];
    nextFont_ = (nextFont_ + 1) % kFonts;
    slot = std::move(fresh);
    return *slot;
}

const QStaticText* TDirectDrawSurfaceCanvas::LaidOut(ResolvedFont& font, const QString& text) {
    for (const auto& [known, laidOut] : font.texts)
        if (known == text) return &laidOut;
    if (text != font.lastDrawn) {
        font.lastDrawn = text;
        return nullptr;
    }
    QStaticText laidOut(text);
    laidOut.setTextFormat(Qt::PlainText);
    laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
    laidOut.prepare(QTransform(), font.font);
    constexpr std::size_t kTexts = 8;
    if (font.texts.size() < kTexts) {
        font.texts.emplace_back(text, std::move(laidOut));
        return &font.texts.back().second;
    }
    auto& slot = font.texts[font.nextText];
    font.nextText = (font.nextText + 1) % kTexts;
    slot = {text, std::move(laidOut)};
    return &slot.second;
}

TDirectDrawSurfaceCanvas::ResolvedFont& TDirectDrawSurfaceCanvas::ApplyFont() {
    ResolvedFont& resolved = Resolve();
    if (painter_->font() != resolved.font) painter_->setFont(resolved.font);
    painter_->setPen(ToQColor(Font.Color));
    return resolved;
}

void TDirectDrawSurfaceCanvas::TextOut(int x, int y, const std::string& text) {
    QPainter* p = Painter();
    if (!p) return;
    ResolvedFont& resolved = ApplyFont();
    const QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (BrushStyle == TBrushStyle::bsSolid) {
        const QFontMetrics metrics(resolved.font);
        p->fillRect(QRect(x, y, metrics.horizontalAdvance(s), resolved.height), ToQColor(BrushColor));
    }
    // The given point is the top-left corner of the text cell; a laid-out
    // text is placed by the top-left corner of its first line.
    if (const QStaticText* laidOut = LaidOut(resolved, s))
        p->drawStaticText(QPoint(x, y), *laidOut);
    else
        p->drawText(QPoint(x, y + resolved.ascent), s);
}

void TDirectDrawSurfaceCanvas::FillRect(const TRect& rect) {
    QPainter* p = Painter();
    if (!p || BrushStyle == TBrushStyle::bsClear) return;
    p->fillRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), ToQColor(BrushColor));
}

void TDirectDrawSurfaceCanvas::StretchDraw(const TRect& rect, TGraphic& graphic) {
    if (std::strcmp(graphic.ClassName(), "TDIB") == 0) {
        // Bitmaps are copied pixel for pixel, like the classic StretchBlt.
        const auto& dib = static_cast<const TDIB&>(graphic);
        if (!dib.Empty()) StretchBlt(rect, BitsOf(dib), TRect{0, 0, dib.Width(), dib.Height()});
        return;
    }
    QPainter* p = Painter();
    if (!p) return;
    graphic.DrawTo(*p, rect);
}

void TDirectDrawSurfaceCanvas::Draw(int x, int y, TGraphic& graphic) {
    StretchDraw(TRect{x, y, x + graphic.Width(), y + graphic.Height()}, graphic);
}

void TDirectDrawSurfaceCanvas::StretchBlt(const TRect& dest, const TBitmapBits& bits, const TRect& src) {
    QImage* image = Image();
    if (!image) return;
    // Direct writes: let a running painter finish first.
    if (painter_) painter_->end(), painter_.reset();
    StretchBitsTo(bits, src, reinterpret_cast<std::uint32_t*>(image->bits()), image->width(),
                  image->height(), static_cast<int>(image->bytesPerLine()), dest);
}

// ---------------------------------------------------------------- surface

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw& owner) : owner_(&owner) {
    owner.surfaces_.push_back(this);
}

TDirectDrawSurface::~TDirectDrawSurface() {
    canvas_.reset();  // gives back a held device context first
    SetInterface(nullptr);
    if (owner_) Unregister(owner_->surfaces_, this);
}

IDirectDrawSurface* TDirectDrawSurface::ISurface() const {
    if (!interface_)
        throw EDirectDrawSurfaceError(FormatMessage(dxconsts::SNotMade, dxconsts::SIDirectDrawSurface));
    return interface_.Get();
}

void TDirectDrawSurface::SetInterface(ComPtr<IDirectDrawSurface> surface) {
    if (canvas_) canvas_->Release();
    interface_ = std::move(surface);
    hasClipper_ = false;
    desc_ = DDSURFACEDESC{};
    desc_.ddpfPixelFormat.dwRGBBitCount = 0;
    if (!interface_) return;
    IDirectDrawClipper* clipper = nullptr;
    if (Succeeded(interface_->GetClipper(&clipper)) && clipper) {
        hasClipper_ = true;
        clipper->Release();
    }
    DDSURFACEDESC desc;
    SetLastResult(interface_->GetSurfaceDesc(&desc));
    if (Succeeded(LastResult())) desc_ = desc;
}

bool TDirectDrawSurface::CreateSurface(const DDSURFACEDESC& desc) {
    SetInterface(nullptr);
    if (!owner_) return false;
    IDirectDrawSurface* raw = nullptr;
    SetLastResult(owner_->IDraw()->CreateSurface(&desc, &raw, nullptr));
    if (Failed(LastResult())) return false;
    SetInterface(ComPtr<IDirectDrawSurface>::Adopt(raw));
    SetTransparentColor(0);
    return true;
}

bool TDirectDrawSurface::TryCreate(int width, int height, bool systemMemory) {
    DDSURFACEDESC desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (systemMemory ? DDSCAPS_SYSTEMMEMORY : 0);
    return CreateSurface(desc);
}

void TDirectDrawSurface::SetSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        SetInterface(nullptr);
        return;
    }
    if (TryCreate(width, height, SystemMemory)) return;
    if (!SystemMemory && TryCreate(width, height, true)) {
        SystemMemory = true;
        return;
    }
    throw EDirectDrawSurfaceError(FormatMessage(dxconsts::SCannotMade, dxconsts::SSurface));
}

void TDirectDrawSurface::LoadPictureRect(TGraphic& graphic, int width, int height, const TRect& src) {
    if (width == 0) width = src.Width();
    if (height == 0) height = src.Height();
    SetSize(width, height);
    if (!interface_) return;
    TDirectDrawSurfaceCanvas& canvas = Canvas();
    if (std::strcmp(graphic.ClassName(), "TDIB") == 0) {
        const auto& dib = static_cast<const TDIB&>(graphic);
        if (!dib.Empty()) canvas.StretchBlt(TRect{0, 0, width, height}, BitsOf(dib), src);
    } else if (width == src.Width() && height == src.Height()) {
        if (QPainter* p = canvas.Painter())
            graphic.DrawTo(*p, TRect{-src.Left, -src.Top, -src.Left + graphic.Width(),
                                     -src.Top + graphic.Height()});
    } else {
        // Render the rectangle at its own size first, then stretch it.
        QImage staging(std::max(src.Width(), 1), std::max(src.Height(), 1), QImage::Format_RGB32);
        staging.fill(Qt::black);
        {
            QPainter p(&staging);
            graphic.DrawTo(p, TRect{-src.Left, -src.Top, -src.Left + graphic.Width(),
                                    -src.Top + graphic.Height()});
        }
        TBitmapBits bits;
        bits.topRow = staging.constBits();
        bits.rowStep = staging.bytesPerLine();
        bits.width = staging.width();
        bits.height = staging.height();
        bits.bitCount = 32;
        canvas.StretchBlt(TRect{0, 0, width, height}, bits,
                          TRect{0, 0, staging.width(), staging.height()});
    }
    canvas.Release();
}

std::uint32_t TDirectDrawSurface::PixelValueOf(TColor color) {
    if (!interface_) return 0;
    const std::uint32_t remembered = Pixel(0, 0);
    // A one-pixel, 8-bit bitmap whose only colour is `color`, drawn through
    // the canvas: the surface's own conversion tells its raw value.
    const auto rgb = static_cast<std::uint32_t>(ColorToRGB(color));
    const TRGBQuad entry{static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                         static_cast<std::uint8_t>((rgb >> 8) & 0xFF),
                         static_cast<std::uint8_t>(rgb & 0xFF), 0};
    const std::uint8_t pixel[4] = {0, 0, 0, 0};
    TBitmapBits bits;
    bits.topRow = pixel;
    bits.rowStep = 4;
    bits.width = bits.height = 1;
    bits.bitCount = 8;
    bits.colors = &entry;
    bits.colorCount = 1;
    Canvas().StretchBlt(TRect{0, 0, 1, 1}, bits, TRect{0, 0, 1, 1});
    Canvas().Release();
    const std::uint32_t result = Pixel(0, 0);
    SetPixel(0, 0, remembered);
    return result;
}

void TDirectDrawSurface::SetTransparentColor(std::uint32_t value) {
    if (!interface_) return;
    DDCOLORKEY key{value, value};
    SetLastResult(interface_->SetColorKey(DDCKEY_SRCBLT, &key));
}

bool TDirectDrawSurface::Lock(DDSURFACEDESC& desc, const TRect* rect) {
    if (!interface_) return false;
    desc = DDSURFACEDESC{};
    RECT r;
    if (rect) r = ToRECT(*rect);
    SetLastResult(interface_->Lock(rect ? &r : nullptr, &desc, DDLOCK_WAIT, nullptr));
    return Succeeded(LastResult());
}

void TDirectDrawSurface::Unlock() {
    if (interface_) SetLastResult(interface_->Unlock(nullptr));
}

namespace {
// The pixel of row `row` at x for the bit counts a surface may have.
std::uint32_t ReadPixel(const std::uint8_t* row, int x, int bitCount) {
    switch (bitCount) {
        case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4: return (x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F);
        case 8: return row[x];
        case 16: return row[2 * x] | (std::uint32_t{row[2 * x + 1]} << 8);
        case 24:
            return row[3 * x] | (std::uint32_t{row[3 * x + 1]} << 8) | (std::uint32_t{row[3 * x + 2]} << 16);
        case 32: {
            std::uint32_t v;
            std::memcpy(&v, row + 4 * x, 4);
            return v;
        }
        default: return 0;
    }
}

void WritePixel(std::uint8_t* row, int x, int bitCount, std::uint32_t value) {
    switch (bitCount) {
        case 1: {
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
            row[x / 8] = (value & 1) ? (row[x / 8] | bit) : (row[x / 8] & ~bit);
            break;
        }
        case 4:
            row[x / 2] = (x % 2 == 0) ? static_cast<std::uint8_t>((row[x / 2] & 0x0F) | ((value & 0x0F) << 4))
                                      : static_cast<std::uint8_t>((row[x / 2] & 0xF0) | (value & 0x0F));
            break;
        case 8: row[x] = static_cast<std::uint8_t>(value); break;
        case 16:
            row[2 * x] = static_cast<std::uint8_t>(value);
            row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
            break;
        case 24:
            row[3 * x] = static_cast<std::uint8_t>(value);
            row[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
            break;
        case 32: std::memcpy(row + 4 * x, &value, 4); break;
        default: break;
    }
}
}  // namespace

std::uint32_t TDirectDrawSurface::Pixel(int x, int y) {
    if (!interface_ || x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    DDSURFACEDESC desc;
    if (!Lock(desc)) return 0;
    const auto* row = static_cast<const std::uint8_t*>(desc.lpSurface) + static_cast<std::ptrdiff_t>(y) * desc.lPitch;
    const std::uint32_t value = ReadPixel(row, x, BitCount());
    Unlock();
    return value;
}

void TDirectDrawSurface::SetPixel(int x, int y, std::uint32_t value) {
    if (!interface_ || x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    DDSURFACEDESC desc;
    if (!Lock(desc)) return;
    auto* row = static_cast<std::uint8_t*>(desc.lpSurface) + static_cast<std::ptrdiff_t>(y) * desc.lPitch;
    WritePixel(row, x, BitCount(), value);
    Unlock();
}

void TDirectDrawSurface::SetPalette(TDirectDrawPalette* palette) {
    SetLastResult(ISurface()->SetPalette(palette ? palette->IPalette() : nullptr));
}

void TDirectDrawSurface::SetClipper(TDirectDrawClipper* clipper) {
    SetLastResult(ISurface()->SetClipper(clipper ? clipper->IClipper() : nullptr));
    hasClipper_ = clipper != nullptr;
}

bool TDirectDrawSurface::Restore() {
    if (!interface_) return false;
    SetLastResult(interface_->Restore());
    return Succeeded(LastResult());
}

bool ClipBlitRects(TRect& d, TRect& s, const TRect& db, const TRect& sb) {
    if (db.Left > d.Left) { s.Left += db.Left - d.Left; d.Left = db.Left; }
    if (db.Top > d.Top) { s.Top += db.Top - d.Top; d.Top = db.Top; }
    if (sb.Left > s.Left) { d.Left += sb.Left - s.Left; s.Left = sb.Left; }
    if (sb.Top > s.Top) { d.Top += sb.Top - s.Top; s.Top = sb.Top; }
    if (db.Right < d.Right) { s.Right -= d.Right - db.Right; d.Right = db.Right; }
    if (db.Bottom < d.Bottom) { s.Bottom -= d.Bottom - db.Bottom; d.Bottom = db.Bottom; }
    if (sb.Right < s.Right) { d.Right -= s.Right - sb.Right; s.Right = sb.Right; }
    if (sb.Bottom < s.Bottom) { d.Bottom -= s.Bottom - sb.Bottom; s.Bottom = sb.Bottom; }
    return d.Left < d.Right && d.Top < d.Bottom && s.Left < s.Right && s.Top < s.Bottom;
}

void TDirectDrawSurface::Draw(int x, int y, const TRect& src, TDirectDrawSurface* source, bool transparent) {
    if (!source || (source == this && x == 0 && y == 0)) return;
    if (!interface_ || !source->interface_) return;
    TRect d{x, y, x + src.Width(), y + src.Height()};
    TRect s = src;
    if (!ClipBlitRects(d, s, ClientRect(), source->ClientRect())) return;

    const RECT dr = ToRECT(d), sr = ToRECT(s);
    const auto blt = [&] {
        DDBLTFX fx;
        SetLastResult(interface_->Blt(&dr, source->interface_.Get(), &sr,
                                      transparent ? DDBLT_WAIT | DDBLT_KEYSRC : DDBLT_WAIT, &fx));
    };
    if (hasClipper_) {
        blt();
        return;
    }
    SetLastResult(interface_->BltFast(static_cast<DWORD>(d.Left), static_cast<DWORD>(d.Top),
                                      source->interface_.Get(), &sr,
                                      transparent ? DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY : DDBLTFAST_WAIT));
    if (LastResult() == DDERR_BLTFASTCANTCLIP) {
        IDirectDrawClipper* clipper = nullptr;
        if (Succeeded(interface_->GetClipper(&clipper)) && clipper) {
            clipper->Release();
            hasClipper_ = true;
            blt();
        }
    }
}

bool TDirectDrawSurface::BltFast(int x, int y, const TRect& src, DWORD flags, TDirectDrawSurface* source) {
    if (!interface_ || !source || !source->interface_) return false;
    const RECT sr = ToRECT(src);
    SetLastResult(interface_->BltFast(static_cast<DWORD>(x), static_cast<DWORD>(y),
                                      source->interface_.Get(), &sr, flags));
    return Succeeded(LastResult());
}

bool TDirectDrawSurface::Blt(const TRect* dest, const TRect* src, DWORD flags, const DDBLTFX& effects,
                             TDirectDrawSurface* source) {
    if (!interface_) return false;
    RECT dr, sr;
    if (dest) dr = ToRECT(*dest);
    if (src) sr = ToRECT(*src);
    SetLastResult(interface_->Blt(dest ? &dr : nullptr, source ? source->Interface() : nullptr,
                                  src ? &sr : nullptr, flags, &effects));
    return Succeeded(LastResult());
}

void TDirectDrawSurface::BlitRect(const TRect& dest, const TRect& src, TDirectDrawSurface* source,
                                  bool transparent) {
    if (!source) return;
    DDBLTFX fx;
    Blt(&dest, &src, transparent ? DDBLT_WAIT | DDBLT_KEYSRC : DDBLT_WAIT, fx, source);
}

void TDirectDrawSurface::Fill(std::uint32_t color) {
    DDBLTFX fx;
    fx.dwFillColor = color;
    Blt(nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, fx, nullptr);
}

TDirectDrawSurfaceCanvas& TDirectDrawSurface::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TDirectDrawSurfaceCanvas>(*this);
    return *canvas_;
}
