// The retained-mode device: the render settings of a 3D device on a surface.
//
// Settings and their effect on drawing:
//   quality       shade | light | fill bits. Shade: D3DRMSHADE_FLAT lights
//                 each face once with its face normal; _GOURAUD (and _PHONG,
//                 drawn as Gouraud) lights each vertex and blends across the
//                 face. Light: D3DRMLIGHT_ON applies the scene's lights;
//                 _OFF draws the material colour as it is. Fill: _SOLID,
//                 _WIREFRAME (edges), _POINTS (corners). 137 = Gouraud, lit,
//                 solid. Unknown bits are refused.
//   texture quality  D3DRMTEXTURE_NEAREST or _LINEAR (bilinear); the mip-map
//                 qualities 2..5 are accepted and drawn without mip-maps,
//                 nearest for 2, bilinear for 3..5.
//   dither        4 x 4 ordered dither on the rounding to 8 bits per channel.
//   shades        shades per colour: quantises the mono device's lighting
//                 intensity to that many steps.
//   buffer count  how many frames a drawn area stays in the update
//                 rectangles that Update reports (2 for a flipped pair).
//   render mode   D3DRMRENDERMODE_BLENDEDTRANSPARENCY blends faces whose
//                 material opacity is below 1 over what lies behind them
//                 (without it they are drawn opaque);
//                 _SORTEDTRANSPARENCY also draws them after all opaque faces,
//                 farthest first.
#pragma once

#include "D3DRMTypes.h"
#include "Direct3D.h"
#include "Rasterizer.h"
#include "Unknown.h"

#include <deque>
#include <vector>

namespace d3drm {

class IDirect3DRMDevice;
// Told after Update which areas of the surface changed since the last one.
using D3DRMUPDATECALLBACK = void (*)(IDirect3DRMDevice* device, void* argument, int rectCount,
                                     const PixelRect* rects);

class IDirect3DRMDevice final : public IUnknown {
    ~IDirect3DRMDevice() override = default;  // objects go only through Release

public:
    explicit IDirect3DRMDevice(Ref<IDirect3DDevice> device) : device_(std::move(device)) {}

    HRESULT SetBufferCount(uint32_t count);
    uint32_t GetBufferCount() const { return bufferCount_; }
    HRESULT SetQuality(D3DRMRENDERQUALITY quality);
    D3DRMRENDERQUALITY GetQuality() const { return quality_; }
    HRESULT SetTextureQuality(uint32_t quality);
    uint32_t GetTextureQuality() const { return textureQuality_; }
    HRESULT SetDither(bool dither) { return device_->SetRenderState(D3DRENDERSTATE_DITHERENABLE, dither ? 1 : 0); }
    bool GetDither() const { return device_->Dither(); }
    HRESULT SetShades(uint32_t shades);
    uint32_t GetShades() const { return shades_; }
    HRESULT SetRenderMode(uint32_t flags);
    uint32_t GetRenderMode() const { return renderMode_; }

    int GetWidth() const { return device_->Target().Width(); }
    int GetHeight() const { return device_->Target().Height(); }
    D3DCOLORMODEL GetColorModel() const { return device_->ColorModel(); }

    // The immediate-mode device underneath (one object serves both names).
    HRESULT GetDirect3DDevice(Ref<IDirect3DDevice>& device) const
    {
        device = device_;
        return D3DRM_OK;
    }
    HRESULT GetDirect3DDevice2(Ref<IDirect3DDevice2>& device) const { return GetDirect3DDevice(device); }

    // Ends a frame: reports the update rectangles (the areas drawn during the
    // last `buffer count` frames plus the areas forced by viewports) to the
    // update callbacks, then starts collecting afresh.
    HRESULT Update();
    HRESULT AddUpdateCallback(D3DRMUPDATECALLBACK callback, void* argument);
    HRESULT DeleteUpdateCallback(D3DRMUPDATECALLBACK callback, void* argument);
    // The rectangles of the last Update.
    const std::vector<PixelRect>& LastUpdateRects() const { return lastUpdate_; }

    // ---- Used by viewports ----
    IDirect3DDevice& Immediate() { return *device_; }
    void AddForcedRect(const PixelRect& rect);
    void AddDrawnRect(const PixelRect& rect) { currentDrawn_.Unite(rect); }
    TextureFilter Filter() const
    {
        return textureQuality_ == D3DRMTEXTURE_NEAREST || textureQuality_ == 2 ? TextureFilter::Nearest
                                                                                : TextureFilter::Linear;
    }

private:
    Ref<IDirect3DDevice> device_;
    uint32_t bufferCount_ = 1;
    D3DRMRENDERQUALITY quality_ = D3DRMRENDER_FLAT;
    uint32_t textureQuality_ = D3DRMTEXTURE_NEAREST;
    uint32_t shades_ = 32;
    uint32_t renderMode_ = 0;
    PixelRect currentDrawn_;
    std::deque<PixelRect> drawnHistory_;  // earlier frames, newest first
    std::vector<PixelRect> forced_;
    std::vector<PixelRect> lastUpdate_;
    struct Callback {
        D3DRMUPDATECALLBACK function;
        void* argument;
    };
    std::vector<Callback> callbacks_;
};
using IDirect3DRMDevice2 = IDirect3DRMDevice;

}  // namespace d3drm
