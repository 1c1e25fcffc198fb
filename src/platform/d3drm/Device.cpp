#include "Device.h"

#include <algorithm>

namespace d3drm {

HRESULT IDirect3DRMDevice::SetBufferCount(uint32_t count)
{
    if (count < 1 || count > 8)
        return D3DRMERR_BADVALUE;
    bufferCount_ = count;
    while (drawnHistory_.size() > bufferCount_ - 1)
        drawnHistory_.pop_back();
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::SetQuality(D3DRMRENDERQUALITY quality)
{
    uint32_t shade = quality & D3DRMSHADE_MASK;
    uint32_t light = quality & D3DRMLIGHT_MASK;
    uint32_t fill = quality & D3DRMFILL_MASK;
    bool known = (quality & ~(D3DRMSHADE_MASK | D3DRMLIGHT_MASK | D3DRMFILL_MASK)) == 0;
    if (!known || shade > D3DRMSHADE_PHONG || (light != D3DRMLIGHT_ON && light != D3DRMLIGHT_OFF) ||
        (fill != D3DRMFILL_POINTS && fill != D3DRMFILL_WIREFRAME && fill != D3DRMFILL_SOLID))
        return D3DRMERR_BADVALUE;
    quality_ = quality;
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::SetTextureQuality(uint32_t quality)
{
    if (quality > 5)
        return D3DRMERR_BADVALUE;
    textureQuality_ = quality;
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::SetShades(uint32_t shades)
{
    if (shades == 0 || (shades & (shades - 1)) != 0 || shades > 256)
        return D3DRMERR_BADVALUE;
    shades_ = shades;
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::SetRenderMode(uint32_t flags)
{
    if (flags & ~(D3DRMRENDERMODE_BLENDEDTRANSPARENCY | D3DRMRENDERMODE_SORTEDTRANSPARENCY))
        return D3DRMERR_BADVALUE;
    renderMode_ = flags;
    return D3DRM_OK;
}

void IDirect3DRMDevice::AddForcedRect(const PixelRect& rect)
{
    PixelRect clipped = rect.Intersect({0, 0, GetWidth(), GetHeight()});
    if (!clipped.Empty())
        forced_.push_back(clipped);
}

HRESULT IDirect3DRMDevice::Update()
{
    lastUpdate_ = forced_;
    PixelRect drawn = currentDrawn_;
    for (const PixelRect& earlier : drawnHistory_)
        drawn.Unite(earlier);
    if (!drawn.Empty())
        lastUpdate_.push_back(drawn);

    if (bufferCount_ > 1) {
        drawnHistory_.push_front(currentDrawn_);
        while (drawnHistory_.size() > bufferCount_ - 1)
            drawnHistory_.pop_back();
    }
    currentDrawn_ = {};
    forced_.clear();

    // A callback may remove itself: call a copy of the list.
    std::vector<Callback> callbacks = callbacks_;
    for (const Callback& c : callbacks)
        c.function(this, c.argument, static_cast<int>(lastUpdate_.size()), lastUpdate_.data());
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::AddUpdateCallback(D3DRMUPDATECALLBACK callback, void* argument)
{
    if (!callback)
        return D3DRMERR_BADVALUE;
    callbacks_.push_back({callback, argument});
    return D3DRM_OK;
}

HRESULT IDirect3DRMDevice::DeleteUpdateCallback(D3DRMUPDATECALLBACK callback, void* argument)
{
    auto it = std::find_if(callbacks_.begin(), callbacks_.end(),
                           [&](const Callback& c) { return c.function == callback && c.argument == argument; });
    if (it == callbacks_.end())
        return D3DRMERR_NOTFOUND;
    callbacks_.erase(it);
    return D3DRM_OK;
}

}  // namespace d3drm
