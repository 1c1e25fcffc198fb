// Textures: 32-bit pictures that mesh builders are drawn with.
//
// A texture is made from raw pixels (0x00RRGGBB, top row first) or from a
// Windows bitmap file through the file loader that the rendering layer
// installs with SetTextureFileLoader (the 3D layer has no picture reader of
// its own). Sizes are capped so a damaged file cannot ask for unbounded
// memory.
#pragma once

#include "D3DRMTypes.h"
#include "Rasterizer.h"
#include "Unknown.h"

#include <string>
#include <vector>

namespace d3drm {

struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height values, top row first
};

// Reads a picture file into `image`; returns false when it cannot.
using TextureFileLoader = bool (*)(const std::string& fileName, TextureImage& image);

// Installs the loader IDirect3DRM::LoadTexture reads files with (null: none,
// and LoadTexture fails with D3DRMERR_BADFILE).
void SetTextureFileLoader(TextureFileLoader loader);
TextureFileLoader GetTextureFileLoader();

constexpr int kMaxTextureSide = 4096;

class IDirect3DRMTexture final : public IUnknown {
    ~IDirect3DRMTexture() override = default;  // objects go only through Release

public:
    // `image` must be valid: sides 1..kMaxTextureSide, width * height pixels.
    explicit IDirect3DRMTexture(TextureImage image);

    static bool IsValidImage(const TextureImage& image)
    {
        return image.width > 0 && image.height > 0 && image.width <= kMaxTextureSide &&
               image.height <= kMaxTextureSide &&
               image.pixels.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    }

    int Width() const { return image_.width; }
    int Height() const { return image_.height; }
    const uint32_t* Pixels() const { return image_.pixels.data(); }
    RasterTexture Raster() const { return {image_.pixels.data(), image_.width, image_.height}; }

    // Colour and shade counts: how many palette entries and shades per
    // colour the texture may use when drawn to a palettised target. Targets
    // here are 32-bit, where every colour is exact, so they are kept for the
    // caller to read back.
    HRESULT SetColors(uint32_t colours);
    HRESULT SetShades(uint32_t shades);
    uint32_t GetColors() const { return colours_; }
    uint32_t GetShades() const { return shades_; }

private:
    TextureImage image_;
    uint32_t colours_ = 8;
    uint32_t shades_ = 16;
};

}  // namespace d3drm
