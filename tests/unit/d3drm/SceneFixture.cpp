#include "SceneFixture.h"

namespace d3drm::test {

Scene::Scene(int w, int h, const GUID& deviceGuid)
    : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0xDEADBEEF)
{
    target = std::make_shared<MemoryTarget>(pixels.data(), w, h, w * 4);
    Direct3DRMCreate(rm);
    rm->CreateDeviceFromSurface(&deviceGuid, target, device);
    device->SetDither(false);
    device->SetQuality(D3DRMRENDER_GOURAUD);
    rm->CreateFrame(nullptr, root);
    root->SetSceneBackground(kBackground);
    rm->CreateFrame(root.Get(), camera);
    rm->CreateViewport(device.Get(), camera.Get(), 0, 0, w, h, viewport);
    viewport->SetBack(5000.0f);
}

void Scene::Draw()
{
    viewport->Clear();
    viewport->Render(root.Get());
    device->Update();
}

int Scene::CountDrawn() const
{
    int count = 0;
    for (uint32_t p : pixels)
        count += p != kBackground;
    return count;
}

Ref<IDirect3DRMMeshBuilder> Triangle(IDirect3DRM& rm, Vec3 a, Vec3 b, Vec3 c, Vec3 colour)
{
    Ref<IDirect3DRMMeshBuilder> mesh;
    rm.CreateMeshBuilder(mesh);
    mesh->AddTriangles({{a}, {b}, {c}}, {0, 1, 2}, colour);
    return mesh;
}

Ref<IDirect3DRMMeshBuilder> Quad(IDirect3DRM& rm, Vec3 a, Vec3 b, Vec3 c, Vec3 d)
{
    Ref<IDirect3DRMMeshBuilder> mesh;
    rm.CreateMeshBuilder(mesh);
    mesh->AddTriangles({{a, {}, 0, 0}, {b, {}, 1, 0}, {c, {}, 1, 1}, {d, {}, 0, 1}}, {0, 1, 2, 0, 2, 3});
    return mesh;
}

Ref<IDirect3DRMFrame> AddVisualFrame(IDirect3DRM& rm, IDirect3DRMFrame* parent, IDirect3DRMVisual* visual)
{
    Ref<IDirect3DRMFrame> frame;
    rm.CreateFrame(parent, frame);
    frame->AddVisual(visual);
    return frame;
}

Ref<IDirect3DRMLight> AddLight(IDirect3DRM& rm, IDirect3DRMFrame* frame, D3DRMLIGHTTYPE type, Vec3 colour)
{
    Ref<IDirect3DRMLight> light;
    rm.CreateLightRGB(type, colour.x, colour.y, colour.z, light);
    frame->AddLight(light.Get());
    return light;
}

}  // namespace d3drm::test

// Assimp keeps a few small objects when an import fails part-way; they are
// its own, so the leak checker of sanitizer builds is told to skip them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libassimp.so\n"; }
