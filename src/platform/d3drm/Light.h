// Lights: ambient and directional.
//
// A light's colour components are kept as given, also above 1.0 (a red of 2.0
// doubles the red it adds); only the final pixel colour is clamped. A
// directional light shines along the +z axis of the frame it is attached to;
// an ambient light lights every face alike, wherever it is attached.
#pragma once

#include "D3DRMTypes.h"
#include "Math3D.h"
#include "Unknown.h"

namespace d3drm {

class IDirect3DRMLight final : public IUnknown {
    ~IDirect3DRMLight() override = default;  // objects go only through Release

public:
    IDirect3DRMLight(D3DRMLIGHTTYPE type, D3DVALUE red, D3DVALUE green, D3DVALUE blue)
        : type_(type), colour_{red, green, blue}
    {
    }

    // The renderer lights with ambient and directional lights only; the
    // other kinds are refused where a light is made or changed.
    static bool IsSupported(D3DRMLIGHTTYPE type) { return type == D3DRMLIGHT_AMBIENT || type == D3DRMLIGHT_DIRECTIONAL; }

    D3DRMLIGHTTYPE GetType() const { return type_; }
    HRESULT SetType(D3DRMLIGHTTYPE type)
    {
        if (!IsSupported(type))
            return D3DRMERR_BADVALUE;
        type_ = type;
        return D3DRM_OK;
    }
    HRESULT SetColorRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue)
    {
        colour_ = {red, green, blue};
        return D3DRM_OK;
    }
    HRESULT SetColor(D3DCOLOR colour)
    {
        colour_ = {D3DRMColorGetRed(colour), D3DRMColorGetGreen(colour), D3DRMColorGetBlue(colour)};
        return D3DRM_OK;
    }
    // The colour as a packed value (components clamped to 0..1).
    D3DCOLOR GetColor() const { return D3DRMCreateColorRGB(colour_.x, colour_.y, colour_.z); }
    // The colour as given, components unclamped (x red, y green, z blue).
    Vec3 Colour() const { return colour_; }

private:
    D3DRMLIGHTTYPE type_;
    Vec3 colour_;
};

}  // namespace d3drm
