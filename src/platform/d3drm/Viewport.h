// The viewport: a camera's view of a scene drawn into a rectangle of a
// device.
//
// Projection: perspective from the camera frame's origin along its +z axis,
// y up. `field` is the half-extent, at distance 1 from the camera, of the
// viewport's shorter side (the default 0.5 sees 1 unit across that side at
// distance 1); the longer side sees proportionally more. Only what lies
// between the front and back clipping distances is drawn.
//
// Lighting, per vertex (Gouraud) or per face (flat), in the device's colour
// model:
//   colour = emissive + material * (sum of ambient lights
//                                   + sum over directional lights of
//                                     max(0, N . -direction) * light colour)
// Light colours above 1.0 act as given; the colour is clamped only per pixel,
// after it has been multiplied by the texel of a textured mesh.
#pragma once

#include "D3DRMTypes.h"
#include "Device.h"
#include "Frame.h"
#include "MeshBuilder.h"
#include "Unknown.h"

#include <vector>

namespace d3drm {

class IDirect3DRMViewport final : public IUnknown {
    ~IDirect3DRMViewport() override = default;  // objects go only through Release

public:
    IDirect3DRMViewport(Ref<IDirect3DRMDevice> device, Ref<IDirect3DRMFrame> camera, int x, int y, int width,
                        int height);

    // Fills the viewport with the camera's scene background colour and
    // empties its depth buffer. DDERR_SURFACELOST when the surface is.
    HRESULT Clear();
    // Draws `scene` (a frame and its descendants) as the camera sees it, lit
    // by the lights in it.
    HRESULT Render(IDirect3DRMFrame* scene);
    // Marks a rectangle of the viewport (x1, y1 inclusive; x2, y2 excluded)
    // for the device's next Update.
    HRESULT ForceUpdate(int x1, int y1, int x2, int y2);

    HRESULT SetCamera(IDirect3DRMFrame* camera);
    IDirect3DRMFrame* GetCamera() const { return camera_.Get(); }
    IDirect3DRMDevice* GetDevice() const { return device_.Get(); }
    HRESULT SetFront(D3DVALUE front);
    HRESULT SetBack(D3DVALUE back);
    HRESULT SetField(D3DVALUE field);
    D3DVALUE GetFront() const { return front_; }
    D3DVALUE GetBack() const { return back_; }
    D3DVALUE GetField() const { return field_; }
    int GetX() const { return rect_.left; }
    int GetY() const { return rect_.top; }
    int GetWidth() const { return rect_.right - rect_.left; }
    int GetHeight() const { return rect_.bottom - rect_.top; }

private:
    struct DirectionalLight {
        Vec3 direction;  // unit vector, the way the light travels (world)
        Vec3 colour;
    };
    struct Lighting {
        Vec3 ambient;
        std::vector<DirectionalLight> directional;
    };

    void CollectLights(const IDirect3DRMFrame* frame, const d3drm::Transform& world, Lighting& lighting) const;
    void DrawFrame(const IDirect3DRMFrame* frame, const d3drm::Transform& world, const d3drm::Transform& view,
                   const Lighting& lighting);
    void DrawMesh(const IDirect3DRMMeshBuilder& mesh, const d3drm::Transform& modelToCamera,
                  const Mat3& worldToModel, const Lighting& lighting);

    Ref<IDirect3DRMDevice> device_;
    Ref<IDirect3DRMFrame> camera_;
    PixelRect rect_;
    float front_ = 1.0f;
    float back_ = 100.0f;
    float field_ = 0.5f;

    // A see-through triangle held back to be drawn after everything opaque.
    struct DeferredTriangle {
        ClipVertex corner[3];
        uint32_t outcode[3];
        RasterTexture texture;
        float opacity;
        float depth;  // mean distance from the camera
    };
    void DrawDeferred();

    // Per-frame scratch, kept to avoid allocating while drawing.
    std::vector<DeferredTriangle> deferred_;
    std::vector<ClipVertex> clipVertices_;
    std::vector<uint32_t> outcodes_;
    std::vector<DirectionalLight> modelLights_;
};

}  // namespace d3drm
