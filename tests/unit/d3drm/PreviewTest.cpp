// Renders the emblem set-up (camera, lights, turning frame) with a textured
// torus and the cube file into a 571 x 306 picture and writes it as PNG
// beside the test binary (d3drm_preview_*.png), for a person to look at.
// The checks below catch a blank or unshaded picture.
#include "EmblemScene.h"
#include "SceneFixture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <set>

namespace d3drm::test {
namespace {

// Water-like stripes over a blue gradient, with a bright grid.
Ref<IDirect3DRMTexture> LakeTexture(IDirect3DRM& rm)
{
    const int size = 128;
    std::vector<uint32_t> pixels(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float wave = 0.5f + 0.5f * std::sin(static_cast<float>(x) * 0.2f + 3.0f * std::sin(static_cast<float>(y) * 0.07f));
            int r = static_cast<int>(40 + 60 * wave), g = static_cast<int>(90 + 90 * wave), b = 160 + y * 95 / size;
            if (x % 32 == 0 || y % 32 == 0)
                r = g = b = 250;
            pixels[y * size + x] = static_cast<uint32_t>((r << 16) | (g << 8) | b);
        }
    }
    Ref<IDirect3DRMTexture> texture;
    rm.CreateTextureFromPixels(size, size, pixels.data(), size, texture);
    return texture;
}

void RenderEmblemScene(const char* name, IDirect3DRMMeshBuilder* (*makeMesh)(IDirect3DRM&), uint32_t textureQuality)
{
    Scene s(571, 306);
    s.root->SetSceneBackground(0);
    s.device->SetDither(true);
    s.device->SetTextureQuality(textureQuality);
    Ref<IDirect3DRMFrame> emblem = SetUpEmblem(*s.rm, s.root.Get(), s.camera.Get());
    Ref<IDirect3DRMMeshBuilder> mesh = Ref<IDirect3DRMMeshBuilder>::Adopt(makeMesh(*s.rm));
    auto texture = LakeTexture(*s.rm);
    mesh->SetTexture(texture.Get());
    emblem->AddVisual(mesh.Get());
    for (int i = 0; i < 12; ++i)
        s.root->Move(1.0f);
    s.Draw();

    QImage picture(reinterpret_cast<const uchar*>(s.pixels.data()), s.width, s.height, s.width * 4,
                   QImage::Format_RGB32);
    std::string path = std::string(D3DRM_TEST_OUTPUT) + "/d3drm_preview_" + name + ".png";
    EXPECT_TRUE(picture.save(QString::fromStdString(path), "PNG"));

    // The emblem sits right of centre, and is shaded: many distinct colours.
    int left = 0, right = 0;
    std::set<uint32_t> colours;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            uint32_t p = s.Pixel(x, y);
            if (p == 0)
                continue;
            (x < s.width / 2 ? left : right)++;
            colours.insert(p);
        }
    }
    EXPECT_EQ(left, 0);
    EXPECT_GT(right, 5000);
    EXPECT_GT(colours.size(), 500u);
}

IDirect3DRMMeshBuilder* MakeTorus(IDirect3DRM& rm)
{
    auto torus = Torus(rm, 2.2f, 0.8f, 64, 24, 3.0f);
    torus->AddRef();
    return torus.Get();
}

IDirect3DRMMeshBuilder* MakeCube(IDirect3DRM& rm)
{
    Ref<IDirect3DRMMeshBuilder> cube;
    rm.CreateMeshBuilder(cube);
    cube->Load((std::string(D3DRM_TEST_DATA) + "/cube.x").c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr);
    cube->Scale(1.2f, 1.2f, 1.2f);
    cube->AddRef();
    return cube.Get();
}

TEST(Preview, TexturedTorusNearest) { RenderEmblemScene("torus", MakeTorus, D3DRMTEXTURE_NEAREST); }
TEST(Preview, TexturedCubeLinear) { RenderEmblemScene("cube", MakeCube, D3DRMTEXTURE_LINEAR); }

}  // namespace
}  // namespace d3drm::test
