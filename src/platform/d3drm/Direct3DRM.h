// The retained-mode object: the factory of frames, lights, mesh builders,
// textures, devices and viewports. Include this header for the whole layer.
//
// Typical use (the emblem scene):
//
//   Ref<IDirect3DRM> rm;            Direct3DRMCreate(rm);
//   Ref<IDirect3DRMDevice> device;  rm->CreateDeviceFromSurface(&IID_D3DSoftwareRGBDevice, target, device);
//   Ref<IDirect3DRMFrame> scene, camera;
//   rm->CreateFrame(nullptr, scene);  rm->CreateFrame(scene.Get(), camera);
//   Ref<IDirect3DRMViewport> viewport;
//   rm->CreateViewport(device.Get(), camera.Get(), 0, 0, 571, 306, viewport);
//   viewport->SetBack(5000.0f);
//   ... frames, lights, mesh builder, texture ...
//   per frame: viewport->ForceUpdate(...); scene->Move(1.0f);
//              viewport->Clear(); viewport->Render(scene.Get()); device->Update();
//
// Textures from picture files: the rendering layer installs the reader once
// with SetTextureFileLoader (Texture.h); LoadTexture calls it.
//
// Every Create call hands its new object to the Ref it fills (one reference,
// the caller's); objects that others attach (children, visuals, lights, the
// viewport's device and camera) are kept alive by those holders as well.
#pragma once

#include "D3DRMTypes.h"
#include "Device.h"
#include "Direct3D.h"
#include "Frame.h"
#include "Light.h"
#include "MeshBuilder.h"
#include "RenderTarget.h"
#include "Texture.h"
#include "Unknown.h"
#include "Viewport.h"

#include <memory>

namespace d3drm {

class IDirect3DRM final : public IUnknown {
    ~IDirect3DRM() override = default;  // objects go only through Release

public:
    // A frame; with a parent it becomes that frame's child, without one it
    // is a scene root.
    HRESULT CreateFrame(IDirect3DRMFrame* parent, Ref<IDirect3DRMFrame>& frame);
    // An ambient or directional light (other kinds: D3DRMERR_BADVALUE).
    HRESULT CreateLightRGB(D3DRMLIGHTTYPE type, D3DVALUE red, D3DVALUE green, D3DVALUE blue,
                           Ref<IDirect3DRMLight>& light);
    HRESULT CreateLight(D3DRMLIGHTTYPE type, D3DCOLOR colour, Ref<IDirect3DRMLight>& light);
    HRESULT CreateMeshBuilder(Ref<IDirect3DRMMeshBuilder>& builder);

    // A texture from a picture file, read by the installed texture file
    // loader. D3DRMERR_FILENOTFOUND when the file does not exist,
    // D3DRMERR_BADFILE when no loader is installed or it cannot read the
    // file or the picture is larger than kMaxTextureSide.
    HRESULT LoadTexture(const char* fileName, Ref<IDirect3DRMTexture>& texture);
    // A texture from pixels 0x00RRGGBB, rows `pitchPixels` apart.
    HRESULT CreateTextureFromPixels(int width, int height, const uint32_t* pixels, int pitchPixels,
                                    Ref<IDirect3DRMTexture>& texture);

    // A device drawing into `surface`. `guid` picks the device kind (null:
    // the RGB device); D3DRMERR_BADDEVICE for an unknown kind or a surface
    // it cannot render to. The device starts with dither on, the shade
    // count and the texture colours and shades below.
    HRESULT CreateDeviceFromSurface(const GUID* guid, std::shared_ptr<ISurfaceTarget> surface,
                                    Ref<IDirect3DRMDevice>& device);
    // A viewport showing what `camera` sees in the given rectangle of the
    // device, which must lie within the device (D3DRMERR_BADVALUE).
    HRESULT CreateViewport(IDirect3DRMDevice* device, IDirect3DRMFrame* camera, int x, int y, int width,
                           int height, Ref<IDirect3DRMViewport>& viewport);

    // Colour and shade counts given to textures made from now on.
    HRESULT SetDefaultTextureColors(uint32_t colours);
    HRESULT SetDefaultTextureShades(uint32_t shades);
    uint32_t GetDefaultTextureColors() const { return textureColours_; }
    uint32_t GetDefaultTextureShades() const { return textureShades_; }

private:
    HRESULT FinishTexture(TextureImage image, Ref<IDirect3DRMTexture>& texture);

    uint32_t textureColours_ = 8;
    uint32_t textureShades_ = 16;
};
using IDirect3DRM2 = IDirect3DRM;

HRESULT Direct3DRMCreate(Ref<IDirect3DRM>& direct3DRM);

}  // namespace d3drm
