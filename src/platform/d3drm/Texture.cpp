#include "Texture.h"

namespace d3drm {

namespace {
TextureFileLoader g_textureFileLoader = nullptr;
}

void SetTextureFileLoader(TextureFileLoader loader) { g_textureFileLoader = loader; }
TextureFileLoader GetTextureFileLoader() { return g_textureFileLoader; }

IDirect3DRMTexture::IDirect3DRMTexture(TextureImage image) : image_(std::move(image))
{
    // Only the pixel layout 0x00RRGGBB is meaningful; drop stray alpha bits.
    for (uint32_t& p : image_.pixels)
        p &= 0x00FFFFFFu;
}

HRESULT IDirect3DRMTexture::SetColors(uint32_t colours)
{
    if (colours == 0)
        return D3DRMERR_BADVALUE;
    colours_ = colours;
    return D3DRM_OK;
}

HRESULT IDirect3DRMTexture::SetShades(uint32_t shades)
{
    if (shades == 0 || (shades & (shades - 1)) != 0)
        return D3DRMERR_BADVALUE;  // a power of two, as shade ramps are
    shades_ = shades;
    return D3DRM_OK;
}

}  // namespace d3drm
