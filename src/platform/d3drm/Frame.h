// Frames: the scene hierarchy.
//
// A frame has a position and an orientation relative to its parent (a frame
// without a parent is a scene root and is placed in world coordinates). It
// carries visuals (mesh builders) and lights, and may turn by a fixed angle
// about a fixed axis on every Move. Operations that take a reference frame
// read and write values in that frame's coordinates; a null reference means
// world coordinates.
//
// Ownership: a parent holds a reference to each child, and a frame holds
// references to its visuals and lights. A child sees its parent through a
// plain pointer, cleared when the parent goes.
#pragma once

#include "D3DRMTypes.h"
#include "Light.h"
#include "Math3D.h"
#include "Unknown.h"

#include <vector>

namespace d3drm {

class IDirect3DRMVisual : public IUnknown {};

class IDirect3DRMFrame final : public IUnknown {
public:
    IDirect3DRMFrame() = default;

    // ---- Hierarchy ----
    // Makes `child` a child of this frame, taking it from its former parent;
    // its position relative to the parent is kept. A frame cannot become a
    // child of itself or of one of its descendants (D3DRMERR_BADVALUE).
    HRESULT AddChild(IDirect3DRMFrame* child);
    HRESULT DeleteChild(IDirect3DRMFrame* child);
    IDirect3DRMFrame* GetParent() const { return parent_; }
    // The root of the hierarchy this frame is in (itself for a root).
    IDirect3DRMFrame* GetScene();
    const std::vector<Ref<IDirect3DRMFrame>>& Children() const { return children_; }

    // ---- Contents ----
    HRESULT AddVisual(IDirect3DRMVisual* visual);
    HRESULT DeleteVisual(IDirect3DRMVisual* visual);
    HRESULT AddLight(IDirect3DRMLight* light);
    HRESULT DeleteLight(IDirect3DRMLight* light);
    const std::vector<Ref<IDirect3DRMVisual>>& Visuals() const { return visuals_; }
    const std::vector<Ref<IDirect3DRMLight>>& Lights() const { return lights_; }

    // ---- Placement ----
    HRESULT SetPosition(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y, D3DVALUE z);
    HRESULT GetPosition(IDirect3DRMFrame* reference, D3DVECTOR& position);
    // Turns the frame so that its z axis points along `direction` and its y
    // axis lies as close to `up` as possible (both in the reference frame).
    HRESULT SetOrientation(IDirect3DRMFrame* reference, D3DVALUE dx, D3DVALUE dy, D3DVALUE dz, D3DVALUE ux,
                           D3DVALUE uy, D3DVALUE uz);
    HRESULT GetOrientation(IDirect3DRMFrame* reference, D3DVECTOR& direction, D3DVECTOR& up);
    // Sets the turn applied by each Move: `theta` radians per unit of Move
    // about the axis (x, y, z) given in the reference frame, through the
    // frame's own origin. The axis is fixed in the parent's coordinates.
    HRESULT SetRotation(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y, D3DVALUE z, D3DVALUE theta);
    HRESULT GetRotation(IDirect3DRMFrame* reference, D3DVECTOR& axis, D3DVALUE& theta);
    // Advances this frame and all its descendants by `delta` units: each
    // turns by delta times its rotation angle.
    HRESULT Move(D3DVALUE delta);
    // Turns the frame so that its z axis points at the target's origin.
    // D3DRMCONSTRAIN_Z: no roll; the y axis stays as near the reference
    // frame's y axis as the direction allows. D3DRMCONSTRAIN_Y and _X keep
    // the frame's current y or x axis and turn only about it.
    HRESULT LookAt(IDirect3DRMFrame* target, IDirect3DRMFrame* reference, D3DRMFRAMECONSTRAINT constraint);

    // Converts a point from this frame's coordinates to world coordinates,
    // and back.
    HRESULT Transform(D3DVECTOR& world, const D3DVECTOR& local);
    HRESULT InverseTransform(D3DVECTOR& local, const D3DVECTOR& world);

    // The colour a viewport clears to when this frame's scene is rendered.
    HRESULT SetSceneBackgroundRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue);
    HRESULT SetSceneBackground(D3DCOLOR colour);
    D3DCOLOR GetSceneBackground() const { return background_; }

    // Placement relative to the parent, and in world coordinates.
    const d3drm::Transform& LocalTransform() const { return local_; }
    d3drm::Transform WorldTransform() const;

private:
    ~IDirect3DRMFrame() override;
    bool IsAncestorOf(const IDirect3DRMFrame* frame) const;
    Mat3 ReferenceRotation(IDirect3DRMFrame* reference) const;
    void SetWorldRotation(const Mat3& world);

    IDirect3DRMFrame* parent_ = nullptr;
    std::vector<Ref<IDirect3DRMFrame>> children_;
    std::vector<Ref<IDirect3DRMVisual>> visuals_;
    std::vector<Ref<IDirect3DRMLight>> lights_;
    d3drm::Transform local_;
    Vec3 rotationAxis_;  // unit vector in the parent's coordinates
    float rotationAngle_ = 0;
    D3DCOLOR background_ = 0;
};

}  // namespace d3drm
