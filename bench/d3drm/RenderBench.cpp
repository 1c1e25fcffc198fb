// Frame cost of the emblem scene on the software device: a textured ring of
// about 3000 triangles turning in a 571 x 306 viewport, lit by two coloured
// directional lights and a dim ambient light, as the title screen draws it
// (ForceUpdate, Move, Clear, Render, Update).
#include "EmblemScene.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using namespace d3drm;

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
        emblem = test::SetUpEmblem(*rm, scene.Get(), camera.Get());

        // Outer radius 9.4 * 0.35 = 3.3 units: about 100 pixels at the
        // emblem's distance, filling much of the right-hand side.
        auto mesh = test::Torus(*rm, 7.0f, 2.4f, 64, 24, 4.0f);  // 3072 triangles
        mesh->Scale(0.35f, 0.35f, 0.35f);
        std::vector<uint32_t> texels(256 * 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                texels[y * 256 + x] = static_cast<uint32_t>(((x ^ y) & 0xFF) << 16 | (x << 8) | y);
        Ref<IDirect3DRMTexture> texture;
        rm->CreateTextureFromPixels(256, 256, texels.data(), 256, texture);
        mesh->SetTexture(texture.Get());
        emblem->AddVisual(mesh.Get());
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
// A fixed number of frames, for instruction counts under callgrind: there the
// slowdown would change how many frames the timed runs above choose.
BENCHMARK(BM_EmblemFrame)
    ->Arg(D3DRMTEXTURE_NEAREST)
    ->Arg(D3DRMTEXTURE_LINEAR)
    ->Iterations(32)
    ->Unit(benchmark::kMicrosecond);

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
