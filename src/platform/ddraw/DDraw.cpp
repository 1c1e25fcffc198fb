#include "platform/ddraw/DDraw.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/ddraw/Blit.h"

namespace ddraw {

struct DeviceContext {
    QImage image;
};

QImage& ImageOf(HDC dc) { return dc->image; }

namespace {

// Largest side and pixel count of one surface: far above anything the
// program draws, low enough that a bad size cannot exhaust memory.
constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = std::int64_t{64} * 1024 * 1024;
constexpr std::size_t kDefaultVideoMemory = std::size_t{64} * 1024 * 1024;

struct GlobalState {
    bool lost = false;
    std::uint64_t lossGeneration = 1;
    std::size_t videoFree = kDefaultVideoMemory;
    std::size_t videoTotal = kDefaultVideoMemory;
    bool createFails = false;
};
GlobalState& State() {
    static GlobalState state;
    return state;
}

constexpr std::uint64_t kBornLost = std::numeric_limits<std::uint64_t>::max();

struct DisplayMode {
    int width, height, bitCount;
};
// The modes the display offers. Surfaces are always 32-bit, so only 32-bit
// modes are listed.
constexpr DisplayMode kModes[] = {
    {640, 480, 32}, {800, 600, 32}, {1024, 768, 32},
    {1280, 720, 32}, {1280, 1024, 32}, {1920, 1080, 32},
};

void FillPixelFormat(DDPIXELFORMAT& pf) {
    pf = DDPIXELFORMAT{};
    pf.dwFlags = DDPF_RGB;
    pf.dwRGBBitCount = 32;
    pf.dwRBitMask = 0x00FF0000;
    pf.dwGBitMask = 0x0000FF00;
    pf.dwBBitMask = 0x000000FF;
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Rectangles reaching this far are refused, so that no width, height or
// scaled offset computed from them can overflow.
constexpr std::int32_t kMaxCoordinate = 1 << 24;
bool Sane(const RECT& r) {
    return r.left >= -kMaxCoordinate && r.top >= -kMaxCoordinate && r.right <= kMaxCoordinate &&
           r.bottom <= kMaxCoordinate;
}

bool Inside(const RECT& r, int width, int height) {
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && !Empty(r);
}

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

blit::KeyRange RangeOf(const DDCOLORKEY& key) {
    const std::uint32_t low = key.dwColorSpaceLowValue & blit::kColorMask;
    const std::uint32_t high = std::max(low, key.dwColorSpaceHighValue & blit::kColorMask);
    return blit::KeyRange{low, high - low};
}

// A destination the pixel loops can write: a buffer, its size, the offset
// that turns surface coordinates into buffer coordinates, and whether the
// top byte must be set.
struct Target {
    blit::Pixels pixels;
    int width = 0, height = 0;
    int originX = 0, originY = 0;  // buffer (0,0) in surface coordinates
    bool opaqueTop = false;
};

// Copies src[srcRect] into the target at destRect (surface coordinates),
// scaling when the sizes differ and writing only inside `clip` (surface
// coordinates, already inside the target).
void CopyInto(const Target& t, const RECT& destRect, const RECT& clip, blit::Pixels src,
              const RECT& srcRect, bool keyed, blit::KeyRange key) {
    const RECT visible = Intersect(destRect, clip);
    if (Empty(visible)) return;
    const int dw = destRect.right - destRect.left, dh = destRect.bottom - destRect.top;
    const int sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
    if (dw == sw && dh == sh) {
        const int sx = srcRect.left + (visible.left - destRect.left);
        const int sy = srcRect.top + (visible.top - destRect.top);
        const int dx = visible.left - t.originX, dy = visible.top - t.originY;
        const int w = visible.right - visible.left, h = visible.bottom - visible.top;
        using blit::Alpha;
        using blit::Key;
        if (keyed) {
            if (t.opaqueTop) blit::Copy<Key::Source, Alpha::Opaque>(t.pixels, dx, dy, src, sx, sy, w, h, key);
            else blit::Copy<Key::Source, Alpha::Keep>(t.pixels, dx, dy, src, sx, sy, w, h, key);
        } else {
            if (t.opaqueTop) blit::Copy<Key::None, Alpha::Opaque>(t.pixels, dx, dy, src, sx, sy, w, h, key);
            else blit::Copy<Key::None, Alpha::Keep>(t.pixels, dx, dy, src, sx, sy, w, h, key);
        }
        return;
    }
    const blit::StretchGeometry g{destRect.left - t.originX, destRect.top - t.originY, dw, dh,
                                  srcRect.left, srcRect.top, sw, sh,
                                  visible.left - t.originX, visible.top - t.originY,
                                  visible.right - t.originX, visible.bottom - t.originY};
    using blit::Alpha;
    using blit::Key;
    if (keyed) {
        if (t.opaqueTop) blit::Stretch<Key::Source, Alpha::Opaque>(t.pixels, src, g, key);
        else blit::Stretch<Key::Source, Alpha::Keep>(t.pixels, src, g, key);
    } else {
        if (t.opaqueTop) blit::Stretch<Key::None, Alpha::Opaque>(t.pixels, src, g, key);
        else blit::Stretch<Key::None, Alpha::Keep>(t.pixels, src, g, key);
    }
}

}  // namespace

// ---------------------------------------------------------------- palette

IDirectDrawPalette::IDirectDrawPalette(DWORD caps, const PALETTEENTRY* entries) : caps_(caps) {
    std::copy(entries, entries + 256, entries_);
}

HRESULT IDirectDrawPalette::GetCaps(DWORD* caps) const {
    if (!caps) return DDERR_INVALIDPARAMS;
    *caps = caps_;
    return DD_OK;
}

HRESULT IDirectDrawPalette::GetEntries(DWORD, DWORD start, DWORD count,
                                       PALETTEENTRY* entries) const {
    if (!entries || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
    std::copy(entries_ + start, entries_ + start + count, entries);
    return DD_OK;
}

HRESULT IDirectDrawPalette::SetEntries(DWORD, DWORD start, DWORD count,
                                       const PALETTEENTRY* entries) {
    if (!entries || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
    std::copy(entries, entries + count, entries_ + start);
    return DD_OK;
}

// ---------------------------------------------------------------- clipper

HRESULT IDirectDrawClipper::SetHWnd(DWORD, HWND window) {
    window_ = window;
    return DD_OK;
}

HRESULT IDirectDrawClipper::GetHWnd(HWND* window) const {
    if (!window) return DDERR_INVALIDPARAMS;
    *window = window_;
    return DD_OK;
}

// ---------------------------------------------------------------- surface

IDirectDrawSurface::IDirectDrawSurface(IDirectDraw* owner, const DDSURFACEDESC& desc, DWORD caps,
                                       int width, int height)
    : owner_(ComPtr<IDirectDraw>::Share(owner)),
      caps_(caps),
      width_(width),
      height_(height),
      zBufferBitDepth_(desc.dwZBufferBitDepth),
      lossGeneration_(State().lost ? kBornLost : State().lossGeneration) {}

IDirectDrawSurface::~IDirectDrawSurface() { State().videoFree += videoBytes_; }

std::uint32_t* IDirectDrawSurface::Scanline(int y) const {
    if (!pixels_ || y < 0 || y >= height_) return nullptr;
    return blit::Pixels{pixels_.get(), pitchBytes_}.Row(y);
}

bool IDirectDrawSurface::LostNow() const {
    return State().lost || lossGeneration_ != State().lossGeneration;
}

HRESULT IDirectDrawSurface::Busy() const {
    return (lockCount_ > 0 || dcHeld_) ? DDERR_SURFACEBUSY : DD_OK;
}

HWND IDirectDrawSurface::TargetWindow() const {
    HWND window = nullptr;
    if (clipper_) clipper_->GetHWnd(&window);
    if (!window) window = owner_->CooperativeWindow();
    return window;
}

HRESULT IDirectDrawSurface::IsLost() const { return LostNow() ? DDERR_SURFACELOST : DD_OK; }

HRESULT IDirectDrawSurface::Restore() {
    if (State().lost) return DDERR_WRONGMODE;
    if (lossGeneration_ != State().lossGeneration) {
        lossGeneration_ = State().lossGeneration;
        // The memory was taken by someone else: what it held is gone.
        if (pixels_)
            std::memset(pixels_.get(), 0, static_cast<std::size_t>(pitchBytes_) * height_);
    }
    for (const auto& s : attached_) s->Restore();
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC* desc) const {
    if (!desc) return DDERR_INVALIDPARAMS;
    if (desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    *desc = DDSURFACEDESC{};
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<DWORD>(width_);
    desc->dwHeight = static_cast<DWORD>(height_);
    desc->lPitch = pixels_ ? pitchBytes_ : width_ * 4;
    desc->ddsCaps.dwCaps = caps_;
    if (caps_ & DDSCAPS_ZBUFFER) {
        desc->dwFlags |= DDSD_ZBUFFERBITDEPTH;
        desc->dwZBufferBitDepth = zBufferBitDepth_;
    }
    if (hasSrcKey_) {
        desc->dwFlags |= DDSD_CKSRCBLT;
        desc->ddckCKSrcBlt = srcKey_;
    }
    FillPixelFormat(desc->ddpfPixelFormat);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetCaps(DDSCAPS* caps) const {
    if (!caps) return DDERR_INVALIDPARAMS;
    caps->dwCaps = caps_;
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetColorKey(DWORD flags, const DDCOLORKEY* key) {
    if (LostNow()) return DDERR_SURFACELOST;
    if (flags & DDCKEY_SRCBLT) {
        hasSrcKey_ = key != nullptr;
        if (key) srcKey_ = *key;
        return DD_OK;
    }
    if (flags & DDCKEY_DESTBLT) {
        hasDestKey_ = key != nullptr;
        if (key) destKey_ = *key;
        return DD_OK;
    }
    return DDERR_INVALIDPARAMS;
}

HRESULT IDirectDrawSurface::GetColorKey(DWORD flags, DDCOLORKEY* key) const {
    if (!key) return DDERR_INVALIDPARAMS;
    if ((flags & DDCKEY_SRCBLT) && hasSrcKey_) { *key = srcKey_; return DD_OK; }
    if ((flags & DDCKEY_DESTBLT) && hasDestKey_) { *key = destKey_; return DD_OK; }
    return DDERR_NOCOLORKEY;
}

HRESULT IDirectDrawSurface::SetPalette(IDirectDrawPalette* palette) {
    if (LostNow()) return DDERR_SURFACELOST;
    palette_ = ComPtr<IDirectDrawPalette>::Share(palette);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetPalette(IDirectDrawPalette** palette) const {
    if (!palette) return DDERR_INVALIDPARAMS;
    if (!palette_) { *palette = nullptr; return DDERR_NOPALETTEATTACHED; }
    palette_->AddRef();
    *palette = palette_.Get();
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetClipper(IDirectDrawClipper* clipper) {
    clipper_ = ComPtr<IDirectDrawClipper>::Share(clipper);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetClipper(IDirectDrawClipper** clipper) const {
    if (!clipper) return DDERR_INVALIDPARAMS;
    if (!clipper_) { *clipper = nullptr; return DDERR_NOCLIPPERATTACHED; }
    clipper_->AddRef();
    *clipper = clipper_.Get();
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(const DDSCAPS* caps,
                                               IDirectDrawSurface** surface) const {
    if (!caps || !surface) return DDERR_INVALIDPARAMS;
    for (const auto& s : attached_) {
        if ((s->caps_ & caps->dwCaps) == caps->dwCaps) {
            s->AddRef();
            *surface = s.Get();
            return DD_OK;
        }
    }
    *surface = nullptr;
    return DDERR_NOTFOUND;
}

HRESULT IDirectDrawSurface::AddAttachedSurface(IDirectDrawSurface* surface) {
    if (!surface || surface == this) return DDERR_INVALIDPARAMS;
    if (LostNow() || surface->LostNow()) return DDERR_SURFACELOST;
    for (const auto& s : attached_)
        if (s.Get() == surface) return DDERR_SURFACEALREADYATTACHED;
    // Only depth buffers of the same size attach to a drawing surface.
    if (!(surface->caps_ & DDSCAPS_ZBUFFER) || surface->width_ != width_ ||
        surface->height_ != height_)
        return DDERR_CANNOTATTACHSURFACE;
    attached_.push_back(ComPtr<IDirectDrawSurface>::Share(surface));
    return DD_OK;
}

HRESULT IDirectDrawSurface::DeleteAttachedSurface(DWORD, IDirectDrawSurface* surface) {
    if (!surface) {
        std::erase_if(attached_, [this](const auto& s) { return s.Get() != backBuffer_; });
        return DD_OK;
    }
    if (surface == backBuffer_) return DDERR_CANNOTATTACHSURFACE;
    const auto it = std::find_if(attached_.begin(), attached_.end(),
                                 [surface](const auto& s) { return s.Get() == surface; });
    if (it == attached_.end()) return DDERR_SURFACENOTATTACHED;
    attached_.erase(it);
    return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD, void*) {
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    if (LostNow()) return DDERR_SURFACELOST;
    if (!pixels_) return DDERR_CANTLOCKSURFACE;
    if (dcHeld_) return DDERR_SURFACEBUSY;
    RECT r{0, 0, width_, height_};
    if (rect) {
        if (!Inside(*rect, width_, height_)) return DDERR_INVALIDRECT;
        r = *rect;
    }
    GetSurfaceDesc(desc);
    desc->dwFlags |= DDSD_LPSURFACE;
    desc->lpSurface = blit::Pixels{pixels_.get(), pitchBytes_}.Row(r.top) + r.left;
    ++lockCount_;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*) {
    if (lockCount_ == 0) return DDERR_NOTLOCKED;
    --lockCount_;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* dc) {
    if (!dc) return DDERR_INVALIDPARAMS;
    *dc = nullptr;
    if (LostNow()) return DDERR_SURFACELOST;
    if (!pixels_) return DDERR_CANTCREATEDC;
    if (dcHeld_ || lockCount_ > 0) return DDERR_SURFACEBUSY;
    if (!dc_) dc_ = std::make_unique<DeviceContext>();
    // Wraps the surface's own rows; painting on the image writes the surface.
    dc_->image = QImage(reinterpret_cast<uchar*>(pixels_.get()), width_, height_, pitchBytes_,
                        QImage::Format_RGB32);
    dcHeld_ = true;
    *dc = dc_.get();
    return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC dc) {
    if (!dcHeld_ || dc != dc_.get()) return DDERR_NODC;
    dc_->image = QImage();
    dcHeld_ = false;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Blt(const RECT* destRect, IDirectDrawSurface* source,
                                const RECT* sourceRect, DWORD flags, const DDBLTFX* effects) {
    if (LostNow() || (source && source->LostNow())) return DDERR_SURFACELOST;
    if (HRESULT r = Busy(); Failed(r)) return r;
    if (source && source != this)
        if (HRESULT r = source->Busy(); Failed(r)) return r;

    // Where the pixels go: our own buffer, or the picture of the window the
    // primary surface is shown in (surface coordinates = screen coordinates).
    Target target;
    HWND window = nullptr;
    WindowPicture picture;
    RECT clip;
    if (pixels_) {
        target.pixels = blit::Pixels{pixels_.get(), pitchBytes_};
        target.width = width_;
        target.height = height_;
        clip = RECT{0, 0, width_, height_};
    } else {
        window = TargetWindow();
        if (!window) return DD_OK;  // nothing of the screen is ours to show
        picture = window->LockPicture();
        const POINT origin = window->ClientOrigin();
        target.pixels = blit::Pixels{picture.pixels, picture.pitchBytes};
        target.width = picture.width;
        target.height = picture.height;
        target.originX = origin.x;
        target.originY = origin.y;
        target.opaqueTop = true;
        clip = RECT{origin.x, origin.y, origin.x + picture.width, origin.y + picture.height};
    }
    const auto finish = [&](HRESULT result, const RECT& changed) {
        if (window) {
            const RECT local{changed.left - target.originX, changed.top - target.originY,
                             changed.right - target.originX, changed.bottom - target.originY};
            window->UnlockPicture(Succeeded(result) ? local : RECT{});
        }
        return result;
    };

    RECT dest{0, 0, width_, height_};
    if (destRect) dest = *destRect;
    if (Empty(dest) || !Sane(dest)) return finish(DDERR_INVALIDRECT, RECT{});
    // Without a clipper the rectangle must lie on the surface (on the screen
    // for the primary); with one, output is cut to the clip area.
    if (!clipper_ && !Inside(dest, width_, height_)) return finish(DDERR_INVALIDRECT, RECT{});
    if (!window) clip = Intersect(clip, RECT{0, 0, width_, height_});

    if (flags & DDBLT_COLORFILL) {
        if (!effects) return finish(DDERR_INVALIDPARAMS, RECT{});
        const RECT visible = Intersect(dest, clip);
        if (!Empty(visible)) {
            std::uint32_t value = effects->dwFillColor;
            if (target.opaqueTop) value |= blit::kOpaqueTop;
            blit::Fill(target.pixels, visible.left - target.originX, visible.top - target.originY,
                       visible.right - target.originX, visible.bottom - target.originY, value);
        }
        return finish(DD_OK, Empty(visible) ? RECT{} : visible);
    }

    if (!source) return finish(DDERR_INVALIDPARAMS, RECT{});
    if (!source->pixels_) return finish(DDERR_UNSUPPORTED, RECT{});
    RECT src{0, 0, source->width_, source->height_};
    if (sourceRect) src = *sourceRect;
    if (!Inside(src, source->width_, source->height_)) return finish(DDERR_INVALIDRECT, RECT{});

    bool keyed = false;
    blit::KeyRange key;
    if (flags & DDBLT_KEYSRCOVERRIDE) {
        if (!effects) return finish(DDERR_INVALIDPARAMS, RECT{});
        keyed = true;
        key = RangeOf(effects->ddckSrcColorkey);
    } else if (flags & DDBLT_KEYSRC) {
        if (!source->hasSrcKey_) return finish(DDERR_NOCOLORKEY, RECT{});
        keyed = true;
        key = RangeOf(source->srcKey_);
    }

    blit::Pixels from{source->pixels_.get(), source->pitchBytes_};
    std::vector<std::uint32_t> copy;
    RECT fromRect = src;
    if (source == this) {
        // Reading and writing the same rows: take the source out first.
        const int w = src.right - src.left, h = src.bottom - src.top;
        copy.resize(static_cast<std::size_t>(w) * h);
        blit::Pixels tmp{copy.data(), w * 4};
        blit::Copy<blit::Key::None, blit::Alpha::Keep>(tmp, 0, 0, from, src.left, src.top, w, h, {});
        from = tmp;
        fromRect = RECT{0, 0, w, h};
    }
    CopyInto(target, dest, clip, from, fromRect, keyed, key);
    return finish(DD_OK, Intersect(dest, clip));
}

HRESULT IDirectDrawSurface::BltFast(DWORD x, DWORD y, IDirectDrawSurface* source,
                                    const RECT* sourceRect, DWORD flags) {
    if (!source) return DDERR_INVALIDPARAMS;
    if (LostNow() || source->LostNow()) return DDERR_SURFACELOST;
    if (clipper_) return DDERR_BLTFASTCANTCLIP;
    if (!pixels_ || !source->pixels_) return DDERR_UNSUPPORTED;
    if (HRESULT r = Busy(); Failed(r)) return r;
    if (source != this)
        if (HRESULT r = source->Busy(); Failed(r)) return r;
    if (flags & DDBLTFAST_DESTCOLORKEY) return DDERR_UNSUPPORTED;

    RECT src{0, 0, source->width_, source->height_};
    if (sourceRect) src = *sourceRect;
    if (!Inside(src, source->width_, source->height_)) return DDERR_INVALIDRECT;
    if (x > static_cast<DWORD>(kMaxSide) || y > static_cast<DWORD>(kMaxSide))
        return DDERR_INVALIDRECT;
    const int w = src.right - src.left, h = src.bottom - src.top;
    const RECT dest{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x) + w,
                    static_cast<int>(y) + h};
    if (!Inside(dest, width_, height_)) return DDERR_INVALIDRECT;

    bool keyed = false;
    blit::KeyRange key;
    if (flags & DDBLTFAST_SRCCOLORKEY) {
        if (!source->hasSrcKey_) return DDERR_NOCOLORKEY;
        keyed = true;
        key = RangeOf(source->srcKey_);
    }
    blit::Pixels to{pixels_.get(), pitchBytes_};
    blit::Pixels from{source->pixels_.get(), source->pitchBytes_};
    std::vector<std::uint32_t> copy;
    int sx = src.left, sy = src.top;
    if (source == this) {
        copy.resize(static_cast<std::size_t>(w) * h);
        blit::Pixels tmp{copy.data(), w * 4};
        blit::Copy<blit::Key::None, blit::Alpha::Keep>(tmp, 0, 0, from, sx, sy, w, h, {});
        from = tmp;
        sx = sy = 0;
    }
    if (keyed)
        blit::Copy<blit::Key::Source, blit::Alpha::Keep>(to, dest.left, dest.top, from, sx, sy, w, h, key);
    else
        blit::Copy<blit::Key::None, blit::Alpha::Keep>(to, dest.left, dest.top, from, sx, sy, w, h, key);
    return DD_OK;
}

HRESULT IDirectDrawSurface::Flip(IDirectDrawSurface* target, DWORD) {
    if (!backBuffer_) return DDERR_NOTFLIPPABLE;
    if (target && target != backBuffer_) return DDERR_INVALIDPARAMS;
    if (LostNow() || backBuffer_->LostNow()) return DDERR_SURFACELOST;
    if (HRESULT r = Busy(); Failed(r)) return r;
    if (HRESULT r = backBuffer_->Busy(); Failed(r)) return r;
    std::swap(pixels_, backBuffer_->pixels_);
    // The new front buffer is what the screen shows: hand it to the window.
    if (HWND window = owner_->CooperativeWindow()) {
        WindowPicture picture = window->LockPicture();
        const int w = std::min(picture.width, width_), h = std::min(picture.height, height_);
        if (w > 0 && h > 0)
            blit::Copy<blit::Key::None, blit::Alpha::Opaque>(
                blit::Pixels{picture.pixels, picture.pitchBytes}, 0, 0,
                blit::Pixels{pixels_.get(), pitchBytes_}, 0, 0, w, h, {});
        window->UnlockPicture(RECT{0, 0, std::max(w, 0), std::max(h, 0)});
    }
    return DD_OK;
}

// ---------------------------------------------------------------- DirectDraw

HRESULT IDirectDraw::GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) const {
    if (!driverCaps && !emulationCaps) return DDERR_INVALIDPARAMS;
    DDCAPS caps;
    // A blitter with stretching, colour fill and source keys; no 3D
    // acceleration (3D is rendered in software into system memory).
    caps.dwCaps = DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL;
    caps.dwCKeyCaps = DDCKEY_SRCBLT;
    caps.dwPalCaps = DDPCAPS_8BIT | DDPCAPS_ALLOW256;
    caps.dwVidMemTotal = static_cast<DWORD>(std::min<std::size_t>(State().videoTotal, 0xFFFFFFFFu));
    caps.dwVidMemFree = static_cast<DWORD>(std::min<std::size_t>(State().videoFree, 0xFFFFFFFFu));
    caps.ddsCaps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP |
                          DDSCAPS_FRONTBUFFER | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PRIMARYSURFACE |
                          DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE |
                          DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER;
    if (driverCaps) {
        if (driverCaps->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
        *driverCaps = caps;
    }
    if (emulationCaps) {
        if (emulationCaps->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
        *emulationCaps = caps;
        emulationCaps->dwVidMemTotal = emulationCaps->dwVidMemFree = 0;
    }
    return DD_OK;
}

HRESULT IDirectDraw::CreateSurface(const DDSURFACEDESC* desc, IDirectDrawSurface** surface, void*) {
    if (!desc || !surface || desc->dwSize != sizeof(DDSURFACEDESC) || !(desc->dwFlags & DDSD_CAPS))
        return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    DWORD caps = desc->ddsCaps.dwCaps;
    if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDPARAMS;

    if (caps & DDSCAPS_PRIMARYSURFACE) {
        const DesktopMode desk = CurrentDesktopMode();
        const int w = modeWidth_ ? modeWidth_ : desk.width;
        const int h = modeHeight_ ? modeHeight_ : desk.height;
        auto* primary = new IDirectDrawSurface(this, *desc, caps | DDSCAPS_VIDEOMEMORY |
                                                                DDSCAPS_FRONTBUFFER, w, h);
        if (caps & DDSCAPS_FLIP) {
            // A flipping chain: front and back buffer of the display's size.
            if (!(caps & DDSCAPS_COMPLEX) || !(desc->dwFlags & DDSD_BACKBUFFERCOUNT) ||
                desc->dwBackBufferCount != 1) {
                primary->Release();
                return DDERR_INVALIDPARAMS;
            }
            const int pitchPixels = (w + 3) & ~3;
            primary->pitchBytes_ = pitchPixels * 4;
            primary->pixels_ = std::make_unique<std::uint32_t[]>(
                static_cast<std::size_t>(pitchPixels) * h);
            auto* back = new IDirectDrawSurface(
                this, *desc,
                (caps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_COMPLEX)) |
                    DDSCAPS_BACKBUFFER | DDSCAPS_VIDEOMEMORY,
                w, h);
            back->pitchBytes_ = primary->pitchBytes_;
            back->pixels_ = std::make_unique<std::uint32_t[]>(
                static_cast<std::size_t>(pitchPixels) * h);
            primary->attached_.push_back(ComPtr<IDirectDrawSurface>::Adopt(back));
            primary->backBuffer_ = back;
        }
        *surface = primary;
        return DD_OK;
    }

    if (!(desc->dwFlags & DDSD_WIDTH) || !(desc->dwFlags & DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
    if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > static_cast<DWORD>(kMaxSide) ||
        desc->dwHeight > static_cast<DWORD>(kMaxSide))
        return DDERR_INVALIDPARAMS;
    const int width = static_cast<int>(desc->dwWidth);
    const int height = static_cast<int>(desc->dwHeight);
    const int pitchPixels = (width + 3) & ~3;  // rows start on 16-byte boundaries
    const std::int64_t count = std::int64_t{pitchPixels} * height;
    if (count > kMaxPixels) return DDERR_OUTOFMEMORY;
    const std::size_t bytes = static_cast<std::size_t>(count) * 4;

    std::size_t videoBytes = 0;
    if (caps & DDSCAPS_SYSTEMMEMORY) {
        // stays in system memory
    } else {
        // Video memory unless asked otherwise; when it runs out the caller
        // is told and may ask for system memory instead.
        if (bytes > State().videoFree) return DDERR_OUTOFVIDEOMEMORY;
        videoBytes = bytes;
        caps |= DDSCAPS_VIDEOMEMORY;
    }
    if ((caps & DDSCAPS_ZBUFFER) &&
        !(desc->dwFlags & DDSD_ZBUFFERBITDEPTH &&
          (desc->dwZBufferBitDepth == 16 || desc->dwZBufferBitDepth == 24 ||
           desc->dwZBufferBitDepth == 32)))
        return DDERR_INVALIDPARAMS;

    std::unique_ptr<std::uint32_t[]> pixels(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(count)]());
    if (!pixels) return DDERR_OUTOFMEMORY;
    auto* s = new IDirectDrawSurface(this, *desc, caps, width, height);
    s->pixels_ = std::move(pixels);
    s->pitchBytes_ = pitchPixels * 4;
    s->videoBytes_ = videoBytes;
    State().videoFree -= videoBytes;
    *surface = s;
    return DD_OK;
}

HRESULT IDirectDraw::CreatePalette(DWORD flags, const PALETTEENTRY* entries,
                                   IDirectDrawPalette** palette, void*) {
    if (!palette || !entries || !(flags & DDPCAPS_8BIT)) return DDERR_INVALIDPARAMS;
    *palette = new IDirectDrawPalette(flags, entries);
    return DD_OK;
}

HRESULT IDirectDraw::CreateClipper(DWORD, IDirectDrawClipper** clipper, void*) {
    if (!clipper) return DDERR_INVALIDPARAMS;
    *clipper = new IDirectDrawClipper();
    return DD_OK;
}

HRESULT IDirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
    const bool normal = (flags & DDSCL_NORMAL) != 0;
    const bool exclusive = (flags & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) ==
                           (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    if (normal == exclusive) return DDERR_INVALIDPARAMS;
    if (exclusive && !window) return DDERR_NOHWND;
    window_ = window;
    level_ = flags;
    return DD_OK;
}

HRESULT IDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitCount) {
    if (!(level_ & DDSCL_EXCLUSIVE)) return DDERR_WRONGMODE;
    for (const DisplayMode& m : kModes) {
        if (static_cast<DWORD>(m.width) == width && static_cast<DWORD>(m.height) == height &&
            static_cast<DWORD>(m.bitCount) == bitCount) {
            modeWidth_ = m.width;
            modeHeight_ = m.height;
            modeBits_ = m.bitCount;
            return DD_OK;
        }
    }
    return DDERR_INVALIDMODE;
}

HRESULT IDirectDraw::RestoreDisplayMode() {
    modeWidth_ = modeHeight_ = modeBits_ = 0;
    return DD_OK;
}

HRESULT IDirectDraw::GetDisplayMode(DDSURFACEDESC* desc) const {
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    const DesktopMode desk = CurrentDesktopMode();
    *desc = DDSURFACEDESC{};
    desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<DWORD>(modeWidth_ ? modeWidth_ : desk.width);
    desc->dwHeight = static_cast<DWORD>(modeHeight_ ? modeHeight_ : desk.height);
    desc->lPitch = static_cast<std::int32_t>(desc->dwWidth * 4);
    FillPixelFormat(desc->ddpfPixelFormat);
    return DD_OK;
}

HRESULT IDirectDraw::EnumDisplayModes(DWORD, const DDSURFACEDESC* filter, void* context,
                                      LPDDENUMMODESCALLBACK callback) {
    if (!callback) return DDERR_INVALIDPARAMS;
    for (const DisplayMode& m : kModes) {
        if (filter) {
            if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != static_cast<DWORD>(m.width))
                continue;
            if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != static_cast<DWORD>(m.height))
                continue;
            if ((filter->dwFlags & DDSD_PIXELFORMAT) &&
                filter->ddpfPixelFormat.dwRGBBitCount != static_cast<DWORD>(m.bitCount))
                continue;
        }
        DDSURFACEDESC mode;
        mode.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        mode.dwWidth = static_cast<DWORD>(m.width);
        mode.dwHeight = static_cast<DWORD>(m.height);
        mode.lPitch = m.width * 4;
        FillPixelFormat(mode.ddpfPixelFormat);
        if (callback(&mode, context) == DDENUMRET_CANCEL) break;
    }
    return DD_OK;
}

// The window system presents frames without tearing, so there is nothing to
// wait for.
HRESULT IDirectDraw::WaitForVerticalBlank(DWORD, void*) { return DD_OK; }

HRESULT IDirectDraw::FlipToGDISurface() { return DD_OK; }

HRESULT DirectDrawCreate(const GUID* driver, IDirectDraw** directDraw, void*) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (State().createFails) return DDERR_GENERIC;
    // There is one display driver, the primary one, which has no GUID.
    if (driver) return DDERR_INVALIDDIRECTDRAWGUID;
    *directDraw = new IDirectDraw();
    return DD_OK;
}

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context) {
    if (!callback) return DDERR_INVALIDPARAMS;
    char description[] = "Primary Display Driver";
    char name[] = "display";
    callback(nullptr, description, name, context);
    return DD_OK;
}

void* LookupEntryPoint(const char* name) {
    if (!name) return nullptr;
    if (std::strcmp(name, "DirectDrawCreate") == 0)
        return reinterpret_cast<void*>(&DirectDrawCreate);
    if (std::strcmp(name, "DirectDrawEnumerateA") == 0)
        return reinterpret_cast<void*>(&DirectDrawEnumerateA);
    return nullptr;
}

DesktopMode CurrentDesktopMode() {
    DesktopMode mode;
    if (QGuiApplication::instance()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect r = screen->geometry();
            if (r.width() > 0 && r.height() > 0) {
                mode.width = r.width();
                mode.height = r.height();
            }
        }
    }
    return mode;
}

namespace testing {
void SetSurfacesLost(bool lost) {
    if (lost && !State().lost) ++State().lossGeneration;
    State().lost = lost;
}
bool SurfacesLost() { return State().lost; }
void SetVideoMemoryBytes(std::size_t bytes) {
    State().videoFree = bytes;
    State().videoTotal = bytes;
}
std::size_t VideoMemoryBytesFree() { return State().videoFree; }
void SetCreateFails(bool fails) { State().createFails = fails; }
void Reset() {
    SetSurfacesLost(false);
    SetVideoMemoryBytes(kDefaultVideoMemory);
    State().createFails = false;
}
}  // namespace testing

}  // namespace ddraw
