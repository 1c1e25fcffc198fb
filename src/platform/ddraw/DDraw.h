// The display-object layer: a DirectDraw-shaped interface over plain memory.
//
// Surfaces are 32-bit pixel buffers in system memory, one uint32 per pixel
// holding 0x00RRGGBB (the layout of QImage::Format_RGB32; the top byte is
// not part of the colour and is ignored by colour keys). The primary surface
// has no pixels of its own: it stands for the screen, and what is written to
// it lands in the picture of the window it is bound to (through a clipper or
// the cooperative level), which that window then shows.
//
// Every call returns an HRESULT; DD_OK is success. The calls, flags and
// records follow the DirectDraw vocabulary so that the layer above reads the
// same on any platform; record sizes are this build's own (sizeof).
//
// Test switches (namespace ddraw::testing) make surfaces lost, shrink video
// memory or make DirectDrawCreate fail, so that the restore and fall-back
// logic above can be exercised.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QImage;

namespace ddraw {

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;

constexpr HRESULT MakeDDResult(std::uint32_t code) {
    return static_cast<HRESULT>(0x88760000u | code);
}

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DDERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDDResult(130);
constexpr HRESULT DDERR_INVALIDRECT = MakeDDResult(150);
constexpr HRESULT DDERR_INVALIDMODE = MakeDDResult(145);
constexpr HRESULT DDERR_NOCLIPLIST = MakeDDResult(205);
constexpr HRESULT DDERR_CANTLOCKSURFACE = MakeDDResult(215);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDDResult(220);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDDResult(230);
constexpr HRESULT DDERR_NOTFOUND = MakeDDResult(255);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MakeDDResult(380);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDDResult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDDResult(450);          // 0x887601C2
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MakeDDResult(410);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MakeDDResult(110);
constexpr HRESULT DDERR_SURFACENOTATTACHED = MakeDDResult(490);
constexpr HRESULT DDERR_WRONGMODE = MakeDDResult(587);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MakeDDResult(561);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MakeDDResult(563);
constexpr HRESULT DDERR_BLTFASTCANTCLIP = MakeDDResult(574);      // 0x8876023E
constexpr HRESULT DDERR_NOTLOCKED = MakeDDResult(584);
constexpr HRESULT DDERR_CANTCREATEDC = MakeDDResult(588);
constexpr HRESULT DDERR_NODC = MakeDDResult(602);
constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MakeDDResult(624);
constexpr HRESULT DDERR_NOHWND = MakeDDResult(569);
constexpr HRESULT DDERR_HWNDALREADYSET = MakeDDResult(571);

constexpr bool Succeeded(HRESULT r) { return r >= 0; }
constexpr bool Failed(HRESULT r) { return r < 0; }

// Surface description flags (DDSD_*).
constexpr DWORD DDSD_CAPS = 0x1;
constexpr DWORD DDSD_HEIGHT = 0x2;
constexpr DWORD DDSD_WIDTH = 0x4;
constexpr DWORD DDSD_PITCH = 0x8;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x20;
constexpr DWORD DDSD_ZBUFFERBITDEPTH = 0x40;
constexpr DWORD DDSD_LPSURFACE = 0x800;
constexpr DWORD DDSD_PIXELFORMAT = 0x1000;
constexpr DWORD DDSD_CKSRCBLT = 0x10000;

// Surface capabilities (DDSCAPS_*).
constexpr DWORD DDSCAPS_BACKBUFFER = 0x4;
constexpr DWORD DDSCAPS_COMPLEX = 0x8;
constexpr DWORD DDSCAPS_FLIP = 0x10;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x20;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr DWORD DDSCAPS_TEXTURE = 0x1000;
constexpr DWORD DDSCAPS_3DDEVICE = 0x2000;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x4000;
constexpr DWORD DDSCAPS_ZBUFFER = 0x20000;
constexpr DWORD DDSCAPS_MIPMAP = 0x400000;

// Driver capabilities (DDCAPS::dwCaps).
constexpr DWORD DDCAPS_3D = 0x1;
constexpr DWORD DDCAPS_BLT = 0x40;
constexpr DWORD DDCAPS_BLTSTRETCH = 0x200;
constexpr DWORD DDCAPS_COLORKEY = 0x400000;
constexpr DWORD DDCAPS_BLTCOLORFILL = 0x4000000;

// Blt flags.
constexpr DWORD DDBLT_COLORFILL = 0x400;
constexpr DWORD DDBLT_DDFX = 0x800;
constexpr DWORD DDBLT_KEYSRC = 0x8000;
constexpr DWORD DDBLT_KEYSRCOVERRIDE = 0x10000;
constexpr DWORD DDBLT_WAIT = 0x1000000;

// BltFast flags.
constexpr DWORD DDBLTFAST_NOCOLORKEY = 0x0;
constexpr DWORD DDBLTFAST_SRCCOLORKEY = 0x1;
constexpr DWORD DDBLTFAST_DESTCOLORKEY = 0x2;
constexpr DWORD DDBLTFAST_WAIT = 0x10;

// Colour key kinds.
constexpr DWORD DDCKEY_DESTBLT = 0x2;
constexpr DWORD DDCKEY_SRCBLT = 0x8;

// Lock, flip and vertical blank flags.
constexpr DWORD DDLOCK_WAIT = 0x1;
constexpr DWORD DDFLIP_WAIT = 0x1;
constexpr DWORD DDWAITVB_BLOCKBEGIN = 0x1;

// Cooperative levels.
constexpr DWORD DDSCL_FULLSCREEN = 0x1;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x2;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x4;
constexpr DWORD DDSCL_NORMAL = 0x8;
constexpr DWORD DDSCL_EXCLUSIVE = 0x10;
constexpr DWORD DDSCL_ALLOWMODEX = 0x40;

// Palette capabilities.
constexpr DWORD DDPCAPS_8BIT = 0x4;
constexpr DWORD DDPCAPS_INITIALIZE = 0x8;
constexpr DWORD DDPCAPS_ALLOW256 = 0x40;

// Pixel format flags.
constexpr DWORD DDPF_RGB = 0x40;

// Bit-depth flags used by device descriptions (DDBD_*).
constexpr DWORD DDBD_1 = 0x4000;
constexpr DWORD DDBD_2 = 0x2000;
constexpr DWORD DDBD_4 = 0x1000;
constexpr DWORD DDBD_8 = 0x800;
constexpr DWORD DDBD_16 = 0x400;
constexpr DWORD DDBD_24 = 0x200;
constexpr DWORD DDBD_32 = 0x100;

// Mask of the colour bits of a stored pixel.
constexpr std::uint32_t kColorBits = 0x00FFFFFFu;

struct RECT {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const RECT&, const RECT&) = default;
};

struct POINT {
    std::int32_t x = 0, y = 0;
};

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0, Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16);

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue = 0;
    DWORD dwColorSpaceHighValue = 0;
};

struct DDSCAPS {
    DWORD dwCaps = 0;
};

struct DDPIXELFORMAT {
    DWORD dwSize = sizeof(DDPIXELFORMAT);
    DWORD dwFlags = 0;
    DWORD dwFourCC = 0;
    DWORD dwRGBBitCount = 0;
    DWORD dwRBitMask = 0, dwGBitMask = 0, dwBBitMask = 0, dwRGBAlphaBitMask = 0;
};

struct DDSURFACEDESC {
    DWORD dwSize = sizeof(DDSURFACEDESC);
    DWORD dwFlags = 0;
    DWORD dwHeight = 0;
    DWORD dwWidth = 0;
    std::int32_t lPitch = 0;
    DWORD dwBackBufferCount = 0;
    DWORD dwZBufferBitDepth = 0;
    DWORD dwRefreshRate = 0;
    void* lpSurface = nullptr;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};

struct DDBLTFX {
    DWORD dwSize = sizeof(DDBLTFX);
    DWORD dwDDFX = 0;
    DWORD dwFillColor = 0;
    DDCOLORKEY ddckSrcColorkey;
    DDCOLORKEY ddckDestColorkey;
};

struct DDCAPS {
    DWORD dwSize = sizeof(DDCAPS);
    DWORD dwCaps = 0;
    DWORD dwCaps2 = 0;
    DWORD dwCKeyCaps = 0;
    DWORD dwPalCaps = 0;
    DWORD dwVidMemTotal = 0;
    DWORD dwVidMemFree = 0;
    DDSCAPS ddsCaps;
};

struct PALETTEENTRY {
    std::uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
    friend bool operator==(const PALETTEENTRY&, const PALETTEENTRY&) = default;
};

// A window that primary-surface output can land in. The window owns a
// picture the size of its client area and shows it; the display layer
// writes into it and then tells the window which part changed.
struct WindowPicture {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitchBytes = 0;
};

class IWindow {
public:
    // Screen position of the client area's top-left corner.
    virtual POINT ClientOrigin() const = 0;
    // The picture to write into, sized to the client area (may be empty).
    virtual WindowPicture LockPicture() = 0;
    // Writing is done; `changed` (client coordinates) must be shown again.
    virtual void UnlockPicture(const RECT& changed) = 0;

protected:
    ~IWindow() = default;
};
using HWND = IWindow*;

// Reference counting shared by the display objects.
class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;
    std::uint32_t AddRef() { return ++refs_; }
    std::uint32_t Release() {
        const std::uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::uint32_t refs_ = 1;
};

// Owning reference to a counted object: adopts one reference on Attach,
// adds one on copy, releases on destruction.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(const ComPtr& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr other) noexcept { std::swap(p_, other.p_); return *this; }
    static ComPtr Adopt(T* raw) { ComPtr c; c.p_ = raw; return c; }
    static ComPtr Share(T* raw) { if (raw) raw->AddRef(); return Adopt(raw); }
    void Reset() { if (p_) { T* p = p_; p_ = nullptr; p->Release(); } }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() { Reset(); return &p_; }  // out-parameter form: takes the callee's reference

private:
    T* p_ = nullptr;
};

class IDirectDraw;
class IDirectDrawSurface;
class IDirectDrawPalette;
class IDirectDrawClipper;

// A device context over a surface: a QImage that wraps the surface's own
// pixels (no copy). Paint on it with QPainter; give it back with ReleaseDC.
struct DeviceContext;
using HDC = DeviceContext*;
QImage& ImageOf(HDC dc);

class IDirectDrawPalette : public RefCounted {
public:
    HRESULT GetCaps(DWORD* caps) const;
    HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* entries) const;
    HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries);

private:
    friend class IDirectDraw;
    IDirectDrawPalette(DWORD caps, const PALETTEENTRY* entries);
    DWORD caps_;
    PALETTEENTRY entries_[256];
};

class IDirectDrawClipper : public RefCounted {
public:
    HRESULT SetHWnd(DWORD flags, HWND window);
    HRESULT GetHWnd(HWND* window) const;

private:
    friend class IDirectDraw;
    IDirectDrawClipper() = default;
    HWND window_ = nullptr;
};

class IDirectDrawSurface : public RefCounted {
public:
    HRESULT Blt(const RECT* destRect, IDirectDrawSurface* source, const RECT* sourceRect,
                DWORD flags, const DDBLTFX* effects);
    HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface* source, const RECT* sourceRect,
                    DWORD flags);
    HRESULT Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD flags, void* event);
    HRESULT Unlock(void* surfaceData);
    HRESULT GetDC(HDC* dc);
    HRESULT ReleaseDC(HDC dc);
    HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) const;
    HRESULT GetCaps(DDSCAPS* caps) const;
    HRESULT SetColorKey(DWORD flags, const DDCOLORKEY* key);
    HRESULT GetColorKey(DWORD flags, DDCOLORKEY* key) const;
    HRESULT SetPalette(IDirectDrawPalette* palette);
    HRESULT GetPalette(IDirectDrawPalette** palette) const;
    HRESULT SetClipper(IDirectDrawClipper* clipper);
    HRESULT GetClipper(IDirectDrawClipper** clipper) const;
    HRESULT IsLost() const;
    HRESULT Restore();
    HRESULT Flip(IDirectDrawSurface* target, DWORD flags);
    HRESULT GetAttachedSurface(const DDSCAPS* caps, IDirectDrawSurface** surface) const;
    HRESULT AddAttachedSurface(IDirectDrawSurface* surface);
    HRESULT DeleteAttachedSurface(DWORD flags, IDirectDrawSurface* surface);

    // Not part of the classic interface: direct access to the pixel buffer for
    // code of this program that must not pay for Lock (the 3D rasteriser's
    // render target adapter). Null for the primary surface.
    std::uint32_t* Scanline(int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }
    int PitchBytes() const { return pitchBytes_; }

private:
    friend class IDirectDraw;
    friend struct SurfaceAccess;
    IDirectDrawSurface(IDirectDraw* owner, const DDSURFACEDESC& desc, DWORD caps, int width,
                       int height);
    ~IDirectDrawSurface() override;

    bool IsPrimary() const { return (caps_ & DDSCAPS_PRIMARYSURFACE) != 0; }
    bool LostNow() const;
    HRESULT Busy() const;
    HWND TargetWindow() const;

    ComPtr<IDirectDraw> owner_;
    DWORD caps_;
    int width_;
    int height_;
    int pitchBytes_ = 0;
    std::unique_ptr<std::uint32_t[]> pixels_;
    std::size_t videoBytes_ = 0;
    DWORD zBufferBitDepth_ = 0;
    bool hasSrcKey_ = false;
    DDCOLORKEY srcKey_;
    bool hasDestKey_ = false;
    DDCOLORKEY destKey_;
    ComPtr<IDirectDrawPalette> palette_;
    ComPtr<IDirectDrawClipper> clipper_;
    std::vector<ComPtr<IDirectDrawSurface>> attached_;
    IDirectDrawSurface* backBuffer_ = nullptr;  // a flipping chain's back buffer (in attached_)
    int lockCount_ = 0;
    std::unique_ptr<DeviceContext> dc_;
    bool dcHeld_ = false;
    std::uint64_t lossGeneration_;
};

using LPDDENUMMODESCALLBACK = HRESULT (*)(DDSURFACEDESC* mode, void* context);
constexpr HRESULT DDENUMRET_CANCEL = 0;
constexpr HRESULT DDENUMRET_OK = 1;

class IDirectDraw : public RefCounted {
public:
    HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) const;
    HRESULT CreateSurface(const DDSURFACEDESC* desc, IDirectDrawSurface** surface, void* outer);
    HRESULT CreatePalette(DWORD flags, const PALETTEENTRY* entries, IDirectDrawPalette** palette,
                          void* outer);
    HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, void* outer);
    HRESULT SetCooperativeLevel(HWND window, DWORD flags);
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitCount);
    HRESULT RestoreDisplayMode();
    HRESULT EnumDisplayModes(DWORD flags, const DDSURFACEDESC* filter, void* context,
                             LPDDENUMMODESCALLBACK callback);
    HRESULT GetDisplayMode(DDSURFACEDESC* desc) const;
    HRESULT WaitForVerticalBlank(DWORD flags, void* event);
    HRESULT FlipToGDISurface();

    HWND CooperativeWindow() const { return window_; }
    DWORD CooperativeLevel() const { return level_; }

private:
    friend HRESULT DirectDrawCreate(const GUID*, IDirectDraw**, void*);
    IDirectDraw() = default;
    HWND window_ = nullptr;
    DWORD level_ = 0;
    int modeWidth_ = 0, modeHeight_ = 0, modeBits_ = 0;  // 0: the desktop's mode
};

// Entry points of the display library ("DDraw.dll").
using LPDDENUMCALLBACKA = int (*)(GUID* guid, char* description, char* name, void* context);
HRESULT DirectDrawCreate(const GUID* driver, IDirectDraw** directDraw, void* outer);
HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context);

// Looks up an entry point of the display library by name (for the library
// loader); null when there is none.
void* LookupEntryPoint(const char* name);

// Size and depth of the desktop as the display layer reports it.
struct DesktopMode {
    int width = 1920;
    int height = 1080;
    int bitCount = 32;
};
DesktopMode CurrentDesktopMode();

namespace testing {
// While on, every surface reports DDERR_SURFACELOST and cannot be restored;
// surfaces stay lost after the switch goes off until Restore is called.
void SetSurfacesLost(bool lost);
bool SurfacesLost();
// Bytes of video memory left for surfaces that do not ask for system memory.
void SetVideoMemoryBytes(std::size_t bytes);
std::size_t VideoMemoryBytesFree();
// Makes DirectDrawCreate fail (as when no display driver is present).
void SetCreateFails(bool fails);
// Restores every switch to its default.
void Reset();
}  // namespace testing

}  // namespace ddraw
