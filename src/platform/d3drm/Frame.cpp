#include "Frame.h"

#include <algorithm>

namespace d3drm {

namespace {

template <class T>
HRESULT AddOnce(std::vector<Ref<T>>& list, T* item)
{
    if (!item)
        return D3DRMERR_BADOBJECT;
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.emplace_back(item);
    return D3DRM_OK;
}

template <class T>
HRESULT RemoveFrom(std::vector<Ref<T>>& list, T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return D3DRMERR_NOTFOUND;
    list.erase(it);
    return D3DRM_OK;
}

Transform WorldOf(IDirect3DRMFrame* frame)
{
    return frame ? frame->WorldTransform() : Transform{};
}

D3DVECTOR ToVector(Vec3 v) { return {v.x, v.y, v.z}; }

// An orthonormal basis whose z axis is `direction` and whose y axis is as
// near `up` as possible; false when either is zero or they are parallel.
bool BasisFrom(Vec3 direction, Vec3 up, Mat3& basis)
{
    Vec3 z = Normalize(direction);
    Vec3 x = Cross(up, z);
    if (Length(z) == 0 || Length(x) < 1.0e-6f * Length(up))
        return false;
    x = Normalize(x);
    basis = Mat3::FromRows(x, Cross(z, x), z);
    return true;
}

}  // namespace

IDirect3DRMFrame::~IDirect3DRMFrame()
{
    for (auto& child : children_)
        child->parent_ = nullptr;
}

HRESULT IDirect3DRMFrame::AddChild(IDirect3DRMFrame* child)
{
    if (!child)
        return D3DRMERR_BADOBJECT;
    if (child == this || child->IsAncestorOf(this))
        return D3DRMERR_BADVALUE;
    if (child->parent_ == this)
        return D3DRM_OK;
    Ref<IDirect3DRMFrame> keep(child);  // the old parent may hold the last reference
    if (child->parent_)
        child->parent_->DeleteChild(child);
    child->parent_ = this;
    children_.push_back(std::move(keep));
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::DeleteChild(IDirect3DRMFrame* child)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end())
        return D3DRMERR_NOTFOUND;
    child->parent_ = nullptr;
    children_.erase(it);
    return D3DRM_OK;
}

IDirect3DRMFrame* IDirect3DRMFrame::GetScene()
{
    IDirect3DRMFrame* frame = this;
    while (frame->parent_)
        frame = frame->parent_;
    return frame;
}

bool IDirect3DRMFrame::IsAncestorOf(const IDirect3DRMFrame* frame) const
{
    for (const IDirect3DRMFrame* p = frame ? frame->parent_ : nullptr; p; p = p->parent_) {
        if (p == this)
            return true;
    }
    return false;
}

HRESULT IDirect3DRMFrame::AddVisual(IDirect3DRMVisual* visual) { return AddOnce(visuals_, visual); }
HRESULT IDirect3DRMFrame::DeleteVisual(IDirect3DRMVisual* visual) { return RemoveFrom(visuals_, visual); }
HRESULT IDirect3DRMFrame::AddLight(IDirect3DRMLight* light) { return AddOnce(lights_, light); }
HRESULT IDirect3DRMFrame::DeleteLight(IDirect3DRMLight* light) { return RemoveFrom(lights_, light); }

Transform IDirect3DRMFrame::WorldTransform() const
{
    d3drm::Transform world = local_;
    for (const IDirect3DRMFrame* p = parent_; p; p = p->parent_)
        world = world * p->local_;
    return world;
}

Mat3 IDirect3DRMFrame::ReferenceRotation(IDirect3DRMFrame* reference) const
{
    return reference ? reference->WorldTransform().rotation : Mat3::Identity();
}

void IDirect3DRMFrame::SetWorldRotation(const Mat3& world)
{
    local_.rotation = world * WorldOf(parent_).rotation.Transposed();
}

HRESULT IDirect3DRMFrame::SetPosition(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y, D3DVALUE z)
{
    Vec3 world = WorldOf(reference).Apply({x, y, z});
    local_.translation = WorldOf(parent_).Inverse().Apply(world);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::GetPosition(IDirect3DRMFrame* reference, D3DVECTOR& position)
{
    Vec3 world = WorldTransform().translation;
    position = ToVector(WorldOf(reference).Inverse().Apply(world));
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetOrientation(IDirect3DRMFrame* reference, D3DVALUE dx, D3DVALUE dy, D3DVALUE dz,
                                         D3DVALUE ux, D3DVALUE uy, D3DVALUE uz)
{
    Mat3 basis;
    if (!BasisFrom({dx, dy, dz}, {ux, uy, uz}, basis))
        return D3DRMERR_BADVALUE;
    SetWorldRotation(basis * ReferenceRotation(reference));
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::GetOrientation(IDirect3DRMFrame* reference, D3DVECTOR& direction, D3DVECTOR& up)
{
    Mat3 relative = WorldTransform().rotation * ReferenceRotation(reference).Transposed();
    direction = ToVector(relative.r[2]);
    up = ToVector(relative.r[1]);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetRotation(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y, D3DVALUE z,
                                      D3DVALUE theta)
{
    Vec3 world = Vec3{x, y, z} * ReferenceRotation(reference);
    Vec3 axis = Normalize(world * WorldOf(parent_).rotation.Transposed());
    rotationAxis_ = axis;
    rotationAngle_ = Length(axis) > 0 ? theta : 0.0f;
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::GetRotation(IDirect3DRMFrame* reference, D3DVECTOR& axis, D3DVALUE& theta)
{
    Vec3 world = rotationAxis_ * WorldOf(parent_).rotation;
    axis = ToVector(world * ReferenceRotation(reference).Transposed());
    theta = rotationAngle_;
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::Move(D3DVALUE delta)
{
    if (rotationAngle_ != 0 && delta != 0) {
        // Rows are the frame's axes in parent coordinates; turning each about
        // the parent-space axis turns the frame in place.
        local_.rotation = Orthonormalize(local_.rotation * Mat3::Rotation(rotationAxis_, rotationAngle_ * delta));
    }
    // A child's Move must not free the list being walked: hold the children.
    std::vector<Ref<IDirect3DRMFrame>> children = children_;
    for (auto& child : children)
        child->Move(delta);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::LookAt(IDirect3DRMFrame* target, IDirect3DRMFrame* reference,
                                 D3DRMFRAMECONSTRAINT constraint)
{
    if (!target)
        return D3DRMERR_BADOBJECT;
    d3drm::Transform world = WorldTransform();
    Vec3 direction = target->WorldTransform().translation - world.translation;
    if (Length(direction) == 0)
        return D3DRM_OK;  // the target sits on our origin: any direction is as good
    Mat3 basis;
    switch (constraint) {
    case D3DRMCONSTRAIN_Z: {
        Mat3 ref = ReferenceRotation(reference);
        // Looking straight along the reference's y axis leaves no "up": use
        // its z axis instead, so the turn is still defined.
        if (!BasisFrom(direction, ref.r[1], basis) && !BasisFrom(direction, ref.r[2], basis))
            return D3DRMERR_BADVALUE;
        break;
    }
    case D3DRMCONSTRAIN_Y: {
        Vec3 y = Normalize(world.rotation.r[1]);
        Vec3 z = Normalize(direction - y * Dot(direction, y));
        if (Length(z) == 0)
            return D3DRM_OK;
        basis = Mat3::FromRows(Cross(y, z), y, z);
        break;
    }
    case D3DRMCONSTRAIN_X: {
        Vec3 x = Normalize(world.rotation.r[0]);
        Vec3 z = Normalize(direction - x * Dot(direction, x));
        if (Length(z) == 0)
            return D3DRM_OK;
        basis = Mat3::FromRows(x, Cross(z, x), z);
        break;
    }
    default:
        return D3DRMERR_BADVALUE;
    }
    SetWorldRotation(basis);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::Transform(D3DVECTOR& world, const D3DVECTOR& local)
{
    world = ToVector(WorldTransform().Apply({local.x, local.y, local.z}));
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::InverseTransform(D3DVECTOR& local, const D3DVECTOR& world)
{
    local = ToVector(WorldTransform().Inverse().Apply({world.x, world.y, world.z}));
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetSceneBackgroundRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue)
{
    background_ = D3DRMCreateColorRGB(red, green, blue);
    return D3DRM_OK;
}

HRESULT IDirect3DRMFrame::SetSceneBackground(D3DCOLOR colour)
{
    background_ = colour;
    return D3DRM_OK;
}

}  // namespace d3drm
