// The wrappers of the display objects: the DirectDraw object, surfaces with
// their canvas, palettes and clippers.
//
// Every wrapper records the result of each platform call in LastResult
// instead of raising; only the steps that name a message raise (creation of
// the DirectDraw object, of a clipper, SetSize, and the interface accessors).
//
// Ownership: each surface, palette and clipper registers with the TDirectDraw
// it was made on and unregisters when destroyed. The holder of a wrapper owns
// it; when the TDirectDraw goes first, it releases the interfaces of every
// wrapper still registered and detaches them, so no display interface
// outlives its DirectDraw object and no holder is left with a dangling
// pointer (an orphaned wrapper simply has no interface).
#pragma once

#include "platform/ddraw/DDraw.h"
#include "render/DXConsts.h"
#include "toolkit/Graphic.h"
#include "toolkit/Palette.h"

#include <QFont>
#include <QStaticText>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QImage;
class QPainter;

// A colour value: red in the low byte, then green, then blue. Values with
// the top byte 0x80 name a system colour by its index in the low byte.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
// Resolves system colours to red-green-blue; other values pass unchanged.
TColor ColorToRGB(TColor color);

class TDirectDraw;
class TDirectDrawSurface;

class TDirectX {
public:
    virtual ~TDirectX() = default;
    ddraw::HRESULT LastResult() const { return lastResult_; }
    void SetLastResult(ddraw::HRESULT result) {
        lastResult_ = result;
        if (result != ddraw::DD_OK) Check();
    }

protected:
    // Called for every failed result; failures are recorded, not raised.
    virtual void Check() {}

private:
    ddraw::HRESULT lastResult_ = ddraw::DD_OK;
};

class TDirectDrawPalette;
class TDirectDrawClipper;

class TDirectDraw : public TDirectX {
public:
    // DirectDrawCreate on the given display driver (none: the primary one).
    // Raises EDirectDrawError "DirectDraw cannot be initialized" on failure,
    // and the loader's "DDraw.dll not loaded".
    explicit TDirectDraw(const ddraw::GUID* driver = nullptr);
    ~TDirectDraw() override;
    TDirectDraw(const TDirectDraw&) = delete;
    TDirectDraw& operator=(const TDirectDraw&) = delete;

    // The interface; raises EDirectDrawError "IDirectDraw not made" without one.
    ddraw::IDirectDraw* IDraw() const;
    ddraw::IDirectDraw* Interface() const { return interface_.Get(); }
    const ddraw::DDCAPS& DriverCaps() const { return driverCaps_; }

    const std::vector<TDirectDrawSurface*>& Surfaces() const { return surfaces_; }
    const std::vector<TDirectDrawPalette*>& Palettes() const { return palettes_; }
    const std::vector<TDirectDrawClipper*>& Clippers() const { return clippers_; }

private:
    friend class TDirectDrawSurface;
    friend class TDirectDrawPalette;
    friend class TDirectDrawClipper;
    ddraw::ComPtr<ddraw::IDirectDraw> interface_;
    ddraw::DDCAPS driverCaps_;
    std::vector<TDirectDrawSurface*> surfaces_;
    std::vector<TDirectDrawPalette*> palettes_;
    std::vector<TDirectDrawClipper*> clippers_;
};

class TDirectDrawPalette : public TDirectX {
public:
    explicit TDirectDrawPalette(TDirectDraw& owner);
    ~TDirectDrawPalette() override;

    // Replaces the interface by a new palette; true on success.
    bool CreatePalette(ddraw::DWORD caps, const ddraw::PALETTEENTRY* entries);
    // SetEntries on the interface; false (and nothing done) without one.
    bool SetEntries(int start, int count, const ddraw::PALETTEENTRY* entries);
    bool GetEntries(int start, int count, ddraw::PALETTEENTRY* entries);

    // Raises EDirectDrawPaletteError "IDirectDrawPalette not made" without one.
    ddraw::IDirectDrawPalette* IPalette() const;
    ddraw::IDirectDrawPalette* Interface() const { return interface_.Get(); }
    TDirectDraw* DDraw() const { return owner_; }

private:
    friend class TDirectDraw;
    TDirectDraw* owner_;
    ddraw::ComPtr<ddraw::IDirectDrawPalette> interface_;
};

class TDirectDrawClipper : public TDirectX {
public:
    // Creates the clipper at once; raises EDirectDrawClipperError
    // "Clipper cannot be made" on failure.
    explicit TDirectDrawClipper(TDirectDraw& owner);
    ~TDirectDrawClipper() override;

    void SetHandle(ddraw::HWND window);
    // Raises EDirectDrawClipperError "IDirectDrawClipper not made" without one.
    ddraw::IDirectDrawClipper* IClipper() const;
    ddraw::IDirectDrawClipper* Interface() const { return interface_.Get(); }
    TDirectDraw* DDraw() const { return owner_; }

private:
    friend class TDirectDraw;
    TDirectDraw* owner_;
    ddraw::ComPtr<ddraw::IDirectDrawClipper> interface_;
};

// Pixels of a bitmap of any depth, described for the stretched copy: rows
// from the top of the picture, each `rowStep` bytes after the previous one
// (negative for bitmaps stored bottom-up).
struct TBitmapBits {
    const std::uint8_t* topRow = nullptr;
    std::ptrdiff_t rowStep = 0;
    int width = 0;
    int height = 0;
    int bitCount = 0;                       // 1, 4, 8, 16, 24 or 32
    const TRGBQuad* colors = nullptr;       // colour table of 1-, 4- and 8-bit pixels
    int colorCount = 0;
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;  // 16/32 bits; 0: the default masks
};

// Copies `src` (rectangle of the bitmap, may reach outside it) stretched onto
// `dest` (rectangle of the target) with nearest-pixel sampling, as a colour-
// on-colour StretchBlt does. Target pixels are 32-bit 0x00RRGGBB rows.
// Pixels sampled from outside the bitmap are left unwritten.
void StretchBitsTo(const TBitmapBits& bits, const TRect& src, std::uint32_t* targetPixels,
                   int targetWidth, int targetHeight, int targetPitchBytes, const TRect& dest);

enum class TBrushStyle { bsSolid, bsClear };

struct TCanvasFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;           // points at 96 pixels per inch
    TColor Color = clBlack;
    bool Bold = false;
    bool Italic = false;
};

// The canvas of a surface: paints with Qt straight onto the surface's pixels.
// Its device context is taken from the surface (GetDC) when drawing first
// needs it and given back by Release(); while it is held, the surface
// refuses blits, so every user releases the canvas before the next blit.
class TDirectDrawSurfaceCanvas {
public:
    explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface& surface);
    ~TDirectDrawSurfaceCanvas();
    TDirectDrawSurfaceCanvas(const TDirectDrawSurfaceCanvas&) = delete;
    TDirectDrawSurfaceCanvas& operator=(const TDirectDrawSurfaceCanvas&) = delete;

    TBrushStyle BrushStyle = TBrushStyle::bsSolid;
    TColor BrushColor = clWhite;
    TColor PenColor = clBlack;
    TCanvasFont Font;

    // The painter over the surface's pixels, or null when the device context
    // cannot be had (no interface, lost, busy); then nothing is drawn.
    QPainter* Painter();
    // The image wrapping the surface's pixels while the context is held.
    QImage* Image();
    bool HandleAllocated() const { return dc_ != nullptr; }
    // Gives the device context back; harmless when none is held.
    void Release();

    void TextOut(int x, int y, const std::string& text);
    void FillRect(const TRect& rect);
    // Draws a picture stretched into `rect`.
    void StretchDraw(const TRect& rect, TGraphic& graphic);
    void Draw(int x, int y, TGraphic& graphic);
    // Colour-on-colour stretched copy of `src` of the bitmap into `dest`.
    void StretchBlt(const TRect& dest, const TBitmapBits& bits, const TRect& src);

    // The Qt font the canvas uses for a font description: by default the
    // toolkit's CanvasFont (points at 96 dots per inch, "fixedsys" served by
    // the bundled raster face), then bold and italic. Replacing it makes
    // every canvas resolve its font again; an empty function restores the
    // default.
    using FontResolverFunction = std::function<QFont(const TCanvasFont&)>;
    static void SetFontResolver(FontResolverFunction resolver);

private:
    bool Acquire();

    TDirectDrawSurface& surface_;
    ddraw::HDC dc_ = nullptr;
    std::unique_ptr<QPainter> painter_;

    // The Qt fonts resolved lately, with their metrics and the texts last
    // laid out in them: resolving and measuring a font, and shaping a line,
    // cost far more than drawing it, and the same few fonts and lines are
    // used frame after frame (the title screen alternates two fonts).
    struct ResolvedFont {
        std::string name;
        int size = 0;
        bool bold = false;
        bool italic = false;
        unsigned generation = 0;   // of the resolver it came from
        QFont font;
        int ascent = 0;
        int height = 0;
        std::vector<std::pair<QString, QStaticText>> texts;   // laid out, oldest replaced first
        std::size_t nextText = 0;
        QString lastDrawn;   // drawn once without a layout
    };
    std::vector<std::unique_ptr<ResolvedFont>> fonts_;
    std::size_t nextFont_ = 0;
    ResolvedFont& Resolve();
    ResolvedFont& ApplyFont();   // also sets the painter's font and pen
    // The layout of `text` in `font`, made when a text is drawn a second
    // time in a row or found among the kept ones (one-off texts such as file
    // names are cheaper to draw directly); null the first time.
    static const QStaticText* LaidOut(ResolvedFont& font, const QString& text);

    static FontResolverFunction fontResolver_;
    static unsigned fontResolverGeneration_;
};

class TDirectDrawSurface : public TDirectX {
public:
    explicit TDirectDrawSurface(TDirectDraw& owner);
    ~TDirectDrawSurface() override;
    TDirectDrawSurface(const TDirectDrawSurface&) = delete;
    TDirectDrawSurface& operator=(const TDirectDrawSurface&) = delete;

    TDirectDraw* DDraw() const { return owner_; }

    // Raises EDirectDrawSurfaceError "IDirectDrawSurface not made" without one.
    ddraw::IDirectDrawSurface* ISurface() const;
    ddraw::IDirectDrawSurface* Interface() const { return interface_.Get(); }
    // Takes the interface (none: drops it), refreshing the clipper flag and
    // the cached description.
    void SetInterface(ddraw::ComPtr<ddraw::IDirectDrawSurface> surface);

    // Ask for system memory; the layer also sets this when video memory ran out.
    bool SystemMemory = false;

    int Width() const { return static_cast<int>(desc_.dwWidth); }
    int Height() const { return static_cast<int>(desc_.dwHeight); }
    int BitCount() const { return static_cast<int>(desc_.ddpfPixelFormat.dwRGBBitCount); }
    TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }
    const ddraw::DDSURFACEDESC& SurfaceDesc() const { return desc_; }
    bool HasClipper() const { return hasClipper_; }

    // Drops the current interface and creates one from the description; the
    // new surface gets the source colour key 0. True on success.
    bool CreateSurface(const ddraw::DDSURFACEDESC& desc);
    // An off-screen surface of W x H (W or H <= 0: no surface), in video
    // memory unless SystemMemory, falling back to system memory. Raises
    // EDirectDrawSurfaceError "Surface cannot be made".
    void SetSize(int width, int height);
    // Makes the surface W x H (0: the size of `src`) and copies `src` of the
    // picture onto it, stretched.
    void LoadPictureRect(TGraphic& graphic, int width, int height, const TRect& src);

    // The raw pixel value the surface stores for a colour.
    std::uint32_t PixelValueOf(TColor color);
    // Sets the source colour key to a raw pixel value.
    void SetTransparentColor(std::uint32_t value);
    // Raw pixel access; outside the surface, without an interface or when the
    // lock fails, reads give 0 and writes do nothing.
    std::uint32_t Pixel(int x, int y);
    void SetPixel(int x, int y, std::uint32_t value);

    void SetPalette(TDirectDrawPalette* palette);
    void SetClipper(TDirectDrawClipper* clipper);
    bool Restore();
    bool Lock(ddraw::DDSURFACEDESC& desc, const TRect* rect = nullptr);
    void Unlock();

    // Copies `src` of `source` to (x, y), clipped to both surfaces; with
    // `transparent` through the source's colour key.
    void Draw(int x, int y, const TRect& src, TDirectDrawSurface* source, bool transparent);
    // The platform's BltFast as is: no clipping; true when it succeeded.
    bool BltFast(int x, int y, const TRect& src, ddraw::DWORD flags, TDirectDrawSurface* source);
    // The platform's Blt as is; null rectangles mean the whole surface.
    bool Blt(const TRect* dest, const TRect* src, ddraw::DWORD flags, const ddraw::DDBLTFX& effects,
             TDirectDrawSurface* source);
    void BlitRect(const TRect& dest, const TRect& src, TDirectDrawSurface* source, bool transparent);
    // Colour fill of the whole surface with a raw pixel value.
    void Fill(std::uint32_t color);

    TDirectDrawSurfaceCanvas& Canvas();
    bool HasCanvas() const { return canvas_ != nullptr; }

private:
    friend class TDirectDraw;
    bool TryCreate(int width, int height, bool systemMemory);

    TDirectDraw* owner_;
    ddraw::ComPtr<ddraw::IDirectDrawSurface> interface_;
    ddraw::DDSURFACEDESC desc_;
    bool hasClipper_ = false;
    std::unique_ptr<TDirectDrawSurfaceCanvas> canvas_;
};

// The clipping of Draw: cuts destination `dest` and source `src` together
// against the destination's bounds and the source's bounds. True when
// something is left.
bool ClipBlitRects(TRect& dest, TRect& src, const TRect& destBounds, const TRect& srcBounds);

class TDIB;
// The pixels of a device-independent bitmap as the stretched copy reads them.
TBitmapBits BitsOf(const TDIB& dib);
