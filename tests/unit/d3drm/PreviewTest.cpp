// Renders the emblem set-up (camera, lights, turning frame) with a textured
// torus and the cube file into a 571 x 306 picture and writes it as PNG
// beside the test binary (d3drm_preview_*.png), for a person to look at.
// The checks below catch a blank or unshaded picture.
#include "SceneFixture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <set>

namespace d3drm::test {
namespace {

// A torus about the z axis (facing the camera), faces clockwise seen from
// outside.
Ref<IDirect3DRMMeshBuilder> Torus(IDirect3DRM& rm, float major, float minor, int around, int across)
{
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    const float pi = 3.14159265f;
    for (int i = 0; i <= around; ++i) {
        float a = 2 * pi * static_cast<float>(i) / static_cast<float>(around);
        for (int j = 0; j <= across; ++j) {
            float b = 2 * pi * static_cast<float>(j) / static_cast<float>(across);
            Vec3 normal{std::cos(a) * std::cos(b), std::sin(a) * std::cos(b), std::sin(b)};
            Vec3 centre{std::cos(a) * major, std::sin(a) * major, 0};
            vertices.push_back({centre + normal * minor, normal, 3.0f * static_cast<float>(i) / static_cast<float>(around),
                                static_cast<float>(j) / static_cast<float>(across)});
        }
    }
    auto at = [across](int i, int j) { return static_cast<uint32_t>(i * (across + 1) + j); };
    for (int i = 0; i < around; ++i) {
        for (int j = 0; j < across; ++j) {
            uint32_t q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            const Vec3& p0 = vertices[q[0]].position;
            Vec3 n = Cross(vertices[q[1]].position - p0, vertices[q[2]].position - p0);
            if (Dot(n, vertices[q[0]].normal) < 0)
                std::swap(q[1], q[3]);
            for (uint32_t k : {q[0], q[1], q[2], q[0], q[2], q[3]})
                indices.push_back(k);
        }
    }
    Ref<IDirect3DRMMeshBuilder> mesh;
    rm.CreateMeshBuilder(mesh);
    mesh->AddTriangles(vertices, indices);
    return mesh;
}

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
    Ref<IDirect3DRMFrame> light1, light2, emblem;
    s.rm->CreateFrame(s.root.Get(), light1);
    s.rm->CreateFrame(s.root.Get(), light2);
    s.rm->CreateFrame(s.root.Get(), emblem);
    AddLight(*s.rm, light1.Get(), D3DRMLIGHT_DIRECTIONAL, {0.0f, 1.0f, 0.0f});
    AddLight(*s.rm, light2.Get(), D3DRMLIGHT_DIRECTIONAL, {2.0f, 0.0f, 0.8f});
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {0.1f, 0.1f, 0.1f});
    light1->SetPosition(s.root.Get(), 11.0f, 5.0f, -21.0f);
    light2->SetPosition(s.root.Get(), -11.0f, 15.0f, -21.0f);
    s.camera->SetPosition(s.root.Get(), 0.0f, 0.0f, -10.0f);
    emblem->SetPosition(s.root.Get(), 3.0f, -0.25f, 0.0f);
    emblem->SetRotation(s.root.Get(), 0.1f, 1.0f, 2.0f, 0.08f);
    Ref<IDirect3DRMMeshBuilder> mesh = Ref<IDirect3DRMMeshBuilder>::Adopt(makeMesh(*s.rm));
    auto texture = LakeTexture(*s.rm);
    mesh->SetTexture(texture.Get());
    emblem->AddVisual(mesh.Get());
    light1->LookAt(emblem.Get(), s.root.Get(), D3DRMCONSTRAIN_Z);
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
    auto torus = Torus(rm, 2.2f, 0.8f, 64, 24);
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
