#include "render/DIBTextureLoader.h"

#include "platform/d3drm/Texture.h"
#include "render/DIB.h"
#include "toolkit/GraphicStream.h"

namespace {

bool LoadBitmapTexture(const std::string& fileName, d3drm::TextureImage& image) {
    try {
        TDIB dib;
        TFileStream stream(fileName, TFileMode::fmOpenRead);
        dib.ReadBitmapFile(stream);
        if (dib.Width() <= 0 || dib.Height() <= 0 || dib.Width() > d3drm::kMaxTextureSide ||
            dib.Height() > d3drm::kMaxTextureSide)
            return false;
        image.width = dib.Width();
        image.height = dib.Height();
        image.pixels.resize(std::size_t(image.width) * std::size_t(image.height));
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)] =
                    dib.PixelColor(x, y) & 0x00FFFFFFu;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void InstallDIBTextureLoader() { d3drm::SetTextureFileLoader(&LoadBitmapTexture); }
