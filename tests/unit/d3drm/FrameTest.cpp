// Frame placement: positions and orientations relative to reference frames,
// the turn per Move, LookAt, and the ownership of children and contents.
#include "platform/d3drm/Direct3DRM.h"

#include <gtest/gtest.h>

#include <cmath>

namespace d3drm {
namespace {

Vec3 V(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }

void ExpectNear(Vec3 actual, Vec3 expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// Rodrigues' formula in vector form, written independently of the library's
// matrices: a positive angle about +y turns +x toward -z.
Vec3 Rotate(Vec3 v, Vec3 axis, float angle)
{
    Vec3 k = Normalize(axis);
    return v * std::cos(angle) + Cross(k, v) * std::sin(angle) + k * (Dot(k, v) * (1 - std::cos(angle)));
}

Vec3 WorldPoint(IDirect3DRMFrame& frame, Vec3 local)
{
    D3DVECTOR out;
    frame.Transform(out, {local.x, local.y, local.z});
    return V(out);
}

struct Spin {
    Vec3 axis;
    float angle;
};

class MoveTurns : public testing::TestWithParam<Spin> {};

TEST_P(MoveTurns, ByExactlyTheAnglePerUnitAboutTheAxis)
{
    const Spin& spin = GetParam();
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, frame;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), frame);
    frame->SetPosition(root.Get(), 3.0f, -0.25f, 0.0f);
    frame->SetRotation(root.Get(), spin.axis.x, spin.axis.y, spin.axis.z, spin.angle);

    const Vec3 origin{3.0f, -0.25f, 0.0f};
    const Vec3 probes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.3f, -2, 0.7f}};
    Vec3 before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = WorldPoint(*frame, probes[i]) - origin;

    root->Move(1.0f);  // moving the root moves its descendants
    for (int i = 0; i < 4; ++i)
        ExpectNear(WorldPoint(*frame, probes[i]) - origin, Rotate(before[i], spin.axis, spin.angle));

    frame->Move(2.5f);
    for (int i = 0; i < 4; ++i)
        ExpectNear(WorldPoint(*frame, probes[i]) - origin, Rotate(before[i], spin.axis, 3.5f * spin.angle));

    D3DVECTOR position;
    frame->GetPosition(root.Get(), position);
    ExpectNear(V(position), origin);
}

INSTANTIATE_TEST_SUITE_P(Axes, MoveTurns,
                         testing::Values(Spin{{0, 1, 0}, 0.3f}, Spin{{0.1f, 1.0f, 2.0f}, 0.08f},
                                         Spin{{1, 0, 0}, -0.5f}, Spin{{0, 0, 5}, 1.0f}));

TEST(Move, AxisStaysFixedOverManySteps)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, frame;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), frame);
    frame->SetRotation(root.Get(), 0.1f, 1.0f, 2.0f, 0.08f);
    const Vec3 probe{1, 0, 0};
    const Vec3 start = WorldPoint(*frame, probe);
    for (int i = 0; i < 1000; ++i)
        root->Move(1.0f);
    // 1000 steps of 0.08 rad, and the frame stays a rigid rotation.
    ExpectNear(WorldPoint(*frame, probe), Rotate(start, {0.1f, 1.0f, 2.0f}, 80.0f), 1e-3f);
    D3DVECTOR dir, up;
    frame->GetOrientation(root.Get(), dir, up);
    EXPECT_NEAR(Length(V(dir)), 1.0f, 1e-5f);
    EXPECT_NEAR(Dot(V(dir), V(up)), 0.0f, 1e-5f);
}

TEST(Move, RotationAxisIsReadInTheReferenceFrame)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, parent, child;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), parent);
    rm->CreateFrame(parent.Get(), child);
    // The parent is tipped over: its z axis points up.
    parent->SetOrientation(root.Get(), 0, 1, 0, 0, 0, -1);
    parent->SetPosition(root.Get(), 1, 2, 3);
    // Turn the child about the world's y axis.
    child->SetRotation(root.Get(), 0, 1, 0, 0.4f);
    Vec3 origin = WorldPoint(*child, {0, 0, 0});
    Vec3 before = WorldPoint(*child, {1, 0.5f, 0}) - origin;
    root->Move(1.0f);
    ExpectNear(WorldPoint(*child, {1, 0.5f, 0}) - origin, Rotate(before, {0, 1, 0}, 0.4f));

    D3DVECTOR axis;
    D3DVALUE theta;
    child->GetRotation(root.Get(), axis, theta);
    ExpectNear(V(axis), {0, 1, 0});
    EXPECT_FLOAT_EQ(theta, 0.4f);
}

TEST(LookAt, PointsTheZAxisAtTheTargetWithoutRoll)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, light, emblem;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), light);
    rm->CreateFrame(root.Get(), emblem);
    light->SetPosition(root.Get(), 11.0f, 5.0f, -21.0f);
    emblem->SetPosition(root.Get(), 3.0f, -0.25f, 0.0f);
    ASSERT_EQ(light->LookAt(emblem.Get(), root.Get(), D3DRMCONSTRAIN_Z), D3DRM_OK);

    D3DVECTOR dir, up;
    light->GetOrientation(root.Get(), dir, up);
    ExpectNear(V(dir), Normalize(Vec3{3.0f - 11.0f, -0.25f - 5.0f, 21.0f}));
    // No roll: the frame's x axis stays level with the reference's.
    Vec3 x = Cross(V(up), V(dir));
    EXPECT_NEAR(x.y, 0.0f, 1e-6f);
    EXPECT_GT(up.y, 0.0f);
    // The position is untouched.
    D3DVECTOR position;
    light->GetPosition(root.Get(), position);
    ExpectNear(V(position), {11.0f, 5.0f, -21.0f});
}

TEST(LookAt, WorksFromInsideATurnedParentAndStraightUp)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, parent, frame, target;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), parent);
    rm->CreateFrame(parent.Get(), frame);
    rm->CreateFrame(root.Get(), target);
    parent->SetOrientation(root.Get(), 1, 0, 0, 0, 1, 0);
    parent->SetPosition(root.Get(), -4, 0, 0);
    target->SetPosition(root.Get(), 0, 3, 0);
    frame->LookAt(target.Get(), root.Get(), D3DRMCONSTRAIN_Z);
    D3DVECTOR dir, up;
    frame->GetOrientation(root.Get(), dir, up);
    ExpectNear(V(dir), Normalize(Vec3{4, 3, 0}));

    // Straight along the reference's y axis there is no "up"; the call
    // still succeeds and points the z axis there.
    target->SetPosition(root.Get(), -4, 10, 0);
    EXPECT_EQ(frame->LookAt(target.Get(), root.Get(), D3DRMCONSTRAIN_Z), D3DRM_OK);
    frame->GetOrientation(root.Get(), dir, up);
    ExpectNear(V(dir), {0, 1, 0});
}

TEST(Placement, PositionsAreReadAndWrittenInTheReferenceFrame)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, a, b;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), a);
    rm->CreateFrame(a.Get(), b);
    a->SetPosition(root.Get(), 1, 2, 3);
    a->SetOrientation(root.Get(), 1, 0, 0, 0, 1, 0);  // a's z is the world's x
    b->SetPosition(a.Get(), 0, 0, 2);
    D3DVECTOR p;
    b->GetPosition(root.Get(), p);
    ExpectNear(V(p), {3, 2, 3});
    b->SetPosition(root.Get(), 0, 0, 0);
    b->GetPosition(a.Get(), p);
    ExpectNear(V(p), {3, -2, -1});
    b->GetPosition(nullptr, p);  // null: world coordinates
    ExpectNear(V(p), {0, 0, 0});
}

TEST(Ownership, ParentsKeepChildrenAndFramesKeepTheirContents)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, child;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), child);
    Ref<IDirect3DRMLight> light;
    rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 1, 1, 1, light);
    child->AddLight(light.Get());

    EXPECT_EQ(child->AddRef(), 3u);  // ours, the parent's, this one
    EXPECT_EQ(child->Release(), 2u);
    EXPECT_EQ(light->AddRef(), 3u);  // ours, the frame's, this one
    light->Release();

    IDirect3DRMFrame* raw = child.Get();
    child.Reset();  // the parent still holds it
    ASSERT_EQ(root->Children().size(), 1u);
    EXPECT_EQ(root->Children()[0].Get(), raw);
    EXPECT_EQ(raw->GetParent(), root.Get());

    root.Reset();  // the last holder lets go: the frame and its child go, and the light is released
    EXPECT_EQ(light->AddRef(), 2u);
    light->Release();
}

TEST(Ownership, HierarchyRefusesCyclesAndMovesChildren)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMFrame> root, a, b, other;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), a);
    rm->CreateFrame(a.Get(), b);
    rm->CreateFrame(nullptr, other);
    EXPECT_EQ(b->AddChild(root.Get()), D3DRMERR_BADVALUE);
    EXPECT_EQ(a->AddChild(a.Get()), D3DRMERR_BADVALUE);
    EXPECT_EQ(b->GetScene(), root.Get());

    ASSERT_EQ(other->AddChild(b.Get()), D3DRM_OK);
    EXPECT_TRUE(a->Children().empty());
    EXPECT_EQ(b->GetParent(), other.Get());
    EXPECT_EQ(b->GetScene(), other.Get());
    EXPECT_EQ(a->DeleteChild(b.Get()), D3DRMERR_NOTFOUND);
}

}  // namespace
}  // namespace d3drm
