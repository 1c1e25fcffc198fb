#include "Viewport.h"

#include <algorithm>
#include <cmath>

namespace d3drm {

namespace {

float Intensity(Vec3 colour) { return 0.299f * colour.x + 0.587f * colour.y + 0.114f * colour.z; }

// Locks the device's surface for one operation and unlocks it on leaving.
class TargetLock {
public:
    explicit TargetLock(ISurfaceTarget& target) : target_(target)
    {
        locked_ = !target.IsLost() && target.Lock(pixels_);
        if (locked_ && (!pixels_.pixels || pixels_.width <= 0 || pixels_.height <= 0 ||
                        pixels_.pitchBytes < pixels_.width * 4)) {
            target_.Unlock();
            locked_ = false;
        }
    }
    ~TargetLock()
    {
        if (locked_)
            target_.Unlock();
    }
    bool Locked() const { return locked_; }
    const RenderTarget& Pixels() const { return pixels_; }

private:
    ISurfaceTarget& target_;
    RenderTarget pixels_;
    bool locked_ = false;
};

}  // namespace

IDirect3DRMViewport::IDirect3DRMViewport(Ref<IDirect3DRMDevice> device, Ref<IDirect3DRMFrame> camera, int x, int y,
                                         int width, int height)
    : device_(std::move(device)), camera_(std::move(camera)), rect_{x, y, x + width, y + height}
{
}

HRESULT IDirect3DRMViewport::SetCamera(IDirect3DRMFrame* camera)
{
    if (!camera)
        return D3DRMERR_BADOBJECT;
    camera_ = Ref<IDirect3DRMFrame>(camera);
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::SetFront(D3DVALUE front)
{
    if (!(front > 0) || !(front < back_))
        return D3DRMERR_BADVALUE;
    front_ = front;
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::SetBack(D3DVALUE back)
{
    if (!(back > front_) || !std::isfinite(back))
        return D3DRMERR_BADVALUE;
    back_ = back;
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::SetField(D3DVALUE field)
{
    if (!(field > 0) || !std::isfinite(field))
        return D3DRMERR_BADVALUE;
    field_ = field;
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::ForceUpdate(int x1, int y1, int x2, int y2)
{
    if (x2 < x1 || y2 < y1)
        return D3DRMERR_BADVALUE;
    device_->AddForcedRect(PixelRect{x1, y1, x2, y2}.Intersect(rect_));
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::Clear()
{
    IDirect3DDevice& device = device_->Immediate();
    TargetLock lock(device.Target());
    if (!lock.Locked())
        return DDERR_SURFACELOST;
    Rasterizer& raster = device.Raster();
    raster.Begin(lock.Pixels(), rect_, front_, back_);
    raster.Clear(camera_ ? camera_->GetScene()->GetSceneBackground() : 0);
    raster.End();
    return D3DRM_OK;
}

HRESULT IDirect3DRMViewport::Render(IDirect3DRMFrame* scene)
{
    if (!scene || !camera_)
        return D3DRMERR_BADOBJECT;
    IDirect3DDevice& device = device_->Immediate();
    TargetLock lock(device.Target());
    if (!lock.Locked())
        return DDERR_SURFACELOST;

    Rasterizer& raster = device.Raster();
    raster.Begin(lock.Pixels(), rect_, front_, back_);
    raster.SetDither(device.Dither());
    raster.SetCulling(true);

    d3drm::Transform sceneWorld = scene->WorldTransform();
    Lighting lighting;
    CollectLights(scene, sceneWorld, lighting);
    deferred_.clear();
    DrawFrame(scene, sceneWorld, camera_->WorldTransform().Inverse(), lighting);
    DrawDeferred();

    device_->AddDrawnRect(raster.DrawnRect());
    raster.End();
    return D3DRM_OK;
}

void IDirect3DRMViewport::CollectLights(const IDirect3DRMFrame* frame, const d3drm::Transform& world,
                                        Lighting& lighting) const
{
    for (const auto& light : frame->Lights()) {
        if (light->GetType() == D3DRMLIGHT_AMBIENT)
            lighting.ambient = lighting.ambient + light->Colour();
        else if (light->GetType() == D3DRMLIGHT_DIRECTIONAL)
            lighting.directional.push_back({Normalize(world.rotation.r[2]), light->Colour()});
    }
    for (const auto& child : frame->Children())
        CollectLights(child.Get(), child->LocalTransform() * world, lighting);
}

void IDirect3DRMViewport::DrawFrame(const IDirect3DRMFrame* frame, const d3drm::Transform& world,
                                    const d3drm::Transform& view, const Lighting& lighting)
{
    if (!frame->Visuals().empty()) {
        d3drm::Transform modelToCamera = world * view;
        Mat3 worldToModel = world.rotation.Transposed();
        for (const auto& visual : frame->Visuals()) {
            if (const auto* mesh = dynamic_cast<const IDirect3DRMMeshBuilder*>(visual.Get()))
                DrawMesh(*mesh, modelToCamera, worldToModel, lighting);
        }
    }
    for (const auto& child : frame->Children())
        DrawFrame(child.Get(), child->LocalTransform() * world, view, lighting);
}

void IDirect3DRMViewport::DrawMesh(const IDirect3DRMMeshBuilder& mesh, const d3drm::Transform& modelToCamera,
                                   const Mat3& worldToModel, const Lighting& lighting)
{
    IDirect3DRMDevice& settings = *device_;
    Rasterizer& raster = settings.Immediate().Raster();
    const uint32_t quality = settings.GetQuality();
    const bool flat = (quality & D3DRMSHADE_MASK) == D3DRMSHADE_FLAT;
    const bool lit = (quality & D3DRMLIGHT_MASK) == D3DRMLIGHT_ON;
    const uint32_t fill = quality & D3DRMFILL_MASK;
    const bool mono = settings.GetColorModel() == D3DCOLOR_MONO;
    const float shadeSteps = static_cast<float>(settings.GetShades() - 1);

    const IDirect3DRMTexture* texture = mesh.GetTexture();
    const bool textured = texture && fill == D3DRMFILL_SOLID;
    RasterTexture rasterTexture = textured ? texture->Raster() : RasterTexture{};
    raster.SetTexture(textured ? &rasterTexture : nullptr, settings.Filter());
    // Untextured colours are drawn as they are; textured ones multiply texels
    // (0..255), so the 255 is already in the texel.
    const float colourScale = textured ? 1.0f : 255.0f;

    // Light directions in the mesh's own coordinates, so normals need no
    // transform. Stored reversed: the direction toward the light.
    modelLights_.clear();
    for (const DirectionalLight& light : lighting.directional)
        modelLights_.push_back({-(light.direction * worldToModel), light.colour});
    const float ambientIntensity = Intensity(lighting.ambient);

    auto shade = [&](Vec3 normal, const MeshGroup& group) -> Vec3 {
        if (!lit)
            return group.colour * colourScale;
        if (mono) {
            float intensity = ambientIntensity;
            for (const DirectionalLight& light : modelLights_)
                intensity += std::max(0.0f, Dot(normal, light.direction)) * Intensity(light.colour);
            if (shadeSteps > 0)
                intensity = std::floor(intensity * shadeSteps + 0.5f) / shadeSteps;
            return (group.emissive + group.colour * intensity) * colourScale;
        }
        Vec3 sum = lighting.ambient;
        for (const DirectionalLight& light : modelLights_)
            sum = sum + light.colour * std::max(0.0f, Dot(normal, light.direction));
        Vec3 c = group.emissive + Vec3{group.colour.x * sum.x, group.colour.y * sum.y, group.colour.z * sum.z};
        return c * colourScale;
    };

    // Camera space to clip space: the shorter side spans -field..field at
    // distance 1, and clip x, y span -w..w over the viewport.
    const float halfW = static_cast<float>(GetWidth()) * 0.5f;
    const float halfH = static_cast<float>(GetHeight()) * 0.5f;
    const float pixelsPerUnit = std::min(halfW, halfH) / field_;
    const float kx = pixelsPerUnit / halfW, ky = pixelsPerUnit / halfH;

    const uint32_t renderMode = settings.GetRenderMode();
    for (const MeshGroup& group : mesh.Groups()) {
        // See-through faces blend only with blended transparency on; sorted
        // transparency also holds them back and draws them far to near
        // after all opaque faces. Otherwise they are drawn as opaque.
        const bool blended = group.alpha < 1.0f && (renderMode & D3DRMRENDERMODE_BLENDEDTRANSPARENCY);
        const bool sorted = blended && (renderMode & D3DRMRENDERMODE_SORTEDTRANSPARENCY);
        raster.SetOpacity(blended ? group.alpha : 1.0f);
        auto fillTriangle = [&](const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t c0, uint32_t c1,
                                uint32_t c2) {
            if (!sorted) {
                raster.DrawTriangle(a, b, c, c0, c1, c2);
                return;
            }
            if (!Rasterizer::IsFrontFacing(a, b, c))
                return;
            deferred_.push_back({{a, b, c}, {c0, c1, c2}, rasterTexture, group.alpha, (a.w + b.w + c.w) / 3.0f});
        };
        const size_t count = group.vertices.size();
        if (clipVertices_.size() < count) {
            clipVertices_.resize(count);
            outcodes_.resize(count);
        }
        for (size_t i = 0; i < count; ++i) {
            const MeshVertex& v = group.vertices[i];
            Vec3 p = modelToCamera.Apply(v.position);
            ClipVertex& cv = clipVertices_[i];
            cv.x = p.x * kx;
            cv.y = p.y * ky;
            cv.w = p.z;
            cv.u = std::clamp(v.u, -kMaxTextureCoordinate, kMaxTextureCoordinate);
            cv.v = std::clamp(v.v, -kMaxTextureCoordinate, kMaxTextureCoordinate);
            if (!flat) {
                Vec3 c = shade(v.normal, group);
                cv.r = c.x;
                cv.g = c.y;
                cv.b = c.z;
            }
            outcodes_[i] = raster.Outcode(cv);
        }

        const uint32_t* index = group.indices.data();
        const uint32_t* end = index + group.indices.size();
        for (; index < end; index += 3) {
            const uint32_t i0 = index[0], i1 = index[1], i2 = index[2];
            const uint32_t c0 = outcodes_[i0], c1 = outcodes_[i1], c2 = outcodes_[i2];
            if (c0 & c1 & c2)
                continue;
            const ClipVertex& a = clipVertices_[i0];
            const ClipVertex& b = clipVertices_[i1];
            const ClipVertex& c = clipVertices_[i2];
            if (fill == D3DRMFILL_SOLID && !flat) {
                fillTriangle(a, b, c, c0, c1, c2);
                continue;
            }
            if (!Rasterizer::IsFrontFacing(a, b, c))
                continue;
            ClipVertex fa = a, fb = b, fc = c;
            if (flat) {
                const Vec3& p0 = group.vertices[i0].position;
                Vec3 normal = Normalize(Cross(group.vertices[i1].position - p0, group.vertices[i2].position - p0));
                Vec3 colour = shade(normal, group);
                for (ClipVertex* v : {&fa, &fb, &fc}) {
                    v->r = colour.x;
                    v->g = colour.y;
                    v->b = colour.z;
                }
            }
            if (fill == D3DRMFILL_SOLID)
                fillTriangle(fa, fb, fc, c0, c1, c2);
            else
                raster.DrawTriangleEdges(fa, fb, fc, fill == D3DRMFILL_POINTS);
        }
    }
    raster.SetTexture(nullptr, TextureFilter::Nearest);
    raster.SetOpacity(1.0f);
}

void IDirect3DRMViewport::DrawDeferred()
{
    if (deferred_.empty())
        return;
    std::sort(deferred_.begin(), deferred_.end(),
              [](const DeferredTriangle& p, const DeferredTriangle& q) { return p.depth > q.depth; });
    Rasterizer& raster = device_->Immediate().Raster();
    for (const DeferredTriangle& t : deferred_) {
        raster.SetTexture(t.texture.pixels ? &t.texture : nullptr, device_->Filter());
        raster.SetOpacity(t.opacity);
        raster.DrawTriangle(t.corner[0], t.corner[1], t.corner[2], t.outcode[0], t.outcode[1], t.outcode[2]);
    }
    raster.SetTexture(nullptr, TextureFilter::Nearest);
    raster.SetOpacity(1.0f);
}

}  // namespace d3drm
