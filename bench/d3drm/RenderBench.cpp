// Frame cost of the emblem scene on the software device: a textured ring of
// about 3000 triangles turning in a 571 x 306 viewport, lit by two coloured
// directional lights and a dim ambient light, as the title screen draws it
// (ForceUpdate, Move, Clear, Render, Update).
#include "platform/d3drm/Direct3DRM.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace d3drm;

// A torus about the z axis (so it faces the camera), faces clockwise seen
// from outside; around x across segments give 2 * around * across triangles.
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
            vertices.push_back({centre + normal * minor, normal, 4.0f * static_cast<float>(i) / static_cast<float>(around),
                                static_cast<float>(j) / static_cast<float>(across)});
        }
    }
    auto at = [across](int i, int j) { return static_cast<uint32_t>(i * (across + 1) + j); };
    for (int i = 0; i < around; ++i) {
        for (int j = 0; j < across; ++j) {
            uint32_t q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            const Vec3& p0 = vertices[q[0]].position;
            if (Dot(Cross(vertices[q[1]].position - p0, vertices[q[2]].position - p0), vertices[q[0]].normal) < 0)
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

struct EmblemScene {
    static constexpr int kWidth = 571, kHeight = 306;

    explicit EmblemScene(uint32_t textureQuality)
        : pixels(static_cast<size_t>(kWidth) * kHeight)
    {
        target = std::make_shared<MemoryTarget>(pixels.data(), kWidth, kHeight, kWidth * 4);
        Direct3DRMCreate(rm);
        rm->CreateDeviceFromSurface(&IID_D3DSoftwareRGBDevice, target, device);
        device->SetBufferCount(2);
        device->SetQuality(D3DRMRENDER_GOURAUD);
        device->SetTextureQuality(textureQuality);
        device->SetDither(true);
        rm->CreateFrame(nullptr, scene);
        rm->CreateFrame(scene.Get(), camera);
        rm->CreateViewport(device.Get(), camera.Get(), 0, 0, kWidth, kHeight, viewport);
        viewport->SetBack(5000.0f);

        Ref<IDirect3DRMFrame> light1, light2;
        rm->CreateFrame(scene.Get(), light1);
        rm->CreateFrame(scene.Get(), light2);
        rm->CreateFrame(scene.Get(), emblem);
        Ref<IDirect3DRMLight> green, magenta, ambient;
        rm->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 0.0f, 1.0f, 0.0f, green);
        rm->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 2.0f, 0.0f, 0.8f, magenta);
        rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.1f, 0.1f, 0.1f, ambient);
        light1->AddLight(green.Get());
        light2->AddLight(magenta.Get());
        scene->AddLight(ambient.Get());
        light1->SetPosition(scene.Get(), 11.0f, 5.0f, -21.0f);
        light2->SetPosition(scene.Get(), -11.0f, 15.0f, -21.0f);
        camera->SetPosition(scene.Get(), 0.0f, 0.0f, -10.0f);
        emblem->SetPosition(scene.Get(), 3.0f, -0.25f, 0.0f);
        emblem->SetRotation(scene.Get(), 0.1f, 1.0f, 2.0f, 0.08f);

        // Outer radius 9.4 * 0.35 = 3.3 units: about 100 pixels at the
        // emblem's distance, filling much of the right-hand side.
        auto mesh = Torus(*rm, 7.0f, 2.4f, 64, 24);  // 3072 triangles
        mesh->Scale(0.35f, 0.35f, 0.35f);
        std::vector<uint32_t> texels(256 * 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                texels[y * 256 + x] = static_cast<uint32_t>(((x ^ y) & 0xFF) << 16 | (x << 8) | y);
        Ref<IDirect3DRMTexture> texture;
        rm->CreateTextureFromPixels(256, 256, texels.data(), 256, texture);
        mesh->SetTexture(texture.Get());
        emblem->AddVisual(mesh.Get());
        light1->LookAt(emblem.Get(), scene.Get(), D3DRMCONSTRAIN_Z);
    }

    void Frame()
    {
        viewport->ForceUpdate(0, 0, kWidth, kHeight);
        scene->Move(1.0f);
        viewport->Clear();
        viewport->Render(scene.Get());
        device->Update();
    }

    std::vector<uint32_t> pixels;
    std::shared_ptr<MemoryTarget> target;
    Ref<IDirect3DRM> rm;
    Ref<IDirect3DRMDevice> device;
    Ref<IDirect3DRMFrame> scene, camera, emblem;
    Ref<IDirect3DRMViewport> viewport;
};

void BM_EmblemFrame(benchmark::State& state)
{
    EmblemScene scene(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        scene.Frame();
        benchmark::DoNotOptimize(scene.pixels.data());
    }
    state.counters["triangles/frame"] = 3072;
    int covered = 0;
    for (uint32_t p : scene.pixels)
        covered += p != 0;
    state.counters["pixels/frame"] = covered;
}
BENCHMARK(BM_EmblemFrame)->Arg(D3DRMTEXTURE_NEAREST)->Arg(D3DRMTEXTURE_LINEAR)->Unit(benchmark::kMicrosecond);

void BM_ClearOnly(benchmark::State& state)
{
    EmblemScene scene(D3DRMTEXTURE_NEAREST);
    for (auto _ : state) {
        scene.viewport->Clear();
        benchmark::DoNotOptimize(scene.pixels.data());
    }
}
BENCHMARK(BM_ClearOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
