#include "Direct3DRM.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace d3drm {

D3DCOLOR D3DRMCreateColorRGBA(D3DVALUE red, D3DVALUE green, D3DVALUE blue, D3DVALUE alpha)
{
    auto byte = [](D3DVALUE c) {
        if (!(c > 0))
            return 0u;  // also NaN
        return static_cast<uint32_t>(std::min(c, 1.0f) * 255.0f + 0.5f);
    };
    return (byte(alpha) << 24) | (byte(red) << 16) | (byte(green) << 8) | byte(blue);
}

D3DCOLOR D3DRMCreateColorRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue)
{
    return D3DRMCreateColorRGBA(red, green, blue, 1.0f);
}

HRESULT Direct3DRMCreate(Ref<IDirect3DRM>& direct3DRM)
{
    direct3DRM = Ref<IDirect3DRM>::Adopt(new IDirect3DRM());
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateFrame(IDirect3DRMFrame* parent, Ref<IDirect3DRMFrame>& frame)
{
    frame = Ref<IDirect3DRMFrame>::Adopt(new IDirect3DRMFrame());
    if (parent)
        parent->AddChild(frame.Get());
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateLightRGB(D3DRMLIGHTTYPE type, D3DVALUE red, D3DVALUE green, D3DVALUE blue,
                                    Ref<IDirect3DRMLight>& light)
{
    light.Reset();
    if (!IDirect3DRMLight::IsSupported(type))
        return D3DRMERR_BADVALUE;
    light = Ref<IDirect3DRMLight>::Adopt(new IDirect3DRMLight(type, red, green, blue));
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateLight(D3DRMLIGHTTYPE type, D3DCOLOR colour, Ref<IDirect3DRMLight>& light)
{
    return CreateLightRGB(type, D3DRMColorGetRed(colour), D3DRMColorGetGreen(colour), D3DRMColorGetBlue(colour),
                          light);
}

HRESULT IDirect3DRM::CreateMeshBuilder(Ref<IDirect3DRMMeshBuilder>& builder)
{
    builder = Ref<IDirect3DRMMeshBuilder>::Adopt(new IDirect3DRMMeshBuilder());
    return D3DRM_OK;
}

HRESULT IDirect3DRM::FinishTexture(TextureImage image, Ref<IDirect3DRMTexture>& texture)
{
    if (!IDirect3DRMTexture::IsValidImage(image))
        return D3DRMERR_BADFILE;
    texture = Ref<IDirect3DRMTexture>::Adopt(new IDirect3DRMTexture(std::move(image)));
    texture->SetColors(textureColours_);
    texture->SetShades(textureShades_);
    return D3DRM_OK;
}

HRESULT IDirect3DRM::LoadTexture(const char* fileName, Ref<IDirect3DRMTexture>& texture)
{
    texture.Reset();
    if (!fileName)
        return D3DRMERR_BADVALUE;
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return D3DRMERR_FILENOTFOUND;
    TextureFileLoader loader = GetTextureFileLoader();
    TextureImage image;
    if (!loader || !loader(fileName, image))
        return D3DRMERR_BADFILE;
    return FinishTexture(std::move(image), texture);
}

HRESULT IDirect3DRM::CreateTextureFromPixels(int width, int height, const uint32_t* pixels, int pitchPixels,
                                             Ref<IDirect3DRMTexture>& texture)
{
    texture.Reset();
    if (!pixels || width <= 0 || height <= 0 || width > kMaxTextureSide || height > kMaxTextureSide ||
        pitchPixels < width)
        return D3DRMERR_BADVALUE;
    TextureImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels + static_cast<size_t>(y) * pitchPixels, width,
                    image.pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    return FinishTexture(std::move(image), texture);
}

HRESULT IDirect3DRM::CreateDeviceFromSurface(const GUID* guid, std::shared_ptr<ISurfaceTarget> surface,
                                             Ref<IDirect3DRMDevice>& device)
{
    device.Reset();
    if (!surface)
        return D3DRMERR_BADOBJECT;
    Ref<IDirect3D> direct3D;
    Direct3DCreate(direct3D);
    Ref<IDirect3DDevice> immediate;
    HRESULT result = direct3D->CreateDevice(guid ? *guid : IID_D3DSoftwareRGBDevice, std::move(surface), immediate);
    if (Failed(result))
        return result;
    immediate->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);
    device = Ref<IDirect3DRMDevice>::Adopt(new IDirect3DRMDevice(std::move(immediate)));
    return D3DRM_OK;
}

HRESULT IDirect3DRM::CreateViewport(IDirect3DRMDevice* device, IDirect3DRMFrame* camera, int x, int y, int width,
                                    int height, Ref<IDirect3DRMViewport>& viewport)
{
    viewport.Reset();
    if (!device || !camera)
        return D3DRMERR_BADOBJECT;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || width > device->GetWidth() - x ||
        height > device->GetHeight() - y)
        return D3DRMERR_BADVALUE;
    viewport = Ref<IDirect3DRMViewport>::Adopt(new IDirect3DRMViewport(
        Ref<IDirect3DRMDevice>(device), Ref<IDirect3DRMFrame>(camera), x, y, width, height));
    return D3DRM_OK;
}

HRESULT IDirect3DRM::SetDefaultTextureColors(uint32_t colours)
{
    if (colours == 0)
        return D3DRMERR_BADVALUE;
    textureColours_ = colours;
    return D3DRM_OK;
}

HRESULT IDirect3DRM::SetDefaultTextureShades(uint32_t shades)
{
    if (shades == 0 || (shades & (shades - 1)) != 0)
        return D3DRMERR_BADVALUE;
    textureShades_ = shades;
    return D3DRM_OK;
}

}  // namespace d3drm
