// A small scene for the tests: a 32-bit pixel buffer, a device on it, a
// scene root, a camera at the origin looking along +z and a viewport over
// the whole buffer, with dither off so colours are exact.
#pragma once

#include "platform/d3drm/Direct3DRM.h"

#include <memory>
#include <vector>

namespace d3drm::test {

constexpr uint32_t kBackground = 0x00102030;

struct Scene {
    Scene(int width, int height, const GUID& device = IID_D3DSoftwareRGBDevice);

    uint32_t Pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Clear, render the scene root, update.
    void Draw();
    // How many pixels differ from the background.
    int CountDrawn() const;

    int width, height;
    std::vector<uint32_t> pixels;
    std::shared_ptr<MemoryTarget> target;
    Ref<IDirect3DRM> rm;
    Ref<IDirect3DRMDevice> device;
    Ref<IDirect3DRMFrame> root, camera;
    Ref<IDirect3DRMViewport> viewport;
};

// A one-triangle mesh (vertices clockwise as seen from the front).
Ref<IDirect3DRMMeshBuilder> Triangle(IDirect3DRM& rm, Vec3 a, Vec3 b, Vec3 c, Vec3 colour = {1, 1, 1});
// A quad a-b-c-d (clockwise from the front) with texture corners (0,0),
// (1,0), (1,1), (0,1) in that order.
Ref<IDirect3DRMMeshBuilder> Quad(IDirect3DRM& rm, Vec3 a, Vec3 b, Vec3 c, Vec3 d);
// A frame under `parent` carrying `visual`.
Ref<IDirect3DRMFrame> AddVisualFrame(IDirect3DRM& rm, IDirect3DRMFrame* parent, IDirect3DRMVisual* visual);
Ref<IDirect3DRMLight> AddLight(IDirect3DRM& rm, IDirect3DRMFrame* frame, D3DRMLIGHTTYPE type, Vec3 colour);

inline int Red(uint32_t p) { return (p >> 16) & 0xFF; }
inline int Green(uint32_t p) { return (p >> 8) & 0xFF; }
inline int Blue(uint32_t p) { return p & 0xFF; }

}  // namespace d3drm::test
