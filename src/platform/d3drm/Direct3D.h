// The 3D devices this layer offers, and the device object they are made as.
//
// IDirect3D (also used where IDirect3D2 is asked for) enumerates the devices
// and makes immediate-mode devices on a surface. Both devices are software
// devices (their hardware description has colour model 0) running the same
// rasteriser; they differ in colour model:
//   - "Software Mono": mono (ramp) lighting. Lights count by their intensity
//     (0.299 R + 0.587 G + 0.114 B), quantised to the device's shade count,
//     and that single intensity scales the material and texture colours.
//   - "Software RGB": lights keep their colours.
// They are reported in that order, mono first. Both render to 32-bit targets
// only (DDBD_32) and keep their own depth buffer, so they report no
// attachable Z-buffer depth.
#pragma once

#include "D3DRMTypes.h"
#include "Rasterizer.h"
#include "RenderTarget.h"
#include "Unknown.h"

#include <memory>

namespace d3drm {

extern const GUID IID_D3DSoftwareMonoDevice;
extern const GUID IID_D3DSoftwareRGBDevice;

using LPD3DENUMDEVICESCALLBACK = HRESULT (*)(const GUID* guid, const char* description, const char* name,
                                             const D3DDEVICEDESC* hardware, const D3DDEVICEDESC* software,
                                             void* context);

// Immediate-mode device: a rasteriser bound to one surface, with its render
// states. The retained-mode device draws through it.
class IDirect3DDevice final : public IUnknown {
    ~IDirect3DDevice() override = default;  // objects go only through Release

public:
    IDirect3DDevice(const GUID& guid, const D3DDEVICEDESC& description, std::shared_ptr<ISurfaceTarget> target);

    // D3DRENDERSTATE_DITHERENABLE switches the ordered dither;
    // D3DRENDERSTATE_ZENABLE and _ZWRITEENABLE are accepted and kept (the
    // device always depth-tests with its own buffer). Other states:
    // D3DRMERR_BADVALUE.
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value);
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t& value) const;
    HRESULT GetCaps(D3DDEVICEDESC& hardware, D3DDEVICEDESC& software) const;

    const GUID& Guid() const { return guid_; }
    D3DCOLORMODEL ColorModel() const { return description_.dcmColorModel; }
    bool Dither() const { return dither_; }
    ISurfaceTarget& Target() const { return *target_; }
    Rasterizer& Raster() { return rasterizer_; }

private:
    GUID guid_;
    D3DDEVICEDESC description_;
    std::shared_ptr<ISurfaceTarget> target_;
    Rasterizer rasterizer_;
    bool dither_ = false;
    uint32_t zEnable_ = 1;
    uint32_t zWriteEnable_ = 1;
};
using IDirect3DDevice2 = IDirect3DDevice;

class IDirect3D final : public IUnknown {
    ~IDirect3D() override = default;  // objects go only through Release

public:
    // Calls `callback` once per device in order, until it returns
    // D3DENUMRET_CANCEL.
    HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK callback, void* context) const;
    // Makes a device of the given kind on `target`. D3DRMERR_BADDEVICE for an
    // unknown GUID or a target depth the device does not render to.
    HRESULT CreateDevice(const GUID& guid, std::shared_ptr<ISurfaceTarget> target, Ref<IDirect3DDevice>& device);
};
using IDirect3D2 = IDirect3D;

HRESULT Direct3DCreate(Ref<IDirect3D>& direct3D);

// The description of a device by GUID; null for an unknown GUID.
const D3DDEVICEDESC* FindSoftwareDevice(const GUID& guid);

// The render-depth flag for a bit count (DDBD_32 for 32, ...; 0 for others).
uint32_t BitCountToDepthFlag(int bitCount);

}  // namespace d3drm
